// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArrayView>
#include <QString>
#include <QtGlobal>
#include <cstddef>

// What the program knows of one version of the task file, as it read or wrote it: enough to
// tell whether the file on disk is still exactly those bytes, without reading a large file when
// size or time already tell.
struct FileStamp {
    qint64 size = -1; // -1: there was no file
    qint64 modifiedMs = 0;
    quint64 hash = 0;

    bool operator==(const FileStamp &) const = default;

    bool exists() const { return size >= 0; }

    // Size, time and a hash of these bytes, just read from or written to path.
    static FileStamp of(const QString &path, QByteArrayView bytes);
    // Reads the file; a missing or unreadable file gives size -1.
    static FileStamp read(const QString &path);

    // True when the file at path holds other bytes than this version. Reads the file only when
    // the size is the same and the time is not; then a matching hash takes the new time in.
    bool changedOnDisk(const QString &path);
};

// A fast 64-bit hash of bytes (not cryptographic): a 20 MB file in a few milliseconds. Its
// values are kept in journals on disk, so they never change.
quint64 contentHash(const char *data, size_t size);

// The stamps' hash: of the same kind, but taken piece by piece, so that a file is hashed as it
// is written and never has to be in memory whole.
class ContentHasher
{
public:
    void add(const char *data, size_t size);
    quint64 finish() const;

private:
    quint64 m_a = 0x243F6A8885A308D3ull;
    quint64 m_b = 0x13198A2E03707344ull;
    quint64 m_size = 0;
    char m_hold[16] = {};
    size_t m_held = 0;
};
quint64 stampHash(const char *data, size_t size);
