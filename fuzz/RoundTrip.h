// SPDX-License-Identifier: MIT
#pragma once

// The property the task-file fuzzer checks, shared with the regression tests that replay its
// corpus: whatever the reader accepts survives a write and a second read unchanged, writing
// it again gives the same bytes, the tree's links hold, and a refused file leaves nothing but
// the top node. QtCore only.

#include "model/TaskTree.h"
#include "storage/TaskFile.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <vector>

namespace RoundTrip {

// One node as the file sees it, in pre-order with its depth: equal lists mean equal trees.
struct NodeRecord {
    int depth = 0;
    QString text;
    QString imageKey;
    bool expanded = false;
    bool selected = false;
    QStringList documents;

    bool operator==(const NodeRecord &) const = default;
};

// Printable in a report: controls and anything outside ASCII as \uXXXX.
inline QString visible(const QString &text)
{
    QString out;
    for (const QChar c : text) {
        if (c.unicode() >= 0x20 && c.unicode() < 0x7F)
            out += c;
        else
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    }
    return out;
}

inline QString describe(const NodeRecord &r)
{
    QStringList documents;
    for (const QString &d : r.documents)
        documents << visible(d);
    return QStringLiteral("depth %1, text \"%2\", image %3, expanded %4, selected %5, documents [%6]")
        .arg(r.depth)
        .arg(visible(r.text))
        .arg(r.imageKey)
        .arg(r.expanded)
        .arg(r.selected)
        .arg(documents.join(QStringLiteral(" | ")));
}

// Walks the tree without recursion into records, checking on the way the links every other
// part relies on: parents, rows, the node count and the creation-order list. A broken link
// is reported in problem.
inline std::vector<NodeRecord> snapshot(const TaskTree &tree, QString &problem)
{
    std::vector<NodeRecord> out;
    out.reserve(size_t(tree.count()));
    const TaskNode *selected = tree.selected();
    bool selectedSeen = selected == nullptr;

    struct Frame {
        const TaskNode *node;
        int depth;
    };
    std::vector<Frame> stack {{tree.root(), 0}};
    while (!stack.empty()) {
        const Frame f = stack.back();
        stack.pop_back();
        const TaskNode *n = f.node;
        if (n != tree.root() && !n->info()) {
            problem = QStringLiteral("a task without its documents object");
            return out;
        }
        NodeRecord r;
        r.depth = f.depth;
        r.text = n->text();
        r.imageKey = n->imageKey();
        r.expanded = n->isExpanded();
        r.selected = n == selected;
        if (n->info())
            r.documents = n->info()->RelatedDocuments();
        selectedSeen = selectedSeen || r.selected;
        out.push_back(std::move(r));

        for (int row = n->childCount() - 1; row >= 0; --row) {
            const TaskNode *c = n->child(row);
            if (c->parent() != n || c->row() != row) {
                problem = QStringLiteral("a child with a wrong parent or row");
                return out;
            }
            if (c->isRoot()) {
                problem = QStringLiteral("a task with the top node's image key");
                return out;
            }
            stack.push_back({c, f.depth + 1});
        }
    }
    if (!selectedSeen)
        problem = QStringLiteral("the selected node is not in the tree");
    else if (int(out.size()) != tree.count())
        problem = QStringLiteral("the tree counts %1 nodes but holds %2").arg(tree.count()).arg(out.size());
    if (!problem.isEmpty())
        return out;

    int created = 0;
    for (const TaskNode *n = tree.firstCreated(); n && created <= tree.count(); n = tree.nextCreated(n))
        ++created;
    if (created != tree.count())
        problem = QStringLiteral("the creation order holds %1 nodes, the tree %2").arg(created).arg(tree.count());
    return out;
}

inline QString difference(const std::vector<NodeRecord> &before, const std::vector<NodeRecord> &after)
{
    const size_t n = std::min(before.size(), after.size());
    for (size_t i = 0; i < n; ++i) {
        if (!(before[i] == after[i]))
            return QStringLiteral("node %1 changed over a write and a read: before {%2}, after {%3}")
                .arg(i)
                .arg(describe(before[i]), describe(after[i]));
    }
    if (before.size() != after.size())
        return QStringLiteral("the tree went from %1 to %2 nodes over a write and a read")
            .arg(before.size())
            .arg(after.size());
    return {};
}

// Empty when bytes behave; otherwise what went wrong. loaded tells whether the reader took them.
inline QString check(const QByteArray &bytes, bool *loaded = nullptr)
{
    TaskTree tree;
    QString error;
    const bool ok = loadTaskFileFromBytes(bytes, tree, &error);
    if (loaded)
        *loaded = ok;
    // Cut into tiny pieces, the bytes read the same, or are refused for the same reason.
    TaskTree pieced;
    QString piecedError;
    setTaskFilePieces(1, 64);
    const bool piecedOk = loadTaskFileFromBytes(bytes, pieced, &piecedError);
    setTaskFilePieces(0, 0);
    if (piecedOk != ok || piecedError != error)
        return QStringLiteral("read in pieces: ") + (piecedOk ? QStringLiteral("loaded") : piecedError);
    if (!ok) {
        if (error.isEmpty())
            return QStringLiteral("a refused file without a reason");
        if (tree.count() != 1 || tree.root()->childCount() != 0)
            return QStringLiteral("a refused file left tasks behind");
        return {};
    }
    if (!error.isEmpty())
        return QStringLiteral("a loaded file with a reason: ") + error;

    QString problem;
    const std::vector<NodeRecord> first = snapshot(tree, problem);
    if (!problem.isEmpty())
        return QStringLiteral("after the first read: ") + problem;
    if (QString d = difference(first, snapshot(pieced, problem)); !d.isEmpty())
        return QStringLiteral("read in pieces: ") + d;
    const QByteArray written = serializeTaskTree(tree);

    // Read back into the same tree, so replacing a full tree is exercised too.
    if (!loadTaskFileFromBytes(written, tree, &error))
        return QStringLiteral("what was written cannot be read back: ") + error;
    const std::vector<NodeRecord> second = snapshot(tree, problem);
    if (!problem.isEmpty())
        return QStringLiteral("after the second read: ") + problem;
    if (QString d = difference(first, second); !d.isEmpty())
        return d;
    if (serializeTaskTree(tree) != written)
        return QStringLiteral("writing the same tree twice gave different bytes");
    return {};
}

} // namespace RoundTrip
