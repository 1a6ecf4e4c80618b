// SPDX-License-Identifier: MIT
#pragma once

#include <QDate>
#include <QString>

// Dated copies of the task file in the data folder's "Backups" folder: before the first save of
// a day the file about to be replaced is kept as "Backups/Tasks.YYYY-MM-DD.XML"; the newest
// kKept stay. A backup never stands in a save's way: what fails is logged and the save goes on.
namespace Backups {

inline constexpr int kKept = 14;

// The folder beside the task file that holds its backups.
QString folder(const QString &taskFilePath);

// Backs the task file up unless today's backup is already there, then removes the oldest
// beyond kKept. True when today's backup exists afterwards (or there was no file to keep).
bool keepDaily(const QString &taskFilePath, const QDate &today = QDate::currentDate());

} // namespace Backups
