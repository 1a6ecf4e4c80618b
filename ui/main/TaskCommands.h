// SPDX-License-Identifier: MIT
#pragma once

#include "ui/main/MainContext.h"

#include "model/TaskStatus.h"

#include <QStringList>
#include <QUndoCommand>
#include <utility>
#include <vector>

class TaskNode;
class TaskTree;

// One undoable step on the task tree each. A command keeps the very nodes it acted on, never
// copies of them: with the history undone in order, the tree is exactly as the step left it
// whenever its undo or redo runs. Undo and redo select the task the step acted on and show it.
class TaskCommand : public QUndoCommand
{
public:
    // For a step already done when it is pushed: the stack's first redo then does nothing.
    void markDone() { m_alreadyDone = true; }

protected:
    TaskCommand(const MainContext &context, const QString &text);
    TaskTree &tree() const;
    void selectAndShow(TaskNode *node) const;
    bool firstRedoOfDoneStep() { return std::exchange(m_alreadyDone, false); }

    MainContext m_ctx;

private:
    bool m_alreadyDone = false;
};

// A new task as child number row of parent.
class AddTaskCommand : public TaskCommand
{
public:
    AddTaskCommand(const MainContext &context, TaskNode *parent, int row, const QString &text,
                   const QStringList &documents);
    ~AddTaskCommand() override;
    void redo() override;
    void undo() override;

private:
    TaskNode *m_parent;
    int m_row;
    QString m_text;
    QStringList m_documents;
    TaskNode *m_node = nullptr;
    TaskNode *m_selectedBefore;
    bool m_parentExpandedBefore;
    bool m_attached = false;
};

// The editor's text and documents.
class EditTaskCommand : public TaskCommand
{
public:
    EditTaskCommand(const MainContext &context, TaskNode *task, const QString &text, const QStringList &documents);
    void redo() override;
    void undo() override;

private:
    void apply(const QString &text, const QStringList &documents);
    TaskNode *m_task;
    QString m_textBefore, m_textAfter;
    QStringList m_documentsBefore, m_documentsAfter;
};

// A task with its whole sub-tree, kept detached while removed.
class RemoveTaskCommand : public TaskCommand
{
public:
    RemoveTaskCommand(const MainContext &context, TaskNode *task);
    ~RemoveTaskCommand() override;
    void redo() override;
    void undo() override;

private:
    TaskNode *m_task;
    TaskNode *m_parent;
    int m_row;
    bool m_detached = false;
};

// A status, with the sub-tasks marked along with it when the user asked so.
class StatusCommand : public TaskCommand
{
public:
    // Records the task's status before it changes.
    StatusCommand(const MainContext &context, TaskNode *task, TaskStatus status);
    // Every task below, with its status before the marking.
    void addDescendants();
    void redo() override;
    void undo() override;

private:
    std::vector<TaskNode *> m_nodes; // the task first
    std::vector<TaskStatus> m_before;
    TaskStatus m_after;
};

// One place up or down among the siblings; the task then counts as newly created.
class MoveTaskCommand : public TaskCommand
{
public:
    // steps: siblings passed one by one (more than one when the filter hides those between).
    MoveTaskCommand(const MainContext &context, TaskNode *task, int delta, int steps = 1);
    void redo() override;
    void undo() override;
    // Moves the task by its steps; false when the tree refused the first one.
    bool move();

private:
    TaskNode *m_task;
    int m_delta;
    int m_steps;
    int m_row;
    TaskNode *m_createdAfter;
};

// A task dropped on another one; recorded before the move, completed after it.
class ReparentTaskCommand : public TaskCommand
{
public:
    ReparentTaskCommand(const MainContext &context, TaskNode *task);
    // False when the task did not move at all.
    bool recordMove();
    void redo() override;
    void undo() override;

private:
    TaskNode *m_task;
    TaskNode *m_parentBefore, *m_parentAfter = nullptr;
    int m_rowBefore, m_rowAfter = 0;
};

// Applies statuses to many tasks; a large set is repainted once instead of node by node.
void applyStatuses(const MainContext &context, const std::vector<TaskNode *> &nodes,
                   const std::vector<TaskStatus> &statuses);
void applyStatuses(const MainContext &context, const std::vector<TaskNode *> &nodes, TaskStatus status);
