// SPDX-License-Identifier: MIT
#pragma once

#include "components/OleColor.h"

#include <QColor>
#include <QPalette>
#include <cmath>

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

// Relative luminance and contrast ratio as the WCAG define them for text.
inline double relativeLuminance(const QColor &c)
{
    const auto channel = [](int v) {
        const double s = v / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.red()) + 0.7152 * channel(c.green()) + 0.0722 * channel(c.blue());
}

inline double contrastRatio(const QColor &a, const QColor &b)
{
    const double la = relativeLuminance(a);
    const double lb = relativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The colour nearest to fore, in the same hue, that reads on back with at least the given
// contrast: made darker on a light background, lighter on a dark one.
inline QColor readableOn(const QColor &fore, const QColor &back, double minimum = 4.5)
{
    if (contrastRatio(fore, back) >= minimum)
        return fore;
    const bool darken = contrastRatio(Qt::black, back) >= contrastRatio(Qt::white, back);
    const QColor hsl = fore.toHsl();
    const auto withLightness = [&](int l) { return QColor::fromHsl(hsl.hslHue(), hsl.hslSaturation(), l).toRgb(); };
    // Lightness moves the luminance one way only, so the nearest readable one is a bisection.
    int reads = darken ? 0 : 255;
    int fails = hsl.lightness();
    while (std::abs(reads - fails) > 1) {
        const int mid = (reads + fails) / 2;
        (contrastRatio(withLightness(mid), back) >= minimum ? reads : fails) = mid;
    }
    return withLightness(reads);
}
