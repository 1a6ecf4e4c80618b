// SPDX-License-Identifier: MIT
#include "ui/main/MainCommands.h"

#include "ui/main/TaskItemModel.h"
#include "ui/main/TaskOperations.h"
#include "ui/main/TaskOutput.h"
#include "ui/main/TaskSearch.h"
#include "ui/main/TaskTreeView.h"
#include "ui/main/frmMain.h"

#include "model/TaskNode.h"

#include <QKeySequence>

namespace {

using W = frmMain;
constexpr Qt::KeyboardModifiers kNone = Qt::NoModifier;
constexpr Qt::KeyboardModifiers kShift = Qt::ShiftModifier;
constexpr Qt::KeyboardModifiers kCtrl = Qt::ControlModifier;
constexpr Qt::KeyboardModifiers kAlt = Qt::AltModifier;

// The selected task, not the top node: what most commands act on.
const TaskNode *selectedTask(W &w)
{
    const TaskNode *task = w.tree().selected();
    return task && !task->isRoot() ? task : nullptr;
}

bool onTask(W &w)
{
    return selectedTask(w) != nullptr;
}

template<TaskStatus status>
bool canMark(W &w)
{
    const TaskNode *task = selectedTask(w);
    return task && task->status() != status;
}

QList<MainCommand> buildCommands()
{
    return {
        {.key = "SaveData",
         .keys = {{Qt::Key_F2, kNone}, {Qt::Key_S, kCtrl}},
         .picture = "IDB_TB_SAVE_DATA",
         .tip = "Сохранить список задач",
         .label = "Сохранить",
         .run = [](W &w) { w.SaveTaskFile(false); }},
        {.key = "AddItemSameLevel",
         .keys = {{Qt::Key_Insert, kCtrl}, {Qt::Key_N, kCtrl}},
         .picture = "IDB_TB_ADD_ITEM",
         .tip = "Добавить новую задачу",
         .label = "Добавить задачу…",
         .group = MenuGroup::Tasks,
         .separatorBefore = true,
         .run = [](W &w) { w.operations().AddTask(true); }},
        {.key = "AddItem",
         .keys = {{Qt::Key_Insert, kNone}, {Qt::Key_N, kCtrl | kShift}},
         .picture = "IDB_TB_ADD_SUB_ITEM",
         .tip = "Добавить новую подзадачу",
         .label = "Добавить подзадачу…",
         .group = MenuGroup::Tasks,
         .run = [](W &w) { w.operations().AddTask(false); }},
        // Enter is the tree's alone: elsewhere it stays the control's.
        {.key = "EditItem",
         .keys = {{Qt::Key_F3, kNone}, {Qt::Key_Return, kNone, KeyScope::Tree}, {Qt::Key_Enter, kNone, KeyScope::Tree}},
         .picture = "IDB_TB_EDIT_ITEM",
         .tip = "Править задачу",
         .label = "Править…",
         .group = MenuGroup::Tasks,
         .run = [](W &w) { w.operations().EditTask(); },
         .canRun = onTask},
        {.key = "RemoveItem",
         .keys = {{Qt::Key_Delete, kNone}},
         .picture = "IDB_TB_REMOVE_ITEM",
         .tip = "Удалить задачу",
         .label = "Удалить",
         .group = MenuGroup::Tasks,
         .run = [](W &w) { w.operations().RemoveTask(); },
         .canRun = onTask},
        // Moving is the tree's alone: elsewhere Ctrl+Up and Ctrl+Down stay the control's.
        {.key = "MoveDown",
         .keys = {{Qt::Key_Down, kCtrl}},
         .scope = KeyScope::Tree,
         .picture = "IDB_TB_MOVE_DOWN",
         .tip = "Переместить вниз",
         .group = MenuGroup::Tasks,
         .separatorBefore = true,
         .run = [](W &w) { w.operations().MoveTaskDown(); },
         .canRun =
             [](W &w) {
                 const TaskNode *task = selectedTask(w);
                 return task && w.tvTasks()->taskModel()->stepsToShownSibling(task, +1) > 0;
             }},
        {.key = "MoveUp",
         .keys = {{Qt::Key_Up, kCtrl}},
         .scope = KeyScope::Tree,
         .picture = "IDB_TB_MOVE_UP",
         .tip = "Переместить вверх",
         .group = MenuGroup::Tasks,
         .run = [](W &w) { w.operations().MoveTaskUp(); },
         .canRun =
             [](W &w) {
                 const TaskNode *task = selectedTask(w);
                 return task && w.tvTasks()->taskModel()->stepsToShownSibling(task, -1) > 0;
             }},
        {.key = "SetItemStatus",
         .keys = {},
         .picture = "IDB_TB_SET_ITEM_STATUS",
         .tip = "Установить статус задачи",
         .label = "Следующий статус",
         .group = MenuGroup::Status,
         .separatorBefore = true,
         .run = [](W &w) { w.operations().CycleTaskStatus(); },
         .canRun = onTask},
        {.key = "Settings",
         .keys = {{Qt::Key_O, kCtrl}},
         .picture = "IDB_TB_SETTINGS",
         .tip = "Настройки программы",
         .label = "Настройки…",
         .group = MenuGroup::Program,
         .run = [](W &w) { w.ShowSettingsDialog(); }},
        {.key = "ShowKeys",
         .keys = {{Qt::Key_F1, kNone}},
         .label = "Клавиши и мышь…",
         .group = MenuGroup::Program,
         .run = [](W &w) { w.ShowKeysWindow(); }},
        {.key = "AboutBox",
         .keys = {{Qt::Key_F1, kShift}},
         .picture = "IDB_TB_ABOUT",
         .tip = "Показать информацию о программе",
         .label = "О программе…",
         .group = MenuGroup::Program,
         .separatorBefore = true,
         .run = [](W &w) { w.ShowAboutBox(); }},
        // The status button's drop-down.
        {.key = "SetStatusDone",
         .keys = {{Qt::Key_1, kAlt}},
         .menuText = "Выполнено",
         .label = "Статус «Выполнено»",
         .group = MenuGroup::Status,
         .run = [](W &w) { w.operations().SetTaskStatus(QStringLiteral("SetStatusDone")); },
         .canRun = canMark<TaskStatus::Done>},
        {.key = "SetStatusProgress",
         .keys = {{Qt::Key_2, kAlt}},
         .menuText = "В работе",
         .label = "Статус «В работе»",
         .group = MenuGroup::Status,
         .run = [](W &w) { w.operations().SetTaskStatus(QStringLiteral("SetStatusProgress")); },
         .canRun = canMark<TaskStatus::Progress>},
        {.key = "SetStatusRejected",
         .keys = {{Qt::Key_3, kAlt}},
         .menuText = "Отклонено",
         .label = "Статус «Отклонено»",
         .group = MenuGroup::Status,
         .run = [](W &w) { w.operations().SetTaskStatus(QStringLiteral("SetStatusRejected")); },
         .canRun = canMark<TaskStatus::Rejected>},
        // Keys and the command menu only.
        {.key = "Undo",
         .keys = {{Qt::Key_Z, kCtrl}},
         .label = "Отменить",
         .group = MenuGroup::History,
         .run = [](W &w) { w.operations().Undo(); },
         .canRun = [](W &w) { return w.operations().history().canUndo(); }},
        {.key = "Redo",
         .keys = {{Qt::Key_Y, kCtrl}, {Qt::Key_Z, kCtrl | kShift}},
         .label = "Повторить",
         .group = MenuGroup::History,
         .run = [](W &w) { w.operations().Redo(); },
         .canRun = [](W &w) { return w.operations().history().canRedo(); }},
        {.key = "FindTask",
         .keys = {{Qt::Key_F, kCtrl}},
         .label = "Найти…",
         .group = MenuGroup::Search,
         .run = [](W &w) { w.search().FindTask(false); }},
        {.key = "FindNext",
         .keys = {{Qt::Key_F4, kNone}},
         .label = "Найти далее",
         .group = MenuGroup::Search,
         .run = [](W &w) { w.search().FindTask(true); }},
        {.key = "Backups", .keys = {}, .label = "Резервные копии…", .run = [](W &w) { w.ShowBackupsFolder(); }},
        // Both act on the selected task with its sub-tasks, or on every task from the top node.
        {.key = "ExportTasks",
         .keys = {{Qt::Key_E, kCtrl}},
         .tip = "Экспорт задач в Markdown, HTML или CSV",
         .label = "Экспорт…",
         .run = [](W &w) { w.output().ExportTasks(); }},
        {.key = "PrintTasks",
         .keys = {{Qt::Key_P, kCtrl}},
         .tip = "Печать задач",
         .label = "Печать…",
         .run = [](W &w) { w.output().PrintTasks(); }},
        // The menu of all the others; Shift+F10 for keyboards without the Menu key.
        {.key = "CommandMenu",
         .keys = {{Qt::Key_Menu, kNone}, {Qt::Key_F10, kShift}},
         .tip = "Меню команд у выбранной задачи",
         .run = [](W &w) { w.ShowCommandMenu(); }},
    };
}

} // namespace

QString KeyBinding::text() const
{
    return QKeySequence(QKeyCombination(modifiers, Qt::Key(key))).toString(QKeySequence::PortableText);
}

QString MainCommand::menuLabel() const
{
    // The menu does not list itself.
    if (qstrcmp(key, "CommandMenu") == 0)
        return {};
    return QString::fromUtf8(label ? label : tip ? tip : menuText);
}

QString MainCommand::description() const
{
    QString text = QString::fromUtf8(tip ? tip : label ? label : menuText);
    if (text.endsWith(QChar(0x2026)))
        text.chop(1);
    return text;
}

QString MainCommand::toolTip() const
{
    const QString text = QString::fromUtf8(tip);
    return keys.isEmpty() ? text : text + QStringLiteral(" (") + keys.first().text() + QLatin1Char(')');
}

const QList<MainCommand> &mainCommands()
{
    static const QList<MainCommand> rows = buildCommands();
    return rows;
}

const QList<InputHelp> &otherInputs()
{
    static const QList<InputHelp> rows = {
        {"Esc", "Скрыть окно (или закрыть программу — по настройке); отменить перетаскивание"},
        {"Left", "Перейти к задаче уровнем выше (в списке задач)"},
        {"Space", "Связанные документы выбранной задачи (в списке задач)"},
        {"Правая или средняя кнопка мыши", "Связанные документы задачи под указателем"},
        {"Перетаскивание левой кнопкой мыши", "Сделать задачу подзадачей другой задачи"},
        {"Щелчок по значку в области уведомлений", "Показать окно"},
    };
    return rows;
}

const MainCommand *findCommand(const QString &key)
{
    for (const MainCommand &c : mainCommands())
        if (key == QLatin1String(c.key))
            return &c;
    return nullptr;
}

const MainCommand *commandForKey(int key, Qt::KeyboardModifiers modifiers, bool inTree)
{
    for (const MainCommand &c : mainCommands()) {
        for (const KeyBinding &b : c.keys)
            if (b.key == key && b.modifiers == modifiers && (inTree || c.scopeOf(b) == KeyScope::Window))
                return &c;
    }
    return nullptr;
}
