#include "tests/support/Fakes.h"
#include "tests/support/TestMain.h"

#include "components/AppIdentity.h"
#include "settings/AppSettings.h"
#include "ui/settings/frmSettings.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>

namespace {

class CountingRegistration : public FakeStartupRegistration
{
public:
    int calls = 0;
    QStringList commandLines;
    bool Register(const QString &name, const QString &commandLine, QString *error) override
    {
        ++calls;
        commandLines.append(commandLine);
        return FakeStartupRegistration::Register(name, commandLine, error);
    }
    bool Unregister(const QString &name, QString *error) override
    {
        ++calls;
        return FakeStartupRegistration::Unregister(name, error);
    }
};

// The settings dialog on screen over a stand-in tree, with every outside piece scripted.
struct OpenSettings {
    FakeServices fakes;
    CountingRegistration startup;
    AppSettings settings;
    QWidget tree;
    int saves = 0;
    std::function<void()> onSave;
    std::unique_ptr<frmSettings> dialog;
    Services services;

    explicit OpenSettings(bool registered = false)
    {
        services = fakes.services();
        services.startup = &startup;
        if (registered)
            startup.entries.insert(AppIdentity::kGuid, QStringLiteral("old"));
        tree.setFont(QFont(QStringLiteral("DejaVu Sans"), 10));
        dialog = std::make_unique<frmSettings>(nullptr, settings, &tree, services, [this] {
            ++saves;
            if (onSave)
                onSave();
        });
        dialog->show();
        if (!QTest::qWaitForWindowActive(dialog.get()))
            qWarning("settings dialog did not become active");
    }
    QWidget *get(const char *name) const { return dialog->findChild<QWidget *>(QString::fromLatin1(name)); }
    void click(const char *name) { QTest::mouseClick(get(name), Qt::LeftButton); }
    void typeTimeout(const QString &text)
    {
        click("txtTimeout");
        static_cast<QLineEdit *>(get("txtTimeout"))->clear();
        QTest::keyClicks(get("txtTimeout"), text);
    }
    static QString commandLine()
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
    void opensOnTheCurrentSettingsInTabOrder()
    {
        OpenSettings s(true);
        QVERIFY(static_cast<QAbstractButton *>(s.get("chkAutorun"))->isChecked());
        QCOMPARE(s.get("cmdTreeFont")->font().family(), s.tree.font().family());
        QCOMPARE(s.get("cmdTreeFont")->font().pointSize(), 10);

        // The direction grid is one tab stop, like option buttons: the checked one.
        const QStringList expected
            = QString::fromLatin1("cmdDoneTasksColor cmdDoneTasksBackColor cmdProgressTasksColor "
                                  "cmdProgressTasksBackColor cmdRejectedTasksColor "
                                  "cmdRejectedTasksBackColor cboUseBackColor cmdTreeFont "
                                  "cboFullRowSelect cboESCAction cboMarkSubTasks "
                                  "cboEffectStyle txtTimeout optDirection7 chkAutorun "
                                  "cmdOk cmdCancel cmdDoneTasksColor")
                  .split(QLatin1Char(' '));
        QStringList visited;
        for (qsizetype i = 0; i < expected.size(); ++i) {
            visited.append(QApplication::focusWidget()->objectName());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QCOMPARE(visited, expected);

        // Arrow keys move within the grid and choose the direction.
        s.get("optDirection7")->setFocus();
        QTest::keyClick(s.get("optDirection7"), Qt::Key_Right);
        QCOMPARE(QApplication::focusWidget(), s.get("optDirection8"));
        for (int i = 0; i < 9; ++i)
            QCOMPARE(
                static_cast<QAbstractButton *>(s.get(qPrintable(QStringLiteral("optDirection%1").arg(i))))->isChecked(),
                i == 8);
    }

    void invalidTimeoutKeepsTheDialogOpen()
    {
        OpenSettings s;
        for (const char *text : {"0", "-5", "", "   ", "abc", "12ms", "2147483648", "0.4", "1e30"}) {
            s.fakes.prompts.messages.clear();
            s.typeTimeout(QString::fromLatin1(text));
            s.click("cmdOk");
            QCOMPARE(s.fakes.prompts.messages.size(), 1);
            QCOMPARE(s.fakes.prompts.lastText(), QStringLiteral("Введено неверное значение таймаута."));
            QCOMPARE(s.fakes.prompts.messages.last().style, 16);
            QVERIFY2(s.dialog->isVisible(), text);
            QCOMPARE(QApplication::focusWidget(), s.get("txtTimeout"));
        }
        QCOMPARE(s.saves, 0);
        QCOMPARE(s.settings.EffectTimeout, 250);
        QCOMPARE(s.startup.calls, 0);
    }

    void validTimeoutsAreRoundedHalfToEven()
    {
        const QList<QPair<const char *, int>> valid
            = {{" 300 ", 300}, {"2.5", 2}, {"3.5", 4}, {"0.6", 1}, {"2147483647", 2147483647}};
        for (const auto &[text, expected] : valid) {
            OpenSettings s;
            s.typeTimeout(QString::fromLatin1(text));
            QTest::keyClick(s.get("txtTimeout"), Qt::Key_Return);
            QVERIFY2(s.fakes.prompts.messages.isEmpty(), text);
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
        s.click("cmdRejectedTasksColor");
        s.click("cmdProgressTasksBackColor");
        s.click("cmdTreeFont");
        QTest::keyClick(s.get("cboFullRowSelect"), Qt::Key_Down);
        QTest::keyClick(s.get("cboESCAction"), Qt::Key_Up);
        QTest::keyClick(s.get("cboMarkSubTasks"), Qt::Key_Down);
        QTest::keyClick(s.get("cboEffectStyle"), Qt::Key_Home); // "Нет" still saves direction and timeout
        s.click("optDirection2");
        s.click("chkAutorun");
        s.typeTimeout(QStringLiteral("600"));

        AppSettings atSave;
        QString registeredAtSave;
        s.onSave = [&] {
            atSave = s.settings;
            registeredAtSave = s.startup.entries.value(AppIdentity::kGuid);
        };
        s.click("cmdOk");
        QCOMPARE(s.saves, 1);
        QCOMPARE(s.dialog->result(), int(QDialog::Accepted));
        QVERIFY(!s.dialog->isVisible());
        QCOMPARE(atSave.RejectedTasksColor, OleColor(0x123456));
        QCOMPARE(atSave.ProgressTasksBackColor, OleColor(0xABCDEF));
        QCOMPARE(atSave.CustomColors, QStringLiteral("fake-custom"));
        QVERIFY(atSave.FullRowSelect && !atSave.CollapseOnESC && atSave.DontMarkSubTasks && !atSave.UseBackColor);
        QCOMPARE(atSave.EffectStyle, 0);
        QCOMPARE(atSave.EffectTimeout, 600);
        QCOMPARE(atSave.SlideDirection, 2);
        QCOMPARE(s.tree.font().family(), QStringLiteral("DejaVu Serif"));
        QCOMPARE(s.tree.font().pointSize(), 15);
        QVERIFY(s.tree.font().bold());
        QCOMPARE(registeredAtSave, OpenSettings::commandLine());
        QVERIFY(s.fakes.prompts.messages.isEmpty());
    }

    void registrationIsRefreshedOnEveryOk()
    {
        OpenSettings registered(true);
        registered.click("cmdOk");
        QCOMPARE(registered.startup.commandLines, QStringList {OpenSettings::commandLine()});

        OpenSettings none;
        none.click("cmdOk");
        QCOMPARE(none.startup.calls, 1);
        QVERIFY(none.startup.commandLines.isEmpty());
        QVERIFY(none.fakes.prompts.messages.isEmpty());

        OpenSettings failing(true);
        failing.startup.failWrites = true;
        failing.click("chkAutorun");
        failing.typeTimeout(QStringLiteral("700"));
        failing.click("cmdOk");
        QCOMPARE(failing.fakes.prompts.messages.size(), 1);
        QVERIFY(failing.fakes.prompts.lastText().startsWith(QStringLiteral("Не удалось изменить автозапуск")));
        QVERIFY(failing.fakes.prompts.lastText().contains(QStringLiteral("cannot write")));
        QCOMPARE(failing.settings.EffectTimeout, 700);
        QCOMPARE(failing.saves, 1);
        QVERIFY(!failing.dialog->isVisible());
    }

    void cancelKeepsOnlyTheCustomColors()
    {
        for (bool closeBox : {false, true}) {
            OpenSettings s;
            s.fakes.choosers.colors = {std::nullopt, OleColor(0x00FF00)};
            s.click("cmdDoneTasksColor");
            QCOMPARE(s.settings.CustomColors, QString());
            s.click("cmdDoneTasksBackColor");
            QCOMPARE(s.settings.CustomColors, QStringLiteral("fake-custom"));
            QTest::keyClick(s.get("cboUseBackColor"), Qt::Key_Down);
            s.typeTimeout(QStringLiteral("999"));
            if (closeBox)
                s.dialog->close();
            else
                QTest::keyClick(s.get("txtTimeout"), Qt::Key_Escape);
            QVERIFY(!s.dialog->isVisible());
            QCOMPARE(s.dialog->result(), int(QDialog::Rejected));
            QCOMPARE(s.settings.DoneTasksBackColor, AppSettings().DoneTasksBackColor);
            QVERIFY(!s.settings.UseBackColor);
            QCOMPARE(s.settings.EffectTimeout, 250);
            QCOMPARE(s.saves + s.startup.calls, 0);
        }
    }
};

LISTRA_TEST_MAIN(TestSettingsDialog)
#include "tst_settingsdialog.moc"
