#include "tests/support/Fakes.h"
#include "tests/support/TestMain.h"

#include "components/SettingsStore.h"
#include "ui/editor/TaskEditorDialogFactory.h"
#include "ui/editor/frmTaskEditor.h"

#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardPaths>

namespace {

const QString kBlankText = QStringLiteral("А почему в тексте задачи так пусто?");
const QString kOpenFailed = QStringLiteral("Не удалось открыть элемент списка в асоциированной программе.");

// An editor shown as the user sees it, with the focus where the dialog puts it.
struct OpenEditor {
    FakeServices fakes;
    Services services = fakes.services();
    frmTaskEditor dialog {nullptr, services};
    QPlainTextEdit *text = dialog.findChild<QPlainTextEdit *>(QStringLiteral("txtTaskText"));
    QListWidget *list = dialog.findChild<QListWidget *>(QStringLiteral("lstRelatedDocuments"));

    OpenEditor(const QString &initialText = {}, const QStringList &documents = {})
    {
        dialog.setText(initialText);
        dialog.setDocuments(documents);
        dialog.show();
        if (!QTest::qWaitForWindowActive(&dialog))
            qWarning("editor did not become active");
    }
};

QMimeData *fileDrag(const QStringList &paths)
{
    auto *data = new QMimeData;
    QList<QUrl> urls;
    for (const QString &p : paths)
        urls.append(QUrl::fromLocalFile(p));
    data->setUrls(urls);
    return data;
}

} // namespace

class TestEditor : public TestCase
{
    Q_OBJECT
private Q_SLOTS:
    void blankTextIsRefusedAndTypedTextKeptAsIs()
    {
        OpenEditor e;
        QCOMPARE(e.dialog.size(), QSize(485, 249));
        QCOMPARE(e.dialog.windowTitle(), QStringLiteral("Задача"));
        QStringList tabOrder;
        for (int i = 0; i < 9; ++i) {
            tabOrder.append(QApplication::focusWidget()->objectName());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QCOMPARE(tabOrder, QStringList({QStringLiteral("txtTaskText"), QStringLiteral("cmdOk"),
                                        QStringLiteral("cmdCancel"), QStringLiteral("lstRelatedDocuments"),
                                        QStringLiteral("cmdAddFile"), QStringLiteral("cmdAddFolder"),
                                        QStringLiteral("cmdAddURL"), QStringLiteral("cmdRemoveItem"),
                                        QStringLiteral("txtTaskText")}));
        QTest::keyClicks(e.text, QStringLiteral("   "));
        QTest::mouseClick(e.dialog.findChild<QPushButton *>(QStringLiteral("cmdOk")), Qt::LeftButton);
        QCOMPARE(e.fakes.prompts.messages.size(), 1);
        QCOMPARE(e.fakes.prompts.lastText(), kBlankText);
        QCOMPARE(e.fakes.prompts.messages.last().style, 48);
        QVERIFY(e.dialog.isVisible());
        QVERIFY(!e.dialog.Accepted());

        QTest::keyClicks(e.text, QStringLiteral("Buy bread  "));
        QTest::keyClick(e.text, Qt::Key_Return);
        QVERIFY(e.dialog.Accepted());
        QVERIFY(!e.dialog.isVisible());
        QCOMPARE(e.dialog.text(), QStringLiteral("   Buy bread  "));
    }

    void modalEditThroughTheFactory()
    {
        FakeServices fakes;
        Services services = fakes.services();
        TaskEditorDialogFactory factory(services);
        std::unique_ptr<TaskEditor> editor = factory.create(nullptr);
        editor->setCaption(QStringLiteral("Редактирование задачи"));
        editor->setText(QStringLiteral("old text"));
        editor->setDocuments({QStringLiteral("/a.txt"), QStringLiteral("/a.txt")});
        QString caption, selectedOnOpen;
        QTimer::singleShot(0, [&] {
            auto *dialog = qobject_cast<frmTaskEditor *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            if (!QTest::qWaitForWindowActive(dialog))
                return;
            caption = dialog->windowTitle();
            auto *text = dialog->findChild<QPlainTextEdit *>(QStringLiteral("txtTaskText"));
            selectedOnOpen = text->textCursor().selectedText();
            QTest::keyClicks(text, QStringLiteral("first"));
            QTest::keyClick(text, Qt::Key_Return, Qt::ControlModifier);
            QTest::keyClicks(text, QStringLiteral("second"));
            QTest::keyClick(text, Qt::Key_Return);
            if (dialog->isVisible())
                dialog->reject();
        });
        QVERIFY(editor->exec());
        QCOMPARE(caption, QStringLiteral("Редактирование задачи"));
        QCOMPARE(selectedOnOpen, QStringLiteral("old text"));
        QCOMPARE(editor->text(), QStringLiteral("first\nsecond"));
        QCOMPARE(editor->documents(), QStringList({QStringLiteral("/a.txt"), QStringLiteral("/a.txt")}));
    }

    void escapeAndCloseBoxCancel()
    {
        OpenEditor e(QStringLiteral("task"));
        QTest::keyClick(e.text, Qt::Key_Escape);
        QVERIFY(!e.dialog.isVisible());
        QVERIFY(!e.dialog.Accepted());

        OpenEditor closed(QStringLiteral("task"));
        QPointer<frmTaskEditor> alive(&closed.dialog);
        closed.dialog.close();
        QVERIFY(alive);
        QVERIFY(!closed.dialog.isVisible());
        QVERIFY(!closed.dialog.Accepted());
        QCOMPARE(closed.dialog.text(), QStringLiteral("task"));
    }

    void documentKeysFromTextAndList()
    {
        OpenEditor e(QStringLiteral("keep this line"));
        e.fakes.choosers.files.push_back({QStringLiteral("/docs/a.txt")});
        e.fakes.choosers.folders.push_back(QStringLiteral("/docs"));
        e.fakes.prompts.inputAnswers.push_back(QStringLiteral("  word "));
        QTest::keyClick(e.text, Qt::Key_F, Qt::ControlModifier);
        QTest::keyClick(e.text, Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
        QTest::keyClick(e.text, Qt::Key_D, Qt::ControlModifier);
        QTest::keyClick(e.list, Qt::Key_U, Qt::ControlModifier);
        QCOMPARE(e.fakes.choosers.fileFilters, QStringList {QStringLiteral("Все файлы|*.*")});
        QCOMPARE(e.dialog.documents(),
                 QStringList({QStringLiteral("/docs/a.txt"), QStringLiteral("/docs"), QStringLiteral("  word ")}));
        QCOMPARE(e.dialog.text(), QStringLiteral("keep this line"));

        // Cancelled choosers and an empty answer add nothing.
        QTest::keyClick(e.list, Qt::Key_F, Qt::ControlModifier);
        QTest::keyClick(e.list, Qt::Key_D, Qt::ControlModifier);
        QTest::keyClick(e.text, Qt::Key_U, Qt::ControlModifier);
        QCOMPARE(e.dialog.documents().size(), 3);

        const QString prompt = e.fakes.prompts.inputPrompts.first();
        QVERIFY(prompt.startsWith(QStringLiteral("Введите URL, который следует добавить в список вложений. Этот адрес "
                                                 "не проверяется и остаётся полностью на вашей совести.\r\n\r\n"
                                                 "Например:\r\n\thttp://")));
        QVERIFY(prompt.contains(QStringLiteral("\r\n\tftp://")));
        QVERIFY(prompt.contains(QStringLiteral("\r\n\tmailto:")));
        QCOMPARE(e.fakes.prompts.inputDefaults, QStringList({QString(), QString()}));
    }

    void deleteRemovesSelectedEntriesOnlyInTheList()
    {
        QStringList docs;
        for (int i = 0; i < 7; ++i)
            docs.append(QStringLiteral("/doc%1").arg(i));
        OpenEditor e(QStringLiteral("abc"), docs);
        for (int row : {0, 2, 3, 5, 6})
            e.list->item(row)->setSelected(true);
        QTest::keyClick(e.list, Qt::Key_Delete, Qt::ShiftModifier);
        QCOMPARE(e.dialog.documents().size(), 7);
        QTest::keyClick(e.list, Qt::Key_Delete);
        QCOMPARE(e.dialog.documents(), QStringList({QStringLiteral("/doc1"), QStringLiteral("/doc4")}));

        e.list->item(0)->setSelected(true);
        e.text->moveCursor(QTextCursor::Start);
        QTest::keyClick(e.text, Qt::Key_Delete);
        QCOMPARE(e.dialog.text(), QStringLiteral("bc"));
        QCOMPARE(e.dialog.documents().size(), 2);
    }

    void addFilesRemembersTheFolderOfTheFirst()
    {
        const QString conf = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                             + QStringLiteral("/Graywick/Listra.conf");
        SettingsStore().WriteValue(QStringLiteral("OFN Paths"), QStringLiteral("Last Add File Directory"),
                                   SettingValueType::Text, QString());
        {
            OpenEditor e;
            e.fakes.choosers.files.push_back(
                {QStringLiteral("/data/one/a.txt"), QStringLiteral("/data/two/b.txt"), QStringLiteral("/data/one/a.txt")});
            e.fakes.choosers.files.push_back({});
            QTest::keyClick(e.text, Qt::Key_F, Qt::ControlModifier);
            QTest::keyClick(e.text, Qt::Key_F, Qt::ControlModifier);
            QCOMPARE(e.dialog.documents(), QStringList({QStringLiteral("/data/one/a.txt"),
                                                        QStringLiteral("/data/two/b.txt"),
                                                        QStringLiteral("/data/one/a.txt")}));
            QCOMPARE(e.fakes.choosers.fileInitialFolders, QStringList({QString(), QStringLiteral("/data/one")}));
        }
        // What a later run reads: the file on disk.
        QFile file(conf);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(QString::fromUtf8(file.readAll()).contains(QStringLiteral("/data/one")));

        OpenEditor next;
        next.fakes.choosers.files.push_back({});
        QTest::keyClick(next.text, Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(next.fakes.choosers.fileInitialFolders, QStringList {QStringLiteral("/data/one")});
        SettingsStore store;
        QCOMPARE(store.ReadValue(QStringLiteral("OFN Paths"), QStringLiteral("Last Add File Directory"),
                                 SettingValueType::Text, QString())
                     .toString(),
                 QStringLiteral("/data/one"));
    }

    void droppedFilesAreAddedOtherDataRefused()
    {
        OpenEditor e(QString(), {QStringLiteral("/first")});
        QWidget *target = e.list->viewport();
        const QPoint pos = target->rect().center();

        std::unique_ptr<QMimeData> text(new QMimeData);
        text->setText(QStringLiteral("/not/a/file"));
        QDragEnterEvent enterText(pos, Qt::CopyAction | Qt::MoveAction, text.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enterText);
        QVERIFY(!enterText.isAccepted());
        QDropEvent dropText(pos, Qt::CopyAction, text.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &dropText);
        QCOMPARE(e.dialog.documents().size(), 1);

        std::unique_ptr<QMimeData> files(fileDrag({QStringLiteral("/tmp/b b.txt"), QStringLiteral("/tmp/a.txt")}));
        QDragEnterEvent enter(pos, Qt::CopyAction | Qt::MoveAction, files.get(), Qt::LeftButton, Qt::ShiftModifier);
        QApplication::sendEvent(target, &enter);
        QVERIFY(enter.isAccepted());
        QCOMPARE(enter.dropAction(), Qt::CopyAction);
        QDropEvent drop(pos, Qt::CopyAction | Qt::MoveAction, files.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        QCOMPARE(drop.dropAction(), Qt::CopyAction);
        QCOMPARE(e.dialog.documents(),
                 QStringList({QStringLiteral("/first"), QStringLiteral("/tmp/b b.txt"), QStringLiteral("/tmp/a.txt")}));
    }

    void openingTheCurrentEntry()
    {
        OpenEditor empty;
        QTest::mouseDClick(empty.list->viewport(), Qt::LeftButton, {}, QPoint(10, 10));
        QTest::keyClick(empty.list, Qt::Key_Return, Qt::ControlModifier);
        QVERIFY(empty.fakes.opener.opened.isEmpty());

        OpenEditor e(QString(), {QStringLiteral("https://example.com"), QStringLiteral("/missing/file.txt")});
        e.fakes.opener.failing.insert(QStringLiteral("/missing/file.txt"));
        const QPoint first = e.list->visualItemRect(e.list->item(0)).center();
        QTest::mouseClick(e.list->viewport(), Qt::LeftButton, {}, first);
        QTest::mouseDClick(e.list->viewport(), Qt::LeftButton, {}, first);
        QVERIFY(e.fakes.prompts.messages.isEmpty());
        e.list->setCurrentRow(1);
        QTest::keyClick(e.list, Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(e.fakes.opener.opened,
                 QStringList({QStringLiteral("https://example.com"), QStringLiteral("/missing/file.txt")}));
        QCOMPARE(e.fakes.prompts.lastText(), kOpenFailed);
        QCOMPARE(e.fakes.prompts.messages.last().style, 16);
        QCOMPARE(e.dialog.documents().size(), 2);
        QVERIFY(e.dialog.isVisible());
        QVERIFY(!e.dialog.Accepted());
    }
};

LISTRA_TEST_MAIN(TestEditor)
#include "tst_editor.moc"
