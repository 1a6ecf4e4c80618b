// SPDX-License-Identifier: MIT
#include "ui/main/TaskItemModel.h"

#include "components/ColorConvert.h"
#include "model/TaskTree.h"
#include "settings/AppSettings.h"

#include <QApplication>
#include <QPalette>

#include <algorithm>

TaskItemModel::TaskItemModel(TaskTree &tree, QObject *parent)
    : QAbstractItemModel(parent)
    , m_tree(tree)
{
    m_tree.setObserver(this);
}

TaskItemModel::~TaskItemModel()
{
    m_tree.setObserver(nullptr);
}

void TaskItemModel::setIcons(const QHash<QString, QIcon> &icons)
{
    m_iconMain = icons.value(QLatin1String(kRootIconName));
    for (const StatusDescriptor &d : kStatusDescriptors)
        m_statusIcons[size_t(d.status)] = icons.value(QLatin1String(d.iconName));
}

QIcon TaskItemModel::iconFor(const TaskNode *node) const
{
    return node->isRoot() ? m_iconMain : m_statusIcons[size_t(node->status())];
}

StatusColors TaskItemModel::statusColors() const
{
    return m_settings ? m_settings->statusColors() : StatusColors {};
}

bool TaskItemModel::counterShown() const
{
    return m_settings && m_settings->ShowSubTaskCounter;
}

void TaskItemModel::settingsChanged()
{
    forgetCounts();
    Q_EMIT repaintRequested();
}

const TaskItemModel::ShownColors &TaskItemModel::shownColors(TaskStatus status) const
{
    const QPalette palette = QApplication::palette();
    const StatusColors colors = statusColors();
    if (m_shownFor.paletteKey != palette.cacheKey() || m_shownFor.colors != colors) {
        m_shownFor = {palette.cacheKey(), colors};
        const QColor base = palette.color(QPalette::Base);
        const bool darkTheme = base.lightness() < 128;
        for (const StatusDescriptor &d : kStatusDescriptors) {
            const TaskStatus s = d.status;
            // A colour still at its default follows the theme; one the user chose is drawn as
            // chosen. Defaults were made for a white window: on a dark one the status
            // backgrounds become tints of the base, and the text keeps its hue but is moved to
            // where it reads on what is behind it.
            const auto [fore, back] = colors.of(s);
            const auto [defaultFore, defaultBack] = StatusColors {}.of(s);
            QColor shownBack = colors.useBackColor ? oleToColor(back, palette) : base;
            if (colors.useBackColor && back == defaultBack && darkTheme) {
                const qreal t = 0.3;
                shownBack = QColor::fromRgbF(base.redF() + (shownBack.redF() - base.redF()) * t,
                                             base.greenF() + (shownBack.greenF() - base.greenF()) * t,
                                             base.blueF() + (shownBack.blueF() - base.blueF()) * t);
            }
            QColor shownFore = oleToColor(fore, palette);
            if (fore == defaultFore) {
                if (s == TaskStatus::Progress) // the default black is the ordinary text colour
                    shownFore = palette.color(QPalette::Text);
                shownFore = readableOn(shownFore, shownBack);
            }
            m_shown[size_t(s)] = {shownFore, shownBack};
        }
    }
    return m_shown[size_t(status)];
}

QModelIndex TaskItemModel::indexOf(const TaskNode *node) const
{
    if (!node)
        return {};
    if (!m_filter || node->isRoot())
        return createIndex(node->row(), 0, const_cast<TaskNode *>(node));
    if (!node->parent() || !isShown(node))
        return {};
    return createIndex(shownRow(node), 0, const_cast<TaskNode *>(node));
}

bool TaskItemModel::isShown(const TaskNode *node) const
{
    return !m_filter || node->isRoot() || node->holdsInSubtree(*m_filter);
}

TaskNode *TaskItemModel::shownNodeFor(TaskNode *node) const
{
    while (node && !isShown(node))
        node = node->parent();
    return node;
}

const std::vector<TaskNode *> &TaskItemModel::shownChildren(const TaskNode *node) const
{
    if (node == m_lastParent)
        return *m_lastShown;
    auto [it, added] = m_shownChildren.try_emplace(node);
    if (added) {
        for (int row = 0; row < node->childCount(); ++row) {
            if (TaskNode *child = node->child(row); isShown(child))
                it->second.push_back(child);
        }
    }
    m_lastParent = node;
    m_lastShown = &it->second; // stays where it is while the map grows
    return it->second;
}

void TaskItemModel::forgetShownChildren()
{
    m_shownChildren.clear();
    m_lastParent = nullptr;
    m_lastShown = nullptr;
}

bool TaskItemModel::hasShownChildren(const TaskNode *node) const
{
    if (!m_filter || node->childCount() == 0)
        return node->childCount() > 0;
    // A shown task without the status itself has it below: no list needed for the view's arrow.
    if (!node->isRoot() && node->status() != *m_filter && node->holdsInSubtree(*m_filter))
        return true;
    if (const auto it = m_shownChildren.find(node); it != m_shownChildren.end())
        return !it->second.empty();
    for (int row = 0; row < node->childCount(); ++row) {
        if (isShown(node->child(row)))
            return true;
    }
    return false;
}

int TaskItemModel::shownRow(const TaskNode *node) const
{
    const std::vector<TaskNode *> &shown = shownChildren(node->parent());
    const auto it = std::lower_bound(shown.begin(), shown.end(), node->row(),
                                     [](const TaskNode *n, int row) { return n->row() < row; });
    return int(it - shown.begin());
}

int TaskItemModel::shownChildCount(const TaskNode *node) const
{
    return m_filter && node->childCount() > 0 ? int(shownChildren(node).size()) : node->childCount();
}

bool TaskItemModel::hasShownSiblingAfter(const TaskNode *node) const
{
    const TaskNode *parent = node->parent();
    if (!parent)
        return false;
    if (!m_filter)
        return node->row() + 1 < parent->childCount();
    const std::vector<TaskNode *> &shown = shownChildren(parent);
    return !shown.empty() && shown.back()->row() > node->row();
}

int TaskItemModel::stepsToShownSibling(const TaskNode *node, int delta) const
{
    const TaskNode *parent = node->parent();
    if (!parent)
        return 0;
    int steps = 1;
    for (int row = node->row() + delta; row >= 0 && row < parent->childCount(); row += delta, ++steps) {
        if (isShown(parent->child(row)))
            return steps;
    }
    return 0;
}

TaskItemModel::Batch::Batch(TaskItemModel *model)
    : m_model(model)
{
    if (m_model && m_model->m_batchDepth++ == 0 && m_model->m_filter) {
        m_model->m_inBatchReset = true;
        m_model->beginResetModel();
    }
}

TaskItemModel::Batch::~Batch()
{
    if (m_model && --m_model->m_batchDepth == 0 && m_model->m_inBatchReset) {
        m_model->m_inBatchReset = false;
        m_model->refilterEnd();
    }
}

void TaskItemModel::setFilter(std::optional<TaskStatus> status)
{
    if (m_filter == status)
        return;
    beginResetModel();
    m_filter = status;
    if (m_filter)
        m_tree.findSubtreeStatuses();
    forgetShownChildren();
    endResetModel();
    keepSelectionShown();
    Q_EMIT filterChanged();
}

void TaskItemModel::refilterBegin()
{
    if (!m_inBatchReset)
        beginResetModel();
}

void TaskItemModel::refilterEnd()
{
    if (m_inBatchReset)
        return; // the batch's end does it once
    m_tree.findSubtreeStatuses();
    forgetShownChildren();
    endResetModel();
    keepSelectionShown();
}

void TaskItemModel::keepSelectionShown()
{
    // The keys act on the selected task: it is always one the user can see.
    TaskNode *selected = m_tree.selected();
    if (selected && !isShown(selected))
        m_tree.setSelected(shownNodeFor(selected));
}

TaskItemModel::SubTaskCounts TaskItemModel::subTaskCounts(const TaskNode *node) const
{
    if (const auto it = m_counts.constFind(node); it != m_counts.cend())
        return *it;
    // Worked out for drawn rows only and kept until the tree changes: no operation pays for it.
    SubTaskCounts counts;
    std::vector<const TaskNode *> stack(node->childCount() > 0 ? 1 : 0, node);
    while (!stack.empty()) {
        const TaskNode *n = stack.back();
        stack.pop_back();
        for (int row = 0; row < n->childCount(); ++row) {
            const TaskNode *child = n->child(row);
            ++counts.all;
            if (child->status() == TaskStatus::Done)
                ++counts.done;
            if (child->childCount() > 0)
                stack.push_back(child);
        }
    }
    m_counts.insert(node, counts);
    return counts;
}

TaskNode *TaskItemModel::nodeOf(const QModelIndex &index)
{
    return index.isValid() ? static_cast<TaskNode *>(index.internalPointer()) : nullptr;
}

namespace {

// Labels are measured and elided on every repaint; a text of megabytes would stall each one.
// Only this much of a task's text is shown in the tree; the editor and the file keep it all.
constexpr qsizetype kLabelLimit = 4096;

// The first kLabelLimit characters, not splitting a surrogate pair, marked when cut short.
QString labelPrefix(const QString &text)
{
    if (text.size() <= kLabelLimit)
        return text;
    qsizetype n = kLabelLimit;
    if (text.at(n - 1).isHighSurrogate())
        --n;
    return text.left(n) + QChar(0x2026);
}

} // namespace

QString TaskItemModel::displayText(const QString &text)
{
    QString shown = labelPrefix(text);
    if (!shown.contains(QLatin1Char('\n')) && !shown.contains(QLatin1Char('\r')))
        return shown;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    shown.replace(QLatin1Char('\n'), QStringLiteral(" \u21B5 "));
    return shown;
}

QModelIndex TaskItemModel::index(int row, int column, const QModelIndex &parent) const
{
    if (column != 0 || row < 0)
        return {};
    if (!parent.isValid())
        return row == 0 ? createIndex(0, 0, m_tree.root()) : QModelIndex();
    const TaskNode *p = nodeOf(parent);
    if (m_filter) {
        const std::vector<TaskNode *> &shown = shownChildren(p);
        return row < int(shown.size()) ? createIndex(row, 0, shown[size_t(row)]) : QModelIndex();
    }
    if (row >= p->childCount())
        return {};
    return createIndex(row, 0, p->child(row));
}

QModelIndex TaskItemModel::parent(const QModelIndex &child) const
{
    const TaskNode *node = nodeOf(child);
    if (!node || !node->parent())
        return {};
    return indexOf(node->parent());
}

int TaskItemModel::rowCount(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return 1;
    if (parent.column() != 0)
        return 0;
    return shownChildCount(nodeOf(parent));
}

bool TaskItemModel::hasChildren(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return true;
    return parent.column() == 0 && hasShownChildren(nodeOf(parent));
}

int TaskItemModel::columnCount(const QModelIndex &) const
{
    return 1;
}

QVariant TaskItemModel::data(const QModelIndex &index, int role) const
{
    const TaskNode *node = nodeOf(index);
    if (!node)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        if (counterShown() && node->childCount() > 0) {
            const SubTaskCounts counts = subTaskCounts(node);
            return displayText(node->text()) + QStringLiteral(" (%1/%2)").arg(counts.done).arg(counts.all);
        }
        return displayText(node->text());
    case HasDocumentsRole:
        return node->info() && !node->info()->RelatedDocuments().isEmpty();
    case Qt::ToolTipRole: {
        // The lines of a multi-line task, as far as the label goes.
        const QString shown = labelPrefix(node->text());
        return shown.contains(QLatin1Char('\n')) || shown.contains(QLatin1Char('\r')) ? QVariant(shown) : QVariant();
    }
    case Qt::DecorationRole:
        return iconFor(node);
    case Qt::ForegroundRole:
        if (node->isRoot())
            return {};
        return shownColors(node->status()).fore;
    case Qt::BackgroundRole:
        if (node->isRoot() || !statusColors().useBackColor)
            return {};
        return shownColors(node->status()).back;
    case Qt::AccessibleDescriptionRole: {
        // The status and the row's level: the accessibility bus of this Qt carries no level of
        // its own, so a screen reader hears it with the description.
        const QString level = QStringLiteral("уровень %1").arg(node->depth() + 1);
        if (node->isRoot())
            return level;
        const QString documents
            = data(index, HasDocumentsRole).toBool() ? QStringLiteral("есть документы, ") : QString();
        return QString::fromUtf8(describe(node->status()).accessibleText) + QStringLiteral(", ") + documents + level;
    }
    default:
        return {};
    }
}

Qt::ItemFlags TaskItemModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

void TaskItemModel::beginReset()
{
    beginResetModel();
}

void TaskItemModel::endReset()
{
    forgetCounts();
    if (m_filter) {
        refilterEnd();
        return;
    }
    endResetModel();
}

// With a filter on, the tree's rows are not the view's: a change is shown as a reset, which
// at a hundred thousand tasks costs about what switching the filter does.
void TaskItemModel::beginInsert(TaskNode *parent, int row)
{
    if (m_filter)
        refilterBegin();
    else
        beginInsertRows(indexOf(parent), row, row);
}

void TaskItemModel::endInsert()
{
    forgetCounts();
    if (m_filter)
        refilterEnd();
    else
        endInsertRows();
}

void TaskItemModel::beginRemove(TaskNode *parent, int row)
{
    if (m_filter)
        refilterBegin();
    else
        beginRemoveRows(indexOf(parent), row, row);
}

void TaskItemModel::endRemove()
{
    forgetCounts();
    if (m_filter)
        refilterEnd();
    else
        endRemoveRows();
}

bool TaskItemModel::beginMove(TaskNode *sourceParent, int sourceRow, TaskNode *destinationParent, int destinationRow)
{
    if (m_filter) {
        refilterBegin();
        return true;
    }
    return beginMoveRows(indexOf(sourceParent), sourceRow, sourceRow, indexOf(destinationParent), destinationRow);
}

void TaskItemModel::endMove()
{
    forgetCounts();
    if (m_filter)
        refilterEnd();
    else
        endMoveRows();
}

void TaskItemModel::nodeChanged(TaskNode *node)
{
    forgetCounts();
    if (m_inBatchReset)
        return;
    if (m_filter) {
        // The marks still tell the state before the change; only this node's can have turned
        // the filter's way or away (its ancestors hold it exactly when it does, or their own).
        const bool wasShown = isShown(node);
        m_tree.refreshSubtreeStatuses(node);
        if (wasShown != isShown(node)) {
            refilterBegin();
            refilterEnd();
            return;
        }
        if (!isShown(node))
            return;
    }
    const QModelIndex i = indexOf(node);
    Q_EMIT dataChanged(i, i);
    // The counters of the rows above count this task.
    if (counterShown())
        Q_EMIT repaintRequested();
}

void TaskItemModel::allNodesChanged()
{
    forgetCounts();
    if (m_filter) {
        refilterBegin();
        refilterEnd();
        return;
    }
    Q_EMIT repaintRequested();
}

void TaskItemModel::expandedChanged(TaskNode *node)
{
    // Inside a batch's reset the view takes every flag afresh at its end.
    if (!m_inBatchReset && isShown(node))
        Q_EMIT expandRequested(indexOf(node), node->isExpanded());
}

void TaskItemModel::selectionChanged(TaskNode *node)
{
    if (m_inBatchReset)
        return;
    if (node && !isShown(node)) {
        m_tree.setSelected(shownNodeFor(node));
        return;
    }
    Q_EMIT selectRequested(indexOf(node));
}
