// SPDX-License-Identifier: MIT
#include "tests/support/TestMain.h"

#include "model/TaskTree.h"

namespace {

QString creationOrder(const TaskTree &tree)
{
    QStringList texts;
    for (const TaskNode *n = tree.nextCreated(tree.root()); n; n = tree.nextCreated(n))
        texts << n->text();
    return texts.join(QLatin1Char(' '));
}

// The children's texts, with any row number that does not match its place.
QString childTexts(const TaskNode *node)
{
    QStringList texts;
    for (int r = 0; r < node->childCount(); ++r)
        texts << node->child(r)->text() + (node->child(r)->row() == r ? QString() : QStringLiteral("!row"));
    return texts.join(QLatin1Char(' '));
}

} // namespace

class TaskTreeTest : public TestCase
{
    Q_OBJECT

private Q_SLOTS:
    void creationOrderFollowsEveryChange()
    {
        TaskTree tree;
        TaskNode *root = tree.root();
        TaskNode *a = tree.addChild(root, QStringLiteral("A"));
        TaskNode *b = tree.addChild(root, QStringLiteral("B"));
        TaskNode *c = tree.addChild(root, QStringLiteral("C"));
        TaskNode *a1 = tree.addChild(a, QStringLiteral("A1"));
        TaskNode *a1a = tree.addChild(a1, QStringLiteral("A1a"));
        tree.addBefore(b, QStringLiteral("X"));
        TaskNode *y = tree.addAfter(a, QStringLiteral("Y"));
        tree.insertChild(root, 0, QStringLiteral("Z"));
        QCOMPARE(childTexts(root), QStringLiteral("Z A Y X B C"));
        QCOMPARE(creationOrder(tree), QStringLiteral("A B C A1 A1a X Y Z"));

        // Moved among siblings, a task counts as new; re-parented, it keeps its place, with its sub-tree.
        QVERIFY(tree.moveAmongSiblings(a, +1) && !tree.moveAmongSiblings(c, +1) && !tree.moveAmongSiblings(root, +1));
        for (auto [node, target] : {std::pair {a, a}, {a, a1a}, {root, b}, {nullptr, b}, {a, nullptr}})
            QVERIFY(!tree.reparent(node, target));
        QVERIFY(tree.reparent(a1, c) && tree.reparent(y, root)); // onto its own parent: it goes last
        QCOMPARE(childTexts(root), QStringLiteral("Z A X B C Y"));
        QVERIFY(childTexts(c) == QStringLiteral("A1") && a1a->parent() == a1);
        QCOMPARE(creationOrder(tree), QStringLiteral("B C A1 A1a X Y Z A"));
        tree.remove(c);
        QCOMPARE(creationOrder(tree), QStringLiteral("B X Y Z A"));
        QCOMPARE(tree.count(), 6);
    }

    void statusApplying()
    {
        TaskTree tree;
        TaskNode *task = tree.addChild(tree.root(), QStringLiteral("задача"));
        for (auto [text, key] :
             {std::pair {"Done", "Done"}, {"Rejected", "Rejected"}, {"done", "Rejected"}, {"Progress", "Progress"}}) {
            ApplyTaskStatus(tree, QString::fromLatin1(text), task);
            QCOMPARE(task->imageKey(), QLatin1String(key));
        }
        // The top node has no status to take.
        ApplyTaskStatus(tree, TaskStatus::Done, tree.root());
        tree.setImageKey(tree.root(), TaskStatus::Done);
        QCOMPARE(tree.root()->imageKey(), QStringLiteral("Main"));
    }
};

LISTRA_TEST_MAIN(TaskTreeTest)
#include "tst_tasktree.moc"
