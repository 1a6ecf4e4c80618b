// SPDX-License-Identifier: MIT
#pragma once

#include <QIcon>
#include <QObject>
#include <QString>

// The notification-area icon. activated() fires when the user acts on it; newTaskRequested()
// when they ask its menu for a new task.
class TrayIcon : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    virtual void setToolTip(const QString &text) = 0;
    virtual void setIconPicture(const QIcon &icon) = 0;
    virtual void setInTray(bool inTray) = 0;
    virtual bool inTray() const = 0;
    // False where the desktop offers no notification area: hiding must not strand the window.
    virtual bool isTrayAvailable() const = 0;
    // A passing note beside the icon (a balloon), asking nothing.
    virtual void showMessage(const QString &title, const QString &text) = 0;

Q_SIGNALS:
    void activated();
    void newTaskRequested();
};
