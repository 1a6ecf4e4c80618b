// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <array>
#include <optional>

// The three statuses a task can have. The numbers are kept in the crash-recovery journal.
enum class TaskStatus : quint8 { Progress, Done, Rejected };

// Everything a status stands for, in one place.
struct StatusDescriptor {
    TaskStatus status;
    // The State value in the task file; also the suffix of the status commands.
    const char *fileText;
    // Key of the node's icon.
    const char *iconName;
    // What a screen reader says for a task with this status (UTF-8).
    const char *accessibleText;
    // Where "cycle status" goes from here.
    TaskStatus next;
};

inline constexpr std::array<StatusDescriptor, 3> kStatusDescriptors {{
    {TaskStatus::Progress, "Progress", "Progress", "В работе", TaskStatus::Done},
    {TaskStatus::Done, "Done", "Done", "Выполнено", TaskStatus::Rejected},
    {TaskStatus::Rejected, "Rejected", "Rejected", "Отклонено", TaskStatus::Progress},
}};

// Icon key of the top node, which has no status.
inline constexpr const char *kRootIconName = "Main";

constexpr const StatusDescriptor &describe(TaskStatus status)
{
    return kStatusDescriptors[size_t(status)];
}

QString statusText(TaskStatus status);
// Exact, case-sensitive match of "Progress", "Done" or "Rejected".
std::optional<TaskStatus> statusFromText(const QString &text);
// The same for the raw bytes of the file; null matches nothing.
std::optional<TaskStatus> statusFromFileText(const char *text);
