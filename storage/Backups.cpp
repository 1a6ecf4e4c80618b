// SPDX-License-Identifier: MIT
#include "storage/Backups.h"

#include "storage/StorageLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

namespace {

// "Tasks.XML" → "Tasks" and ".XML"; the date goes between them.
QString backupName(const QFileInfo &task, const QDate &day)
{
    const QString suffix = task.suffix();
    const QString base = task.completeBaseName();
    return suffix.isEmpty() ? base + u'.' + day.toString(Qt::ISODate)
                            : base + u'.' + day.toString(Qt::ISODate) + u'.' + suffix;
}

void removeOldest(const QDir &dir, const QFileInfo &task)
{
    const QString suffix = task.suffix().isEmpty() ? QString() : u'.' + QRegularExpression::escape(task.suffix());
    const QRegularExpression pattern(u'^' + QRegularExpression::escape(task.completeBaseName())
                                     + QStringLiteral("\\.\\d{4}-\\d{2}-\\d{2}") + suffix + u'$');
    QStringList dated;
    for (const QString &name : dir.entryList(QDir::Files))
        if (pattern.match(name).hasMatch())
            dated << name;
    // ISO dates sort by name.
    dated.sort();
    for (qsizetype i = 0; i + Backups::kKept < dated.size(); ++i)
        if (!QFile::remove(dir.filePath(dated[i])))
            qCWarning(lcStorage) << "An old backup could not be removed:" << dir.filePath(dated[i]);
}

} // namespace

namespace Backups {

QString folder(const QString &taskFilePath)
{
    return QFileInfo(taskFilePath).absoluteDir().filePath(QStringLiteral("Backups"));
}

bool keepDaily(const QString &taskFilePath, const QDate &today)
{
    const QFileInfo task(taskFilePath);
    if (!task.isFile())
        return true;
    const QDir dir(folder(taskFilePath));
    const QString target = dir.filePath(backupName(task, today));
    if (QFileInfo::exists(target))
        return true;
    if (!dir.mkpath(QStringLiteral("."))) {
        qCWarning(lcStorage) << "No backup of the task file: the folder could not be made:" << dir.path();
        return false;
    }
    QFile source(taskFilePath);
    if (!source.open(QIODevice::ReadOnly)) {
        qCWarning(lcStorage) << "No backup of the task file: it could not be read:" << source.errorString();
        return false;
    }
    const QByteArray bytes = source.readAll();
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.flush() || !out.commit()) {
        qCWarning(lcStorage) << "No backup of the task file:" << target << out.errorString();
        out.cancelWriting();
        return false;
    }
    removeOldest(dir, task);
    return true;
}

} // namespace Backups
