#include "components/platform/TaskFileGuard.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

TaskFileGuard::TaskFileGuard() = default;

TaskFileGuard::~TaskFileGuard()
{
    release();
}

void TaskFileGuard::release()
{
#ifdef Q_OS_UNIX
    if (m_fd >= 0)
        ::close(m_fd); // the lock goes with the descriptor
    m_fd = -1;
#endif
    m_lock.reset();
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

TaskFileGuard::Claim TaskFileGuard::claim(const QString &taskFilePath, const QString &ownAddress)
{
    release();
    m_ownerAddress.clear();
    m_error.clear();
    const QString path = lockFilePath(taskFilePath);
#ifdef Q_OS_UNIX
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
#else
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
#endif
}
