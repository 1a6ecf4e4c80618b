// SPDX-License-Identifier: MIT
#include "components/qt/WindowPlacement.h"

#include "components/ComponentsLog.h"
#include "components/qt/SettingsStore.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QWidget>

namespace {

QScreen *screenFor(QWidget *window)
{
    if (QScreen *s = window->screen())
        return s;
    return QGuiApplication::primaryScreen();
}

bool isOnSomeScreen(const QRect &frame)
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    for (QScreen *s : screens) {
        const QRect common = s->availableGeometry().intersected(frame);
        // Enough of the window to grab and drag it back.
        if (common.width() >= 32 && common.height() >= 16)
            return true;
    }
    return false;
}

const QString kGeometry = QStringLiteral("Geometry");
const QString kMaximized = QStringLiteral("Maximized");

} // namespace

void centreOnScreen(QWidget *window)
{
    QScreen *screen = screenFor(window);
    if (!screen)
        return;
    const QRect avail = screen->availableGeometry();
    QRect frame = window->frameGeometry();
    frame.moveCenter(avail.center());
    window->move(frame.topLeft());
}

namespace {

// A stored size larger than the free area of the screen (damaged, or from a bigger screen)
// would leave the frame and its edges out of reach: the window is cut down to that area and
// moved inside it. A placement that fits is left exactly as it is.
void fitOnScreen(QWidget *window)
{
    const QRect frame = window->frameGeometry();
    QScreen *screen = screenFor(window);
    qint64 bestArea = -1;
    for (QScreen *s : QGuiApplication::screens()) {
        const QRect common = s->availableGeometry().intersected(frame);
        const qint64 area = common.isEmpty() ? 0 : qint64(common.width()) * common.height();
        if (area > bestArea) {
            bestArea = area;
            screen = s;
        }
    }
    if (!screen)
        return;
    QSize decoration = frame.size() - window->size();
    if (decoration.isNull() && !window->windowFlags().testFlag(Qt::FramelessWindowHint)) {
        // Until the window manager has framed the window its frame is unknown: leave room for
        // a title bar and borders all the same.
        const QStyle *style = window->style();
        const int border = style->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, window);
        decoration = QSize(2 * border, style->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window) + 2 * border);
    }
    const QRect avail = screen->availableGeometry();
    if (window->width() + decoration.width() <= avail.width()
        && window->height() + decoration.height() <= avail.height())
        return;
    const QSize client = window->size().boundedTo(avail.size() - decoration);
    qCInfo(lcComponents) << "stored window size" << window->size() << "does not fit the screen; using" << client;
    window->resize(client);
    const QSize outer = client + decoration;
    window->move(qBound(avail.left(), frame.left(), avail.left() + avail.width() - outer.width()),
                 qBound(avail.top(), frame.top(), avail.top() + avail.height() - outer.height()));
}

} // namespace

void SaveFormPlacement(SettingsStore &store, QWidget *window, const QString &section, const QString &key)
{
    if (!window)
        return;
    const QString base = section.isEmpty() ? key : section + QLatin1Char('/') + key;
    store.WriteBytes(base, kGeometry, window->saveGeometry());
    store.WriteValue(base, kMaximized, SettingValueType::Boolean, window->isMaximized());
}

void RestoreFormPlacement(SettingsStore &store, QWidget *window, const QString &section, const QString &key)
{
    if (!window)
        return;
    const QString base = section.isEmpty() ? key : section + QLatin1Char('/') + key;
    const QByteArray geometry = store.ReadBytes(base, kGeometry);
    const bool maximized = store.ReadValue(base, kMaximized, SettingValueType::Boolean, false).toBool();

    const QSize designSize = window->size();
    bool placed = !geometry.isEmpty() && window->restoreGeometry(geometry);
    if (placed && !isOnSomeScreen(window->frameGeometry())) {
        // A placement from a screen that is gone: the design placement instead.
        window->setWindowState(window->windowState() & ~(Qt::WindowMaximized | Qt::WindowFullScreen));
        window->resize(designSize);
        placed = false;
    }
    if (placed)
        fitOnScreen(window);
    else
        centreOnScreen(window);

    if (placed && maximized) {
        window->showMaximized();
    } else {
        window->setWindowState(window->windowState()
                               & ~(Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
        window->show();
        // The frame is known only once the window is shown; place the whole of it.
        if (placed)
            fitOnScreen(window);
        else
            centreOnScreen(window);
    }
}
