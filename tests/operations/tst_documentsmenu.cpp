#include "tests/main/MainHarness.h"

#include <QMenu>
#include <functional>

// The related-documents menu of a task, opened with Space or a button other than the left.
class TestDocumentsMenu : public TestCase
{
    Q_OBJECT

    struct Seen {
        QStringList texts;
        QPoint pos;
        bool headingBoldAndDisabled = false;
    };

    // Does `open`; notes the menu it brings up, then clicks entry `choose` or closes the menu.
    static Seen withMenu(const std::function<void()> &open, int choose = -1)
    {
        Seen seen;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            if (!menu)
                return;
            poll.stop();
            for (QAction *a : menu->actions())
                seen.texts << a->text();
            seen.pos = menu->pos();
            seen.headingBoldAndDisabled = menu->actions().at(0)->font().bold() && !menu->actions().at(0)->isEnabled();
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
        const QPoint corner = f.tv()->mapToGlobal(QPoint(0, 0));
        const QString heading = QStringLiteral("Связанные документы");

        // The right button: the task's menu at the tree's corner; an entry opens its full text.
        Seen seen = withMenu([&] { QTest::mouseClick(f.viewport(), Qt::RightButton, {}, f.pointOf(three)); }, 1);
        QCOMPARE(seen.texts,
                 (QStringList {heading, QStringLiteral("    /home/Tom && Jerry/a&&&&b.txt"),
                               QStringLiteral("    https://example.org/?a=1&&b=2"), QStringLiteral("    ") + missing}));
        QVERIFY(seen.headingBoldAndDisabled);
        QCOMPARE(seen.pos, corner);
        QCOMPARE(f.tree().selected(), three);
        QCOMPARE(f.fakes.opener.opened, QStringList {ampersands});
        // Space: the same menu; a document that cannot be opened says so.
        withMenu([&] { f.key(Qt::Key_Space); }, 3);
        QCOMPARE(f.fakes.opener.opened.last(), missing);
        QCOMPARE(f.lastMessage(), missing + QStringLiteral("\r\n\r\nНе удаётся открыть связанный документ. [16]"));

        // Opened again for fewer documents: only the new task's entries are left.
        seen = withMenu([&] { QTest::mouseClick(f.viewport(), Qt::MiddleButton, {}, f.pointOf(one)); });
        QCOMPARE(seen.texts, (QStringList {heading, QStringLiteral("    /only")}));
        QCOMPARE(seen.pos, corner);
        // No menu for the top node or a task without documents.
        for (TaskNode *none : {f.root(), bare}) {
            f.select(none);
            QVERIFY(withMenu([&] { f.key(Qt::Key_Space); }).texts.isEmpty());
        }
        QCOMPARE(f.fakes.opener.opened.size(), 2);
    }
};

LISTRA_TEST_MAIN(TestDocumentsMenu)
#include "tst_documentsmenu.moc"
