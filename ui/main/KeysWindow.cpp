// SPDX-License-Identifier: MIT
#include "ui/main/KeysWindow.h"

#include "ui/main/MainCommands.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QScreen>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

KeysWindow::KeysWindow(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmKeys"));
    setWindowTitle(QStringLiteral("Клавиши и мышь"));

    m_lvKeys = new QTreeWidget(this);
    m_lvKeys->setObjectName(QStringLiteral("lvKeys"));
    m_lvKeys->setAccessibleName(windowTitle());
    m_lvKeys->setColumnCount(2);
    m_lvKeys->setHeaderLabels({QStringLiteral("Клавиши"), QStringLiteral("Действие")});
    m_lvKeys->setRootIsDecorated(false);
    m_lvKeys->setUniformRowHeights(true);
    m_lvKeys->setSelectionMode(QAbstractItemView::SingleSelection);

    for (const MainCommand &command : mainCommands()) {
        if (command.keys.isEmpty())
            continue;
        QStringList keys, treeKeys;
        for (const KeyBinding &binding : command.keys) {
            keys << binding.text();
            if (command.scopeOf(binding) == KeyScope::Tree)
                treeKeys << binding.text();
        }
        QString does = command.description();
        if (treeKeys.size() == keys.size())
            does += QStringLiteral(" (в списке задач)");
        else if (!treeKeys.isEmpty())
            does += QStringLiteral(" (%1 — в списке задач)").arg(treeKeys.join(QStringLiteral(", ")));
        new QTreeWidgetItem(m_lvKeys, {keys.join(QStringLiteral(", ")), does});
    }
    for (const auto &[input, does] : otherInputs())
        new QTreeWidgetItem(m_lvKeys, {QString::fromUtf8(input), QString::fromUtf8(does)});
    // A line the window is too narrow for is still read whole from its tooltip.
    for (int i = 0; i < m_lvKeys->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = m_lvKeys->topLevelItem(i);
        item->setToolTip(1, item->text(1));
    }
    m_lvKeys->resizeColumnToContents(0);
    m_lvKeys->resizeColumnToContents(1);
    m_lvKeys->setCurrentItem(m_lvKeys->topLevelItem(0));

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_lvKeys);
    layout->addWidget(buttons);
    // Wide enough for every line, as far as the screen allows.
    int width = m_lvKeys->header()->length() + 2 * m_lvKeys->frameWidth() + 40;
    if (const QScreen *screen = parent ? parent->screen() : nullptr)
        width = std::min(width, screen->availableGeometry().width() * 9 / 10);
    resize(width, 520);
    m_lvKeys->setFocus();
}
