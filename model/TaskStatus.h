#pragma once

#include <QString>
#include <optional>

// The three statuses a task can have. Their texts are at once the node's image key,
// the value in the task file and the suffix of the status commands.
enum class TaskStatus { Progress, Done, Rejected };

QString statusText(TaskStatus status);
// Exact, case-sensitive match of "Progress", "Done" or "Rejected".
std::optional<TaskStatus> statusFromText(const QString &text);
