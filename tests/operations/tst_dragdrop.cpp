#include "tests/main/MainHarness.h"

#include <QMouseEvent>

// Dragging a task onto another with the mouse.
class TestDragDrop : public TestCase
{
    Q_OBJECT

    TaskNode *a, *a2, *a21, *b, *c;

    void build(MainHarness &f)
    {
        f.show();
        a = f.task(f.root(), QStringLiteral("A"), TaskStatus::Done, {QStringLiteral("/a & b.txt")});
        b = f.task(f.root(), QStringLiteral("B"));
        c = f.task(f.root(), QStringLiteral("C"));
        f.task(a, QStringLiteral("A1"), TaskStatus::Rejected);
        a2 = f.task(a, QStringLiteral("A2"));
        a21 = f.task(a2, QStringLiteral("A21"));
    }

    static QString question(const char *task, const QString &target)
    {
        return QStringLiteral("Выбранная задача...\r\n\"") + QString::fromUtf8(task)
            + QStringLiteral("\"\r\n\r\n...будет подзадачей для задачи\r\n\"") + target
            + QStringLiteral("\"\r\n\r\nПродолжить?");
    }

    static void drag(MainHarness &f, TaskNode *from, TaskNode *to)
    {
        const QPoint start = f.pointOf(from), end = f.pointOf(to);
        QTest::mousePress(f.viewport(), Qt::LeftButton, {}, start);
        QTest::mouseMove(f.viewport(), (start + end) / 2);
        QTest::mouseMove(f.viewport(), end);
        QTest::mouseRelease(f.viewport(), Qt::LeftButton, {}, end);
        QVERIFY(!f.tv()->InDrag && !f.tv()->DropHighlight() && !QApplication::overrideCursor());
    }

private Q_SLOTS:
    void dropsAskThenMoveTheWholeSubTree()
    {
        MainHarness f;
        build(f);
        const OleColor fore = a->foreColor();
        const QString created = f.creationOrder();
        // On itself or on its own parent: silence; the top node never moves.
        drag(f, a2, a2);
        drag(f, a2, a);
        drag(f, f.root(), c);
        QVERIFY(f.prompts().messages.isEmpty());
        // No keeps the tree; onto its own grandchild: asked, then refused, the tree unchanged.
        f.prompts().answers = {MsgAnswer::No};
        drag(f, b, c);
        drag(f, a, a21);
        QCOMPARE(f.prompts().messages.size(), 3);
        QCOMPARE(f.prompts().messages[1].text, question("A", QStringLiteral("A21")));
        QCOMPARE(f.lastMessage(), QStringLiteral("Так перемещать нельзя. [16]"));
        QCOMPARE(f.creationOrder(), created);
        QCOMPARE(MainHarness::childTexts(f.root()), QStringLiteral("A|B|C"));

        drag(f, a, c);
        QCOMPARE(f.lastMessage(), question("A", QStringLiteral("C")) + QStringLiteral(" [36]"));
        QCOMPARE(a->parent(), c);
        QCOMPARE(MainHarness::childTexts(a), QStringLiteral("A1|A2"));
        QCOMPARE(a21->parent(), a2);
        QCOMPARE(a->imageKey() + a->info()->RelatedDocuments().join(QString()), QStringLiteral("Done/a & b.txt"));
        QCOMPARE(a->foreColor(), fore);
        QCOMPARE(f.creationOrder(), created); // re-parenting keeps every place in creation order
        // The top node takes it back as a top-level task.
        drag(f, a2, f.root());
        QCOMPARE(f.prompts().lastText(), question("A2", QStringLiteral("Задачи")));
        QCOMPARE(a2->parent(), f.root());

        // Escape during a drag cancels only the drag: letting go over the target does nothing.
        QTest::mousePress(f.viewport(), Qt::LeftButton, {}, f.pointOf(b));
        QTest::mouseMove(f.viewport(), f.pointOf(c));
        QCOMPARE(f.tv()->DropHighlight(), c);
        QVERIFY(QApplication::overrideCursor());
        f.key(Qt::Key_Escape);
        QVERIFY(f.window->isVisible());
        QVERIFY(!QApplication::overrideCursor());
        QTest::mouseMove(f.viewport(), f.pointOf(c) + QPoint(2, 0));
        QTest::mouseRelease(f.viewport(), Qt::LeftButton, {}, f.pointOf(c));
        QCOMPARE(f.prompts().messages.size(), 5);
        QCOMPARE(b->parent(), f.root());
        QVERIFY(!f.tv()->InDrag && !f.tv()->DropHighlight());

        // A candidate removed from the keyboard is forgotten: no drag starts from it.
        QTest::mouseClick(f.viewport(), Qt::LeftButton, {}, f.pointOf(b));
        QCOMPARE(f.tv()->DragNode, b);
        f.key(Qt::Key_Delete);
        QMouseEvent move(QEvent::MouseMove, f.pointOf(c), f.viewport()->mapToGlobal(f.pointOf(c)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(f.viewport(), &move);
        QVERIFY(!f.tv()->InDrag);
        // With no drag running, Escape is the window's again.
        f.key(Qt::Key_Escape);
        QVERIFY(!f.window->isVisible());
    }
};

LISTRA_TEST_MAIN(TestDragDrop)
#include "tst_dragdrop.moc"
