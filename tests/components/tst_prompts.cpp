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
#include <QScreen>

namespace {

struct SeenBox {
    QString title, text, informative;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QList<QMessageBox::StandardButton> buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QStringList accessibleNames;
    Qt::TextFormat format = Qt::AutoText;
};

// How the user answers the box: a key, or a click on one button.
struct Answer {
    int key = 0;
    QMessageBox::StandardButton click = QMessageBox::NoButton;
};

void answerNextBox(SeenBox &seen, Answer answer)
{
    whenModalShown([&seen, answer](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        if (!box) {
            w->close();
            return;
        }
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.informative = box->informativeText();
        seen.icon = box->icon();
        seen.format = box->textFormat();
        for (QAbstractButton *b : box->buttons()) {
            seen.buttons.append(box->standardButton(b));
            seen.accessibleNames.append(b->accessibleName());
        }
        std::sort(seen.buttons.begin(), seen.buttons.end());
        if (QPushButton *d = box->defaultButton())
            seen.defaultButton = box->standardButton(d);
        if (answer.key)
            QTest::keyClick(box, Qt::Key(answer.key));
        else
            QTest::mouseClick(box->button(answer.click), Qt::LeftButton);
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
    void messageBoxTitleAndText();
    void errorReportShowsPromptAndDetails();
    void inputBox();
    void aboutBox();
};

void TestPrompts::messageBoxStyles_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<int>("icon");
    QTest::addColumn<bool>("yesNo");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("click");
    QTest::addColumn<int>("answer");

    const int yes = QMessageBox::Yes, no = QMessageBox::No, ok = QMessageBox::Ok;
    QTest::newRow("16 Enter") << 16 << int(QMessageBox::Critical) << false << int(Qt::Key_Return) << 0 << 1;
    QTest::newRow("16 Escape") << 16 << int(QMessageBox::Critical) << false << int(Qt::Key_Escape) << 0 << 1;
    QTest::newRow("20 Enter is Yes") << 20 << int(QMessageBox::Critical) << true << int(Qt::Key_Return) << 0 << 6;
    QTest::newRow("20 click No") << 20 << int(QMessageBox::Critical) << true << 0 << no << 7;
    QTest::newRow("36 Escape is No") << 36 << int(QMessageBox::Question) << true << int(Qt::Key_Escape) << 0 << 7;
    QTest::newRow("36 click Yes") << 36 << int(QMessageBox::Question) << true << 0 << yes << 6;
    QTest::newRow("48 click OK") << 48 << int(QMessageBox::Warning) << false << 0 << ok << 1;
    QTest::newRow("64 Enter") << 64 << int(QMessageBox::Information) << false << int(Qt::Key_Return) << 0 << 1;
}

void TestPrompts::messageBoxStyles()
{
    QFETCH(int, style);
    QFETCH(int, icon);
    QFETCH(bool, yesNo);
    QFETCH(int, key);
    QFETCH(int, click);
    QFETCH(int, answer);

    QtPrompts prompts;
    SeenBox seen;
    answerNextBox(seen, {key, QMessageBox::StandardButton(click)});
    QCOMPARE(prompts.messageBox(nullptr, QStringLiteral("Вопрос?"), style), answer);

    QCOMPARE(int(seen.icon), icon);
    if (yesNo) {
        QCOMPARE(seen.buttons, (QList<QMessageBox::StandardButton>{QMessageBox::Yes, QMessageBox::No}));
        QCOMPARE(seen.defaultButton, QMessageBox::Yes);
    } else {
        QCOMPARE(seen.buttons, QList<QMessageBox::StandardButton>{QMessageBox::Ok});
        QCOMPARE(seen.defaultButton, QMessageBox::Ok);
    }
    for (const QString &name : std::as_const(seen.accessibleNames)) {
        QVERIFY(!name.isEmpty());
        QVERIFY(!name.contains(QLatin1Char('&')));
    }
}

void TestPrompts::messageBoxTitleAndText()
{
    QtPrompts prompts;
    QWidget owner;
    owner.show();

    // No title: the application title; CR LF breaks become plain line breaks; markup-like
    // document names are shown as typed.
    SeenBox seen;
    answerNextBox(seen, {Qt::Key_Return, QMessageBox::NoButton});
    const QString doc = QStringLiteral("<b>C:\\Документы\\план.txt</b>");
    QCOMPARE(prompts.messageBox(&owner, doc + QStringLiteral("\r\n\r\nНе удаётся открыть связанный документ."), 16), 1);
    QCOMPARE(seen.title, QStringLiteral("Velmora - Listra"));
    QCOMPARE(seen.text, doc + QStringLiteral("\n\nНе удаётся открыть связанный документ."));
    QCOMPARE(seen.format, Qt::PlainText);

    SeenBox titled;
    answerNextBox(titled, {Qt::Key_Return, QMessageBox::NoButton});
    QCOMPARE(prompts.messageBox(&owner, QStringLiteral("Готово"), 64, QStringLiteral("Поиск")), 1);
    QCOMPARE(titled.title, QStringLiteral("Поиск"));
}

void TestPrompts::errorReportShowsPromptAndDetails()
{
    QtPrompts prompts;
    SeenBox seen;
    answerNextBox(seen, {0, QMessageBox::No});
    const int answer = prompts.showError(nullptr, QStringLiteral("Нет места на диске\r\n(/home)"), 20,
                                         QStringLiteral("Не удалось сохранить файл с задачами. Всё равно выйти из программы?"));
    QCOMPARE(answer, 7);
    QCOMPARE(seen.title, QStringLiteral("Velmora - Listra"));
    QCOMPARE(seen.text, QStringLiteral("Не удалось сохранить файл с задачами. Всё равно выйти из программы?"));
    QCOMPARE(seen.informative, QStringLiteral("Нет места на диске\n(/home)"));
    QCOMPARE(seen.icon, QMessageBox::Critical);
    QCOMPARE(seen.defaultButton, QMessageBox::Yes);

    SeenBox plain;
    answerNextBox(plain, {Qt::Key_Return, QMessageBox::NoButton});
    QCOMPARE(prompts.showError(nullptr, QString(), 16, QStringLiteral("Так перемещать нельзя.")), 1);
    QCOMPARE(plain.text, QStringLiteral("Так перемещать нельзя."));
    QVERIFY(plain.informative.isEmpty());
}

void TestPrompts::inputBox()
{
    QtPrompts prompts;
    const QString prompt = QStringLiteral("Введите URL, который следует добавить в список вложений. "
                                          "Этот адрес не проверяется и остаётся полностью на вашей совести."
                                          "\r\n\r\nНапример:\r\n\thttp://example.org/\r\n\tftp://example.org/file.zip"
                                          "\r\n\tmailto:someone@example.org");

    // Typed text comes back; the prompt wraps and is readable in full.
    QString title, label;
    bool wraps = false, fits = false;
    whenModalShown([&](QWidget *w) {
        auto *dialog = qobject_cast<QInputDialog *>(w);
        if (!dialog) {
            w->close();
            return;
        }
        title = dialog->windowTitle();
        auto *l = dialog->findChild<QLabel *>();
        label = l->text();
        wraps = l->wordWrap();
        const QRect screen = dialog->screen()->availableGeometry();
        fits = dialog->width() <= screen.width() && l->height() >= l->heightForWidth(l->width());
        QLineEdit *edit = dialog->findChild<QLineEdit *>();
        QTest::keyClicks(edit, QStringLiteral("http://example.org/a b"));
        QTest::keyClick(edit, Qt::Key_Return);
    });
    QCOMPARE(prompts.inputBox(nullptr, prompt, QStringLiteral("Velmora - Listra"), QString()),
             QStringLiteral("http://example.org/a b"));
    QCOMPARE(title, QStringLiteral("Velmora - Listra"));
    QVERIFY(!label.contains(QLatin1Char('\r')));
    QVERIFY(label.startsWith(QStringLiteral("Введите URL")));
    QVERIFY(label.endsWith(QStringLiteral("\n\tmailto:someone@example.org")));
    QVERIFY(wraps);
    QVERIFY(fits);

    // Cancel gives an empty answer even with a pre-filled text; no title gives the program's.
    QString prefilled, cancelTitle;
    QStringList names;
    whenModalShown([&](QWidget *w) {
        auto *dialog = qobject_cast<QInputDialog *>(w);
        if (!dialog) {
            w->close();
            return;
        }
        prefilled = dialog->findChild<QLineEdit *>()->text();
        cancelTitle = dialog->windowTitle();
        auto *box = dialog->findChild<QDialogButtonBox *>();
        for (QAbstractButton *b : box->buttons())
            names.append(b->accessibleName());
        QTest::mouseClick(box->button(QDialogButtonBox::Cancel), Qt::LeftButton);
    });
    QCOMPARE(prompts.inputBox(nullptr, QStringLiteral("Имя:"), QString(), QStringLiteral("готово")), QString());
    QCOMPARE(prefilled, QStringLiteral("готово"));
    QCOMPARE(cancelTitle, QStringLiteral("Velmora - Listra"));
    QCOMPARE(names.size(), 2);
    QVERIFY(!names.contains(QString()));
}

void TestPrompts::aboutBox()
{
    QtPrompts prompts;
    SeenBox seen;
    answerNextBox(seen, {Qt::Key_Escape, QMessageBox::NoButton});
    prompts.showAboutBox(nullptr);
    QVERIFY(seen.text.contains(QStringLiteral("Listra")));
    QVERIFY(seen.text.contains(QStringLiteral(LISTRA_VERSION)));
    QVERIFY(seen.informative.contains(QStringLiteral("Velmora - Listra")));
    QVERIFY(seen.informative.contains(QStringLiteral("Посвящается")));
    QCOMPARE(seen.buttons, QList<QMessageBox::StandardButton>{QMessageBox::Ok});
}

LISTRA_TEST_MAIN(TestPrompts)
#include "tst_prompts.moc"
