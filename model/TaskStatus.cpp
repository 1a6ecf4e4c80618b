// SPDX-License-Identifier: MIT
#include "model/TaskStatus.h"

#include <cstring>

static_assert(describe(TaskStatus::Progress).status == TaskStatus::Progress
                  && describe(TaskStatus::Done).status == TaskStatus::Done
                  && describe(TaskStatus::Rejected).status == TaskStatus::Rejected,
              "the descriptor table is indexed by the status");

QString statusText(TaskStatus status)
{
    return QLatin1String(describe(status).fileText);
}

std::optional<TaskStatus> statusFromText(const QString &text)
{
    for (const StatusDescriptor &d : kStatusDescriptors) {
        if (text == QLatin1String(d.fileText))
            return d.status;
    }
    return std::nullopt;
}

std::optional<TaskStatus> statusFromFileText(const char *text)
{
    if (!text)
        return std::nullopt;
    for (const StatusDescriptor &d : kStatusDescriptors) {
        if (std::strcmp(text, d.fileText) == 0)
            return d.status;
    }
    return std::nullopt;
}
