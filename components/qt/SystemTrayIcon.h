// SPDX-License-Identifier: MIT
#pragma once

#include "components/TrayIcon.h"

#include <memory>

class QMenu;
class QSystemTrayIcon;

// The notification-area icon over QSystemTrayIcon: a click, a double click or the menu's
// "Показать" bring the window back; its "Новая задача…" asks for a new task without them; the
// menu's "Выход" asks the program to end.
class SystemTrayIcon : public TrayIcon
{
    Q_OBJECT
public:
    explicit SystemTrayIcon(QObject *parent = nullptr);
    ~SystemTrayIcon() override;

    void setToolTip(const QString &text) override;
    void setIconPicture(const QIcon &icon) override;
    void setInTray(bool inTray) override;
    bool inTray() const override;
    bool isTrayAvailable() const override;
    void showMessage(const QString &title, const QString &text) override;

    QMenu *contextMenu() const;

Q_SIGNALS:
    void quitRequested();

private:
    QSystemTrayIcon *icon() const;
    void buildMenu();
    void updateVisibility();

    std::unique_ptr<QMenu> m_menu;
    QSystemTrayIcon *m_icon = nullptr;
    bool m_inTray = false;
};
