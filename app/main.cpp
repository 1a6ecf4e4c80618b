// SPDX-License-Identifier: MIT
#include "app/CommandLine.h"
#include "app/FontWarmUp.h"
#include "app/Startup.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // Help, version, a wrong option and the export are settled before any window system is
    // touched: an export runs where there is no display.
    const CommandLine::Request request = CommandLine::parse(CommandLine::rawArguments(argc, argv), true);
    if (request.mode != CommandLine::Request::Mode::Window)
        return CommandLine::run(request, argc, argv);
    // The system's fonts are read while the window system is reached and the window is built.
    FontWarmUp fonts;
    QApplication app(argc, argv);
    // What Qt did not take as its own is ours, and must be known.
    const CommandLine::Request left = CommandLine::parse(QCoreApplication::arguments(), false);
    if (left.mode != CommandLine::Request::Mode::Window)
        return CommandLine::run(left, argc, argv);
    fonts.listFonts();
    const int code = Startup::run(QCoreApplication::arguments());
    fonts.finish(); // the list is read with the application's help: done before it goes
    return code;
}
