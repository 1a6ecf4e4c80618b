#include "model/TaskNode.h"

QString TaskNode::key() const
{
    return isRoot() ? QStringLiteral("Root") : QString();
}

QString TaskNode::imageKey() const
{
    switch (m_imageKey) {
    case ImageKey::Main:
        return QStringLiteral("Main");
    case ImageKey::Done:
        return QStringLiteral("Done");
    case ImageKey::Rejected:
        return QStringLiteral("Rejected");
    case ImageKey::Progress:
        break;
    }
    return QStringLiteral("Progress");
}

TaskStatus TaskNode::status() const
{
    switch (m_imageKey) {
    case ImageKey::Done:
        return TaskStatus::Done;
    case ImageKey::Rejected:
        return TaskStatus::Rejected;
    default:
        return TaskStatus::Progress;
    }
}

TaskNode *TaskNode::nextSibling() const
{
    if (!m_parent || m_row + 1 >= m_parent->childCount())
        return nullptr;
    return m_parent->child(m_row + 1);
}

TaskNode *TaskNode::previousSibling() const
{
    if (!m_parent || m_row == 0)
        return nullptr;
    return m_parent->child(m_row - 1);
}

bool TaskNode::isDescendantOf(const TaskNode *ancestor) const
{
    for (const TaskNode *p = m_parent; p; p = p->m_parent) {
        if (p == ancestor)
            return true;
    }
    return false;
}

int TaskNode::depth() const
{
    int d = 0;
    for (const TaskNode *p = m_parent; p; p = p->m_parent)
        ++d;
    return d;
}

QString TaskNode::fullPath() const
{
    QStringList parts;
    for (const TaskNode *n = this; n; n = n->m_parent)
        parts.prepend(n->m_text);
    return parts.join(QLatin1Char('\\'));
}
