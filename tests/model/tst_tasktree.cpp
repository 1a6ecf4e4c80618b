#include "tests/support/TestMain.h"

#include "model/BoolText.h"
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
        TaskNode *x = tree.addBefore(b, QStringLiteral("X"));
        TaskNode *y = tree.addAfter(a, QStringLiteral("Y"));
        TaskNode *z = tree.insertChild(root, 0, QStringLiteral("Z"));
        QCOMPARE(childTexts(root), QStringLiteral("Z A Y X B C"));
        QCOMPARE(creationOrder(tree), QStringLiteral("A B C A1 A1a X Y Z"));

        // Moved among siblings, a task counts as new; its sub-tasks keep their places.
        QVERIFY(tree.moveAmongSiblings(a, +1));
        QCOMPARE(childTexts(root), QStringLiteral("Z Y A X B C"));
        QCOMPARE(creationOrder(tree), QStringLiteral("B C A1 A1a X Y Z A"));
        for (auto [node, delta] : {std::pair {z, -1}, {c, +1}, {a1, +1}, {root, +1}, {x, 2}})
            QVERIFY(!tree.moveAmongSiblings(node, delta));

        // Never under itself or its descendants; otherwise with the sub-tree, keeping places.
        for (auto [node, target] : {std::pair {a, a}, {a, a1a}, {root, b}, {nullptr, b}, {a, nullptr}})
            QVERIFY(!tree.reparent(node, target));
        QVERIFY(tree.reparent(a1, c));
        QVERIFY(tree.reparent(y, root)); // onto its own parent: it goes last
        QCOMPARE(childTexts(root), QStringLiteral("Z A X B C Y"));
        QCOMPARE(childTexts(c), QStringLiteral("A1"));
        QCOMPARE(a1a->parent(), a1);
        QCOMPARE(creationOrder(tree), QStringLiteral("B C A1 A1a X Y Z A"));

        tree.remove(c);
        QCOMPARE(creationOrder(tree), QStringLiteral("B X Y Z A"));
        QCOMPARE(tree.count(), 6);
    }

    void booleanTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("whenTrueByDefault");
        QTest::addColumn<bool>("whenFalseByDefault");
        for (const char *t : {"True", "tRuE", "  true\t", "1", " -1 ", "\r\n1\n", "\u00A0TRUE\u3000"})
            QTest::newRow(t) << QString::fromUtf8(t) << true << true;
        for (const char *t : {"False", "0", "2", "-2", "yes", "truee", "1.0", "+1", "t r u e"})
            QTest::newRow(t) << QString::fromUtf8(t) << false << false;
        QTest::newRow("empty") << QString() << true << false;
        QTest::newRow("blanks") << QStringLiteral(" \t\r\n") << true << false;
    }

    void booleanTexts()
    {
        QFETCH(QString, text);
        QFETCH(bool, whenTrueByDefault);
        QFETCH(bool, whenFalseByDefault);
        QCOMPARE(TextToBool(text, true), whenTrueByDefault);
        QCOMPARE(TextToBool(text, false), whenFalseByDefault);
        QCOMPARE(TextToBool(BoolToText(whenFalseByDefault), !whenFalseByDefault), whenFalseByDefault);
    }

    void statusColouring()
    {
        TaskTree tree;
        TaskNode *task = tree.addChild(tree.root(), QStringLiteral("задача"));
        for (bool useBack : {false, true}) {
            const StatusColors colors {1, 2, 3, 0xA1, 0xA2, 0xA3, useBack};
            for (auto [status, fore, back] :
                 {std::tuple {"Done", 1, 0xA1}, {"Rejected", 3, 0xA3}, {"Progress", 2, 0xA2}}) {
                ApplyTaskStatus(tree, QLatin1String(status), task, colors);
                QCOMPARE(task->imageKey(), QLatin1String(status));
                QCOMPARE(task->foreColor(), OleColor(fore));
                QCOMPARE(task->backColor(), useBack ? OleColor(back) : kSystemWindowBackground);
            }
        }
        // Other spellings and unknown words leave the task exactly as it was.
        for (const char *t : {"done", " Done", "", "Main", "Finished"}) {
            ApplyTaskStatus(tree, QLatin1String(t), task, StatusColors());
            QVERIFY2(task->imageKey() == QLatin1String("Progress") && task->foreColor() == 2, t);
        }
        // The top node has no status to take.
        ApplyTaskStatus(tree, QStringLiteral("Done"), tree.root(), StatusColors());
        tree.setImageKey(tree.root(), TaskStatus::Done);
        QCOMPARE(tree.root()->imageKey(), QStringLiteral("Main"));
    }

    void deepTreesNeedNoRecursion()
    {
        const int levels = 300000;
        auto tree = std::make_unique<TaskTree>();
        auto chain = [&] {
            TaskNode *n = tree->root();
            for (int i = 0; i < levels; ++i)
                n = tree->addChild(n, QStringLiteral("t"));
            return n;
        };
        TaskNode *bottom = chain();
        TaskNode *middle = bottom;
        for (int i = 0; i < levels / 2; ++i)
            middle = middle->parent();
        tree->setSelected(bottom);
        QCOMPARE(bottom->depth(), levels);
        QVERIFY(!tree->reparent(middle, bottom));
        tree->remove(middle);
        QVERIFY(tree->count() == levels / 2 && tree->selected() == nullptr);
        tree->clear();
        QCOMPARE(tree->count(), 1);
        chain();
        tree.reset(); // destroyed with a whole chain in it
    }
};

LISTRA_TEST_MAIN(TaskTreeTest)
#include "tst_tasktree.moc"
