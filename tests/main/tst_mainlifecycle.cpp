// SPDX-License-Identifier: MIT
#include "tests/main/MainHarness.h"

#include "components/qt/ActivationChannel.h"
#include "components/qt/SystemTrayIcon.h"
#include "settings/AutorunStart.h"
#include "storage/EmergencyCopy.h"
#include "ui/main/TaskOperations.h"

#include <QAction>
#include <QMenu>
#include <QProcess>
#include <QScopeGuard>
#include <QScreen>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTimer>

// Loading, unloading, settings, the first placement and the tray.
class MainLifecycleTest : public TestCase
{
    Q_OBJECT
private Q_SLOTS:
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
        QCOMPARE(h.lastMessage(), QStringLiteral("Не удалось сохранить файл с задачами. [OkCritical]"));
        QVERIFY(!p.errorDetails.last().isEmpty());

        // Closing asks; No keeps the program running.
        p.answers = {MsgAnswer::No};
        QVERIFY(!w.close());
        QCOMPARE(h.lastMessage(),
                 QStringLiteral("Не удалось сохранить файл с задачами. Всё равно выйти из программы? [YesNoCritical]"));
        QVERIFY(w.isVisible() && w.isActivationListening());
        QCOMPARE(unloaded.size(), 0);

        // Yes ends the program: the channel closes and the settings are written.
        QVERIFY(w.close());
        QCOMPARE(unloaded.size(), 1);
        QVERIFY(!ActivationServer::requestActivation(w.activationChannelName(), 500));
    }

    void sessionEndSaveFailsIntoEmergencyCopy_data()
    {
        QTest::addColumn<bool>("autorun");
        QTest::addColumn<MsgAnswer>("answer");
        QTest::newRow("load the copy") << false << MsgAnswer::Yes;
        QTest::newRow("keep the file") << false << MsgAnswer::No;
        QTest::newRow("autorun: asked at the first show") << true << MsgAnswer::Yes;
    }

    void sessionEndSaveFailsIntoEmergencyCopy()
    {
        QFETCH(bool, autorun);
        QFETCH(MsgAnswer, answer);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("Tasks.XML"));
        QVERIFY(QDir().mkdir(file)); // a folder in the file's place: every save fails
        {
            MainHarness h({}, frmMain::Options {file});
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Not a regular file")));
            h.show();
            QVERIFY(h.prompts().messages.isEmpty()); // a folder is no task file: nothing to say
            h.task(h.root(), QStringLiteral("Купить хлеб"));
            QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("could not be saved")));
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("emergency copy")));
            h.window->EndSession();
            QCOMPARE(h.window->exitCode(), 1);
            QVERIFY(h.prompts().messages.isEmpty()); // nobody is there to answer
        }
        QVERIFY(QDir().rmdir(file));

        // The next start offers it; Yes puts it in the file's place, the old file kept aside.
        // The journal of those changes belongs to no file that is there now: it goes aside too.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("journal .* was not applied")));
        MainHarness h(sampleTasks(), frmMain::Options {file, autorun});
        h.prompts().answers = {answer};
        h.window->Load();
        if (autorun) {
            QVERIFY(h.prompts().messages.isEmpty());
            h.window->ActivateMainWindow();
        }
        QTRY_COMPARE(h.prompts().messages.size(), 1);
        QVERIFY(h.prompts().lastText().startsWith(QStringLiteral("При прошлом завершении работы")));
        const bool loaded = answer == MsgAnswer::Yes;
        QTRY_COMPARE(MainHarness::childTexts(h.root()),
                     loaded ? QStringLiteral("Купить хлеб") : QStringLiteral("alpha|beta|gamma"));
        QCOMPARE(EmergencyCopy::find(file).isEmpty(), loaded);
        const QStringList aside = QDir(dir.path()).entryList({QStringLiteral("Tasks.XML.*.replaced")});
        QCOMPARE(aside.size(), loaded ? 1 : 0);
        if (loaded)
            QCOMPARE(readFile(dir.filePath(aside.first())), sampleTasks());
    }

    // Leftovers of saves killed before their rename go at the start; nothing else beside the
    // file does. (A folder in the file's place, and saves into it, are the emergency copy's case.)
    void leftoverTemporariesGoAtTheStart()
    {
        MainHarness h(sampleTasks());
        const QStringList leftovers {QStringLiteral("Tasks.XML.aB3dE9"), QStringLiteral("Tasks.XML.Zz0000")};
        const QStringList kept {QStringLiteral("Tasks.XML.20261207-101010.unreadable"), QStringLiteral("Tasks.XML.abc"),
                                QStringLiteral("Tasks.XML.abcdefg"), QStringLiteral("Other.XML.aB3dE9")};
        for (const QString &name : leftovers + kept)
            QVERIFY(writeFile(h.dir.filePath(name), sampleTasks()));
        h.show();
        QStringList expected = kept + QStringList {QStringLiteral("Tasks.XML")};
        expected.sort();
        QCOMPARE(QDir(h.dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name), expected);
        QCOMPARE(MainHarness::childTexts(h.root()), QStringLiteral("alpha|beta|gamma"));
    }

    // On a nearly full disk a damaged file that cannot be copied aside blocks saves while it
    // stands there, and a full disk is named as such.
    void fullDisk()
    {
        QTemporaryDir place;
        QProcess mount;
        mount.start(QStringLiteral("mount"),
                    {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"), QStringLiteral("size=256k"),
                     QStringLiteral("tmpfs"), place.path()});
        if (!mount.waitForFinished() || mount.exitStatus() != QProcess::NormalExit || mount.exitCode() != 0)
            QSKIP("a small tmpfs cannot be mounted here (it takes root)");
        auto unmount = qScopeGuard([&] { QProcess::execute(QStringLiteral("umount"), {place.path()}); });

        const QByteArray damaged = "<Tasks>\n<Task Name=\"" + QByteArray(160 * 1024, 'x') + "\">\n</Tusk>";
        MainHarness h(damaged, frmMain::Options {place.filePath(QStringLiteral("Tasks.XML"))});
        h.show();
        QCOMPARE(h.lastMessage(), QStringLiteral("Не удалось загрузить файл данных. [OkCritical]"));
        const QString details = h.prompts().errorDetails.last();
        QVERIFY2(
            details.contains(QStringLiteral("(строка 3, столбец 3)"))
                && details.contains(QStringLiteral("Копию файла сделать не удалось: Недостаточно места на диске (")),
            qPrintable(details));

        h.key(Qt::Key_F2);
        QVERIFY2(h.prompts().errorDetails.last().contains(QStringLiteral("Недостаточно места на диске (")),
                 qPrintable(h.prompts().errorDetails.last()));
        QCOMPARE(h.prompts().messages.size(), 2);
        QVERIFY(QFile::remove(h.taskFile));
        h.key(Qt::Key_F2);
        QCOMPARE(h.prompts().messages.size(), 2);
        const QByteArray saved = readFile(h.taskFile);
        QVERIFY(saved.contains("<Tasks />"));

        for (int i = 0; i < 400; ++i)
            h.task(h.root(), QString(1000, QLatin1Char('y')));
        h.key(Qt::Key_F2);
        QCOMPARE(h.lastMessage(), QStringLiteral("Не удалось сохранить файл с задачами. [OkCritical]"));
        QVERIFY2(h.prompts().errorDetails.last().contains(QStringLiteral(": Недостаточно места на диске (")),
                 qPrintable(h.prompts().errorDetails.last()));
        QCOMPARE(readFile(h.taskFile), saved);
        QCOMPARE(QDir(place.path()).entryList(QDir::Files), QStringList {QStringLiteral("Tasks.XML")});
    }

    void unsavedChangesComeBackWithANote()
    {
        // Under "/Autorun" too: with a tray as a balloon, without one as a note in the window.
        for (const bool tray : {true, false}) {
            QTemporaryDir dir;
            const QString file = dir.filePath(QStringLiteral("Tasks.XML"));
            {
                MainHarness h(sampleTasks(), frmMain::Options {file});
                h.show();
                h.fakes.editors.acceptWith(QStringLiteral("Купить хлеб"));
                h.key(Qt::Key_Insert);
                QCoreApplication::processEvents();
            } // gone without a save, as after a kill
            MainHarness h({}, frmMain::Options {file, true});
            h.fakes.tray.available = tray;
            h.window->Load();
            QCOMPARE(MainHarness::childTexts(h.root()->child(1)), QStringLiteral("Купить хлеб")); // under "beta"
            const QString note = QStringLiteral("Восстановлены несохранённые изменения: 1.");
            QCOMPARE(h.fakes.tray.messages, tray ? QStringList {note} : QStringList());
            QCOMPARE(h.window->statusBar()->currentMessage(), tray ? QString() : note);
            QVERIFY(h.prompts().messages.isEmpty());
            // The restored tree is unsaved: the exit writes it.
            h.window->close();
            QTRY_VERIFY(h.window->isUnloaded());
            QVERIFY(readFile(file).contains("Купить хлеб"));
        }
    }

    void settingsFallBackAndFirstPlacement()
    {
        {
            auto s = programSettings();
            s->setValue(QStringLiteral("Collapse on ESC"), QStringLiteral("not a boolean"));
            s->setValue(QStringLiteral("Colors/Done Tasks Color"), -1);
            s->setValue(QStringLiteral("Effects/Style"), 4);
            s->setValue(QStringLiteral("Effects/Slide Direction"), 9);
        }
        MainHarness h(sampleTasks());
        h.show();
        const AppSettings &a = h.settings;
        QVERIFY(a.CollapseOnESC);
        QCOMPARE(a.DoneTasksColor, OleColor(0x00B900));
        QCOMPARE(a.EffectStyle, 1);
        QCOMPARE(a.SlideDirection, 7);
        // A done task shows it: in its hue, made to read on the theme.
        const QModelIndex done = h.indexOf(h.root()->child(0)->child(0));
        QCOMPARE(h.tv()->taskModel()->data(done, Qt::ForegroundRole).value<QColor>().hslHue(), 120);
        // No placement stored: the design size, centred, the tree filling the width.
        QCOMPARE(h.window->size(), QSize(541, 409));
        const QPoint centre = h.window->screen()->availableGeometry().center();
        QVERIFY(qAbs(h.window->frameGeometry().center().x() - centre.x()) <= 1);
        QCOMPARE(h.tv()->width(), 541);
    }

    // Closing the window writes the settings file; the next window reads them back.
    void settingsWrittenOnClose()
    {
        MainHarness h(sampleTasks());
        h.show();
        h.settings.CollapseOnESC = false;
        h.settings.DoneTasksColor = OleColor(0x123456);
        h.settings.SlideDirection = 3;
        h.tv()->setFont(QFont(QStringLiteral("DejaVu Sans"), 15));
        h.window->resize(600, 450);
        QVERIFY(h.window->close());
        {
            auto s = programSettings();
            QCOMPARE(s->value(QStringLiteral("Collapse on ESC"), true).toBool(), false);
            QCOMPARE(s->value(QStringLiteral("Colors/Done Tasks Color")).toInt(), 0x123456);
            QCOMPARE(s->value(QStringLiteral("Effects/Slide Direction")).toInt(), 3);
        }
        MainHarness next(sampleTasks());
        next.show();
        QVERIFY(!next.settings.CollapseOnESC);
        QCOMPARE(next.settings.DoneTasksColor, OleColor(0x123456));
        QCOMPARE(next.window->size(), QSize(600, 450));
        QCOMPARE(next.tv()->font().pointSize(), 15);
    }

    // Started with "/Autorun": hidden in the tray, or with no tray to come back from, minimised.
    void autorunStartsInTheTrayOrMinimised()
    {
        QVERIFY(AutorunStart::isAutorun(QStringLiteral("  /aUtOrUn\t")));
        QVERIFY(!AutorunStart::isAutorun(QStringLiteral("/Autorun now")));
        for (const bool tray : {true, false}) {
            MainHarness autorun(sampleTasks(), frmMain::Options {{}, true});
            autorun.fakes.tray.available = tray;
            autorun.window->Load();
            QVERIFY2(autorun.window->isVisible() != tray && autorun.window->isMinimized() != tray, tray ? "tray" : "");
        }
    }

    // Minimised: hidden in the tray, or with no tray, minimised instead of vanishing; a click on
    // the tray icon brings it back where it was.
    void minimisedToTheTrayOrTheTaskbar()
    {
        for (const bool tray : {true, false}) {
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

    // The tray's "Новая задача…" under "/Autorun": the window stays hidden, the task goes last
    // under the top node as one undo step, and the first show brings it into view, selected.
    void newTaskFromTheTray()
    {
        SystemTrayIcon realTray;
        QSignalSpy asked(&realTray, &TrayIcon::newTaskRequested);
        for (QAction *entry : realTray.contextMenu()->actions())
            if (entry->text() == QStringLiteral("Новая задача…"))
                entry->trigger();
        QCOMPARE(asked.count(), 1);

        QByteArray file = "<Tasks>";
        for (int i = 0; i < 100; ++i) // more than the window shows: the new one is out of sight
            file += "<Task Name=\"" + QByteArray::number(i) + "\"/>";
        MainHarness h(file + "</Tasks>", frmMain::Options {{}, true});
        h.window->Load();
        QVERIFY(!h.window->isVisible());
        h.fakes.editors.cancel();
        h.fakes.tray.chooseNewTask();
        QCOMPARE(h.root()->childCount(), 100);
        bool hiddenMeanwhile = false;
        h.fakes.editors.scripts.push_back([&](FakeEditor &e) {
            hiddenMeanwhile = !h.window->isVisible();
            e.textValue = QStringLiteral("Позвонить");
            e.accepted = true;
        });
        h.fakes.tray.chooseNewTask();
        QVERIFY(hiddenMeanwhile && !h.window->isVisible());
        QCOMPARE(h.fakes.editors.captions, QStringList(2, QStringLiteral("Новая задача")));
        TaskNode *added = h.root()->child(100);
        QCOMPARE(added->text(), QStringLiteral("Позвонить"));

        h.fakes.tray.click();
        QVERIFY(QTest::qWaitForWindowExposed(h.window.get()));
        QCOMPARE(h.tv()->currentIndex(), h.indexOf(added));
        QVERIFY(h.shown(added));
        h.window->operations().Undo();
        QCOMPARE(h.root()->childCount(), 100);
    }

    // Where the window manager draws a minimise button on a dialog anyway, neither the dialog
    // nor its owner goes; the dialog opens in the middle of the screen, not over its owner.
    void dialogsStayWithTheirOwner()
    {
        MainHarness h(sampleTasks());
        h.show();
        h.window->move(0, 0);
        QString seen;
        QWidget *owner = h.window.get();
        QTimer::singleShot(0, owner, [&] {
            QWidget *dialog = QApplication::activeModalWidget();
            const QPoint centre = dialog->screen()->availableGeometry().center();
            seen += (dialog->frameGeometry().center() - centre).manhattanLength() <= 8 ? u'C' : u'-';
            for (QWidget *minimised : {dialog, owner}) {
                minimised->setWindowState(minimised->windowState() | Qt::WindowMinimized);
                QCoreApplication::processEvents();
                for (QWidget *w : {dialog, owner})
                    seen += w->isVisible() && !w->isMinimized() ? u'V' : u'-';
            }
            dialog->close();
        });
        h.key(Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(seen, QStringLiteral("CVVVV"));
        QVERIFY(h.fakes.effect.requests.isEmpty());
    }
};

LISTRA_TEST_MAIN(MainLifecycleTest)
#include "tst_mainlifecycle.moc"
