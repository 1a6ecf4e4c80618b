#include "model/TaskStatus.h"

QString statusText(TaskStatus status)
{
    switch (status) {
    case TaskStatus::Done:
        return QStringLiteral("Done");
    case TaskStatus::Rejected:
        return QStringLiteral("Rejected");
    case TaskStatus::Progress:
        break;
    }
    return QStringLiteral("Progress");
}

std::optional<TaskStatus> statusFromText(const QString &text)
{
    if (text == QLatin1String("Progress"))
        return TaskStatus::Progress;
    if (text == QLatin1String("Rejected"))
        return TaskStatus::Rejected;
    if (text == QLatin1String("Done"))
        return TaskStatus::Done;
    return std::nullopt;
}
