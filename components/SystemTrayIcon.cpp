#include "components/SystemTrayIcon.h"

#include <QMenu>
#include <QSystemTrayIcon>

SystemTrayIcon::SystemTrayIcon(QObject *parent)
    : TrayIcon(parent)
    , m_menu(std::make_unique<QMenu>())
    , m_icon(new QSystemTrayIcon(this))
{
    QAction *show = m_menu->addAction(QStringLiteral("Показать"));
    m_menu->setDefaultAction(show);
    m_menu->addSeparator();
    QAction *quit = m_menu->addAction(QStringLiteral("Выход"));
    connect(show, &QAction::triggered, this, &TrayIcon::activated);
    connect(quit, &QAction::triggered, this, &SystemTrayIcon::quitRequested);
    m_icon->setContextMenu(m_menu.get());

    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            Q_EMIT activated();
    });
}

SystemTrayIcon::~SystemTrayIcon()
{
    // The icon refers to the menu; it goes first.
    delete m_icon;
    m_icon = nullptr;
}

void SystemTrayIcon::setToolTip(const QString &text)
{
    m_icon->setToolTip(text);
}

void SystemTrayIcon::showMessage(const QString &title, const QString &text)
{
    m_icon->showMessage(title, text, QSystemTrayIcon::Information);
}

void SystemTrayIcon::setIconPicture(const QIcon &icon)
{
    m_icon->setIcon(icon);
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
    return m_menu.get();
}

void SystemTrayIcon::updateVisibility()
{
    // An icon without a picture cannot be shown; it appears once the picture is set.
    m_icon->setVisible(m_inTray && !m_icon->icon().isNull());
}
