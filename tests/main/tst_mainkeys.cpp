#include "tests/main/MainHarness.h"
#include "tests/support/TestMain.h"

#include "ui/main/RelatedDocumentsMenu.h"
#include "ui/main/TaskItemModel.h"
#include "ui/main/TaskSearch.h"
#include "ui/main/TaskTreeView.h"

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>

// The main window as the user meets it: toolbar, commands, and every key binding.
class MainKeysTest : public TestCase
{
    Q_OBJECT

private:
    static QStringList popupEntries()
    {
        QStringList texts;
        if (QWidget *popup = QApplication::activePopupWidget()) {
            for (QAction *a : popup->actions())
                texts.append(a->text());
            popup->close();
        }
        return texts;
    }

private Q_SLOTS:
    void initTestCase() { tolerateOffscreenLimits(); }

    void init()
    {
        TestCase::init();
        programSettings()->clear();
    }

    void windowIsBuiltAsDesigned()
    {
        MainHarness h(sampleTasks());
        h.loadShown();
        frmMain &w = h.w();
        QAbstractItemModelTester tester(w.tvTasks()->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);

        QCOMPARE(w.windowTitle(), QStringLiteral("Listra"));
        QCOMPARE(w.tbMain()->height(), 46);
        // Fourteen items: ten plain buttons, the status button and four separators.
        const QList<QAction *> items = w.tbMain()->actions();
        QCOMPARE(items.size(), 14);
        int separators = 0;
        QStringList tips;
        for (QAction *a : items) {
            if (a->isSeparator()) {
                ++separators;
                continue;
            }
            QWidget *button = w.tbMain()->widgetForAction(a);
            QVERIFY(button);
            auto *tb = qobject_cast<QToolButton *>(button);
            QAction *command = tb && tb->defaultAction() ? tb->defaultAction() : a;
            QVERIFY2(command->text().isEmpty(), qPrintable(command->toolTip()));
            QVERIFY(!command->icon().isNull());
            QCOMPARE(button->accessibleName(), command->toolTip());
            tips.append(command->toolTip());
        }
        QCOMPARE(separators, 4);
        QCOMPARE(tips, (QStringList{QStringLiteral("Сохранить список задач (F2)"),
                                    QStringLiteral("Добавить новую задачу (Ctrl+Ins)"),
                                    QStringLiteral("Добавить новую подзадачу (Ins)"),
                                    QStringLiteral("Править задачу (F3)"), QStringLiteral("Удалить задачу (Del)"),
                                    QStringLiteral("Переместить вниз (Ctrl+Down)"),
                                    QStringLiteral("Переместить вверх (Ctrl+Up)"),
                                    QStringLiteral("Установить статус задачи"),
                                    QStringLiteral("Настройки программы (Ctrl+O)"),
                                    QStringLiteral("Показать информацию о программе (Shift+F1)")}));

        QToolButton *status = w.statusButton();
        QCOMPARE(status->popupMode(), QToolButton::MenuButtonPopup);
        QStringList entries;
        for (QAction *a : status->menu()->actions())
            entries.append(a->text());
        QCOMPARE(entries, (QStringList{QStringLiteral("Выполнено\tAlt+1"), QStringLiteral("В работе\tAlt+2"),
                                       QStringLiteral("Отклонено\tAlt+3")}));

        // The filter box and its label exist but are never seen.
        QComboBox *filter = w.cboFilter();
        QVERIFY(!filter->isVisible());
        QCOMPARE(filter->count(), 4);
        QCOMPARE(filter->itemText(1), QStringLiteral("Выполненые"));
        QCOMPARE(filter->currentIndex(), 0);
        auto *label = w.findChild<QLabel *>(QStringLiteral("lblTag"));
        QVERIFY(label && !label->isVisible());
        QCOMPARE(label->text(), QStringLiteral("Фильтр:"));

        // The tree fills everything under the toolbar, its top node expanded.
        const QRect treeRect = w.tvTasks()->geometry();
        QCOMPARE(treeRect.top(), w.tbMain()->geometry().bottom() + 1);
        QCOMPARE(treeRect.width(), w.width());
        QCOMPARE(treeRect.bottom(), w.height() - 1);
        QVERIFY(w.tvTasks()->isExpanded(w.tvTasks()->taskModel()->indexOf(w.tree().root())));
        QCOMPARE(w.tree().selected()->text(), QStringLiteral("beta"));

        // The tray icon is there with the caption as its tooltip.
        QVERIFY(h.fakes.tray.inTrayValue);
        QCOMPARE(h.fakes.tray.toolTip, QStringLiteral("Listra"));

        // Toolbar clicks reach the commands.
        QTest::mouseClick(w.tbMain()->widgetForAction(items.last()), Qt::LeftButton);
        QCOMPARE(h.fakes.prompts.aboutShown, 1);
        QFile::remove(h.taskFile);
        QTest::mouseClick(w.tbMain()->widgetForAction(items.first()), Qt::LeftButton);
        QVERIFY(QFile::exists(h.taskFile));
        status->menu()->actions().at(0)->trigger();
        QCOMPARE(w.tree().selected()->imageKey(), QStringLiteral("Done"));
        // The button part cycles the status on.
        QTest::mouseClick(status, Qt::LeftButton, {}, QPoint(4, status->height() / 2));
        QCOMPARE(w.tree().selected()->imageKey(), QStringLiteral("Rejected"));

        // Keys outside the closed command set do nothing.
        const QByteArray before = h.fileContent();
        w.ExecuteCommand(QStringLiteral("FilterItems"));
        w.ExecuteCommand(QStringLiteral("savedata"));
        QCOMPARE(h.fileContent(), before);
        QVERIFY(h.fakes.prompts.messages.isEmpty());
    }

    void keysRunTheirCommands()
    {
        MainHarness h(sampleTasks());
        h.loadShown();
        frmMain &w = h.w();
        TaskTreeView *tree = w.tvTasks();
        FakeServices &f = h.fakes;

        QTest::keyClick(tree, Qt::Key_F1, Qt::ShiftModifier);
        QCOMPARE(f.prompts.aboutShown, 1);

        QFile::remove(h.taskFile);
        QTest::keyClick(tree, Qt::Key_F2);
        QVERIFY(h.fileContent().contains("beta"));

        f.editors.acceptWith(QStringLiteral("beta sub"));
        QTest::keyClick(tree, Qt::Key_Insert);
        QCOMPARE(f.editors.captions, QStringList{QStringLiteral("Новая подзадача")});
        QCOMPARE(w.tree().selected()->text(), QStringLiteral("beta sub"));
        QCOMPARE(w.tree().selected()->parent()->text(), QStringLiteral("beta"));

        f.editors.acceptWith(QStringLiteral("beside"));
        QTest::keyClick(tree, Qt::Key_Insert, Qt::ControlModifier);
        QCOMPARE(f.editors.captions.last(), QStringLiteral("Новая задача"));
        QCOMPARE(w.tree().selected()->parent()->text(), QStringLiteral("beta"));

        // The keypad's Ins is the same key.
        f.editors.cancel();
        QTest::keyClick(tree, Qt::Key_Insert, Qt::KeypadModifier);
        QCOMPARE(f.editors.captions.size(), 3);
        QCOMPARE(f.editors.captions.last(), QStringLiteral("Новая подзадача"));

        f.editors.acceptWith(QStringLiteral("beside, edited"));
        QTest::keyClick(tree, Qt::Key_F3);
        QCOMPARE(f.editors.filledTexts.last(), QStringLiteral("beside"));
        QCOMPARE(w.tree().selected()->text(), QStringLiteral("beside, edited"));

        QStringList statuses;
        for (Qt::Key k : {Qt::Key_1, Qt::Key_3, Qt::Key_2}) {
            QTest::keyClick(tree, k, Qt::AltModifier);
            statuses.append(w.tree().selected()->imageKey());
        }
        QCOMPARE(statuses, (QStringList{QStringLiteral("Done"), QStringLiteral("Rejected"), QStringLiteral("Progress")}));

        f.prompts.answers.push_back(MsgAnswer::No);
        QTest::keyClick(tree, Qt::Key_Delete);
        QCOMPARE(f.prompts.lastText(), QStringLiteral("Удалить задачу и все её подзадачи?"));

        // Search: Ctrl+F asks, F4 repeats without asking; both keep the key to themselves.
        w.tree().setSelected(w.tree().root());
        f.prompts.inputAnswers.push_back(QStringLiteral("A"));
        QTest::keyClick(tree, Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(f.prompts.inputPrompts.size(), 1);
        QCOMPARE(w.tree().selected()->text(), QStringLiteral("alpha"));
        QTest::keyClick(tree, Qt::Key_F4);
        QCOMPARE(f.prompts.inputPrompts.size(), 1);
        QCOMPARE(w.tree().selected()->text(), QStringLiteral("alpha child"));

        // Ctrl+O opens the real settings dialog, modal; Cancel leaves everything.
        QString dialogClass;
        QTimer::singleShot(0, this, [&dialogClass] {
            if (QWidget *modal = QApplication::activeModalWidget()) {
                dialogClass = QString::fromLatin1(modal->metaObject()->className());
                modal->close();
            }
        });
        QTest::keyClick(tree, Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(dialogClass, QStringLiteral("frmSettings"));
    }

    void modifiersMustMatchExactly()
    {
        MainHarness h(sampleTasks());
        h.loadShown();
        frmMain &w = h.w();
        TaskTreeView *tree = w.tvTasks();
        FakeServices &f = h.fakes;
        QFile::remove(h.taskFile);
        TaskNode *selected = w.tree().selected();

        QTest::keyClick(tree, Qt::Key_Insert, Qt::ControlModifier | Qt::ShiftModifier);
        QTest::keyClick(tree, Qt::Key_Delete, Qt::ShiftModifier);
        QTest::keyClick(tree, Qt::Key_1, Qt::AltModifier | Qt::ShiftModifier);
        QTest::keyClick(tree, Qt::Key_F2, Qt::ControlModifier);
        QTest::keyClick(tree, Qt::Key_F1);
        QTest::keyClick(tree, Qt::Key_O);

        QVERIFY(f.editors.captions.isEmpty());
        QVERIFY(f.prompts.messages.isEmpty());
        QVERIFY(f.prompts.inputPrompts.isEmpty());
        QCOMPARE(f.prompts.aboutShown, 0);
        QVERIFY(!QFile::exists(h.taskFile));
        QCOMPARE(w.tree().selected(), selected);
        QCOMPARE(selected->imageKey(), QStringLiteral("Progress"));

        // A key that the focused control ignores runs its command once, not again on its
        // way up to the window.
        QTest::keyClick(tree, Qt::Key_F1, Qt::ShiftModifier);
        QCOMPARE(f.prompts.aboutShown, 1);
        // The bindings hold whichever control has the focus.
        QToolButton *status = w.statusButton();
        QTest::keyClick(status, Qt::Key_F1, Qt::ShiftModifier);
        QCOMPARE(f.prompts.aboutShown, 2);
        QTest::keyClick(&w, Qt::Key_1, Qt::AltModifier);
        QCOMPARE(selected->imageKey(), QStringLiteral("Done"));
    }

    void typedCharactersReachNoControl()
    {
        MainHarness h(sampleTasks());
        h.loadShown();
        frmMain &w = h.w();
        TaskTreeView *tree = w.tvTasks();
        TaskItemModel *model = tree->taskModel();

        w.tree().setSelected(w.tree().root());
        // Type-ahead would jump to "gamma" or "alpha".
        QTest::keyClicks(tree, QStringLiteral("gam"));
        QTest::keyClick(tree, Qt::Key_A);
        QCOMPARE(w.tree().selected(), w.tree().root());
        QVERIFY(h.fakes.prompts.messages.isEmpty());

        // Navigation keys still work, and so do the expand and collapse keys.
        QTest::keyClick(tree, Qt::Key_Down);
        QCOMPARE(w.tree().selected()->text(), QStringLiteral("alpha"));
        QVERIFY(!w.tree().selected()->isExpanded());
        QTest::keyClick(tree, Qt::Key_Plus);
        QVERIFY(tree->isExpanded(model->indexOf(h.task(0))));
        QVERIFY(h.task(0)->isExpanded());
        QTest::keyClick(tree, Qt::Key_Minus);
        QVERIFY(!h.task(0)->isExpanded());
        QTest::keyClick(tree, Qt::Key_End);
        QCOMPARE(w.tree().selected()->text(), QStringLiteral("gamma"));
    }

    void treeOnlyKeys()
    {
        MainHarness h(sampleTasks());
        h.loadShown();
        frmMain &w = h.w();
        TaskTreeView *tree = w.tvTasks();
        TaskTree &t = w.tree();
        TaskItemModel *model = tree->taskModel();

        // Left on a leaf selects its parent.
        t.setExpanded(h.task(0), true);
        t.setSelected(h.task(0)->child(0));
        QTest::keyClick(tree, Qt::Key_Left);
        QCOMPARE(t.selected(), h.task(0));
        // Left on an expanded task with sub-tasks leaves the tree to collapse it.
        QVERIFY(h.task(0)->isExpanded());
        QTest::keyClick(tree, Qt::Key_Left);
        QCOMPARE(t.selected(), h.task(0));
        QVERIFY(!h.task(0)->isExpanded());
        QVERIFY(!tree->isExpanded(model->indexOf(h.task(0))));
        // Collapsed now: Left goes up to the top node.
        QTest::keyClick(tree, Qt::Key_Left);
        QCOMPARE(t.selected(), t.root());

        // Ctrl+Down / Ctrl+Up move the selected task among its siblings.
        t.setSelected(h.task(0));
        QTest::keyClick(tree, Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(h.task(1)->text(), QStringLiteral("alpha"));
        QCOMPARE(t.selected()->text(), QStringLiteral("alpha"));
        QTest::keyClick(tree, Qt::Key_Up, Qt::ControlModifier);
        QCOMPARE(h.task(0)->text(), QStringLiteral("alpha"));
        // ...but only on the tree: the window has no binding for them.
        QTest::keyClick(w.statusButton(), Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(h.task(0)->text(), QStringLiteral("alpha"));

        // Space released on the tree opens the selected task's documents.
        t.setSelected(h.task(1));
        QStringList entries;
        QTimer::singleShot(50, this, [&entries] { entries = popupEntries(); });
        QTest::keyClick(tree, Qt::Key_Space);
        QCOMPARE(entries.size(), 3);
        QVERIFY(entries.at(1).endsWith(QStringLiteral("/tmp/beta-notes.txt")));

        // Another mouse button than the left one opens the menu of the task under the pointer.
        entries.clear();
        t.setSelected(h.task(0));
        QTimer::singleShot(50, this, [&entries] { entries = popupEntries(); });
        const QRect betaRect = tree->visualRect(model->indexOf(h.task(1)));
        QTest::mousePress(tree->viewport(), Qt::RightButton, {}, betaRect.center());
        QCOMPARE(entries.size(), 3);
        QCOMPARE(t.selected(), h.task(1));
        QTest::mouseRelease(tree->viewport(), Qt::RightButton, {}, betaRect.center());
    }

    void escapeRule()
    {
        // CollapseOnESC true: Escape hides to the tray, the tray brings it back.
        {
            MainHarness h(sampleTasks());
            h.loadShown();
            frmMain &w = h.w();
            QVERIFY(h.settings.CollapseOnESC);
            QTest::keyClick(w.tvTasks(), Qt::Key_Escape);
            QVERIFY(!w.isVisible());
            QVERIFY(!w.isUnloaded());
            QCOMPARE(h.fakes.effect.requests.size(), 1);
            QCOMPARE(h.fakes.effect.requests.at(0).show, false);
            QCOMPARE(h.fakes.effect.requests.at(0).style, 1);
            QCOMPARE(h.fakes.effect.requests.at(0).direction, 7);
            QCOMPARE(h.fakes.effect.requests.at(0).timeout, 250);
            h.fakes.tray.click();
            QVERIFY(w.isVisible());
            QCOMPARE(h.fakes.effect.requests.last().show, true);
        }
        // CollapseOnESC false: Escape closes the window, saving first.
        {
            MainHarness h(sampleTasks());
            h.loadShown();
            frmMain &w = h.w();
            h.settings.CollapseOnESC = false;
            QFile::remove(h.taskFile);
            QSignalSpy unloaded(&w, &frmMain::unloaded);
            QTest::keyClick(w.tvTasks(), Qt::Key_Escape);
            QCOMPARE(unloaded.size(), 1);
            QVERIFY(w.isUnloaded());
            QVERIFY(!w.isVisible());
            QVERIFY(h.fileContent().contains("gamma"));
            QVERIFY(h.fakes.effect.requests.isEmpty());
        }
        // A development build closes on Escape whatever the setting says.
        {
            frmMain::Options o;
            o.inIde = true;
            MainHarness h(sampleTasks(), o);
            h.loadShown();
            QSignalSpy unloaded(&h.w(), &frmMain::unloaded);
            QTest::keyClick(h.w().tvTasks(), Qt::Key_Escape);
            QCOMPARE(unloaded.size(), 1);
        }
        // During a drag Escape only cancels the drag.
        {
            MainHarness h(sampleTasks());
            h.loadShown();
            frmMain &w = h.w();
            TaskTreeView *tree = w.tvTasks();
            QSignalSpy unloaded(&w, &frmMain::unloaded);
            const QPoint from = tree->visualRect(tree->taskModel()->indexOf(h.task(2))).center();
            const QPoint to = tree->visualRect(tree->taskModel()->indexOf(h.task(0))).center();
            QTest::mousePress(tree->viewport(), Qt::LeftButton, {}, from);
            QTest::mouseMove(tree->viewport(), to);
            QVERIFY(tree->InDrag);
            QTest::keyClick(tree, Qt::Key_Escape);
            QVERIFY(w.isVisible());
            QVERIFY(h.fakes.effect.requests.isEmpty());
            QCOMPARE(unloaded.size(), 0);
            QTest::mouseRelease(tree->viewport(), Qt::LeftButton, {}, to);
            QVERIFY(!tree->InDrag);
            QVERIFY(h.fakes.prompts.messages.isEmpty());
            QCOMPARE(h.task(2)->text(), QStringLiteral("gamma"));
            QCOMPARE(h.task(2)->parent(), w.tree().root());
        }
    }

    void keysWaitWhileADialogIsOpen()
    {
        MainHarness h(sampleTasks());
        h.loadShown();
        frmMain &w = h.w();
        // While the editor is open, keys belong to it: F2 pressed there saves nothing.
        QFile::remove(h.taskFile);
        h.fakes.editors.scripts.push_back([&](FakeEditor &e) {
            QDialog modal(&w);
            QTimer::singleShot(0, &modal, [&] {
                QTest::keyClick(&modal, Qt::Key_F2);
                QTest::keyClick(w.tvTasks(), Qt::Key_F1, Qt::ShiftModifier);
                modal.accept();
            });
            modal.exec();
            e.accepted = false;
        });
        QTest::keyClick(w.tvTasks(), Qt::Key_F3);
        QCOMPARE(h.fakes.editors.captions.size(), 1);
        QVERIFY(!QFile::exists(h.taskFile));
        QCOMPARE(h.fakes.prompts.aboutShown, 0);
    }
};

LISTRA_TEST_MAIN(MainKeysTest)
#include "tst_mainkeys.moc"
