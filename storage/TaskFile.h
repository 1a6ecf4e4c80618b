#pragma once

#include "model/StatusColors.h"
#include "storage/FileStamp.h"

#include <QByteArray>
#include <QString>

class TaskTree;

// Tasks nested deeper than this are refused: the tree view lays out expanded branches
// recursively, and no real task list comes anywhere near it.
inline constexpr int kMaxTaskDepth = 2000;

struct LoadResult {
    enum class Status { Loaded, NoFile, Failed };
    Status status = Status::NoFile;
    // Why a load failed, for the details of the message; empty otherwise.
    QString error;
    // The bytes that were read (size -1 when there was no file).
    FileStamp stamp;
};

// Reads the task file into tree, replacing its tasks (the top node stays). Every outcome
// leaves the tree holding exactly what the file gave: nothing for NoFile and Failed.
// The observer hears one reset.
LoadResult loadTaskFile(const QString &path, TaskTree &tree, const StatusColors &colors);

// The same reader over bytes already in memory (tests, fuzzing). True when loaded.
bool loadTaskFileFromBytes(const QByteArray &bytes, TaskTree &tree, const StatusColors &colors,
                           QString *error = nullptr);

struct SaveResult {
    bool ok = false;
    QString error;
    // The file as written, once ok.
    FileStamp stamp;
};

// The whole tree as the task file's XML (UTF-8). Characters XML cannot hold are dropped.
QByteArray serializeTaskTree(const TaskTree &tree);

// Writes the whole tree to path atomically: the old file stays intact if anything fails.
SaveResult saveTaskFile(const QString &path, const TaskTree &tree);

// Copies a file that could not be read to "<name>.<yyyyMMdd-HHmmss>.unreadable" beside it,
// never over an existing copy. Returns the copy's path, or an empty text on failure.
QString keepUnreadableCopy(const QString &path);
// The same with another last suffix: "<name>.<yyyyMMdd-HHmmss>.<suffix>".
QString keepCopyAside(const QString &path, const QString &suffix);
