// SPDX-License-Identifier: MIT
#include "components/qt/InstanceGuard.h"

#include "components/platform/RuntimePaths.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLockFile>

InstanceGuard::InstanceGuard() = default;

InstanceGuard::~InstanceGuard() = default;

QString InstanceGuard::lockFilePath(const QString &key)
{
    return RuntimePaths::folder() + QLatin1Char('/') + RuntimePaths::fileNameFor(key) + QStringLiteral(".lock");
}

bool InstanceGuard::IsFirstInstance(const QString &key)
{
    const QString path = lockFilePath(key);
    if (m_lock && m_lock->isLocked() && m_path == path)
        return true;

    auto lock = std::make_unique<QLockFile>(path);
    // A running instance may hold the lock for days: only a dead owner makes it stale,
    // never the lock's age.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) {
        // tryLock already removes the lock of a process that no longer runs. A lock file
        // whose owner cannot be read is only taken over once it is clearly not being written.
        // No lock can be made at all (an unusable runtime folder): nobody else holds one
        // either, and refusing would keep the program from ever starting. The task file's own
        // lock still keeps a second program off the same file.
        if (lock->error() != QLockFile::LockFailedError)
            return !QFileInfo::exists(path);
        qint64 pid = 0;
        QString host, app;
        if (lock->getLockInfo(&pid, &host, &app))
            return false;
        const QDateTime written = QFileInfo(path).lastModified();
        if (written.isValid() && qAbs(written.secsTo(QDateTime::currentDateTime())) < 5)
            return false;
        if (!lock->removeStaleLockFile() || !lock->tryLock(0))
            return false;
    }
    m_lock = std::move(lock);
    m_path = path;
    return true;
}
