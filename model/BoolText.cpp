// SPDX-License-Identifier: MIT
#include "model/BoolText.h"

bool TextToBool(const QString &text, bool defaultValue)
{
    const QString t = text.trimmed().toUpper();
    if (t.isEmpty())
        return defaultValue;
    return t == QLatin1String("TRUE") || t == QLatin1String("1") || t == QLatin1String("-1");
}
