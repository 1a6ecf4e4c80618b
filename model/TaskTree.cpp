// SPDX-License-Identifier: MIT
#include "model/TaskTree.h"

#include "model/TaskTreeObserver.h"
#include "model/TaskTreeRecorder.h"

#include <algorithm>

const QString TaskTree::kRootText = QStringLiteral("Задачи");
const QString TaskTree::kUntitled = QStringLiteral("*** Untitled ***");

TaskTree::TaskTree()
{
    m_root = new TaskNode;
    m_root->m_text = kRootText;
    m_root->m_isRoot = true;
    m_root->m_expanded = true;
    appendToCreation(m_root);
    m_count = 1;
}

TaskTree::~TaskTree()
{
    m_observer = nullptr;
    deleteSubtree(m_root);
}

TaskNode *TaskTree::newNode(const QString &text, TaskStatus status)
{
    auto *node = new TaskNode;
    node->m_text = text;
    node->m_status = status;
    return node;
}

void TaskTree::renumber(TaskNode *parent, int fromRow)
{
    const int n = parent->childCount();
    for (int r = std::max(fromRow, 0); r < n; ++r)
        parent->m_children[size_t(r)]->m_row = r;
}

void TaskTree::link(TaskNode *parent, int row, TaskNode *node)
{
    appendToCreation(node);
    ++m_count;
    placeChild(parent, row, node, false);
}

void TaskTree::placeChild(TaskNode *parent, int row, TaskNode *node, bool withSubtree)
{
    row = std::clamp(row, 0, parent->childCount());
    touch();
    const bool notify = m_observer && m_bulkDepth == 0;
    if (notify)
        m_observer->beginInsert(parent, row);
    node->m_parent = parent;
    parent->m_children.insert(parent->m_children.begin() + row, node);
    renumber(parent, row);
    // Recorded before the observer hears of it: the observer may change the selection, which
    // the recorder must find after the change it follows.
    if (withSubtree)
        recordSubtreeInserted(node);
    else if (TaskTreeRecorder *r = recorder())
        r->inserted(node);
    if (notify)
        m_observer->endInsert();
}

void TaskTree::appendToCreation(TaskNode *node)
{
    node->m_prevCreated = m_lastCreated;
    node->m_nextCreated = nullptr;
    if (m_lastCreated)
        m_lastCreated->m_nextCreated = node;
    m_lastCreated = node;
}

void TaskTree::skipInCreation(TaskNode *node)
{
    if (node->m_prevCreated)
        node->m_prevCreated->m_nextCreated = node->m_nextCreated;
    if (node->m_nextCreated)
        node->m_nextCreated->m_prevCreated = node->m_prevCreated;
    if (m_lastCreated == node)
        m_lastCreated = node->m_prevCreated;
}

void TaskTree::unlinkFromCreation(TaskNode *node)
{
    skipInCreation(node);
    node->m_prevCreated = node->m_nextCreated = nullptr;
}

TaskNode *TaskTree::addChild(TaskNode *parent, const QString &text, TaskStatus status)
{
    return insertChild(parent, parent->childCount(), text, status);
}

TaskNode *TaskTree::insertChild(TaskNode *parent, int row, const QString &text, TaskStatus status)
{
    TaskNode *node = newNode(text, status);
    link(parent, row, node);
    return node;
}

TaskNode *TaskTree::addAfter(TaskNode *sibling, const QString &text, TaskStatus status)
{
    return insertChild(sibling->parent(), sibling->row() + 1, text, status);
}

TaskNode *TaskTree::addBefore(TaskNode *sibling, const QString &text, TaskStatus status)
{
    return insertChild(sibling->parent(), sibling->row(), text, status);
}

void TaskTree::deleteSubtree(TaskNode *top)
{
    // Post-order without recursion: always take the last child of the deepest node.
    std::vector<TaskNode *> stack {top};
    while (!stack.empty()) {
        TaskNode *n = stack.back();
        if (!n->m_children.empty()) {
            TaskNode *c = n->m_children.back();
            n->m_children.pop_back();
            stack.push_back(c);
            continue;
        }
        stack.pop_back();
        if (n == m_selected)
            m_selected = nullptr;
        unlinkFromCreation(n);
        --m_count;
        delete n;
    }
}

void TaskTree::remove(TaskNode *node)
{
    if (!node || node == m_root)
        return;
    detach(node);
    destroyDetached(node);
}

void TaskTree::clear()
{
    beginBulkLoad();
    while (m_root->childCount() > 0)
        remove(m_root->lastChild());
    m_selected = nullptr;
    endBulkLoad();
}

std::vector<TaskNode *> TaskTree::subtreeOf(TaskNode *top)
{
    std::vector<TaskNode *> nodes {top};
    for (size_t i = 0; i < nodes.size(); ++i)
        nodes.insert(nodes.end(), nodes[i]->m_children.begin(), nodes[i]->m_children.end());
    return nodes;
}

void TaskTree::detach(TaskNode *node)
{
    if (!node || node == m_root || !node->m_parent)
        return;
    if (TaskTreeRecorder *r = recorder())
        r->removing(node);
    TaskNode *parent = node->m_parent;
    const int row = node->m_row;
    touch();
    const bool notify = m_observer && m_bulkDepth == 0;
    if (notify)
        m_observer->beginRemove(parent, row);
    parent->m_children.erase(parent->m_children.begin() + row);
    renumber(parent, row);
    node->m_parent = nullptr;
    const bool hadSelection = m_selected != nullptr;
    const std::vector<TaskNode *> nodes = subtreeOf(node);
    // Out of the creation list, but each node keeps its own links: attach undoes these steps
    // in reverse order and so finds every neighbour where it was.
    for (TaskNode *n : nodes) {
        skipInCreation(n);
        if (n == m_selected)
            m_selected = nullptr;
    }
    m_count -= int(nodes.size());
    if (notify) {
        m_observer->endRemove();
        if (hadSelection && !m_selected)
            m_observer->selectionChanged(nullptr);
    }
}

void TaskTree::attach(TaskNode *node, TaskNode *parent, int row)
{
    if (!node || !parent || node->m_parent)
        return;
    const std::vector<TaskNode *> nodes = subtreeOf(node);
    for (auto it = nodes.rbegin(); it != nodes.rend(); ++it) {
        TaskNode *n = *it;
        if (n->m_prevCreated)
            n->m_prevCreated->m_nextCreated = n;
        if (n->m_nextCreated)
            n->m_nextCreated->m_prevCreated = n;
        else
            m_lastCreated = n;
    }
    m_count += int(nodes.size());
    placeChild(parent, row, node, true);
}

void TaskTree::recordSubtreeInserted(TaskNode *top)
{
    TaskTreeRecorder *r = recorder();
    if (!r)
        return;
    // Parents before children and siblings in order, so every add finds its place.
    for (TaskNode *n : subtreeOf(top)) {
        r->inserted(n);
        r->changed(n, TaskTreeRecorder::Field::Expanded);
        if (n->info() && !n->info()->RelatedDocuments().isEmpty())
            r->changed(n, TaskTreeRecorder::Field::Documents);
    }
}

void TaskTree::destroyDetached(TaskNode *node)
{
    if (!node || node->m_parent)
        return;
    for (TaskNode *n : subtreeOf(node))
        delete n;
}

bool TaskTree::moveTo(TaskNode *node, TaskNode *parent, int row)
{
    if (!node || !parent || node == m_root || node == parent || parent->isDescendantOf(node))
        return false;
    TaskNode *oldParent = node->m_parent;
    const int oldRow = node->m_row;
    const bool sameParent = oldParent == parent;
    row = std::clamp(row, 0, parent->childCount() - (sameParent ? 1 : 0));
    if (sameParent && row == oldRow)
        return true;
    touch();
    // Qt counts the destination before the removal.
    const int destination = sameParent && row > oldRow ? row + 1 : row;
    const bool notify = m_observer && m_bulkDepth == 0;
    if (notify && !m_observer->beginMove(oldParent, oldRow, parent, destination))
        return false;
    // Played back as the sub-tree leaving and coming in again at its new place.
    if (TaskTreeRecorder *r = recorder())
        r->removing(node);
    oldParent->m_children.erase(oldParent->m_children.begin() + oldRow);
    renumber(oldParent, oldRow);
    parent->m_children.insert(parent->m_children.begin() + row, node);
    node->m_parent = parent;
    renumber(parent, row);
    recordSubtreeInserted(node);
    if (notify)
        m_observer->endMove();
    return true;
}

void TaskTree::placeInCreationAfter(TaskNode *node, TaskNode *after)
{
    if (!node || !after || node == after || node == m_root)
        return;
    unlinkFromCreation(node);
    node->m_prevCreated = after;
    node->m_nextCreated = after->m_nextCreated;
    if (after->m_nextCreated)
        after->m_nextCreated->m_prevCreated = node;
    else
        m_lastCreated = node;
    after->m_nextCreated = node;
}

bool TaskTree::reparent(TaskNode *node, TaskNode *newParent)
{
    if (!node || !newParent || node == m_root || node == newParent || newParent->isDescendantOf(node))
        return false;
    TaskNode *oldParent = node->m_parent;
    const int oldRow = node->m_row;
    // Already the last child there: nothing to move (a view would refuse the empty move).
    if (oldParent == newParent && oldRow == newParent->childCount() - 1)
        return true;
    int newRow = newParent->childCount();
    const bool notify = m_observer && m_bulkDepth == 0;
    if (notify && !m_observer->beginMove(oldParent, oldRow, newParent, newRow))
        return false;
    if (TaskTreeRecorder *r = recorder())
        r->reparenting(node, newParent);
    oldParent->m_children.erase(oldParent->m_children.begin() + oldRow);
    renumber(oldParent, oldRow);
    if (oldParent == newParent)
        newRow = newParent->childCount();
    newParent->m_children.insert(newParent->m_children.begin() + newRow, node);
    node->m_parent = newParent;
    renumber(newParent, newRow);
    touch();
    if (notify)
        m_observer->endMove();
    return true;
}

bool TaskTree::moveAmongSiblings(TaskNode *node, int delta)
{
    if (!node || node == m_root || (delta != 1 && delta != -1))
        return false;
    TaskNode *parent = node->m_parent;
    const int row = node->m_row;
    const int target = row + delta;
    if (target < 0 || target >= parent->childCount())
        return false;
    // Qt's move destination is the row before which the item lands, counted before removal.
    const int destination = delta > 0 ? row + 2 : row - 1;
    const bool notify = m_observer && m_bulkDepth == 0;
    if (notify && !m_observer->beginMove(parent, row, parent, destination))
        return false;
    if (TaskTreeRecorder *r = recorder())
        r->moving(node, delta);
    std::swap(parent->m_children[size_t(row)], parent->m_children[size_t(target)]);
    renumber(parent, std::min(row, target));
    unlinkFromCreation(node);
    appendToCreation(node);
    touch();
    if (notify)
        m_observer->endMove();
    return true;
}

void TaskTree::setText(TaskNode *node, const QString &text)
{
    node->m_text = text;
    touch();
    if (m_observer && m_bulkDepth == 0)
        m_observer->nodeChanged(node);
    if (TaskTreeRecorder *r = recorder())
        r->changed(node, TaskTreeRecorder::Field::Text);
}

void TaskTree::setImageKey(TaskNode *node, TaskStatus status)
{
    if (changeStatus(node, status) && m_observer && m_bulkDepth == 0)
        m_observer->nodeChanged(node);
}

bool TaskTree::changeStatus(TaskNode *node, TaskStatus status)
{
    if (node == m_root)
        return false;
    node->m_status = status;
    touch();
    if (TaskTreeRecorder *r = recorder())
        r->changed(node, TaskTreeRecorder::Field::Status);
    return true;
}

template<typename StatusOf>
void TaskTree::setStatusesOf(const std::vector<TaskNode *> &nodes, StatusOf statusOf)
{
    // Only how rows look changes, so one repaint at the end is far cheaper than a signal
    // for each of thousands of nodes.
    const bool once = m_observer && nodes.size() > m_observer->manyChanges();
    bool changed = false;
    for (size_t i = 0; i < nodes.size(); ++i) {
        TaskNode *node = nodes[i];
        const TaskStatus status = statusOf(i);
        if (node->status() == status || !changeStatus(node, status))
            continue;
        changed = true;
        if (!once && m_observer && m_bulkDepth == 0)
            m_observer->nodeChanged(node);
    }
    if (once && changed)
        notifyAllChanged();
}

void TaskTree::setStatuses(const std::vector<TaskNode *> &nodes, const std::vector<TaskStatus> &statuses)
{
    setStatusesOf(nodes, [&](size_t i) { return statuses[i]; });
}

void TaskTree::setStatuses(const std::vector<TaskNode *> &nodes, TaskStatus status)
{
    setStatusesOf(nodes, [=](size_t) { return status; });
}

void TaskTree::setExpanded(TaskNode *node, bool expanded)
{
    if (node->m_expanded == expanded)
        return;
    node->m_expanded = expanded;
    if (m_observer && m_bulkDepth == 0)
        m_observer->expandedChanged(node);
    if (TaskTreeRecorder *r = recorder())
        r->changed(node, TaskTreeRecorder::Field::Expanded);
}

void TaskTree::setRelatedDocuments(TaskNode *node, QStringList documents)
{
    CAdditionalTaskInfo *info = node->info();
    if (!info)
        return;
    info->setRelatedDocuments(std::move(documents));
    touch();
    if (TaskTreeRecorder *r = recorder())
        r->changed(node, TaskTreeRecorder::Field::Documents);
}

void TaskTree::setSelected(TaskNode *node)
{
    if (m_selected == node)
        return;
    m_selected = node;
    // The recorder first: the observer may choose another node at once (a filter hiding this one).
    if (TaskTreeRecorder *r = recorder())
        r->selected(node);
    if (m_observer && m_bulkDepth == 0)
        m_observer->selectionChanged(node);
}

void TaskTree::beginBulkLoad()
{
    if (m_bulkDepth++ == 0 && m_observer)
        m_observer->beginReset();
}

void TaskTree::endBulkLoad()
{
    if (--m_bulkDepth == 0 && m_observer)
        m_observer->endReset();
}

void TaskTree::notifyAllChanged()
{
    if (m_observer && m_bulkDepth == 0)
        m_observer->allNodesChanged();
}

void TaskTree::findSubtreeStatuses()
{
    // Post-order without recursion: a node's children are done before it.
    std::vector<std::pair<TaskNode *, int>> stack {{m_root, 0}};
    while (!stack.empty()) {
        auto &[node, next] = stack.back();
        if (next < node->childCount()) {
            TaskNode *child = node->child(next++);
            stack.emplace_back(child, 0);
            continue;
        }
        quint8 mask = node->isRoot() ? 0 : quint8(1u << unsigned(node->m_status));
        for (const TaskNode *c : node->m_children)
            mask |= c->m_subtreeStatuses;
        node->m_subtreeStatuses = mask;
        stack.pop_back();
    }
}

void TaskTree::refreshSubtreeStatuses(TaskNode *node)
{
    for (TaskNode *n = node; n; n = n->m_parent) {
        quint8 mask = n->isRoot() ? 0 : quint8(1u << unsigned(n->m_status));
        for (const TaskNode *c : n->m_children)
            mask |= c->m_subtreeStatuses;
        if (mask == n->m_subtreeStatuses)
            break;
        n->m_subtreeStatuses = mask;
    }
}

void ApplyTaskStatus(TaskTree &tree, TaskStatus status, TaskNode *node)
{
    if (!node || node->isRoot())
        return;
    if (node->status() != status)
        tree.setImageKey(node, status);
}

void ApplyTaskStatus(TaskTree &tree, const QString &statusText, TaskNode *node)
{
    if (const auto status = statusFromText(statusText))
        ApplyTaskStatus(tree, *status, node);
}
