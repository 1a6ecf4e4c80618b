// SPDX-License-Identifier: MIT
#include "storage/Journal.h"

#include "model/TaskTree.h"
#include "storage/EmergencyCopy.h"
#include "storage/StorageLog.h"
#include "storage/TaskFile.h"

#include <QDir>
#include <QFileInfo>
#include <QMetaObject>
#include <cstring>
#include <optional>
#include <vector>

namespace {

// Header: magic, the task file's size, modification time and hash, then a hash of those.
constexpr char kMagic[8] = {'L', 'S', 'T', 'R', 'J', 'N', 'L', '2'};
// The journals of the versions before, whose file hash was of another kind: they are matched
// to the task file by its size and time alone.
constexpr char kMagicFirst[8] = {'L', 'S', 'T', 'R', 'J', 'N', 'L', '1'};
constexpr qint64 kHeaderSize = 40;
// Record: payload length, low half of the payload's hash, payload (ops, one after another).
constexpr qint64 kRecordHead = 8;
constexpr quint32 kMaxRecord = 256u << 20;

enum Op : quint8 { Insert = 1, Remove, Reparent, Move, Text, Status, Expanded, Documents, Select };

void put64(QByteArray &out, quint64 v)
{
    char b[8];
    std::memcpy(b, &v, 8);
    out.append(b, 8);
}

quint64 get64(const char *p)
{
    quint64 v;
    std::memcpy(&v, p, 8);
    return v;
}

quint32 get32(const char *p)
{
    quint32 v;
    std::memcpy(&v, p, 4);
    return v;
}

QByteArray header(const FileStamp &stamp)
{
    QByteArray h(kMagic, 8);
    put64(h, quint64(stamp.size));
    put64(h, quint64(stamp.modifiedMs));
    put64(h, stamp.hash);
    put64(h, contentHash(h.constData(), size_t(h.size())));
    return h;
}

// Reads ops back; every read checks its bounds, so a damaged record fails instead of crashing.
struct Reader {
    const char *p;
    const char *end;
    bool ok = true;

    bool has(qint64 n)
    {
        ok = ok && end - p >= n;
        return ok;
    }
    quint8 u8() { return has(1) ? quint8(*p++) : 0; }
    quint32 u32()
    {
        if (!has(4))
            return 0;
        const quint32 v = get32(p);
        p += 4;
        return v;
    }
    QString string()
    {
        const quint32 n = u32();
        if (!has(n))
            return {};
        const QString s = QString::fromUtf8(p, qsizetype(n));
        p += n;
        return s;
    }
    TaskNode *node(const TaskTree &tree)
    {
        const quint32 depth = u32();
        TaskNode *n = tree.root();
        for (quint32 i = 0; i < depth && ok; ++i) {
            const quint32 row = u32();
            if (!ok || row >= quint32(n->childCount())) {
                ok = false;
                return nullptr;
            }
            n = n->child(int(row));
        }
        return ok ? n : nullptr;
    }
    std::optional<TaskStatus> status()
    {
        const quint8 s = u8();
        if (s >= kStatusDescriptors.size()) {
            ok = false;
            return std::nullopt;
        }
        return TaskStatus(s);
    }
};

// Plays one record's ops; false when one does not fit the tree. *content: one changed the tasks.
bool apply(TaskTree &tree, const char *data, qint64 size, bool *content)
{
    Reader in {data, data + size};
    while (in.ok && in.p < in.end) {
        const quint8 op = in.u8();
        *content = *content || (op != Select && op != Expanded);
        TaskNode *node = op == Select ? nullptr : in.node(tree);
        if (!in.ok)
            return false;
        switch (op) {
        case Insert: {
            const quint32 row = in.u32();
            const QString text = in.string();
            const auto status = in.status();
            if (!in.ok || row > quint32(node->childCount()))
                return false;
            tree.insertChild(node, int(row), text, *status);
            break;
        }
        case Remove:
            if (node->isRoot())
                return false;
            tree.remove(node);
            break;
        case Reparent: {
            TaskNode *newParent = in.node(tree);
            if (!in.ok || !tree.reparent(node, newParent))
                return false;
            break;
        }
        case Move:
            if (!tree.moveAmongSiblings(node, qint8(in.u8())))
                return false;
            break;
        case Text: {
            const QString text = in.string();
            if (!in.ok)
                return false;
            tree.setText(node, text);
            break;
        }
        case Status: {
            const auto status = in.status();
            if (!in.ok || node->isRoot())
                return false;
            tree.setImageKey(node, *status);
            break;
        }
        case Expanded:
            tree.setExpanded(node, in.u8() != 0);
            break;
        case Documents: {
            const quint32 n = in.u32();
            QStringList documents;
            for (quint32 i = 0; i < n && in.ok; ++i)
                documents.append(in.string());
            if (!in.ok || node->isRoot())
                return false;
            tree.setRelatedDocuments(node, std::move(documents));
            break;
        }
        case Select:
            node = in.u8() ? in.node(tree) : nullptr;
            if (!in.ok)
                return false;
            tree.setSelected(node);
            break;
        default:
            return false;
        }
    }
    return in.ok;
}

} // namespace

Journal::Journal(const QString &journalPath, SyncData syncData)
    : m_path(journalPath)
    , m_sync(std::move(syncData))
{
}

Journal::~Journal()
{
    detach();
}

QString Journal::pathFor(const QString &taskFilePath)
{
    return QDir(EmergencyCopy::stateFolder())
        .filePath(EmergencyCopy::boundName(taskFilePath) + QStringLiteral(".journal"));
}

Journal::Recovery Journal::attach(TaskTree &tree, const FileStamp &loaded)
{
    detach();
    m_file.close();
    m_stamp = loaded;
    m_pending.clear();
    m_pendingContent = false;
    m_lastSelectAt = -1;
    Recovery recovery;

    m_file.setFileName(m_path);
    if (m_file.exists()) {
        if (!m_file.open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
            recovery.problem = QStringLiteral("журнал не открывается: ") + m_file.errorString();
        } else {
            const QByteArray bytes = m_file.readAll();
            const char *data = bytes.constData();
            if (bytes.size() < kHeaderSize) {
                // Killed before its header was out: it holds no change yet.
                m_file.close();
                m_file.remove();
            } else if ((std::memcmp(data, kMagic, 8) != 0 && std::memcmp(data, kMagicFirst, 8) != 0)
                       || get64(data + 32) != contentHash(data, 32)) {
                recovery.problem = QStringLiteral("журнал повреждён");
            } else if (std::memcmp(data, kMagicFirst, 8) == 0
                           ? qint64(get64(data + 8)) != loaded.size || qint64(get64(data + 16)) != loaded.modifiedMs
                           : header(loaded) != bytes.left(kHeaderSize)) {
                recovery.problem = QStringLiteral("журнал относится к другому содержимому файла задач");
            } else {
                // Whole records up to the first torn or damaged one, which a kill mid-write leaves.
                qint64 pos = kHeaderSize;
                tree.beginBulkLoad();
                while (pos + kRecordHead <= bytes.size()) {
                    const quint32 length = get32(data + pos);
                    if (length > kMaxRecord || pos + kRecordHead + length > bytes.size()
                        || get32(data + pos + 4) != quint32(contentHash(data + pos + kRecordHead, length)))
                        break;
                    bool content = false;
                    if (!apply(tree, data + pos + kRecordHead, length, &content)) {
                        recovery.treeSpoiled = true;
                        recovery.problem
                            = QStringLiteral("запись %1 журнала не подходит к задачам").arg(recovery.records + 1);
                        break;
                    }
                    ++recovery.records;
                    recovery.restored += content ? 1 : 0;
                    pos += kRecordHead + length;
                }
                tree.endBulkLoad();
                if (!recovery.treeSpoiled && pos < bytes.size()) {
                    qCWarning(lcStorage) << "The journal" << m_path << "ends in an unfinished record of"
                                         << bytes.size() - pos << "bytes; it is dropped";
                    m_file.resize(pos);
                }
                m_goodSize = pos;
            }
        }
        if (!recovery.problem.isEmpty()) {
            m_file.close();
            recovery.keptAside = keepAside();
            qCWarning(lcStorage).noquote()
                << "The journal" << m_path << "was not applied:" << recovery.problem
                << (recovery.keptAside.isEmpty() ? QStringLiteral("(could not be kept aside)")
                                                 : QStringLiteral("(kept as %1)").arg(recovery.keptAside));
            recovery.restored = 0;
        }
    }
    if (recovery.treeSpoiled)
        return recovery; // the caller reads the file again and attaches anew
    m_tree = &tree;
    tree.setRecorder(this);
    return recovery;
}

void Journal::detach()
{
    if (m_tree) {
        flush();
        m_tree->setRecorder(nullptr);
        m_tree = nullptr;
    }
}

QString Journal::keepAside()
{
    const QString copy = keepCopyAside(m_path, QStringLiteral("unusable"));
    if (!copy.isEmpty() && !QFile::remove(m_path))
        qCWarning(lcStorage) << "The unusable journal" << m_path << "could not be removed";
    return copy;
}

void Journal::saved(const FileStamp &written)
{
    m_stamp = written;
    m_pending.clear();
    m_pendingContent = false;
    m_lastSelectAt = -1;
    m_file.close();
    if (QFile::exists(m_path) && !QFile::remove(m_path))
        qCWarning(lcStorage) << "The journal" << m_path
                             << "could not be removed after the save:" << QFile(m_path).errorString();
}

bool Journal::ensureOpen()
{
    if (m_file.isOpen())
        return true;
    if (!QDir().mkpath(QFileInfo(m_path).absolutePath())) {
        reportFailure(QStringLiteral("cannot create the folder ") + QFileInfo(m_path).absolutePath());
        return false;
    }
    m_file.setFileName(m_path);
    // A fresh journal over the file as last read or written: nothing before it counts.
    if (!m_file.open(QIODevice::ReadWrite | QIODevice::Truncate | QIODevice::Unbuffered)) {
        reportFailure(m_file.errorString());
        return false;
    }
    const QByteArray h = header(m_stamp);
    if (m_file.write(h) != h.size()) {
        reportFailure(m_file.errorString());
        m_file.close();
        QFile::remove(m_path);
        return false;
    }
    m_goodSize = kHeaderSize;
    return true;
}

void Journal::reportFailure(const QString &what)
{
    if (!m_failing)
        qCWarning(lcStorage).noquote() << "Changes cannot be written to the journal" << m_path << "(" << what
                                       << "); they are kept in memory until the next save";
    m_failing = true;
}

void Journal::flush()
{
    if (m_pending.isEmpty() || !ensureOpen())
        return;
    QByteArray record;
    record.reserve(kRecordHead + m_pending.size());
    const quint32 length = quint32(m_pending.size());
    const quint32 check = quint32(contentHash(m_pending.constData(), size_t(m_pending.size())));
    record.append(reinterpret_cast<const char *>(&length), 4);
    record.append(reinterpret_cast<const char *>(&check), 4);
    record.append(m_pending);
    if (!m_file.seek(m_goodSize) || m_file.write(record) != record.size()) {
        reportFailure(m_file.errorString());
        // Leave no half record for the next one to hide behind.
        if (!m_file.resize(m_goodSize)) {
            m_file.close();
            QFile::remove(m_path);
        }
        return;
    }
    QString error;
    if (m_pendingContent && m_sync && !m_sync(int(m_file.handle()), &error))
        reportFailure(error);
    else if (m_failing) {
        m_failing = false;
        qCInfo(lcStorage) << "The journal" << m_path << "is written again";
    }
    m_goodSize += record.size();
    m_pending.clear();
    m_pendingContent = false;
    m_lastSelectAt = -1;
}

void Journal::beginOp(quint8 op, bool content)
{
    if (m_pending.isEmpty() && !m_flushQueued) {
        m_flushQueued = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_flushQueued = false;
                flush();
            },
            Qt::QueuedConnection);
    }
    m_pendingContent = m_pendingContent || content;
    m_lastSelectAt = -1;
    m_pending.append(char(op));
}

void Journal::putU32(quint32 v)
{
    m_pending.append(reinterpret_cast<const char *>(&v), 4);
}

void Journal::putString(const QString &s)
{
    const QByteArray utf8 = s.toUtf8();
    putU32(quint32(utf8.size()));
    m_pending.append(utf8);
}

void Journal::putPath(const TaskNode *node)
{
    // Rows from the top down; collected upwards, so written in reverse.
    thread_local std::vector<quint32> rows;
    rows.clear();
    for (const TaskNode *n = node; n->parent(); n = n->parent())
        rows.push_back(quint32(n->row()));
    putU32(quint32(rows.size()));
    for (auto it = rows.rbegin(); it != rows.rend(); ++it)
        putU32(*it);
}

void Journal::inserted(const TaskNode *node)
{
    beginOp(Insert, true);
    putPath(node->parent());
    putU32(quint32(node->row()));
    putString(node->text());
    m_pending.append(char(node->status()));
}

void Journal::removing(const TaskNode *node)
{
    beginOp(Remove, true);
    putPath(node);
}

void Journal::reparenting(const TaskNode *node, const TaskNode *newParent)
{
    beginOp(Reparent, true);
    putPath(node);
    putPath(newParent);
}

void Journal::moving(const TaskNode *node, int delta)
{
    beginOp(Move, true);
    putPath(node);
    m_pending.append(char(qint8(delta)));
}

void Journal::changed(const TaskNode *node, Field field)
{
    switch (field) {
    case Field::Text:
        beginOp(Text, true);
        putPath(node);
        putString(node->text());
        break;
    case Field::Status:
        beginOp(Status, true);
        putPath(node);
        m_pending.append(char(node->status()));
        break;
    case Field::Expanded:
        beginOp(Expanded, false);
        putPath(node);
        m_pending.append(char(node->isExpanded() ? 1 : 0));
        break;
    case Field::Documents: {
        beginOp(Documents, true);
        putPath(node);
        const QStringList documents = node->info() ? node->info()->RelatedDocuments() : QStringList();
        putU32(quint32(documents.size()));
        for (const QString &d : documents)
            putString(d);
        break;
    }
    }
}

void Journal::selected(const TaskNode *node)
{
    // Arrow keys held down: only the last of a run of selections in one command matters.
    if (m_lastSelectAt >= 0)
        m_pending.truncate(m_lastSelectAt);
    const qsizetype at = m_pending.size();
    beginOp(Select, false);
    m_pending.append(char(node ? 1 : 0));
    if (node)
        putPath(node);
    m_lastSelectAt = at;
}
