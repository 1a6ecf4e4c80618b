// SPDX-License-Identifier: MIT
#pragma once

#include <QIcon>
#include <QString>

// A picture built into the program, by its resource name ("A_MAIN", "IDC_MOVE").
inline QIcon resourceIcon(const QString &name)
{
    return QIcon(QStringLiteral(":/res/") + name + QStringLiteral(".svg"));
}
