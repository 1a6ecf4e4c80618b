// SPDX-License-Identifier: MIT
#include "components/qt/DesignLayout.h"

#include <QFontDatabase>
#include <QStringList>

bool fontInstalled(const QString &family)
{
    static const QStringList families = QFontDatabase::families();
    return families.contains(family, Qt::CaseInsensitive);
}

QFont designFont(const QFont &base, const QString &family, int pointSize, QFont::StyleHint fallback)
{
    QFont font = base;
    if (fontInstalled(family))
        font.setFamily(family);
    else
        font.setStyleHint(fallback);
    font.setPointSize(pointSize);
    return font;
}
