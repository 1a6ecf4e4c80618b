// SPDX-License-Identifier: MIT
#pragma once

#include "export/TaskExport.h"

#include <QString>
#include <QStringList>

// The command line: the window start (with "/Autorun" or without), help, version, and the
// export that runs without a window and leaves the task file and everything else as it was.
namespace CommandLine {

struct Request {
    enum class Mode { Window, Help, Version, Export, Error };
    Mode mode = Mode::Window;
    ExportFormat format = ExportFormat::Markdown;
    QString subtree;  // a task's path; empty: the whole tree
    QString output;   // empty: standard output
    QString taskFile; // empty: the user's own
    QString error;    // Error: what was wrong, one line
};

// arguments: the program first. qtOptionsLeft: Qt has not yet taken its own options ("-platform",
// "-style"), so a single-dash option that is not ours is left to it; afterwards it is an error.
Request parse(const QStringList &arguments, bool qtOptionsLeft);

// The arguments as the system gave them, before any application object exists.
QStringList rawArguments(int argc, char *argv[]);

// What --help prints.
QString usage();

// Carries out a request that needs no window (help, version, an error, an export); returns the
// exit code: 0, 1 when the task file cannot be read or the output written, 2 for a wrong
// command line.
int run(const Request &request, int &argc, char *argv[]);

} // namespace CommandLine
