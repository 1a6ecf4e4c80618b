// SPDX-License-Identifier: MIT
#pragma once

#include <QHash>
#include <QPointer>
#include <QTreeView>

class TaskItemModel;
class TaskNode;
struct AppSettings;

// The task tree "tvTasks": a QTreeView kept in step with the TaskTree's expanded flags and
// selection, painting the status colours behind the text (or the whole row), and running
// the manual drag of a task onto another.
class TaskTreeView : public QTreeView
{
    Q_OBJECT
public:
    explicit TaskTreeView(QWidget *parent = nullptr);
    ~TaskTreeView() override;

    void setTaskModel(TaskItemModel *model);
    TaskItemModel *taskModel() const { return m_model; }

    // Expands every ancestor and scrolls the node into view (a node the filter hides: the
    // nearest shown row above it).
    void EnsureVisible(TaskNode *node);
    // Makes the node shown: the filter shows every task when it hides this one.
    void reveal(TaskNode *node);
    // After the settings dialog: colours, counters and the full-row mode.
    void applySettings(const AppSettings &settings);
    // Applies the expanded flags of every node (after a load).
    void syncExpandedFromModel();

    void setFullRowSelect(bool on);
    bool fullRowSelect() const { return m_fullRowSelect; }

    // The node drawn as the current drop target, or none.
    TaskNode *DropHighlight() const { return m_dropHighlight; }
    void setDropHighlight(TaskNode *node);

    TaskNode *HitTest(const QPoint &viewportPos) const;

    // A task is being dragged.
    bool isDragging() const { return m_inDrag; }
    // Ends a running drag with nothing moved; false when no drag runs.
    bool cancelDrag();
    // Ends a running drag at once: the drop is raised when the pointer is over the tree.
    void endDrag();

Q_SIGNALS:
    // A press of any button but the left one: node under the pointer, or none.
    void otherButtonPressed(TaskNode *node);
    // A drag ended over the tree with the target highlighted; the receiver clears the highlight.
    void dragDropped(TaskNode *dragged, TaskNode *target);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void rowsAboutToBeRemoved(const QModelIndex &parent, int start, int end) override;
    void reset() override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index,
                                                         const QEvent *event = nullptr) const override;
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void updateGeometries() override;
    void changeEvent(QEvent *event) override;
    void drawBranches(QPainter *painter, const QRect &rect, const QModelIndex &index) const override;

private:
    // Drag state of the manual task drag: the pressed task is the candidate until a move.
    bool m_inDrag = false;
    bool m_cancelDrag = false;
    TaskNode *m_dragNode = nullptr;

    // The control drag itself: the move cursor is shown and the pointer is followed.
    void startDrag(const QPoint &viewportPos);
    void dragOver(const QPoint &viewportPos);
    // Ends the control drag; a drop is raised when it ended over the tree.
    void finishDrag(const QPoint &viewportPos);
    bool overTree(const QPoint &viewportPos) const;
    // Drops the drag without a drop: its node is going away, or the whole model is.
    void abandonDrag();
    void forgetNode(TaskNode *node);
    // Widens the column to the widest row shown so far, so that a long text scrolls sideways.
    void fitColumnToShownRows();
    // The width a row needs, its indentation aside.
    int rowWidth(const QModelIndex &index);
    // Every row is measured anew: what sets the widths of the same texts has changed.
    void remeasureRows();

    void applyExpandedBelow(TaskNode *top);
    void showStoredExpanded(const QModelIndex &parent);
    void onExpandRequested(const QModelIndex &index, bool expanded);
    void onSelectRequested(const QModelIndex &index);
    void onCurrentChanged(const QModelIndex &current);

    TaskItemModel *m_model = nullptr;
    TaskNode *m_dropHighlight = nullptr;
    bool m_fullRowSelect = false;
    bool m_syncing = false;
    bool m_dragging = false;
    // After a drag ended with the button still held, the rest of that press is ignored.
    bool m_swallowUntilRelease = false;
    QPoint m_lastDragPos;
    // Widest row measured since the rows last changed shape; only rows on screen are measured.
    int m_widestRow = 0;
    // Row widths measured so far, by text, without and with a paperclip.
    static constexpr qsizetype kRowWidthsKept = 4096;
    QHash<QString, int> m_rowWidths[2];
    bool m_fitting = false;
    bool m_painted = false;
    bool m_showSeen = false;
    int m_shownHeight = 0; // the viewport's height at the last layout
};
