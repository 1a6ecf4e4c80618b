// SPDX-License-Identifier: MIT
#include "storage/FileError.h"

#include <cerrno>
#include <system_error>

QString fileErrorText(int systemError, const QString &fallback)
{
    if (systemError == 0)
        return fallback.isEmpty() ? QStringLiteral("причина неизвестна") : fallback;
    QString cause;
    switch (systemError) {
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        cause = QStringLiteral("Недостаточно места на диске");
        break;
    case EACCES:
    case EPERM:
        cause = QStringLiteral("Нет прав доступа");
        break;
    case EROFS:
        cause = QStringLiteral("Файловая система доступна только для чтения");
        break;
    case ENOENT:
        cause = QStringLiteral("Файл или папка не найдены");
        break;
    case EISDIR:
        cause = QStringLiteral("Это папка, а не файл");
        break;
    case ENOTDIR:
        cause = QStringLiteral("Часть пути — не папка");
        break;
    case EFBIG:
        cause = QStringLiteral("Файл больше, чем здесь разрешено");
        break;
    default:
        break;
    }
    const QString system = QString::fromStdString(std::generic_category().message(systemError));
    return cause.isEmpty() ? system : QStringLiteral("%1 (%2)").arg(cause, system);
}

int lastSystemError()
{
    return errno;
}

void clearSystemError()
{
    errno = 0;
}
