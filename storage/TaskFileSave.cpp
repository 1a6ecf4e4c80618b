// SPDX-License-Identifier: MIT
// Saving the task file: the atomic write, copies set aside, and what killed saves left behind.
#include "storage/TaskFile.h"

#include "storage/FileError.h"
#include "storage/StorageLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QScopeGuard>
#include <QThreadPool>

#include <cerrno>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace {

constexpr qint64 kHoldOldFileFrom = 16 << 20;

// The file that a save writes beside path and then puts in its place; empty why when it is open.
QString openReplacement(QSaveFile &file, const QString &path)
{
    // Only a regular file is ever replaced; a folder, a pipe or a device stays as it is.
    const QFileInfo info(path);
    if (info.isDir())
        return fileErrorText(EISDIR);
    if (info.exists() && !info.isFile())
        return QStringLiteral("Здесь не обычный файл, а устройство или канал");
    if (info.exists() && !info.isWritable())
        return fileErrorText(EACCES); // QSaveFile refuses it too, in words of its own
    clearSystemError();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fileErrorText(lastSystemError(), file.errorString());
    return {};
}

// Writes all the bytes, or says why not. A short write (the disk filling up) is followed by
// one more, which then says why.
QString writeAll(QFileDevice &file, const char *data, qsizetype size)
{
    for (qsizetype written = 0; written < size;) {
        clearSystemError();
        const qint64 n = file.write(data + written, size - written);
        if (n <= 0)
            return fileErrorText(lastSystemError(), file.errorString());
        written += qsizetype(n);
    }
    return {};
}

// Puts the written file in place of the old one; the stamp of what it now holds, or why not.
QString commitReplacement(QSaveFile &file, const QString &path, qint64 size, quint64 hash, FileStamp *stamp)
{
#ifdef Q_OS_UNIX
    // The rename would free a large old file's blocks then and there, which takes a while; held
    // open, the old file goes with its last close instead, on a thread of the pool.
    std::unique_ptr<QFile> old;
    if (QFileInfo(path).size() >= kHoldOldFileFrom) {
        old = std::make_unique<QFile>(path);
        if (!old->open(QIODevice::ReadOnly))
            old.reset();
    }
    const auto closeOld = qScopeGuard([&old] {
        if (!old)
            return;
        old->moveToThread(nullptr); // so that another thread may delete it
        QThreadPool::globalInstance()->start([held = old.release()] { delete held; });
    });
#endif
    clearSystemError();
    if (!file.commit())
        return fileErrorText(lastSystemError(), file.errorString());
    const QFileInfo info(path);
    *stamp = {info.isFile() ? size : -1, info.lastModified().toMSecsSinceEpoch(), hash};
    return {};
}

// A large file goes out in pieces on a thread of its own, so that the next piece is made while
// one is being written, and only a few pieces are in memory at any time.
constexpr qsizetype kPiece = 1 << 20;
constexpr int kSparePieces = 3;

class PieceWriter
{
public:
    explicit PieceWriter(QFileDevice &file)
        : m_file(file)
    {
    }
    ~PieceWriter() { finish(); }
    PieceWriter(const PieceWriter &) = delete;
    PieceWriter &operator=(const PieceWriter &) = delete;

    // Takes a full piece and leaves an empty buffer to go on with; false once a write failed.
    bool take(QByteArray &piece, bool last)
    {
        std::unique_lock lock(m_mutex);
        if (!m_thread.joinable() && !last && !m_alone) {
            try {
                m_thread = std::thread([this] { run(); });
            } catch (const std::system_error &e) {
                qCWarning(lcStorage) << "The save goes on without a thread of its own:" << e.what();
                m_alone = true;
            }
        }
        if (!m_thread.joinable()) {
            // A small file is written in one go, and without a thread the pieces are too.
            lock.unlock();
            m_why = put(piece);
            return m_why.isEmpty();
        }
        m_queue.push_back(std::move(piece));
        piece = QByteArray();
        m_changed.notify_all();
        if (last)
            return m_why.isEmpty();
        while (m_why.isEmpty() && m_spare.empty() && m_made >= kSparePieces)
            m_changed.wait(lock);
        if (!m_why.isEmpty())
            return false;
        if (!m_spare.empty()) {
            piece = std::move(m_spare.back());
            m_spare.pop_back();
        } else {
            ++m_made;
        }
        return true;
    }

    // Waits for every piece taken; why the first failed write failed, or empty.
    QString finish()
    {
        if (m_thread.joinable()) {
            {
                std::lock_guard lock(m_mutex);
                m_done = true;
            }
            m_changed.notify_all();
            m_thread.join();
        }
        return m_why;
    }

    qint64 size() const { return m_size; }
    quint64 hash() const { return m_hasher.finish(); }

private:
    // Writes a piece and hashes it while it is still in the cache.
    QString put(const QByteArray &piece)
    {
        QString why = writeAll(m_file, piece.constData(), piece.size());
        m_hasher.add(piece.constData(), size_t(piece.size()));
        m_size += piece.size();
        return why;
    }

    void run()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [this] { return m_done || !m_queue.empty(); });
            if (m_queue.empty())
                return;
            QByteArray piece = std::move(m_queue.front());
            m_queue.pop_front();
            const bool failed = !m_why.isEmpty();
            lock.unlock();
            // After a failure the rest is only drained, so that take() never waits for ever.
            const QString why = failed ? QString() : put(piece);
            lock.lock();
            if (m_why.isEmpty())
                m_why = why;
            m_spare.push_back(std::move(piece));
            m_changed.notify_all();
        }
    }

    QFileDevice &m_file;
    ContentHasher m_hasher;
    qint64 m_size = 0;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<QByteArray> m_queue;
    std::vector<QByteArray> m_spare;
    int m_made = 0;
    bool m_done = false;
    bool m_alone = false;
    QString m_why;
    std::thread m_thread;
};

} // namespace

namespace {

// The atomic write around what write puts in the file: write gives why it failed, or empty and
// the size and hash of what it wrote.
template<typename Write>
SaveResult replaceFile(const QString &path, Write &&write)
{
    SaveResult result;
    QSaveFile file(path);
    QString why = openReplacement(file, path);
    if (why.isEmpty()) {
        qint64 size = 0;
        quint64 hash = 0;
        why = write(file, size, hash);
        if (why.isEmpty())
            why = commitReplacement(file, path, size, hash, &result.stamp);
        else
            file.cancelWriting();
    }
    result.ok = why.isEmpty();
    if (!result.ok)
        result.error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), why);
    return result;
}

} // namespace

SaveResult saveTaskFile(const QString &path, const TaskTree &tree)
{
    return replaceFile(path, [&tree](QSaveFile &file, qint64 &size, quint64 &hash) {
        PieceWriter writer(file);
        writeTaskTree(tree, kPiece, [&](QByteArray &piece, bool last) { return writer.take(piece, last); });
        const QString why = writer.finish();
        size = writer.size();
        hash = writer.hash();
        return why;
    });
}

SaveResult saveFileBytes(const QString &path, const QByteArray &data)
{
    return replaceFile(path, [&data](QSaveFile &file, qint64 &size, quint64 &hash) {
        size = data.size();
        hash = stampHash(data.constData(), size_t(data.size()));
        return writeAll(file, data.constData(), data.size());
    });
}

QString keepUnreadableCopy(const QString &path, QString *error)
{
    return keepCopyAside(path, QStringLiteral("unreadable"), error);
}

QString keepCopyAside(const QString &path, const QString &suffix, QString *error)
{
    if (error)
        error->clear();
    const QFileInfo info(path);
    if (!info.isFile())
        return {};
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QDir dir = info.absoluteDir();
    QString why;
    for (int attempt = 1; attempt <= 100; ++attempt) {
        const QString name = attempt == 1
            ? QStringLiteral("%1.%2.%3").arg(info.fileName(), stamp, suffix)
            : QStringLiteral("%1.%2-%3.%4").arg(info.fileName(), stamp).arg(attempt).arg(suffix);
        const QString copy = dir.filePath(name);
        if (QFileInfo::exists(copy))
            continue;
        // QFile::copy refuses an existing target, so a copy made meanwhile is never replaced.
        QFile source(path);
        clearSystemError();
        if (source.copy(copy))
            return copy;
        why = fileErrorText(lastSystemError(), source.errorString());
        if (!QFileInfo::exists(copy))
            break;
    }
    if (why.isEmpty())
        why = QStringLiteral("все имена для копии уже заняты");
    if (error)
        *error = why;
    return {};
}

int removeLeftoverTemporaries(const QString &path)
{
    // A save writes "<name>.XXXXXX" beside the file and renames it over; one killed in between
    // leaves a full copy behind that nothing will ever read.
    const QFileInfo info(path);
    const QRegularExpression pattern(QRegularExpression::anchoredPattern(QRegularExpression::escape(info.fileName())
                                                                         + QStringLiteral("\\.[A-Za-z0-9]{6}")));
    int removed = 0;
    const QDir dir = info.absoluteDir();
    const QStringList candidates
        = dir.entryList({info.fileName() + QStringLiteral(".??????")}, QDir::Files | QDir::Hidden);
    for (const QString &name : candidates) {
        const QFileInfo candidate(dir.filePath(name));
        if (!pattern.match(name).hasMatch() || candidate.isSymLink() || !candidate.isFile())
            continue;
        if (QFile::remove(candidate.filePath())) {
            qCInfo(lcStorage) << "Removed the temporary file of an unfinished save:" << candidate.filePath();
            ++removed;
        } else {
            qCWarning(lcStorage) << "Could not remove the temporary file of an unfinished save:"
                                 << candidate.filePath();
        }
    }
    return removed;
}
