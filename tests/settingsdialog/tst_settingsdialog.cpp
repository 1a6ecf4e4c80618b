#include "tests/support/Fakes.h"
#include "tests/support/TestMain.h"

#include "components/AppIdentity.h"
#include "settings/AppSettings.h"
#include "ui/settings/frmSettings.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

namespace {

const QString kInvalidTimeout = QStringLiteral("Введено неверное значение таймаута.");

class CountingRegistration : public FakeStartupRegistration
{
public:
    int registerCalls = 0, unregisterCalls = 0;
    QStringList commandLines;
    bool Register(const QString &name, const QString &commandLine, QString *error) override
    {
        ++registerCalls;
        commandLines.append(commandLine);
        return FakeStartupRegistration::Register(name, commandLine, error);
    }
    bool Unregister(const QString &name, QString *error) override
    {
        ++unregisterCalls;
        return FakeStartupRegistration::Unregister(name, error);
    }
};

// The settings dialog on screen over a stand-in tree, with every outside piece scripted.
struct OpenSettings {
    FakeServices fakes;
    CountingRegistration startup;
    Services services = withStartup(fakes.services(), &startup);
    AppSettings settings;
    QWidget tree;
    int saves = 0;
    std::function<void()> onSave;
    std::unique_ptr<frmSettings> dialog;

    explicit OpenSettings(const std::function<void(OpenSettings &)> &prepare = {})
    {
        tree.setFont(QFont(QStringLiteral("DejaVu Sans"), 10));
        if (prepare)
            prepare(*this);
        dialog = std::make_unique<frmSettings>(nullptr, settings, &tree, services, [this] {
            ++saves;
            if (onSave)
                onSave();
        });
        dialog->show();
        if (!QTest::qWaitForWindowActive(dialog.get()))
            qWarning("settings dialog did not become active");
    }
    static Services withStartup(Services s, StartupRegistration *startup)
    {
        s.startup = startup;
        return s;
    }
    template<typename T>
    T *get(const QString &name) const
    {
        return dialog->findChild<T *>(name);
    }
    void clickOk() { QTest::mouseClick(get<QPushButton>(QStringLiteral("cmdOk")), Qt::LeftButton); }
    void typeTimeout(const QString &text)
    {
        auto *box = get<QLineEdit>(QStringLiteral("txtTimeout"));
        QTest::mouseClick(box, Qt::LeftButton);
        box->clear();
        QTest::keyClicks(box, text);
    }
    QString commandLine() const
    {
        return QLatin1Char('"') + QDir::toNativeSeparators(QCoreApplication::applicationFilePath())
               + QStringLiteral("\" /Autorun");
    }
};

} // namespace

class TestSettingsDialog : public TestCase
{
    Q_OBJECT
private Q_SLOTS:
    void opensWithTheCurrentSettings()
    {
        OpenSettings s([](OpenSettings &o) {
            o.settings.EffectStyle = 2;
            o.settings.UseBackColor = true;
            o.settings.EffectTimeout = 1234;
            o.startup.entries.insert(AppIdentity::kGuid, QStringLiteral("x"));
        });
        QCOMPARE(s.dialog->windowTitle(), QStringLiteral("Настройки"));
        QCOMPARE(s.dialog->size(), QSize(405, 401));
        for (int i = 0; i < 9; ++i)
            QCOMPARE(s.get<QAbstractButton>(QStringLiteral("optDirection%1").arg(i))->isChecked(), i == 7);
        QCOMPARE(s.get<QComboBox>(QStringLiteral("cboEffectStyle"))->currentText(), QStringLiteral("Slide"));
        QCOMPARE(s.get<QComboBox>(QStringLiteral("cboUseBackColor"))->currentText(),
                 QStringLiteral("Фон элементов - по статусу"));
        QCOMPARE(s.get<QComboBox>(QStringLiteral("cboESCAction"))->currentText(),
                 QStringLiteral("Свернуть главное окно в трэй"));
        QCOMPARE(s.get<QLineEdit>(QStringLiteral("txtTimeout"))->text(), QStringLiteral("1234"));
        QVERIFY(s.get<QCheckBox>(QStringLiteral("chkAutorun"))->isChecked());
        const QFont sample = s.get<QPushButton>(QStringLiteral("cmdTreeFont"))->font();
        QCOMPARE(sample.family(), s.tree.font().family());
        QCOMPARE(sample.pointSize(), 10);
    }

    void invalidTimeoutKeepsTheDialogOpen()
    {
        const QStringList invalid = {QStringLiteral("0"),          QStringLiteral("-5"),  QString(),
                                     QStringLiteral("   "),        QStringLiteral("abc"), QStringLiteral("12ms"),
                                     QStringLiteral("2147483648"), QStringLiteral("0.4"), QStringLiteral("1e30")};
        OpenSettings s;
        auto *box = s.get<QLineEdit>(QStringLiteral("txtTimeout"));
        for (const QString &text : invalid) {
            s.fakes.prompts.messages.clear();
            s.typeTimeout(text);
            s.clickOk();
            QCOMPARE(s.fakes.prompts.messages.size(), 1);
            QCOMPARE(s.fakes.prompts.lastText(), kInvalidTimeout);
            QCOMPARE(s.fakes.prompts.messages.last().style, 16);
            QVERIFY2(s.dialog->isVisible(), qPrintable(text));
            QCOMPARE(QApplication::focusWidget(), box);
        }
        QCOMPARE(s.saves, 0);
        QCOMPARE(s.settings.EffectTimeout, 250);
        QCOMPARE(s.startup.registerCalls + s.startup.unregisterCalls, 0);
    }

    void validTimeoutsAreRoundedHalfToEven()
    {
        const QList<QPair<QString, int>> valid = {{QStringLiteral(" 300 "), 300},
                                                  {QStringLiteral("2.5"), 2},
                                                  {QStringLiteral("3.5"), 4},
                                                  {QStringLiteral("0.6"), 1},
                                                  {QStringLiteral("2147483647"), 2147483647}};
        for (const auto &[text, expected] : valid) {
            OpenSettings s;
            s.typeTimeout(text);
            QTest::keyClick(s.get<QLineEdit>(QStringLiteral("txtTimeout")), Qt::Key_Return);
            QVERIFY2(s.fakes.prompts.messages.isEmpty(), qPrintable(text));
            QCOMPARE(s.settings.EffectTimeout, expected);
            QCOMPARE(s.dialog->result(), int(QDialog::Accepted));
        }
    }

    void okWritesEverythingThenSaves()
    {
        OpenSettings s;
        s.fakes.choosers.colors = {OleColor(0x123456), OleColor(0xABCDEF)};
        QFont chosen(QStringLiteral("DejaVu Serif"), 15);
        chosen.setBold(true);
        s.fakes.choosers.fonts.push_back(chosen);
        QTest::mouseClick(s.get<QPushButton>(QStringLiteral("cmdRejectedTasksColor")), Qt::LeftButton);
        QTest::mouseClick(s.get<QPushButton>(QStringLiteral("cmdProgressTasksBackColor")), Qt::LeftButton);
        QTest::mouseClick(s.get<QPushButton>(QStringLiteral("cmdTreeFont")), Qt::LeftButton);
        QTest::keyClick(s.get<QComboBox>(QStringLiteral("cboFullRowSelect")), Qt::Key_Down);
        QTest::keyClick(s.get<QComboBox>(QStringLiteral("cboESCAction")), Qt::Key_Up);
        QTest::keyClick(s.get<QComboBox>(QStringLiteral("cboMarkSubTasks")), Qt::Key_Down);
        QTest::keyClick(s.get<QComboBox>(QStringLiteral("cboEffectStyle")), Qt::Key_Home);
        QTest::mouseClick(s.get<QAbstractButton>(QStringLiteral("optDirection2")), Qt::LeftButton);
        QTest::mouseClick(s.get<QCheckBox>(QStringLiteral("chkAutorun")), Qt::LeftButton);
        s.typeTimeout(QStringLiteral("600"));

        // Everything is in place by the time the settings are saved.
        AppSettings atSave;
        QString registeredAtSave;
        s.onSave = [&] {
            atSave = s.settings;
            registeredAtSave = s.startup.entries.value(AppIdentity::kGuid);
        };
        s.clickOk();
        QCOMPARE(s.saves, 1);
        QVERIFY(!s.dialog->isVisible());
        QCOMPARE(s.dialog->result(), int(QDialog::Accepted));
        QCOMPARE(atSave.RejectedTasksColor, OleColor(0x123456));
        QCOMPARE(atSave.ProgressTasksBackColor, OleColor(0xABCDEF));
        QCOMPARE(atSave.DoneTasksColor, OleColor(0x00B900));
        QCOMPARE(atSave.CustomColors, QStringLiteral("fake-custom"));
        QVERIFY(atSave.FullRowSelect);
        QVERIFY(!atSave.CollapseOnESC);
        QVERIFY(atSave.DontMarkSubTasks);
        QVERIFY(!atSave.UseBackColor);
        QCOMPARE(atSave.EffectStyle, 0);
        QCOMPARE(atSave.EffectTimeout, 600);
        QCOMPARE(atSave.SlideDirection, 2);
        QCOMPARE(s.tree.font().family(), QStringLiteral("DejaVu Serif"));
        QCOMPARE(s.tree.font().pointSize(), 15);
        QVERIFY(s.tree.font().bold());
        QCOMPARE(registeredAtSave, s.commandLine());
        QCOMPARE(s.startup.registerCalls, 1);
        QVERIFY(s.fakes.prompts.messages.isEmpty());
    }

    void registrationIsRefreshedOnEveryOk()
    {
        OpenSettings registered([](OpenSettings &o) { o.startup.entries.insert(AppIdentity::kGuid, QStringLiteral("old")); });
        registered.clickOk();
        QCOMPARE(registered.startup.commandLines, QStringList {registered.commandLine()});
        QCOMPARE(registered.startup.entries.value(AppIdentity::kGuid), registered.commandLine());

        OpenSettings none;
        none.clickOk();
        QCOMPARE(none.startup.unregisterCalls, 1);
        QCOMPARE(none.startup.registerCalls, 0);
        QVERIFY(none.fakes.prompts.messages.isEmpty());
        QCOMPARE(none.saves, 1);

        OpenSettings failing([](OpenSettings &o) {
            o.startup.entries.insert(AppIdentity::kGuid, QStringLiteral("old"));
            o.startup.failWrites = true;
        });
        QTest::mouseClick(failing.get<QCheckBox>(QStringLiteral("chkAutorun")), Qt::LeftButton);
        failing.typeTimeout(QStringLiteral("700"));
        failing.clickOk();
        QCOMPARE(failing.fakes.prompts.messages.size(), 1);
        QVERIFY(failing.fakes.prompts.lastText().startsWith(QStringLiteral("Не удалось изменить автозапуск программы.")));
        QVERIFY(failing.fakes.prompts.lastText().contains(QStringLiteral("cannot write")));
        QCOMPARE(failing.settings.EffectTimeout, 700);
        QCOMPARE(failing.saves, 1);
        QVERIFY(!failing.dialog->isVisible());
    }

    void cancelKeepsOnlyTheCustomColors()
    {
        for (bool useCloseBox : {false, true}) {
            OpenSettings s;
            s.fakes.choosers.colors = {std::nullopt, OleColor(0x00FF00)};
            QTest::mouseClick(s.get<QPushButton>(QStringLiteral("cmdDoneTasksColor")), Qt::LeftButton);
            QCOMPARE(s.settings.CustomColors, QString());
            QTest::mouseClick(s.get<QPushButton>(QStringLiteral("cmdDoneTasksBackColor")), Qt::LeftButton);
            QCOMPARE(s.settings.CustomColors, QStringLiteral("fake-custom"));
            QTest::keyClick(s.get<QComboBox>(QStringLiteral("cboUseBackColor")), Qt::Key_Down);
            s.typeTimeout(QStringLiteral("999"));
            if (useCloseBox)
                s.dialog->close();
            else
                QTest::keyClick(s.get<QLineEdit>(QStringLiteral("txtTimeout")), Qt::Key_Escape);
            QVERIFY(!s.dialog->isVisible());
            QCOMPARE(s.dialog->result(), int(QDialog::Rejected));
            const AppSettings defaults;
            QCOMPARE(s.settings.DoneTasksBackColor, defaults.DoneTasksBackColor);
            QCOMPARE(s.settings.UseBackColor, false);
            QCOMPARE(s.settings.EffectTimeout, 250);
            QCOMPARE(s.settings.CustomColors, QStringLiteral("fake-custom"));
            QCOMPARE(s.saves, 0);
            QCOMPARE(s.startup.registerCalls + s.startup.unregisterCalls, 0);
        }
    }

    void tabOrderFollowsTheLayout()
    {
        OpenSettings s;
        QStringList expected = {QStringLiteral("cmdDoneTasksColor"),     QStringLiteral("cmdDoneTasksBackColor"),
                                QStringLiteral("cmdProgressTasksColor"), QStringLiteral("cmdProgressTasksBackColor"),
                                QStringLiteral("cmdRejectedTasksColor"), QStringLiteral("cmdRejectedTasksBackColor"),
                                QStringLiteral("cboUseBackColor"),       QStringLiteral("cmdTreeFont"),
                                QStringLiteral("cboFullRowSelect"),      QStringLiteral("cboESCAction"),
                                QStringLiteral("cboMarkSubTasks"),       QStringLiteral("cboEffectStyle"),
                                QStringLiteral("txtTimeout"),            QStringLiteral("optDirection7")};
        // Like option buttons, the direction grid is one stop: the checked one.
        expected << QStringLiteral("chkAutorun") << QStringLiteral("cmdOk") << QStringLiteral("cmdCancel")
                 << QStringLiteral("cmdDoneTasksColor");
        QCOMPARE(QApplication::focusWidget()->objectName(), expected.first());
        QStringList visited = {expected.first()};
        for (qsizetype i = 1; i < expected.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited.append(QApplication::focusWidget()->objectName());
        }
        QCOMPARE(visited, expected);

        // Arrow keys move within the grid and choose the direction.
        auto *down = s.get<QAbstractButton>(QStringLiteral("optDirection7"));
        down->setFocus();
        QTest::keyClick(down, Qt::Key_Right);
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("optDirection8"));
        QVERIFY(s.get<QAbstractButton>(QStringLiteral("optDirection8"))->isChecked());
        QVERIFY(!down->isChecked());
    }
};

LISTRA_TEST_MAIN(TestSettingsDialog)
#include "tst_settingsdialog.moc"
