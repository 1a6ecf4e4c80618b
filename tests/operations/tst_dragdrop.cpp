#include "tests/operations/MainWindowFixture.h"

#include <QMouseEvent>

namespace {

QString question(const QString &task, const QString &target)
{
    return QStringLiteral("Выбранная задача...\r\n\"") + task
        + QStringLiteral("\"\r\n\r\n...будет подзадачей для задачи\r\n\"") + target
        + QStringLiteral("\"\r\n\r\nПродолжить?");
}

// A mouse move with an exact set of held buttons, as the pointer device reports it.
void moveWithButtons(QWidget *viewport, const QPoint &pos, Qt::MouseButtons buttons)
{
    QMouseEvent move(QEvent::MouseMove, pos, viewport->mapToGlobal(pos), Qt::NoButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
}

struct DragFixture : MainWindowFixture {
    TaskNode *a, *a1, *a2, *a21, *b, *c;
    DragFixture()
    {
        settings.UseBackColor = true;
        a = task(root(), QStringLiteral("A"), TaskStatus::Done, {QStringLiteral("/a & b.txt")});
        b = task(root(), QStringLiteral("B"));
        c = task(root(), QStringLiteral("C"));
        a1 = task(a, QStringLiteral("A1"), TaskStatus::Rejected);
        a2 = task(a, QStringLiteral("A2"));
        a21 = task(a2, QStringLiteral("A21"));
        for (TaskNode *n : {a, a2})
            tree().setExpanded(n, true);
    }

    // Press on one node, move over another, release there: the user's drag.
    void drag(TaskNode *from, TaskNode *to)
    {
        const QPoint start = pointOf(from);
        const QPoint end = pointOf(to);
        QTest::mousePress(viewport(), Qt::LeftButton, Qt::NoModifier, start);
        QTest::mouseMove(viewport(), (start + end) / 2);
        QTest::mouseMove(viewport(), end);
        QTest::mouseRelease(viewport(), Qt::LeftButton, Qt::NoModifier, end);
    }

    bool idle()
    {
        TaskTreeView *v = tvTasks();
        return !v->InDrag && !v->CancelDrag && !v->DragNode && !v->DropHighlight();
    }
};

} // namespace

class TestDragDrop : public TestCase
{
    Q_OBJECT
private Q_SLOTS:
    void dropAsksThenMovesTheWholeSubTree()
    {
        DragFixture f;
        const OleColor fore = f.a->foreColor(), back = f.a->backColor();
        const QStringList created = f.creationOrder();

        // While dragging: the move cursor, the target highlighted.
        const QPoint start = f.pointOf(f.a);
        QTest::mousePress(f.viewport(), Qt::LeftButton, Qt::NoModifier, start);
        QCOMPARE(f.tvTasks()->DragNode, f.a);
        QVERIFY(!f.tvTasks()->InDrag);
        QTest::mouseMove(f.viewport(), f.pointOf(f.c));
        QVERIFY(f.tvTasks()->InDrag);
        QCOMPARE(f.tvTasks()->DropHighlight(), f.c);
        QVERIFY(QApplication::overrideCursor());
        QTest::mouseRelease(f.viewport(), Qt::LeftButton, Qt::NoModifier, f.pointOf(f.c));
        QVERIFY(!QApplication::overrideCursor());

        QCOMPARE(f.prompts().messages.size(), 1);
        QCOMPARE(f.prompts().lastText(), question(QStringLiteral("A"), QStringLiteral("C")));
        QCOMPARE(f.prompts().messages.last().style, 36);
        QVERIFY(f.prompts().messages.last().title.isEmpty());
        QCOMPARE(f.a->parent(), f.c);
        QCOMPARE(MainWindowFixture::childTexts(f.root()), (QStringList{QStringLiteral("B"), QStringLiteral("C")}));
        QCOMPARE(MainWindowFixture::childTexts(f.a), (QStringList{QStringLiteral("A1"), QStringLiteral("A2")}));
        QCOMPARE(f.a21->parent(), f.a2);
        QCOMPARE(f.a->imageKey(), QStringLiteral("Done"));
        QCOMPARE(f.a1->imageKey(), QStringLiteral("Rejected"));
        QCOMPARE(f.a->foreColor(), fore);
        QCOMPARE(f.a->backColor(), back);
        QCOMPARE(f.a->info()->RelatedDocuments(), QStringList{QStringLiteral("/a & b.txt")});
        QVERIFY(f.a->isExpanded());
        QVERIFY(f.a2->isExpanded());
        // Re-parenting keeps every node's place in creation order.
        QCOMPARE(f.creationOrder(), created);
        QVERIFY(f.idle());

        // The top node takes it back as a top-level task.
        f.drag(f.a2, f.root());
        QCOMPARE(f.prompts().lastText(), question(QStringLiteral("A2"), QStringLiteral("Задачи")));
        QCOMPARE(f.a2->parent(), f.root());
        QCOMPARE(f.a21->parent(), f.a2);
        QVERIFY(f.idle());
    }

    void dropsThatAskNothingOrAreRefused()
    {
        DragFixture f;
        const QStringList created = f.creationOrder();

        // On itself or on its own parent: silence, nothing moves.
        f.drag(f.a2, f.a2);
        f.drag(f.a2, f.a);
        QVERIFY(f.prompts().messages.isEmpty());
        QCOMPARE(f.a2->parent(), f.a);
        QVERIFY(f.idle());

        // No: nothing moves, the highlight is gone.
        f.prompts().answers = {MsgAnswer::No};
        f.drag(f.b, f.c);
        QCOMPARE(f.prompts().messages.size(), 1);
        QCOMPARE(f.b->parent(), f.root());
        QVERIFY(f.idle());

        // Onto its own grandchild: asked, then refused; the tree stays as it was.
        f.drag(f.a, f.a21);
        QCOMPARE(f.prompts().messages.size(), 3);
        QCOMPARE(f.prompts().messages[1].text, question(QStringLiteral("A"), QStringLiteral("A21")));
        QCOMPARE(f.prompts().lastText(), QStringLiteral("Так перемещать нельзя."));
        QCOMPARE(f.prompts().messages.last().style, 16);
        QVERIFY(!f.prompts().errorDetails.last().isEmpty());
        QCOMPARE(f.a->parent(), f.root());
        QCOMPARE(MainWindowFixture::childTexts(f.root()),
                 (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}));
        QCOMPARE(f.a21->parent(), f.a2);
        QCOMPARE(f.creationOrder(), created);
        QVERIFY(f.idle());

        // Released on empty space: there is no target.
        QTest::mousePress(f.viewport(), Qt::LeftButton, Qt::NoModifier, f.pointOf(f.b));
        QTest::mouseMove(f.viewport(), f.pointOf(f.c));
        QTest::mouseMove(f.viewport(), f.emptySpace());
        QVERIFY(!f.tvTasks()->DropHighlight());
        QTest::mouseRelease(f.viewport(), Qt::LeftButton, Qt::NoModifier, f.emptySpace());
        QCOMPARE(f.prompts().messages.size(), 3);
        QVERIFY(f.idle());
    }

    void pressesThatStartNoDrag()
    {
        DragFixture f;
        // The top node never moves.
        QTest::mousePress(f.viewport(), Qt::LeftButton, Qt::NoModifier, f.pointOf(f.root()));
        QVERIFY(!f.tvTasks()->DragNode);
        QTest::mouseMove(f.viewport(), f.pointOf(f.c));
        QVERIFY(!f.tvTasks()->InDrag);
        QTest::mouseRelease(f.viewport(), Qt::LeftButton, Qt::NoModifier, f.pointOf(f.c));

        // Nor does empty space.
        QTest::mousePress(f.viewport(), Qt::LeftButton, Qt::NoModifier, f.emptySpace());
        QVERIFY(!f.tvTasks()->DragNode);
        QTest::mouseMove(f.viewport(), f.pointOf(f.c));
        QVERIFY(!f.tvTasks()->InDrag);
        QTest::mouseRelease(f.viewport(), Qt::LeftButton, Qt::NoModifier, f.pointOf(f.c));

        // Left and right held together.
        QTest::mousePress(f.viewport(), Qt::LeftButton, Qt::NoModifier, f.pointOf(f.b));
        QCOMPARE(f.tvTasks()->DragNode, f.b);
        moveWithButtons(f.viewport(), f.pointOf(f.c), Qt::LeftButton | Qt::RightButton);
        QVERIFY(!f.tvTasks()->InDrag);
        QTest::mouseRelease(f.viewport(), Qt::LeftButton, Qt::NoModifier, f.pointOf(f.b));

        // A release without a move keeps the candidate; the next move with only the left
        // button held, however small, starts the drag.
        QCOMPARE(f.tvTasks()->DragNode, f.b);
        QTest::mousePress(f.viewport(), Qt::LeftButton, Qt::NoModifier, f.pointOf(f.b));
        QTest::mouseMove(f.viewport(), f.pointOf(f.b) + QPoint(1, 0));
        QVERIFY(f.tvTasks()->InDrag);
        QTest::mouseRelease(f.viewport(), Qt::LeftButton, Qt::NoModifier, f.pointOf(f.b) + QPoint(1, 0));
        QVERIFY(f.prompts().messages.isEmpty());
        QCOMPARE(f.b->parent(), f.root());
        QVERIFY(f.idle());
    }

    void escapeCancelsOnlyTheDrag()
    {
        DragFixture f;
        f.settings.CollapseOnESC = true;
        QTest::mousePress(f.viewport(), Qt::LeftButton, Qt::NoModifier, f.pointOf(f.b));
        QTest::mouseMove(f.viewport(), f.pointOf(f.c));
        QCOMPARE(f.tvTasks()->DropHighlight(), f.c);
        f.key(Qt::Key_Escape);
        QVERIFY(f.window->isVisible());
        QVERIFY(!QApplication::overrideCursor());
        // Still holding the button over the target, then letting go: nothing happens.
        QTest::mouseMove(f.viewport(), f.pointOf(f.c) + QPoint(2, 0));
        QTest::mouseRelease(f.viewport(), Qt::LeftButton, Qt::NoModifier, f.pointOf(f.c));
        QVERIFY(f.prompts().messages.isEmpty());
        QCOMPARE(f.b->parent(), f.root());
        QVERIFY(f.idle());
        QVERIFY(f.fakes.effect.requests.isEmpty());

        // With no drag running, Escape is the window's again.
        f.key(Qt::Key_Escape);
        QVERIFY(!f.window->isVisible() || f.window->isMinimized());
    }

    void releasedOutsideTheTree()
    {
        DragFixture f;
        QTest::mousePress(f.viewport(), Qt::LeftButton, Qt::NoModifier, f.pointOf(f.b));
        QTest::mouseMove(f.viewport(), f.pointOf(f.c));
        // The pointer leaves the tree: the last target stays marked while the button is held.
        const QPoint outside(-40, f.pointOf(f.c).y());
        QTest::mouseMove(f.viewport(), outside);
        QCOMPARE(f.tvTasks()->DropHighlight(), f.c);
        QTest::mouseRelease(f.viewport(), Qt::LeftButton, Qt::NoModifier, outside);
        QVERIFY(f.prompts().messages.isEmpty());
        QCOMPARE(f.b->parent(), f.root());
        QVERIFY(!QApplication::overrideCursor());
        QVERIFY(f.idle());
    }

    void removedCandidateIsForgotten()
    {
        DragFixture f;
        // Pressed and let go: A2 is the candidate. Then it is deleted from the keyboard.
        QTest::mouseClick(f.viewport(), Qt::LeftButton, Qt::NoModifier, f.pointOf(f.a2));
        QCOMPARE(f.tvTasks()->DragNode, f.a2);
        QCOMPARE(f.tree().selected(), f.a2);
        f.select(f.a);
        f.key(Qt::Key_Delete);
        QVERIFY(!f.tvTasks()->DragNode);
        // A move with the button "held" that no press on the tree began starts nothing.
        moveWithButtons(f.viewport(), f.pointOf(f.b), Qt::LeftButton);
        QVERIFY(!f.tvTasks()->InDrag);
    }

    void otherButtonsNeverDrag()
    {
        DragFixture f;
        QTest::mousePress(f.viewport(), Qt::RightButton, Qt::NoModifier, f.pointOf(f.b));
        QCOMPARE(f.tree().selected(), f.b);
        QVERIFY(!f.tvTasks()->DragNode);
        moveWithButtons(f.viewport(), f.pointOf(f.c), Qt::RightButton);
        QVERIFY(!f.tvTasks()->InDrag);
        QTest::mouseRelease(f.viewport(), Qt::RightButton, Qt::NoModifier, f.pointOf(f.c));
        QVERIFY(f.prompts().messages.isEmpty());
    }
};

LISTRA_TEST_MAIN(TestDragDrop)
#include "tst_dragdrop.moc"
