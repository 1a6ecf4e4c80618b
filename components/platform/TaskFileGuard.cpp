// SPDX-License-Identifier: MIT
#include "components/platform/TaskFileGuard.h"

#include <QFileInfo>
#include <QLockFile>

TaskFileGuard::TaskFileGuard() = default;

TaskFileGuard::~TaskFileGuard()
{
    release();
}

QString TaskFileGuard::lockFilePath(const QString &taskFilePath)
{
    // The file's real target: a symlinked file or folder leads to the one folder that holds it.
    QFileInfo file(taskFilePath);
    QString target = file.absoluteFilePath();
    if (file.exists())
        target = file.canonicalFilePath();
    else if (file.isSymLink())
        target = file.symLinkTarget(); // not written yet: the save creates it there
    const QFileInfo real(target);
    QString folder = QFileInfo(real.absolutePath()).canonicalFilePath();
    if (folder.isEmpty())
        folder = real.absolutePath();
    // Named by the file, not its inode: every save replaces the file and with it the inode.
    return folder + QStringLiteral("/.") + real.fileName() + QStringLiteral(".lock");
}
