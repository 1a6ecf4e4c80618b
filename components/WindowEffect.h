// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QPixmap>

class QWidget;

// Effect styles and the nine directions of the hide/show animation.
namespace Effect {
inline constexpr int None = 0;
inline constexpr int Blend = 1;
inline constexpr int Slide = 2;
inline constexpr int Roll = 3;
} // namespace Effect

// Hides or shows a window with an animation drawn from a snapshot of its client area on a
// frameless overlay, without blocking the event loop. A new request finishes the running
// one at once; the same request again (show while showing, hide while hiding) is ignored.
class WindowEffect : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    // style: Effect::*; direction: 0..8 as in the settings (other values: no direction).
    virtual void animate(QWidget *window, bool show, int style, int direction, int timeoutMs, const QPixmap &snapshot)
        = 0;
    // Ends a running animation at once, leaving the window in its requested state.
    virtual void finish() = 0;
    virtual bool isRunning() const = 0;

Q_SIGNALS:
    void finished(bool shown);
};
