// SPDX-License-Identifier: MIT
#pragma once

#include "storage/FileStamp.h"
#include "ui/main/MainContext.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

class QFileSystemWatcher;

// Keeps the tree and the task file in step when another program (a sync service, another
// computer) replaces the file: a version this program did not write is never silently written
// over. Nothing unsaved here: the new version is loaded, keeping the selection and the expanded
// flags of the tasks found again. Changes here too: F2 asks; the exit keeps both versions.
class TaskFileSync : public QObject
{
    Q_OBJECT
public:
    // busy: a dialog, a menu or a drag is open, and the tree must not change under it now.
    TaskFileSync(const MainContext &ctx, QString taskFilePath, std::function<bool()> busy);
    ~TaskFileSync() override;

    // The start is about to read the file: the watch from here on.
    void beforeLoad();
    // The start read the file as stamped.
    void loaded(const FileStamp &stamp);

    // F2: settles a change on disk, asking when there are changes here too. True when the tree
    // is to be written now; false when the other version was loaded or the user cancelled.
    bool settleBeforeSave();

    enum class Write { Go, Skip, Failed };
    // Every save, asking nothing: another version on disk is kept aside before this one is
    // written (or, when it cannot be, this one goes aside and the file stays). Skip when the file
    // is to stay as it is; Failed, with the reason in *error, when no version could be kept.
    Write beforeWrite(QString *error);

    // The tree was written as this version.
    void saved(const FileStamp &stamp);

    // Looks at the file now (the watch calls it): loads a new version when nothing is unsaved.
    void checkNow();

Q_SIGNALS:
    // The tree was rebuilt: what referred to its old nodes (the undo history) no longer
    // applies. fromDisk: it now holds the file as stamped; otherwise it was put back as it was.
    void reloaded(bool fromDisk, const FileStamp &stamp);

private:
    bool reload(QString *error);
    // Writes the tree to a new "<name>.<date-time>.conflict" beside the file; its path or empty.
    QString writeTreeAside(QString *error);
    void watch();

    MainContext m_ctx;
    QString m_path;
    std::function<bool()> m_busy;
    FileStamp m_known;
    QFileSystemWatcher *m_watcher = nullptr;
    QTimer m_settle;
};
