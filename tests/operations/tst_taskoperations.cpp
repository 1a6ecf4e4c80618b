#include "tests/operations/MainWindowFixture.h"

#include "ui/main/TaskOperations.h"

namespace {
const QString kCantEdit = QStringLiteral("Это править нельзя.");
const QString kCantRemove = QStringLiteral("Это удалить нельзя.");
const QString kAskRemove = QStringLiteral("Удалить задачу и все её подзадачи?");
const QString kNoStatus = QStringLiteral("Статус этого не устанавливается.");
const QString kAskMark = QStringLiteral("Пометить также и подзадачи?");
} // namespace

class TestTaskOperations : public TestCase
{
    Q_OBJECT
private Q_SLOTS:
    void addingBesideAndBelow()
    {
        MainWindowFixture f;
        f.settings.UseBackColor = true;
        auto &editors = f.fakes.editors;

        // Ctrl+Ins on the top node still makes a sub-task of it.
        editors.acceptWith(QStringLiteral("  Первая\r\nстрока  "), {QStringLiteral("/a.txt"), QStringLiteral("/a.txt")});
        f.key(Qt::Key_Insert, Qt::ControlModifier);
        QCOMPARE(editors.captions, QStringList{QStringLiteral("Новая подзадача")});
        QCOMPARE(editors.filledTexts, QStringList{QString()});
        QCOMPARE(f.root()->childCount(), 1);
        TaskNode *first = f.root()->child(0);
        QCOMPARE(first->text(), QStringLiteral("  Первая\r\nстрока  "));
        QCOMPARE(first->info()->RelatedDocuments(), (QStringList{QStringLiteral("/a.txt"), QStringLiteral("/a.txt")}));
        QCOMPARE(first->imageKey(), QStringLiteral("Progress"));
        QCOMPARE(first->foreColor(), f.settings.ProgressTasksColor);
        QCOMPARE(first->backColor(), f.settings.ProgressTasksBackColor);
        QCOMPARE(f.tree().selected(), first);
        QVERIFY(first->isExpanded());
        QVERIFY(f.shown(first));

        // Ins on a task: its last child.
        editors.acceptWith(QStringLiteral("child 1"));
        f.key(Qt::Key_Insert);
        f.select(first);
        editors.acceptWith(QStringLiteral("child 2"));
        f.key(Qt::Key_Insert);
        QCOMPARE(MainWindowFixture::childTexts(first), (QStringList{QStringLiteral("child 1"), QStringLiteral("child 2")}));
        QCOMPARE(editors.captions.last(), QStringLiteral("Новая подзадача"));

        // Ctrl+Ins on a task: directly after it, before the siblings that follow.
        f.select(first->child(0));
        editors.acceptWith(QStringLiteral("between"));
        f.key(Qt::Key_Insert, Qt::ControlModifier);
        QCOMPARE(editors.captions.last(), QStringLiteral("Новая задача"));
        QCOMPARE(MainWindowFixture::childTexts(first),
                 (QStringList{QStringLiteral("child 1"), QStringLiteral("between"), QStringLiteral("child 2")}));
        QCOMPARE(f.tree().selected()->text(), QStringLiteral("between"));
        // A new task comes last in creation order whatever its place on screen.
        QCOMPARE(f.creationOrder().last(), QStringLiteral("between"));

        // Cancel creates nothing and keeps the selection.
        TaskNode *selected = f.tree().selected();
        const int count = f.tree().count();
        editors.cancel();
        f.key(Qt::Key_Insert);
        editors.cancel();
        f.key(Qt::Key_Insert, Qt::ControlModifier);
        QCOMPARE(f.tree().count(), count);
        QCOMPARE(f.tree().selected(), selected);
        QVERIFY(f.prompts().messages.isEmpty());
    }

    void editingReplacesTextAndDocumentsOnly()
    {
        MainWindowFixture f;
        TaskNode *task = f.task(f.root(), QStringLiteral("old"), TaskStatus::Done,
                                {QStringLiteral("/one"), QStringLiteral("/two")});
        f.task(task, QStringLiteral("sub"));
        f.tree().setExpanded(task, false);
        const OleColor fore = task->foreColor();

        f.select(f.root());
        f.key(Qt::Key_F3);
        QCOMPARE(f.prompts().lastText(), kCantEdit);
        QCOMPARE(f.prompts().messages.last().style, 16);
        QVERIFY(f.fakes.editors.captions.isEmpty());

        f.select(task);
        f.fakes.editors.cancel();
        f.key(Qt::Key_F3);
        QCOMPARE(f.fakes.editors.captions.last(), QStringLiteral("Редактирование задачи"));
        QCOMPARE(f.fakes.editors.filledTexts.last(), QStringLiteral("old"));
        QCOMPARE(f.fakes.editors.filledDocuments.last(), (QStringList{QStringLiteral("/one"), QStringLiteral("/two")}));
        QCOMPARE(task->text(), QStringLiteral("old"));
        QCOMPARE(task->info()->RelatedDocuments().size(), 2);

        // Removing every document in the editor leaves none.
        f.fakes.editors.acceptWith(QStringLiteral("new\ntext "), {});
        f.key(Qt::Key_F3);
        QCOMPARE(task->text(), QStringLiteral("new\ntext "));
        QVERIFY(task->info()->RelatedDocuments().isEmpty());
        QCOMPARE(task->imageKey(), QStringLiteral("Done"));
        QCOMPARE(task->foreColor(), fore);
        QVERIFY(!task->isExpanded());
        QCOMPARE(task->parent(), f.root());
        QCOMPARE(task->childCount(), 1);
    }

    void removingMovesTheSelectionSensibly()
    {
        MainWindowFixture f;
        TaskNode *a = f.task(f.root(), QStringLiteral("A"));
        TaskNode *b = f.task(f.root(), QStringLiteral("B"));
        TaskNode *c = f.task(f.root(), QStringLiteral("C"));
        TaskNode *b1 = f.task(b, QStringLiteral("B1"));
        f.task(b1, QStringLiteral("B11"));
        TaskNode *c1 = f.task(c, QStringLiteral("C1"));
        // Many rows, so the node that gets the selection may lie outside the viewport.
        for (int i = 0; i < 200; ++i)
            f.task(a, QStringLiteral("filler %1").arg(i));
        f.tree().setExpanded(a, true);

        f.select(f.root());
        f.key(Qt::Key_Delete);
        QCOMPARE(f.prompts().lastText(), kCantRemove);
        QCOMPARE(f.prompts().messages.last().style, 16);

        // No keeps everything.
        f.select(b);
        f.prompts().answers = {MsgAnswer::No};
        f.key(Qt::Key_Delete);
        QCOMPARE(f.prompts().lastText(), kAskRemove);
        QCOMPARE(f.prompts().messages.last().style, 36);
        QCOMPARE(f.root()->childCount(), 3);

        // A middle task goes with its sub-tree; its next sibling is selected.
        const int before = f.tree().count();
        f.key(Qt::Key_Delete);
        QCOMPARE(f.tree().count(), before - 3);
        QCOMPARE(MainWindowFixture::childTexts(f.root()), (QStringList{QStringLiteral("A"), QStringLiteral("C")}));
        QCOMPARE(f.tree().selected(), c);
        QVERIFY(f.shown(c));
        QVERIFY(!f.creationOrder().contains(QStringLiteral("B11")));

        // An only child: its parent. The last child: its previous sibling, brought into view.
        f.select(c1);
        f.key(Qt::Key_Delete);
        QCOMPARE(f.tree().selected(), c);
        f.tvTasks()->scrollToBottom();
        f.key(Qt::Key_Delete);
        QCOMPARE(f.tree().selected(), a);
        QVERIFY(f.shown(a));
    }

    void statusesAndMarkingSubTasks()
    {
        MainWindowFixture f;
        f.settings.UseBackColor = true;
        // Two branches with identical texts: marking one must never reach the other.
        TaskNode *x = f.task(f.root(), QStringLiteral("X"));
        TaskNode *xy = f.task(x, QStringLiteral("Y"), TaskStatus::Rejected);
        TaskNode *xyz = f.task(xy, QStringLiteral("Z"));
        TaskNode *x2 = f.task(f.root(), QStringLiteral("X"));
        TaskNode *x2y = f.task(x2, QStringLiteral("Y"));
        TaskNode *x2yz = f.task(x2y, QStringLiteral("Z"));
        TaskNode *leaf = f.task(f.root(), QStringLiteral("leaf"));

        f.select(f.root());
        f.key(Qt::Key_1, Qt::AltModifier);
        QCOMPARE(f.prompts().lastText(), kNoStatus);
        QCOMPARE(f.prompts().messages.last().style, 16);
        f.window->ExecuteCommand(QStringLiteral("SetItemStatus"));
        QCOMPARE(f.prompts().messages.size(), 2);
        QCOMPARE(f.prompts().lastText(), kNoStatus);

        f.select(x);
        f.key(Qt::Key_1, Qt::AltModifier); // Yes by default
        QCOMPARE(f.prompts().lastText(), kAskMark);
        QCOMPARE(f.prompts().messages.last().style, 36);
        for (TaskNode *n : {x, xy, xyz}) {
            QCOMPARE(n->imageKey(), QStringLiteral("Done"));
            QCOMPARE(n->foreColor(), f.settings.DoneTasksColor);
            QCOMPARE(n->backColor(), f.settings.DoneTasksBackColor);
        }
        for (TaskNode *n : {x2, x2y, x2yz})
            QCOMPARE(n->imageKey(), QStringLiteral("Progress"));

        // The same status again asks nothing, however the sub-tasks look.
        const int asked = f.prompts().messages.size();
        f.select(xy);
        f.key(Qt::Key_2, Qt::AltModifier);
        f.prompts().answers = {MsgAnswer::No};
        f.select(x);
        f.key(Qt::Key_1, Qt::AltModifier);
        QCOMPARE(f.prompts().messages.size(), asked + 1);

        // No: only the task itself.
        f.select(x2);
        f.prompts().answers = {MsgAnswer::No};
        f.key(Qt::Key_3, Qt::AltModifier);
        QCOMPARE(x2->imageKey(), QStringLiteral("Rejected"));
        QCOMPARE(x2->backColor(), f.settings.RejectedTasksBackColor);
        QCOMPARE(x2y->imageKey(), QStringLiteral("Progress"));

        // Never asked with the setting on.
        f.settings.DontMarkSubTasks = true;
        const int asked2 = f.prompts().messages.size();
        f.key(Qt::Key_1, Qt::AltModifier);
        QCOMPARE(x2->imageKey(), QStringLiteral("Done"));
        QCOMPARE(x2y->imageKey(), QStringLiteral("Progress"));
        QCOMPARE(f.prompts().messages.size(), asked2);

        // The cycle: Progress, Done, Rejected, Progress; a leaf asks nothing.
        f.select(leaf);
        QStringList seen;
        for (int i = 0; i < 3; ++i) {
            f.window->ExecuteCommand(QStringLiteral("SetItemStatus"));
            seen << leaf->imageKey();
        }
        QCOMPARE(seen, (QStringList{QStringLiteral("Done"), QStringLiteral("Rejected"), QStringLiteral("Progress")}));
        QCOMPARE(f.prompts().messages.size(), asked2);

        // Modifiers must match exactly.
        f.key(Qt::Key_1, Qt::AltModifier | Qt::ShiftModifier);
        QCOMPARE(leaf->imageKey(), QStringLiteral("Progress"));
    }

    void markingDeepSubTreeReachesEveryLevel()
    {
        MainWindowFixture f;
        TaskNode *top = f.task(f.root(), QStringLiteral("top"));
        TaskNode *n = top;
        QList<TaskNode *> chain;
        for (int i = 0; i < 2000; ++i) {
            n = f.task(n, QStringLiteral("level"));
            chain << n;
            f.task(n, QStringLiteral("leaf"), TaskStatus::Rejected);
        }
        f.select(top);
        f.key(Qt::Key_3, Qt::AltModifier);
        for (TaskNode *c : std::as_const(chain)) {
            QCOMPARE(c->imageKey(), QStringLiteral("Rejected"));
            QCOMPARE(c->foreColor(), f.settings.RejectedTasksColor);
        }
        QCOMPARE(chain.last()->child(0)->imageKey(), QStringLiteral("Rejected"));
    }

    void movingAmongSiblings()
    {
        MainWindowFixture f;
        f.settings.UseBackColor = true;
        TaskNode *a = f.task(f.root(), QStringLiteral("A"));
        TaskNode *b = f.task(f.root(), QStringLiteral("B"), TaskStatus::Rejected, {QStringLiteral("/doc")});
        TaskNode *c = f.task(f.root(), QStringLiteral("C"));
        TaskNode *b1 = f.task(b, QStringLiteral("B1"), TaskStatus::Done);
        f.task(b, QStringLiteral("B2"));
        f.task(b, QStringLiteral("B3"));
        f.task(b1, QStringLiteral("B11"));
        f.tree().setExpanded(b, true);
        f.tree().setExpanded(b1, false);

        f.select(b);
        f.key(Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(MainWindowFixture::childTexts(f.root()),
                 (QStringList{QStringLiteral("A"), QStringLiteral("C"), QStringLiteral("B")}));
        QCOMPARE(MainWindowFixture::childTexts(b),
                 (QStringList{QStringLiteral("B1"), QStringLiteral("B2"), QStringLiteral("B3")}));
        QCOMPARE(b1->childCount(), 1);
        QCOMPARE(b->imageKey(), QStringLiteral("Rejected"));
        QCOMPARE(b->foreColor(), f.settings.RejectedTasksColor);
        QCOMPARE(b->backColor(), f.settings.RejectedTasksBackColor);
        QCOMPARE(b->info()->RelatedDocuments(), QStringList{QStringLiteral("/doc")});
        QVERIFY(b->isExpanded());
        QVERIFY(f.tvTasks()->isExpanded(f.tvTasks()->taskModel()->indexOf(b)));
        QVERIFY(!b1->isExpanded());
        QCOMPARE(f.tree().selected(), b);
        QVERIFY(f.tvTasks()->currentIndex() == f.tvTasks()->taskModel()->indexOf(b));
        QVERIFY(f.shown(b));
        // The moved task now counts as the newest one; its sub-tasks keep their places.
        QCOMPARE(f.creationOrder(), (QStringList{QStringLiteral("A"), QStringLiteral("C"), QStringLiteral("B1"),
                                                 QStringLiteral("B2"), QStringLiteral("B3"), QStringLiteral("B11"),
                                                 QStringLiteral("B")}));

        // At the end of the list nothing moves and nothing is said.
        f.key(Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(MainWindowFixture::childTexts(f.root()).last(), QStringLiteral("B"));
        f.key(Qt::Key_Up, Qt::ControlModifier);
        f.key(Qt::Key_Up, Qt::ControlModifier);
        QCOMPARE(MainWindowFixture::childTexts(f.root()),
                 (QStringList{QStringLiteral("B"), QStringLiteral("A"), QStringLiteral("C")}));
        f.key(Qt::Key_Up, Qt::ControlModifier);
        QCOMPARE(f.root()->child(0), b);
        QCOMPARE(b->parent(), f.root());
        f.select(f.root());
        f.key(Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(f.root()->child(0), b);
        QVERIFY(f.prompts().messages.isEmpty());

        // Ctrl+Up is the tree's key: with the focus elsewhere it moves nothing.
        f.select(c);
        QWidget *other = new QWidget(f.window.get());
        other->setFocusPolicy(Qt::StrongFocus);
        other->show();
        other->setFocus();
        QTest::keyClick(other, Qt::Key_Up, Qt::ControlModifier);
        QCOMPARE(MainWindowFixture::childTexts(f.root()).last(), QStringLiteral("C"));
        Q_UNUSED(a);
    }

    void recolouringFollowsTheSettings()
    {
        MainWindowFixture f;
        TaskNode *done = f.task(f.root(), QStringLiteral("done"), TaskStatus::Done);
        TaskNode *rejected = f.task(done, QStringLiteral("rejected"), TaskStatus::Rejected);
        const OleColor rootFore = f.root()->foreColor();
        QCOMPARE(done->backColor(), kSystemWindowBackground);

        f.settings.UseBackColor = true;
        f.settings.DoneTasksColor = 0x123456;
        f.settings.RejectedTasksBackColor = 0x654321;
        f.settings.FullRowSelect = true;
        f.window->operations().RecolorAll();
        QCOMPARE(done->foreColor(), OleColor(0x123456));
        QCOMPARE(done->backColor(), f.settings.DoneTasksBackColor);
        QCOMPARE(rejected->backColor(), OleColor(0x654321));
        QCOMPARE(f.root()->foreColor(), rootFore);
        QVERIFY(f.tvTasks()->fullRowSelect());
        // What the view is given to paint follows too.
        const QModelIndex index = f.tvTasks()->taskModel()->indexOf(rejected);
        QVERIFY(index.data(Qt::BackgroundRole).isValid());

        f.settings.UseBackColor = false;
        f.settings.FullRowSelect = false;
        f.window->operations().RecolorAll();
        QCOMPARE(rejected->backColor(), kSystemWindowBackground);
        QVERIFY(!f.tvTasks()->fullRowSelect());
    }

    void nothingSelected()
    {
        MainWindowFixture f;
        TaskNode *a = f.task(f.root(), QStringLiteral("A"));
        f.tree().setSelected(nullptr);
        f.key(Qt::Key_F3);
        f.key(Qt::Key_Delete);
        f.key(Qt::Key_1, Qt::AltModifier);
        f.key(Qt::Key_Down, Qt::ControlModifier);
        QVERIFY(f.prompts().messages.isEmpty());
        QVERIFY(f.fakes.editors.captions.isEmpty());
        QCOMPARE(a->imageKey(), QStringLiteral("Progress"));
        // Adding still works: the new task goes under the top node.
        f.tree().setSelected(nullptr);
        f.fakes.editors.acceptWith(QStringLiteral("B"));
        f.key(Qt::Key_Insert, Qt::ControlModifier);
        QCOMPARE(MainWindowFixture::childTexts(f.root()), (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
        QCOMPARE(f.fakes.editors.captions.last(), QStringLiteral("Новая подзадача"));
    }
};

LISTRA_TEST_MAIN(TestTaskOperations)
#include "tst_taskoperations.moc"
