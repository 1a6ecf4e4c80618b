// SPDX-License-Identifier: MIT
#include "ui/main/RelatedDocumentsMenu.h"

#include "components/DocumentOpener.h"
#include "components/Prompts.h"
#include "components/Services.h"
#include "model/TaskTree.h"
#include "ui/main/TaskTreeView.h"

#include <QAction>
#include <QMenu>

namespace {
const QString kIndent = QStringLiteral("    ");
}

RelatedDocumentsMenu::RelatedDocumentsMenu(const MainContext &context)
    : m_ctx(context)
{
}

RelatedDocumentsMenu::~RelatedDocumentsMenu()
{
    delete m_menu;
}

QString RelatedDocumentsMenu::caption(const QString &document)
{
    // A menu reads a single '&' as a mnemonic mark; doubled, it shows as written.
    QString shown = kIndent + document;
    shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return shown;
}

void RelatedDocumentsMenu::ShowRelatedDocumentsMenu(TaskNode *node, bool AtTree)
{
    if (!node)
        return;
    m_ctx.tree->setSelected(node);
    if (node->isRoot() || !node->info())
        return;
    const QStringList documents = node->info()->RelatedDocuments();
    if (documents.isEmpty())
        return;

    // Rebuilt for every opening, so no entry of an earlier task can linger.
    delete m_menu;
    m_menu = new QMenu(m_ctx.window);
    m_menu->setObjectName(QStringLiteral("mnuRelatedDocuments"));
    QAction *heading = m_menu->addAction(QStringLiteral("Связанные документы"));
    heading->setEnabled(false);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    m_menu->setDefaultAction(heading);
    for (const QString &document : documents) {
        QAction *entry = m_menu->addAction(caption(document));
        entry->setData(document);
    }

    QPoint at = m_ctx.view ? m_ctx.view->mapToGlobal(QPoint(0, 0)) : QPoint();
    if (!AtTree && m_ctx.window)
        at = m_ctx.window->mapToGlobal(QPoint(0, 0));
    QPointer<QMenu> menu = m_menu;
    QAction *chosen = m_menu->exec(at);
    if (!menu || !chosen || chosen == heading)
        return;
    open(chosen->data().toString());
}

void RelatedDocumentsMenu::open(const QString &document)
{
    if (document.isEmpty())
        return;
    Services *services = m_ctx.services;
    QWidget *window = m_ctx.window;
    services->opener->open(document, window, [services, window, document] {
        services->prompts->messageBox(
            window, document + QStringLiteral("\r\n\r\nНе удаётся открыть связанный документ."), MsgStyle::OkCritical);
    });
}
