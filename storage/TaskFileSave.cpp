// SPDX-License-Identifier: MIT
// Saving the task file: the atomic write, copies set aside, and what killed saves left behind.
#include "storage/TaskFile.h"

#include "storage/FileError.h"
#include "storage/StorageLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include <cerrno>

SaveResult saveTaskFile(const QString &path, const TaskTree &tree)
{
    return saveFileBytes(path, serializeTaskTree(tree));
}

SaveResult saveFileBytes(const QString &path, const QByteArray &data)
{
    SaveResult result;
    auto fail = [&](const QString &why) {
        result.ok = false;
        result.error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), why);
        return result;
    };

    // Only a regular file is ever replaced; a folder, a pipe or a device stays as it is.
    const QFileInfo info(path);
    if (info.isDir())
        return fail(fileErrorText(EISDIR));
    if (info.exists() && !info.isFile())
        return fail(QStringLiteral("Здесь не обычный файл, а устройство или канал"));
    if (info.exists() && !info.isWritable())
        return fail(fileErrorText(EACCES)); // QSaveFile refuses it too, in words of its own
    QSaveFile file(path);
    clearSystemError();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(fileErrorText(lastSystemError(), file.errorString()));
    // A short write (the disk filling up) is followed by one more, which then says why.
    for (qsizetype written = 0; written < data.size();) {
        clearSystemError();
        const qint64 n = file.write(data.constData() + written, data.size() - written);
        if (n <= 0) {
            const QString why = fileErrorText(lastSystemError(), file.errorString());
            file.cancelWriting();
            return fail(why);
        }
        written += qsizetype(n);
    }
    clearSystemError();
    if (!file.commit())
        return fail(fileErrorText(lastSystemError(), file.errorString()));
    result.ok = true;
    result.stamp = FileStamp::of(path, data);
    return result;
}

QString keepUnreadableCopy(const QString &path, QString *error)
{
    return keepCopyAside(path, QStringLiteral("unreadable"), error);
}

QString keepCopyAside(const QString &path, const QString &suffix, QString *error)
{
    if (error)
        error->clear();
    const QFileInfo info(path);
    if (!info.isFile())
        return {};
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QDir dir = info.absoluteDir();
    QString why;
    for (int attempt = 1; attempt <= 100; ++attempt) {
        const QString name = attempt == 1
            ? QStringLiteral("%1.%2.%3").arg(info.fileName(), stamp, suffix)
            : QStringLiteral("%1.%2-%3.%4").arg(info.fileName(), stamp).arg(attempt).arg(suffix);
        const QString copy = dir.filePath(name);
        if (QFileInfo::exists(copy))
            continue;
        // QFile::copy refuses an existing target, so a copy made meanwhile is never replaced.
        QFile source(path);
        clearSystemError();
        if (source.copy(copy))
            return copy;
        why = fileErrorText(lastSystemError(), source.errorString());
        if (!QFileInfo::exists(copy))
            break;
    }
    if (why.isEmpty())
        why = QStringLiteral("все имена для копии уже заняты");
    if (error)
        *error = why;
    return {};
}

int removeLeftoverTemporaries(const QString &path)
{
    // A save writes "<name>.XXXXXX" beside the file and renames it over; one killed in between
    // leaves a full copy behind that nothing will ever read.
    const QFileInfo info(path);
    const QRegularExpression pattern(QRegularExpression::anchoredPattern(QRegularExpression::escape(info.fileName())
                                                                         + QStringLiteral("\\.[A-Za-z0-9]{6}")));
    int removed = 0;
    const QDir dir = info.absoluteDir();
    const QStringList candidates
        = dir.entryList({info.fileName() + QStringLiteral(".??????")}, QDir::Files | QDir::Hidden);
    for (const QString &name : candidates) {
        const QFileInfo candidate(dir.filePath(name));
        if (!pattern.match(name).hasMatch() || candidate.isSymLink() || !candidate.isFile())
            continue;
        if (QFile::remove(candidate.filePath())) {
            qCInfo(lcStorage) << "Removed the temporary file of an unfinished save:" << candidate.filePath();
            ++removed;
        } else {
            qCWarning(lcStorage) << "Could not remove the temporary file of an unfinished save:"
                                 << candidate.filePath();
        }
    }
    return removed;
}
