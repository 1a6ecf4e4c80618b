// SPDX-License-Identifier: MIT
#include "components/platform/SystemStartupRegistration.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

bool SystemStartupRegistration::isUsableName(const QString &name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'))
        && name != QStringLiteral(".") && name != QStringLiteral("..");
}

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

bool SystemStartupRegistration::writeEntryFile(const QString &path, const QByteArray &content, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit()) {
        if (error)
            *error = QStringLiteral("Не удаётся записать файл автозапуска \"%1\": %2")
                         .arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    return true;
}

bool SystemStartupRegistration::removeEntryFile(const QString &name, QString *error)
{
    if (!isUsableName(name))
        return true;
    const QString path = entryPath(name);
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return true;
    QFile file(path);
    if (!file.remove()) {
        if (error)
            *error = QStringLiteral("Не удаётся удалить файл автозапуска \"%1\": %2")
                         .arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    return true;
}

bool SystemStartupRegistration::prepareEntryFile(const QString &name, const QString &commandLine, QStringList *args,
                                                 QString *path, QString *error)
{
    const auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (!isUsableName(name))
        return fail(QStringLiteral("Недопустимое имя записи автозапуска."));
    *args = splitCommandLine(commandLine);
    if (args->isEmpty())
        return fail(QStringLiteral("Пустая команда автозапуска."));
    *path = entryPath(name);
    const QString folder = QFileInfo(*path).absolutePath();
    if (!QDir().mkpath(folder) || !QFileInfo(folder).isDir())
        return fail(
            QStringLiteral("Не удаётся создать каталог автозапуска \"%1\".").arg(QDir::toNativeSeparators(folder)));
    return true;
}
