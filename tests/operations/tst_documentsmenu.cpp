#include "tests/operations/MainWindowFixture.h"

#include "ui/main/RelatedDocumentsMenu.h"

#include <QMenu>
#include <QTimer>
#include <functional>

namespace {

const QString kOpenFailed = QStringLiteral("Не удаётся открыть связанный документ.");

// Watches for the popup menu while it is open (its exec() does not return until it closes),
// records what it shows and then does what the user would do with it.
class MenuProbe
{
public:
    explicit MenuProbe(std::function<void(QMenu *)> user)
        : m_user(std::move(user))
    {
        m_timer.setInterval(0);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { look(); });
        m_timer.start();
    }
    ~MenuProbe() { m_timer.stop(); }

    bool shown = false;
    QStringList texts;
    QList<bool> enabled;
    bool headingBold = false;
    bool headingIsDefault = false;
    QPoint position;

private:
    void look()
    {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu) {
            if (++m_tries > 100)
                m_timer.stop();
            return;
        }
        m_timer.stop();
        shown = true;
        position = menu->pos();
        const QList<QAction *> actions = menu->actions();
        for (QAction *a : actions) {
            texts << a->text();
            enabled << a->isEnabled();
        }
        if (!actions.isEmpty()) {
            headingBold = actions.first()->font().bold();
            headingIsDefault = menu->defaultAction() == actions.first();
        }
        m_user(menu);
    }

    std::function<void(QMenu *)> m_user;
    QTimer m_timer;
    int m_tries = 0;
};

void closeMenu(QMenu *menu)
{
    QTest::keyClick(menu, Qt::Key_Escape);
}

std::function<void(QMenu *)> chooseEntry(int index)
{
    return [index](QMenu *menu) {
        QAction *entry = menu->actions().at(index);
        QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(entry).center());
    };
}

} // namespace

class TestDocumentsMenu : public TestCase
{
    Q_OBJECT
private Q_SLOTS:
    void menuListsTheDocumentsAtTheTreeCorner()
    {
        MainWindowFixture f;
        TaskNode *three = f.task(f.root(), QStringLiteral("three"), TaskStatus::Progress,
                                 {QStringLiteral("/tmp/one.txt"), QStringLiteral("https://example.org/?a=1&b=2"),
                                  QStringLiteral("/tmp/one.txt")});
        TaskNode *one = f.task(f.root(), QStringLiteral("one"), TaskStatus::Progress, {QStringLiteral("/only")});
        const QPoint corner = f.tvTasks()->mapToGlobal(QPoint(0, 0));

        {
            MenuProbe probe(closeMenu);
            QTest::mousePress(f.viewport(), Qt::RightButton, Qt::NoModifier, f.pointOf(three));
            QVERIFY(probe.shown);
            QCOMPARE(probe.texts, (QStringList{QStringLiteral("Связанные документы"), QStringLiteral("    /tmp/one.txt"),
                                               QStringLiteral("    https://example.org/?a=1&&b=2"),
                                               QStringLiteral("    /tmp/one.txt")}));
            QCOMPARE(probe.enabled, (QList<bool>{false, true, true, true}));
            QVERIFY(probe.headingBold);
            QVERIFY(probe.headingIsDefault);
            QCOMPARE(probe.position, corner);
            QCOMPARE(f.tree().selected(), three);
        }
        QTest::mouseRelease(f.viewport(), Qt::RightButton, Qt::NoModifier, f.pointOf(three));

        // Opened again for a task with fewer documents: only its own entry is left.
        {
            MenuProbe probe(closeMenu);
            QTest::mousePress(f.viewport(), Qt::MiddleButton, Qt::NoModifier, f.pointOf(one));
            QVERIFY(probe.shown);
            QCOMPARE(probe.texts, (QStringList{QStringLiteral("Связанные документы"), QStringLiteral("    /only")}));
            QCOMPARE(probe.position, corner);
            QCOMPARE(f.tree().selected(), one);
        }
        QTest::mouseRelease(f.viewport(), Qt::MiddleButton, Qt::NoModifier, f.pointOf(one));

        // Space on the selected task: the same menu, at the same corner.
        f.select(three);
        {
            MenuProbe probe(closeMenu);
            f.key(Qt::Key_Space);
            QVERIFY(probe.shown);
            QCOMPARE(probe.texts.size(), 4);
            QCOMPARE(probe.position, corner);
        }
        QVERIFY(f.fakes.opener.opened.isEmpty());
    }

    void noMenuWhereThereIsNothingToOpen()
    {
        MainWindowFixture f;
        TaskNode *bare = f.task(f.root(), QStringLiteral("bare"));
        TaskNode *other = f.task(f.root(), QStringLiteral("other"), TaskStatus::Progress, {QStringLiteral("/x")});
        f.select(other);

        MenuProbe probe(closeMenu);
        QTest::mouseClick(f.viewport(), Qt::RightButton, Qt::NoModifier, f.emptySpace());
        QCOMPARE(f.tree().selected(), other);
        QTest::mouseClick(f.viewport(), Qt::RightButton, Qt::NoModifier, f.pointOf(f.root()));
        QCOMPARE(f.tree().selected(), f.root());
        f.key(Qt::Key_Space);
        QTest::mouseClick(f.viewport(), Qt::RightButton, Qt::NoModifier, f.pointOf(bare));
        QCOMPARE(f.tree().selected(), bare);
        f.key(Qt::Key_Space);
        QCoreApplication::processEvents();
        QVERIFY(!probe.shown);
        QVERIFY(f.prompts().messages.isEmpty());
    }

    void choosingAnEntryOpensItsFullText()
    {
        MainWindowFixture f;
        const QString ampersands = QStringLiteral("/home/user/Tom & Jerry/a&&b.txt");
        const QString missing = QStringLiteral("/nowhere/Отчёт.doc");
        TaskNode *task = f.task(f.root(), QStringLiteral("docs"), TaskStatus::Progress,
                                {QStringLiteral("/first"), ampersands, missing});
        f.fakes.opener.failing.insert(missing);

        {
            MenuProbe probe(chooseEntry(2));
            QTest::mouseClick(f.viewport(), Qt::RightButton, Qt::NoModifier, f.pointOf(task));
            QVERIFY(probe.shown);
            QCOMPARE(probe.texts.at(2), QStringLiteral("    /home/user/Tom && Jerry/a&&&&b.txt"));
        }
        QCOMPARE(f.fakes.opener.opened, QStringList{ampersands});
        QVERIFY(f.prompts().messages.isEmpty());

        // The heading cannot be chosen.
        {
            MenuProbe probe([](QMenu *menu) {
                chooseEntry(0)(menu);
                if (menu->isVisible())
                    closeMenu(menu);
            });
            f.key(Qt::Key_Space);
            QVERIFY(probe.shown);
        }
        QCOMPARE(f.fakes.opener.opened.size(), 1);

        // A document that cannot be opened: its text, a blank line, the message.
        {
            MenuProbe probe(chooseEntry(3));
            f.key(Qt::Key_Space);
            QVERIFY(probe.shown);
        }
        QCOMPARE(f.fakes.opener.opened.last(), missing);
        QCOMPARE(f.prompts().messages.size(), 1);
        QCOMPARE(f.prompts().lastText(), missing + QStringLiteral("\r\n\r\n") + kOpenFailed);
        QCOMPARE(f.prompts().messages.last().style, 16);
        QCOMPARE(task->info()->RelatedDocuments().size(), 3);
    }
};

LISTRA_TEST_MAIN(TestDocumentsMenu)
#include "tst_documentsmenu.moc"
