// SPDX-License-Identifier: MIT
#include "components/platform/TaskFileGuard.h"

#include <QLockFile>

// No flock here: a lock file that Qt tells stale when its process is gone.

void TaskFileGuard::release()
{
    m_lock.reset();
}

TaskFileGuard::Claim TaskFileGuard::claim(const QString &taskFilePath, const QString &ownAddress)
{
    release();
    m_ownerAddress.clear();
    m_error.clear();
    const QString path = lockFilePath(taskFilePath);
    Q_UNUSED(ownAddress);
    auto lock = std::make_unique<QLockFile>(path);
    lock->setStaleLockTime(0);
    if (lock->tryLock(0)) {
        m_lock = std::move(lock);
        return Claim::Taken;
    }
    if (lock->error() == QLockFile::LockFailedError)
        return Claim::HeldByAnother;
    m_error = path;
    return Claim::Unavailable;
}
