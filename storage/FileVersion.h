#pragma once

#include <QByteArrayView>
#include <QDateTime>
#include <QString>

// What the program knows of one version of the task file: enough to tell whether the file on
// disk is still the one it last loaded or wrote, without reading a large file when size or
// time already tell.
struct FileVersion {
    bool exists = false;
    qint64 size = 0;
    QDateTime modified;
    quint64 hash = 0;
    bool hashed = false; // false: only size and time are known

    // Size, time and a hash of these bytes, just read from or written to path.
    static FileVersion of(const QString &path, QByteArrayView bytes);
    // Reads the file; a missing or unreadable file gives exists == false.
    static FileVersion read(const QString &path);
    // Size and time only, without reading the file.
    static FileVersion stat(const QString &path);

    // True when the file at path holds other bytes than this version. Reads the file only when
    // the size is the same and the time is not; then a matching hash takes the new time in.
    // Without a hash, any other time counts as a change.
    bool changedOnDisk(const QString &path);
};
