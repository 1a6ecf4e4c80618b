// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class TaskTree;

// Where the tasks go when the end of a session could not write the task file (a full disk):
// the program's state folder first, which is often on another disk, else beside the file.
// A copy belongs to one task file, named from its real path, and is never written over.
namespace EmergencyCopy {

// $XDG_STATE_HOME/Graywick/Listra (~/.local/state/Graywick/Listra by default).
QString stateFolder();

// The task file's name plus a short hash of its real path: what belongs to one task file in the
// state folder is named from it.
QString boundName(const QString &taskFilePath);

// Writes the whole tree to a new copy; its path, or an empty text with the reasons in *error.
QString write(const QString &taskFilePath, const TaskTree &tree, QString *error);

// The newest copy left for this task file, or an empty text.
QString find(const QString &taskFilePath);

// Puts the copy in the task file's place. The current file is copied aside first (its path in
// *aside); the emergency copy goes once the file holds it.
bool restore(const QString &taskFilePath, const QString &copy, QString *aside, QString *error);

} // namespace EmergencyCopy
