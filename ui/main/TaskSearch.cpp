// SPDX-License-Identifier: MIT
#include "ui/main/TaskSearch.h"

#include "components/Prompts.h"
#include "components/Services.h"
#include "model/TaskTree.h"
#include "ui/main/TaskTreeView.h"

#include <QStringMatcher>

TaskSearch::TaskSearch(const MainContext &context)
    : m_ctx(context)
{
}

QString TaskSearch::prompt()
{
    const QString twoBreaks = QStringLiteral("\r\n\r\n");
    return QStringLiteral("Введите выражение или часть выражения, которое следует найти.") + twoBreaks
        + QStringLiteral("Учтите, что при поиске регистр символов учитываться не будет. Тоесть если вы введёте "
                         "\"Бака\", будут найдены \"БАКА\", \"бака\" и даже \"бАкА\".")
        + twoBreaks
        + QStringLiteral("Также обратите внимание, что поиск всегда ведётся со следующего элемента. Тоесть если "
                         "выделенная задача уже содержит поисковую фразу, она не будет выделена как ")
        + QStringLiteral("найденая. Это удобно для продолжения поиска, если данная задача была найдена во время "
                         "предыдущего поиска. Чтобы начать поиск с самого начала просто нажмите Home, а затем "
                         "Ctrl+F.");
}

void TaskSearch::FindTask(bool Again)
{
    QString phrase;
    if (Again && !LastSearchPhrase.isEmpty()) {
        phrase = LastSearchPhrase;
    } else {
        phrase = m_ctx.services->prompts->inputBox(m_ctx.window, prompt(), QString(), LastSearchPhrase);
        if (phrase.isEmpty())
            return;
        // Kept as typed: leading and trailing blanks are part of the phrase.
        LastSearchPhrase = phrase;
    }

    TaskTree &tree = *m_ctx.tree;
    TaskNode *selected = tree.selected();
    // Case-folded like QString::contains, but the pattern is prepared once for every text.
    const QStringMatcher matcher(phrase, Qt::CaseInsensitive);
    // Creation order, starting after the selected node; no wrapping round.
    for (TaskNode *n = selected ? tree.nextCreated(selected) : tree.firstCreated(); n; n = tree.nextCreated(n)) {
        if (matcher.indexIn(n->text()) >= 0) {
            // A match the filter hides is shown with every other task.
            if (m_ctx.view)
                m_ctx.view->reveal(n);
            tree.setSelected(n);
            if (m_ctx.view)
                m_ctx.view->EnsureVisible(n);
            return;
        }
    }
    m_ctx.services->prompts->messageBox(m_ctx.window, QStringLiteral("Ни чего не найдено."), MsgStyle::OkInformation);
}
