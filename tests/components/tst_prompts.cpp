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

    void messageBoxes_data()
    {
        QTest::addColumn<int>("style");
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("press"); // a key, or a button to click
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("seen"); // title, icon, buttons / default button
        const int esc = Qt::Key_Escape, enter = Qt::Key_Return, no = QMessageBox::No, ok = QMessageBox::Ok;
        QTest::newRow("16 Escape") << 16 << "" << esc << 1 << "Velmora - Listra 3 OK / OK";
        QTest::newRow("20 click No") << 20 << "Выход" << no << 7 << "Выход 3 &Yes &No / &Yes";
        QTest::newRow("36 Escape is No") << 36 << "" << esc << 7 << "Velmora - Listra 4 &Yes &No / &Yes";
        QTest::newRow("36 Enter is Yes") << 36 << "" << enter << 6 << "Velmora - Listra 4 &Yes &No / &Yes";
        QTest::newRow("48 click OK") << 48 << "Поиск" << ok << 1 << "Поиск 2 OK / OK";
    }
    void messageBoxes()
    {
        QFETCH(int, style);
        QFETCH(QString, title);
        QFETCH(int, press);
        QFETCH(int, answer);
        QFETCH(QString, seen);
        // Markup-like names stay text; CR LF breaks read as line breaks.
        const QString doc = QStringLiteral("<b>C:\\Документы\\план.txt</b>");
        QString shown, text;
        QTimer::singleShot(0, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            shown = box->windowTitle() + u' ' + QString::number(box->icon());
            for (QAbstractButton *b : box->buttons())
                shown += u' ' + b->text();
            shown += QStringLiteral(" / ") + box->defaultButton()->text();
            text = box->text();
            if (press >= Qt::Key_Escape)
                QTest::keyClick(box, Qt::Key(press));
            else
                QTest::mouseClick(box->button(QMessageBox::StandardButton(press)), Qt::LeftButton);
            if (box->isVisible()) // never leave the test hanging
                box->reject();
        });
        QCOMPARE(QtPrompts().messageBox(nullptr, doc + QStringLiteral("\r\n\r\nНе удаётся."), style, title), answer);
        QCOMPARE(shown, seen);
        QCOMPARE(text, doc + QStringLiteral("\n\nНе удаётся."));
    }
};

LISTRA_TEST_MAIN(TestPrompts)
#include "tst_prompts.moc"
