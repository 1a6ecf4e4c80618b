// SPDX-License-Identifier: MIT
#pragma once

#include <QFont>
#include <QString>

// The windows are laid out in twips; 15 twips are one pixel at 96 dpi and Qt scales beyond that.
constexpr int px(int twips)
{
    return twips / 15;
}

// The family the windows were designed in.
inline const QString kDesignFamily = QStringLiteral("Tahoma");

// Whether the system has the family; the families are listed once, as listing them is slow.
bool fontInstalled(const QString &family);

// base in the family the window was designed in, at its design size; where that family is
// missing, at the same size with the stand-in the hint picks.
QFont designFont(const QFont &base, const QString &family = kDesignFamily, int pointSize = 9,
                 QFont::StyleHint fallback = QFont::SansSerif);
