// SPDX-License-Identifier: MIT
#include "components/platform/SystemStartupRegistration.h"

#include "components/AppIdentity.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

// An autostart desktop entry of the free desktops.

namespace {

// Keys of a desktop entry that some desktops read to decide on enabling the entry.
bool entryIsEnabled(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    bool inMainGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inMainGroup = line == QStringLiteral("[Desktop Entry]");
            continue;
        }
        if (!inMainGroup)
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        if (key == QStringLiteral("Hidden") && value == QStringLiteral("true"))
            return false;
        if (key == QStringLiteral("X-GNOME-Autostart-enabled") && value == QStringLiteral("false"))
            return false;
    }
    return true;
}

QString autostartFolder()
{
    // Honours XDG_CONFIG_HOME, defaulting to ~/.config.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/autostart");
}

} // namespace

QString SystemStartupRegistration::entryPath(const QString &name)
{
    return autostartFolder() + QLatin1Char('/') + name + QStringLiteral(".desktop");
}

bool SystemStartupRegistration::IsRegistered(const QString &name)
{
    if (!isUsableName(name))
        return false;
    const QString path = entryPath(name);
    if (!QFileInfo(path).isFile())
        return false;
    return entryIsEnabled(path);
}

bool SystemStartupRegistration::Register(const QString &name, const QString &commandLine, QString *error)
{
    QStringList args;
    QString path;
    if (!prepareEntryFile(name, commandLine, &args, &path, error))
        return false;

    QByteArray content;
    const QStringList lines = {
        QStringLiteral("[Desktop Entry]"),
        QStringLiteral("Type=Application"),
        QStringLiteral("Version=1.0"),
        QStringLiteral("Name=") + AppIdentity::kApplication,
        QStringLiteral("Comment=") + AppIdentity::kAppTitle,
        QStringLiteral("Exec=") + desktopExecLine(args),
        QStringLiteral("Terminal=false"),
        QStringLiteral("X-GNOME-Autostart-enabled=true"),
        // Start after the panel, so that the tray icon has a place to go.
        QStringLiteral("X-GNOME-Autostart-Delay=5"),
        QStringLiteral("X-KDE-autostart-after=panel"),
        QStringLiteral("X-LXQt-Need-Tray=true"),
    };
    content = (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();

    return writeEntryFile(path, content, error);
}

bool SystemStartupRegistration::Unregister(const QString &name, QString *error)
{
    return removeEntryFile(name, error);
}
