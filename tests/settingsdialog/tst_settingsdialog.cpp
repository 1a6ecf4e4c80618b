// SPDX-License-Identifier: MIT
#include "tests/main/MainHarness.h"
#include "tests/support/Fakes.h"
#include "tests/support/TestMain.h"

#include "components/AppIdentity.h"
#include "settings/AppSettings.h"
#include "ui/settings/frmSettings.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QLineEdit>

namespace {

// The settings dialog on screen over a stand-in tree, with every outside piece scripted.
struct OpenSettings {
    FakeServices fakes;
    Services services = fakes.services();
    AppSettings settings, atSave;
    QWidget tree;
    int saves = 0;
    std::unique_ptr<frmSettings> dialog;

    explicit OpenSettings(bool registered = false)
    {
        if (registered)
            fakes.startup.entries.insert(AppIdentity::kGuid, QStringLiteral("old"));
        tree.setFont(QFont(QStringLiteral("DejaVu Sans"), 10));
        dialog = std::make_unique<frmSettings>(nullptr, settings, &tree, services, [this] {
            ++saves;
            atSave = settings;
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
    // Every message box shown, as "text [style]".
    QString shown() const
    {
        QStringList all;
        for (const FakePrompts::Message &m : fakes.prompts.messages)
            all << m.text + QStringLiteral(" [%1]").arg(FakePrompts::styleName(m.style));
        return all.join(QLatin1Char('|'));
    }
};

} // namespace

class TestSettingsDialog : public TestCase
{
    Q_OBJECT
private Q_SLOTS:
    // What a screen reader announces for each control: its label's name, its kind, and the
    // long or changing part as the description.
    void controlsAreAnnouncedByTheirLabels_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QAccessible::Role>("role");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("description");
        const auto row = [](const char *control, QAccessible::Role role, const char *name, const char *description) {
            QTest::newRow(control) << QString::fromLatin1(control) << role << QString::fromUtf8(name)
                                   << QString::fromUtf8(description);
        };
        row("cmdDoneTasksColor", QAccessible::Button, "Выполненные задачи: цвет текста", "");
        row("cboUseBackColor", QAccessible::ComboBox, "Фоновый цвет", "");
        row("cmdTreeFont", QAccessible::Button, "Шрифт дерева задач", "DejaVu Sans, 10 пт");
        row("cboFullRowSelect", QAccessible::ComboBox, "Выделение", "");
        row("cboESCAction", QAccessible::ComboBox, "Действие ESC", "");
        row("cboMarkSubTasks", QAccessible::ComboBox, "Пометка подзадач", "");
        row("cboEffectStyle", QAccessible::ComboBox, "Спецэффект скрытия", "");
        row("txtTimeout", QAccessible::EditableText, "Таймаут (мс)", "");
        row("optDirection7", QAccessible::RadioButton, "Направление: вниз", "");
        row("chkAutorun", QAccessible::CheckBox, "Запускать при входе в систему", "");
        row("chkShowFilter", QAccessible::CheckBox, "Показывать фильтр", "");
        row("chkShowSubTaskCounter", QAccessible::CheckBox, "Показывать счётчик подзадач", "");
    }

    void controlsAreAnnouncedByTheirLabels()
    {
        QFETCH(QString, control);
        QFETCH(QAccessible::Role, role);
        QFETCH(QString, name);
        QFETCH(QString, description);
        OpenSettings s;
        QAccessibleInterface *a = QAccessible::queryAccessibleInterface(s.dialog->findChild<QWidget *>(control));
        QVERIFY(a);
        QCOMPARE(a->role(), role);
        QCOMPARE(a->text(QAccessible::Name), name);
        QCOMPARE(a->text(QAccessible::Description), description);
        if (role == QAccessible::RadioButton) { // checked, and checking it works through the bus too
            QVERIFY(a->state().checkable && a->state().checked);
            QAccessibleInterface *up = QAccessible::queryAccessibleInterface(s.get("optDirection1"));
            QVERIFY(up && up->role() == QAccessible::RadioButton && !up->state().checked);
            up->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
            QVERIFY(static_cast<QAbstractButton *>(s.get("optDirection1"))->isChecked() && !a->state().checked);
        }
    }

    void timeouts_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("saved"); // 0: refused
        for (const char *text : {"0", "   ", "12ms", "0.4", "2147483648"})
            QTest::newRow(text) << QString::fromLatin1(text) << 0;
        for (auto [text, value] : {std::pair {" 300 ", 300}, {"2.5", 2}, {"0.6", 1}, {"2147483647", 2147483647}})
            QTest::newRow(text) << QString::fromLatin1(text) << value;
    }

    void timeouts()
    {
        QFETCH(QString, typed);
        QFETCH(int, saved);
        OpenSettings s;
        s.typeTimeout(typed);
        QTest::keyClick(s.get("txtTimeout"), Qt::Key_Return);
        QCOMPARE(s.shown(), saved ? QString() : QStringLiteral("Введено неверное значение таймаута. [OkCritical]"));
        QCOMPARE(s.settings.EffectTimeout, saved ? saved : 250);
        QCOMPARE(s.saves, saved ? 1 : 0);
        QCOMPARE(s.dialog->isVisible(), !saved);
        if (!saved)
            QCOMPARE(QApplication::focusWidget(), s.get("txtTimeout"));
    }

    void okWritesEverythingThenSaves()
    {
        OpenSettings s(true);
        QVERIFY(static_cast<QAbstractButton *>(s.get("chkAutorun"))->isChecked());
        QCOMPARE(s.get("cmdTreeFont")->font().family(), QStringLiteral("DejaVu Sans"));
        s.fakes.choosers.colors = {OleColor(0x123456), OleColor(0xABCDEF)};
        QFont chosen(QStringLiteral("DejaVu Serif"), 15);
        chosen.setBold(true);
        s.fakes.choosers.fonts.push_back(chosen);
        for (const char *button : {"cmdRejectedTasksColor", "cmdProgressTasksBackColor", "cmdTreeFont"})
            s.click(button);
        QTest::keyClick(s.get("cboFullRowSelect"), Qt::Key_Down);
        QTest::keyClick(s.get("cboESCAction"), Qt::Key_Up);
        QTest::keyClick(s.get("cboMarkSubTasks"), Qt::Key_Down);
        QTest::keyClick(s.get("cboEffectStyle"), Qt::Key_Home); // "Нет" still saves direction and timeout
        s.typeTimeout(QStringLiteral("600"));
        // The direction grid is one tab stop, entered at its checked button; arrows choose.
        QTest::keyClick(s.get("txtTimeout"), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), s.get("optDirection7"));
        QTest::keyClick(s.get("optDirection7"), Qt::Key_Right);
        QCOMPARE(QApplication::focusWidget(), s.get("optDirection8"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), s.get("chkAutorun"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), s.get("chkShowFilter"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), s.get("chkShowSubTaskCounter"));
        s.click("cmdOk");
        QVERIFY(s.saves == 1 && !s.dialog->isVisible() && s.shown().isEmpty());
        QCOMPARE(s.atSave.RejectedTasksColor, OleColor(0x123456));
        QCOMPARE(s.atSave.ProgressTasksBackColor, OleColor(0xABCDEF));
        QCOMPARE(s.atSave.CustomColors, QStringLiteral("fake-custom"));
        QVERIFY(s.atSave.FullRowSelect && !s.atSave.CollapseOnESC && s.atSave.DontMarkSubTasks
                && !s.atSave.UseBackColor);
        QVERIFY(s.atSave.EffectStyle == 0 && s.atSave.EffectTimeout == 600 && s.atSave.SlideDirection == 8);
        QVERIFY(s.atSave.ShowFilter && !s.atSave.ShowSubTaskCounter);
        QCOMPARE(s.tree.font().family(), QStringLiteral("DejaVu Serif"));
        QVERIFY(s.tree.font().pointSize() == 15 && s.tree.font().bold());
        // Registered again on every OK, so the entry follows the program when it moves.
        QCOMPARE(s.fakes.startup.entries.value(AppIdentity::kGuid),
                 QLatin1Char('"') + QDir::toNativeSeparators(QCoreApplication::applicationFilePath())
                     + QStringLiteral("\" /Autorun"));
    }

    // Opened from the window: the sample is the tree font exactly, even a family this machine
    // lacks; Enter after a chooser is "Ok", and an OK that changed nothing stores the font as
    // it was.
    void enterAfterAChooserIsOkAndKeepsTheTreeFont()
    {
        for (const char *button : {"cmdTreeFont", "cmdDoneTasksColor"}) {
            MainHarness h;
            h.show();
            h.tv()->setFont(QFont(QStringLiteral("Listra Absent Serif"), 13));
            const QString treeFont = h.tv()->font().toString();
            QString sample;
            QTimer::singleShot(0, h.window.get(), [&] {
                QWidget *dialog = QApplication::activeModalWidget();
                QVERIFY(QTest::qWaitForWindowActive(dialog));
                sample = dialog->findChild<QWidget *>(QStringLiteral("cmdTreeFont"))->font().toString();
                QTest::mouseClick(dialog->findChild<QWidget *>(QString::fromLatin1(button)), Qt::LeftButton);
                QTest::keyClick(dialog->focusWidget(), Qt::Key_Return); // the chooser was cancelled
                if (dialog->isVisible())
                    dialog->close();
            });
            h.key(Qt::Key_O, Qt::ControlModifier);
            QCOMPARE(sample, treeFont);
            QCOMPARE(programSettings()->value(QStringLiteral("Tree Font")).toString(), treeFont);
            QCOMPARE(h.tv()->font().toString(), treeFont);
            QStringList fontDialogs; // the font each font dialog opened on
            for (const QFont &font : h.fakes.choosers.fontInitials)
                fontDialogs << font.toString();
            QCOMPARE(fontDialogs,
                     QLatin1String(button) == QLatin1String("cmdTreeFont") ? QStringList {treeFont} : QStringList {});
        }
    }

    void autorunChanges()
    {
        OpenSettings turnedOff(true);
        // Its caption is as large as its neighbours' and has the room it needs to itself.
        QWidget *check = turnedOff.get("chkAutorun");
        QCOMPARE(check->font().pointSizeF(), turnedOff.dialog->font().pointSizeF());
        QVERIFY(check->width() >= check->sizeHint().width());
        for (QWidget *other : turnedOff.dialog->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            QVERIFY2(other == check || other == turnedOff.get("shpBack")
                         || !other->geometry().intersects(check->geometry()),
                     qPrintable(other->objectName()));
        turnedOff.click("chkAutorun");
        turnedOff.click("cmdOk");
        QVERIFY(!turnedOff.fakes.startup.entries.contains(AppIdentity::kGuid) && turnedOff.shown().isEmpty());

        // A refused registration is reported; the rest is saved all the same.
        OpenSettings failing;
        failing.fakes.startup.failWrites = true;
        failing.click("chkAutorun");
        failing.typeTimeout(QStringLiteral("700"));
        failing.click("cmdOk");
        QCOMPARE(failing.shown(),
                 QStringLiteral("Не удалось изменить автозапуск программы.\r\n\r\ncannot write [OkExclamation]"));
        QVERIFY(failing.settings.EffectTimeout == 700 && failing.saves == 1 && !failing.dialog->isVisible());
    }

    void cancelKeepsOnlyTheCustomColors()
    {
        OpenSettings s(true);
        s.fakes.choosers.colors = {std::nullopt, OleColor(0x00FF00)};
        s.click("cmdDoneTasksColor");
        s.click("cmdDoneTasksBackColor");
        QCOMPARE(s.settings.CustomColors, QStringLiteral("fake-custom"));
        QTest::keyClick(s.get("cboUseBackColor"), Qt::Key_Down);
        s.typeTimeout(QStringLiteral("999"));
        s.click("chkAutorun");
        QTest::keyClick(s.get("txtTimeout"), Qt::Key_Escape);
        QVERIFY(!s.dialog->isVisible() && s.dialog->result() == QDialog::Rejected);
        QCOMPARE(s.settings.DoneTasksBackColor, AppSettings().DoneTasksBackColor);
        QVERIFY(!s.settings.UseBackColor && s.settings.EffectTimeout == 250 && s.saves == 0);
        QCOMPARE(s.fakes.startup.entries.value(AppIdentity::kGuid), QStringLiteral("old"));
    }
};

LISTRA_TEST_MAIN(TestSettingsDialog)
#include "tst_settingsdialog.moc"
