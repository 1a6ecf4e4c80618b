#include "ui/main/MainCommands.h"

#include "ui/main/TaskOperations.h"
#include "ui/main/TaskSearch.h"
#include "ui/main/frmMain.h"

#include <QKeySequence>

namespace {

using W = frmMain;
constexpr Qt::KeyboardModifiers kNone = Qt::NoModifier;
constexpr Qt::KeyboardModifiers kShift = Qt::ShiftModifier;
constexpr Qt::KeyboardModifiers kCtrl = Qt::ControlModifier;
constexpr Qt::KeyboardModifiers kAlt = Qt::AltModifier;

QList<MainCommand> buildCommands()
{
    return {
        {.key = "SaveData",
         .keys = {{Qt::Key_F2, kNone}},
         .picture = "IDB_TB_SAVE_DATA",
         .tip = "Сохранить список задач",
         .run = [](W &w) { w.SaveTaskFile(false); }},
        {.key = "AddItemSameLevel",
         .keys = {{Qt::Key_Insert, kCtrl}},
         .picture = "IDB_TB_ADD_ITEM",
         .tip = "Добавить новую задачу",
         .separatorBefore = true,
         .run = [](W &w) { w.operations().AddTask(true); }},
        {.key = "AddItem",
         .keys = {{Qt::Key_Insert, kNone}},
         .picture = "IDB_TB_ADD_SUB_ITEM",
         .tip = "Добавить новую подзадачу",
         .run = [](W &w) { w.operations().AddTask(false); }},
        {.key = "EditItem",
         .keys = {{Qt::Key_F3, kNone}},
         .picture = "IDB_TB_EDIT_ITEM",
         .tip = "Править задачу",
         .run = [](W &w) { w.operations().EditTask(); }},
        {.key = "RemoveItem",
         .keys = {{Qt::Key_Delete, kNone}},
         .picture = "IDB_TB_REMOVE_ITEM",
         .tip = "Удалить задачу",
         .run = [](W &w) { w.operations().RemoveTask(); }},
        // Moving is the tree's alone: elsewhere Ctrl+Up and Ctrl+Down stay the control's.
        {.key = "MoveDown",
         .keys = {{Qt::Key_Down, kCtrl}},
         .scope = KeyScope::Tree,
         .picture = "IDB_TB_MOVE_DOWN",
         .tip = "Переместить вниз",
         .separatorBefore = true,
         .run = [](W &w) { w.operations().MoveTaskDown(); }},
        {.key = "MoveUp",
         .keys = {{Qt::Key_Up, kCtrl}},
         .scope = KeyScope::Tree,
         .picture = "IDB_TB_MOVE_UP",
         .tip = "Переместить вверх",
         .run = [](W &w) { w.operations().MoveTaskUp(); }},
        {.key = "SetItemStatus",
         .keys = {},
         .picture = "IDB_TB_SET_ITEM_STATUS",
         .tip = "Установить статус задачи",
         .separatorBefore = true,
         .run = [](W &w) { w.operations().CycleTaskStatus(); }},
        {.key = "Settings",
         .keys = {{Qt::Key_O, kCtrl}},
         .picture = "IDB_TB_SETTINGS",
         .tip = "Настройки программы",
         .run = [](W &w) { w.ShowSettingsDialog(); }},
        {.key = "AboutBox",
         .keys = {{Qt::Key_F1, kShift}},
         .picture = "IDB_TB_ABOUT",
         .tip = "Показать информацию о программе",
         .separatorBefore = true,
         .run = [](W &w) { w.ShowAboutBox(); }},
        // The status button's drop-down.
        {.key = "SetStatusDone",
         .keys = {{Qt::Key_1, kAlt}},
         .menuText = "Выполнено",
         .run = [](W &w) { w.operations().SetTaskStatus(QStringLiteral("SetStatusDone")); }},
        {.key = "SetStatusProgress",
         .keys = {{Qt::Key_2, kAlt}},
         .menuText = "В работе",
         .run = [](W &w) { w.operations().SetTaskStatus(QStringLiteral("SetStatusProgress")); }},
        {.key = "SetStatusRejected",
         .keys = {{Qt::Key_3, kAlt}},
         .menuText = "Отклонено",
         .run = [](W &w) { w.operations().SetTaskStatus(QStringLiteral("SetStatusRejected")); }},
        // Keys only.
        {.key = "Undo", .keys = {{Qt::Key_Z, kCtrl}}, .run = [](W &w) { w.operations().Undo(); }},
        {.key = "Redo",
         .keys = {{Qt::Key_Y, kCtrl}, {Qt::Key_Z, kCtrl | kShift}},
         .run = [](W &w) { w.operations().Redo(); }},
        {.key = "FindNext", .keys = {{Qt::Key_F4, kNone}}, .run = [](W &w) { w.search().FindTask(true); }},
        {.key = "FindTask", .keys = {{Qt::Key_F, kCtrl}}, .run = [](W &w) { w.search().FindTask(false); }},
    };
}

} // namespace

QString KeyBinding::text() const
{
    return QKeySequence(QKeyCombination(modifiers, Qt::Key(key))).toString(QKeySequence::PortableText);
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
        if (c.scope == KeyScope::Tree && !inTree)
            continue;
        for (const KeyBinding &b : c.keys)
            if (b.key == key && b.modifiers == modifiers)
                return &c;
    }
    return nullptr;
}
