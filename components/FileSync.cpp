#include "components/FileSync.h"

#include <QString>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <unistd.h>
#endif

bool syncFileData(int fd, QString *error)
{
#ifdef Q_OS_UNIX
#ifdef Q_OS_DARWIN
    const int rc = ::fsync(fd);
#else
    const int rc = ::fdatasync(fd);
#endif
    if (rc == 0)
        return true;
    if (error)
        *error = QString::fromLocal8Bit(std::strerror(errno));
    return false;
#else
    Q_UNUSED(fd);
    Q_UNUSED(error);
    return true;
#endif
}
