// SPDX-License-Identifier: MIT
#include "settings/AutorunStart.h"

QString AutorunStart::argumentText(const QStringList &arguments)
{
    return arguments.mid(1).join(QLatin1Char(' '));
}

bool AutorunStart::isAutorun(const QString &argumentText)
{
    return argumentText.trimmed().toUpper() == QLatin1String("/AUTORUN");
}
