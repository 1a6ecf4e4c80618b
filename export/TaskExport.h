// SPDX-License-Identifier: MIT
#pragma once

#include "components/StatusColors.h"

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <optional>

class TaskNode;
class TaskTree;

// The formats the tree is exported in, all UTF-8.
enum class ExportFormat {
    Markdown, // a nested checklist: "- [x]" done, "- [ ]" in progress, "- [~]" rejected; no BOM
    Html,     // one self-contained page (well-formed XML too) in the status colours
    Csv,      // path, status, text, documents; with a BOM so spreadsheets read Cyrillic
};

// "md", "html", "csv" (the command line's names, also the file suffixes); case-insensitive.
std::optional<ExportFormat> exportFormatFromName(QStringView name);
QString exportFormatSuffix(ExportFormat format);

// The whole tree (top is the top node) or one task with its sub-tree (top is that task).
QByteArray exportTasks(const TaskTree &tree, const TaskNode *top, ExportFormat format, const StatusColors &colors = {});

// A task's path: the texts from the top, the top node left out, joined by "/"; a "/" inside a
// text is written "\/" and a backslash "\\". "Работа/Отчёт 1\/2" is the task "Отчёт 1/2" under
// "Работа".
QString taskPath(const TaskNode *node);
// The task a path names, comparing whole texts exactly; among equal siblings the first one.
// Null when there is none (an empty path names nothing).
const TaskNode *findTaskByPath(const TaskTree &tree, QStringView path);
