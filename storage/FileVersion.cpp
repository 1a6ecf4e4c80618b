#include "storage/FileVersion.h"

#include "storage/StorageLog.h"

#include <QFile>
#include <QFileInfo>
#include <QHashFunctions>

FileVersion FileVersion::of(const QString &path, QByteArrayView bytes)
{
    const QFileInfo info(path);
    FileVersion v;
    v.exists = info.isFile();
    v.size = bytes.size();
    v.modified = info.lastModified();
    v.hash = qHash(bytes);
    return v;
}

FileVersion FileVersion::read(const QString &path)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return {};
    return of(path, file.readAll());
}

bool FileVersion::changedOnDisk(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return exists;
    if (!exists || info.size() != size)
        return true;
    if (info.lastModified() == modified)
        return false;
    // Touched, perhaps rewritten with the same length: only the bytes can tell.
    const FileVersion now = read(path);
    if (!now.exists) {
        qCWarning(lcStorage) << "The task file could not be read to compare it:" << path;
        return true;
    }
    if (now.hash != hash || now.size != size)
        return true;
    modified = now.modified;
    return false;
}
