// SPDX-License-Identifier: MIT
#pragma once

#include "ui/main/MainContext.h"

#include <QString>

class TaskNode;

class TaskOperations;

// The drop of a dragged task on the tree: the question, then the re-parenting; the drag
// state is cleared in every case.
class TaskDragDrop
{
public:
    TaskDragDrop(const MainContext &context, TaskOperations &operations);
    // Connected to TaskTreeView::dragDropped.
    void onDragDropped(TaskNode *dragged, TaskNode *target);
    // The Escape rule's first step: true when a drag was running and is now cancelled.
    bool cancelDrag();

    // The confirmation text for dropping the task taskText on the task targetText.
    static QString question(const QString &taskText, const QString &targetText);

private:
    MainContext m_ctx;
    TaskOperations &m_ops;
};
