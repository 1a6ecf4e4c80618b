#pragma once

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>

// Acts on the next modal dialog once it is on screen, the way a user would after it opened.
// A dialog the action failed to close is rejected a few seconds later, so that a broken
// test fails instead of hanging.
inline void whenModalShown(std::function<void(QWidget *)> act)
{
    auto *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        QWidget *w = QApplication::activeModalWidget();
        if (!w || !w->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        QPointer<QWidget> shown(w);
        act(w);
        QTimer::singleShot(5000, [shown] {
            if (auto *dialog = qobject_cast<QDialog *>(shown.data()); dialog && dialog->isVisible())
                dialog->reject();
        });
    });
    timer->start();
}
