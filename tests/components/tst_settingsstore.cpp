#include "components/SettingsStore.h"
#include "tests/components/OffscreenPlatform.h"
#include "tests/support/TestMain.h"

#include <QFile>
#include <QScreen>
#include <QTemporaryDir>
#include <QWidget>

namespace {

void writeIni(const QString &path, const QByteArray &text)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
}

QRect availableArea()
{
    return QGuiApplication::primaryScreen()->availableGeometry();
}

} // namespace

class TestSettingsStore : public TestCase
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { tolerateOffscreenLimits(); }
    void valuesRoundTripAcrossStores();
    void unreadableValuesFallBack();
    void fonts();
    void placementRoundTrip();
    void noOrBadPlacementCentresDesignSize();
    void defaultStoreAndWriteFailure();

private:
    QTemporaryDir m_dir;
    QString iniPath(const QString &name) const { return m_dir.filePath(name); }
};

void TestSettingsStore::valuesRoundTripAcrossStores()
{
    const QString path = iniPath(QStringLiteral("roundtrip.ini"));
    const QString awkward = QStringLiteral("C:\\Папка; с = запятыми, #решёткой\nи строкой ");
    {
        SettingsStore store(path);
        store.WriteValue(QString(), QStringLiteral("Collapse on ESC"), SettingValueType::Boolean, false);
        store.WriteValue(QString(), QStringLiteral("Full Row Select"), SettingValueType::Boolean, true);
        store.WriteValue(QStringLiteral("Colors"), QStringLiteral("Done Tasks Color"), SettingValueType::Integer, 0xFFFFFF);
        store.WriteValue(QStringLiteral("Effects"), QStringLiteral("Timeout"), SettingValueType::Integer, -250);
        store.WriteValue(QStringLiteral("OFN Paths"), QStringLiteral("Last Add File Directory"), SettingValueType::Text,
                         awkward);
        store.WriteValue(QStringLiteral("Colors"), QStringLiteral("Custom Colors"), SettingValueType::Text, QString());
        QVERIFY(store.sync());
    }
    SettingsStore store(path);
    QCOMPARE(store.ReadValue(QString(), QStringLiteral("Collapse on ESC"), SettingValueType::Boolean, true), QVariant(false));
    QCOMPARE(store.ReadValue(QString(), QStringLiteral("Full Row Select"), SettingValueType::Boolean, false), QVariant(true));
    QCOMPARE(store.ReadValue(QStringLiteral("Colors"), QStringLiteral("Done Tasks Color"), SettingValueType::Integer, 47360),
             QVariant(0xFFFFFF));
    QCOMPARE(store.ReadValue(QStringLiteral("Effects"), QStringLiteral("Timeout"), SettingValueType::Integer, 250),
             QVariant(-250));
    QCOMPARE(store.ReadValue(QStringLiteral("OFN Paths"), QStringLiteral("Last Add File Directory"), SettingValueType::Text,
                             QString()),
             QVariant(awkward));
    QCOMPARE(store.ReadValue(QStringLiteral("Colors"), QStringLiteral("Custom Colors"), SettingValueType::Text,
                             QStringLiteral("x")),
             QVariant(QString()));
    // Sections are separate: the same key elsewhere is missing.
    QCOMPARE(store.ReadValue(QStringLiteral("Colors"), QStringLiteral("Timeout"), SettingValueType::Integer, 7), QVariant(7));
    QCOMPARE(store.ReadValue(QString(), QStringLiteral("Timeout"), SettingValueType::Integer, 7), QVariant(7));
    // A missing value is the default, in the asked type (a 16-bit default comes back as int).
    const QVariant timeout = store.ReadValue(QStringLiteral("Effects"), QStringLiteral("Slide Direction"),
                                             SettingValueType::Integer, QVariant::fromValue<short>(250));
    QCOMPARE(timeout.typeId(), int(QMetaType::Int));
    QCOMPARE(timeout.toInt(), 250);
}

void TestSettingsStore::unreadableValuesFallBack()
{
    const QString path = iniPath(QStringLiteral("hand-edited.ini"));
    writeIni(path, "[General]\n"
                   "Collapse%20on%20ESC=True\n"
                   "Full%20Row%20Select=-1\n"
                   "Don't%20Mark%20Sub%20Tasks=2\n"
                   "Yes=yes\n"
                   "Zero=0\n"
                   "[Colors]\n"
                   "Done%20Tasks%20Color=abc\n"
                   "Progress%20Tasks%20Color=2147483648\n"
                   "Rejected%20Tasks%20Color=-2147483648\n"
                   "Use%20Back%20Color=false\n"
                   "Done%20Tasks%20Back%20Color=\" 42 \"\n"
                   "Progress%20Tasks%20Back%20Color=1.5\n"
                   "Custom%20Colors=0x1, 0x2, 0x3\n"
                   "[Effects]\n"
                   "Timeout=99999999999999999999\n"
                   "Style=\n");
    SettingsStore store(path);
    auto boolean = [&](const char *key, bool def) {
        return store.ReadValue(QString(), QString::fromLatin1(key), SettingValueType::Boolean, def);
    };
    auto colour = [&](const char *key) {
        return store.ReadValue(QStringLiteral("Colors"), QString::fromLatin1(key), SettingValueType::Integer, 47360);
    };
    QCOMPARE(boolean("Collapse on ESC", false), QVariant(true));
    QCOMPARE(boolean("Full Row Select", false), QVariant(true));
    QCOMPARE(boolean("Don't Mark Sub Tasks", false), QVariant(false));
    QCOMPARE(boolean("Don't Mark Sub Tasks", true), QVariant(true));
    QCOMPARE(boolean("Yes", false), QVariant(false));
    QCOMPARE(boolean("Zero", true), QVariant(false));

    QCOMPARE(colour("Done Tasks Color"), QVariant(47360));
    QCOMPARE(colour("Progress Tasks Color"), QVariant(47360));
    QCOMPARE(colour("Rejected Tasks Color"), QVariant(int(-2147483647 - 1)));
    QCOMPARE(colour("Done Tasks Back Color"), QVariant(42));
    QCOMPARE(colour("Progress Tasks Back Color"), QVariant(47360));
    QCOMPARE(colour("Use Back Color"), QVariant(47360));
    QCOMPARE(store.ReadValue(QStringLiteral("Colors"), QStringLiteral("Use Back Color"), SettingValueType::Boolean, true),
             QVariant(false));
    // Unquoted commas make a list of an INI value; text wants the whole of it.
    QCOMPARE(store.ReadValue(QStringLiteral("Colors"), QStringLiteral("Custom Colors"), SettingValueType::Text, QString()),
             QVariant(QStringLiteral("0x1, 0x2, 0x3")));
    QCOMPARE(store.ReadValue(QStringLiteral("Effects"), QStringLiteral("Timeout"), SettingValueType::Integer, 250),
             QVariant(250));
    QCOMPARE(store.ReadValue(QStringLiteral("Effects"), QStringLiteral("Style"), SettingValueType::Integer, 1), QVariant(1));
}

void TestSettingsStore::fonts()
{
    const QString path = iniPath(QStringLiteral("fonts.ini"));
    QFont stored(QStringLiteral("DejaVu Serif"), 15);
    stored.setBold(true);
    stored.setItalic(true);
    stored.setUnderline(true);
    stored.setStrikeOut(true);
    QFont fallback(QStringLiteral("Georgia"), 12);
    {
        SettingsStore store(path);
        QCOMPARE(store.ReadFont(QStringLiteral("Tree Font"), fallback), fallback);
        store.WriteFont(QStringLiteral("Tree Font"), stored);
        QVERIFY(store.sync());
    }
    {
        SettingsStore store(path);
        const QFont back = store.ReadFont(QStringLiteral("Tree Font"), fallback);
        QCOMPARE(back.family(), stored.family());
        QCOMPARE(back.pointSize(), 15);
        QVERIFY(back.bold());
        QVERIFY(back.italic());
        QVERIFY(back.underline());
        QVERIFY(back.strikeOut());
    }

    // Whatever else stands there gives the default, without complaint.
    const QList<QByteArray> garbage = {
        "Tree%20Font=abc\n",
        "Tree%20Font=\n",
        "Tree%20Font=\",,,,,,,,,,,,,,,\"\n",
        "Tree%20Font=\"Georgia,abc,-1,5,400,0,0,0,0,0,0,0,0,0,0,1\"\n",
        "Tree%20Font=\"Georgia,-1,-1,5,400,0,0,0,0,0,0,0,0,0,0,1\"\n",
        "Tree%20Font=\"Georgia,12,-1,5,400,0,0,0\"\n",
        "Tree%20Font=@ByteArray(\\0\\x1)\n",
    };
    for (const QByteArray &line : garbage) {
        writeIni(path, "[General]\n" + line);
        SettingsStore store(path);
        QCOMPARE(store.ReadFont(QStringLiteral("Tree Font"), fallback), fallback);
    }
    // A hand-written full description with blanks after the commas is still a font.
    writeIni(path, "[General]\nTree%20Font=\"Georgia, 14, -1, 5, 700, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1\"\n");
    SettingsStore store(path);
    const QFont edited = store.ReadFont(QStringLiteral("Tree Font"), QFont());
    QCOMPARE(edited.family(), QStringLiteral("Georgia"));
    QCOMPARE(edited.pointSize(), 14);
    QVERIFY(edited.bold());
}

void TestSettingsStore::placementRoundTrip()
{
    const QString path = iniPath(QStringLiteral("placement.ini"));
    {
        QWidget window;
        window.setGeometry(60, 70, 320, 210);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        SettingsStore store(path);
        store.SaveFormPlacement(&window, QString(), QStringLiteral("Window placement"));
        QVERIFY(store.sync());
    }
    {
        QWidget window;
        window.resize(500, 400);
        SettingsStore store(path);
        store.RestoreFormPlacement(&window, QString(), QStringLiteral("Window placement"));
        QVERIFY(window.isVisible());
        QVERIFY(!window.isMaximized());
        QCOMPARE(window.geometry(), QRect(60, 70, 320, 210));
    }

    // A maximised window comes back maximised.
    {
        QWidget window;
        window.setGeometry(60, 70, 320, 210);
        window.showMaximized();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        SettingsStore store(path);
        store.SaveFormPlacement(&window, QString(), QStringLiteral("Window placement"));
        QVERIFY(store.sync());
    }
    QWidget window;
    window.resize(200, 100);
    SettingsStore store(path);
    store.RestoreFormPlacement(&window, QString(), QStringLiteral("Window placement"));
    QVERIFY(window.isVisible());
    QVERIFY(window.isMaximized());
}

void TestSettingsStore::noOrBadPlacementCentresDesignSize()
{
    const QString path = iniPath(QStringLiteral("noplacement.ini"));
    const QRect area = availableArea();
    const QList<QByteArray> contents = {
        "",
        "[Window%20placement]\nGeometry=garbage\nMaximized=true\n",
        "[Window%20placement]\nGeometry=@ByteArray(\\x1\\xd9\\xd0\\xcb\\0\\x3)\n",
    };
    for (const QByteArray &text : contents) {
        writeIni(path, text);
        QWidget window;
        window.resize(300, 200);
        SettingsStore store(path);
        store.RestoreFormPlacement(&window, QString(), QStringLiteral("Window placement"));
        QVERIFY(window.isVisible());
        QVERIFY(!window.isMaximized());
        QCOMPARE(window.size(), QSize(300, 200));
        QVERIFY(qAbs(window.frameGeometry().center().x() - area.center().x()) <= 1);
        QVERIFY(qAbs(window.frameGeometry().center().y() - area.center().y()) <= 1);
    }

    // A placement far off every screen is brought back onto one.
    {
        QWidget window;
        window.setGeometry(area.right() + 3000, area.bottom() + 3000, 320, 210);
        SettingsStore store(path);
        store.SaveFormPlacement(&window, QString(), QStringLiteral("Window placement"));
    }
    QWidget window;
    window.resize(300, 200);
    SettingsStore store(path);
    store.RestoreFormPlacement(&window, QString(), QStringLiteral("Window placement"));
    QVERIFY(window.isVisible());
    QVERIFY(area.intersects(window.frameGeometry()));
}

void TestSettingsStore::defaultStoreAndWriteFailure()
{
    {
        SettingsStore store;
        store.WriteValue(QStringLiteral("Effects"), QStringLiteral("Slide Direction"), SettingValueType::Integer, 3);
        QVERIFY(store.sync());
    }
    const QString file = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Graywick/Listra.conf");
    QVERIFY(QFile::exists(file));
    QCOMPARE(SettingsStore().ReadValue(QStringLiteral("Effects"), QStringLiteral("Slide Direction"),
                                       SettingValueType::Integer, 7),
             QVariant(3));

    // A store that cannot be written says so.
    writeIni(iniPath(QStringLiteral("not-a-folder")), "x");
    SettingsStore broken(iniPath(QStringLiteral("not-a-folder/settings.ini")));
    broken.WriteValue(QString(), QStringLiteral("Collapse on ESC"), SettingValueType::Boolean, true);
    QVERIFY(!broken.sync());
}

LISTRA_TEST_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
