// SPDX-License-Identifier: MIT
#include "storage/FileStamp.h"

#include "storage/StorageLog.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>

namespace {
quint64 mix(quint64 x)
{
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}
} // namespace

quint64 contentHash(const char *data, size_t size)
{
    // Two independent lanes keep the multiplier busy; each word is spread before it meets the
    // running value, so swapped or shifted bytes change the result.
    quint64 a = 0x243F6A8885A308D3ull ^ size;
    quint64 b = 0x13198A2E03707344ull;
    size_t i = 0;
    for (; i + 16 <= size; i += 16) {
        quint64 w1, w2;
        std::memcpy(&w1, data + i, 8);
        std::memcpy(&w2, data + i + 8, 8);
        a = ((a ^ (w1 * 0x9E3779B97F4A7C15ull)) << 31 | (a ^ (w1 * 0x9E3779B97F4A7C15ull)) >> 33)
            * 0xC2B2AE3D27D4EB4Full;
        b = ((b ^ (w2 * 0x165667B19E3779F9ull)) << 29 | (b ^ (w2 * 0x165667B19E3779F9ull)) >> 35)
            * 0x9E3779B185EBCA87ull;
    }
    quint64 tail = 0;
    const size_t rest = size - i;
    std::memcpy(&tail, data + i, rest < 8 ? rest : 8);
    a ^= mix(tail);
    if (rest > 8) {
        quint64 tail2 = 0;
        std::memcpy(&tail2, data + i + 8, rest - 8);
        b ^= mix(tail2 + 1);
    }
    return mix(a ^ mix(b));
}

FileStamp FileStamp::of(const QString &path, QByteArrayView bytes)
{
    const QFileInfo info(path);
    FileStamp v;
    v.size = info.isFile() ? bytes.size() : -1;
    v.modifiedMs = info.lastModified().toMSecsSinceEpoch();
    v.hash = contentHash(bytes.data(), size_t(bytes.size()));
    return v;
}

FileStamp FileStamp::read(const QString &path)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return {};
    return of(path, file.readAll());
}

bool FileStamp::changedOnDisk(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return exists();
    if (!exists() || info.size() != size)
        return true;
    if (info.lastModified().toMSecsSinceEpoch() == modifiedMs)
        return false;
    // Touched, perhaps rewritten with the same length: only the bytes can tell.
    const FileStamp now = read(path);
    if (!now.exists()) {
        qCWarning(lcStorage) << "The task file could not be read to compare it:" << path;
        return true;
    }
    if (now.hash != hash || now.size != size)
        return true;
    modifiedMs = now.modifiedMs;
    return false;
}
