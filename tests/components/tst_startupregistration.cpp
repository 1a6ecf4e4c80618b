#include "components/AppIdentity.h"
#include "components/XdgStartupRegistration.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>

namespace {

QString autostartDir()
{
    return qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/autostart");
}

QString entryFile()
{
    return autostartDir() + QLatin1Char('/') + AppIdentity::kGuid + QStringLiteral(".desktop");
}

// The [Desktop Entry] lines as key -> raw value.
QMap<QString, QString> readEntry()
{
    QMap<QString, QString> keys;
    QFile f(entryFile());
    if (!f.open(QIODevice::ReadOnly))
        return keys;
    const QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    for (const QString &line : lines.mid(1)) {
        if (const qsizetype eq = line.indexOf(QLatin1Char('=')); eq > 0)
            keys.insert(line.left(eq), line.mid(eq + 1));
    }
    return lines.first() == QStringLiteral("[Desktop Entry]") ? keys : QMap<QString, QString>();
}

} // namespace

class TestStartupRegistration : public TestCase
{
    Q_OBJECT
private Q_SLOTS:
    void cleanup()
    {
        QDir(autostartDir()).removeRecursively();
        QFile::remove(autostartDir());
    }
    void registerAndUnregister();
    void execLineQuoting_data();
    void execLineQuoting();
    void failuresAreReported();
};

void TestStartupRegistration::registerAndUnregister()
{
    SystemStartupRegistration reg;
    const QString guid = AppIdentity::kGuid;
    QString error;
    QVERIFY(!reg.IsRegistered(guid));
    QVERIFY(reg.Unregister(guid, &error)); // nothing to remove is no failure
    QVERIFY(error.isEmpty());

    QVERIFY2(reg.Register(guid, QStringLiteral("\"/opt/Listra Apps/listra\" /Autorun"), &error), qPrintable(error));
    QVERIFY(reg.IsRegistered(guid));
    QMap<QString, QString> keys = readEntry();
    QCOMPARE(keys.value(QStringLiteral("Type")), QStringLiteral("Application"));
    QCOMPARE(keys.value(QStringLiteral("Name")), QStringLiteral("Listra"));
    QCOMPARE(keys.value(QStringLiteral("Exec")), QStringLiteral("\"/opt/Listra Apps/listra\" /Autorun"));
    QVERIFY(keys.value(QStringLiteral("X-GNOME-Autostart-Delay")).toInt() > 0);
    QCOMPARE(keys.value(QStringLiteral("X-KDE-autostart-after")), QStringLiteral("panel"));
    QCOMPARE(keys.value(QStringLiteral("X-LXQt-Need-Tray")), QStringLiteral("true"));

    // Again: refreshes the path, still one entry.
    QVERIFY(reg.Register(guid, QStringLiteral("\"/usr/bin/listra\" /Autorun"), &error));
    QCOMPARE(readEntry().value(QStringLiteral("Exec")), QStringLiteral("/usr/bin/listra /Autorun"));
    QCOMPARE(QDir(autostartDir()).entryList(QDir::Files | QDir::Hidden).size(), 1);

    // The system is asked each time: an entry a desktop disabled is not registered.
    QFile f(entryFile());
    QVERIFY(f.open(QIODevice::Append));
    f.write("Hidden=true\n");
    f.close();
    QVERIFY(!reg.IsRegistered(guid));

    QVERIFY(reg.Unregister(guid, &error));
    QVERIFY(!QFile::exists(entryFile()));
    QVERIFY(reg.Unregister(guid, &error));
    QVERIFY(error.isEmpty());
}

void TestStartupRegistration::execLineQuoting_data()
{
    // What a launcher must read back: quoting for blanks and reserved characters, a backslash
    // doubled for the quoting and again for the file format, a percent sign doubled.
    QTest::addColumn<QString>("executable");
    QTest::addColumn<QString>("exec");
    QTest::newRow("plain") << QStringLiteral("/usr/bin/listra") << QStringLiteral("/usr/bin/listra /Autorun");
    QTest::newRow("shell marks") << QStringLiteral("/opt/a&b;c$d`e(f)/listra")
                                 << QStringLiteral("\"/opt/a&b;c\\\\$d\\\\`e(f)/listra\" /Autorun");
    QTest::newRow("backslash and percent")
        << QStringLiteral("/opt/100% \\x/listra") << QStringLiteral("\"/opt/100%% \\\\\\\\x/listra\" /Autorun");
    QTest::newRow("cyrillic") << QStringLiteral("/home/пользователь/listra")
                              << QStringLiteral("/home/пользователь/listra /Autorun");
}

void TestStartupRegistration::execLineQuoting()
{
    QFETCH(QString, executable);
    QFETCH(QString, exec);
    SystemStartupRegistration reg;
    QString error;
    QVERIFY(reg.Register(AppIdentity::kGuid, QLatin1Char('"') + executable + QStringLiteral("\" /Autorun"), &error));
    QCOMPARE(readEntry().value(QStringLiteral("Exec")), exec);
}

void TestStartupRegistration::failuresAreReported()
{
    SystemStartupRegistration reg;
    QString error;
    // The folder cannot be made: a file stands in its place.
    QFile blocker(autostartDir());
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QVERIFY(!reg.Register(AppIdentity::kGuid, QStringLiteral("listra"), &error));
    QVERIFY(error.contains(autostartDir()));
    QVERIFY(QFile::remove(autostartDir()));

    // The entry can be neither written nor removed: a non-empty folder stands in its place.
    QVERIFY(QDir().mkpath(entryFile() + QStringLiteral("/inside")));
    QVERIFY(!reg.IsRegistered(AppIdentity::kGuid));
    error.clear();
    QVERIFY(!reg.Register(AppIdentity::kGuid, QStringLiteral("listra"), &error));
    QVERIFY(!error.isEmpty());
    error.clear();
    QVERIFY(!reg.Unregister(AppIdentity::kGuid, &error));
    QVERIFY(error.contains(entryFile()));

    // A name that would leave the folder is refused.
    QVERIFY(!reg.Register(QStringLiteral("../escape"), QStringLiteral("listra"), &error));
    QVERIFY(!QFile::exists(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/escape.desktop")));
}

LISTRA_TEST_MAIN(TestStartupRegistration)
#include "tst_startupregistration.moc"
