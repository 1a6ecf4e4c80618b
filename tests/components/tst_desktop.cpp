// SPDX-License-Identifier: MIT
#include "components/AppIdentity.h"
#include "components/platform/SystemStartupRegistration.h"
#include "components/qt/DesktopOpener.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

// What the program leaves to the desktop: opening documents and the autostart entry.
class TestDesktop : public TestCase
{
    Q_OBJECT
private Q_SLOTS:
    void documentResolution()
    {
        QTemporaryDir dir;
        for (const QString &name : {QStringLiteral("план.txt"), QStringLiteral("C:\\x")})
            QVERIFY(QFile(dir.filePath(name)).open(QIODevice::WriteOnly));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
        QVERIFY(QFile(TestSupport::homeDir() + QStringLiteral("/home-file")).open(QIODevice::WriteOnly));
        auto resolve = [&](const QString &doc) { return DesktopOpener::resolveDocument(doc, dir.path()); };
        auto local = [&](const QString &name) { return QUrl::fromLocalFile(dir.filePath(name)); };
        // Addresses stay addresses; paths, absolute or relative to the current folder, must exist.
        QCOMPARE(resolve(QStringLiteral("https://example.org/a?b=c")),
                 QUrl(QStringLiteral("https://example.org/a?b=c")));
        QCOMPARE(resolve(QStringLiteral("mailto:someone@example.org"))->scheme(), QStringLiteral("mailto"));
        QCOMPARE(resolve(dir.filePath(QStringLiteral("план.txt"))), local(QStringLiteral("план.txt")));
        QCOMPARE(resolve(QStringLiteral("sub/../план.txt")), local(QStringLiteral("план.txt")));
        QCOMPARE(resolve(QStringLiteral("sub")), local(QStringLiteral("sub")));
        QCOMPARE(resolve(QStringLiteral("C:\\x")), local(QStringLiteral("C:\\x"))); // a drive letter is no scheme
        for (const QString &doc : {QStringLiteral("missing.txt"), QStringLiteral("file:///no/such/file"),
                                   QStringLiteral("http://[broken"), QStringLiteral("~/home-file"), QString()})
            QVERIFY2(!resolve(doc), qPrintable(doc));
    }

    // The desktop's helper is a script on PATH: it records what it was given, waits until the
    // test lets it go, and exits with the status the row asks for.
    void openerReportsWhatTheDesktopReports_data()
    {
        QTest::addColumn<QString>("document");
        QTest::addColumn<int>("exitStatus");
        QTest::addColumn<QString>("handedOver"); // "" = the helper is not started
        QTest::addColumn<bool>("failed");
        QTest::newRow("file opens") << "план.txt" << 0 << "@/план.txt" << false;
        QTest::newRow("address opens") << "https://example.org/a b" << 0 << "https://example.org/a%20b" << false;
        QTest::newRow("no program for it") << "план.txt" << 3 << "@/план.txt" << true;
        QTest::newRow("opening failed") << "https://example.org" << 4 << "https://example.org" << true;
        QTest::newRow("missing file") << "missing.txt" << 0 << "" << true;
    }
    void openerReportsWhatTheDesktopReports()
    {
        QFETCH(QString, document);
        QFETCH(int, exitStatus);
        QFETCH(QString, handedOver);
        QFETCH(bool, failed);
        QTemporaryDir dir;
        QVERIFY(QFile(dir.filePath(QStringLiteral("план.txt"))).open(QIODevice::WriteOnly));
        QFile script(dir.filePath(QStringLiteral("xdg-open")));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(
            QStringLiteral("#!/bin/sh\necho \"$$ $1\" > '%1/seen'\nwhile [ ! -e '%1/go' ]; do sleep 0.02; done\n"
                           "exit %2\n")
                .arg(dir.path())
                .arg(exitStatus)
                .toUtf8());
        script.close();
        script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(dir.path()) + ':' + path);
        const QString oldCurrent = QDir::currentPath();
        QDir::setCurrent(dir.path());
        if (failed)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("could not open|Nothing to open")));

        QObject context;
        int failures = 0;
        DesktopOpener opener;
        opener.open(document, &context, [&] { ++failures; });
        QDir::setCurrent(oldCurrent);
        qputenv("PATH", path);
        if (!handedOver.isEmpty()) {
            QCOMPARE(failures, 0); // the window is not held up while the helper runs
            QFile seen(dir.filePath(QStringLiteral("seen")));
            QTRY_VERIFY(seen.size() > 0);
            QVERIFY(QFile(dir.filePath(QStringLiteral("go"))).open(QIODevice::WriteOnly));
            QVERIFY(seen.open(QIODevice::ReadOnly));
            const QStringList pidAndArgument = QString::fromUtf8(seen.readAll().trimmed()).split(u' ');
            QCOMPARE(pidAndArgument.mid(1).join(u' '), QString(handedOver).replace(u'@', dir.path()));
            // Reaped only where its exit is handled: whatever it reports has been reported.
            QTRY_VERIFY(!QFile::exists(QStringLiteral("/proc/") + pidAndArgument[0]));
        }
        QCOMPARE(failures, int(failed));
    }

    void autostartEntry()
    {
        const QString folder = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/autostart");
        const QString guid = AppIdentity::kGuid, entry = folder + u'/' + guid + QStringLiteral(".desktop");
        auto execLine = [&] { // as a launcher reads it
            QFile f(entry);
            const QStringList lines
                = f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()).split(u'\n') : QStringList();
            return lines.value(0) == QStringLiteral("[Desktop Entry]") ? lines.filter(QStringLiteral("Exec=")).value(0)
                                                                       : QString();
        };
        SystemStartupRegistration reg;
        QString error;
        QVERIFY(!reg.IsRegistered(guid));
        QVERIFY(reg.Unregister(guid, &error)); // nothing to remove is no failure
        // Registering again refreshes the one entry. Blanks and shell marks are quoted, a
        // backslash doubled for the quoting and again for the file format, a percent doubled.
        const QStringList executables[] = {
            {QStringLiteral("/opt/Listra Apps/listra"), QStringLiteral("Exec=\"/opt/Listra Apps/listra\" /Autorun")},
            {QStringLiteral("/opt/100% a&b;c$d`e\\x/listra"),
             QStringLiteral("Exec=\"/opt/100%% a&b;c\\\\$d\\\\`e\\\\\\\\x/listra\" /Autorun")},
            {QStringLiteral("/home/пользователь/listra"), QStringLiteral("Exec=/home/пользователь/listra /Autorun")},
        };
        for (const QStringList &e : executables) {
            QVERIFY2(reg.Register(guid, u'"' + e[0] + QStringLiteral("\" /Autorun"), &error), qPrintable(error));
            QCOMPARE(execLine(), e[1]);
        }
        QVERIFY(reg.IsRegistered(guid));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 1);
        QVERIFY(reg.Unregister(guid, &error));
        QVERIFY(!QFile::exists(entry) && error.isEmpty());

        // A non-empty folder where the entry goes: it can be neither written nor removed.
        QVERIFY(QDir().mkpath(entry + QStringLiteral("/inside")));
        QVERIFY(!reg.IsRegistered(guid));
        QVERIFY(!reg.Register(guid, QStringLiteral("listra"), &error) && !error.isEmpty());
        error.clear();
        QVERIFY(!reg.Unregister(guid, &error) && error.contains(entry));
        // A name that would leave the folder is refused.
        QVERIFY(!reg.Register(QStringLiteral("../escape"), QStringLiteral("listra"), &error));
        QVERIFY(!QFile::exists(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/escape.desktop")));
    }
};

LISTRA_TEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
