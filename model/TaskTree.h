// SPDX-License-Identifier: MIT
#pragma once

#include "model/TaskNode.h"

#include <QStringList>

class TaskTreeObserver;
class TaskTreeRecorder;

// The whole task list: the top node "Задачи" with its tasks, the selected node and the
// flat creation-order collection that search walks. QtCore only; no recursion anywhere,
// so a tree nested a hundred thousand levels deep cannot exhaust the stack.
class TaskTree
{
public:
    static const QString kRootText; // "Задачи"
    static const QString kUntitled; // "*** Untitled ***"

    TaskTree();
    ~TaskTree();
    TaskTree(const TaskTree &) = delete;
    TaskTree &operator=(const TaskTree &) = delete;

    void setObserver(TaskTreeObserver *observer) { m_observer = observer; }
    // Told of every change outside bulk loads (the crash-recovery journal); null for none.
    void setRecorder(TaskTreeRecorder *recorder) { m_recorder = recorder; }

    TaskNode *root() const { return m_root; }
    // Every node, the top node included.
    int count() const { return m_count; }

    // Creation order: the top node first, then every node in the order it was added
    // (a node moved among its siblings goes to the end; a re-parented one keeps its place).
    TaskNode *firstCreated() const { return m_root; }
    TaskNode *nextCreated(const TaskNode *node) const { return node->m_nextCreated; }
    TaskNode *previousCreated(const TaskNode *node) const { return node->m_prevCreated; }
    // 1-based position in creation order (O(n); for tests and diagnostics).

    // Adds a task with the Progress image key and a fresh, empty
    // CAdditionalTaskInfo. Expanded defaults to false.
    TaskNode *addChild(TaskNode *parent, const QString &text, TaskStatus status = TaskStatus::Progress);
    TaskNode *insertChild(TaskNode *parent, int row, const QString &text, TaskStatus status = TaskStatus::Progress);
    // Directly after / before a sibling.
    TaskNode *addAfter(TaskNode *sibling, const QString &text, TaskStatus status = TaskStatus::Progress);
    TaskNode *addBefore(TaskNode *sibling, const QString &text, TaskStatus status = TaskStatus::Progress);

    // Removes the node with its whole sub-tree. The top node is never removed.
    void remove(TaskNode *node);
    // Removes every task, leaving the top node alone (selected, expanded).
    void clear();

    // Makes node the last child of newParent, with its whole sub-tree; it keeps its place
    // in creation order. False (nothing changed) when newParent is node itself or one of
    // its descendants, or node is the top node.
    bool reparent(TaskNode *node, TaskNode *newParent);
    // Swaps node with its next (+1) or previous (-1) sibling; the node then counts as
    // newly created (last in creation order). False when there is no such sibling.
    bool moveAmongSiblings(TaskNode *node, int delta);

    // Undo support. detach takes a task with its sub-tree out of the tree without freeing it;
    // every node keeps its creation-order neighbours, so attach, with the tree as detach left
    // it, puts each back in its old place. A sub-tree that is never attached again goes to
    // destroyDetached.
    void detach(TaskNode *node);
    void attach(TaskNode *node, TaskNode *parent, int row);
    static void destroyDetached(TaskNode *node);
    // Moves node with its sub-tree so that it becomes child number row of parent, keeping its
    // place in creation order. False (nothing changed) on the same terms as reparent.
    bool moveTo(TaskNode *node, TaskNode *parent, int row);
    // Puts node right after `after` in creation order.
    void placeInCreationAfter(TaskNode *node, TaskNode *after);

    void setText(TaskNode *node, const QString &text);
    void setImageKey(TaskNode *node, TaskStatus status);
    // Marks many tasks at once (a sub-tree, or its undo): statuses[i] is nodes[i]'s. Above a few
    // hundred changes the observer hears one allNodesChanged instead of news per node.
    void setStatuses(const std::vector<TaskNode *> &nodes, const std::vector<TaskStatus> &statuses);
    void setStatuses(const std::vector<TaskNode *> &nodes, TaskStatus status);
    void setExpanded(TaskNode *node, bool expanded);
    void setRelatedDocuments(TaskNode *node, QStringList documents);

    // Whether the tasks (texts, statuses, documents, places) changed since the last load or save.
    // Expanded flags and the selection do not count: a reload keeps them where it can.
    bool isModified() const { return m_modified; }
    void setModified(bool modified) { m_modified = modified; }

    TaskNode *selected() const { return m_selected; }
    void setSelected(TaskNode *node);

    // Loading many nodes: the observer hears one reset instead of every insertion.
    void beginBulkLoad();
    void endBulkLoad();

    // Works out, for every node, which statuses its sub-tree holds (TaskNode::holdsInSubtree):
    // one bottom-up pass. The answers stand until the tree next changes.
    void findSubtreeStatuses();
    // The same after node's own status changed, for node and the nodes above it.
    void refreshSubtreeStatuses(TaskNode *node);

    // Tells the observer that many nodes changed at once.
    void notifyAllChanged();

private:
    TaskNode *newNode(const QString &text, TaskStatus status);
    template<typename StatusOf>
    void setStatusesOf(const std::vector<TaskNode *> &nodes, StatusOf statusOf);
    // Changes the status and records it; the observer is left to the caller.
    bool changeStatus(TaskNode *node, TaskStatus status);
    void link(TaskNode *parent, int row, TaskNode *node);
    // The neighbours in creation order close up over node; node keeps its own links.
    void skipInCreation(TaskNode *node);
    void unlinkFromCreation(TaskNode *node);
    void appendToCreation(TaskNode *node);
    static void renumber(TaskNode *parent, int fromRow);
    // Puts the node in at the row (clamped), tells the recorder (of the node alone or of its
    // whole sub-tree), then the observer; the caller counts it.
    void placeChild(TaskNode *parent, int row, TaskNode *node, bool withSubtree);
    void deleteSubtree(TaskNode *node);
    // A change the user made; loading (in bulk) is not one.
    void touch()
    {
        if (m_bulkDepth == 0)
            m_modified = true;
    }
    // The sub-tree's nodes, top first, parents before children.
    static std::vector<TaskNode *> subtreeOf(TaskNode *top);
    TaskTreeRecorder *recorder() const { return m_bulkDepth == 0 ? m_recorder : nullptr; }
    // Tells the recorder of a whole sub-tree now standing at its place, as the adds that build it.
    void recordSubtreeInserted(TaskNode *top);

    TaskNode *m_root = nullptr;
    TaskNode *m_lastCreated = nullptr;
    TaskNode *m_selected = nullptr;
    TaskTreeObserver *m_observer = nullptr;
    TaskTreeRecorder *m_recorder = nullptr;
    int m_count = 0;
    int m_bulkDepth = 0;
    bool m_modified = false;
};

// Gives a task the status's image key. statusText is compared exactly with "Progress",
// "Rejected", "Done"; anything else leaves the node untouched.
void ApplyTaskStatus(TaskTree &tree, const QString &statusText, TaskNode *node);
void ApplyTaskStatus(TaskTree &tree, TaskStatus status, TaskNode *node);
