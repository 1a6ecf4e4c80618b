#pragma once

#include <QString>

// Opens a related document (file, folder or address) with the system's associated program.
class DocumentOpener
{
public:
    virtual ~DocumentOpener() = default;
    // False when nothing could be started: the caller reports it.
    virtual bool open(const QString &document) = 0;
};
