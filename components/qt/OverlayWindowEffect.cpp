// SPDX-License-Identifier: MIT
#include "components/qt/OverlayWindowEffect.h"

#include "components/ComponentsLog.h"

#include <QGuiApplication>
#include <QPainter>
#include <QRegion>
#include <QScreen>
#include <QTimer>
#include <QVariantAnimation>
#include <QWidget>
#include <QWindow>
#include <cmath>

// The overlay: a borderless window that never takes focus or input and draws the picture at
// an offset, so that its own geometry is the visible part of the animation. A fade is drawn
// over a picture of what lies beneath the window, so that it looks the same whether or not
// the window system can make a window translucent (an X server without a compositor cannot).
class EffectOverlay : public QWidget
{
public:
    EffectOverlay()
        : QWidget(nullptr,
                  Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::BypassWindowManagerHint
                      | Qt::WindowDoesNotAcceptFocus | Qt::WindowTransparentForInput | Qt::NoDropShadowWindowHint)
    {
        setObjectName(QStringLiteral("windowEffectOverlay"));
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        // Where nothing beneath can be read, the picture fades over a see-through window;
        // X11 can always read the screen, and without a compositor see-through shows black.
        if (QGuiApplication::platformName() != QStringLiteral("xcb"))
            setAttribute(Qt::WA_TranslucentBackground);
    }

    void setPicture(const QPixmap &picture) { m_picture = picture; }
    void setBeneath(const QPixmap &beneath) { m_beneath = beneath; }
    void setPictureOffset(const QPoint &offset)
    {
        if (offset != m_offset) {
            m_offset = offset;
            update();
        }
    }
    void setOpacity(qreal opacity)
    {
        setProperty("effectOpacity", opacity);
        if (!qFuzzyCompare(opacity, m_opacity)) {
            m_opacity = opacity;
            update();
        }
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        if (m_opacity < 1.0) {
            if (m_beneath.isNull()) {
                p.setCompositionMode(QPainter::CompositionMode_Source);
                p.fillRect(rect(),
                           testAttribute(Qt::WA_TranslucentBackground) ? QBrush(Qt::transparent) : palette().window());
                p.setCompositionMode(QPainter::CompositionMode_SourceOver);
            } else {
                p.drawPixmap(0, 0, m_beneath);
            }
            p.setOpacity(m_opacity);
        }
        // Where a smaller snapshot leaves a gap, the window's own background shows.
        const QRect pictureRect(m_offset, m_picture.deviceIndependentSize().toSize());
        for (const QRect &gap : QRegion(rect()).subtracted(pictureRect))
            p.fillRect(gap, palette().window());
        p.drawPixmap(m_offset, m_picture);
    }

private:
    QPixmap m_picture;
    QPixmap m_beneath;
    QPoint m_offset;
    qreal m_opacity = 1.0;
};

namespace {

// How long the windows beneath a hidden window get to repaint before they are read.
constexpr int kSettleMs = 40;

bool isAnimatedStyle(int style)
{
    return style == Effect::Blend || style == Effect::Slide || style == Effect::Roll;
}

// Directions 0..8 as a 3 x 3 grid of unit steps; the middle and anything unknown is the centre.
bool stepOf(int direction, int &dx, int &dy)
{
    if (direction < 0 || direction > 8 || direction == 4) {
        dx = dy = 0;
        return false;
    }
    dx = direction % 3 - 1;
    dy = direction / 3 - 1;
    return true;
}

} // namespace

OverlayWindowEffect::OverlayWindowEffect(QObject *parent)
    : WindowEffect(parent)
    , m_animation(new QVariantAnimation(this))
    , m_settle(new QTimer(this))
{
    m_settle->setSingleShot(true);
    connect(m_settle, &QTimer::timeout, this, &OverlayWindowEffect::startAfterSettling);
    m_animation->setStartValue(0.0);
    m_animation->setEndValue(1.0);
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant &v) {
        if (m_running)
            applyProgress(v.toReal());
    });
    connect(m_animation, &QVariantAnimation::finished, this, &OverlayWindowEffect::complete);
}

OverlayWindowEffect::~OverlayWindowEffect()
{
    // Leave the window where it was asked to be; nobody listens any more.
    blockSignals(true);
    finish();
}

OverlayWindowEffect::Frame OverlayWindowEffect::frameAt(int style, int direction, bool show, const QSize &size, qreal t)
{
    t = qBound(0.0, t, 1.0);
    const int w = size.width();
    const int h = size.height();
    Frame f;
    f.visible = QRect(0, 0, w, h);
    if (style == Effect::Blend) {
        f.opacity = show ? t : 1.0 - t;
        return f;
    }
    if (style != Effect::Slide && style != Effect::Roll)
        return f;

    int dx = 0, dy = 0;
    const bool directed = stepOf(direction, dx, dy);
    // Hiding in a direction is showing in the opposite one, run backwards.
    if (!show) {
        dx = -dx;
        dy = -dy;
        t = 1.0 - t;
    }
    const int vw = (dx != 0 || !directed) ? int(std::lround(w * t)) : w;
    const int vh = (dy != 0 || !directed) ? int(std::lround(h * t)) : h;
    if (!directed) {
        f.visible = QRect((w - vw) / 2, (h - vh) / 2, vw, vh);
        return f;
    }
    const int x = dx < 0 ? w - vw : 0;
    const int y = dy < 0 ? h - vh : 0;
    f.visible = QRect(x, y, vw, vh);
    if (style == Effect::Slide) {
        // The picture's leading edge is the visible part's far edge.
        f.picturePos.setX(dx > 0 ? vw - w : x);
        f.picturePos.setY(dy > 0 ? vh - h : y);
    }
    return f;
}

QPixmap OverlayWindowEffect::CacheWindowImage(QWidget *window)
{
    if (!window)
        return {};
    QPixmap picture;
    // The screen shows the window only while it is exposed: right after the window manager
    // iconified it, the screen holds whatever lay beneath.
    const QWindow *handle = window->windowHandle();
    if (window->isVisible() && !window->isMinimized() && handle && handle->isExposed()) {
        QScreen *screen = window->screen();
        if (!screen)
            screen = QGuiApplication::primaryScreen();
        if (screen)
            picture = screen->grabWindow(window->winId());
    }
    // Some platforms cannot read the screen back: the window paints itself instead.
    if (picture.isNull() || picture.size().isEmpty())
        picture = window->grab();
    return picture;
}

void OverlayWindowEffect::animate(QWidget *window, bool show, int style, int direction, int timeoutMs,
                                  const QPixmap &snapshot)
{
    // A second request for what is already under way (the clicks of a double click) lets the
    // running animation play on.
    if (m_running && window == m_window && show == m_show)
        return;
    finish();
    if (!window)
        return;

    const bool onScreen = window->isVisible() && !window->isMinimized();
    const bool alreadyThere = show ? onScreen : !window->isVisible();
    if (!isAnimatedStyle(style) || timeoutMs <= 0 || alreadyThere) {
        if (show) {
            window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
            window->show();
            if (style != Effect::None) {
                window->raise();
                window->activateWindow();
            }
        } else {
            window->hide();
        }
        Q_EMIT finished(show);
        return;
    }

    m_window = window;
    m_show = show;
    m_style = style;
    m_direction = direction;
    m_area = window->isWindow() ? window->geometry() : QRect(window->mapToGlobal(QPoint(0, 0)), window->size());

    if (!m_overlay)
        m_overlay = std::make_unique<EffectOverlay>();
    m_overlay->setPicture(snapshot.isNull() ? window->grab() : snapshot);
    m_overlay->setBeneath({});
    m_running = true;
    m_animation->setDuration(timeoutMs);
    if (style == Effect::Blend && !show) {
        // What lies beneath can only be read once the window has gone and the windows under
        // it have repainted; the fade starts then, within the same duration.
        window->hide();
        m_settleClock.start();
        m_settle->start(qMin(kSettleMs, timeoutMs / 5));
        return;
    }
    if (style == Effect::Blend)
        m_overlay->setBeneath(screenBeneath(window, m_area));
    applyProgress(0.0);
    if (!show)
        window->hide();
    m_animation->start();
}

QPixmap OverlayWindowEffect::screenBeneath(QWidget *window, const QRect &area)
{
    QScreen *screen = window ? window->screen() : nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    const QPoint at = area.topLeft() - screen->geometry().topLeft();
    const QPixmap beneath = screen->grabWindow(0, at.x(), at.y(), area.width(), area.height());
    if (beneath.isNull())
        qCWarning(lcComponents) << "The screen beneath the window cannot be read; the fade shows none of it";
    return beneath;
}

void OverlayWindowEffect::startAfterSettling()
{
    if (!m_running || m_animation->state() != QAbstractAnimation::Stopped)
        return;
    m_settle->stop();
    m_overlay->setBeneath(screenBeneath(m_window, m_area));
    const int elapsed = int(m_settleClock.elapsed());
    applyProgress(qMin(1.0, qreal(elapsed) / m_animation->duration()));
    m_animation->start();
    m_animation->setCurrentTime(qMin(elapsed, m_animation->duration()));
}

void OverlayWindowEffect::applyProgress(qreal t)
{
    if (!m_overlay)
        return;
    const Frame f = frameAt(m_style, m_direction, m_show, m_area.size(), t);
    if (f.visible.isEmpty()) {
        m_overlay->hide();
        return;
    }
    m_overlay->setGeometry(f.visible.translated(m_area.topLeft()));
    m_overlay->setPictureOffset(f.picturePos - f.visible.topLeft());
    m_overlay->setOpacity(f.opacity);
    if (!m_overlay->isVisible())
        m_overlay->show();
}

void OverlayWindowEffect::setProgressForTest(qreal t)
{
    if (!m_running)
        return;
    startAfterSettling();
    m_animation->pause();
    applyProgress(t);
}

void OverlayWindowEffect::complete()
{
    if (!m_running)
        return;
    m_running = false;
    m_settle->stop();
    m_animation->stop();
    if (m_overlay) {
        m_overlay->hide();
        m_overlay->setPicture({});
    }
    if (QWidget *window = m_window.data()) {
        if (m_show) {
            window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
            window->show();
            window->raise();
            window->activateWindow();
        } else {
            window->hide();
        }
    }
    m_window.clear();
    Q_EMIT finished(m_show);
}

void OverlayWindowEffect::finish()
{
    complete();
}

bool OverlayWindowEffect::isRunning() const
{
    return m_running;
}

QWidget *OverlayWindowEffect::overlay() const
{
    return m_overlay.get();
}
