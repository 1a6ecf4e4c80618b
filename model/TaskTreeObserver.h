// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>

class TaskNode;

// Told about every change of a TaskTree; the item model adapter implements it to keep
// the view in step. The begin/end pairs bracket the change like QAbstractItemModel's.
class TaskTreeObserver
{
public:
    virtual ~TaskTreeObserver() = default;
    virtual void beginReset() = 0;
    virtual void endReset() = 0;
    virtual void beginInsert(TaskNode *parent, int row) = 0;
    virtual void endInsert() = 0;
    virtual void beginRemove(TaskNode *parent, int row) = 0;
    virtual void endRemove() = 0;
    // Returns false when the receiver refuses the move (the tree then does not move).
    virtual bool beginMove(TaskNode *sourceParent, int sourceRow, TaskNode *destinationParent, int destinationRow) = 0;
    virtual void endMove() = 0;
    // Text or status changed.
    virtual void nodeChanged(TaskNode *node) = 0;
    // Many nodes' statuses changed at once.
    virtual void allNodesChanged() = 0;
    // Above this many changed nodes the observer hears one allNodesChanged instead.
    virtual size_t manyChanges() const { return 256; }
    virtual void expandedChanged(TaskNode *node) = 0;
    virtual void selectionChanged(TaskNode *node) = 0;
};
