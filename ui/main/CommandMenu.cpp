// SPDX-License-Identifier: MIT
#include "ui/main/CommandMenu.h"

#include "ui/main/MainCommands.h"
#include "ui/main/TaskItemModel.h"
#include "ui/main/TaskTreeView.h"
#include "ui/main/frmMain.h"

#include <QAction>
#include <QMenu>

#include <algorithm>
#include <vector>

CommandMenu::CommandMenu(frmMain &window)
    : m_window(window)
{
}

CommandMenu::~CommandMenu()
{
    delete m_menu;
}

QMenu *CommandMenu::build()
{
    // Rebuilt for every opening, so every entry's state is that of the selection now.
    delete m_menu;
    m_menu = new QMenu(&m_window);
    m_menu->setObjectName(QStringLiteral("mnuCommands"));

    std::vector<const MainCommand *> rows;
    for (const MainCommand &command : mainCommands())
        if (!command.menuLabel().isEmpty())
            rows.push_back(&command);
    std::stable_sort(rows.begin(), rows.end(),
                     [](const MainCommand *a, const MainCommand *b) { return a->group < b->group; });
    for (size_t i = 0; i < rows.size(); ++i) {
        const MainCommand &command = *rows[i];
        if (i > 0 && rows[i - 1]->group != command.group)
            m_menu->addSeparator();
        // The key in the menu's own column as text only: the key preview stays the one that runs
        // keys, with its exact modifiers.
        QString text = command.menuLabel();
        if (!command.keys.isEmpty())
            text += QLatin1Char('\t') + command.keys.first().text();
        QAction *entry = m_menu->addAction(text);
        entry->setObjectName(command.name());
        entry->setData(command.name());
        entry->setEnabled(!command.canRun || command.canRun(m_window));
    }
    return m_menu;
}

QPoint CommandMenu::position() const
{
    TaskTreeView *view = m_window.tvTasks();
    TaskNode *selected = m_window.tree().selected();
    if (!selected)
        return view->mapToGlobal(QPoint(0, 0));
    view->EnsureVisible(selected);
    const QRect row = view->visualRect(view->taskModel()->indexOf(selected));
    // Below the task's row, from where its text starts.
    const QPoint at(std::clamp(row.left(), 0, view->viewport()->width() - 1),
                    std::clamp(row.bottom() + 1, 0, view->viewport()->height()));
    return view->viewport()->mapToGlobal(at);
}

void CommandMenu::ShowCommandMenu()
{
    // A drag holds the mouse until the button is let go: a menu would take that release away.
    if (m_window.tvTasks()->isDragging())
        return;
    QMenu *menu = build();
    QPointer<QMenu> alive = menu;
    // Opened from the keyboard: Enter at once runs the first entry that can act.
    QMetaObject::invokeMethod(
        menu,
        [menu] {
            const QList<QAction *> entries = menu->actions();
            const auto first = std::find_if(entries.begin(), entries.end(),
                                            [](QAction *a) { return a->isEnabled() && !a->isSeparator(); });
            if (first != entries.end())
                menu->setActiveAction(*first);
        },
        Qt::QueuedConnection);
    QAction *chosen = menu->exec(position());
    if (!alive || !chosen)
        return;
    m_window.ExecuteCommand(chosen->data().toString());
}
