// SPDX-License-Identifier: MIT
#pragma once

#include "components/WindowEffect.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QRect>
#include <memory>

class QTimer;
class QVariantAnimation;
class EffectOverlay;

// Hides and shows a window with an animation drawn on a frameless, always-on-top overlay
// window over the window's client area, while the event loop keeps running.
//
// Slide and roll move in the chosen direction both ways: showing "down" the picture appears
// from the top edge downwards, hiding "down" it leaves downwards, its top edge going first.
// Roll reveals or covers the still picture; slide moves the picture itself. Centre grows
// from and shrinks to the centre, for slide as for roll (the picture does not move). A
// direction outside 0..8 has no edge to start from and is treated as the centre. Blend fades
// the picture over what the screen shows beneath the window, and ignores the direction.
// Style 0 (or a duration of 0 or less) shows or hides at once.
class OverlayWindowEffect : public WindowEffect
{
    Q_OBJECT
public:
    explicit OverlayWindowEffect(QObject *parent = nullptr);
    ~OverlayWindowEffect() override;

    void animate(QWidget *window, bool show, int style, int direction, int timeoutMs, const QPixmap &snapshot) override;
    void finish() override;
    bool isRunning() const override;

    // The window's client area as the screen shows it now; a rendering of the window where
    // the screen cannot be read.
    static QPixmap CacheWindowImage(QWidget *window);

    // One frame of an animation over a client area of this size at progress t (0..1): the
    // part of the client area that shows (client coordinates), where the picture's top-left
    // corner lies, and the picture's opacity.
    struct Frame {
        QRect visible;
        QPoint picturePos;
        qreal opacity = 1.0;
    };
    static Frame frameAt(int style, int direction, bool show, const QSize &size, qreal t);

    // For tests: the overlay window (created on the first animation), and stopping the clock
    // at progress t. finish() still ends the animation.
    QWidget *overlay() const;
    void setProgressForTest(qreal t);

private:
    static QPixmap screenBeneath(QWidget *window, const QRect &area);
    void startAfterSettling();
    void applyProgress(qreal t);
    void complete();

    std::unique_ptr<EffectOverlay> m_overlay;
    QVariantAnimation *m_animation = nullptr;
    QTimer *m_settle = nullptr;
    QElapsedTimer m_settleClock;
    QPointer<QWidget> m_window;
    QRect m_area;
    bool m_show = false;
    bool m_running = false;
    int m_style = 0;
    int m_direction = 0;
};
