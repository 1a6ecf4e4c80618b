#include "components/SettingsStore.h"
#include "tests/components/OffscreenPlatform.h"
#include "tests/support/TestMain.h"

#include <QFile>
#include <QScreen>
#include <QWidget>

namespace {

void writeIni(const QString &path, const QByteArray &text)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
}

const QString kPlacement = QStringLiteral("Window placement");

} // namespace

class TestSettingsStore : public TestCase
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { tolerateOffscreenLimits(); }
    void valuesRoundTripAndFallBack();
    void fonts();
    void placement();

private:
    QTemporaryDir m_dir;
};

void TestSettingsStore::valuesRoundTripAndFallBack()
{
    const QString awkward = QStringLiteral("C:\\Папка; с = запятыми, #решёткой\nи строкой ");
    {
        SettingsStore store; // the user's store: $XDG_CONFIG_HOME/Graywick/Listra.conf
        store.WriteValue(QString(), QStringLiteral("Full Row Select"), SettingValueType::Boolean, true);
        store.WriteValue(QStringLiteral("Effects"), QStringLiteral("Timeout"), SettingValueType::Integer, -250);
        store.WriteValue(QStringLiteral("OFN Paths"), QStringLiteral("Last Add File Directory"), SettingValueType::Text,
                         awkward);
        QVERIFY(store.sync());
    }
    QVERIFY(QFile::exists(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Graywick/Listra.conf")));
    SettingsStore store;
    QCOMPARE(store.ReadValue(QString(), QStringLiteral("Full Row Select"), SettingValueType::Boolean, false),
             QVariant(true));
    QCOMPARE(store.ReadValue(QStringLiteral("Effects"), QStringLiteral("Timeout"), SettingValueType::Integer, 250),
             QVariant(-250));
    QCOMPARE(store.ReadValue(QStringLiteral("OFN Paths"), QStringLiteral("Last Add File Directory"),
                             SettingValueType::Text, QString()),
             QVariant(awkward));
    // Sections are apart; a missing value is the default in the asked type.
    const QVariant missing = store.ReadValue(QString(), QStringLiteral("Timeout"), SettingValueType::Integer,
                                             QVariant::fromValue<short>(250));
    QCOMPARE(missing.typeId(), int(QMetaType::Int));
    QCOMPARE(missing.toInt(), 250);

    // Hand-edited values that are not of the asked type give the default.
    const QString path = m_dir.filePath(QStringLiteral("edited.ini"));
    writeIni(path,
             "[General]\nA=True\nB=-1\nC=2\nD=yes\nE=0\n"
             "[Colors]\nF=abc\nG=2147483648\nH=-2147483648\nI=\" 42 \"\nJ=1.5\nK=0x1, 0x2\nL=\n");
    SettingsStore edited(path);
    auto boolean = [&](const char *key, bool def) {
        return edited.ReadValue(QString(), QString::fromLatin1(key), SettingValueType::Boolean, def).toBool();
    };
    auto integer = [&](const char *key) {
        return edited.ReadValue(QStringLiteral("Colors"), QString::fromLatin1(key), SettingValueType::Integer, 47360)
            .toInt();
    };
    QVERIFY(boolean("A", false) && boolean("B", false) && boolean("C", true) && !boolean("C", false));
    QVERIFY(!boolean("D", false) && !boolean("E", true));
    QCOMPARE(integer("F"), 47360);
    QCOMPARE(integer("G"), 47360);
    QCOMPARE(integer("H"), -2147483647 - 1);
    QCOMPARE(integer("I"), 42);
    QCOMPARE(integer("J"), 47360);
    QCOMPARE(integer("L"), 47360);
    // Unquoted commas make a list of an INI value; a text wants it whole.
    QCOMPARE(edited.ReadValue(QStringLiteral("Colors"), QStringLiteral("K"), SettingValueType::Text, QString()),
             QVariant(QStringLiteral("0x1, 0x2")));

    // A store that cannot be written says so.
    writeIni(m_dir.filePath(QStringLiteral("file")), "x");
    SettingsStore broken(m_dir.filePath(QStringLiteral("file/settings.ini")));
    broken.WriteValue(QString(), QStringLiteral("A"), SettingValueType::Boolean, true);
    QVERIFY(!broken.sync());
}

void TestSettingsStore::fonts()
{
    const QString path = m_dir.filePath(QStringLiteral("fonts.ini"));
    QFont stored(QStringLiteral("DejaVu Serif"), 15);
    stored.setBold(true);
    stored.setItalic(true);
    stored.setUnderline(true);
    stored.setStrikeOut(true);
    const QFont fallback(QStringLiteral("Georgia"), 12);
    {
        SettingsStore store(path);
        QCOMPARE(store.ReadFont(QStringLiteral("Tree Font"), fallback), fallback);
        store.WriteFont(QStringLiteral("Tree Font"), stored);
    }
    const QFont back = SettingsStore(path).ReadFont(QStringLiteral("Tree Font"), fallback);
    QCOMPARE(back.family(), stored.family());
    QCOMPARE(back.pointSize(), 15);
    QVERIFY(back.bold() && back.italic() && back.underline() && back.strikeOut());

    // Anything else stored there gives the default, without a complaint.
    for (const char *value : {"abc", "", "\",,,,,,,,,,,,,,,\"", "\"Georgia,abc,-1,5,400,0,0,0,0,0,0,0,0,0,0,1\"",
                              "\"Georgia,-1,-1,5,400,0,0,0,0,0,0,0,0,0,0,1\"", "\"Georgia,12,-1,5,400,0,0,0\""}) {
        writeIni(path, QByteArray("[General]\nTree%20Font=") + value + '\n');
        QCOMPARE(SettingsStore(path).ReadFont(QStringLiteral("Tree Font"), fallback), fallback);
    }
}

void TestSettingsStore::placement()
{
    const QString path = m_dir.filePath(QStringLiteral("placement.ini"));
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    auto saveFrom = [&](const QRect &geometry, bool maximized) {
        QWidget window;
        window.setGeometry(geometry);
        maximized ? window.showMaximized() : window.show();
        SettingsStore(path).SaveFormPlacement(&window, QString(), kPlacement);
    };

    saveFrom(QRect(60, 70, 320, 210), false);
    {
        QWidget window;
        window.resize(500, 400);
        SettingsStore(path).RestoreFormPlacement(&window, QString(), kPlacement);
        QVERIFY(window.isVisible() && !window.isMaximized());
        QCOMPARE(window.geometry(), QRect(60, 70, 320, 210));
    }
    saveFrom(QRect(60, 70, 320, 210), true);
    {
        QWidget window;
        SettingsStore(path).RestoreFormPlacement(&window, QString(), kPlacement);
        QVERIFY(window.isVisible() && window.isMaximized());
    }
    // Off every screen: brought back onto one.
    saveFrom(QRect(area.right() + 3000, area.bottom() + 3000, 320, 210), false);
    {
        QWidget window;
        SettingsStore(path).RestoreFormPlacement(&window, QString(), kPlacement);
        QVERIFY(window.isVisible() && area.intersects(window.frameGeometry()));
    }

    // Nothing, or nothing readable, stored: the design size, centred, shown.
    for (const QByteArray &text :
         {QByteArray(), QByteArray("[Window%20placement]\nGeometry=garbage\nMaximized=true\n"),
          QByteArray("[Window%20placement]\nGeometry=@ByteArray(\\x1\\xd9\\xd0\\xcb\\0\\x3)\n")}) {
        writeIni(path, text);
        QWidget window;
        window.resize(300, 200);
        SettingsStore(path).RestoreFormPlacement(&window, QString(), kPlacement);
        QVERIFY(window.isVisible() && !window.isMaximized());
        QCOMPARE(window.size(), QSize(300, 200));
        QVERIFY((window.frameGeometry().center() - area.center()).manhattanLength() <= 2);
    }
}

LISTRA_TEST_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
