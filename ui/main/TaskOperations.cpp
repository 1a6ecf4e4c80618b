// SPDX-License-Identifier: MIT
#include "ui/main/TaskOperations.h"

#include "storage/TaskFile.h"

#include "components/Prompts.h"
#include "components/Services.h"
#include "components/TaskEditor.h"
#include "model/TaskTree.h"
#include "settings/AppSettings.h"
#include "ui/main/TaskCommands.h"
#include "ui/main/TaskItemModel.h"
#include "ui/main/TaskTreeView.h"

#include <vector>

namespace {

// "SetStatusDone" and the like: the status commands end in the status's own text.
std::optional<TaskStatus> statusOfCommand(const QString &commandKey)
{
    const QLatin1String prefix("SetStatus");
    if (!commandKey.startsWith(prefix))
        return std::nullopt;
    return statusFromText(commandKey.mid(prefix.size()));
}

} // namespace

TaskOperations::TaskOperations(const MainContext &context)
    : m_ctx(context)
{
    m_history.setUndoLimit(kHistoryLimit);
}

TaskTree &TaskOperations::tree() const
{
    return *m_ctx.tree;
}

void TaskOperations::message(const QString &text, MsgStyle style) const
{
    m_ctx.services->prompts->messageBox(m_ctx.window, text, style);
}

TaskNode *TaskOperations::selectedTask(const QString &refusalForTop) const
{
    TaskNode *task = tree().selected();
    if (task && task->isRoot()) {
        message(refusalForTop, MsgStyle::OkCritical);
        return nullptr;
    }
    return task;
}

void TaskOperations::AddTask(bool SameLevel)
{
    // With nothing selected the new task goes under the top node.
    TaskNode *selected = tree().selected();
    const bool beside = SameLevel && selected && !selected->isRoot();
    // A task file deeper than the reader accepts would not load again: refuse before asking.
    if (!beside && selected && selected->depth() + 1 > kMaxTaskDepth) {
        m_ctx.services->prompts->messageBox(
            m_ctx.window, QStringLiteral("Задачи не могут быть вложены глубже %1 уровней.").arg(kMaxTaskDepth),
            MsgStyle::OkExclamation);
        return;
    }

    const std::unique_ptr<TaskEditor> editor
        = askForNewTask(m_ctx.window, beside ? QStringLiteral("Новая задача") : QStringLiteral("Новая подзадача"));
    if (!editor)
        return;

    // The editor is modal, but read the selection again rather than trust a pointer kept
    // across its event loop.
    selected = tree().selected();
    if (beside && selected && !selected->isRoot()) {
        m_history.push(
            new AddTaskCommand(m_ctx, selected->parent(), selected->row() + 1, editor->text(), editor->documents()));
    } else {
        TaskNode *parent = selected ? selected : tree().root();
        m_history.push(new AddTaskCommand(m_ctx, parent, parent->childCount(), editor->text(), editor->documents()));
    }
}

void TaskOperations::AddTopLevelTask()
{
    const std::unique_ptr<TaskEditor> editor = askForNewTask(nullptr, QStringLiteral("Новая задача"));
    if (!editor)
        return;
    TaskNode *root = tree().root();
    m_history.push(new AddTaskCommand(m_ctx, root, root->childCount(), editor->text(), editor->documents()));
}

std::unique_ptr<TaskEditor> TaskOperations::askForNewTask(QWidget *owner, const QString &caption) const
{
    std::unique_ptr<TaskEditor> editor = m_ctx.services->editors->create(owner);
    editor->setCaption(caption);
    editor->setText(QString());
    editor->setDocuments({});
    editor->exec();
    if (!editor->Accepted())
        return nullptr;
    return editor;
}

void TaskOperations::EditTask()
{
    TaskNode *task = selectedTask(QStringLiteral("Это править нельзя."));
    if (!task)
        return;
    std::unique_ptr<TaskEditor> editor = m_ctx.services->editors->create(m_ctx.window);
    editor->setCaption(QStringLiteral("Редактирование задачи"));
    editor->setText(task->text());
    editor->setDocuments(task->info() ? task->info()->RelatedDocuments() : QStringList());
    editor->exec();
    if (!editor->Accepted())
        return;
    // The editor is modal; should the selection have moved all the same, edit nothing
    // rather than the wrong task.
    if (tree().selected() != task)
        return;
    if (task->text() == editor->text() && task->info()->RelatedDocuments() == editor->documents())
        return;
    m_history.push(new EditTaskCommand(m_ctx, task, editor->text(), editor->documents()));
}

void TaskOperations::RemoveTask()
{
    TaskNode *task = selectedTask(QStringLiteral("Это удалить нельзя."));
    if (!task)
        return;
    const MsgAnswer answer = m_ctx.services->prompts->messageBox(
        m_ctx.window, QStringLiteral("Удалить задачу и все её подзадачи?"), MsgStyle::YesNoQuestion);
    if (answer != MsgAnswer::Yes)
        return;
    m_history.push(new RemoveTaskCommand(m_ctx, task));
}

void TaskOperations::CycleTaskStatus()
{
    TaskNode *task = selectedTask(QStringLiteral("Статус этого не устанавливается."));
    if (!task)
        return;
    SetTaskStatus(QStringLiteral("SetStatus") + statusText(describe(task->status()).next));
}

void TaskOperations::SetTaskStatus(const QString &commandKey)
{
    TaskNode *task = selectedTask(QStringLiteral("Статус этого не устанавливается."));
    if (!task)
        return;
    const std::optional<TaskStatus> status = statusOfCommand(commandKey);
    if (!status || task->status() == *status)
        return;
    auto command = std::make_unique<StatusCommand>(m_ctx, task, *status);
    ApplyTaskStatus(tree(), *status, task);
    if (task->childCount() > 0 && !m_ctx.settings->DontMarkSubTasks) {
        const MsgAnswer answer = m_ctx.services->prompts->messageBox(
            m_ctx.window, QStringLiteral("Пометить также и подзадачи?"), MsgStyle::YesNoQuestion);
        if (answer == MsgAnswer::Yes)
            command->addDescendants();
    }
    m_history.push(command.release());
}

void TaskOperations::MoveTaskUp()
{
    moveAmongSiblings(-1);
}

void TaskOperations::MoveTaskDown()
{
    moveAmongSiblings(+1);
}

void TaskOperations::moveAmongSiblings(int delta)
{
    TaskNode *task = tree().selected();
    if (!task || task->isRoot())
        return;
    // The next sibling the user sees: with a filter on, hidden ones between are passed too.
    const TaskItemModel *model = m_ctx.view ? m_ctx.view->taskModel() : nullptr;
    const int steps = model ? model->stepsToShownSibling(task, delta) : 1;
    if (steps == 0)
        return;
    auto command = std::make_unique<MoveTaskCommand>(m_ctx, task, delta, steps);
    if (!command->move())
        return;
    command->markDone();
    m_history.push(command.release());
}

// Levels below a task, the task itself not counted.
static int subtreeHeight(const TaskNode *top)
{
    int height = 0;
    std::vector<std::pair<const TaskNode *, int>> stack {{top, 0}};
    while (!stack.empty()) {
        const auto [node, level] = stack.back();
        stack.pop_back();
        height = std::max(height, level);
        for (int row = 0; row < node->childCount(); ++row)
            stack.emplace_back(node->child(row), level + 1);
    }
    return height;
}

void TaskOperations::ReparentTask(TaskNode *node, TaskNode *newParent)
{
    if (!node || !newParent)
        return;
    const bool tooDeep = !node->isRoot() && newParent->depth() + 1 + subtreeHeight(node) > kMaxTaskDepth;
    auto command = std::make_unique<ReparentTaskCommand>(m_ctx, node);
    if (!tooDeep && tree().reparent(node, newParent)) {
        if (command->recordMove())
            m_history.push(command.release());
        return;
    }
    QString details;
    if (tooDeep)
        details = QStringLiteral("Задачи не могут быть вложены глубже %1 уровней.").arg(kMaxTaskDepth);
    else if (node->isRoot())
        details = QStringLiteral("Верхний узел дерева не перемещается.");
    else if (node == newParent || newParent->isDescendantOf(node))
        details = QStringLiteral("Задача не может стать подзадачей самой себя или своей подзадачи.");
    else
        details = QStringLiteral("Дерево задач отказалось переместить задачу.");
    m_ctx.services->prompts->showError(m_ctx.window, details, MsgStyle::OkCritical,
                                       QStringLiteral("Так перемещать нельзя."));
}

void TaskOperations::Undo()
{
    // The drag holds the nodes it was started on and is over.
    if (m_ctx.view && m_ctx.view->isDragging())
        return;
    m_history.undo();
}

void TaskOperations::Redo()
{
    if (m_ctx.view && m_ctx.view->isDragging())
        return;
    m_history.redo();
}
