// SPDX-License-Identifier: MIT
#pragma once

#include <QProxyStyle>

// The application's own style with one difference: the toolbar's overflow arrow is read when it
// is first drawn, not when the toolbar is made. Reading it is the only picture of the style's
// that a start needs, and it loads every image format the system has before the first frame;
// the arrow shows only when the window is too narrow for its buttons.
class DeferredIconStyle : public QProxyStyle
{
public:
    // Takes the style over; it stays the one that draws everything.
    explicit DeferredIconStyle(QStyle *style);

    QIcon standardIcon(StandardPixmap standardIcon, const QStyleOption *option = nullptr,
                       const QWidget *widget = nullptr) const override;
};
