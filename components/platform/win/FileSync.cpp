// SPDX-License-Identifier: MIT
#include "components/platform/FileSync.h"

#include <QString>

// The system offers no folder handle to flush and writes through its own cache: nothing to do.

bool syncFolder(const QString &folder)
{
    Q_UNUSED(folder);
    return true;
}

bool syncFileData(int fd, QString *error)
{
    Q_UNUSED(fd);
    Q_UNUSED(error);
    return true;
}

BackgroundDataSync::BackgroundDataSync() = default;

BackgroundDataSync::~BackgroundDataSync() = default;

void BackgroundDataSync::request(int fd)
{
    Q_UNUSED(fd);
}

void BackgroundDataSync::waitIdle()
{
}
