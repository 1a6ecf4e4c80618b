// SPDX-License-Identifier: MIT
#pragma once

#include "model/TaskTreeRecorder.h"
#include "storage/FileStamp.h"

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QString>
#include <functional>

class TaskTree;

// The write-ahead journal of the changes made since the task file was last read or written:
// a kill, a crash or a power cut loses at most the command in progress. The changes of one
// turn of the event loop (one command) go out as one record; a record with a change to the
// tasks themselves is forced to the disk, one that only moves the selection or folds a branch
// is merely written. The header binds the journal to the exact bytes of the task file it
// extends; every successful save starts it afresh.
class Journal : public QObject, public TaskTreeRecorder
{
    Q_OBJECT
public:
    // Forces an open file's data to the disk; false with the reason when it cannot.
    using SyncData = std::function<bool(int fd, QString *error)>;

    Journal(const QString &journalPath, SyncData syncData);
    ~Journal() override;

    // "<state folder>/<task file name>.<hash of its real path>.journal".
    static QString pathFor(const QString &taskFilePath);

    struct Recovery {
        int restored = 0;         // records that changed the tasks themselves
        int records = 0;          // all records played, view changes included
        QString keptAside;        // where an unusable journal went
        QString problem;          // why it was unusable (for the log and the message)
        bool treeSpoiled = false; // a record failed half-way: load the file again
    };

    // Right after tree was loaded from bytes with the stamp loaded: plays a journal left by an
    // earlier run onto it (when it extends exactly those bytes; otherwise it is renamed aside
    // with ".unusable"), then records every change made to tree.
    Recovery attach(TaskTree &tree, const FileStamp &loaded);
    // Stops recording (the tree is going away or being read again).
    void detach();

    // Writes what is pending now instead of on the event loop's next turn.
    void flush();
    // The tree is now on disk as written: the journal starts afresh over it.
    void saved(const FileStamp &written);

    const QString &path() const { return m_path; }
    // Bytes waiting for the next flush (they stay when the disk refuses them).
    qsizetype pendingSize() const { return m_pending.size(); }

    // TaskTreeRecorder
    void inserted(const TaskNode *node) override;
    void removing(const TaskNode *node) override;
    void reparenting(const TaskNode *node, const TaskNode *newParent) override;
    void moving(const TaskNode *node, int delta) override;
    void changed(const TaskNode *node, Field field) override;
    void selected(const TaskNode *node) override;

private:
    void beginOp(quint8 op, bool content);
    void putPath(const TaskNode *node);
    void putU32(quint32 v);
    void putString(const QString &s);
    bool ensureOpen();
    void reportFailure(const QString &what);
    QString keepAside();

    QString m_path;
    SyncData m_sync;
    TaskTree *m_tree = nullptr;
    FileStamp m_stamp;
    QFile m_file;
    qint64 m_goodSize = 0; // the end of the last whole record in m_file
    QByteArray m_pending;  // ops of the current group
    qsizetype m_lastSelectAt = -1;
    bool m_pendingContent = false;
    bool m_flushQueued = false;
    bool m_failing = false;
};
