// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <memory>

class QLockFile;

// Claims one task file for this process, whatever path it was reached by: the lock lives
// beside the file's real target, so a symlinked or bind-mounted data folder meets the same
// lock. The holder leaves an address there for a later start to reach it. The claim lasts as
// long as the object and ends with the process, however it ends.
class TaskFileGuard
{
public:
    enum class Claim {
        Taken,         // this process holds the file now
        HeldByAnother, // a live process holds it; ownerAddress() tells where it listens
        Unavailable,   // no lock could be made; errorString() says why
    };

    TaskFileGuard();
    ~TaskFileGuard();
    TaskFileGuard(const TaskFileGuard &) = delete;
    TaskFileGuard &operator=(const TaskFileGuard &) = delete;

    Claim claim(const QString &taskFilePath, const QString &ownAddress);
    QString ownerAddress() const { return m_ownerAddress; }
    QString errorString() const { return m_error; }

    static QString lockFilePath(const QString &taskFilePath);

private:
    void release();

    int m_fd = -1;
    std::unique_ptr<QLockFile> m_lock; // where there is no flock
    QString m_ownerAddress;
    QString m_error;
};
