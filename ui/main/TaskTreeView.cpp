#include "ui/main/TaskTreeView.h"

#include "model/TaskTree.h"
#include "ui/main/TaskItemModel.h"

#include <QApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

namespace {

// Paints the status background and the selection behind the text only, or across the
// whole row in full-row mode, and marks the drop target of a drag.
class TaskItemDelegate : public QStyledItemDelegate
{
public:
    explicit TaskItemDelegate(TaskTreeView *view)
        : QStyledItemDelegate(view)
        , m_view(view)
    {
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const bool dropTarget = m_view->DropHighlight() && TaskItemModel::nodeOf(index) == m_view->DropHighlight();
        if (dropTarget) {
            opt.state |= QStyle::State_Selected;
            opt.backgroundBrush = opt.palette.brush(QPalette::Highlight);
        }
        if (m_view->fullRowSelect()) {
            QStyledItemDelegate::paint(painter, opt, index);
            return;
        }
        const QWidget *widget = opt.widget;
        QStyle *style = widget ? widget->style() : QApplication::style();
        QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget);
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
        textRect.setWidth(qMin(textRect.width(), opt.fontMetrics.horizontalAdvance(opt.text) + 2 * margin));
        const bool selected = opt.state & QStyle::State_Selected;
        if (selected) {
            const QPalette::ColorGroup group =
                (opt.state & QStyle::State_Active) || !widget ? QPalette::Active : QPalette::Inactive;
            // The selection stays clearly visible when the tree has no focus.
            painter->fillRect(textRect, opt.palette.brush(group, QPalette::Highlight));
            opt.palette.setColor(QPalette::Text, opt.palette.color(group, QPalette::HighlightedText));
        } else if (opt.backgroundBrush.style() != Qt::NoBrush) {
            painter->fillRect(textRect, opt.backgroundBrush);
        }
        opt.backgroundBrush = Qt::NoBrush;
        opt.state &= ~QStyle::State_Selected;
        opt.state &= ~QStyle::State_HasFocus;
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
    }

private:
    TaskTreeView *m_view;
};

} // namespace

TaskTreeView::TaskTreeView(QWidget *parent)
    : QTreeView(parent)
{
    setObjectName(QStringLiteral("tvTasks"));
    setHeaderHidden(true);
    setUniformRowHeights(true);
    setRootIsDecorated(true);
    setIndentation(20);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setExpandsOnDoubleClick(true);
    setItemDelegate(new TaskItemDelegate(this));
    header()->setStretchLastSection(true);
    setAccessibleName(QStringLiteral("Задачи"));
}

void TaskTreeView::setTaskModel(TaskItemModel *model)
{
    m_model = model;
    setModel(model);
    connect(model, &TaskItemModel::expandRequested, this, &TaskTreeView::onExpandRequested);
    connect(model, &TaskItemModel::selectRequested, this, &TaskTreeView::onSelectRequested);
    connect(model, &TaskItemModel::repaintRequested, viewport(), qOverload<>(&QWidget::update));
    connect(model, &QAbstractItemModel::modelReset, this, &TaskTreeView::syncExpandedFromModel);
    connect(this, &QTreeView::expanded, this, [this](const QModelIndex &index) {
        if (!m_syncing)
            m_model->tree().setExpanded(TaskItemModel::nodeOf(index), true);
    });
    connect(this, &QTreeView::collapsed, this, [this](const QModelIndex &index) {
        if (!m_syncing)
            m_model->tree().setExpanded(TaskItemModel::nodeOf(index), false);
    });
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) { onCurrentChanged(current); });
    syncExpandedFromModel();
}

void TaskTreeView::syncExpandedFromModel()
{
    if (!m_model)
        return;
    m_syncing = true;
    const TaskTree &tree = m_model->tree();
    for (TaskNode *n = tree.firstCreated(); n; n = tree.nextCreated(n)) {
        if (n->isExpanded() && n->childCount() > 0)
            setExpanded(m_model->indexOf(n), true);
    }
    m_syncing = false;
    if (TaskNode *sel = tree.selected())
        onSelectRequested(m_model->indexOf(sel));
}

void TaskTreeView::onExpandRequested(const QModelIndex &index, bool expanded)
{
    m_syncing = true;
    setExpanded(index, expanded);
    m_syncing = false;
}

void TaskTreeView::onSelectRequested(const QModelIndex &index)
{
    if (m_syncing && !index.isValid())
        return;
    const bool wasSyncing = m_syncing;
    m_syncing = true;
    if (index.isValid())
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    else
        selectionModel()->clear();
    m_syncing = wasSyncing;
}

void TaskTreeView::onCurrentChanged(const QModelIndex &current)
{
    if (m_syncing || !m_model)
        return;
    m_syncing = true;
    m_model->tree().setSelected(TaskItemModel::nodeOf(current));
    m_syncing = false;
}

void TaskTreeView::EnsureVisible(TaskNode *node)
{
    if (!node || !m_model)
        return;
    TaskTree &tree = m_model->tree();
    for (TaskNode *p = node->parent(); p; p = p->parent())
        tree.setExpanded(p, true);
    scrollTo(m_model->indexOf(node));
}

void TaskTreeView::setFullRowSelect(bool on)
{
    m_fullRowSelect = on;
    viewport()->update();
}

void TaskTreeView::setDropHighlight(TaskNode *node)
{
    if (m_dropHighlight == node)
        return;
    m_dropHighlight = node;
    viewport()->update();
}

TaskNode *TaskTreeView::HitTest(const QPoint &viewportPos) const
{
    const QModelIndex index = indexAt(viewportPos);
    if (!index.isValid())
        return nullptr;
    return TaskItemModel::nodeOf(index);
}

void TaskTreeView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        InDrag = false;
        CancelDrag = false;
        DragNode = HitTest(event->position().toPoint());
        if (DragNode && DragNode->isRoot())
            DragNode = nullptr;
        QTreeView::mousePressEvent(event);
        return;
    }
    Q_EMIT otherButtonPressed(HitTest(event->position().toPoint()));
    event->accept();
}

void TaskTreeView::mouseMoveEvent(QMouseEvent *event)
{
    if (event->buttons() == Qt::LeftButton && DragNode) {
        if (!InDrag) {
            InDrag = true;
            QApplication::setOverrideCursor(QCursor(QIcon(QStringLiteral(":/res/IDC_MOVE.svg")).pixmap(32, 32)));
        }
        setDropHighlight(HitTest(event->position().toPoint()));
        event->accept();
        return;
    }
    if (InDrag) {
        event->accept();
        return;
    }
    QTreeView::mouseMoveEvent(event);
}

void TaskTreeView::mouseReleaseEvent(QMouseEvent *event)
{
    if (InDrag && event->button() == Qt::LeftButton) {
        QApplication::restoreOverrideCursor();
        if (viewport()->rect().contains(event->position().toPoint()))
            Q_EMIT dragDropped();
        event->accept();
        return;
    }
    QTreeView::mouseReleaseEvent(event);
}

void TaskTreeView::endDrag()
{
    if (!InDrag)
        return;
    if (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    const QPoint pos = viewport()->mapFromGlobal(QCursor::pos());
    if (viewport()->rect().contains(pos))
        Q_EMIT dragDropped();
}
