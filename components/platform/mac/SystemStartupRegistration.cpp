// SPDX-License-Identifier: MIT
#include "components/platform/SystemStartupRegistration.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

// A launch agent of the user.

namespace {

QString xmlEscaped(const QString &text)
{
    return text.toHtmlEscaped();
}

} // namespace

QString SystemStartupRegistration::entryPath(const QString &name)
{
    return QDir::homePath() + QStringLiteral("/Library/LaunchAgents/") + name + QStringLiteral(".plist");
}

bool SystemStartupRegistration::IsRegistered(const QString &name)
{
    return isUsableName(name) && QFileInfo(entryPath(name)).isFile();
}

bool SystemStartupRegistration::Register(const QString &name, const QString &commandLine, QString *error)
{
    QStringList args;
    QString path;
    if (!prepareEntryFile(name, commandLine, &args, &path, error))
        return false;

    QByteArray content;
    content += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
               "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
               "<plist version=\"1.0\">\n<dict>\n";
    content += "  <key>Label</key>\n  <string>" + xmlEscaped(name).toUtf8() + "</string>\n";
    content += "  <key>ProgramArguments</key>\n  <array>\n";
    for (const QString &arg : args)
        content += "    <string>" + xmlEscaped(arg).toUtf8() + "</string>\n";
    content += "  </array>\n  <key>RunAtLoad</key>\n  <true/>\n</dict>\n</plist>\n";

    return writeEntryFile(path, content, error);
}

bool SystemStartupRegistration::Unregister(const QString &name, QString *error)
{
    return removeEntryFile(name, error);
}
