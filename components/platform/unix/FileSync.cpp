// SPDX-License-Identifier: MIT
#include "components/platform/FileSync.h"

#include "components/ComponentsLog.h"

#include <QFile>
#include <QString>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

bool syncFolder(const QString &folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

bool syncFileData(int fd, QString *error)
{
#ifdef Q_OS_DARWIN
    const int rc = ::fsync(fd); // no fdatasync there
#else
    const int rc = ::fdatasync(fd);
#endif
    if (rc == 0)
        return true;
    if (error)
        *error = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

BackgroundDataSync::BackgroundDataSync()
    : m_thread([this] { run(); })
{
}

BackgroundDataSync::~BackgroundDataSync()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void BackgroundDataSync::request(int fd)
{
    const int copy = ::dup(fd);
    if (copy < 0) {
        qCWarning(lcComponents) << "Appended data cannot be forced to the disk:" << std::strerror(errno);
        return;
    }
    int older = -1;
    {
        std::lock_guard lock(m_mutex);
        // One sync of the newest state covers every earlier append to the same file.
        older = m_pending;
        m_pending = copy;
    }
    if (older >= 0)
        ::close(older);
    m_wake.notify_one();
}

void BackgroundDataSync::waitIdle()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return m_pending < 0 && !m_busy; });
}

void BackgroundDataSync::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || m_pending >= 0; });
        if (m_pending < 0)
            return; // stopping, nothing left
        const int fd = m_pending;
        m_pending = -1;
        m_busy = true;
        lock.unlock();
        QString error;
        if (!syncFileData(fd, &error))
            qCWarning(lcComponents).noquote() << "Appended data could not be forced to the disk:" << error;
        ::close(fd);
        lock.lock();
        m_busy = false;
        m_idle.notify_all();
    }
}
