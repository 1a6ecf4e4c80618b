// SPDX-License-Identifier: MIT
#include "tests/main/MainHarness.h"

#include "storage/TaskFile.h"

#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <functional>

// The mouse on the task tree: dragging a task onto another, and the related-documents menu of
// the other buttons (Space opens it too).
class TestTreeMouse : public TestCase
{
    Q_OBJECT

    static QString question(const char *task, const QString &target)
    {
        return QStringLiteral("Выбранная задача...\r\n\"") + QString::fromUtf8(task)
            + QStringLiteral("\"\r\n\r\n...будет подзадачей для задачи\r\n\"") + target
            + QStringLiteral("\"\r\n\r\nПродолжить?");
    }

    static void drag(MainHarness &f, TaskNode *from, TaskNode *to)
    {
        f.drag(from, to);
        QVERIFY(!f.tv()->isDragging() && !f.tv()->DropHighlight() && !QApplication::overrideCursor());
    }

    // Does `open`; notes the entries of the menu it brings up, then clicks entry `choose` or
    // closes the menu.
    static QStringList withMenu(const std::function<void()> &open, int choose = -1)
    {
        QStringList seen;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            if (!menu)
                return;
            poll.stop();
            for (QAction *a : menu->actions())
                seen << a->text();
            if (choose < 0)
                QTest::keyClick(menu, Qt::Key_Escape);
            else
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(menu->actions().at(choose)).center());
        });
        poll.start(0);
        open();
        return seen;
    }

private Q_SLOTS:
    void dropsAskThenMoveTheWholeSubTree()
    {
        MainHarness f;
        f.show();
        TaskNode *a = f.task(f.root(), QStringLiteral("A"), TaskStatus::Done, {QStringLiteral("/a & b.txt")});
        TaskNode *b = f.task(f.root(), QStringLiteral("B")), *c = f.task(f.root(), QStringLiteral("C"));
        f.task(a, QStringLiteral("A1"), TaskStatus::Rejected);
        TaskNode *a2 = f.task(a, QStringLiteral("A2")), *a21 = f.task(a2, QStringLiteral("A21"));
        const QString created = f.creationOrder();
        // On itself or on its own parent: silence; the top node never moves.
        drag(f, a2, a2);
        drag(f, a2, a);
        drag(f, f.root(), c);
        QVERIFY(f.prompts().messages.isEmpty());
        // No keeps the tree; onto its own grandchild: asked, then refused, the tree unchanged.
        f.prompts().answers = {MsgAnswer::No};
        // A task of megabytes is named by its first lines, so that the question stays readable.
        f.tree().setText(b, QStringLiteral("B\r\n").repeated(1000000));
        drag(f, b, c);
        QCOMPARE(f.prompts().lastText(),
                 question("B\r\nB\r\nB\r\nB\r\nB\r\nB\r\nB\r\nB\r\nB\r\nB\u2026", QStringLiteral("C")));
        f.tree().setText(b, QStringLiteral("B"));
        drag(f, a, a21);
        QCOMPARE(f.prompts().messages.size(), 3);
        QCOMPARE(f.prompts().messages[1].text, question("A", QStringLiteral("A21")));
        QCOMPARE(f.lastMessage(), QStringLiteral("Так перемещать нельзя. [OkCritical]"));
        QCOMPARE(f.creationOrder(), created);
        QCOMPARE(MainHarness::childTexts(f.root()), QStringLiteral("A|B|C"));

        drag(f, a, c);
        QCOMPARE(f.lastMessage(), question("A", QStringLiteral("C")) + QStringLiteral(" [YesNoQuestion]"));
        QCOMPARE(a->parent(), c);
        QCOMPARE(MainHarness::childTexts(a), QStringLiteral("A1|A2"));
        QCOMPARE(a21->parent(), a2);
        QCOMPARE(a->imageKey() + a->info()->RelatedDocuments().join(QString()), QStringLiteral("Done/a & b.txt"));
        QCOMPARE(f.creationOrder(), created); // re-parenting keeps every place in creation order
        // The top node takes it back as a top-level task.
        drag(f, a2, f.root());
        QCOMPARE(f.prompts().lastText(), question("A2", QStringLiteral("Задачи")));
        QCOMPARE(a2->parent(), f.root());
    }

    // Escape during a drag cancels only the drag: letting go over the target does nothing. A
    // candidate removed from the keyboard is forgotten: no drag starts from it. With no drag
    // running, Escape is the window's again.
    void escapeOrARemovalEndsOnlyTheDrag()
    {
        MainHarness f;
        f.show();
        TaskNode *b = f.task(f.root(), QStringLiteral("B")), *c = f.task(f.root(), QStringLiteral("C"));
        f.drag(b, c, false);
        QCOMPARE(f.tv()->DropHighlight(), c);
        QVERIFY(QApplication::overrideCursor());
        f.key(Qt::Key_Escape);
        QVERIFY(f.window->isVisible());
        QVERIFY(!QApplication::overrideCursor());
        QTest::mouseMove(f.viewport(), f.pointOf(c) + QPoint(2, 0));
        QTest::mouseRelease(f.viewport(), Qt::LeftButton, {}, f.pointOf(c));
        QVERIFY(f.prompts().messages.isEmpty());
        QCOMPARE(b->parent(), f.root());
        QVERIFY(!f.tv()->isDragging() && !f.tv()->DropHighlight());

        QTest::mouseClick(f.viewport(), Qt::LeftButton, {}, f.pointOf(b));
        f.key(Qt::Key_Delete);
        QMouseEvent move(QEvent::MouseMove, f.pointOf(c), f.viewport()->mapToGlobal(f.pointOf(c)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(f.viewport(), &move);
        QVERIFY(!f.tv()->isDragging());
        // With no drag running, Escape is the window's again.
        f.key(Qt::Key_Escape);
        QVERIFY(!f.window->isVisible());
    }

    // A drop that puts the deepest task exactly at the nesting limit is allowed; one more is refused.
    void dropsUpToTheNestingLimit()
    {
        MainHarness f(sampleTasks());
        f.show();
        TaskNode *bottom = f.task(f.root(), QStringLiteral("уровень"));
        while (bottom->depth() < kMaxTaskDepth - 1)
            bottom = f.task(bottom, QStringLiteral("уровень"));
        TaskNode *leaf = f.task(f.root(), QStringLiteral("лист"));
        TaskNode *pair = f.task(f.root(), QStringLiteral("пара"));
        f.task(pair, QStringLiteral("под"));
        QPoint end;
        for (TaskNode *dragged : {pair, leaf}) {
            // The target lies far to the right and below: it is brought into view mid-drag.
            QTest::mousePress(f.viewport(), Qt::LeftButton, {}, f.pointOf(dragged));
            // The column widens once the deep rows are painted; then scroll sideways to the row.
            QScrollBar *across = f.tv()->horizontalScrollBar();
            f.pointOf(bottom);
            QTRY_VERIFY(across->maximum() > 0);
            across->setValue(f.pointOf(bottom).x() - 20);
            const QRect r = f.tv()->visualRect(f.indexOf(bottom));
            end = QPoint(r.left() + 10, r.center().y());
            QTest::mouseMove(f.viewport(), end + QPoint(1, 0));
            QTest::mouseMove(f.viewport(), end);
            QTest::mouseRelease(f.viewport(), Qt::LeftButton, {}, end);
        }
        QCOMPARE(pair->parent(), f.root());
        QVERIFY(f.prompts().errorDetails.value(0).contains(QString::number(kMaxTaskDepth)));
        QCOMPARE(leaf->parent(), bottom);
        QCOMPARE(leaf->depth(), kMaxTaskDepth);
    }

    // What the keys act on is always the row the user sees selected: a collapse moves the
    // selection up to the closed task, no click clears it, and the keys move it with the focus.
    void selectionStaysOnAVisibleRow()
    {
        MainHarness f;
        f.show();
        TaskNode *a = f.task(f.root(), QStringLiteral("A")), *b = f.task(f.root(), QStringLiteral("B"));
        TaskNode *a1 = f.task(a, QStringLiteral("A1"));
        const struct {
            TaskNode *selected;
            std::function<void()> act;
            TaskNode *expected;
        } cases[] = {
            {a1, [&] { QTest::mouseClick(f.viewport(), Qt::LeftButton, {}, f.pointOf(a) - QPoint(20, 0)); }, a},
            {b, [&] { QTest::mouseClick(f.viewport(), Qt::LeftButton, Qt::ControlModifier, f.pointOf(b)); }, b},
            {b, [&] { QTest::mouseClick(f.viewport(), Qt::LeftButton, {}, f.viewport()->rect().bottomLeft()); }, b},
            {a, [&] { f.key(Qt::Key_End, Qt::ControlModifier); }, b},
        };
        for (const auto &c : cases) {
            f.select(c.selected);
            c.act();
            QCOMPARE(f.tree().selected(), c.expected);
            QVERIFY(f.shown(c.expected));
            QCOMPARE(f.tv()->selectionModel()->selectedRows(), QModelIndexList {f.indexOf(c.expected)});
        }
        f.key(Qt::Key_Delete);
        QCOMPARE(MainHarness::childTexts(f.root()), QStringLiteral("A"));
        QCOMPARE(a->childCount(), 1);
    }

    // A task dropped on a childless task that is stored as open shows under it: the view
    // opens the target as the stored flag says.
    void aDropOnAnOpenLeafShowsTheTask()
    {
        MainHarness f(QByteArrayLiteral("<Tasks><Task Name=\"target\" Expanded=\"True\"/><Task Name=\"mover\"/>"
                                        "</Tasks>"));
        f.show();
        TaskNode *target = f.root()->child(0), *mover = f.root()->child(1);
        drag(f, mover, target);
        QCOMPARE(mover->parent(), target);
        QVERIFY(target->isExpanded() && f.tv()->isExpanded(f.indexOf(target)));
        QVERIFY(f.shown(mover));
    }

    // A left press on empty space or on the top node, or a move with both buttons held, drags
    // nothing: the selection does not follow the pointer over other tasks.
    void onlyADraggedTaskFollowsThePointer()
    {
        MainHarness f;
        f.show();
        TaskNode *a = f.task(f.root(), QStringLiteral("A")), *b = f.task(f.root(), QStringLiteral("B"));
        const QPoint emptySpace(f.pointOf(b).x(), f.viewport()->height() - 4);
        const struct {
            const char *name;
            QPoint press;
            bool bothButtons;
        } rows[] = {
            {"empty space", emptySpace, false},
            {"top node", f.pointOf(f.root()), false},
            {"both buttons", f.pointOf(a), true},
        };
        for (const auto &row : rows) {
            f.select(a);
            QTest::mousePress(f.viewport(), Qt::LeftButton, {}, row.press);
            if (row.bothButtons)
                QTest::mousePress(f.viewport(), Qt::RightButton, {}, row.press);
            TaskNode *pressed = f.tree().selected();
            QTest::mouseMove(f.viewport(), f.pointOf(b));
            QTest::mouseMove(f.viewport(), f.pointOf(b) + QPoint(2, 1));
            if (row.bothButtons)
                QTest::mouseRelease(f.viewport(), Qt::RightButton, {}, f.pointOf(b));
            QTest::mouseRelease(f.viewport(), Qt::LeftButton, {}, f.pointOf(b));
            QVERIFY2(f.tree().selected() == pressed && !f.tv()->isDragging(), row.name);
            QCOMPARE(MainHarness::childTexts(f.root()), QStringLiteral("A|B"));
        }
    }

    void menuOfTheSelectedTasksDocuments()
    {
        MainHarness f;
        f.show();
        const QString ampersands = QStringLiteral("/home/Tom & Jerry/a&&b.txt");
        const QString missing = QStringLiteral("/nowhere/Отчёт.doc");
        TaskNode *three = f.task(f.root(), QStringLiteral("three"), TaskStatus::Progress,
                                 {ampersands, QStringLiteral("https://example.org/?a=1&b=2"), missing});
        TaskNode *one = f.task(f.root(), QStringLiteral("one"), TaskStatus::Progress, {QStringLiteral("/only")});
        TaskNode *bare = f.task(f.root(), QStringLiteral("bare"));
        f.fakes.opener.failing.insert(missing);
        const QString heading = QStringLiteral("Связанные документы");

        // The right button selects the task and brings up its menu; an entry opens its full text.
        const QStringList seen
            = withMenu([&] { QTest::mouseClick(f.viewport(), Qt::RightButton, {}, f.pointOf(three)); }, 1);
        QCOMPARE(seen,
                 (QStringList {heading, QStringLiteral("    /home/Tom && Jerry/a&&&&b.txt"),
                               QStringLiteral("    https://example.org/?a=1&&b=2"), QStringLiteral("    ") + missing}));
        QCOMPARE(f.tree().selected(), three);
        QCOMPARE(f.fakes.opener.opened, QStringList {ampersands});
        // Space: the same menu; a document that cannot be opened says so.
        withMenu([&] { f.key(Qt::Key_Space); }, 3);
        QCOMPARE(f.fakes.opener.opened.last(), missing);
        QCOMPARE(f.lastMessage(),
                 missing + QStringLiteral("\r\n\r\nНе удаётся открыть связанный документ. [OkCritical]"));

        // Opened again for fewer documents: only the new task's entries are left.
        QCOMPARE(withMenu([&] { QTest::mouseClick(f.viewport(), Qt::MiddleButton, {}, f.pointOf(one)); }),
                 (QStringList {heading, QStringLiteral("    /only")}));
        // No menu for the top node or a task without documents.
        for (TaskNode *none : {f.root(), bare}) {
            f.select(none);
            QVERIFY(withMenu([&] { f.key(Qt::Key_Space); }).isEmpty());
        }
        QCOMPARE(f.fakes.opener.opened.size(), 2);
    }
};

LISTRA_TEST_MAIN(TestTreeMouse)
#include "tst_treemouse.moc"
