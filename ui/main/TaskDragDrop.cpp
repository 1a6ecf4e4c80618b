// SPDX-License-Identifier: MIT
#include "ui/main/TaskDragDrop.h"

#include "components/Prompts.h"
#include "components/Services.h"
#include "model/TaskTree.h"
#include "ui/main/TaskOperations.h"
#include "ui/main/TaskTreeView.h"

TaskDragDrop::TaskDragDrop(const MainContext &context, TaskOperations &operations)
    : m_ctx(context)
    , m_ops(operations)
{
}

namespace {

// A message box lays out all of its text: a task of megabytes would freeze the window and
// fill the screen. Its first lines are enough to recognise it.
QString recognisable(const QString &text)
{
    constexpr qsizetype kMaxChars = 1000;
    constexpr int kMaxLines = 10;
    // Cut before the tenth line break, a CR LF pair counting once.
    qsizetype end = 0;
    for (int breaks = 0; end < text.size() && end < kMaxChars; ++end) {
        const QChar c = text.at(end);
        const bool lineBreak = c == u'\r' || (c == u'\n' && (end == 0 || text.at(end - 1) != u'\r'));
        if (lineBreak && ++breaks == kMaxLines)
            break;
    }
    if (end >= text.size())
        return text;
    if (end > 0 && text.at(end - 1).isHighSurrogate())
        --end;
    return text.left(end) + QChar(0x2026);
}

} // namespace

QString TaskDragDrop::question(const QString &taskText, const QString &targetText)
{
    const QString crlf = QStringLiteral("\r\n");
    const QChar quote = QLatin1Char('"');
    return QStringLiteral("Выбранная задача...") + crlf + quote + recognisable(taskText) + quote + crlf + crlf
        + QStringLiteral("...будет подзадачей для задачи") + crlf + quote + recognisable(targetText) + quote + crlf
        + crlf + QStringLiteral("Продолжить?");
}

void TaskDragDrop::onDragDropped(TaskNode *dragged, TaskNode *target)
{
    TaskTreeView *view = m_ctx.view;
    // The target stays highlighted while the user decides.
    if (dragged && target && target != dragged && target != dragged->parent()) {
        const MsgAnswer answer = m_ctx.services->prompts->messageBox(
            m_ctx.window, question(dragged->text(), target->text()), MsgStyle::YesNoQuestion);
        view->setDropHighlight(nullptr);
        if (answer == MsgAnswer::Yes)
            m_ops.ReparentTask(dragged, target);
    }
    view->setDropHighlight(nullptr);
}

bool TaskDragDrop::cancelDrag()
{
    return m_ctx.view && m_ctx.view->cancelDrag();
}
