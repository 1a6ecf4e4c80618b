// SPDX-License-Identifier: MIT
#include "tests/support/Fakes.h"
#include "tests/support/TestMain.h"

#include "components/ResourceIcon.h"
#include "ui/editor/frmTaskEditor.h"

#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <functional>

namespace {

QStringList strings(std::initializer_list<const char *> items)
{
    QStringList result;
    for (const char *s : items)
        result.append(QString::fromUtf8(s));
    return result;
}

// An editor shown as the user sees it, with the focus where the dialog puts it.
struct OpenEditor {
    FakeServices fakes;
    Services services = fakes.services();
    frmTaskEditor dialog {nullptr, services};
    QPlainTextEdit *text = dialog.findChild<QPlainTextEdit *>(QStringLiteral("txtTaskText"));
    QListWidget *list = dialog.findChild<QListWidget *>(QStringLiteral("lstRelatedDocuments"));

    explicit OpenEditor(const QString &initialText = {}, const QStringList &documents = {})
    {
        dialog.setText(initialText);
        dialog.setDocuments(documents);
        dialog.show();
        if (!QTest::qWaitForWindowActive(&dialog))
            qWarning("editor did not become active");
    }
};

} // namespace

class TestEditor : public TestCase
{
    Q_OBJECT
private Q_SLOTS:
    void blankRefusedEnterAccepts()
    {
        OpenEditor e(QStringLiteral("old text"));
        QCOMPARE(QApplication::focusWidget(), e.text);
        QCOMPARE(e.text->textCursor().selectedText(), QStringLiteral("old text"));
        QTest::keyClicks(e.text, QStringLiteral("   "));
        QTest::mouseClick(e.dialog.findChild<QPushButton *>(QStringLiteral("cmdOk")), Qt::LeftButton);
        QCOMPARE(e.fakes.prompts.messages.size(), 1);
        QCOMPARE(e.fakes.prompts.lastText(), QStringLiteral("А почему в тексте задачи так пусто?"));
        QCOMPARE(e.fakes.prompts.messages.last().style, MsgStyle::OkExclamation);
        QVERIFY(e.dialog.isVisible() && !e.dialog.Accepted());
        // Ctrl+Enter breaks the line, Enter accepts; the text is kept as typed.
        QTest::keyClicks(e.text, QStringLiteral("first"));
        QTest::keyClick(e.text, Qt::Key_Return, Qt::ControlModifier);
        QTest::keyClicks(e.text, QStringLiteral("second  "));
        QTest::keyClick(e.text, Qt::Key_Return);
        QVERIFY(!e.dialog.isVisible() && e.dialog.Accepted());
        QCOMPARE(e.dialog.text(), QStringLiteral("   first\nsecond  "));
    }

    // Untouched text comes back character for character; only what the user changed is new.
    void textComesBackAsGivenOrAsTyped()
    {
        const QString given = QStringLiteral("a\u00A0b\u2028c\u2029d\re\r\nf\n\u00A0");
        const struct {
            std::function<void(QPlainTextEdit *)> edit;
            QString expected;
        } cases[] = {
            {[](QPlainTextEdit *) {}, given},
            {[](QPlainTextEdit *t) {
                 t->moveCursor(QTextCursor::End);
                 QTest::keyClicks(t, QStringLiteral("\u00A0x"));
             },
             given + QStringLiteral("\u00A0x")},
            {[](QPlainTextEdit *t) {
                 t->moveCursor(QTextCursor::Start);
                 QTest::keyClick(t, Qt::Key_Delete);
                 t->moveCursor(QTextCursor::End);
                 QTest::keyClick(t, Qt::Key_Backspace);
             },
             given.mid(1).chopped(1)},
            {[](QPlainTextEdit *t) { // breaks typed next to the given ones
                 t->moveCursor(QTextCursor::Start);
                 for (int i = 0; i < 7; ++i)
                     t->moveCursor(QTextCursor::Right);
                 QTest::keyClick(t, Qt::Key_Return, Qt::ShiftModifier);
                 QTest::keyClick(t, Qt::Key_Return, Qt::ControlModifier);
             },
             QStringLiteral("a\u00A0b\u2028c\u2029d\n\n\re\r\nf\n\u00A0")},
        };
        for (const auto &c : cases) {
            OpenEditor e(given);
            c.edit(e.text);
            QTest::keyClick(e.text, Qt::Key_Return);
            QVERIFY(e.dialog.Accepted());
            QCOMPARE(e.dialog.text(), c.expected);
        }
    }

    void documentKeysFromTextAndList()
    {
        OpenEditor e(QStringLiteral("keep this line"));
        e.fakes.choosers.files.push_back(strings({"/data/one/a.txt", "/data/two/b.txt"}));
        e.fakes.choosers.folders.push_back(QStringLiteral("/docs"));
        e.fakes.prompts.inputAnswers.push_back(QStringLiteral("  word "));
        QTest::keyClick(e.text, Qt::Key_F, Qt::ControlModifier);
        QTest::keyClick(e.text, Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
        QTest::keyClick(e.text, Qt::Key_D, Qt::ControlModifier);
        QTest::keyClick(e.list, Qt::Key_U, Qt::ControlModifier);
        // Cancelled choosers and an empty answer add nothing.
        QTest::keyClick(e.list, Qt::Key_F, Qt::ControlModifier);
        QTest::keyClick(e.list, Qt::Key_D, Qt::ControlModifier);
        QTest::keyClick(e.text, Qt::Key_U, Qt::ControlModifier);
        QCOMPARE(e.dialog.documents(), strings({"/data/one/a.txt", "/data/two/b.txt", "/docs", "  word "}));
        QCOMPARE(e.dialog.text(), QStringLiteral("keep this line"));
        QCOMPARE(e.fakes.choosers.fileFilters, strings({"Все файлы|*.*", "Все файлы|*.*"}));
        // The folder of the first chosen file is where the next choice starts.
        QCOMPARE(e.fakes.choosers.fileInitialFolders, QStringList({QString(), QStringLiteral("/data/one")}));
        QCOMPARE(e.fakes.prompts.inputPrompts.value(0),
                 QStringLiteral("Введите URL, который следует добавить в список вложений. Этот адрес не проверяется "
                                "и остаётся полностью на вашей совести.\r\n\r\nНапример:"
                                "\r\n\thttp://www.example.com/docs/index.html\r\n\tftp://ftp.example.com/pub/report.zip"
                                "\r\n\tmailto:someone@example.com"));
    }

    void listDropOpenAndDelete()
    {
        OpenEditor e(QStringLiteral("abc"), strings({"https://example.com", "/missing/file.txt"}));
        QWidget *target = e.list->viewport();
        const QPoint pos = target->rect().center();
        QMimeData text, files;
        text.setText(QStringLiteral("/not/a/file"));
        files.setUrls(
            {QUrl::fromLocalFile(QStringLiteral("/tmp/b b.txt")), QUrl::fromLocalFile(QStringLiteral("/tmp/a"))});
        for (QMimeData *data : {&text, &files}) {
            QDragEnterEvent enter(pos, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::ShiftModifier);
            QApplication::sendEvent(target, &enter);
            QCOMPARE(enter.isAccepted(), data == &files);
            QDropEvent drop(pos, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(target, &drop);
            if (data == &files) // a move would let the source delete the user's files
                QVERIFY(enter.dropAction() == Qt::CopyAction && drop.dropAction() == Qt::CopyAction);
        }
        QCOMPARE(e.dialog.documents(), strings({"https://example.com", "/missing/file.txt", "/tmp/b b.txt", "/tmp/a"}));

        e.fakes.opener.failing.insert(QStringLiteral("/missing/file.txt"));
        const QPoint first = e.list->visualItemRect(e.list->item(0)).center();
        QTest::mouseClick(e.list->viewport(), Qt::LeftButton, {}, first);
        QTest::mouseDClick(e.list->viewport(), Qt::LeftButton, {}, first);
        QVERIFY(e.fakes.prompts.messages.isEmpty());
        e.list->setCurrentRow(1);
        QTest::keyClick(e.list, Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(e.fakes.opener.opened, strings({"https://example.com", "/missing/file.txt"}));
        QCOMPARE(e.fakes.prompts.lastText(),
                 QStringLiteral("Не удалось открыть элемент списка в асоциированной программе."));
        QCOMPARE(e.fakes.prompts.messages.last().style, MsgStyle::OkCritical);

        // Delete takes the selected entries (Shift+Delete nothing); in the text box it edits the text only.
        e.list->clearSelection();
        for (int row : {0, 2})
            e.list->item(row)->setSelected(true);
        QTest::keyClick(e.list, Qt::Key_Delete, Qt::ShiftModifier);
        QCOMPARE(e.dialog.documents().size(), 4);
        QTest::keyClick(e.list, Qt::Key_Delete);
        QCOMPARE(e.dialog.documents(), strings({"/missing/file.txt", "/tmp/a"}));
        e.list->item(0)->setSelected(true);
        e.text->moveCursor(QTextCursor::Start);
        QTest::keyClick(e.text, Qt::Key_Delete);
        QVERIFY(e.dialog.text() == QStringLiteral("bc") && e.dialog.documents().size() == 2);
        QVERIFY(e.dialog.isVisible() && !e.dialog.Accepted());
        QTest::keyClick(e.list, Qt::Key_Escape);
        QVERIFY(!e.dialog.isVisible() && !e.dialog.Accepted());
    }

    // Opened from a window in a corner, the editor still comes up in the middle of the
    // screen, and without the program's icon.
    void centredWithoutIcon()
    {
        QApplication::setWindowIcon(resourceIcon(QStringLiteral("A_MAIN")));
        QWidget owner;
        owner.setGeometry(0, 0, 300, 200);
        owner.show();
        FakeServices fakes;
        Services services = fakes.services();
        frmTaskEditor dialog(&owner, services);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QPoint centre = dialog.screen()->availableGeometry().center();
        QVERIFY((dialog.frameGeometry().center() - centre).manhattanLength()
                <= 8); // the frame is not known before it shows
        const QImage icon = dialog.windowIcon().pixmap(16).toImage();
        QVERIFY(!icon.isNull());
        for (int y = 0; y < icon.height(); ++y)
            for (int x = 0; x < icon.width(); ++x)
                QCOMPARE(icon.pixelColor(x, y).alpha(), 0);
        QApplication::setWindowIcon(QIcon());
    }
};

LISTRA_TEST_MAIN(TestEditor)
#include "tst_editor.moc"
