// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>

// The one command-line switch: "/Autorun" starts the program hidden in the tray.
namespace AutorunStart {

// The text after the program's path, arguments joined by blanks.
QString argumentText(const QStringList &arguments);

// True when the argument text, trimmed and upper-cased, is exactly "/AUTORUN".
bool isAutorun(const QString &argumentText);

} // namespace AutorunStart
