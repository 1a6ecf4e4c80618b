// SPDX-License-Identifier: MIT
#pragma once

#include "ui/main/MainContext.h"

#include "model/TaskStatus.h"

#include <QString>
#include <QUndoStack>

#include <memory>

class TaskEditor;
class TaskNode;
enum class MsgStyle;

// The task operations on the selected task: add, edit, remove, statuses, moves among
// siblings, re-parenting and re-colouring.
class TaskOperations
{
public:
    explicit TaskOperations(const MainContext &context);

    void AddTask(bool SameLevel);
    // Quick capture from the tray: a new last top-level task, selected; the editor has no owner,
    // so the main window stays as it is (hidden, or where it was).
    void AddTopLevelTask();
    void EditTask();
    void RemoveTask();
    void CycleTaskStatus();
    // "SetStatusProgress", "SetStatusRejected" or "SetStatusDone".
    void SetTaskStatus(const QString &commandKey);
    void MoveTaskUp();
    void MoveTaskDown();
    // Makes node a sub-task of newParent; refuses (with its message) a move under itself.
    void ReparentTask(TaskNode *node, TaskNode *newParent);

    // Every change above is one step of the history; a save leaves it as it is.
    void Undo();
    void Redo();
    QUndoStack &history() { return m_history; }
    static constexpr int kHistoryLimit = 1000;

private:
    TaskTree &tree() const;
    void message(const QString &text, MsgStyle style) const;
    // The selected task; none when nothing is selected, or when it is the top node, which is
    // refused with the given message.
    TaskNode *selectedTask(const QString &refusalForTop) const;
    // The editor for a new task, once the user accepted it; none when cancelled.
    std::unique_ptr<TaskEditor> askForNewTask(QWidget *owner, const QString &caption) const;
    void moveAmongSiblings(int delta);

    MainContext m_ctx;
    QUndoStack m_history;
};
