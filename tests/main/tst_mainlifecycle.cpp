#include "tests/main/MainHarness.h"

#include "components/ActivationChannel.h"
#include "settings/AutorunStart.h"

#include <QDir>
#include <QScreen>
#include <QToolButton>
#include <thread>

// Loading, unloading, settings, placement, the tray and the activation channel.
class MainLifecycleTest : public TestCase
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        TestCase::init();
        programSettings()->clear();
    }

    void unloadWithFailingSave()
    {
        QTemporaryDir locked;
        QFile blocker(locked.filePath(QStringLiteral("file"))); // a file where the folder should be
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        MainHarness h({}, frmMain::Options {blocker.fileName() + QStringLiteral("/Tasks.XML")});
        h.show();
        frmMain &w = *h.window;
        FakePrompts &p = h.prompts();
        QSignalSpy unloaded(&w, &frmMain::unloaded);
        h.key(Qt::Key_F2);
        QCOMPARE(h.lastMessage(), QStringLiteral("Не удалось сохранить файл с задачами. [16]"));
        QVERIFY(!p.errorDetails.last().isEmpty());

        // Closing asks; No keeps everything working.
        p.answers = {MsgAnswer::No};
        QVERIFY(!w.close());
        QCOMPARE(h.lastMessage(),
                 QStringLiteral("Не удалось сохранить файл с задачами. Всё равно выйти из программы? [20]"));
        QVERIFY(w.isVisible() && w.isActivationListening());
        QCOMPARE(unloaded.size(), 0);
        h.fakes.editors.acceptWith(QStringLiteral("still works"));
        h.key(Qt::Key_Insert);
        QCOMPARE(h.tree().selected()->text(), QStringLiteral("still works"));

        // Yes ends the program: the channel closes and the settings are written.
        QVERIFY(w.close());
        QCOMPARE(unloaded.size(), 1);
        QVERIFY(!ActivationServer::requestActivation(w.activationChannelName(), 500));
    }

    void settingsFallBackAndPlacementIsKept()
    {
        {
            auto s = programSettings();
            s->setValue(QStringLiteral("Collapse on ESC"), QStringLiteral("not a boolean"));
            s->setValue(QStringLiteral("Colors/Done Tasks Color"), -1);
            s->setValue(QStringLiteral("Colors/Done Tasks Back Color"), QStringLiteral("green"));
            s->setValue(QStringLiteral("Effects/Style"), 4);
            s->setValue(QStringLiteral("Effects/Slide Direction"), 9);
        }
        QRect placed;
        {
            MainHarness h(sampleTasks());
            h.show();
            const AppSettings &a = h.settings;
            QVERIFY(a.CollapseOnESC);
            QCOMPARE(a.DoneTasksColor, OleColor(0x00B900));
            QCOMPARE(a.DoneTasksBackColor, OleColor(0x9BFF9B));
            QCOMPARE(a.EffectStyle, 1);
            QCOMPARE(a.SlideDirection, 7);
            QCOMPARE(h.root()->child(0)->child(0)->foreColor(), OleColor(0x00B900)); // a done task shows it
            // No placement stored: the design size, centred.
            QCOMPARE(h.window->size(), QSize(541, 409));
            const QPoint centre = h.window->screen()->availableGeometry().center();
            QVERIFY(qAbs(h.window->frameGeometry().center().x() - centre.x()) <= 1);
            h.window->setGeometry(QRect(120, 90, 700, 520));
            QTRY_COMPARE(h.window->size(), QSize(700, 520));
            placed = h.window->geometry();
            QVERIFY(h.window->close());
        }
        MainHarness h;
        h.show();
        QCOMPARE(h.window->geometry(), placed);
        QCOMPARE(h.tv()->width(), 700);
    }

    void trayOrMinimised()
    {
        const std::pair<const char *, bool> variants[]
            = {{"/Autorun", true}, {"  /aUtOrUn\t", true}, {"/Autorun now", false}, {"-Autorun", false}, {"", false}};
        for (const auto &[text, autorun] : variants)
            QVERIFY2(AutorunStart::isAutorun(QString::fromLatin1(text)) == autorun, text);
        QVERIFY(AutorunStart::isAutorun(AutorunStart::argumentText({QStringLiteral("x"), QStringLiteral("/AUTORUN")})));
        // Started with "/Autorun" or minimised: hidden in the tray, or with no tray to come back
        // from, minimised instead of vanishing.
        for (const bool tray : {true, false}) {
            MainHarness autorun(sampleTasks(), frmMain::Options {{}, true});
            autorun.fakes.tray.available = tray;
            autorun.window->Load();
            QCOMPARE(autorun.window->isVisible(), !tray);
            QCOMPARE(autorun.window->isMinimized(), !tray);

            MainHarness h(sampleTasks());
            h.fakes.tray.available = tray;
            h.show();
            const QPoint place = h.window->pos();
            h.window->showMinimized();
            QTest::qWait(20);
            QTRY_COMPARE(h.window->isVisible(), !tray);
            QCOMPARE(h.window->isMinimized(), !tray);
            if (!tray) { // Escape does the same
                h.window->showNormal();
                h.key(Qt::Key_Escape);
                QVERIFY(h.window->isMinimized() && !h.window->isUnloaded());
            }
            h.fakes.tray.click();
            QVERIFY(h.window->isVisible() && !h.window->isMinimized());
            QCOMPARE(h.window->pos(), place);
        }
    }

    void activationBringsTheWindowBack()
    {
        MainHarness h(sampleTasks());
        h.show();
        h.window->statusButton()->setFocus(); // after the show effect the tree has the keyboard
        h.window->HideToTray();
        // A second start asks from another thread, as another process would.
        bool answered = false;
        std::thread second(
            [&] { answered = ActivationServer::requestActivation(h.window->activationChannelName(), 5000); });
        const bool shown = QTest::qWaitFor([&] { return h.window->isVisible(); }, 5000);
        second.join();
        QVERIFY(shown && answered);
        QCOMPARE(h.window->focusWidget(), h.tv());
    }

    void unreadableFileIsKeptAside()
    {
        const QByteArray garbage = QByteArrayLiteral("<Tasks><Task Name=\"cut off");
        MainHarness h(garbage);
        h.show();
        const QStringList copies = QDir(h.dir.path()).entryList({QStringLiteral("*.unreadable")}, QDir::Files);
        QCOMPARE(copies.size(), 1);
        QCOMPARE(h.lastMessage(),
                 QStringLiteral("Не удалось загрузить файл данных.\r\n\r\nКопия файла сохранена: ")
                     + h.dir.filePath(copies.at(0)) + QStringLiteral(" [16]"));
        QCOMPARE(h.tree().count(), 1);
        // The next save replaces the file; the copy stays as it was.
        h.fakes.editors.acceptWith(QStringLiteral("fresh"));
        h.key(Qt::Key_Insert);
        h.key(Qt::Key_F2);
        QVERIFY(h.fileContent().contains("fresh"));
        QFile copy(h.dir.filePath(copies.at(0)));
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), garbage);
    }
};

LISTRA_TEST_MAIN(MainLifecycleTest)
#include "tst_mainlifecycle.moc"
