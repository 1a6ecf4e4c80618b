// SPDX-License-Identifier: MIT
#include "tests/support/TestMain.h"

#include "components/platform/FileSync.h"
#include "model/TaskTree.h"
#include "storage/Journal.h"
#include "storage/TaskFile.h"
#include "ui/main/TaskItemModel.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>

namespace {

const QByteArray kTasks = QByteArrayLiteral(R"(<?xml version="1.0" encoding="utf-8"?>
<Tasks>
  <Task Name="Работа" State="Progress" Expanded="True">
    <Task Name="Отчёт" State="Done" Expanded="False" Selected="True" />
    <Task Name="Письмо" State="Progress" Expanded="False">
      <Task Name="Черновик" State="Rejected" Expanded="False" />
    </Task>
  </Task>
  <Task Name="Дом" State="Progress" Expanded="False">
    <Task Name="Купить хлеб" State="Progress" Expanded="False" />
  </Task>
</Tasks>
)");

TaskNode *at(TaskTree &t, std::initializer_list<int> rows)
{
    TaskNode *n = t.root();
    for (int r : rows)
        n = n->child(r);
    return n;
}

// The file's bytes plus the order search walks (creation order), which the file does not keep.
QString state(const TaskTree &t)
{
    QString s = QString::fromUtf8(serializeTaskTree(t));
    for (const TaskNode *n = t.firstCreated(); n; n = t.nextCreated(n))
        s += QLatin1Char('|') + n->text();
    return s;
}

struct Change {
    const char *name;
    int restored;
    // Makes the changes on the live tree; flush() ends a command.
    std::function<void(TaskTree &, Journal &)> make;
    // Undo puts nodes back at their old place in the search order; a replay adds them anew.
    bool sameSearchOrder = true;
};

const QList<Change> &changes()
{
    static const QList<Change> table = {
        {"add as child, after and before", 3,
         [](TaskTree &t, Journal &j) {
             t.addChild(at(t, {0, 1}), QStringLiteral("Новая подзадача"), TaskStatus::Done);
             j.flush();
             t.addAfter(at(t, {1}), QStringLiteral("После"));
             j.flush();
             t.addBefore(at(t, {0}), QStringLiteral("До \"кавычки\" & <тег>\n"));
         }},
        {"remove a sub-tree", 1, [](TaskTree &t, Journal &) { t.remove(at(t, {0})); }},
        {"re-parent deeper and to the top", 2,
         [](TaskTree &t, Journal &j) {
             t.reparent(at(t, {0, 1}), at(t, {1, 0}));
             j.flush();
             t.reparent(at(t, {1, 0, 0, 0}), t.root());
         }},
        {"move among siblings", 2,
         [](TaskTree &t, Journal &j) {
             t.moveAmongSiblings(at(t, {0, 1}), -1);
             j.flush();
             t.moveAmongSiblings(at(t, {0}), 1);
         }},
        {"text, status and documents", 1,
         [](TaskTree &t, Journal &) {
             t.setText(at(t, {0, 1, 0}), QStringLiteral("Чистовик \U0001F600"));
             t.setImageKey(at(t, {0, 1, 0}), TaskStatus::Done);
             t.setRelatedDocuments(at(t, {1, 0}), {QStringLiteral("/home/u/список.txt"), QStringLiteral("/tmp")});
             t.setRelatedDocuments(at(t, {0, 0}), {});
         }},
        {"expanding and selecting alone", 0,
         [](TaskTree &t, Journal &j) {
             t.setExpanded(at(t, {1}), true);
             t.setSelected(at(t, {1, 0}));
             t.setSelected(at(t, {0, 1, 0}));
             j.flush();
             t.setExpanded(at(t, {0}), false);
             t.setSelected(nullptr);
         }},
        {"removing the selected task", 1,
         [](TaskTree &t, Journal &) {
             t.setSelected(at(t, {0, 1, 0}));
             t.remove(at(t, {0, 1}));
         }},
        {"a new task edited and moved in later commands", 3,
         [](TaskTree &t, Journal &j) {
             TaskNode *n = t.insertChild(at(t, {1}), 0, QStringLiteral("Черновая"));
             j.flush();
             t.setText(n, QStringLiteral("Готовая"));
             t.setSelected(n);
             t.remove(at(t, {0}));
             j.flush();
             t.reparent(n, t.root());
         }},
        {"undo and redo: a sub-tree detached, put back and moved", 3,
         [](TaskTree &t, Journal &j) {
             TaskNode *work = at(t, {0});
             t.detach(work);
             j.flush();
             t.attach(work, t.root(), 0);
             j.flush();
             t.moveTo(at(t, {0, 1}), at(t, {1}), 0);
         },
         false},
        {"a selection the status filter moves right after a move", 2,
         [](TaskTree &t, Journal &j) {
             TaskItemModel view(t);
             view.setFilter(TaskStatus::Rejected);
             t.setImageKey(at(t, {0, 0}), TaskStatus::Rejected);
             t.setSelected(at(t, {0, 1}));
             j.flush();
             // The selected task loses its match and the selection goes to its parent, whose
             // place changes with the move.
             t.moveTo(at(t, {0, 1, 0}), t.root(), 0);
             QCOMPARE(t.selected(), at(t, {1}));
         },
         false},
    };
    return table;
}

} // namespace

class JournalTest : public TestCase
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString taskFile() const { return m_dir.filePath(QStringLiteral("Tasks.XML")); }
    QString journalFile() const { return m_dir.filePath(QStringLiteral("state/Tasks.journal")); }

    // A fresh start: the file, then what the journal left.
    Journal::Recovery restart(TaskTree &tree, Journal &journal)
    {
        const LoadResult loaded = loadTaskFile(taskFile(), tree);
        return journal.attach(tree, loaded.stamp);
    }

    // One run of the program from its start.
    struct Run {
        explicit Run(JournalTest &test)
            : journal(test.journalFile(), syncFileData)
            , recovery(test.restart(tree, journal))
        {
        }
        TaskTree tree;
        Journal journal;
        Journal::Recovery recovery;
    };

private Q_SLOTS:
    void init()
    {
        TestCase::init();
        QVERIFY(writeFile(taskFile(), kTasks));
        QDir(m_dir.filePath(QStringLiteral("state"))).removeRecursively();
    }

    void replayGivesTheLiveTree_data()
    {
        QTest::addColumn<int>("change");
        for (int i = 0; i < changes().size(); ++i)
            QTest::newRow(changes()[i].name) << i;
    }

    void replayGivesTheLiveTree()
    {
        QFETCH(int, change);
        Run live(*this);
        QCOMPARE(live.recovery.records, 0);
        changes()[change].make(live.tree, live.journal);
        live.journal.flush();

        Run again(*this);
        QVERIFY(again.recovery.problem.isEmpty());
        QCOMPARE(again.recovery.restored, changes()[change].restored);
        if (changes()[change].sameSearchOrder)
            QCOMPARE(state(again.tree), state(live.tree));
        else
            QCOMPARE(serializeTaskTree(again.tree), serializeTaskTree(live.tree));
    }

    void tornTailIsDroppedAndLaterChangesStillCount()
    {
        Run live(*this);
        live.tree.addChild(live.tree.root(), QStringLiteral("Первая"));
        live.journal.flush();
        live.tree.addChild(live.tree.root(), QStringLiteral("Вторая, недописанная"));
        live.journal.flush();
        live.journal.detach();
        QFile f(journalFile());
        QVERIFY(f.resize(f.size() - 3));

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("unfinished record")));
        Run again(*this);
        QCOMPARE(again.recovery.restored, 1);
        QCOMPARE(again.tree.root()->lastChild()->text(), QStringLiteral("Первая"));
        again.tree.setText(again.tree.root()->lastChild(), QStringLiteral("Первая, исправленная"));
        again.journal.flush();
        again.journal.detach();

        Run third(*this);
        QCOMPARE(third.recovery.restored, 2);
        QCOMPARE(state(third.tree), state(again.tree));
    }

    void saveStartsAfresh()
    {
        Run live(*this);
        live.tree.addChild(live.tree.root(), QStringLiteral("Сохранённая"));
        live.journal.flush();
        const SaveResult saved = saveTaskFile(taskFile(), live.tree);
        QVERIFY(saved.ok);
        live.journal.saved(saved.stamp);
        QVERIFY(!QFile::exists(journalFile()));
        live.tree.setText(live.tree.root()->lastChild(), QStringLiteral("После сохранения"));
        live.journal.flush();

        Run again(*this);
        QCOMPARE(again.recovery.restored, 1);
        QCOMPARE(state(again.tree), state(live.tree));
    }

    void journalOfOtherBytesIsKeptAside()
    {
        Run live(*this);
        live.tree.remove(live.tree.root()->child(0));
        live.journal.flush();
        live.journal.detach();
        // Another program rewrites the file: the journal's rows now point at other tasks.
        QVERIFY(writeFile(taskFile(), QByteArray(kTasks).replace("Дом", "Дача")));

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("was not applied")));
        Run again(*this);
        QCOMPARE(again.recovery.restored, 0);
        QVERIFY(again.recovery.keptAside.endsWith(QStringLiteral(".unusable")));
        QVERIFY(QFile::exists(again.recovery.keptAside));
        QVERIFY(!QFile::exists(journalFile()));
        QCOMPARE(again.tree.root()->childCount(), 2);
        QCOMPARE(again.tree.root()->child(1)->text(), QStringLiteral("Дача"));
    }

    void journalOfTheVersionBeforeStillApplies()
    {
        Run live(*this);
        live.tree.addChild(live.tree.root(), QStringLiteral("Из прежней версии"));
        live.journal.flush();
        live.journal.detach();
        // Its header as the version before wrote it: another mark and a file hash of another kind.
        QByteArray journal = readFile(journalFile());
        journal.replace(0, 8, "LSTRJNL1");
        journal.replace(24, 8, QByteArray(8, '\x5A'));
        const quint64 check = contentHash(journal.constData(), 32);
        journal.replace(32, 8, QByteArray(reinterpret_cast<const char *>(&check), 8));
        QVERIFY(writeFile(journalFile(), journal));

        Run again(*this);
        QVERIFY2(again.recovery.problem.isEmpty(), qPrintable(again.recovery.problem));
        QCOMPARE(again.recovery.restored, 1);
        QCOMPARE(state(again.tree), state(live.tree));
    }

    void recordThatDoesNotFitIsKeptAside()
    {
        Run live(*this);
        TaskTree &t = live.tree;
        t.addChild(t.root(), QStringLiteral("Записана"));
        live.journal.flush();
        // A change the journal never heard of: the next record points at a task the file lacks.
        t.setRecorder(nullptr);
        t.addChild(t.root(), QStringLiteral("Не записана"));
        t.setRecorder(&live.journal);
        t.setText(t.root()->child(3), QStringLiteral("Изменена"));
        live.journal.flush();
        live.journal.detach();

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("record 2|запись 2")));
        Run again(*this);
        QVERIFY(again.recovery.treeSpoiled);
        QVERIFY(QFile::exists(again.recovery.keptAside));
        QCOMPARE(restart(again.tree, again.journal).records, 0); // read again: the file alone
        QCOMPARE(again.tree.root()->childCount(), 2);
    }

    void unwritableFolderKeepsWorking()
    {
        // The state folder's place is taken by a file: nothing can be created in it.
        const QString blocker = m_dir.filePath(QStringLiteral("state"));
        QVERIFY(writeFile(blocker, {}));
        Run live(*this);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("cannot be written to the journal")));
        live.tree.addChild(live.tree.root(), QStringLiteral("Первая"));
        live.journal.flush();
        live.tree.addChild(live.tree.root(), QStringLiteral("Вторая"));
        live.journal.flush(); // reported once, not at every command
        QVERIFY(live.journal.pendingSize() > 0);
        const SaveResult saved = saveTaskFile(taskFile(), live.tree);
        QVERIFY(saved.ok);
        live.journal.saved(saved.stamp);
        QCOMPARE(live.journal.pendingSize(), 0);
        QFile::remove(blocker);
    }
};

LISTRA_TEST_MAIN(JournalTest)
#include "tst_journal.moc"
