// SPDX-License-Identifier: MIT
#pragma once

class TaskNode;

// Hears every change a user makes to a TaskTree, addressed so that the change can be played
// again on a tree loaded from the same file: structural changes are told before they happen,
// while the node still stands where it stood; values after, with the node holding the new one.
// Loads (bulk changes) are not told.
class TaskTreeRecorder
{
public:
    enum class Field { Text, Status, Expanded, Documents };

    virtual ~TaskTreeRecorder() = default;
    virtual void inserted(const TaskNode *node) = 0;
    virtual void removing(const TaskNode *node) = 0;
    virtual void reparenting(const TaskNode *node, const TaskNode *newParent) = 0;
    virtual void moving(const TaskNode *node, int delta) = 0;
    virtual void changed(const TaskNode *node, Field field) = 0;
    virtual void selected(const TaskNode *node) = 0;
};
