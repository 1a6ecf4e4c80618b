// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <functional>

class QObject;

// Opens a related document (file, folder or address) with the system's associated program.
class DocumentOpener
{
public:
    virtual ~DocumentOpener() = default;
    // Never waits for the opened program. onFailure runs when nothing could be opened: at
    // once, or later when the desktop reports it; only while context still exists.
    virtual void open(const QString &document, QObject *context, std::function<void()> onFailure) = 0;
};
