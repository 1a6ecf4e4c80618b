#include "components/AppIdentity.h"
#include "components/XdgStartupRegistration.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QSettings>

namespace {

QString autostartDir()
{
    return qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/autostart");
}

QString entryFile()
{
    return autostartDir() + QLatin1Char('/') + AppIdentity::kGuid + QStringLiteral(".desktop");
}

// The [Desktop Entry] keys as a desktop reads them (values still escaped).
QMap<QString, QString> readEntry(const QString &path)
{
    QMap<QString, QString> keys;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return keys;
    const QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    if (lines.value(0) != QStringLiteral("[Desktop Entry]"))
        return keys;
    for (const QString &line : lines) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq > 0)
            keys.insert(line.left(eq), line.mid(eq + 1));
    }
    return keys;
}

// A launcher's reading of an Exec value: string escapes first, then quoting, then "%%".
QStringList launcherArguments(const QString &exec)
{
    QString unescaped;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        if (exec.at(i) == QLatin1Char('\\') && i + 1 < exec.size()) {
            const QChar n = exec.at(++i);
            unescaped += n == QLatin1Char('n') ? QLatin1Char('\n') : n == QLatin1Char('t') ? QLatin1Char('\t') : n;
        } else {
            unescaped += exec.at(i);
        }
    }
    QStringList args;
    QString cur;
    bool quoted = false, any = false;
    for (qsizetype i = 0; i < unescaped.size(); ++i) {
        const QChar c = unescaped.at(i);
        if (quoted && c == QLatin1Char('\\') && i + 1 < unescaped.size()) {
            cur += unescaped.at(++i);
        } else if (c == QLatin1Char('"')) {
            quoted = !quoted;
            any = true;
        } else if (!quoted && c == QLatin1Char(' ')) {
            if (any)
                args.append(cur.replace(QStringLiteral("%%"), QStringLiteral("%")));
            cur.clear();
            any = false;
        } else {
            cur += c;
            any = true;
        }
    }
    if (any)
        args.append(cur.replace(QStringLiteral("%%"), QStringLiteral("%")));
    return args;
}

} // namespace

class TestStartupRegistration : public TestCase
{
    Q_OBJECT
private Q_SLOTS:
    void cleanup();
    void registerAndUnregister();
    void execLineQuoting_data();
    void execLineQuoting();
    void disabledEntryIsNotRegistered();
    void failuresAreReported();
    void defaultsToConfigUnderHome();
};

void TestStartupRegistration::cleanup()
{
    QDir(autostartDir()).removeRecursively();
    QFile::remove(autostartDir());
}

void TestStartupRegistration::registerAndUnregister()
{
    SystemStartupRegistration reg;
    const QString guid = AppIdentity::kGuid;
    QString error;

    QVERIFY(!reg.IsRegistered(guid));
    // Nothing to remove: still a success.
    QVERIFY(reg.Unregister(guid, &error));
    QVERIFY(error.isEmpty());

    const QString commandLine = QStringLiteral("\"/opt/Listra Apps/listra\" /Autorun");
    QVERIFY2(reg.Register(guid, commandLine, &error), qPrintable(error));
    QCOMPARE(SystemStartupRegistration::entryPath(guid), entryFile());
    QVERIFY(QFile::exists(entryFile()));
    QVERIFY(reg.IsRegistered(guid));

    const QMap<QString, QString> keys = readEntry(entryFile());
    QCOMPARE(keys.value(QStringLiteral("Type")), QStringLiteral("Application"));
    QCOMPARE(keys.value(QStringLiteral("Name")), QStringLiteral("Listra"));
    QCOMPARE(keys.value(QStringLiteral("Exec")), QStringLiteral("\"/opt/Listra Apps/listra\" /Autorun"));
    QVERIFY(keys.contains(QStringLiteral("X-GNOME-Autostart-Delay")));
    QCOMPARE(keys.value(QStringLiteral("X-KDE-autostart-after")), QStringLiteral("panel"));
    QCOMPARE(keys.value(QStringLiteral("X-LXQt-Need-Tray")), QStringLiteral("true"));

    // Registering again refreshes the path and succeeds.
    QVERIFY(reg.Register(guid, QStringLiteral("\"/usr/bin/listra\" /Autorun"), &error));
    QCOMPARE(readEntry(entryFile()).value(QStringLiteral("Exec")), QStringLiteral("/usr/bin/listra /Autorun"));
    QCOMPARE(QDir(autostartDir()).entryList(QDir::Files | QDir::Hidden).size(), 1);

    // Another program's entry is none of our business.
    QFile other(autostartDir() + QStringLiteral("/other.desktop"));
    QVERIFY(other.open(QIODevice::WriteOnly));
    other.write("[Desktop Entry]\nType=Application\nExec=other\n");
    other.close();

    QVERIFY(reg.Unregister(guid, &error));
    QVERIFY(!QFile::exists(entryFile()));
    QVERIFY(!reg.IsRegistered(guid));
    QVERIFY(reg.Unregister(guid, &error));
    QVERIFY(error.isEmpty());
    QVERIFY(QFile::exists(other.fileName()));

    // The system is asked, not a remembered answer: an entry removed behind our back is gone.
    QVERIFY(reg.Register(guid, commandLine, &error));
    QVERIFY(QFile::remove(entryFile()));
    QVERIFY(!reg.IsRegistered(guid));
}

void TestStartupRegistration::execLineQuoting_data()
{
    QTest::addColumn<QString>("executable");
    QTest::newRow("plain") << QStringLiteral("/usr/bin/listra");
    QTest::newRow("blanks") << QStringLiteral("/home/user/My Programs/listra");
    QTest::newRow("shell marks") << QStringLiteral("/opt/a&b;c$d`e'f(g)h|i*j?k#l~m<n>o/listra");
    QTest::newRow("backslash and percent") << QStringLiteral("/opt/100% sure\\x/listra");
    QTest::newRow("cyrillic") << QStringLiteral("/home/пользователь/Программы/listra");
}

void TestStartupRegistration::execLineQuoting()
{
    QFETCH(QString, executable);
    SystemStartupRegistration reg;
    QString error;
    QVERIFY2(reg.Register(AppIdentity::kGuid, QLatin1Char('"') + executable + QStringLiteral("\" /Autorun"), &error),
             qPrintable(error));
    const QString exec = readEntry(entryFile()).value(QStringLiteral("Exec"));
    QCOMPARE(launcherArguments(exec), (QStringList{executable, QStringLiteral("/Autorun")}));
    QVERIFY(!exec.contains(QLatin1Char('\n')));
}

void TestStartupRegistration::disabledEntryIsNotRegistered()
{
    SystemStartupRegistration reg;
    QVERIFY(QDir().mkpath(autostartDir()));
    QFile f(entryFile());
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[Desktop Entry]\nType=Application\nExec=/usr/bin/listra /Autorun\nHidden=true\n");
    f.close();
    QVERIFY(!reg.IsRegistered(AppIdentity::kGuid));

    QString error;
    QVERIFY(reg.Register(AppIdentity::kGuid, QStringLiteral("\"/usr/bin/listra\" /Autorun"), &error));
    QVERIFY(reg.IsRegistered(AppIdentity::kGuid));
    QVERIFY(!readEntry(entryFile()).contains(QStringLiteral("Hidden")));
}

void TestStartupRegistration::failuresAreReported()
{
    SystemStartupRegistration reg;
    QString error;

    // The autostart folder cannot be made: a file stands in its place.
    QFile blocker(autostartDir());
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QVERIFY(!reg.Register(AppIdentity::kGuid, QStringLiteral("\"/usr/bin/listra\" /Autorun"), &error));
    QVERIFY(error.contains(QDir::toNativeSeparators(autostartDir())));
    QVERIFY(!reg.IsRegistered(AppIdentity::kGuid));
    QVERIFY(QFile::remove(autostartDir()));

    // The entry cannot be removed: a non-empty folder stands in its place.
    error.clear();
    QVERIFY(QDir().mkpath(entryFile() + QStringLiteral("/inside")));
    QVERIFY(!reg.IsRegistered(AppIdentity::kGuid));
    QVERIFY(!reg.Unregister(AppIdentity::kGuid, &error));
    QVERIFY(error.contains(QDir::toNativeSeparators(entryFile())));
    // Nor written there.
    error.clear();
    QVERIFY(!reg.Register(AppIdentity::kGuid, QStringLiteral("\"/usr/bin/listra\" /Autorun"), &error));
    QVERIFY(!error.isEmpty());

    // Names that would leave the folder are refused.
    error.clear();
    QVERIFY(!reg.Register(QStringLiteral("../escape"), QStringLiteral("/usr/bin/listra"), &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!QFile::exists(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/escape.desktop")));
}

void TestStartupRegistration::defaultsToConfigUnderHome()
{
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qunsetenv("XDG_CONFIG_HOME");
    SystemStartupRegistration reg;
    QString error;
    const bool ok = reg.Register(AppIdentity::kGuid, QStringLiteral("\"/usr/bin/listra\" /Autorun"), &error);
    const QString expected = QDir::homePath() + QStringLiteral("/.config/autostart/") + AppIdentity::kGuid
                             + QStringLiteral(".desktop");
    const bool written = QFile::exists(expected);
    const bool removed = reg.Unregister(AppIdentity::kGuid, &error);
    qputenv("XDG_CONFIG_HOME", saved);
    QVERIFY(ok);
    QVERIFY(written);
    QVERIFY(removed);
    QVERIFY(!QFile::exists(expected));
}

LISTRA_TEST_MAIN(TestStartupRegistration)
#include "tst_startupregistration.moc"
