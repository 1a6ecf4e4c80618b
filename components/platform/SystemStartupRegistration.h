// SPDX-License-Identifier: MIT
#pragma once

#include "components/StartupRegistration.h"

#include <QStringList>

// The system's list of programs started at log-on: an XDG autostart entry on Linux and other
// free desktops (xdg/), the current user's Run key on Windows (win/), a launch agent on macOS
// (mac/). The command-line helpers are shared by all three.
class SystemStartupRegistration : public StartupRegistration
{
public:
    bool IsRegistered(const QString &name) override;
    bool Register(const QString &name, const QString &commandLine, QString *error) override;
    bool Unregister(const QString &name, QString *error) override;

    // Where the entry of this name lives (a file; on Windows the registry value's path).
    static QString entryPath(const QString &name);
    // The name becomes a file name (or a value name): it must not reach outside its folder.
    static bool isUsableName(const QString &name);
    // A command line ("\"path\" /Autorun") as its separate arguments.
    static QStringList splitCommandLine(const QString &commandLine);
    // Arguments as the Exec value of a desktop entry, quoted and escaped so that the
    // desktop gets exactly these arguments back.
    static QString desktopExecLine(const QStringList &arguments);

private:
    // Where the entry is a file: written at once or not at all, and removed; false with the
    // reason in *error.
    static bool writeEntryFile(const QString &path, const QByteArray &content, QString *error);
    // Checks the name and the command line and makes the entry's folder; the arguments and the
    // entry's path, or false with the reason in *error.
    static bool prepareEntryFile(const QString &name, const QString &commandLine, QStringList *args, QString *path,
                                 QString *error);
    static bool removeEntryFile(const QString &name, QString *error);
};
