// SPDX-License-Identifier: MIT
#include "tests/main/MainHarness.h"

#include "storage/Backups.h"
#include "ui/editor/TaskEditorDialogFactory.h"
#include "ui/main/KeysWindow.h"
#include "ui/main/MainCommands.h"
#include "ui/main/TaskOperations.h"

#include <QAction>
#include <QClipboard>
#include <QKeySequence>
#include <QMenu>
#include <QMouseEvent>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QWindow>

// The main window's keys, as the user presses them.
class MainKeysTest : public TestCase
{
    Q_OBJECT

    // Presses one key on the target and tells what the user could see happen.
    static QString pressAndSee(MainHarness &h, QWidget *target, int key, Qt::KeyboardModifiers mods)
    {
        FakePrompts &p = h.prompts();
        const int about = p.aboutShown, messages = p.messages.size(), inputs = p.inputPrompts.size();
        const int editors = h.fakes.editors.captions.size();
        const int saveDialogs = h.fakes.choosers.saveCaptions.size(), printed = h.fakes.printer.captions.size();
        TaskNode *selected = h.tree().selected();
        const QString status = selected->imageKey();
        const QString order = MainHarness::childTexts(h.root());
        QFile::remove(h.taskFile);
        QGuiApplication::clipboard()->clear();
        QStringList seen;
        QTimer::singleShot(0, h.window.get(), [&seen] {
            if (QWidget *popup = QApplication::activePopupWidget()) {
                seen << popup->objectName();
                popup->close();
            } else if (QWidget *modal = QApplication::activeModalWidget()) {
                // While a dialog is open the window's keys are the dialog's.
                QTest::keyClick(modal, Qt::Key_F2);
                QTest::keyClick(modal, Qt::Key_F1, Qt::ShiftModifier);
                seen << QString::fromLatin1(modal->metaObject()->className());
                modal->close();
            }
        });
        QTest::keyClick(target, Qt::Key(key), mods);
        QCoreApplication::processEvents();
        seen << QStringList(p.aboutShown - about, QStringLiteral("about")); // once, not again on its way up
        if (QFile::exists(h.taskFile))
            seen << QStringLiteral("saved");
        seen << h.fakes.editors.captions.mid(editors);
        seen << h.fakes.choosers.saveCaptions.mid(saveDialogs) << h.fakes.printer.captions.mid(printed);
        for (int i = messages; i < p.messages.size(); ++i)
            seen << p.messages.at(i).text;
        if (p.inputPrompts.size() > inputs)
            seen << QStringLiteral("find");
        if (selected->imageKey() != status)
            seen << selected->imageKey();
        if (MainHarness::childTexts(h.root()) != order)
            seen << QStringLiteral("moved");
        if (h.tree().selected() != selected)
            seen << QStringLiteral("selects ") + h.tree().selected()->text();
        if (!QGuiApplication::clipboard()->text().isEmpty())
            seen << QStringLiteral("copied");
        return seen.join(QLatin1String(", "));
    }

    // Each press starts with beta selected, no editor or question left over, and beta's
    // status such that the command shows.
    static void prepare(MainHarness &h, const QString &command)
    {
        TaskNode *beta = h.root()->child(1)->text() == QLatin1String("beta") ? h.root()->child(1) : h.root()->child(2);
        h.select(beta);
        h.fakes.editors.scripts.clear();
        h.fakes.editors.cancel();
        h.prompts().answers = {MsgAnswer::No};
        TaskOperations &ops = h.window->operations();
        ops.SetTaskStatus(QStringLiteral("SetStatusDone"));
        ops.SetTaskStatus(QStringLiteral("SetStatusRejected")); // undo shows Done
        if (command == QLatin1String("Redo"))
            ops.Undo(); // redo shows Rejected
        if (command == QLatin1String("SetStatusRejected"))
            ops.SetTaskStatus(QStringLiteral("SetStatusProgress"));
    }

    // Opens the command menu on the node with the key and checks it lists every command of the
    // table below the task's row; returns the commands greyed out, after choosing one (or none).
    static QString openMenu(MainHarness &h, TaskNode *node, int key, Qt::KeyboardModifiers mods, const char *choose)
    {
        QStringList listed, disabled;
        for (const MainCommand &c : mainCommands())
            if (!c.menuLabel().isEmpty())
                listed << c.menuLabel() + (c.keys.isEmpty() ? QString() : QLatin1Char('\t') + c.keys.first().text());
        listed.sort();
        h.select(node);
        QTimer::singleShot(0, h.window.get(), [&] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            QVERIFY(menu);
            // Below the task's row, unless the screen's edge pushes it up.
            const QRect row = h.tv()->visualRect(h.indexOf(node));
            const QPoint below = h.viewport()->mapToGlobal(QPoint(row.left(), row.bottom() + 1));
            QCOMPARE(menu->x(), below.x());
            QVERIFY(menu->y() == below.y()
                    || (menu->y() < below.y()
                        && menu->geometry().bottom() == menu->screen()->availableGeometry().bottom()));
            QStringList entries;
            QAction *chosen = nullptr;
            for (QAction *a : menu->actions()) {
                if (a->isSeparator())
                    continue;
                entries << a->text();
                if (!a->isEnabled())
                    disabled << a->data().toString();
                if (a->data().toString() == QLatin1String(choose))
                    chosen = a;
            }
            entries.sort();
            QCOMPARE(entries, listed);
            if (chosen)
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(chosen).center());
            else
                menu->close();
        });
        QTest::keyClick(h.tv(), Qt::Key(key), mods);
        return disabled.join(QLatin1Char(' '));
    }

private Q_SLOTS:
    // Every binding of the command table, pressed as the user does: on the tree it runs its
    // command; with one modifier more it does not; on a toolbar button only the window's
    // keys act, moving is the tree's alone.
    void everyKeyReachesItsCommand()
    {
        MainHarness h(sampleTasks());
        h.show();
        QWidget *tree = h.tv(), *button = h.window->statusButton();
        // Every key of the table, by its name.
        const QHash<QString, QString> effects = {
            {QStringLiteral("Shift+F1"), QStringLiteral("about")},
            {QStringLiteral("F1"), QStringLiteral("KeysWindow")},
            {QStringLiteral("F2"), QStringLiteral("saved")},
            {QStringLiteral("Ctrl+S"), QStringLiteral("saved")},
            {QStringLiteral("Ins"), QStringLiteral("Новая подзадача")},
            {QStringLiteral("Ctrl+Shift+N"), QStringLiteral("Новая подзадача")},
            {QStringLiteral("Ctrl+Ins"), QStringLiteral("Новая задача")},
            {QStringLiteral("Ctrl+N"), QStringLiteral("Новая задача")},
            {QStringLiteral("F3"), QStringLiteral("Редактирование задачи")},
            {QStringLiteral("Return"), QStringLiteral("Редактирование задачи")},
            {QStringLiteral("Enter"), QStringLiteral("Редактирование задачи")},
            {QStringLiteral("Del"), QStringLiteral("Удалить задачу и все её подзадачи?")},
            {QStringLiteral("Alt+1"), QStringLiteral("Done")},
            {QStringLiteral("Alt+2"), QStringLiteral("Progress")},
            {QStringLiteral("Alt+3"), QStringLiteral("Rejected")},
            {QStringLiteral("Ctrl+Z"), QStringLiteral("Done")},
            {QStringLiteral("Ctrl+Y"), QStringLiteral("Rejected")},
            {QStringLiteral("Ctrl+Shift+Z"), QStringLiteral("Rejected")},
            {QStringLiteral("Ctrl+Down"), QStringLiteral("moved")},
            {QStringLiteral("Ctrl+Up"), QStringLiteral("moved")},
            {QStringLiteral("Ctrl+O"), QStringLiteral("frmSettings")},
            {QStringLiteral("F4"), QStringLiteral("find")}, // no phrase yet: it asks
            {QStringLiteral("Ctrl+F"), QStringLiteral("find")},
            {QStringLiteral("Menu"), QStringLiteral("mnuCommands")},
            {QStringLiteral("Shift+F10"), QStringLiteral("mnuCommands")},
            {QStringLiteral("Ctrl+E"), QStringLiteral("Экспорт задачи «beta» с подзадачами")},
            {QStringLiteral("Ctrl+P"), QStringLiteral("Печать задачи «beta» с подзадачами")},
        };
        int bindings = 0;
        for (const MainCommand &command : mainCommands()) {
            for (const KeyBinding &b : command.keys) {
                ++bindings;
                const QString effect = effects.value(b.text());
                const QString name = b.text() + QLatin1String(": ");
                QVERIFY2(!effect.isEmpty(), qPrintable(name + command.name()));
                prepare(h, command.name());
                QCOMPARE(name + pressAndSee(h, tree, b.key, b.modifiers), name + effect);
                const Qt::KeyboardModifiers more
                    = b.modifiers | (b.modifiers & Qt::ShiftModifier ? Qt::AltModifier : Qt::ShiftModifier);
                prepare(h, command.name());
                const QString extra = pressAndSee(h, tree, b.key, more);
                QVERIFY2(!extra.contains(effect), qPrintable(name + QLatin1String("with one more: ") + extra));
                prepare(h, command.name());
                const QString onButton = pressAndSee(h, button, b.key, b.modifiers);
                QCOMPARE(name + onButton, name + (command.scopeOf(b) == KeyScope::Window ? effect : QString()));
            }
        }
        QCOMPARE(bindings, effects.size()); // a binding lost from the table shows here
        const Qt::KeyboardModifiers none, ctrl = Qt::ControlModifier;
        const struct {
            int key;
            Qt::KeyboardModifiers mods;
            const char *effect;
        } others[] = {
            {Qt::Key_Insert, Qt::KeypadModifier, "Новая подзадача"}, // the keypad is no modifier
            {Qt::Key_Left, none, "selects Задачи"},                  // a leaf: its parent
            {Qt::Key_C, ctrl, ""},                                   // the tree copies nothing, nor does Ctrl+Ins above
            // Typed characters reach no control: type-ahead would jump to "gamma" or "alpha".
            {Qt::Key_G, none, ""},
            {Qt::Key_A, none, ""},
        };
        for (const auto &row : others) {
            prepare(h, QString());
            const QString name = QKeySequence(row.mods | Qt::Key(row.key)).toString() + QLatin1String(": ");
            QCOMPARE(name + pressAndSee(h, tree, row.key, row.mods), name + QString::fromUtf8(row.effect));
        }
    }

    // Menu and Shift+F10 open every command of the table below the selected task, each with its
    // key; what cannot act on the selection is greyed out, and the chosen entry runs.
    void commandMenuAtTheSelectedTask()
    {
        MainHarness h(sampleTasks());
        h.show();
        QCOMPARE(openMenu(h, h.root(), Qt::Key_Menu, {}, nullptr),
                 QStringLiteral("EditItem RemoveItem MoveDown MoveUp SetItemStatus SetStatusDone SetStatusProgress "
                                "SetStatusRejected Undo Redo"));
        TaskNode *gamma = h.root()->child(2);
        QCOMPARE(openMenu(h, gamma, Qt::Key_F10, Qt::ShiftModifier, "SetStatusDone"),
                 QStringLiteral("MoveDown SetStatusRejected Undo Redo"));
        QCOMPARE(gamma->status(), TaskStatus::Done);
        QCOMPARE(openMenu(h, gamma, Qt::Key_Menu, {}, "Undo"), QStringLiteral("MoveDown SetStatusDone Redo"));
        QCOMPARE(gamma->status(), TaskStatus::Rejected);
        QVERIFY(h.prompts().messages.isEmpty());
    }

    // Not during a drag: the menu would keep the button's release from the drop.
    void commandMenuNotDuringADrag()
    {
        MainHarness h(sampleTasks());
        h.show();
        h.drag(h.root()->child(2), h.root()->child(0), false);
        QVERIFY(h.tv()->isDragging());
        QCOMPARE(pressAndSee(h, h.tv(), Qt::Key_Menu, {}), QString());
        h.key(Qt::Key_Escape);
        QTest::mouseRelease(h.viewport(), Qt::LeftButton, {}, h.pointOf(h.root()->child(0)));
    }

    // Backups: none yet is said; after the day's first save their folder opens.
    void commandMenuOpensTheBackups()
    {
        MainHarness h(sampleTasks());
        h.show();
        openMenu(h, h.root(), Qt::Key_Menu, {}, "Backups");
        QCOMPARE(h.lastMessage(),
                 QStringLiteral("Резервных копий пока нет: копия файла с задачами делается перед "
                                "первым сохранением каждого дня. [OkInformation]"));
        h.key(Qt::Key_F2);
        openMenu(h, h.root(), Qt::Key_Menu, {}, "Backups");
        QCOMPARE(h.fakes.opener.opened, QStringList {QDir::toNativeSeparators(Backups::folder(h.taskFile))});
    }

    // F1 lists every key of the table in its command's line, saying what the command does, then
    // the window's own keys and mouse actions; Escape closes it and does nothing more.
    void keysWindowListsTheTable()
    {
        MainHarness h(sampleTasks());
        h.show();
        QStringList rows;
        QTimer::singleShot(0, h.window.get(), [&] {
            auto *keys = qobject_cast<KeysWindow *>(QApplication::activeModalWidget());
            QVERIFY(keys);
            for (int i = 0; i < keys->lvKeys()->topLevelItemCount(); ++i)
                rows << keys->lvKeys()->topLevelItem(i)->text(0) + QLatin1String(" = ")
                        + keys->lvKeys()->topLevelItem(i)->text(1);
            QTest::keyClick(keys->lvKeys(), Qt::Key_Escape);
        });
        h.key(Qt::Key_F1);
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(h.window->isVisible());
        int keyed = 0;
        for (const MainCommand &c : mainCommands()) {
            keyed += c.keys.isEmpty() ? 0 : 1;
            for (const KeyBinding &b : c.keys) {
                const auto line = std::find_if(rows.cbegin(), rows.cend(), [&b](const QString &row) {
                    return row.section(QLatin1String(" = "), 0, 0).split(QLatin1String(", ")).contains(b.text());
                });
                QVERIFY2(line != rows.cend() && line->section(QLatin1String(" = "), 1).startsWith(c.description()),
                         qPrintable(b.text()));
            }
        }
        QCOMPARE(rows.size(), keyed + otherInputs().size());
        QVERIFY(rows.contains(QStringLiteral("F3, Return, Enter = Править задачу (Return, Enter — в списке задач)")));
        QVERIFY(rows.contains(QStringLiteral("Ctrl+Down = Переместить вниз (в списке задач)")));
    }

    // Tab and Shift+Tab leave the keys with the tree, where Space, Ctrl+Up and Ctrl+Down
    // belong: no toolbar button takes the focus.
    void toolbarButtonsNeverTakeTheFocus()
    {
        MainHarness h(sampleTasks());
        h.show();
        for (const Qt::KeyboardModifiers mods : {Qt::KeyboardModifiers(), Qt::KeyboardModifiers(Qt::ShiftModifier)}) {
            h.key(mods ? Qt::Key_Backtab : Qt::Key_Tab, mods);
            QCOMPARE(QApplication::focusWidget(), h.tv());
        }
    }

    // Keys typed right behind Ins or Ctrl+Ins, already queued for the window when the real
    // editor opens, are the new task's text; Enter among them accepts it.
    void keysTypedAheadReachTheEditor()
    {
        MainHarness h(sampleTasks());
        h.show();
        TaskEditorDialogFactory editors(h.services);
        h.services.editors = &editors;
        QWindow *window = h.window->windowHandle();
        const auto post = [window](int key, Qt::KeyboardModifiers mods, const QString &text = {}) {
            QCoreApplication::postEvent(window, new QKeyEvent(QEvent::KeyPress, key, mods, text));
            QCoreApplication::postEvent(window, new QKeyEvent(QEvent::KeyRelease, key, mods, text));
        };
        for (const Qt::KeyboardModifiers mods : {Qt::KeyboardModifiers(), Qt::KeyboardModifiers(Qt::ControlModifier)}) {
            TaskNode *beta = h.root()->child(1);
            h.select(beta);
            post(Qt::Key_Insert, mods);
            for (const QChar c : QStringLiteral("Молоко"))
                post(Qt::Key_unknown, {}, QString(c));
            post(Qt::Key_Return, {});
            // A second click on a toolbar button in the meantime opens no second editor.
            QWidget *addButton = h.window->tbMain()->widgetForAction(
                h.window->findChild<QAction *>(QStringLiteral("AddItemSameLevel")));
            const QPointF at = addButton->mapTo(h.window.get(), addButton->rect().center());
            for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
                QCoreApplication::postEvent(window,
                                            new QMouseEvent(type, at, addButton->mapToGlobal(QPointF(4, 4)),
                                                            Qt::LeftButton, Qt::LeftButton, {}));
            // Should the keys have been lost, the editor would stay open: close it.
            QMetaObject::invokeMethod(
                window,
                [] {
                    if (QWidget *modal = QApplication::activeModalWidget())
                        modal->close();
                },
                Qt::QueuedConnection);
            QCoreApplication::processEvents();
            TaskNode *added = h.tree().selected();
            QCOMPARE(added->text(), QStringLiteral("Молоко"));
            QCOMPARE(added->parent(), mods ? h.root() : beta);
            QCOMPARE(h.creationOrder().count(QStringLiteral("Молоко")), mods ? 2 : 1);
        }
    }

    // Only the open branches the view can show are handed to it after a load; the rest must
    // arrive when the user opens their parent, and the file must keep what was open.
    void openingATaskShowsItsOpenSubTasks()
    {
        const QByteArray file = QByteArrayLiteral(
            "<Tasks><Task Name=\"top\" Expanded=\"False\"><Task Name=\"mid\" Expanded=\"True\"><Task Name=\"leaf\"/>"
            "</Task></Task><Task Name=\"other\" Selected=\"True\"><Task Name=\"x\"/></Task></Tasks>");
        for (int gesture = 0; gesture < 3; ++gesture) { // the expand arrow, Right, plus
            MainHarness h(file);
            h.show();
            TaskNode *top = h.root()->child(0), *mid = top->child(0), *other = h.root()->child(1);
            QVERIFY(!h.shown(mid));
            h.key(Qt::Key_F2);
            QCOMPARE(savedExpanded(h), QStringLiteral("False True True True True"));
            if (gesture == 0) {
                const QRect r = h.tv()->visualRect(h.indexOf(top));
                QTest::mouseClick(h.viewport(), Qt::LeftButton, {},
                                  QPoint(r.left() - h.tv()->indentation() / 2, r.center().y()));
            } else {
                h.select(top);
                h.key(gesture == 1 ? Qt::Key_Right : Qt::Key_Plus);
            }
            QVERIFY(h.tv()->isExpanded(h.indexOf(mid)));
            QVERIFY(h.shown(mid->child(0)));
            // Closed by the user, mid with Left and other with minus; the file follows.
            h.select(mid);
            h.key(Qt::Key_Left);
            h.select(other);
            h.key(Qt::Key_Minus);
            QVERIFY(!h.shown(mid->child(0)) && !h.shown(other->child(0)));
            h.key(Qt::Key_F2);
            QCOMPARE(savedExpanded(h), QStringLiteral("True False True False True"));
        }
    }

private:
    // The saved Expanded flags in file order: top, mid, leaf, other, x.
    static QString savedExpanded(MainHarness &h)
    {
        QStringList flags;
        const QRegularExpression expanded(QStringLiteral("Expanded=\"(\\w+)\""));
        for (auto m = expanded.globalMatch(QString::fromUtf8(readFile(h.taskFile))); m.hasNext();)
            flags << m.next().captured(1);
        return flags.join(QLatin1Char(' '));
    }
};

LISTRA_TEST_MAIN(MainKeysTest)
#include "tst_mainkeys.moc"
