#pragma once

#include "model/OleColor.h"

#include <QColor>
#include <QPalette>

// Stored colours are 0x00BBGGRR; system colour 5 is the palette's base colour.
inline QColor oleToColor(OleColor c, const QPalette &palette)
{
    if (isSystemColor(c)) {
        switch (c & 0xFFu) {
        case 5:
            return palette.color(QPalette::Base);
        case 8:
            return palette.color(QPalette::Text);
        case 15:
            return palette.color(QPalette::Button);
        default:
            return palette.color(QPalette::Window);
        }
    }
    return QColor(oleRed(c), oleGreen(c), oleBlue(c));
}

inline OleColor colorToOle(const QColor &c)
{
    return oleFromRgb(c.red(), c.green(), c.blue());
}
