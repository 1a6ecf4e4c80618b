// SPDX-License-Identifier: MIT
#pragma once

#include "components/StatusColors.h"
#include "model/TaskTreeObserver.h"

#include <QAbstractItemModel>
#include <QHash>
#include <QIcon>
#include <array>
#include <optional>
#include <unordered_map>
#include <vector>

class TaskTree;
class TaskNode;
struct AppSettings;

// Shows a TaskTree to a QTreeView. Holds no task data of its own: every index points at a
// node, and every change of the tree arrives here through TaskTreeObserver. It works out how a
// row looks (the status colours of the settings under the current palette) and which rows the
// status filter leaves: a task shows when it or a task below it has the filter's status.
class TaskItemModel : public QAbstractItemModel, public TaskTreeObserver
{
    Q_OBJECT
public:
    enum Role {
        // bool: the task has related documents (the row carries a paperclip).
        HasDocumentsRole = Qt::UserRole + 1,
    };

    explicit TaskItemModel(TaskTree &tree, QObject *parent = nullptr);
    ~TaskItemModel() override;

    TaskTree &tree() const { return m_tree; }
    // Icons by image key: the top node's and each status's icon name.
    void setIcons(const QHash<QString, QIcon> &icons);
    // The settings the rows are drawn by (colours, the sub-task counter), read when drawn;
    // without any the defaults hold.
    void setSettings(const AppSettings *settings) { m_settings = settings; }
    // The settings changed: every row is drawn anew.
    void settingsChanged();

    // The status filter: none shows every task.
    std::optional<TaskStatus> filter() const { return m_filter; }
    void setFilter(std::optional<TaskStatus> status);
    bool isShown(const TaskNode *node) const;
    // node itself when shown, else its nearest shown ancestor.
    TaskNode *shownNodeFor(TaskNode *node) const;
    int shownChildCount(const TaskNode *node) const;
    bool hasShownChildren(const TaskNode *node) const;
    bool hasShownSiblingAfter(const TaskNode *node) const;
    // Siblings to pass, one by one in the direction delta (+1 or -1), to get beyond the next
    // shown sibling; 0 when there is none.
    int stepsToShownSibling(const TaskNode *node, int delta) const;

    // Several changes in a row under a filter reach the view as one reset at the end.
    class Batch
    {
    public:
        explicit Batch(TaskItemModel *model);
        ~Batch();
        Batch(const Batch &) = delete;
        Batch &operator=(const Batch &) = delete;

    private:
        TaskItemModel *m_model;
    };

    // Done tasks and all tasks below node (node itself not counted).
    struct SubTaskCounts {
        int done = 0;
        int all = 0;
    };
    SubTaskCounts subTaskCounts(const TaskNode *node) const;

    QModelIndex indexOf(const TaskNode *node) const;
    static TaskNode *nodeOf(const QModelIndex &index);

    // A task's text as a one-line label: line breaks shown as a return sign, a very long text
    // cut short.
    static QString displayText(const QString &text);

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
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
    // With a filter on, a change of two statuses may reshape the rows: one reset for all.
    size_t manyChanges() const override { return m_filter ? 1 : 256; }
    void expandedChanged(TaskNode *node) override;
    void selectionChanged(TaskNode *node) override;

Q_SIGNALS:
    // The model's expanded flag or selection changed; the view follows.
    void expandRequested(const QModelIndex &index, bool expanded);
    void selectRequested(const QModelIndex &index);
    // Colours of every node changed: the view repaints what it shows.
    void repaintRequested();
    // The status filter changed (from the window or to reveal a task).
    void filterChanged();

private:
    QIcon iconFor(const TaskNode *node) const;
    StatusColors statusColors() const;
    bool counterShown() const;
    // With a filter on, the shown children of a node, in their order; built when first asked.
    const std::vector<TaskNode *> &shownChildren(const TaskNode *node) const;
    // Position of a shown node among its parent's shown children.
    int shownRow(const TaskNode *node) const;
    // The tree changed in a way the filter may show differently: shown flags found again.
    void refilterBegin();
    void refilterEnd();
    void forgetShownChildren();
    void keepSelectionShown();
    void forgetCounts() { m_counts.clear(); }

    // The colours a status is drawn in under the current palette.
    struct ShownColors {
        QColor fore, back;
    };
    const ShownColors &shownColors(TaskStatus status) const;

    TaskTree &m_tree;
    const AppSettings *m_settings = nullptr;
    std::optional<TaskStatus> m_filter;
    int m_batchDepth = 0;
    bool m_inBatchReset = false;
    mutable std::unordered_map<const TaskNode *, std::vector<TaskNode *>> m_shownChildren;
    // The last list asked for: the view asks for the rows of one parent in a run.
    mutable const TaskNode *m_lastParent = nullptr;
    mutable const std::vector<TaskNode *> *m_lastShown = nullptr;
    // Counts of the rows drawn since the tree last changed.
    mutable QHash<const TaskNode *, SubTaskCounts> m_counts;
    QIcon m_iconMain;
    std::array<QIcon, kStatusDescriptors.size()> m_statusIcons;
    // Worked out again when the palette or the settings' colours change.
    mutable struct {
        qint64 paletteKey = -1;
        StatusColors colors;
    } m_shownFor;
    mutable std::array<ShownColors, 3> m_shown;
};
