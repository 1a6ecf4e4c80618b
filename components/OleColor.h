// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

// Colours are kept as the stored 0x00BBGGRR values (low byte red). A value with the top bit
// set names a system colour by its number in the low byte.
using OleColor = quint32;

inline constexpr OleColor kSystemWindowBackground = 0x80000005u;

inline constexpr bool isSystemColor(OleColor c)
{
    return (c & 0x80000000u) != 0;
}
inline constexpr int oleRed(OleColor c)
{
    return int(c & 0xFFu);
}
inline constexpr int oleGreen(OleColor c)
{
    return int((c >> 8) & 0xFFu);
}
inline constexpr int oleBlue(OleColor c)
{
    return int((c >> 16) & 0xFFu);
}
inline constexpr OleColor oleFromRgb(int r, int g, int b)
{
    return OleColor(r & 0xFF) | (OleColor(g & 0xFF) << 8) | (OleColor(b & 0xFF) << 16);
}
