#include "components/AppIdentity.h"
#include "components/XdgStartupRegistration.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>

class TestStartupRegistration : public TestCase
{
    Q_OBJECT
private Q_SLOTS:
    void entryOnDisk()
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
        QVERIFY(!QFile::exists(entry));
        QVERIFY(error.isEmpty());

        // A non-empty folder where the entry goes: it can be neither written nor removed.
        QVERIFY(QDir().mkpath(entry + QStringLiteral("/inside")));
        QVERIFY(!reg.IsRegistered(guid));
        QVERIFY(!reg.Register(guid, QStringLiteral("listra"), &error));
        QVERIFY(!error.isEmpty());
        error.clear();
        QVERIFY(!reg.Unregister(guid, &error));
        QVERIFY(error.contains(entry));
        // A name that would leave the folder is refused.
        QVERIFY(!reg.Register(QStringLiteral("../escape"), QStringLiteral("listra"), &error));
        QVERIFY(!QFile::exists(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/escape.desktop")));
    }
};

LISTRA_TEST_MAIN(TestStartupRegistration)
#include "tst_startupregistration.moc"
