// SPDX-License-Identifier: MIT
#include "tests/main/MainHarness.h"

#include <QComboBox>

// The status filter above the tree and the cues inside it: the paperclip and the sub-task counter.
namespace {

// Задачи
//   A (in progress): A1 (done), A2 (in progress)
//   B (done): B1 (rejected)
//   C (rejected)
//   D (done)
struct FilterScene {
    MainHarness h;
    TaskNode *a, *a1, *a2, *b, *b1, *c, *d;

    explicit FilterScene(const char *option = "Show Filter")
    {
        programSettings()->setValue(QLatin1String(option), true);
        h.show();
        a = h.task(h.root(), QStringLiteral("A"));
        a1 = h.task(a, QStringLiteral("A1"), TaskStatus::Done);
        a2 = h.task(a, QStringLiteral("A2"));
        b = h.task(h.root(), QStringLiteral("B"), TaskStatus::Done);
        b1 = h.task(b, QStringLiteral("B1"), TaskStatus::Rejected);
        c = h.task(h.root(), QStringLiteral("C"), TaskStatus::Rejected, {QStringLiteral("/tmp/c.txt")});
        d = h.task(h.root(), QStringLiteral("D"), TaskStatus::Done);
        for (TaskNode *n : {a, b})
            h.tree().setExpanded(n, true);
        h.select(h.root());
        h.tree().setModified(false);
        h.tv()->setFocus();
    }

    QComboBox *filter() { return h.window->cboFilter(); }

    // Chooses the filter's entry as a user does, with the keys on the box.
    void choose(int entry)
    {
        QTest::keyClick(filter(), Qt::Key_Home);
        for (int i = 0; i < entry; ++i)
            QTest::keyClick(filter(), Qt::Key_Down);
        QCOMPARE(filter()->currentIndex(), entry);
    }

    // The labels of the rows the view lays out, top to bottom, the selected one after a '*'.
    QString rows()
    {
        QStringList texts;
        for (QModelIndex i = h.tv()->model()->index(0, 0); i.isValid(); i = h.tv()->indexBelow(i)) {
            texts << (h.tv()->currentIndex() == i ? QStringLiteral("*") : QString()) + i.data().toString();
        }
        return texts.join(QLatin1Char(' '));
    }
};

} // namespace

class TreeFilterTest : public TestCase
{
    Q_OBJECT
private Q_SLOTS:
    void filterShowsMatchesWithTheirAncestors_data()
    {
        QTest::addColumn<int>("entry");
        QTest::addColumn<QString>("rows");
        QTest::newRow("Все") << 0 << QStringLiteral("*Задачи A A1 A2 B B1 C D");
        QTest::newRow("Выполненые") << 1 << QStringLiteral("*Задачи A A1 B D");
        QTest::newRow("В работе") << 2 << QStringLiteral("*Задачи A A2");
        QTest::newRow("Отклонённые") << 3 << QStringLiteral("*Задачи B B1 C");
    }

    void filterShowsMatchesWithTheirAncestors()
    {
        QFETCH(int, entry);
        QFETCH(QString, rows);
        FilterScene s;
        QVERIFY(s.filter()->isVisible());
        s.choose(entry);
        QCOMPARE(s.rows(), rows);
        QVERIFY(!s.h.tree().isModified());
    }

    void filterHiddenByDefaultShowsEverything()
    {
        FilterScene s("Show Sub Task Counter");
        QVERIFY(!s.filter()->isVisible());
        QCOMPARE(s.h.tv()->pos(), QPoint(0, 0)); // the hidden row takes no room
        QCOMPARE(s.rows(), QStringLiteral("*Задачи (3/7) A (1/2) A1 A2 B (0/1) B1 C D"));
    }

    // Marking, undoing, adding, removing, moving and dropping under a filter keep the rows
    // right and the selection on a shown row.
    void filterFollowsChanges()
    {
        FilterScene s;
        s.choose(2);
        s.h.select(s.a2);
        s.h.key(Qt::Key_1, Qt::AltModifier); // A2 done: it goes, A stays for its own status
        QCOMPARE(s.rows(), QStringLiteral("Задачи *A"));
        QCOMPARE(s.h.tree().selected(), s.a);
        s.h.key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(s.rows(), QStringLiteral("Задачи A *A2"));

        s.h.fakes.editors.acceptWith(QStringLiteral("A3"));
        s.h.key(Qt::Key_Insert);
        QCOMPARE(s.rows(), QStringLiteral("Задачи A A2 *A3"));
        s.h.key(Qt::Key_Delete);
        QCOMPARE(s.rows(), QStringLiteral("Задачи A *A2"));

        // Marking A's sub-tree rejected empties the filter down to the top node.
        s.h.select(s.a);
        s.h.key(Qt::Key_3, Qt::AltModifier);
        QCOMPARE(s.rows(), QStringLiteral("*Задачи"));
        s.h.key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(s.rows(), QStringLiteral("Задачи *A A2"));

        // Moves pass the hidden tasks: they swap the task with the next one shown.
        s.choose(1);
        s.h.select(s.d);
        s.h.key(Qt::Key_Up, Qt::ControlModifier);
        QCOMPARE(s.rows(), QStringLiteral("Задачи A A1 *D B"));
        QCOMPARE(MainHarness::childTexts(s.h.root()), QStringLiteral("A|D|B|C"));
        s.h.key(Qt::Key_Up, Qt::ControlModifier);
        QCOMPARE(s.rows(), QStringLiteral("Задачи *D A A1 B"));
        s.h.key(Qt::Key_Z, Qt::ControlModifier);
        s.h.key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(MainHarness::childTexts(s.h.root()), QStringLiteral("A|B|C|D"));
        QCOMPARE(s.rows(), QStringLiteral("Задачи A A1 B *D"));
        // A1 dropped on B takes the last done task from under A, which goes too.
        s.h.drag(s.a1, s.b);
        QCOMPARE(s.rows(), QStringLiteral("Задачи B *A1 D"));
        s.h.key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(s.rows(), QStringLiteral("Задачи A *A1 B D"));
        s.choose(2);
        s.h.select(s.a);
        s.h.key(Qt::Key_Down, Qt::ControlModifier); // nothing shown below it
        QCOMPARE(MainHarness::childTexts(s.h.root()), QStringLiteral("A|B|C|D"));

        // A new task the filter would hide shows every task again.
        s.choose(1);
        s.h.select(s.b);
        s.h.fakes.editors.acceptWith(QStringLiteral("E"));
        s.h.key(Qt::Key_Insert, Qt::ControlModifier);
        QCOMPARE(s.filter()->currentIndex(), 0);
        QCOMPARE(s.rows(), QStringLiteral("Задачи A A1 A2 B B1 *E C D"));
    }

    void searchRevealsAHiddenMatch()
    {
        FilterScene s;
        s.choose(1);
        s.h.fakes.prompts.inputAnswers.push_back(QStringLiteral("b1"));
        s.h.key(Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(s.filter()->currentIndex(), 0);
        QCOMPARE(s.h.tree().selected(), s.b1);
        QCOMPARE(s.rows(), QStringLiteral("Задачи A A1 A2 B *B1 C D"));
    }

    void counterFollowsMarkAndUndo()
    {
        FilterScene s("Show Sub Task Counter");
        const auto label = [&](TaskNode *n) { return s.h.indexOf(n).data().toString(); };
        s.h.select(s.a);
        s.h.key(Qt::Key_1, Qt::AltModifier); // and its sub-tasks: the fakes answer Yes
        QCOMPARE(label(s.a), QStringLiteral("A (2/2)"));
        QCOMPARE(label(s.h.root()), QStringLiteral("Задачи (5/7)"));
        s.h.key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(label(s.a), QStringLiteral("A (1/2)"));
        QCOMPARE(label(s.h.root()), QStringLiteral("Задачи (3/7)"));
        s.h.select(s.b1);
        s.h.key(Qt::Key_Delete);
        QCOMPARE(label(s.b), QStringLiteral("B"));
        QCOMPARE(label(s.h.root()), QStringLiteral("Задачи (3/6)"));
    }

    // The paperclip is drawn right after the text of a task with documents, and only there.
    void paperclipMarksTasksWithDocuments()
    {
        FilterScene s;
        QCoreApplication::processEvents();
        const QImage image = s.h.viewport()->grab().toImage();
        const QColor base = s.h.tv()->palette().color(QPalette::Base);
        // Pixels unlike the background in a strip of the row, counted from the row's end.
        const auto ink = [&](TaskNode *n, int from, int to) {
            const QModelIndex i = s.h.indexOf(n);
            const QRect row = s.h.tv()->visualRect(i);
            const int end = row.left() + s.h.tv()->sizeHintForIndex(i).width();
            int count = 0;
            for (int x = end + from; x < end + to; ++x)
                for (int y = row.top(); y <= row.bottom(); ++y)
                    count += qAbs(QColor(image.pixel(x, y)).lightness() - base.lightness()) > 40;
            return count;
        };
        QVERIFY(s.h.tv()->sizeHintForIndex(s.h.indexOf(s.c)).width()
                > s.h.tv()->sizeHintForIndex(s.h.indexOf(s.b)).width() + 12);
        QVERIFY(ink(s.c, -16, 0) > 8);
        QCOMPARE(ink(s.b, 0, 20), 0);
    }
};

LISTRA_TEST_MAIN(TreeFilterTest)
#include "tst_treefilter.moc"
