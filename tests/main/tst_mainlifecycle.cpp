#include "tests/main/MainHarness.h"
#include "tests/support/TestMain.h"

#include "app/Startup.h"
#include "components/ActivationChannel.h"
#include "components/AppIdentity.h"
#include "components/InstanceGuard.h"
#include "settings/AutorunStart.h"
#include "ui/main/TaskTreeView.h"

#include <QDir>
#include <QScreen>
#include <QToolButton>
#include <thread>

// Loading, unloading, settings, placement, the tray and the activation channel.
class MainLifecycleTest : public TestCase
{
    Q_OBJECT

private:
    // A task file that cannot be written.
    static QString unwritableTaskFile(QTemporaryDir &dir)
    {
        // A plain file where the folder should be stops every user, the superuser too.
        const QString blocker = dir.filePath(QStringLiteral("not-a-folder"));
        QFile f(blocker);
        if (f.open(QIODevice::WriteOnly))
            f.close();
        return blocker + QStringLiteral("/Tasks.XML");
    }

private Q_SLOTS:
    void initTestCase() { tolerateOffscreenLimits(); }

    void init()
    {
        TestCase::init();
        programSettings()->clear();
    }

    void unloadWithFailingSave()
    {
        QTemporaryDir locked;
        frmMain::Options o;
        o.taskFilePath = unwritableTaskFile(locked);
        MainHarness h({}, o);
        h.loadShown();
        frmMain &w = h.w();
        FakePrompts &p = h.fakes.prompts;
        QSignalSpy unloaded(&w, &frmMain::unloaded);
        QVERIFY(w.isActivationListening());

        // The save command reports the failure and goes on.
        QTest::keyClick(w.tvTasks(), Qt::Key_F2);
        QCOMPARE(p.messages.size(), 1);
        QCOMPARE(p.messages.at(0).text, QStringLiteral("Не удалось сохранить файл с задачами."));
        QCOMPARE(p.messages.at(0).style, 16);
        QVERIFY(!p.errorDetails.at(0).isEmpty());

        // Closing asks; No keeps everything working.
        p.answers.push_back(MsgAnswer::No);
        QVERIFY(!w.close());
        QCOMPARE(p.messages.size(), 2);
        QCOMPARE(p.messages.at(1).text,
                 QStringLiteral("Не удалось сохранить файл с задачами. Всё равно выйти из программы?"));
        QCOMPARE(p.messages.at(1).style, 20);
        QVERIFY(w.isVisible());
        QCOMPARE(unloaded.size(), 0);
        QVERIFY(w.isActivationListening());
        QVERIFY(!programSettings()->contains(QStringLiteral("Collapse on ESC")));
        QTest::keyClick(w.tvTasks(), Qt::Key_Escape);
        QVERIFY(!w.isVisible());
        h.fakes.tray.click();
        QVERIFY(w.isVisible());

        // Yes ends the program: the channel closes and the settings are written.
        p.answers.push_back(MsgAnswer::Yes);
        QVERIFY(w.close());
        QCOMPARE(unloaded.size(), 1);
        QVERIFY(!w.isActivationListening());
        QCOMPARE(programSettings()->value(QStringLiteral("Collapse on ESC")).toBool(), true);
        QVERIFY(!ActivationServer::requestActivation(w.activationChannelName(), 500));
    }

    void settingsRoundTrip()
    {
        {
            auto s = programSettings();
            s->setValue(QStringLiteral("Collapse on ESC"), QStringLiteral("not a boolean"));
            s->setValue(QStringLiteral("Full Row Select"), true);
            s->setValue(QStringLiteral("Don't Mark Sub Tasks"), QStringLiteral("True"));
            s->setValue(QStringLiteral("Colors/Done Tasks Color"), -1);
            s->setValue(QStringLiteral("Colors/Progress Tasks Color"), 0x1000000);
            s->setValue(QStringLiteral("Colors/Rejected Tasks Color"), 0xFFFFFF);
            s->setValue(QStringLiteral("Colors/Done Tasks Back Color"), QStringLiteral("green"));
            s->setValue(QStringLiteral("Colors/Rejected Tasks Back Color"), 0x123456);
            s->setValue(QStringLiteral("Colors/Use Back Color"), 1);
            s->setValue(QStringLiteral("Effects/Timeout"), -5);
            s->setValue(QStringLiteral("Effects/Style"), 4);
            s->setValue(QStringLiteral("Effects/Slide Direction"), 9);
            s->setValue(QStringLiteral("Tree Font"), QFont(QStringLiteral("Serif"), 17).toString());
        }
        MainHarness h(sampleTasks());
        h.loadShown();
        const AppSettings &a = h.settings;
        QCOMPARE(a.CollapseOnESC, true);
        QCOMPARE(a.FullRowSelect, true);
        QVERIFY(h.w().tvTasks()->fullRowSelect());
        QCOMPARE(a.DontMarkSubTasks, true);
        QCOMPARE(a.DoneTasksColor, OleColor(0x00B900));
        QCOMPARE(a.ProgressTasksColor, OleColor(0));
        QCOMPARE(a.RejectedTasksColor, OleColor(0xFFFFFF));
        QCOMPARE(a.DoneTasksBackColor, OleColor(0x9BFF9B));
        QCOMPARE(a.ProgressTasksBackColor, OleColor(0xFFFFFF));
        QCOMPARE(a.RejectedTasksBackColor, OleColor(0x123456));
        QCOMPARE(a.UseBackColor, true);
        QCOMPARE(a.EffectTimeout, -5);
        QCOMPARE(a.EffectStyle, 1);
        QCOMPARE(a.SlideDirection, 7);
        QCOMPARE(h.w().tvTasks()->font().pointSize(), 17);
        // The loaded colours are the ones the tasks show.
        QCOMPARE(h.task(2)->foreColor(), OleColor(0xFFFFFF));
        QCOMPARE(h.task(2)->backColor(), OleColor(0x123456));

        // What was corrected on load is written back corrected.
        h.settings.SlideDirection = 3;
        h.w().SaveSettings();
        auto s = programSettings();
        QCOMPARE(s->value(QStringLiteral("Colors/Done Tasks Color")).toInt(), 0x00B900);
        QCOMPARE(s->value(QStringLiteral("Colors/Progress Tasks Color")).toInt(), 0);
        QCOMPARE(s->value(QStringLiteral("Effects/Style")).toInt(), 1);
        QCOMPARE(s->value(QStringLiteral("Effects/Slide Direction")).toInt(), 3);
        QCOMPARE(s->value(QStringLiteral("Effects/Timeout")).toInt(), -5);
        QCOMPARE(s->value(QStringLiteral("Don't Mark Sub Tasks")).toBool(), true);

        // A second run reads them back unchanged.
        MainHarness again(sampleTasks());
        again.w().Load();
        QCOMPARE(again.settings.SlideDirection, 3);
        QCOMPARE(again.settings.RejectedTasksBackColor, OleColor(0x123456));
        QCOMPARE(again.w().tvTasks()->font().pointSize(), 17);
    }

    void emptyStoreGivesDefaults()
    {
        MainHarness h;
        h.loadShown();
        QCOMPARE(h.settings.EffectStyle, 1);
        QCOMPARE(h.w().tvTasks()->font().family(), QStringLiteral("Georgia"));
        QCOMPARE(h.w().tvTasks()->font().pointSize(), 12);
        // Design size, centred; only the top node, no message for a missing file.
        QCOMPARE(h.w().size(), QSize(541, 409));
        const QPoint centre = h.w().screen()->availableGeometry().center();
        QVERIFY(qAbs(h.w().frameGeometry().center().x() - centre.x()) <= 1);
        QCOMPARE(h.w().tree().count(), 1);
        QVERIFY(h.fakes.prompts.messages.isEmpty());
    }

    void placementKeptBetweenRuns()
    {
        QRect placed;
        {
            MainHarness h;
            h.loadShown();
            h.w().setGeometry(QRect(120, 90, 700, 520));
            QTRY_COMPARE(h.w().geometry().size(), QSize(700, 520));
            placed = h.w().geometry();
            QVERIFY(h.w().close());
        }
        MainHarness h;
        h.loadShown();
        QCOMPARE(h.w().geometry(), placed);
        QCOMPARE(h.w().tvTasks()->width(), 700);
    }

    void autorunStart()
    {
        using AutorunStart::isAutorun;
        QVERIFY(isAutorun(QStringLiteral("/Autorun")));
        QVERIFY(isAutorun(QStringLiteral("  /aUtOrUn\t")));
        QVERIFY(isAutorun(AutorunStart::argumentText({QStringLiteral("listra"), QStringLiteral("/AUTORUN")})));
        QVERIFY(!isAutorun(QStringLiteral("/Autorun now")));
        QVERIFY(!isAutorun(QStringLiteral("-Autorun")));
        QVERIFY(!isAutorun(QString()));
        QVERIFY(!isAutorun(AutorunStart::argumentText({QStringLiteral("listra")})));

        frmMain::Options o;
        o.autorun = true;
        {
            MainHarness h(sampleTasks(), o);
            h.w().Load();
            QVERIFY(!h.w().isVisible());
            QVERIFY(h.fakes.tray.inTrayValue);
            QVERIFY(h.fakes.effect.requests.isEmpty()); // hidden without an effect
            QVERIFY(h.w().isActivationListening());
            h.fakes.tray.click();
            QVERIFY(h.w().isVisible());
            QCOMPARE(h.w().tree().root()->childCount(), 3);
            // Ending the program from the tray works on a hidden window too.
            h.w().HideToTray();
            QVERIFY(!h.w().isVisible());
            QFile::remove(h.taskFile);
            QSignalSpy unloaded(&h.w(), &frmMain::unloaded);
            h.w().close();
            QCOMPARE(unloaded.size(), 1);
            QVERIFY(h.fileContent().contains("gamma"));
        }
        {
            // No tray to come back from: the window starts minimised instead of vanishing.
            MainHarness h(sampleTasks(), o);
            h.fakes.tray.available = false;
            h.w().Load();
            QVERIFY(h.w().isVisible());
            QVERIFY(h.w().isMinimized());
        }
    }

    void unreadableFileIsKeptAside()
    {
        const QByteArray garbage = QByteArrayLiteral("<Tasks><Task Name=\"cut off");
        MainHarness h(garbage);
        h.loadShown();
        FakePrompts &p = h.fakes.prompts;
        QCOMPARE(p.messages.size(), 1);
        QVERIFY(p.messages.at(0).text.startsWith(QStringLiteral("Не удалось загрузить файл данных.")));
        QCOMPARE(p.messages.at(0).style, 16);
        QCOMPARE(h.w().tree().count(), 1);

        const QStringList copies = QDir(h.dir.path()).entryList({QStringLiteral("*.unreadable")}, QDir::Files);
        QCOMPARE(copies.size(), 1);
        QVERIFY(p.messages.at(0).text.contains(copies.at(0)));
        QFile copy(h.dir.filePath(copies.at(0)));
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), garbage);

        // The next save replaces the file; the copy stays.
        h.fakes.editors.acceptWith(QStringLiteral("fresh"));
        QTest::keyClick(h.w().tvTasks(), Qt::Key_Insert);
        QTest::keyClick(h.w().tvTasks(), Qt::Key_F2);
        QVERIFY(h.fileContent().contains("fresh"));
        QCOMPARE(QDir(h.dir.path()).entryList({QStringLiteral("*.unreadable")}, QDir::Files).size(), 1);
    }

    void minimiseRequestHidesToTray()
    {
        {
            MainHarness h(sampleTasks());
            h.loadShown();
            frmMain &w = h.w();
            const QPoint place = w.pos();
            w.showMinimized();
            QTRY_VERIFY(!w.isVisible());
            QVERIFY(!w.isMinimized());
            QCOMPARE(h.fakes.effect.requests.size(), 1);
            QCOMPARE(h.fakes.effect.requests.at(0).show, false);
            h.fakes.tray.click();
            QVERIFY(w.isVisible());
            QVERIFY(!w.isMinimized());
            QCOMPARE(w.pos(), place);
        }
        {
            MainHarness h(sampleTasks());
            h.fakes.tray.available = false;
            h.loadShown();
            frmMain &w = h.w();
            w.showMinimized();
            QTest::qWait(20);
            QVERIFY(w.isMinimized());
            QVERIFY(w.isVisible());
            QVERIFY(h.fakes.effect.requests.isEmpty());
            // Escape with no tray minimises too, never strands the window.
            w.showNormal();
            QTest::keyClick(w.tvTasks(), Qt::Key_Escape);
            QVERIFY(w.isMinimized());
            QVERIFY(!w.isUnloaded());
        }
    }

    void activationChannelBringsTheWindowBack()
    {
        MainHarness h(sampleTasks());
        h.loadShown();
        frmMain &w = h.w();
        h.settings.EffectStyle = 2;
        w.statusButton()->setFocus();
        w.HideToTray();
        QVERIFY(!w.isVisible());

        // A second start asks from another thread, as another process would.
        bool answered = false;
        std::thread second([&] { answered = ActivationServer::requestActivation(w.activationChannelName(), 5000); });
        const bool shown = QTest::qWaitFor([&] { return w.isVisible(); }, 5000);
        second.join();
        QVERIFY(shown);
        QVERIFY(answered);
        QCOMPARE(h.fakes.effect.requests.last().show, true);
        QCOMPARE(h.fakes.effect.requests.last().style, 2);
        // With an effect the tree has the keyboard afterwards; without one the focus stays.
        QCOMPARE(w.focusWidget(), w.tvTasks());
        h.settings.EffectStyle = 0;
        w.statusButton()->setFocus();
        w.HideToTray();
        w.ActivateMainWindow();
        QVERIFY(w.isVisible());
        QCOMPARE(w.focusWidget(), w.statusButton());
    }

    void startupPieces()
    {
        FakePrompts prompts;
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("a/b/Listra"));
        const QString path = Startup::PrepareTaskFilePath(folder, prompts);
        QCOMPARE(path, folder + QStringLiteral("/Tasks.XML"));
        QVERIFY(QFileInfo(folder).isDir());
        QVERIFY(prompts.messages.isEmpty());
        // An existing folder is fine.
        QCOMPARE(Startup::PrepareTaskFilePath(folder, prompts), path);

        // A file where the folder should be.
        QFile blocker(dir.filePath(QStringLiteral("file")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QVERIFY(Startup::PrepareTaskFilePath(dir.filePath(QStringLiteral("file/Listra")), prompts).isEmpty());
        QCOMPARE(prompts.messages.size(), 1);
        QCOMPARE(prompts.messages.at(0).text, QStringLiteral("Не удаётся создать каталог данных программы."));
        QCOMPARE(prompts.messages.at(0).style, 16);

        // A second start while another instance holds the claim ends at once, windowless.
        InstanceGuard first;
        QVERIFY(first.IsFirstInstance(AppIdentity::kGuid));
        const int before = QApplication::topLevelWidgets().size();
        QCOMPARE(Startup::run({QStringLiteral("listra")}), 0);
        QCOMPARE(QApplication::topLevelWidgets().size(), before);
    }
};

LISTRA_TEST_MAIN(MainLifecycleTest)
#include "tst_mainlifecycle.moc"
