// SPDX-License-Identifier: MIT
#include "storage/Backups.h"
#include "storage/TaskFile.h"
#include "tests/main/MainHarness.h"

#include <QDir>
#include <cstdio>
#include <optional>

namespace {

// Every text of the tree from the top, depth first, as "A|A1|B".
QString allTexts(const TaskTree &tree)
{
    QStringList texts;
    std::vector<const TaskNode *> stack {tree.root()};
    while (!stack.empty()) {
        const TaskNode *n = stack.back();
        stack.pop_back();
        if (n != tree.root())
            texts << n->text();
        for (int i = n->childCount() - 1; i >= 0; --i)
            stack.push_back(n->child(i));
    }
    return texts.join(u'|');
}

QString textsOfFile(const QString &path)
{
    TaskTree tree;
    if (!loadTaskFileFromBytes(readFile(path), tree))
        return QStringLiteral("<unreadable>");
    return allTexts(tree);
}

// The way sync tools replace a file: a new file renamed over the old one.
void replaceUnderneath(const QString &path, const QByteArray &content)
{
    const QString temp = path + QStringLiteral(".part");
    QVERIFY(writeFile(temp, content));
    QCOMPARE(std::rename(QFile::encodeName(temp).constData(), QFile::encodeName(path).constData()), 0);
}

QByteArray otherVersion(const char *extra)
{
    return QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Tasks>"
                             "<Task Name=\"alpha\" State=\"Progress\" Expanded=\"False\">"
                             "<Task Name=\"alpha child\" State=\"Done\"/></Task>"
                             "<Task Name=\"beta\" State=\"Progress\"/>"
                             "<Task Name=\"gamma\" State=\"Rejected\" Selected=\"True\"/><Task Name=\"")
        + extra + QByteArrayLiteral("\" State=\"Progress\"/></Tasks>");
}

const QString kOurs = QStringLiteral("alpha|alpha child|beta|gamma");
const QString kOursEdited = QStringLiteral("alpha|alpha child|beta|моя новая|gamma");
const QString kOther = QStringLiteral("alpha|alpha child|beta|gamma|с ноутбука");

} // namespace

class TestTaskFileSync : public TestCase
{
    Q_OBJECT
private Q_SLOTS:
    // Another program replaces the file under the running window, in each state it can find it in.
    void changedUnderneath()
    {
        enum Action { Wait, Save, Exit };
        const struct {
            const char *name;
            bool symlink; // Tasks.XML is a link into a synced folder
            bool edited;  // unsaved changes here
            bool same;    // the other program writes back the very bytes loaded
            Action action;
            std::optional<MsgAnswer> answer; // none: nobody is asked
            QString tree, file, conflict;    // conflict: the copy put aside, empty for none
        } table[] = {
            {"nothing unsaved: loaded", false, false, false, Wait, {}, kOther, kOther, {}},
            {"nothing unsaved, link: loaded", true, false, false, Wait, {}, kOther, kOther, {}},
            {"F2, keep mine", false, true, false, Save, MsgAnswer::Yes, kOursEdited, kOursEdited, kOther},
            {"F2, load the other", false, true, false, Save, MsgAnswer::No, kOther, kOther, kOursEdited},
            {"F2, cancel", false, true, false, Save, MsgAnswer::Cancel, kOursEdited, kOther, {}},
            {"F2 with nothing unsaved: loaded", false, false, false, Save, {}, kOther, kOther, {}},
            {"F2, same bytes again: saved", false, true, true, Save, {}, kOursEdited, kOursEdited, {}},
            {"exit: both kept", false, true, false, Exit, {}, kOursEdited, kOursEdited, kOther},
            {"exit, link: both kept", true, true, false, Exit, {}, kOursEdited, kOursEdited, kOther},
        };
        for (const auto &row : table) {
            QTemporaryDir synced, data;
            const QString target = synced.filePath(QStringLiteral("Tasks.XML"));
            frmMain::Options options;
            if (row.symlink) {
                QVERIFY(QFile(target).open(QIODevice::WriteOnly));
                options.taskFilePath = data.filePath(QStringLiteral("Tasks.XML"));
                QVERIFY(QFile::link(target, options.taskFilePath));
            }
            MainHarness f(sampleTasks(), options);
            const QString real = row.symlink ? target : f.taskFile;
            f.show();
            TaskNode *alpha = f.root()->child(0);
            f.tree().setExpanded(alpha, true);
            if (row.edited) {
                f.select(f.root()->child(1));
                f.fakes.editors.acceptWith(QStringLiteral("моя новая"));
                f.key(Qt::Key_Insert, Qt::ControlModifier);
            }
            replaceUnderneath(real, row.same ? sampleTasks() : otherVersion("с ноутбука"));
            if (row.answer)
                f.prompts().answers.push_back(*row.answer);

            if (row.action == Wait) {
                QTRY_COMPARE(allTexts(f.tree()), row.tree);
                // Selection and expanded flags stay where the same tasks are found.
                QCOMPARE(f.tree().selected()->text(), QStringLiteral("beta"));
                QVERIFY(f.root()->child(0)->isExpanded());
                // The watch survives the replace: a second one is seen too.
                replaceUnderneath(real, otherVersion("и ещё раз"));
                QTRY_COMPARE(f.root()->lastChild()->text(), QStringLiteral("и ещё раз"));
                replaceUnderneath(real, otherVersion("с ноутбука"));
                QTRY_COMPARE(allTexts(f.tree()), row.tree);
            } else if (row.action == Exit) {
                QVERIFY(f.window->close());
            } else {
                f.key(Qt::Key_F2);
            }

            QVERIFY2(f.prompts().messages.size() == (row.answer ? 1 : 0), row.name);
            if (row.answer)
                QCOMPARE(f.lastMessage().section(u'[', -1), QStringLiteral("YesNoCancelQuestion]"));
            QCOMPARE(allTexts(f.tree()), row.tree);
            QCOMPARE(textsOfFile(f.taskFile), row.file);
            QCOMPARE(QFileInfo(f.taskFile).isSymLink(), row.symlink);
            const QFileInfo link(f.taskFile);
            const QStringList conflicts = link.absoluteDir().entryList({QStringLiteral("Tasks.XML.*.conflict")});
            QVERIFY2(conflicts.size() == (row.conflict.isEmpty() ? 0 : 1), row.name);
            if (!row.conflict.isEmpty())
                QCOMPARE(textsOfFile(link.absoluteDir().filePath(conflicts.first())), row.conflict);
        }
    }

    // Before the first save of a day the replaced file is kept; the newest fourteen stay.
    void dailyBackups()
    {
        MainHarness f(sampleTasks());
        const QDir backups(f.dir.filePath(QStringLiteral("Backups")));
        QVERIFY(backups.mkpath(QStringLiteral(".")));
        for (int day = 1; day <= 15; ++day)
            QVERIFY(QFile(backups.filePath(QStringLiteral("Tasks.2020-01-%1.XML").arg(day, 2, 10, QLatin1Char('0'))))
                        .open(QIODevice::WriteOnly));
        QVERIFY(QFile(backups.filePath(QStringLiteral("notes.txt"))).open(QIODevice::WriteOnly));
        f.show();

        f.key(Qt::Key_F2);
        f.fakes.editors.acceptWith(QStringLiteral("моя новая"));
        f.key(Qt::Key_Insert);
        f.key(Qt::Key_F2); // the same day: the morning's backup stays

        const QString today = QStringLiteral("Tasks.%1.XML").arg(QDate::currentDate().toString(Qt::ISODate));
        QCOMPARE(readFile(backups.filePath(today)), sampleTasks());
        QCOMPARE(textsOfFile(f.taskFile), QStringLiteral("alpha|alpha child|beta|моя новая|gamma"));
        QStringList kept = backups.entryList(QDir::Files, QDir::Name);
        QCOMPARE(kept.size(), Backups::kKept + 1);
        QCOMPARE(kept.first(), QStringLiteral("Tasks.2020-01-03.XML"));
        QVERIFY(kept.contains(QStringLiteral("notes.txt")));
    }

    // A backup folder that cannot be made is logged, and the save goes on.
    void backupFolderUnwritable()
    {
        MainHarness f(sampleTasks());
        QVERIFY(QFile(f.dir.filePath(QStringLiteral("Backups"))).open(QIODevice::WriteOnly)); // a file in its place
        f.show();
        f.fakes.editors.acceptWith(QStringLiteral("моя новая"));
        f.key(Qt::Key_Insert);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("No backup of the task file")));
        f.key(Qt::Key_F2);
        QVERIFY(f.prompts().messages.isEmpty());
        QCOMPARE(textsOfFile(f.taskFile), QStringLiteral("alpha|alpha child|beta|моя новая|gamma"));
    }
};

LISTRA_TEST_MAIN(TestTaskFileSync)
#include "tst_taskfilesync.moc"
