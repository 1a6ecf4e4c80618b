#include "tests/support/TestMain.h"

#include "model/BoolText.h"
#include "model/TaskTree.h"

namespace {

QStringList creationOrder(const TaskTree &tree)
{
    QStringList texts;
    for (const TaskNode *n = tree.firstCreated(); n; n = tree.nextCreated(n))
        texts << n->text();
    return texts;
}

QStringList childTexts(const TaskNode *node)
{
    QStringList texts;
    for (int r = 0; r < node->childCount(); ++r) {
        texts << node->child(r)->text();
        if (node->child(r)->row() != r)
            texts << QStringLiteral("<wrong row %1>").arg(node->child(r)->row());
    }
    return texts;
}

} // namespace

class TaskTreeTest : public TestCase
{
    Q_OBJECT

private Q_SLOTS:
    void topNodeAndNewTasks()
    {
        TaskTree tree;
        TaskNode *root = tree.root();
        QCOMPARE(root->key(), QStringLiteral("Root"));
        QCOMPARE(root->text(), QStringLiteral("Задачи"));
        QCOMPARE(root->imageKey(), QStringLiteral("Main"));
        QVERIFY(root->isExpanded());
        QVERIFY(root->info() == nullptr);
        QCOMPARE(tree.count(), 1);
        QCOMPARE(tree.creationPosition(root), 1);

        TaskNode *a = tree.addChild(root, QStringLiteral("A"));
        TaskNode *b = tree.addChild(a, QStringLiteral("B"), TaskStatus::Done);
        QVERIFY(a->key().isEmpty());
        QCOMPARE(a->imageKey(), QStringLiteral("Progress"));
        QCOMPARE(b->imageKey(), QStringLiteral("Done"));
        QVERIFY(a->info() != nullptr);
        QCOMPARE(a->info()->RelatedDocuments().size(), 0);
        QVERIFY(a->info() != b->info());
        QCOMPARE(b->fullPath(), QStringLiteral("Задачи\\A\\B"));
        QCOMPARE(a->fullPath(), QStringLiteral("Задачи\\A"));
        QCOMPARE(root->fullPath(), QStringLiteral("Задачи"));
        QCOMPARE(b->depth(), 2);
        QVERIFY(b->isDescendantOf(root));
        QVERIFY(b->isDescendantOf(a));
        QVERIFY(!a->isDescendantOf(b));
        QVERIFY(!a->isDescendantOf(a));

        // The status can never be taken from the top node.
        tree.setImageKey(root, TaskStatus::Done);
        QCOMPARE(root->imageKey(), QStringLiteral("Main"));
    }

    void creationOrderFollowsEveryChange()
    {
        TaskTree tree;
        TaskNode *root = tree.root();
        TaskNode *a = tree.addChild(root, QStringLiteral("A"));
        TaskNode *b = tree.addChild(root, QStringLiteral("B"));
        TaskNode *c = tree.addChild(root, QStringLiteral("C"));
        TaskNode *a1 = tree.addChild(a, QStringLiteral("A1"));
        tree.addChild(a1, QStringLiteral("A1a"));
        TaskNode *x = tree.addBefore(b, QStringLiteral("X"));
        TaskNode *y = tree.addAfter(a, QStringLiteral("Y"));
        TaskNode *z = tree.insertChild(root, 0, QStringLiteral("Z"));
        QCOMPARE(childTexts(root), (QStringList{QStringLiteral("Z"), QStringLiteral("A"), QStringLiteral("Y"),
                                               QStringLiteral("X"), QStringLiteral("B"), QStringLiteral("C")}));
        QCOMPARE(creationOrder(tree), (QStringList{QStringLiteral("Задачи"), QStringLiteral("A"), QStringLiteral("B"),
                                                   QStringLiteral("C"), QStringLiteral("A1"), QStringLiteral("A1a"),
                                                   QStringLiteral("X"), QStringLiteral("Y"), QStringLiteral("Z")}));
        QCOMPARE(tree.count(), 9);
        QCOMPARE(tree.creationPosition(x), 7);

        // Removing closes the gap, with the whole sub-tree.
        tree.remove(a);
        QCOMPARE(tree.count(), 6);
        QCOMPARE(creationOrder(tree), (QStringList{QStringLiteral("Задачи"), QStringLiteral("B"), QStringLiteral("C"),
                                                   QStringLiteral("X"), QStringLiteral("Y"), QStringLiteral("Z")}));
        QCOMPARE(tree.creationPosition(x), 4);

        // Moving among siblings: the task counts as new, its sub-tasks keep their places.
        TaskNode *b1 = tree.addChild(b, QStringLiteral("B1"));
        QVERIFY(tree.moveAmongSiblings(b, -1));
        QCOMPARE(childTexts(root), (QStringList{QStringLiteral("Z"), QStringLiteral("Y"), QStringLiteral("B"),
                                               QStringLiteral("X"), QStringLiteral("C")}));
        QCOMPARE(creationOrder(tree), (QStringList{QStringLiteral("Задачи"), QStringLiteral("C"), QStringLiteral("X"),
                                                   QStringLiteral("Y"), QStringLiteral("Z"), QStringLiteral("B1"),
                                                   QStringLiteral("B")}));
        QCOMPARE(b1->parent(), b);
        QVERIFY(tree.moveAmongSiblings(z, +1));
        QCOMPARE(childTexts(root), (QStringList{QStringLiteral("Y"), QStringLiteral("Z"), QStringLiteral("B"),
                                               QStringLiteral("X"), QStringLiteral("C")}));
        QCOMPARE(creationOrder(tree).last(), QStringLiteral("Z"));

        // No sibling that way, or the top node: nothing changes at all.
        const QStringList before = creationOrder(tree);
        QVERIFY(!tree.moveAmongSiblings(y, -1));
        QVERIFY(!tree.moveAmongSiblings(c, +1));
        QVERIFY(!tree.moveAmongSiblings(b1, +1));
        QVERIFY(!tree.moveAmongSiblings(root, +1));
        QVERIFY(!tree.moveAmongSiblings(x, 2));
        QCOMPARE(creationOrder(tree), before);

        // Re-parenting keeps the task's place in creation order.
        QVERIFY(tree.reparent(c, x));
        QCOMPARE(creationOrder(tree), before);
        QCOMPARE(c->parent(), x);
        QCOMPARE(childTexts(root), (QStringList{QStringLiteral("Y"), QStringLiteral("Z"), QStringLiteral("B"),
                                               QStringLiteral("X")}));
    }

    void reparentRefusesLoopsAndMovesSubtrees()
    {
        TaskTree tree;
        TaskNode *root = tree.root();
        TaskNode *a = tree.addChild(root, QStringLiteral("A"));
        TaskNode *a1 = tree.addChild(a, QStringLiteral("A1"));
        TaskNode *a1a = tree.addChild(a1, QStringLiteral("A1a"));
        TaskNode *b = tree.addChild(root, QStringLiteral("B"));
        TaskNode *c = tree.addChild(root, QStringLiteral("C"));
        tree.setRelatedDocuments(a1a, {QStringLiteral("/tmp/a1a.txt")});

        QVERIFY(!tree.reparent(a, a));
        QVERIFY(!tree.reparent(a, a1));
        QVERIFY(!tree.reparent(a, a1a));
        QVERIFY(!tree.reparent(root, b));
        QVERIFY(!tree.reparent(nullptr, b));
        QVERIFY(!tree.reparent(a, nullptr));
        QCOMPARE(childTexts(root), (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}));
        QCOMPARE(a1a->parent(), a1);

        // The sub-tree goes along, documents and all.
        QVERIFY(tree.reparent(a1, c));
        QCOMPARE(childTexts(a), QStringList());
        QCOMPARE(childTexts(c), QStringList{QStringLiteral("A1")});
        QCOMPARE(a1a->fullPath(), QStringLiteral("Задачи\\C\\A1\\A1a"));
        QCOMPARE(a1a->info()->RelatedDocuments(), QStringList{QStringLiteral("/tmp/a1a.txt")});

        // Back to the top, as the last child; onto its own parent: it goes last there.
        QVERIFY(tree.reparent(a1, root));
        QCOMPARE(childTexts(root), (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"),
                                               QStringLiteral("A1")}));
        QVERIFY(tree.reparent(a, root));
        QCOMPARE(childTexts(root), (QStringList{QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("A1"),
                                               QStringLiteral("A")}));
        QVERIFY(tree.reparent(a, root));
        QCOMPARE(childTexts(root), (QStringList{QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("A1"),
                                               QStringLiteral("A")}));
        QCOMPARE(tree.count(), 6);
    }

    void removeUpdatesCountAndSelection()
    {
        TaskTree tree;
        TaskNode *root = tree.root();
        TaskNode *a = tree.addChild(root, QStringLiteral("A"));
        TaskNode *a1 = tree.addChild(a, QStringLiteral("A1"));
        TaskNode *a1a = tree.addChild(a1, QStringLiteral("A1a"));
        tree.addChild(a1, QStringLiteral("A1b"));
        TaskNode *b = tree.addChild(root, QStringLiteral("B"));
        QCOMPARE(tree.count(), 6);

        tree.setSelected(b);
        tree.remove(a1);
        QCOMPARE(tree.count(), 3);
        QCOMPARE(tree.selected(), b); // untouched: it was elsewhere
        QCOMPARE(creationOrder(tree), (QStringList{QStringLiteral("Задачи"), QStringLiteral("A"), QStringLiteral("B")}));

        a1 = tree.addChild(a, QStringLiteral("A1"));
        a1a = tree.addChild(a1, QStringLiteral("A1a"));
        tree.setSelected(a1a);
        tree.remove(a);
        QCOMPARE(tree.count(), 2);
        QVERIFY(tree.selected() == nullptr); // went with its ancestor
        QCOMPARE(childTexts(root), QStringList{QStringLiteral("B")});
        QCOMPARE(b->row(), 0);

        tree.remove(root);
        tree.remove(nullptr);
        QCOMPARE(tree.count(), 2);

        tree.addChild(b, QStringLiteral("B1"));
        tree.setSelected(b);
        tree.clear();
        QCOMPARE(tree.count(), 1);
        QCOMPARE(root->childCount(), 0);
        QVERIFY(tree.selected() == nullptr);
        QCOMPARE(creationOrder(tree), QStringList{QStringLiteral("Задачи")});
        TaskNode *again = tree.addChild(root, QStringLiteral("после очистки"));
        QCOMPARE(tree.creationPosition(again), 2);
    }

    void siblingsWithTheSameTextStayApart()
    {
        TaskTree tree;
        TaskNode *root = tree.root();
        TaskNode *first = tree.addChild(root, QStringLiteral("Дубль"));
        TaskNode *second = tree.addChild(root, QStringLiteral("Дубль"), TaskStatus::Done);
        tree.setRelatedDocuments(first, {QStringLiteral("/первый")});
        tree.setRelatedDocuments(second, {QStringLiteral("/второй")});
        TaskNode *child = tree.addChild(second, QStringLiteral("Дубль"));
        QCOMPARE(first->fullPath(), second->fullPath());

        tree.setSelected(second);
        QVERIFY(tree.moveAmongSiblings(second, -1));
        QCOMPARE(root->child(0), second);
        QCOMPARE(root->child(1), first);
        QCOMPARE(tree.selected(), second);
        QCOMPARE(second->info()->RelatedDocuments(), QStringList{QStringLiteral("/второй")});
        QCOMPARE(child->parent(), second);

        QVERIFY(tree.reparent(first, child));
        QCOMPARE(first->parent(), child);
        QCOMPARE(first->info()->RelatedDocuments(), QStringList{QStringLiteral("/первый")});

        tree.remove(first);
        QCOMPARE(tree.count(), 3);
        QCOMPARE(tree.selected(), second);
        QCOMPARE(second->imageKey(), QStringLiteral("Done"));
        QCOMPARE(child->childCount(), 0);
    }

    void booleanTexts()
    {
        QCOMPARE(BoolToText(true), QStringLiteral("True"));
        QCOMPARE(BoolToText(false), QStringLiteral("False"));
        for (bool value : {true, false}) {
            QCOMPARE(TextToBool(BoolToText(value), !value), value);
            for (const char *t : {"TRUE", "true", "True", "tRuE", "  true\t", "1", "-1", " -1 ", "\r\n1\n"})
                QVERIFY2(TextToBool(QLatin1String(t), value), t);
            for (const char *t : {"False", "FALSE", "0", "2", "-2", "yes", "on", "truee", "1.0", "+1", "t r u e"})
                QVERIFY2(!TextToBool(QLatin1String(t), value), t);
            for (const char *t : {"", " ", "\t \r\n"})
                QCOMPARE(TextToBool(QLatin1String(t), value), value);
            QCOMPARE(TextToBool(QString(), value), value);
        }
        // Unicode blanks round the word count as blanks.
        QVERIFY(TextToBool(QStringLiteral("\u00A0TRUE\u3000"), false));
    }

    void statusColouring()
    {
        TaskTree tree;
        TaskNode *task = tree.addChild(tree.root(), QStringLiteral("задача"));
        StatusColors colors;
        colors.doneFore = 0x000001;
        colors.progressFore = 0x000002;
        colors.rejectedFore = 0x000003;
        colors.doneBack = 0x0000A1;
        colors.progressBack = 0x0000A2;
        colors.rejectedBack = 0x0000A3;

        struct Case {
            const char *status;
            OleColor fore, back;
        };
        for (bool useBack : {false, true}) {
            colors.useBackColor = useBack;
            for (const Case &c : {Case{"Done", 1, 0xA1}, Case{"Rejected", 3, 0xA3}, Case{"Progress", 2, 0xA2}}) {
                ApplyTaskStatus(tree, QLatin1String(c.status), task, colors);
                QCOMPARE(task->imageKey(), QLatin1String(c.status));
                QCOMPARE(task->foreColor(), c.fore);
                QCOMPARE(task->backColor(), useBack ? c.back : kSystemWindowBackground);
            }
        }

        // Other spellings, blanks and unknown words leave the task exactly as it was.
        ApplyTaskStatus(tree, QStringLiteral("Done"), task, colors);
        for (const char *t : {"done", "DONE", " Done", "Done ", "", "Main", "Finished"}) {
            ApplyTaskStatus(tree, QLatin1String(t), task, StatusColors());
            QCOMPARE(task->imageKey(), QStringLiteral("Done"));
            QCOMPARE(task->foreColor(), OleColor(1));
            QCOMPARE(task->backColor(), OleColor(0xA1));
        }

        // The top node has no status to give.
        ApplyTaskStatus(tree, QStringLiteral("Done"), tree.root(), colors);
        QCOMPARE(tree.root()->imageKey(), QStringLiteral("Main"));

        // Re-colouring everything follows new settings.
        TaskNode *child = tree.addChild(task, QStringLiteral("подзадача"), TaskStatus::Rejected);
        colors.useBackColor = false;
        colors.rejectedFore = 0x123456;
        tree.recolorAll(colors);
        QCOMPARE(task->foreColor(), OleColor(1));
        QCOMPARE(task->backColor(), kSystemWindowBackground);
        QCOMPARE(child->foreColor(), OleColor(0x123456));
        QCOMPARE(child->imageKey(), QStringLiteral("Rejected"));
    }

    void deepTreesNeedNoRecursion()
    {
        const int levels = 300000;
        auto tree = std::make_unique<TaskTree>();
        TaskNode *n = tree->root();
        TaskNode *middle = nullptr;
        for (int i = 1; i <= levels; ++i) {
            n = tree->addChild(n, QStringLiteral("t"));
            if (i == levels / 2)
                middle = n;
        }
        TaskNode *bottom = n;
        tree->setSelected(bottom);
        QCOMPARE(tree->count(), levels + 1);
        QCOMPARE(bottom->depth(), levels);
        QVERIFY(bottom->isDescendantOf(middle));
        QVERIFY(!tree->reparent(middle, bottom));
        QCOMPARE(bottom->fullPath().size(), 6 + 2 * levels);

        // Cutting the chain in the middle, then dropping the tree with what is left.
        tree->remove(middle);
        QCOMPARE(tree->count(), levels / 2);
        QVERIFY(tree->selected() == nullptr);
        TaskNode *top = tree->root()->child(0);
        for (int i = 0; i < 1000; ++i)
            tree->addChild(top, QStringLiteral("wide"));
        tree.reset();

        TaskTree cleared;
        n = cleared.root();
        for (int i = 0; i < levels; ++i)
            n = cleared.addChild(n, QStringLiteral("u"));
        cleared.clear();
        QCOMPARE(cleared.count(), 1);
    }
};

LISTRA_TEST_MAIN(TaskTreeTest)
#include "tst_tasktree.moc"
