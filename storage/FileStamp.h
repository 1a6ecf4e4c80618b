#pragma once

#include <QtGlobal>
#include <cstddef>

// What a task file held when the program read or wrote it: enough to tell that the file on
// disk is still exactly those bytes.
struct FileStamp {
    qint64 size = -1; // -1: there was no file
    qint64 modifiedMs = 0;
    quint64 hash = 0;

    bool operator==(const FileStamp &) const = default;
};

// A fast 64-bit hash of bytes (not cryptographic): a 20 MB file in a few milliseconds.
quint64 contentHash(const char *data, size_t size);
