// SPDX-License-Identifier: MIT
#pragma once

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QString>

namespace RuntimePaths {

// The per-user folder for locks and sockets; the temporary folder where the system has none.
inline QString folder()
{
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return runtime.isEmpty() ? QDir::tempPath() : runtime;
}

// A key as a file name: letters, digits and a few safe marks stay, anything else becomes "_".
inline QString fileNameFor(const QString &key)
{
    QString name;
    name.reserve(key.size());
    for (QChar c : key) {
        const bool safe = (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            || (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            || c == QLatin1Char('-') || c == QLatin1Char('_') || c == QLatin1Char('.') || c == QLatin1Char('{')
            || c == QLatin1Char('}');
        name.append(safe ? c : QLatin1Char('_'));
    }
    if (name.isEmpty() || name.startsWith(QLatin1Char('.')))
        name.prepend(QLatin1Char('_'));
    return name;
}

// Unix socket paths are short (about 100 bytes); a long one is replaced by a hash of itself.
inline QString shortenedPath(const QString &dir, const QString &name, const QString &suffix)
{
    QString path = dir + QLatin1Char('/') + name + suffix;
    if (path.toLocal8Bit().size() < 100)
        return path;
    const QByteArray hash = QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    path = dir + QLatin1Char('/') + QString::fromLatin1(hash) + suffix;
    if (path.toLocal8Bit().size() < 100)
        return path;
    // The folder itself is too deep: a private folder under the temporary folder, named by a
    // hash of the runtime folder, owned by the runtime folder's owner and closed to others.
    const QByteArray dirHash = QCryptographicHash::hash(dir.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    const QString privateDir = QDir::tempPath() + QStringLiteral("/listra-") + QString::fromLatin1(dirHash);
    const auto ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
    if (!QFileInfo::exists(privateDir) && QDir().mkpath(privateDir))
        QFile::setPermissions(privateDir, ownerOnly);
    const QFileInfo info(privateDir);
    const bool safe = info.isDir() && !info.isSymLink() && info.ownerId() == QFileInfo(dir).ownerId()
        && (info.permissions()
            & (QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther
               | QFileDevice::WriteOther | QFileDevice::ExeOther))
            == 0;
    return safe ? privateDir + QLatin1Char('/') + QString::fromLatin1(hash) + suffix : path;
}

} // namespace RuntimePaths
