// SPDX-License-Identifier: MIT
#include "components/qt/SettingsStore.h"
#include "components/qt/WindowPlacement.h"
#include "tests/support/OffscreenWarnings.h"
#include "tests/support/TestMain.h"

#include <QFile>
#include <QScreen>
#include <QWidget>

class TestSettingsStore : public TestCase
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { tolerateOffscreenLimits(); }

    void valuesRoundTripAndFallBack()
    {
        const QString awkward = QStringLiteral("C:\\Папка; с = запятыми, #решёткой\nи строкой ");
        const QString section = QStringLiteral("Colors");
        {
            SettingsStore written(m_path);
            written.WriteValue(section, QStringLiteral("Text"), SettingValueType::Text, awkward);
            written.WriteValue(section, QStringLiteral("Bool"), SettingValueType::Boolean, true);
            written.WriteValue(section, QStringLiteral("Int"), SettingValueType::Integer, -250);
        }
        QFile f(m_path);
        QVERIFY(f.open(QIODevice::Append));
        // Hand-edited values that are not of the asked type, or out of its range, give the default.
        f.write("A=True\nB=-1\nC=2\nD=yes\nE=0\nF=abc\nG=2147483648\nH=-2147483648\nI=\" 42 \"\nJ=1.5\nK=0x1, 0x2\n");
        f.close();
        SettingsStore store(m_path);
        auto read = [&](const char *key, SettingValueType type, const QVariant &fallback) {
            return store.ReadValue(section, QLatin1String(key), type, fallback);
        };
        QCOMPARE(read("Text", SettingValueType::Text, QString()), awkward);
        QStringList got; // each boolean read with the defaults false and true; integers
        for (const char *key : {"Bool", "A", "B", "C", "D", "E"}) {
            got.append(QString::number(read(key, SettingValueType::Boolean, false).toBool())
                       + QString::number(read(key, SettingValueType::Boolean, true).toBool()));
        }
        for (const char *key : {"Int", "F", "G", "H", "I", "J", "Missing"})
            got.append(read(key, SettingValueType::Integer, 4736).toString());
        QCOMPARE(got.join(u' '), QStringLiteral("11 11 11 01 01 00 -250 4736 4736 -2147483648 42 4736 4736"));
        // Unquoted commas make a list of an INI value; a text wants it whole.
        QCOMPARE(read("K", SettingValueType::Text, QString()), QStringLiteral("0x1, 0x2"));

        // A store that cannot be written says so.
        SettingsStore broken(m_path + QStringLiteral("/settings.ini"));
        broken.WriteValue(QString(), QStringLiteral("A"), SettingValueType::Boolean, true);
        QVERIFY(!broken.sync());
    }

    void placement()
    {
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        const QString key = QStringLiteral("Window placement");
        const QRect far(area.right() + 3000, area.bottom() + 3000, 320, 210), near(60, 70, 320, 210);
        const QRect huge(near.topLeft(), QSize(32767, 32767)), wide(0, 40, area.width() + 500, 200);
        // Maximised comes back maximised; a place off every screen is brought back onto one; a
        // size beyond the screen is made to fit it; a placement that fits comes back as it was.
        const struct {
            QRect stored;
            bool maximized;
        } cases[] = {{near, true}, {far, false}, {huge, false}, {wide, false}, {near, false}};
        for (const auto &c : cases) {
            {
                QWidget window;
                window.setGeometry(c.stored);
                c.maximized ? window.showMaximized() : window.show();
                SettingsStore store(m_path);
                SaveFormPlacement(store, &window, QString(), key);
            }
            QWidget window;
            SettingsStore store(m_path);
            RestoreFormPlacement(store, &window, QString(), key);
            QVERIFY(window.isVisible() && window.isMaximized() == c.maximized);
            if (c.stored.size() != near.size())
                QVERIFY(area.contains(window.frameGeometry()));
            QVERIFY(area.intersects(window.frameGeometry()));
            if (c.stored == near && !c.maximized)
                QCOMPARE(window.geometry(), near);
        }
    }

private:
    QTemporaryDir m_dir;
    const QString m_path = m_dir.filePath(QStringLiteral("settings.ini"));
};

LISTRA_TEST_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
