// SPDX-License-Identifier: MIT
#include "storage/EmergencyCopy.h"

#include "storage/StorageLog.h"
#include "storage/TaskFile.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

const QString kSuffix = QStringLiteral(".emergency");

// "<prefix>.<yyyyMMdd-HHmmss>[-n].emergency" in dir, written once and never replaced.
QString writeNew(const QString &dir, const QString &prefix, const QByteArray &bytes, QString *error)
{
    if (!QDir().mkpath(dir)) {
        *error = QStringLiteral("не удаётся создать каталог ") + QDir::toNativeSeparators(dir);
        return {};
    }
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    for (int attempt = 1; attempt <= 100; ++attempt) {
        const QString path
            = QDir(dir).filePath(prefix + QLatin1Char('.') + stamp
                                 + (attempt == 1 ? QString() : QStringLiteral("-%1").arg(attempt)) + kSuffix);
        if (QFileInfo::exists(path))
            continue;
        QSaveFile file(path);
        if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
            return path;
        *error = QDir::toNativeSeparators(path) + QStringLiteral(": ") + file.errorString();
        return {};
    }
    *error = QDir::toNativeSeparators(dir) + QStringLiteral(": слишком много аварийных копий");
    return {};
}

} // namespace

// Copies of other task files (another data folder) are never offered for this one.
QString EmergencyCopy::boundName(const QString &taskFilePath)
{
    const QFileInfo info(taskFilePath);
    QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    if (folder.isEmpty())
        folder = info.absolutePath();
    const QByteArray hash
        = QCryptographicHash::hash((folder + QLatin1Char('/') + info.fileName()).toUtf8(), QCryptographicHash::Sha1);
    return info.fileName() + QLatin1Char('.') + QString::fromLatin1(hash.toHex().left(12));
}

QString EmergencyCopy::stateFolder()
{
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return base + QLatin1Char('/') + QCoreApplication::organizationName() + QLatin1Char('/')
        + QCoreApplication::applicationName();
}

QString EmergencyCopy::write(const QString &taskFilePath, const TaskTree &tree, QString *error)
{
    const QByteArray bytes = serializeTaskTree(tree);
    QString stateError;
    QString path = writeNew(stateFolder(), boundName(taskFilePath), bytes, &stateError);
    if (!path.isEmpty())
        return path;
    QString besideError;
    const QFileInfo info(taskFilePath);
    path = writeNew(info.absolutePath(), info.fileName(), bytes, &besideError);
    if (path.isEmpty())
        *error = stateError + QStringLiteral("; ") + besideError;
    return path;
}

QString EmergencyCopy::find(const QString &taskFilePath)
{
    const QFileInfo info(taskFilePath);
    QFileInfoList found
        = QDir(stateFolder()).entryInfoList({boundName(taskFilePath) + QStringLiteral(".*") + kSuffix}, QDir::Files);
    found += QDir(info.absolutePath()).entryInfoList({info.fileName() + QStringLiteral(".*") + kSuffix}, QDir::Files);
    QString newest;
    QDateTime newestTime;
    for (const QFileInfo &copy : found) {
        if (newest.isEmpty() || copy.lastModified() > newestTime) {
            newest = copy.absoluteFilePath();
            newestTime = copy.lastModified();
        }
    }
    return newest;
}

bool EmergencyCopy::restore(const QString &taskFilePath, const QString &copy, QString *aside, QString *error)
{
    aside->clear();
    QFile source(copy);
    if (!source.open(QIODevice::ReadOnly)) {
        *error = QDir::toNativeSeparators(copy) + QStringLiteral(": ") + source.errorString();
        return false;
    }
    const QByteArray bytes = source.readAll();
    source.close();
    if (QFileInfo(taskFilePath).isFile()) {
        *aside = keepCopyAside(taskFilePath, QStringLiteral("replaced"));
        if (aside->isEmpty()) {
            *error = QStringLiteral("не удаётся сохранить копию файла ") + QDir::toNativeSeparators(taskFilePath);
            return false;
        }
    }
    QSaveFile target(taskFilePath);
    if (!target.open(QIODevice::WriteOnly) || target.write(bytes) != bytes.size() || !target.commit()) {
        *error = QDir::toNativeSeparators(taskFilePath) + QStringLiteral(": ") + target.errorString();
        return false;
    }
    if (!QFile::remove(copy))
        qCWarning(lcStorage) << "The emergency copy was loaded but could not be removed:" << copy;
    return true;
}
