// SPDX-License-Identifier: MIT
#pragma once

#include "ui/main/MainContext.h"

#include <QMenu>
#include <QPointer>
#include <QString>

class QAction;
class TaskNode;

// The related-documents popup: heading "Связанные документы" and one entry per document,
// rebuilt for every opening, shown at the tree's top-left corner.
class RelatedDocumentsMenu
{
public:
    explicit RelatedDocumentsMenu(const MainContext &context);
    ~RelatedDocumentsMenu();

    void ShowRelatedDocumentsMenu(TaskNode *node, bool AtTree);
    // The menu of the last opening (tests read its entries while it is shown).
    QMenu *menu() const { return m_menu; }
    // An entry's caption: indented, with ampersands shown as written.
    static QString caption(const QString &document);

private:
    void open(const QString &document);

    MainContext m_ctx;
    QPointer<QMenu> m_menu; // owned; the window deletes it first if it goes first
};
