// SPDX-License-Identifier: MIT
#include "components/platform/TaskFileGuard.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

// An flock on a file beside the task file: the kernel drops it with the process.

void TaskFileGuard::release()
{
    if (m_fd >= 0)
        ::close(m_fd); // the lock goes with the descriptor
    m_fd = -1;
}

TaskFileGuard::Claim TaskFileGuard::claim(const QString &taskFilePath, const QString &ownAddress)
{
    release();
    m_ownerAddress.clear();
    m_error.clear();
    const QString path = lockFilePath(taskFilePath);
    const QByteArray native = QFile::encodeName(path);
    int fd = ::open(native.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0 && (errno == EACCES || errno == EROFS))
        fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC); // a read-only folder can still be locked
    if (fd < 0) {
        m_error = path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
        return Claim::Unavailable;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error == EWOULDBLOCK) {
            QFile owner(path);
            if (owner.open(QIODevice::ReadOnly))
                m_ownerAddress = QString::fromUtf8(owner.read(4096)).trimmed();
            ::close(fd);
            return Claim::HeldByAnother;
        }
        ::close(fd);
        m_error = path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error));
        return Claim::Unavailable;
    }
    m_fd = fd;
    const QByteArray address = ownAddress.toUtf8() + '\n';
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, address.constData(), size_t(address.size()), 0) != address.size())
        m_error = path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno)); // held all the same
    return Claim::Taken;
}
