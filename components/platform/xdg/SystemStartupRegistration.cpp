#include "components/platform/SystemStartupRegistration.h"

#include "components/AppIdentity.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>

namespace {

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

// The name becomes a file name: it must not reach outside the folder.
bool isUsableName(const QString &name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'))
        && name != QStringLiteral(".") && name != QStringLiteral("..");
}

#if defined(Q_OS_WIN)
const QString kRunKey = QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");
#elif defined(Q_OS_MACOS)
QString xmlEscaped(const QString &text)
{
    return text.toHtmlEscaped();
}
#else
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
#endif

} // namespace

QStringList SystemStartupRegistration::splitCommandLine(const QString &commandLine)
{
    QStringList args;
    QString current;
    bool inQuotes = false;
    bool hasArg = false;
    for (QChar c : commandLine) {
        if (c == QLatin1Char('"')) {
            inQuotes = !inQuotes;
            hasArg = true;
        } else if (!inQuotes && c.isSpace()) {
            if (hasArg)
                args.append(current);
            current.clear();
            hasArg = false;
        } else {
            current.append(c);
            hasArg = true;
        }
    }
    if (hasArg)
        args.append(current);
    return args;
}

QString SystemStartupRegistration::desktopExecLine(const QStringList &arguments)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    QStringList quoted;
    for (const QString &arg : arguments) {
        bool needsQuotes = arg.isEmpty();
        for (QChar c : arg)
            needsQuotes = needsQuotes || reserved.contains(c);
        QString a;
        if (needsQuotes) {
            a.append(QLatin1Char('"'));
            for (QChar c : arg) {
                if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
                    a.append(QLatin1Char('\\'));
                a.append(c);
            }
            a.append(QLatin1Char('"'));
        } else {
            a = arg;
        }
        // A literal percent sign would otherwise start a field code.
        a.replace(QLatin1Char('%'), QStringLiteral("%%"));
        quoted.append(a);
    }
    // The string-value escapes of the file format come on top of the quoting.
    QString line = quoted.join(QLatin1Char(' '));
    line.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    line.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    line.replace(QLatin1Char('\t'), QStringLiteral("\\t"));
    line.replace(QLatin1Char('\r'), QStringLiteral("\\r"));
    return line;
}

#if defined(Q_OS_WIN)

QString SystemStartupRegistration::entryPath(const QString &name)
{
    return kRunKey + QLatin1Char('\\') + name;
}

bool SystemStartupRegistration::IsRegistered(const QString &name)
{
    QSettings run(kRunKey, QSettings::NativeFormat);
    return isUsableName(name) && run.contains(name);
}

bool SystemStartupRegistration::Register(const QString &name, const QString &commandLine, QString *error)
{
    if (!isUsableName(name)) {
        setError(error, QStringLiteral("Недопустимое имя записи автозапуска."));
        return false;
    }
    QSettings run(kRunKey, QSettings::NativeFormat);
    run.setValue(name, commandLine);
    run.sync();
    if (run.status() != QSettings::NoError) {
        setError(error, QStringLiteral("Не удаётся записать ключ автозапуска в реестр."));
        return false;
    }
    return true;
}

bool SystemStartupRegistration::Unregister(const QString &name, QString *error)
{
    QSettings run(kRunKey, QSettings::NativeFormat);
    if (!isUsableName(name) || !run.contains(name))
        return true;
    run.remove(name);
    run.sync();
    if (run.status() != QSettings::NoError) {
        setError(error, QStringLiteral("Не удаётся удалить ключ автозапуска из реестра."));
        return false;
    }
    return true;
}

#else

QString SystemStartupRegistration::entryPath(const QString &name)
{
#if defined(Q_OS_MACOS)
    return QDir::homePath() + QStringLiteral("/Library/LaunchAgents/") + name + QStringLiteral(".plist");
#else
    return autostartFolder() + QLatin1Char('/') + name + QStringLiteral(".desktop");
#endif
}

bool SystemStartupRegistration::IsRegistered(const QString &name)
{
    if (!isUsableName(name))
        return false;
    const QString path = entryPath(name);
    if (!QFileInfo(path).isFile())
        return false;
#if defined(Q_OS_MACOS)
    return true;
#else
    return entryIsEnabled(path);
#endif
}

bool SystemStartupRegistration::Register(const QString &name, const QString &commandLine, QString *error)
{
    if (!isUsableName(name)) {
        setError(error, QStringLiteral("Недопустимое имя записи автозапуска."));
        return false;
    }
    const QStringList args = splitCommandLine(commandLine);
    if (args.isEmpty()) {
        setError(error, QStringLiteral("Пустая команда автозапуска."));
        return false;
    }
    const QString path = entryPath(name);
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder) || !QFileInfo(folder).isDir()) {
        setError(
            error,
            QStringLiteral("Не удаётся создать каталог автозапуска \"%1\".").arg(QDir::toNativeSeparators(folder)));
        return false;
    }

    QByteArray content;
#if defined(Q_OS_MACOS)
    content += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
               "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
               "<plist version=\"1.0\">\n<dict>\n";
    content += "  <key>Label</key>\n  <string>" + xmlEscaped(name).toUtf8() + "</string>\n";
    content += "  <key>ProgramArguments</key>\n  <array>\n";
    for (const QString &arg : args)
        content += "    <string>" + xmlEscaped(arg).toUtf8() + "</string>\n";
    content += "  </array>\n  <key>RunAtLoad</key>\n  <true/>\n</dict>\n</plist>\n";
#else
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
#endif

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit()) {
        setError(error,
                 QStringLiteral("Не удаётся записать файл автозапуска \"%1\": %2")
                     .arg(QDir::toNativeSeparators(path), file.errorString()));
        return false;
    }
    return true;
}

bool SystemStartupRegistration::Unregister(const QString &name, QString *error)
{
    if (!isUsableName(name))
        return true;
    const QString path = entryPath(name);
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return true;
    QFile file(path);
    if (!file.remove()) {
        setError(error,
                 QStringLiteral("Не удаётся удалить файл автозапуска \"%1\": %2")
                     .arg(QDir::toNativeSeparators(path), file.errorString()));
        return false;
    }
    return true;
}

#endif
