// SPDX-License-Identifier: MIT
#include "tests/main/MainHarness.h"

#include <QSignalSpy>
#include <QToolButton>

// Adding, editing, removing, marking, moving and finding tasks from the keyboard.
class TestTaskOperations : public TestCase
{
    Q_OBJECT
private Q_SLOTS:
    // The top node refuses what only tasks can have.
    void topNodeRefusesTaskCommands()
    {
        MainHarness f;
        f.show();
        QString refusals;
        for (const QKeyCombination k :
             {QKeyCombination(Qt::Key_F3), QKeyCombination(Qt::Key_Delete), Qt::ALT | Qt::Key_1}) {
            f.key(k.key(), k.keyboardModifiers());
            refusals += f.lastMessage();
        }
        QCOMPARE(refusals,
                 QStringLiteral("Это править нельзя. [OkCritical]Это удалить нельзя. [OkCritical]Статус этого не "
                                "устанавливается. [OkCritical]"));
    }

    void adding()
    {
        MainHarness f;
        f.show();
        auto &editors = f.fakes.editors;
        // Ctrl+Ins on the top node still makes a sub-task of it; the text is kept as typed.
        editors.acceptWith(QStringLiteral("  Первая\r\nстрока  "),
                           {QStringLiteral("/a.txt"), QStringLiteral("/a.txt")});
        f.key(Qt::Key_Insert, Qt::ControlModifier);
        QCOMPARE(editors.captions, QStringList {QStringLiteral("Новая подзадача")});
        TaskNode *first = f.root()->child(0);
        QCOMPARE(first->text(), QStringLiteral("  Первая\r\nстрока  "));
        // Ins: the last sub-task; Ctrl+Ins: right after the selected one; Cancel: nothing.
        TaskNode *child = f.task(first, QStringLiteral("child 1"));
        f.task(first, QStringLiteral("child 2"));
        editors.acceptWith(QStringLiteral("last"));
        f.key(Qt::Key_Insert);
        f.select(child);
        editors.acceptWith(QStringLiteral("between"));
        f.key(Qt::Key_Insert, Qt::ControlModifier);
        editors.cancel();
        f.key(Qt::Key_Insert);
        QCOMPARE(MainHarness::childTexts(first), QStringLiteral("child 1|between|child 2|last"));
        QCOMPARE(f.tree().selected()->text(), QStringLiteral("between"));
        QVERIFY(f.shown(f.tree().selected()));
    }

    // Cancel keeps everything; OK replaces the text and the documents only.
    void editing()
    {
        MainHarness f;
        f.show();
        auto &editors = f.fakes.editors;
        const QString text = QStringLiteral("  Первая\r\nстрока  ");
        TaskNode *task = f.task(f.root(), text, TaskStatus::Done, {QStringLiteral("/a.txt"), QStringLiteral("/b")});
        f.task(task, QStringLiteral("child"));
        f.select(task);
        editors.cancel();
        editors.acceptWith(QStringLiteral("new"), {});
        f.key(Qt::Key_F3);
        QCOMPARE(task->text(), text);
        f.key(Qt::Key_F3);
        QCOMPARE(editors.filledTexts.last(), text);
        QCOMPARE(editors.filledDocuments.last().size(), 2);
        QVERIFY(task->text() == QStringLiteral("new") && task->info()->RelatedDocuments().isEmpty());
        QVERIFY(task->imageKey() == QStringLiteral("Done") && !task->isExpanded() && task->childCount() == 1);
    }

    void removingMovesTheSelection()
    {
        MainHarness f;
        f.show();
        TaskNode *a = f.task(f.root(), QStringLiteral("A"));
        TaskNode *b = f.task(f.root(), QStringLiteral("B"));
        TaskNode *c = f.task(f.root(), QStringLiteral("C"));
        f.task(f.task(b, QStringLiteral("B1")), QStringLiteral("B11"));
        TaskNode *c1 = f.task(c, QStringLiteral("C1"));
        for (int i = 0; i < 200; ++i) // the next selection may lie outside the viewport
            f.task(a, QStringLiteral("filler %1").arg(i));
        f.select(a);
        f.key(Qt::Key_Plus);
        // A middle task goes with its sub-tree and its next sibling is selected; an only child
        // gives way to its parent, a last child to its previous sibling.
        f.select(b);
        const int before = f.tree().count();
        f.key(Qt::Key_Delete);
        QCOMPARE(f.lastMessage(), QStringLiteral("Удалить задачу и все её подзадачи? [YesNoQuestion]"));
        QCOMPARE(f.tree().count(), before - 3);
        QCOMPARE(f.tree().selected(), c);
        f.select(c1);
        f.key(Qt::Key_Delete);
        QCOMPARE(f.tree().selected(), c);
        f.tv()->scrollToBottom();
        f.key(Qt::Key_Delete);
        QCOMPARE(f.tree().selected(), a);
        QVERIFY(f.shown(a));
    }

    void statusesAndSubTasks()
    {
        MainHarness f;
        f.show();
        // Two branches with the same texts: marking one must never reach the other.
        TaskNode *x = f.task(f.root(), QStringLiteral("X"));
        TaskNode *xy = f.task(x, QStringLiteral("Y"), TaskStatus::Rejected);
        TaskNode *xyz = f.task(xy, QStringLiteral("Z"));
        TaskNode *x2 = f.task(f.root(), QStringLiteral("X"));
        TaskNode *x2y = f.task(x2, QStringLiteral("Y"));
        TaskNode *x2yz = f.task(x2y, QStringLiteral("Z"));
        const auto statuses = [](std::initializer_list<TaskNode *> nodes) {
            QString keys;
            for (TaskNode *n : nodes)
                keys += n->imageKey().left(1);
            return keys;
        };
        f.select(x);
        f.key(Qt::Key_1, Qt::AltModifier); // sub-tasks too: Yes
        QCOMPARE(statuses({x, xy, xyz, x2, x2y, x2yz}), QStringLiteral("DDDPPP"));

        // The same status again asks nothing, nor does any with DontMarkSubTasks on.
        f.key(Qt::Key_1, Qt::AltModifier);
        f.select(x2);
        f.settings.DontMarkSubTasks = true;
        f.key(Qt::Key_3, Qt::AltModifier);
        QCOMPARE(statuses({x2, x2y, x2yz}), QStringLiteral("RPP"));
        // The status button's own part steps on: Rejected, In progress, Done.
        QToolButton *button = f.window->statusButton();
        for (int i = 0; i < 2; ++i)
            QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(4, button->height() / 2));
        QCOMPARE(statuses({x, xy, xyz, x2, x2y, x2yz}), QStringLiteral("DDDDPP"));
        QCOMPARE(f.prompts().messages.size(), 1);
    }

    // A large sub-tree is marked, and unmarked, with one repaint and no news per row (but for
    // the task itself, marked before the question).
    void markingALargeSubTreeRepaintsOnce()
    {
        MainHarness f;
        f.show();
        TaskNode *big = f.task(f.root(), QStringLiteral("Big"));
        for (int i = 0; i < 300; ++i)
            f.task(big, QStringLiteral("part %1").arg(i));
        f.select(big);
        f.key(Qt::Key_Plus);
        TaskItemModel *model = f.tv()->taskModel();
        for (const auto &[mods, status, rowNews] : {std::tuple {Qt::AltModifier, TaskStatus::Done, 1},
                                                    std::tuple {Qt::ControlModifier, TaskStatus::Progress, 0}}) {
            QSignalSpy repaints(model, &TaskItemModel::repaintRequested);
            QSignalSpy rows(model, &QAbstractItemModel::dataChanged);
            f.key(mods == Qt::AltModifier ? Qt::Key_1 : Qt::Key_Z, mods);
            QCOMPARE(repaints.size(), 1);
            QCOMPARE(rows.size(), rowNews);
            QCOMPARE(big->lastChild()->status(), status);
            QCOMPARE(f.indexOf(big->lastChild()).data(Qt::AccessibleDescriptionRole).toString().section(u',', 0, 0),
                     QString::fromUtf8(describe(status).accessibleText));
        }
    }

    void movingAmongSiblings()
    {
        MainHarness f;
        f.show();
        f.task(f.root(), QStringLiteral("A"));
        TaskNode *b = f.task(f.root(), QStringLiteral("B"), TaskStatus::Rejected, {QStringLiteral("/doc")});
        f.task(f.root(), QStringLiteral("C"));
        TaskNode *b1 = f.task(b, QStringLiteral("B1"), TaskStatus::Done);
        f.task(b, QStringLiteral("B2"));
        f.task(b1, QStringLiteral("B11"));
        f.select(b);
        f.key(Qt::Key_Plus);
        f.key(Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(MainHarness::childTexts(f.root()), QStringLiteral("A|C|B"));
        QCOMPARE(MainHarness::childTexts(b), QStringLiteral("B1|B2"));
        QCOMPARE(b->imageKey() + b->info()->RelatedDocuments().join(QString()), QStringLiteral("Rejected/doc"));
        QVERIFY(f.tv()->isExpanded(f.indexOf(b)) && !b1->isExpanded());
        QVERIFY(f.tree().selected() == b && f.shown(b));
        // The moved task counts as the newest one; its sub-tasks keep their places.
        QCOMPARE(f.creationOrder(), QStringLiteral("A|C|B1|B2|B11|B"));
        for (int i = 0; i < 3; ++i)
            f.key(Qt::Key_Up, Qt::ControlModifier);
        QCOMPARE(MainHarness::childTexts(f.root()), QStringLiteral("B|A|C"));
    }

    void findsCaseInsensitivelyWithoutWrapping()
    {
        MainHarness f;
        f.show();
        TaskNode *caps = f.task(f.root(), QStringLiteral("БАКА"));
        TaskNode *other = f.task(f.root(), QStringLiteral("другое"));
        TaskNode *hidden = f.task(other, QStringLiteral("Бака"));
        TaskNode *mixed = f.task(f.root(), QStringLiteral("бАкА список"));
        f.select(f.root());

        // F4 with no phrase yet asks, like Ctrl+F.
        f.prompts().inputAnswers = {QStringLiteral("бака")};
        f.key(Qt::Key_F4);
        QCOMPARE(f.prompts().inputPrompts,
                 QStringList {QStringLiteral(
                     "Введите выражение или часть выражения, которое следует найти.\r\n\r\n"
                     "Учтите, что при поиске регистр символов учитываться не будет. Тоесть если вы введёте \"Бака\", "
                     "будут найдены \"БАКА\", \"бака\" и даже \"бАкА\".\r\n\r\n"
                     "Также обратите внимание, что поиск всегда ведётся со следующего элемента. Тоесть если выделенная "
                     "задача уже содержит поисковую фразу, она не будет выделена как найденая. Это удобно для "
                     "продолжения поиска, если данная задача была найдена во время предыдущего поиска. Чтобы начать "
                     "поиск с самого начала просто нажмите Home, а затем Ctrl+F.")});
        QCOMPARE(f.tree().selected(), caps);

        // F4 again: the next match without asking, its collapsed branch opened.
        f.key(Qt::Key_F4);
        QCOMPARE(f.tree().selected(), hidden);
        QVERIFY(f.shown(hidden));
        f.key(Qt::Key_F4);
        QCOMPARE(f.tree().selected(), mixed);
        QCOMPARE(f.prompts().inputPrompts.size(), 1);

        // Past the last match: a message, no wrapping round.
        f.key(Qt::Key_F4);
        QCOMPARE(f.lastMessage(), QStringLiteral("Ни чего не найдено. [OkInformation]"));
        QCOMPARE(f.tree().selected(), mixed);

        // Ctrl+F offers the last phrase; Cancel keeps it for F4.
        f.select(f.root());
        f.key(Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(f.prompts().inputDefaults.last(), QStringLiteral("бака"));
        QCOMPARE(f.tree().selected(), f.root());
        f.key(Qt::Key_F4);
        QCOMPARE(f.tree().selected(), caps);
        QCOMPARE(f.prompts().messages.size(), 1);
    }
};

LISTRA_TEST_MAIN(TestTaskOperations)
#include "tst_taskoperations.moc"
