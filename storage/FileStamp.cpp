// SPDX-License-Identifier: MIT
#include "storage/FileStamp.h"

#include "storage/StorageLog.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
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

// Two independent lanes keep the multiplier busy; each word is spread before it meets the
// running value, so swapped or shifted bytes change the result.
void hashBlocks(quint64 &a, quint64 &b, const char *data, size_t count)
{
    for (size_t k = 0; k < count; ++k, data += 16) {
        quint64 w1, w2;
        std::memcpy(&w1, data, 8);
        std::memcpy(&w2, data + 8, 8);
        a = ((a ^ (w1 * 0x9E3779B97F4A7C15ull)) << 31 | (a ^ (w1 * 0x9E3779B97F4A7C15ull)) >> 33)
            * 0xC2B2AE3D27D4EB4Full;
        b = ((b ^ (w2 * 0x165667B19E3779F9ull)) << 29 | (b ^ (w2 * 0x165667B19E3779F9ull)) >> 35)
            * 0x9E3779B185EBCA87ull;
    }
}

// The last 0 to 15 bytes, then both lanes into one value.
quint64 hashTail(quint64 a, quint64 b, const char *rest, size_t size)
{
    quint64 tail = 0;
    std::memcpy(&tail, rest, size < 8 ? size : 8);
    a ^= mix(tail);
    if (size > 8) {
        quint64 tail2 = 0;
        std::memcpy(&tail2, rest + 8, size - 8);
        b ^= mix(tail2 + 1);
    }
    return mix(a ^ mix(b));
}

constexpr quint64 kLaneA = 0x243F6A8885A308D3ull;
constexpr quint64 kLaneB = 0x13198A2E03707344ull;

} // namespace

quint64 contentHash(const char *data, size_t size)
{
    quint64 a = kLaneA ^ size;
    quint64 b = kLaneB;
    hashBlocks(a, b, data, size / 16);
    return hashTail(a, b, data + size / 16 * 16, size % 16);
}

void ContentHasher::add(const char *data, size_t size)
{
    m_size += size;
    if (m_held > 0) {
        const size_t take = std::min(size, sizeof m_hold - m_held);
        std::memcpy(m_hold + m_held, data, take);
        m_held += take;
        data += take;
        size -= take;
        if (m_held < sizeof m_hold)
            return;
        hashBlocks(m_a, m_b, m_hold, 1);
        m_held = 0;
    }
    const size_t whole = size / 16;
    hashBlocks(m_a, m_b, data, whole);
    m_held = size - whole * 16;
    std::memcpy(m_hold, data + whole * 16, m_held);
}

quint64 ContentHasher::finish() const
{
    // The size comes last, as it is only known then.
    return mix(hashTail(m_a, m_b, m_hold, m_held) ^ mix(m_size + kLaneA));
}

quint64 stampHash(const char *data, size_t size)
{
    ContentHasher hasher;
    hasher.add(data, size);
    return hasher.finish();
}

FileStamp FileStamp::of(const QString &path, QByteArrayView bytes)
{
    const QFileInfo info(path);
    FileStamp v;
    v.size = info.isFile() ? bytes.size() : -1;
    v.modifiedMs = info.lastModified().toMSecsSinceEpoch();
    v.hash = stampHash(bytes.data(), size_t(bytes.size()));
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
