// SPDX-License-Identifier: MIT
#include "model/TaskNode.h"

QString TaskNode::imageKey() const
{
    return QLatin1String(isRoot() ? kRootIconName : describe(m_status).iconName);
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
