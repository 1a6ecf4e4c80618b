// SPDX-License-Identifier: MIT
#pragma once

#include "storage/FileStamp.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <functional>

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
// leaves the tree holding exactly what the file gave: nothing for NoFile and Failed. Only a
// regular file is read (a folder, a pipe or a device is NoFile), and no more of it than its
// size at opening; bytes that do not decode make it Failed. The observer hears one reset.
LoadResult loadTaskFile(const QString &path, TaskTree &tree);

// How the reader hands the system back memory it will not read again (whole pages at begin,
// length bytes); the platform's call, set once at start. Without it a large file's parse
// memory stays until its load ends, on top of the tasks made of it.
using PageRelease = void (*)(void *begin, size_t length);
void setParseMemoryRelease(PageRelease release);

// A file from from bytes on is parsed in pieces of about pieceSize, on threads of their own;
// 0 for either restores the program's own choice. For tests, which use small pieces.
void setTaskFilePieces(size_t from, size_t pieceSize);

// The same reader over bytes already in memory (tests, fuzzing). True when loaded.
bool loadTaskFileFromBytes(const QByteArray &bytes, TaskTree &tree, QString *error = nullptr);

struct SaveResult {
    bool ok = false;
    QString error;
    // The file as written, once ok: to tell later whether another program has replaced it.
    FileStamp stamp;
};

// The whole tree as the task file's XML (UTF-8). Characters XML cannot hold are dropped.
QByteArray serializeTaskTree(const TaskTree &tree);
// The same bytes in pieces of at least piece bytes (the last one may be smaller), each handed
// to take as soon as it is made, with last set on the final one, so a large file is never in
// memory whole. take may swap another buffer in to go on with; false from it stops the
// writing, and then this is false.
bool writeTaskTree(const TaskTree &tree, qsizetype piece, const std::function<bool(QByteArray &, bool last)> &take);

// Writes the whole tree to path atomically: the old file stays intact if anything fails, and
// nothing but a regular file (or a link to one, which stays a link) is ever replaced.
SaveResult saveTaskFile(const QString &path, const TaskTree &tree);
// The same atomic write for any bytes (an export).
SaveResult saveFileBytes(const QString &path, const QByteArray &data);

// Copies a file that could not be read to "<name>.<yyyyMMdd-HHmmss>.unreadable" beside it,
// never over an existing copy. Returns the copy's path, or an empty text: with error set when
// the copy failed, with error empty when there is no regular file at path to keep.
QString keepUnreadableCopy(const QString &path, QString *error = nullptr);
// The same with another last suffix: "<name>.<yyyyMMdd-HHmmss>.<suffix>".
QString keepCopyAside(const QString &path, const QString &suffix, QString *error = nullptr);

// Removes what saves killed before their rename left beside the task file (its name and six
// letters or digits after a dot); returns how many. Only the running instance may call it.
int removeLeftoverTemporaries(const QString &path);
