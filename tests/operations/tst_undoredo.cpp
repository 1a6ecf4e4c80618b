// SPDX-License-Identifier: MIT
#include "tests/main/MainHarness.h"

#include "ui/editor/TaskEditorDialogFactory.h"
#include "ui/main/TaskOperations.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QTimer>

#include <functional>

// Ctrl+Z and Ctrl+Y (or Ctrl+Shift+Z) over every change to the tree.
class TestUndoRedo : public TestCase
{
    Q_OBJECT
private Q_SLOTS:
    void everyStepUndoesAndRedoesExactly()
    {
        const struct {
            const char *name;
            const char *select;
            int key;
            Qt::KeyboardModifiers mods;
            const char *typed = nullptr;  // the editor's answer
            const char *dropOn = nullptr; // a drag instead of a key
        } table[] = {
            // A closed leaf: showing the new sub-task opens it, and undo closes it again.
            {"add sub-task", "B", Qt::Key_Insert, {}, "new"},
            {"add beside", "A1", Qt::Key_Insert, Qt::ControlModifier, "new"},
            {"edit", "A2", Qt::Key_F3, {}, "edited"},
            // Its sub-tasks were created between other tasks: each goes back to its place.
            {"remove", "A", Qt::Key_Delete, {}},
            {"remove a last child", "A2", Qt::Key_Delete, {}},
            {"status with sub-tasks", "A", Qt::Key_1, Qt::AltModifier},
            {"status of a leaf", "C1", Qt::Key_3, Qt::AltModifier},
            {"move down", "A", Qt::Key_Down, Qt::ControlModifier},
            {"move up", "C", Qt::Key_Up, Qt::ControlModifier},
            {"drag under another task", "A1", 0, {}, nullptr, "C"},
            {"drag to the top level", "A11", 0, {}, nullptr, "Задачи"},
        };
        for (const auto &row : table) {
            MainHarness f;
            f.show();
            build(f);
            f.select(find(f, row.select));
            if (row.dropOn)
                f.pointOf(find(f, row.dropOn));
            if (row.typed)
                f.fakes.editors.acceptWith(QString::fromUtf8(row.typed), {QStringLiteral("/n")});
            const QString name = QString::fromUtf8(row.name) + QLatin1String(": ");
            const QString start = name + state(f);
            if (row.dropOn)
                f.drag(find(f, row.select), find(f, row.dropOn));
            else
                f.key(row.key, row.mods);
            const QString done = name + state(f);
            QVERIFY2(done != start, qPrintable(done));
            f.key(Qt::Key_Z, Qt::ControlModifier);
            QCOMPARE(name + state(f), start);
            QVERIFY(f.shown(f.tree().selected()));
            f.key(Qt::Key_Y, Qt::ControlModifier);
            QCOMPARE(name + state(f), done);
            f.key(Qt::Key_Z, Qt::ControlModifier);
            f.key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
            QCOMPARE(name + state(f), done);
            // Only the exact modifiers count.
            f.key(Qt::Key_Z, Qt::ControlModifier | Qt::AltModifier);
            QCOMPARE(name + state(f), done);
        }
    }

    // Several steps go back in order and come again in order; a save keeps the history, and a
    // new step drops what was undone.
    void historyAcrossStepsAndSaves()
    {
        MainHarness f;
        f.show();
        build(f);
        QStringList states {state(f)};
        f.select(find(f, "A"));
        f.key(Qt::Key_Down, Qt::ControlModifier);
        states << state(f);
        f.key(Qt::Key_Delete);
        states << state(f);
        f.select(find(f, "C"));
        f.key(Qt::Key_1, Qt::AltModifier);
        states << state(f);
        f.key(Qt::Key_F2);
        for (int i = 2; i >= 0; --i) {
            f.key(Qt::Key_Z, Qt::ControlModifier);
            QCOMPARE(state(f), states[i]);
        }
        f.key(Qt::Key_Z, Qt::ControlModifier); // nothing more to undo
        QCOMPARE(state(f), states[0]);
        for (int i = 1; i <= 3; ++i) {
            f.key(Qt::Key_Y, Qt::ControlModifier);
            QCOMPARE(state(f), states[i]);
        }
        f.key(Qt::Key_Z, Qt::ControlModifier);
        f.key(Qt::Key_Z, Qt::ControlModifier);
        f.fakes.editors.acceptWith(QStringLiteral("new"));
        f.key(Qt::Key_Insert);
        const QString afterNew = state(f);
        f.key(Qt::Key_Y, Qt::ControlModifier); // the undone removal is gone for good
        QCOMPARE(state(f), afterNew);
        f.key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(state(f), states[1]);
        QCOMPARE(f.window->operations().history().undoLimit(), TaskOperations::kHistoryLimit);
    }

    // The drag holds the task it started on: undo waits until it is over.
    void dragHoldsOffUndo()
    {
        MainHarness f;
        f.show();
        build(f);
        f.select(find(f, "B"));
        f.fakes.editors.acceptWith(QStringLiteral("new"));
        f.key(Qt::Key_Insert);
        TaskNode *added = f.tree().selected();
        f.drag(added, find(f, "C"), false);
        QVERIFY(f.tv()->isDragging());
        f.key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(added->parent()->text(), QStringLiteral("B"));
        QTest::mouseRelease(f.viewport(), Qt::LeftButton, {}, f.pointOf(find(f, "C")));
        QCOMPARE(added->parent()->text(), QStringLiteral("C"));
        f.key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(added->parent()->text(), QStringLiteral("B"));
        f.key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(f.creationOrder(), QStringLiteral("A|B|A1|C|A2|A11|C1"));
    }

    // In the editor Ctrl+Z is the text box's: it takes back the typing, not a change to the tree.
    void editorKeepsItsOwnUndo()
    {
        MainHarness f;
        f.show();
        TaskNode *task = f.task(f.root(), QStringLiteral("alpha"));
        f.select(task);
        f.key(Qt::Key_1, Qt::AltModifier);
        TaskEditorDialogFactory realEditors(f.services);
        f.services.editors = &realEditors;
        QString seen;
        // The editor takes the keys once it has the focus; until then it is looked for again.
        int tries = 0;
        std::function<void()> drive = [&] {
            QWidget *dialog = QApplication::activeModalWidget();
            auto *text = dialog ? dialog->findChild<QPlainTextEdit *>(QStringLiteral("txtTaskText")) : nullptr;
            if (!text || !text->hasFocus()) {
                if (++tries < 500)
                    QTimer::singleShot(10, drive);
                else if (dialog)
                    dialog->close();
                return;
            }
            QTest::keyClicks(text, QStringLiteral(" beta"));
            seen = text->toPlainText();
            QTest::keyClick(text, Qt::Key_Z, Qt::ControlModifier);
            seen += QLatin1Char('|') + text->toPlainText();
            QTest::keyClick(dialog, Qt::Key_Escape);
        };
        QTimer::singleShot(0, drive);
        f.key(Qt::Key_F3);
        QCOMPARE(seen, QStringLiteral(" beta|alpha")); // the text comes selected: typing replaces it
        QCOMPARE(task->imageKey(), QStringLiteral("Done"));
    }

private:
    // A, B, A1, C, A2, A11, C1 created in this order:
    //   A (open) [A1 (closed) [A11], A2]   B (closed leaf)   C (open) [C1]
    static void build(MainHarness &f)
    {
        TaskNode *a = f.task(f.root(), QStringLiteral("A"), TaskStatus::Rejected, {QStringLiteral("/a")});
        f.task(f.root(), QStringLiteral("B"));
        TaskNode *a1 = f.task(a, QStringLiteral("A1"), TaskStatus::Done);
        TaskNode *c = f.task(f.root(), QStringLiteral("C"));
        f.task(a, QStringLiteral("A2"));
        f.task(a1, QStringLiteral("A11"));
        f.task(c, QStringLiteral("C1"));
        f.tree().setExpanded(a, true);
        f.tree().setExpanded(c, true);
        f.select(a);
    }

    static TaskNode *find(MainHarness &f, const char *text)
    {
        for (TaskNode *n = f.tree().firstCreated(); n; n = f.tree().nextCreated(n)) {
            if (n->text() == QLatin1String(text))
                return n;
        }
        return nullptr;
    }

    // Everything a step may touch: the tree with statuses, documents and open flags, what the
    // view shows open, the creation order, the selection and the count.
    static QString state(MainHarness &f)
    {
        QString out;
        std::vector<std::pair<TaskNode *, int>> stack {{f.root(), 0}};
        while (!stack.empty()) {
            const auto [node, depth] = stack.back();
            stack.pop_back();
            out += QString(depth, QLatin1Char(' ')) + node->text() + QLatin1Char(' ') + node->imageKey().left(1)
                + (node->isExpanded() ? QLatin1Char('+') : QLatin1Char('-'))
                // The view's flag only shows where there is something to open.
                + (node->childCount() && f.tv()->isExpanded(f.indexOf(node)) ? QLatin1Char('+') : QLatin1Char('-'))
                + (node->info() ? node->info()->RelatedDocuments().join(QLatin1Char(',')) : QString())
                + QLatin1Char('\n');
            for (int i = node->childCount() - 1; i >= 0; --i)
                stack.emplace_back(node->child(i), depth + 1);
        }
        return out
            + QStringLiteral("created: %1\nselected: %2\ncount: %3")
                  .arg(f.creationOrder(), f.tree().selected() ? f.tree().selected()->text() : QString())
                  .arg(f.tree().count());
    }
};

LISTRA_TEST_MAIN(TestUndoRedo)
#include "tst_undoredo.moc"
