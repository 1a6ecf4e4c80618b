// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <memory>

class QLockFile;

// Claims a key for this process through a lock file in the user's runtime folder. The claim
// lasts as long as the object; a lock left by a process that died does not count.
class InstanceGuard
{
public:
    InstanceGuard();
    ~InstanceGuard();
    InstanceGuard(const InstanceGuard &) = delete;
    InstanceGuard &operator=(const InstanceGuard &) = delete;

    // True when no other live process holds the key; this object then holds it.
    bool IsFirstInstance(const QString &key);

    static QString lockFilePath(const QString &key);

private:
    std::unique_ptr<QLockFile> m_lock;
    QString m_path;
};
