// SPDX-License-Identifier: MIT
#include "ui/main/TaskCommands.h"

#include "model/TaskTree.h"
#include "settings/AppSettings.h"
#include "ui/main/TaskItemModel.h"
#include "ui/main/TaskTreeView.h"

void applyStatuses(const MainContext &context, const std::vector<TaskNode *> &nodes,
                   const std::vector<TaskStatus> &statuses)
{
    context.tree->setStatuses(nodes, statuses);
}

void applyStatuses(const MainContext &context, const std::vector<TaskNode *> &nodes, TaskStatus status)
{
    context.tree->setStatuses(nodes, status);
}

TaskCommand::TaskCommand(const MainContext &context, const QString &text)
    : QUndoCommand(text)
    , m_ctx(context)
{
}

TaskTree &TaskCommand::tree() const
{
    return *m_ctx.tree;
}

void TaskCommand::selectAndShow(TaskNode *node) const
{
    tree().setSelected(node);
    if (m_ctx.view)
        m_ctx.view->EnsureVisible(node);
}

// ---- add ----

AddTaskCommand::AddTaskCommand(const MainContext &context, TaskNode *parent, int row, const QString &text,
                               const QStringList &documents)
    : TaskCommand(context, QStringLiteral("Добавление задачи"))
    , m_parent(parent)
    , m_row(row)
    , m_text(text)
    , m_documents(documents)
    , m_selectedBefore(context.tree->selected())
    , m_parentExpandedBefore(parent->isExpanded())
{
}

AddTaskCommand::~AddTaskCommand()
{
    if (!m_attached)
        TaskTree::destroyDetached(m_node);
}

void AddTaskCommand::redo()
{
    if (!m_node) {
        m_node = tree().insertChild(m_parent, m_row, m_text);
        ApplyTaskStatus(tree(), TaskStatus::Progress, m_node);
        tree().setRelatedDocuments(m_node, m_documents);
    } else {
        tree().attach(m_node, m_parent, m_row);
    }
    m_attached = true;
    // A new task the filter would hide at once is shown with every other task.
    if (m_ctx.view)
        m_ctx.view->reveal(m_node);
    selectAndShow(m_node);
    tree().setExpanded(m_node, true);
    if (m_ctx.relayout)
        m_ctx.relayout();
}

void AddTaskCommand::undo()
{
    tree().detach(m_node);
    m_attached = false;
    // Showing the new task opened its parent.
    tree().setExpanded(m_parent, m_parentExpandedBefore);
    selectAndShow(m_selectedBefore);
}

// ---- edit ----

EditTaskCommand::EditTaskCommand(const MainContext &context, TaskNode *task, const QString &text,
                                 const QStringList &documents)
    : TaskCommand(context, QStringLiteral("Правка задачи"))
    , m_task(task)
    , m_textBefore(task->text())
    , m_textAfter(text)
    , m_documentsBefore(task->info()->RelatedDocuments())
    , m_documentsAfter(documents)
{
}

void EditTaskCommand::apply(const QString &text, const QStringList &documents)
{
    tree().setText(m_task, text);
    tree().setRelatedDocuments(m_task, documents);
    selectAndShow(m_task);
}

void EditTaskCommand::redo()
{
    apply(m_textAfter, m_documentsAfter);
}

void EditTaskCommand::undo()
{
    apply(m_textBefore, m_documentsBefore);
}

// ---- remove ----

RemoveTaskCommand::RemoveTaskCommand(const MainContext &context, TaskNode *task)
    : TaskCommand(context, QStringLiteral("Удаление задачи"))
    , m_task(task)
    , m_parent(task->parent())
    , m_row(task->row())
{
}

RemoveTaskCommand::~RemoveTaskCommand()
{
    if (m_detached)
        TaskTree::destroyDetached(m_task);
}

void RemoveTaskCommand::redo()
{
    TaskNode *next = m_task->nextSibling();
    if (!next)
        next = m_task->previousSibling();
    if (!next)
        next = m_parent;
    selectAndShow(next);
    tree().detach(m_task);
    m_detached = true;
    // Rows above it may have gone with the removed sub-tree.
    if (m_ctx.view)
        m_ctx.view->EnsureVisible(next);
}

void RemoveTaskCommand::undo()
{
    tree().attach(m_task, m_parent, m_row);
    m_detached = false;
    selectAndShow(m_task);
}

// ---- status ----

StatusCommand::StatusCommand(const MainContext &context, TaskNode *task, TaskStatus status)
    : TaskCommand(context, QStringLiteral("Статус задачи"))
    , m_nodes {task}
    , m_before {task->status()}
    , m_after(status)
{
}

void StatusCommand::addDescendants()
{
    // Walk the sub-tree itself: tasks elsewhere with the same texts are never touched.
    std::vector<TaskNode *> pending;
    TaskNode *task = m_nodes.front();
    for (int i = task->childCount() - 1; i >= 0; --i)
        pending.push_back(task->child(i));
    while (!pending.empty()) {
        TaskNode *node = pending.back();
        pending.pop_back();
        m_nodes.push_back(node);
        m_before.push_back(node->status());
        for (int i = node->childCount() - 1; i >= 0; --i)
            pending.push_back(node->child(i));
    }
}

void StatusCommand::redo()
{
    applyStatuses(m_ctx, m_nodes, m_after);
    selectAndShow(m_nodes.front());
}

void StatusCommand::undo()
{
    applyStatuses(m_ctx, m_nodes, m_before);
    selectAndShow(m_nodes.front());
}

// ---- move among siblings ----

MoveTaskCommand::MoveTaskCommand(const MainContext &context, TaskNode *task, int delta, int steps)
    : TaskCommand(context, QStringLiteral("Перемещение задачи"))
    , m_task(task)
    , m_delta(delta)
    , m_steps(steps)
    , m_row(task->row())
    , m_createdAfter(context.tree->previousCreated(task))
{
}

bool MoveTaskCommand::move()
{
    // Past hidden siblings one swap at a time: each keeps the tree's own move (and its record in
    // the journal), and the view hears of them all at once.
    const TaskItemModel::Batch batch(m_ctx.view ? m_ctx.view->taskModel() : nullptr);
    for (int i = 0; i < m_steps; ++i) {
        if (!tree().moveAmongSiblings(m_task, m_delta))
            return i > 0;
    }
    return true;
}

void MoveTaskCommand::redo()
{
    if (!firstRedoOfDoneStep())
        move();
    selectAndShow(m_task);
}

void MoveTaskCommand::undo()
{
    tree().moveTo(m_task, m_task->parent(), m_row);
    tree().placeInCreationAfter(m_task, m_createdAfter);
    selectAndShow(m_task);
}

// ---- re-parent ----

ReparentTaskCommand::ReparentTaskCommand(const MainContext &context, TaskNode *task)
    : TaskCommand(context, QStringLiteral("Перенос задачи"))
    , m_task(task)
    , m_parentBefore(task->parent())
    , m_rowBefore(task->row())
{
}

bool ReparentTaskCommand::recordMove()
{
    m_parentAfter = m_task->parent();
    m_rowAfter = m_task->row();
    markDone();
    return m_parentAfter != m_parentBefore || m_rowAfter != m_rowBefore;
}

void ReparentTaskCommand::redo()
{
    // The drop itself leaves the selection to the tree's click handling.
    if (firstRedoOfDoneStep())
        return;
    tree().moveTo(m_task, m_parentAfter, m_rowAfter);
    selectAndShow(m_task);
}

void ReparentTaskCommand::undo()
{
    tree().moveTo(m_task, m_parentBefore, m_rowBefore);
    selectAndShow(m_task);
}
