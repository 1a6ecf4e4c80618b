// SPDX-License-Identifier: MIT
#include "components/qt/QtPrompts.h"
#include "tests/support/OffscreenWarnings.h"
#include "tests/support/TestMain.h"

#include <QAccessible>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

class TestPrompts : public TestCase
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { tolerateOffscreenLimits(); }

    void messageBoxes()
    {
        const int esc = Qt::Key_Escape;
        const struct {
            MsgStyle style;
            const char *title;
            int press; // a key, or a button to click
            MsgAnswer answer;
            const char *seen; // title, icon, buttons / default button
        } table[] = {
            {MsgStyle::OkCritical, "", esc, MsgAnswer::Ok, "Velmora - Listra 3 OK / OK"},
            {MsgStyle::YesNoCritical, "Выход", QMessageBox::No, MsgAnswer::No, "Выход 3 &Yes &No / &Yes"},
            {MsgStyle::YesNoQuestion, "", esc, MsgAnswer::No, "Velmora - Listra 4 &Yes &No / &Yes"}, // Escape is No
            {MsgStyle::YesNoCancelQuestion, "", esc, MsgAnswer::Cancel,
             "Velmora - Listra 4 Cancel &Yes &No / &Yes"}, // Escape is Cancel
            {MsgStyle::OkExclamation, "Поиск", QMessageBox::Ok, MsgAnswer::Ok, "Поиск 2 OK / OK"},
        };
        // Markup-like names stay text; CR LF breaks read as line breaks.
        const QString doc = QStringLiteral("<b>C:\\Документы\\план.txt</b>");
        for (const auto &row : table) {
            QString shown, text;
            QTimer::singleShot(0, [&] {
                auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                QVERIFY(box);
                shown = box->windowTitle() + u' ' + QString::number(box->icon());
                for (QAbstractButton *b : box->buttons())
                    shown += u' ' + b->text();
                shown += QStringLiteral(" / ") + box->defaultButton()->text();
                text = box->text();
                if (row.press >= Qt::Key_Escape)
                    QTest::keyClick(box, Qt::Key(row.press));
                else
                    QTest::mouseClick(box->button(QMessageBox::StandardButton(row.press)), Qt::LeftButton);
                if (box->isVisible()) // never leave the test hanging
                    box->reject();
            });
            const QString message = doc + QStringLiteral("\r\n\r\nНе удаётся.");
            QCOMPARE(QtPrompts().messageBox(nullptr, message, row.style, QString::fromUtf8(row.title)), row.answer);
            QCOMPARE(shown, QString::fromUtf8(row.seen));
            QCOMPARE(text, doc + QStringLiteral("\n\nНе удаётся."));
        }
    }

    // A screen reader names the field by the prompt's first line and reads the rest on request.
    void inputBoxFieldIsNamedShortly()
    {
        const QString prompt
            = QStringLiteral("Введите фразу.\r\n\r\n") + QStringLiteral("Длинное пояснение. ").repeated(30);
        QString name, description;
        QTimer::singleShot(0, [&] {
            QWidget *dialog = QApplication::activeModalWidget();
            QVERIFY(dialog);
            auto *field = dialog->findChild<QLineEdit *>();
            QVERIFY(field);
            QAccessibleInterface *a = QAccessible::queryAccessibleInterface(field);
            name = a->text(QAccessible::Name);
            description = a->text(QAccessible::Description);
            QTest::keyClicks(field, QStringLiteral("bread"));
            QTest::keyClick(field, Qt::Key_Return);
        });
        QCOMPARE(QtPrompts().inputBox(nullptr, prompt, QString(), QString()), QStringLiteral("bread"));
        QCOMPARE(name, QStringLiteral("Введите фразу."));
        QCOMPARE(description, QtPrompts::displayText(prompt));
    }
};

LISTRA_TEST_MAIN(TestPrompts)
#include "tst_prompts.moc"
