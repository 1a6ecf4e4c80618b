#include "storage/FileVersion.h"

#include "storage/StorageLog.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>

namespace {

// Tells only whether a file of the same size still holds the same bytes: no defence against
// crafted input is needed, speed is (it runs over the whole file at every save). Four lanes
// keep the multiplier busy.
quint64 fastHash(QByteArrayView bytes)
{
    constexpr quint64 kMul = 0x9E3779B97F4A7C15ull;
    quint64 h[4] = {kMul, kMul * 3, kMul * 5, kMul * 7};
    const char *p = bytes.data();
    size_t n = size_t(bytes.size());
    auto mix = [](quint64 lane, quint64 word) {
        lane = (lane ^ word) * kMul;
        return lane ^ (lane >> 32);
    };
    for (; n >= 32; p += 32, n -= 32) {
        quint64 w[4];
        std::memcpy(w, p, 32);
        for (int i = 0; i < 4; ++i)
            h[i] = mix(h[i], w[i]);
    }
    for (int i = 0; n > 0; i = (i + 1) % 4) {
        quint64 w = 0;
        const size_t take = std::min<size_t>(n, 8);
        std::memcpy(&w, p, take);
        h[i] = mix(h[i], w ^ (quint64(take) << 56));
        p += take;
        n -= take;
    }
    quint64 r = quint64(bytes.size());
    for (quint64 lane : h)
        r = mix(r, lane);
    return r;
}

} // namespace

FileVersion FileVersion::of(const QString &path, QByteArrayView bytes)
{
    const QFileInfo info(path);
    FileVersion v;
    v.exists = info.isFile();
    v.size = bytes.size();
    v.modified = info.lastModified();
    v.hash = fastHash(bytes);
    v.hashed = true;
    return v;
}

FileVersion FileVersion::stat(const QString &path)
{
    const QFileInfo info(path);
    FileVersion v;
    v.exists = info.isFile();
    v.size = v.exists ? info.size() : 0;
    v.modified = info.lastModified();
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
    if (!hashed)
        return true;
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
