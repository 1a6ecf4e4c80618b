// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QtGlobal>

class TaskTree;

// Realistic task lists for measuring: Russian texts of 20 to 80 characters (some with line
// breaks, ampersands and quotes), nesting up to six levels, a third of the tasks with one to
// three documents, one selected task. The same seed always gives the same tree.
namespace BenchGenerator {

inline constexpr quint32 kDefaultSeed = 20240611u;

// Adds `tasks` tasks under the top node of an empty tree.
void fillTree(TaskTree &tree, int tasks, quint32 seed = kDefaultSeed);

// Writes such a tree as a task file. False (with the reason) when the file cannot be written.
bool writeTaskFile(const QString &path, int tasks, QString *error = nullptr, quint32 seed = kDefaultSeed);

} // namespace BenchGenerator
