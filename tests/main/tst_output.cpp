// SPDX-License-Identifier: MIT
#include "tests/main/MainHarness.h"

// "Экспорт…" and "Печать…" from the main window: what they act on, the file type, failures.
class OutputTest : public TestCase
{
    Q_OBJECT

private Q_SLOTS:
    // The selection says what goes out, the name's suffix or else the chosen file type how.
    void exportWritesTheSelectionAsChosen_data()
    {
        QTest::addColumn<QString>("select");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("filter");
        QTest::addColumn<QString>("written");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("suggested");
        QTest::addColumn<QByteArray>("starts");
        QTest::addColumn<QByteArrayList>("holds");
        QTest::addColumn<QByteArrayList>("lacks");
        const QString whole = QStringLiteral("Экспорт всех задач");
        const QString alpha = QStringLiteral("Экспорт задачи «alpha» с подзадачами");
        QTest::newRow("top node, markdown by suffix")
            << QStringLiteral("Задачи") << QStringLiteral("all.md") << 2 << QStringLiteral("all.md") << whole
            << QStringLiteral("Задачи.md") << QByteArray("# Задачи\n\n- [ ] alpha\n  - [x] alpha child\n- [ ] beta")
            << QByteArrayList {"- [~] gamma"} << QByteArrayList {};
        QTest::newRow("a task, html by file type")
            << QStringLiteral("alpha") << QStringLiteral("part") << 1 << QStringLiteral("part.html") << alpha
            << QStringLiteral("alpha.md") << QByteArray("<!DOCTYPE html>")
            << QByteArrayList {"<h1>alpha</h1>", "alpha child"} << QByteArrayList {"beta", "gamma"};
        QTest::newRow("a task, csv by suffix over the type")
            << QStringLiteral("alpha") << QStringLiteral("part.CSV") << 0 << QStringLiteral("part.CSV") << alpha
            << QStringLiteral("alpha.md") << QByteArray("\xEF\xBB\xBFПуть,Статус,Текст,Документы\r\n\"alpha\",")
            << QByteArrayList {"\"alpha/alpha child\",Выполнено"} << QByteArrayList {"beta"};
    }
    void exportWritesTheSelectionAsChosen()
    {
        QFETCH(QString, select);
        QFETCH(QString, name);
        QFETCH(int, filter);
        QFETCH(QString, written);
        QFETCH(QString, caption);
        QFETCH(QString, suggested);
        QFETCH(QByteArray, starts);
        QFETCH(QByteArrayList, holds);
        QFETCH(QByteArrayList, lacks);
        MainHarness h(sampleTasks());
        h.show();
        h.select(select == h.root()->text() ? h.root() : h.root()->child(0));
        h.fakes.choosers.saveFiles.push_back({h.dir.filePath(name), filter});
        h.key(Qt::Key_E, Qt::ControlModifier);
        QCOMPARE(h.fakes.choosers.saveCaptions, QStringList {caption});
        QCOMPARE(QFileInfo(h.fakes.choosers.saveSuggestions.value(0)).fileName(), suggested);
        const QByteArray bytes = readFile(h.dir.filePath(written));
        QVERIFY2(bytes.startsWith(starts), bytes.constData());
        for (const QByteArray &part : holds)
            QVERIFY2(bytes.contains(part), part.constData());
        for (const QByteArray &part : lacks)
            QVERIFY2(!bytes.contains(part), part.constData());
        QCOMPARE(h.prompts().messages.size(), 0);
        // The next export offers the folder and the type of this one.
        h.key(Qt::Key_E, Qt::ControlModifier);
        QCOMPARE(QFileInfo(h.fakes.choosers.saveSuggestions.value(1)).absolutePath(),
                 QFileInfo(h.dir.filePath(name)).absolutePath());
    }

    void exportFailureIsReportedAndCancelWritesNothing()
    {
        MainHarness h(sampleTasks());
        h.show();
        h.fakes.choosers.saveFiles = {{QString(), 0}, {h.dir.filePath(QStringLiteral("no/such/folder/x.md")), 0}};
        h.key(Qt::Key_E, Qt::ControlModifier);
        QCOMPARE(QDir(h.dir.path()).entryList(QDir::Files), QStringList {QStringLiteral("Tasks.XML")});
        QCOMPARE(h.prompts().messages.size(), 0);
        h.key(Qt::Key_E, Qt::ControlModifier);
        QCOMPARE(h.prompts().messages.size(), 1);
        QCOMPARE(h.lastMessage(), QStringLiteral("Не удалось сохранить экспорт задач. [OkCritical]"));
        QVERIFY2(h.prompts().errorDetails.value(0).contains(QStringLiteral("x.md")),
                 qPrintable(h.prompts().errorDetails.value(0)));
    }

    // The page printed is the export's, of the selected task or of everything.
    void printShowsTheSelection()
    {
        MainHarness h(sampleTasks());
        h.show();
        h.select(h.root()->child(2));
        h.key(Qt::Key_P, Qt::ControlModifier);
        h.select(h.root());
        h.key(Qt::Key_P, Qt::ControlModifier);
        QCOMPARE(
            h.fakes.printer.captions,
            QStringList({QStringLiteral("Печать задачи «gamma» с подзадачами"), QStringLiteral("Печать всех задач")}));
        QVERIFY(h.fakes.printer.pages[0].contains(QStringLiteral("<s>gamma</s>")));
        QVERIFY(!h.fakes.printer.pages[0].contains(QStringLiteral("alpha")));
        QVERIFY(h.fakes.printer.pages[1].contains(QStringLiteral("alpha child")));
    }
};

LISTRA_TEST_MAIN(OutputTest)
#include "tst_output.moc"
