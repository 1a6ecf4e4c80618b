#include "ui/main/TaskItemModel.h"

#include "components/ColorConvert.h"
#include "model/TaskTree.h"

#include <QApplication>
#include <QPalette>

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

const TaskItemModel::ShownColors &TaskItemModel::shownColors(TaskStatus status) const
{
    const QPalette palette = QApplication::palette();
    const StatusColors &colors = m_tree.statusColors();
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
    return createIndex(node->row(), 0, const_cast<TaskNode *>(node));
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
    return nodeOf(parent)->childCount();
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
        return displayText(node->text());
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
        if (node->isRoot() || isSystemColor(m_tree.backColor(node)))
            return {};
        return shownColors(node->status()).back;
    case Qt::AccessibleDescriptionRole: {
        // The status and the row's level: the accessibility bus of this Qt carries no level of
        // its own, so a screen reader hears it with the description.
        const QString level = QStringLiteral("уровень %1").arg(node->depth() + 1);
        if (node->isRoot())
            return level;
        return QString::fromUtf8(describe(node->status()).accessibleText) + QStringLiteral(", ") + level;
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
    endResetModel();
}

void TaskItemModel::beginInsert(TaskNode *parent, int row)
{
    beginInsertRows(indexOf(parent), row, row);
}

void TaskItemModel::endInsert()
{
    endInsertRows();
}

void TaskItemModel::beginRemove(TaskNode *parent, int row)
{
    beginRemoveRows(indexOf(parent), row, row);
}

void TaskItemModel::endRemove()
{
    endRemoveRows();
}

bool TaskItemModel::beginMove(TaskNode *sourceParent, int sourceRow, TaskNode *destinationParent, int destinationRow)
{
    return beginMoveRows(indexOf(sourceParent), sourceRow, sourceRow, indexOf(destinationParent), destinationRow);
}

void TaskItemModel::endMove()
{
    endMoveRows();
}

void TaskItemModel::nodeChanged(TaskNode *node)
{
    const QModelIndex i = indexOf(node);
    Q_EMIT dataChanged(i, i);
}

void TaskItemModel::allNodesChanged()
{
    Q_EMIT repaintRequested();
}

void TaskItemModel::expandedChanged(TaskNode *node)
{
    Q_EMIT expandRequested(indexOf(node), node->isExpanded());
}

void TaskItemModel::selectionChanged(TaskNode *node)
{
    Q_EMIT selectRequested(indexOf(node));
}
