// SPDX-License-Identifier: MIT
#pragma once

#include "model/CAdditionalTaskInfo.h"
#include "model/TaskStatus.h"

#include <QString>
#include <vector>

class TaskTree;

// One node of the task tree: the top node "Задачи" or a task. Read here, changed only
// through TaskTree so that the view hears about every change.
class TaskNode
{
public:
    bool isRoot() const { return m_isRoot; }
    const QString &text() const { return m_text; }
    // The icon's key: "Main" for the top node, else the status's.
    QString imageKey() const;
    // The task's status; Progress for the top node, which has none.
    TaskStatus status() const { return m_status; }

    bool isExpanded() const { return m_expanded; }
    // Whether this task or one below it has the status, as TaskTree::findSubtreeStatuses last
    // found it.
    bool holdsInSubtree(TaskStatus status) const { return m_subtreeStatuses & (1u << unsigned(status)); }

    TaskNode *parent() const { return m_parent; }
    int row() const { return m_row; }
    int childCount() const { return int(m_children.size()); }
    TaskNode *child(int row) const { return m_children[size_t(row)]; }
    TaskNode *lastChild() const { return m_children.empty() ? nullptr : m_children.back(); }
    TaskNode *nextSibling() const;
    TaskNode *previousSibling() const;
    // True when this node lies somewhere below ancestor (not ancestor itself).
    bool isDescendantOf(const TaskNode *ancestor) const;
    int depth() const;

    // The task's documents; null only for the top node.
    CAdditionalTaskInfo *info() const { return isRoot() ? nullptr : &m_info; }

private:
    friend class TaskTree;
    TaskNode() = default;

    QString m_text;
    TaskNode *m_parent = nullptr;
    std::vector<TaskNode *> m_children;
    // Held inline: one allocation less per task adds up at a hundred thousand tasks.
    mutable CAdditionalTaskInfo m_info;
    // Creation order: an intrusive list, so removal and "next after" are O(1).
    TaskNode *m_prevCreated = nullptr;
    TaskNode *m_nextCreated = nullptr;
    int m_row = 0;
    TaskStatus m_status = TaskStatus::Progress;
    bool m_isRoot = false;
    bool m_expanded = false;
    // One bit per status; fills what would be padding, so a task costs no more memory.
    quint8 m_subtreeStatuses = 0;
};
