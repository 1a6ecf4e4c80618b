#include "components/QtPrompts.h"
#include "tests/components/ModalDriver.h"
#include "tests/components/OffscreenPlatform.h"
#include "tests/support/TestMain.h"

#include <QDialogButtonBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace {

struct SeenBox {
    QString title, text, informative;
    int icon = 0;
    QList<QMessageBox::StandardButton> buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    bool named = true;
};

// Notes what the box shows, then answers with a key or a click on a button.
void answerNextBox(SeenBox &seen, int key, QMessageBox::StandardButton click = QMessageBox::NoButton)
{
    whenModalShown([&seen, key, click](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        seen = {box->windowTitle(), box->text(), box->informativeText(), box->icon(), {}, {}, true};
        for (QAbstractButton *b : box->buttons()) {
            seen.buttons.append(box->standardButton(b));
            seen.named
                = seen.named && !b->accessibleName().isEmpty() && !b->accessibleName().contains(QLatin1Char('&'));
        }
        std::sort(seen.buttons.begin(), seen.buttons.end());
        seen.defaultButton = box->standardButton(box->defaultButton());
        if (key)
            QTest::keyClick(box, Qt::Key(key));
        else
            QTest::mouseClick(box->button(click), Qt::LeftButton);
    });
}

} // namespace

class TestPrompts : public TestCase
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { tolerateOffscreenLimits(); }
    void messageBoxStyles_data();
    void messageBoxStyles();
    void textsTitlesAndErrorDetails();
    void inputBox();
};

void TestPrompts::messageBoxStyles_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<int>("icon");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("click");
    QTest::addColumn<int>("answer");
    QTest::newRow("16 Escape") << 16 << int(QMessageBox::Critical) << int(Qt::Key_Escape) << 0 << 1;
    QTest::newRow("20 click No") << 20 << int(QMessageBox::Critical) << 0 << int(QMessageBox::No) << 7;
    QTest::newRow("36 Escape is No") << 36 << int(QMessageBox::Question) << int(Qt::Key_Escape) << 0 << 7;
    QTest::newRow("36 Enter is Yes") << 36 << int(QMessageBox::Question) << int(Qt::Key_Return) << 0 << 6;
    QTest::newRow("48 click OK") << 48 << int(QMessageBox::Warning) << 0 << int(QMessageBox::Ok) << 1;
    QTest::newRow("64 Enter") << 64 << int(QMessageBox::Information) << int(Qt::Key_Return) << 0 << 1;
}

void TestPrompts::messageBoxStyles()
{
    QFETCH(int, style);
    QFETCH(int, icon);
    QFETCH(int, key);
    QFETCH(int, click);
    QFETCH(int, answer);
    QtPrompts prompts;
    SeenBox seen;
    answerNextBox(seen, key, QMessageBox::StandardButton(click));
    QCOMPARE(prompts.messageBox(nullptr, QStringLiteral("Вопрос?"), style), answer);
    QCOMPARE(seen.icon, icon);
    const bool yesNo = style == 20 || style == 36;
    const QList<QMessageBox::StandardButton> expected
        = yesNo ? QList<QMessageBox::StandardButton> {QMessageBox::Yes, QMessageBox::No} : QList {QMessageBox::Ok};
    QCOMPARE(seen.buttons, expected);
    QCOMPARE(seen.defaultButton, yesNo ? QMessageBox::Yes : QMessageBox::Ok);
    QVERIFY(seen.named);
}

void TestPrompts::textsTitlesAndErrorDetails()
{
    QtPrompts prompts;
    SeenBox seen;
    // No title: the application's. CR LF breaks read as line breaks; markup-like names stay text.
    answerNextBox(seen, Qt::Key_Return);
    const QString doc = QStringLiteral("<b>C:\\Документы\\план.txt</b>");
    QCOMPARE(prompts.messageBox(nullptr, doc + QStringLiteral("\r\n\r\nНе удаётся открыть связанный документ."), 16),
             1);
    QCOMPARE(seen.title, QStringLiteral("Velmora - Listra"));
    QCOMPARE(seen.text, doc + QStringLiteral("\n\nНе удаётся открыть связанный документ."));

    answerNextBox(seen, Qt::Key_Return);
    prompts.messageBox(nullptr, QStringLiteral("Готово"), 64, QStringLiteral("Поиск"));
    QCOMPARE(seen.title, QStringLiteral("Поиск"));

    answerNextBox(seen, 0, QMessageBox::No);
    QCOMPARE(prompts.showError(nullptr, QStringLiteral("Нет места на диске\r\n(/home)"), 20,
                               QStringLiteral("Всё равно выйти из программы?")),
             7);
    QCOMPARE(seen.text, QStringLiteral("Всё равно выйти из программы?"));
    QCOMPARE(seen.informative, QStringLiteral("Нет места на диске\n(/home)"));
    QCOMPARE(seen.defaultButton, QMessageBox::Yes);

    answerNextBox(seen, Qt::Key_Escape);
    prompts.showAboutBox(nullptr);
    QVERIFY(seen.text.contains(QStringLiteral("Listra " LISTRA_VERSION)));
}

void TestPrompts::inputBox()
{
    QtPrompts prompts;
    const QString prompt = QStringLiteral("Введите URL, который следует добавить в список вложений. Этот адрес не "
                                          "проверяется и остаётся полностью на вашей совести.\r\n\r\nНапример:"
                                          "\r\n\thttp://example.org/\r\n\tmailto:someone@example.org");
    QString title, label;
    bool readable = false;
    whenModalShown([&](QWidget *w) {
        auto *dialog = qobject_cast<QInputDialog *>(w);
        title = dialog->windowTitle();
        auto *l = dialog->findChild<QLabel *>();
        label = l->text();
        // Wrapped to a sensible width and tall enough for every line.
        readable = l->wordWrap() && dialog->width() < 800 && l->height() >= l->heightForWidth(l->width());
        QTest::keyClicks(dialog->findChild<QLineEdit *>(), QStringLiteral("http://example.org/a b"));
        QTest::keyClick(dialog->findChild<QLineEdit *>(), Qt::Key_Return);
    });
    QCOMPARE(prompts.inputBox(nullptr, prompt, QStringLiteral("Задача"), QString()),
             QStringLiteral("http://example.org/a b"));
    QCOMPARE(title, QStringLiteral("Задача"));
    QCOMPARE(label, QtPrompts::displayText(prompt));
    QVERIFY(!label.contains(QLatin1Char('\r')));
    QVERIFY(readable);

    // Cancel answers with an empty text, whatever was pre-filled.
    QString prefilled;
    bool named = false;
    whenModalShown([&](QWidget *w) {
        prefilled = w->findChild<QLineEdit *>()->text();
        auto *box = w->findChild<QDialogButtonBox *>();
        named = !box->button(QDialogButtonBox::Ok)->accessibleName().isEmpty()
            && !box->button(QDialogButtonBox::Cancel)->accessibleName().isEmpty();
        title = w->windowTitle();
        QTest::mouseClick(box->button(QDialogButtonBox::Cancel), Qt::LeftButton);
    });
    QCOMPARE(prompts.inputBox(nullptr, QStringLiteral("Имя:"), QString(), QStringLiteral("готово")), QString());
    QCOMPARE(prefilled, QStringLiteral("готово"));
    QCOMPARE(title, QStringLiteral("Velmora - Listra"));
    QVERIFY(named);
}

LISTRA_TEST_MAIN(TestPrompts)
#include "tst_prompts.moc"
