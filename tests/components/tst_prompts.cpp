#include "components/QtPrompts.h"
#include "tests/support/OffscreenWarnings.h"
#include "tests/support/TestMain.h"

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
            int style;
            const char *title;
            int press; // a key, or a button to click
            int answer;
            const char *seen; // title, icon, buttons / default button
        } table[] = {
            {16, "", esc, 1, "Velmora - Listra 3 OK / OK"},
            {20, "Выход", QMessageBox::No, 7, "Выход 3 &Yes &No / &Yes"},
            {36, "", esc, 7, "Velmora - Listra 4 &Yes &No / &Yes"},        // Escape is No
            {35, "", esc, 2, "Velmora - Listra 4 Cancel &Yes &No / &Yes"}, // Escape is Cancel
            {48, "Поиск", QMessageBox::Ok, 1, "Поиск 2 OK / OK"},
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
};

LISTRA_TEST_MAIN(TestPrompts)
#include "tst_prompts.moc"
