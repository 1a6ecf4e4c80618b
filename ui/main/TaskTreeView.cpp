// SPDX-License-Identifier: MIT
#include "ui/main/TaskTreeView.h"

#include "components/ResourceIcon.h"
#include "model/TaskTree.h"
#include "settings/AppSettings.h"
#include "ui/main/TaskItemModel.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QScrollBar>
#include <QStyledItemDelegate>

namespace {

// Paints the status background and the selection behind the text only, or across the
// whole row in full-row mode, marks the drop target of a drag, and puts a paperclip after
// the text of a task with related documents.
class TaskItemDelegate : public QStyledItemDelegate
{
public:
    explicit TaskItemDelegate(TaskTreeView *view)
        : QStyledItemDelegate(view)
        , m_view(view)
        , m_paperclip(resourceIcon(QStringLiteral("IDI_PAPERCLIP")))
    {
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        if (index.data(TaskItemModel::HasDocumentsRole).toBool())
            size.rwidth() += kClipGap + clipSide(option);
        return size;
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        // After the row, which in full-row mode paints its background across the clip's place.
        const bool clip = index.data(TaskItemModel::HasDocumentsRole).toBool();
        const bool dropTarget = m_view->DropHighlight() && TaskItemModel::nodeOf(index) == m_view->DropHighlight();
        if (dropTarget) {
            opt.state |= QStyle::State_Selected;
            opt.backgroundBrush = opt.palette.brush(QPalette::Highlight);
        }
        const QWidget *widget = opt.widget;
        QStyle *style = widget ? widget->style() : QApplication::style();
        // The text's cell, and the text itself with its margins inside it. Text layouts are the
        // dear part of a row, so each is worked out once.
        auto textCell = [&] { return style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget); };
        auto textPlace = [&](const QRect &cell) {
            const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
            return QRect(cell.topLeft(),
                         QSize(opt.fontMetrics.horizontalAdvance(opt.text) + 2 * margin, cell.height()));
        };
        if (m_view->fullRowSelect()) {
            QStyledItemDelegate::paint(painter, opt, index);
            if (clip)
                paintPaperclip(painter, opt, textPlace(textCell()));
            return;
        }
        const QRect cell = textCell();
        const QRect text = textPlace(cell);
        QRect textRect = text;
        textRect.setWidth(qMin(cell.width(), text.width()));
        const bool selected = opt.state & QStyle::State_Selected;
        if (selected) {
            const QPalette::ColorGroup group
                = (opt.state & QStyle::State_Active) || !widget ? QPalette::Active : QPalette::Inactive;
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
        if (clip)
            paintPaperclip(painter, opt, text);
    }

private:
    static constexpr int kClipGap = 3;

    static int clipSide(const QStyleOptionViewItem &option) { return qMin(16, option.fontMetrics.height()); }

    // text: where the row's text starts and how wide it is, margins included.
    void paintPaperclip(QPainter *painter, const QStyleOptionViewItem &opt, const QRect &text) const
    {
        const int side = clipSide(opt);
        const int left = text.right() + 1 + kClipGap;
        // Past the end of the cell only when the column is narrower than the row: nothing to draw.
        if (left >= opt.rect.right())
            return;
        const QRect clip(left, text.top() + (text.height() - side) / 2, side, side);
        m_paperclip.paint(painter, clip, Qt::AlignCenter,
                          (opt.state & QStyle::State_Enabled) ? QIcon::Normal : QIcon::Disabled);
    }

    TaskTreeView *m_view;
    QIcon m_paperclip;
};

// Without full-row selection the highlight stays behind the text: the indentation and the
// expand buttons of the selected row are not painted as selected.
class TextOnlySelectionStyle : public QProxyStyle
{
public:
    explicit TextOnlySelectionStyle(TaskTreeView *view)
        : m_view(view)
    {
    }

    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        if (hint == QStyle::SH_ItemView_ShowDecorationSelected && widget == m_view)
            return m_view->fullRowSelect() ? 1 : 0;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
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
    auto *selectionStyle = new TextOnlySelectionStyle(this);
    selectionStyle->setParent(this);
    setStyle(selectionStyle);
    // The one column is as wide as the widest row it has shown: a long or deep text scrolls
    // sideways instead of being cut off.
    header()->setStretchLastSection(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setAccessibleName(QStringLiteral("Задачи"));
    // Other buttons open the related-documents menu themselves; no second menu on top.
    setContextMenuPolicy(Qt::PreventContextMenu);
}

TaskTreeView::~TaskTreeView()
{
    // The move cursor belongs to the drag; it must not outlive the tree.
    if (m_dragging)
        QApplication::restoreOverrideCursor();
}

void TaskTreeView::setTaskModel(TaskItemModel *model)
{
    m_model = model;
    setModel(model);
    connect(model, &TaskItemModel::expandRequested, this, &TaskTreeView::onExpandRequested);
    connect(model, &TaskItemModel::selectRequested, this, &TaskTreeView::onSelectRequested);
    connect(model, &TaskItemModel::repaintRequested, viewport(), qOverload<>(&QWidget::update));
    connect(model, &QAbstractItemModel::modelReset, this, &TaskTreeView::syncExpandedFromModel);
    connect(model, &TaskItemModel::filterChanged, this, [this] {
        m_widestRow = 0;
        scrollTo(currentIndex());
    });
    // A sub-tree put back by an undo arrives as one row: its open branches must open too.
    connect(model, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex &parent, int first, int last) {
        if (!isExpanded(parent))
            return; // opened later, with the parent
        for (int row = first; row <= last; ++row) {
            const QModelIndex index = m_model->index(row, 0, parent);
            TaskNode *node = TaskItemModel::nodeOf(index);
            if (!node || !node->isExpanded() || node->childCount() == 0)
                continue;
            onExpandRequested(index, true);
        }
    });
    connect(this, &QTreeView::expanded, this, [this](const QModelIndex &index) {
        if (m_syncing)
            return;
        TaskNode *node = TaskItemModel::nodeOf(index);
        m_model->tree().setExpanded(node, true);
        applyExpandedBelow(node);
    });
    connect(this, &QTreeView::collapsed, this, [this](const QModelIndex &index) {
        m_widestRow = 0;
        if (m_syncing)
            return;
        TaskNode *node = TaskItemModel::nodeOf(index);
        TaskTree &tree = m_model->tree();
        tree.setExpanded(node, false);
        // The selection would be hidden under the closed task: it moves up to that task, so
        // that the keys never act on a row the user cannot see.
        if (tree.selected() && tree.selected()->isDescendantOf(node))
            tree.setSelected(node);
    });
    // A task arriving under a childless node that is stored as open opens it in the view
    // too; the view alone has no open state for a node without rows.
    connect(model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &parent) { showStoredExpanded(parent); });
    connect(model, &QAbstractItemModel::rowsMoved, this,
            [this](const QModelIndex &, int, int, const QModelIndex &destination) { showStoredExpanded(destination); });
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) { onCurrentChanged(current); });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        // Whatever cleared the view's selection, the model's selected task stays selected.
        if (!m_syncing && !selectionModel()->hasSelection() && m_model->tree().selected())
            onSelectRequested(m_model->indexOf(m_model->tree().selected()));
    });
    syncExpandedFromModel();
}

void TaskTreeView::syncExpandedFromModel()
{
    if (!m_model)
        return;
    const TaskTree &tree = m_model->tree();
    const bool wasSyncing = m_syncing;
    m_syncing = true;
    if (tree.root()->isExpanded())
        setExpanded(m_model->indexOf(tree.root()), true);
    m_syncing = wasSyncing;
    applyExpandedBelow(tree.root());
    if (TaskNode *sel = tree.selected())
        onSelectRequested(m_model->indexOf(sel));
}

void TaskTreeView::applyExpandedBelow(TaskNode *top)
{
    // Only branches the user can see are handed to the view: an expanded task under a
    // collapsed one gets its turn when that one opens. Each expanded row costs the view a
    // persistent index, which at a hundred thousand tasks would dominate the start.
    if (!top || !top->isExpanded())
        return;
    const bool wasSyncing = m_syncing;
    m_syncing = true;
    std::vector<TaskNode *> stack {top};
    while (!stack.empty()) {
        TaskNode *node = stack.back();
        stack.pop_back();
        for (int row = 0; row < node->childCount(); ++row) {
            TaskNode *child = node->child(row);
            if (child->isExpanded() && child->childCount() > 0 && m_model->isShown(child)) {
                setExpanded(m_model->indexOf(child), true);
                stack.push_back(child);
            }
        }
    }
    m_syncing = wasSyncing;
}

void TaskTreeView::showStoredExpanded(const QModelIndex &parent)
{
    TaskNode *node = TaskItemModel::nodeOf(parent);
    if (!node || !node->isExpanded() || isExpanded(parent))
        return;
    // Under a closed branch it gets its turn when that branch opens.
    for (QModelIndex p = parent.parent(); p.isValid(); p = p.parent()) {
        if (!isExpanded(p))
            return;
    }
    onExpandRequested(parent, true);
}

void TaskTreeView::onExpandRequested(const QModelIndex &index, bool expanded)
{
    const bool wasSyncing = m_syncing;
    m_syncing = true;
    setExpanded(index, expanded);
    m_syncing = wasSyncing;
    if (expanded)
        applyExpandedBelow(TaskItemModel::nodeOf(index));
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
    node = m_model->shownNodeFor(node);
    TaskTree &tree = m_model->tree();
    for (TaskNode *p = node->parent(); p; p = p->parent())
        tree.setExpanded(p, true);
    scrollTo(m_model->indexOf(node));
}

void TaskTreeView::reveal(TaskNode *node)
{
    if (m_model && node && !m_model->isShown(node))
        m_model->setFilter(std::nullopt);
}

void TaskTreeView::applySettings(const AppSettings &settings)
{
    remeasureRows(); // a counter shown or gone changes the rows' widths
    if (m_model)
        m_model->settingsChanged();
    setFullRowSelect(settings.FullRowSelect);
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

QItemSelectionModel::SelectionFlags TaskTreeView::selectionCommand(const QModelIndex &index, const QEvent *event) const
{
    // One task is always selected: a click on the empty area or Ctrl+click on the selected
    // row does not leave the tree without a selection.
    if (!index.isValid())
        return QItemSelectionModel::NoUpdate;
    const QItemSelectionModel::SelectionFlags command = QTreeView::selectionCommand(index, event);
    if (command & (QItemSelectionModel::Deselect | QItemSelectionModel::Toggle))
        return QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
    return command;
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
    const QPoint pos = event->position().toPoint();
    // While a task is dragged, other buttons neither open the menu nor re-arm.
    if (m_dragging) {
        event->accept();
        return;
    }
    if (event->button() == Qt::LeftButton) {
        m_swallowUntilRelease = false;
        m_inDrag = false;
        m_cancelDrag = false;
        m_dragNode = HitTest(pos);
        if (m_dragNode && m_dragNode->isRoot())
            m_dragNode = nullptr;
        QTreeView::mousePressEvent(event);
        return;
    }
    event->accept();
    Q_EMIT otherButtonPressed(HitTest(pos));
}

void TaskTreeView::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    if (m_dragging) {
        dragOver(pos);
        event->accept();
        return;
    }
    if (m_swallowUntilRelease) {
        event->accept();
        return;
    }
    // No distance threshold: the first move with only the left button held starts it.
    if (event->buttons() == Qt::LeftButton && m_dragNode) {
        startDrag(pos);
        event->accept();
        return;
    }
    // Only the drag of a task acts on a move with a button held; the view's own handling
    // would drag the selection along behind the pointer.
    if (event->buttons() != Qt::NoButton) {
        event->accept();
        return;
    }
    QTreeView::mouseMoveEvent(event);
}

void TaskTreeView::keyPressEvent(QKeyEvent *event)
{
    // The tree copies nothing: Ctrl+Ins is a command of the window.
    if (event->matches(QKeySequence::Copy)) {
        event->ignore();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void TaskTreeView::mouseReleaseEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    if (m_dragging) {
        if (event->button() == Qt::LeftButton)
            finishDrag(pos);
        event->accept();
        return;
    }
    if (m_swallowUntilRelease) {
        if (event->buttons() == Qt::NoButton)
            m_swallowUntilRelease = false;
        event->accept();
        return;
    }
    QTreeView::mouseReleaseEvent(event);
}

void TaskTreeView::mouseDoubleClickEvent(QMouseEvent *event)
{
    // A double click with another button is a second press of that button.
    if (event->button() != Qt::LeftButton || m_dragging) {
        mousePressEvent(event);
        return;
    }
    QTreeView::mouseDoubleClickEvent(event);
}

bool TaskTreeView::overTree(const QPoint &viewportPos) const
{
    return rect().contains(viewport()->mapTo(this, viewportPos));
}

void TaskTreeView::startDrag(const QPoint &viewportPos)
{
    m_inDrag = true;
    m_dragging = true;
    QApplication::setOverrideCursor(QCursor(resourceIcon(QStringLiteral("IDC_MOVE")).pixmap(32, 32)));
    dragOver(viewportPos);
}

void TaskTreeView::dragOver(const QPoint &viewportPos)
{
    m_lastDragPos = viewportPos;
    // Only the tree hears the pointer passing over it; elsewhere the highlight stays.
    if (!m_inDrag || !overTree(viewportPos))
        return;
    // Near the top or bottom edge, bring the neighbouring rows into reach.
    const int edge = qMax(8, sizeHintForRow(0) / 2);
    if (viewportPos.y() < edge)
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (viewportPos.y() >= viewport()->height() - edge)
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    setDropHighlight(HitTest(viewportPos));
}

void TaskTreeView::finishDrag(const QPoint &viewportPos)
{
    m_dragging = false;
    QApplication::restoreOverrideCursor();
    if (overTree(viewportPos) && !m_cancelDrag) {
        TaskNode *dragged = m_dragNode;
        // The drag is over whatever the receiver decides.
        m_inDrag = false;
        m_dragNode = nullptr;
        Q_EMIT dragDropped(dragged, m_dropHighlight);
        return;
    }
    // Let go anywhere else: the drag is over with nothing moved, so no flag is left
    // standing to swallow the next Escape.
    m_inDrag = false;
    m_cancelDrag = false;
    m_dragNode = nullptr;
    setDropHighlight(nullptr);
}

bool TaskTreeView::cancelDrag()
{
    if (!m_inDrag)
        return false;
    m_cancelDrag = true;
    endDrag();
    return true;
}

void TaskTreeView::endDrag()
{
    if (!m_dragging)
        return;
    m_swallowUntilRelease = QApplication::mouseButtons() != Qt::NoButton;
    finishDrag(m_lastDragPos);
}

void TaskTreeView::abandonDrag()
{
    if (m_dragging) {
        m_dragging = false;
        m_swallowUntilRelease = true;
        QApplication::restoreOverrideCursor();
    }
    m_inDrag = false;
    m_cancelDrag = false;
    m_dragNode = nullptr;
}

void TaskTreeView::forgetNode(TaskNode *node)
{
    if (m_dragNode && (m_dragNode == node || m_dragNode->isDescendantOf(node)))
        abandonDrag();
    if (m_dropHighlight && (m_dropHighlight == node || m_dropHighlight->isDescendantOf(node)))
        setDropHighlight(nullptr);
}

void TaskTreeView::rowsAboutToBeRemoved(const QModelIndex &parent, int start, int end)
{
    // The drag state holds plain node pointers: drop them before their nodes are deleted.
    if (TaskNode *p = TaskItemModel::nodeOf(parent)) {
        for (int row = start; row <= end && row < p->childCount(); ++row)
            forgetNode(p->child(row));
    }
    m_widestRow = 0;
    QTreeView::rowsAboutToBeRemoved(parent, start, end);
}

void TaskTreeView::reset()
{
    abandonDrag();
    m_dropHighlight = nullptr;
    m_widestRow = 0;
    QTreeView::reset();
}

void TaskTreeView::fitColumnToShownRows()
{
    // Measuring every row would cost a hundred thousand text layouts at start; the rows on
    // screen are few, and a row scrolled into view widens the column when it first shows.
    const int bottom = viewport()->height();
    for (QModelIndex i = indexAt(QPoint(0, 0)); i.isValid(); i = indexBelow(i)) {
        const QRect r = visualRect(i);
        if (r.top() >= bottom)
            break;
        m_widestRow = qMax(m_widestRow, r.left() + horizontalOffset() + rowWidth(i));
    }
    const int width = qMax(m_widestRow, viewport()->width());
    if (columnWidth(0) != width)
        setColumnWidth(0, width);
}

void TaskTreeView::remeasureRows()
{
    m_widestRow = 0;
    m_rowWidths[0].clear();
    m_rowWidths[1].clear();
}

int TaskTreeView::rowWidth(const QModelIndex &index)
{
    // A row's width is set by its text and its paperclip alone; the passes before the first
    // frame, and every paint after it, would lay out the same texts again.
    const QString text = index.data(Qt::DisplayRole).toString();
    QHash<QString, int> &widths = m_rowWidths[index.data(TaskItemModel::HasDocumentsRole).toBool() ? 1 : 0];
    if (const auto found = widths.constFind(text); found != widths.cend())
        return found.value();
    if (widths.size() >= kRowWidthsKept)
        widths.clear();
    const int width = sizeHintForIndex(index).width();
    widths.insert(text, width);
    return width;
}

void TaskTreeView::updateGeometries()
{
    if (m_fitting || !m_model) {
        QTreeView::updateGeometries();
        return;
    }
    m_fitting = true;
    // Before the first paint the column fits the rows on screen already: widened only by that
    // paint, it would bring the horizontal scroll bar a frame later. After it, each paint
    // measures the rows it shows, and measuring them here as well would double that. Before
    // the view is shown its rows are not yet scrolled to the current one: nothing to measure.
    if (!m_painted && m_showSeen)
        fitColumnToShownRows();
    QTreeView::updateGeometries();
    // A scroll bar that came takes room from the bottom: a current row that was wholly in view
    // stays so, rather than ending under the bar.
    const int height = viewport()->height();
    if (height < m_shownHeight && currentIndex().isValid()) {
        const QRect row = visualRect(currentIndex());
        if (row.top() >= 0 && row.bottom() < m_shownHeight && row.bottom() >= height)
            scrollTo(currentIndex());
    }
    m_shownHeight = height;
    m_fitting = false;
}

void TaskTreeView::showEvent(QShowEvent *event)
{
    // The view has just scrolled to its current row: these are the rows the first frame shows.
    QTreeView::showEvent(event);
    m_showSeen = true;
    if (!m_painted && m_model)
        fitColumnToShownRows();
}

void TaskTreeView::paintEvent(QPaintEvent *event)
{
    m_painted = true;
    fitColumnToShownRows();
    QTreeView::paintEvent(event);
}

void TaskTreeView::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        remeasureRows();
    QTreeView::changeEvent(event);
}

void TaskTreeView::drawBranches(QPainter *painter, const QRect &rect, const QModelIndex &index) const
{
    // Drawn here rather than by the style, which on most styles draws arrows or nothing:
    // lines from every task to its parent and siblings, also at the top level, and a
    // plus/minus box on every task with sub-tasks. Whole pixels only, so it stays crisp.
    const TaskNode *node = TaskItemModel::nodeOf(index);
    if (!node)
        return;
    const int indent = indentation();
    const int level = node->depth();
    const QColor base = palette().color(QPalette::Base);
    const QColor text = palette().color(QPalette::Text);
    const QColor line = QColor::fromRgbF((base.redF() + text.redF()) / 2, (base.greenF() + text.greenF()) / 2,
                                         (base.blueF() + text.blueF()) / 2);
    const int top = rect.top();
    const int bottom = rect.bottom();
    const int middle = top + rect.height() / 2;
    const auto cellCentre
        = [&](int cellLevel) { return rect.right() + 1 - (level + 1 - cellLevel) * indent + indent / 2; };
    const auto hasNextSibling = [this](const TaskNode *n) { return m_model->hasShownSiblingAfter(n); };

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    // The ancestors' lines pass by on the left while they have siblings still to come.
    const TaskNode *ancestor = node->parent();
    for (int cell = level - 1; cell >= 0 && ancestor; --cell, ancestor = ancestor->parent()) {
        if (hasNextSibling(ancestor))
            painter->fillRect(QRect(cellCentre(cell), top, 1, bottom - top + 1), line);
    }
    const int x = cellCentre(level);
    if (node->parent() || node->row() > 0)
        painter->fillRect(QRect(x, top, 1, middle - top), line);
    if (hasNextSibling(node))
        painter->fillRect(QRect(x, middle, 1, bottom - middle + 1), line);
    painter->fillRect(QRect(x, middle, rect.right() + 1 - x - 2, 1), line);
    if (m_model->hasShownChildren(node)) {
        const int half = qMax(4, indent / 5);
        const QRect box(x - half, middle - half, 2 * half + 1, 2 * half + 1);
        painter->fillRect(box, base);
        painter->fillRect(QRect(box.left(), box.top(), box.width(), 1), line);
        painter->fillRect(QRect(box.left(), box.bottom(), box.width(), 1), line);
        painter->fillRect(QRect(box.left(), box.top(), 1, box.height()), line);
        painter->fillRect(QRect(box.right(), box.top(), 1, box.height()), line);
        painter->fillRect(QRect(x - half + 2, middle, 2 * half - 3, 1), text);
        if (!isExpanded(index))
            painter->fillRect(QRect(x, middle - half + 2, 1, 2 * half - 3), text);
    }
    painter->restore();
}
