// SPDX-License-Identifier: MIT
#include "components/qt/SystemTrayIcon.h"

#include <QMenu>
#include <QSystemTrayIcon>

SystemTrayIcon::SystemTrayIcon(QObject *parent)
    : TrayIcon(parent)
{
}

SystemTrayIcon::~SystemTrayIcon()
{
    // The icon refers to the menu; it goes first.
    delete m_icon;
    m_icon = nullptr;
}

// Made on first use: a start builds the window before it puts anything in the tray.
QSystemTrayIcon *SystemTrayIcon::icon() const
{
    if (m_icon)
        return m_icon;
    auto *self = const_cast<SystemTrayIcon *>(this);
    self->m_menu = std::make_unique<QMenu>();
    self->m_icon = new QSystemTrayIcon(self);
    self->buildMenu();
    return m_icon;
}

void SystemTrayIcon::buildMenu()
{
    QAction *show = m_menu->addAction(QStringLiteral("Показать"));
    m_menu->setDefaultAction(show);
    QAction *newTask = m_menu->addAction(QStringLiteral("Новая задача…"));
    m_menu->addSeparator();
    QAction *quit = m_menu->addAction(QStringLiteral("Выход"));
    connect(show, &QAction::triggered, this, &TrayIcon::activated);
    connect(newTask, &QAction::triggered, this, &TrayIcon::newTaskRequested);
    connect(quit, &QAction::triggered, this, &SystemTrayIcon::quitRequested);
    m_icon->setContextMenu(m_menu.get());

    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            Q_EMIT activated();
    });
}

void SystemTrayIcon::setToolTip(const QString &text)
{
    icon()->setToolTip(text);
}

void SystemTrayIcon::showMessage(const QString &title, const QString &text)
{
    m_icon->showMessage(title, text, QSystemTrayIcon::Information);
}

void SystemTrayIcon::setIconPicture(const QIcon &icon)
{
    this->icon()->setIcon(icon);
    updateVisibility();
}

void SystemTrayIcon::setInTray(bool inTray)
{
    m_inTray = inTray;
    updateVisibility();
}

bool SystemTrayIcon::inTray() const
{
    return m_inTray;
}

bool SystemTrayIcon::isTrayAvailable() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

QMenu *SystemTrayIcon::contextMenu() const
{
    icon();
    return m_menu.get();
}

void SystemTrayIcon::updateVisibility()
{
    // An icon without a picture cannot be shown; it appears once the picture is set.
    icon()->setVisible(m_inTray && !m_icon->icon().isNull());
}
