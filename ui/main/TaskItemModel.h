#pragma once

#include "model/StatusColors.h"
#include "model/TaskTreeObserver.h"

#include <QAbstractItemModel>
#include <QHash>
#include <QIcon>
#include <array>

class TaskTree;
class TaskNode;

// Shows a TaskTree to a QTreeView. Holds no data of its own: every index points at a node,
// and every change of the tree arrives here through TaskTreeObserver.
class TaskItemModel : public QAbstractItemModel, public TaskTreeObserver
{
    Q_OBJECT
public:
    explicit TaskItemModel(TaskTree &tree, QObject *parent = nullptr);
    ~TaskItemModel() override;

    TaskTree &tree() const { return m_tree; }
    // Icons by image key: the top node's and each status's icon name.
    void setIcons(const QHash<QString, QIcon> &icons);

    QModelIndex indexOf(const TaskNode *node) const;
    static TaskNode *nodeOf(const QModelIndex &index);

    // A task's text as a one-line label: line breaks shown as a return sign, a very long text
    // cut short.
    static QString displayText(const QString &text);

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // TaskTreeObserver
    void beginReset() override;
    void endReset() override;
    void beginInsert(TaskNode *parent, int row) override;
    void endInsert() override;
    void beginRemove(TaskNode *parent, int row) override;
    void endRemove() override;
    bool beginMove(TaskNode *sourceParent, int sourceRow, TaskNode *destinationParent, int destinationRow) override;
    void endMove() override;
    void nodeChanged(TaskNode *node) override;
    void allNodesChanged() override;
    void expandedChanged(TaskNode *node) override;
    void selectionChanged(TaskNode *node) override;

Q_SIGNALS:
    // The model's expanded flag or selection changed; the view follows.
    void expandRequested(const QModelIndex &index, bool expanded);
    void selectRequested(const QModelIndex &index);
    // Colours of every node changed: the view repaints what it shows.
    void repaintRequested();

private:
    QIcon iconFor(const TaskNode *node) const;

    // The colours a status is drawn in under the current palette.
    struct ShownColors {
        QColor fore, back;
    };
    const ShownColors &shownColors(TaskStatus status) const;

    TaskTree &m_tree;
    QIcon m_iconMain;
    std::array<QIcon, kStatusDescriptors.size()> m_statusIcons;
    // Worked out again when the palette or the settings' colours change.
    mutable struct {
        qint64 paletteKey = -1;
        StatusColors colors;
    } m_shownFor;
    mutable std::array<ShownColors, 3> m_shown;
};
