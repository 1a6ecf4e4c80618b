// SPDX-License-Identifier: MIT
#pragma once

#include <QIcon>
#include <QString>

// A picture built into the program, by its resource name ("A_MAIN", "IDC_MOVE"). The picture is
// read the first time it is drawn, once for every icon of that name, and each size is rendered
// once: a start no longer reads every toolbar picture twice before its first frame.
QIcon resourceIcon(const QString &name);
