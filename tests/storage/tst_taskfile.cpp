#include "tests/support/TestMain.h"

#include "model/TaskTree.h"
#include "storage/TaskFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

namespace {

// One line per task in document order, indented by depth, with everything the file keeps.
void dumpInto(const TaskTree &tree, const TaskNode *parent, const QString &indent, QStringList &lines)
{
    for (int r = 0; r < parent->childCount(); ++r) {
        const TaskNode *n = parent->child(r);
        lines << indent + n->text() + QStringLiteral(" [") + n->imageKey()
                + (n->isExpanded() ? QStringLiteral(" open") : QStringLiteral(" shut"))
                + (tree.selected() == n ? QStringLiteral(" selected]") : QStringLiteral("]"));
        for (const QString &d : n->info()->RelatedDocuments())
            lines.last() += QStringLiteral(" <") + d + QLatin1Char('>');
        dumpInto(tree, n, indent + QStringLiteral("  "), lines);
    }
}

QString dump(const TaskTree &tree)
{
    QStringList lines;
    dumpInto(tree, tree.root(), QString(), lines);
    return lines.join(QLatin1Char('\n'));
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Earlier tasks, to prove that every load replaces them.
void fillWithLeftovers(TaskTree &tree)
{
    tree.setSelected(tree.addChild(tree.addChild(tree.root(), QStringLiteral("остаток")), QStringLiteral("ещё")));
}

QByteArray tasks(const char *inner)
{
    return QByteArray("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Tasks>") + inner + "</Tasks>\n";
}

QByteArray chain(int depth)
{
    return "<Tasks>" + QByteArray("<Task>").repeated(depth) + QByteArray("</Task>").repeated(depth) + "</Tasks>";
}

} // namespace

class TaskFileTest : public TestCase
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const char *name) const { return m_dir.filePath(QString::fromUtf8(name)); }

private Q_SLOTS:
    void roundTripOfTrickyText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("loaded");
        auto same = [](const char *name, const QString &text) { QTest::newRow(name) << text << text; };
        same("line breaks and tab", QStringLiteral("Первая\r\nвторая\nтретья\rчетвёртая\tпосле табуляции"));
        same("markup characters",
             QStringLiteral("Кавычки \"двойные\" и 'одинарные', & и <тег>, ]]> и &amp; как текст"));
        same("emoji and astral", QStringLiteral("Эмодзи \U0001F600, флаг \U0001F1F7\U0001F1FA, \U0001D400"));
        same("right to left", QStringLiteral("עברית وعربي mixed \u200F\u202Eперевёрнутое\u202C"));
        same("DEL NEL NBSP", QStringLiteral("DEL\u007F NEL\u0085 NBSP\u00A0внутри"));
        const QString controls = QStringLiteral("a") + QChar(0x01) + QStringLiteral("b") + QChar(0x0B) + QChar(0x0C)
            + QStringLiteral("c") + QChar(0x1F) + QChar(0xFFFE) + QChar(0xFFFF) + QStringLiteral("d") + QChar(0xD800)
            + QStringLiteral("e") + QChar(0xDC00) + QStringLiteral("f") + QChar(0x00);
        QTest::newRow("characters XML cannot hold") << controls << QStringLiteral("abcdef");
    }

    void roundTripOfTrickyText()
    {
        QFETCH(QString, text);
        QFETCH(QString, loaded);
        auto document
            = [](const QString &name) { return QStringLiteral("C:\\Отчёты\\") + name + QStringLiteral(".xls"); };
        TaskTree tree;
        TaskNode *top = tree.addChild(tree.root(), text, TaskStatus::Rejected);
        tree.addChild(tree.root(), QStringLiteral("вторая"));
        TaskNode *child = tree.addChild(top, QStringLiteral("дочерняя"), TaskStatus::Done);
        tree.setExpanded(top, true);
        tree.setRelatedDocuments(child, {document(text), document(text)});
        tree.setSelected(child);

        const QString file = path("roundtrip.xml");
        const SaveResult saved = saveTaskFile(file, tree);
        QVERIFY2(saved.ok && saved.error.isEmpty(), qPrintable(saved.error));
        QXmlStreamReader xml(readFile(file));
        while (!xml.atEnd())
            xml.readNext();
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));

        StatusColors colors;
        colors.useBackColor = true;
        TaskTree again;
        fillWithLeftovers(again);
        QCOMPARE(loadTaskFile(file, again, colors).status, LoadResult::Status::Loaded);
        tree.setText(top, loaded);
        tree.setRelatedDocuments(child, {document(loaded), document(loaded)});
        QCOMPARE(dump(again), dump(tree));
        QCOMPARE(again.root()->child(0)->backColor(), colors.rejectedBack);
        // File order becomes the creation order; writing again gives the same bytes.
        QStringList created;
        for (const TaskNode *n = again.nextCreated(again.root()); n; n = again.nextCreated(n))
            created << n->text();
        QCOMPARE(created, (QStringList {loaded, QStringLiteral("дочерняя"), QStringLiteral("вторая")}));
        QCOMPARE(serializeTaskTree(again), readFile(file));
    }

    void writesTheExactShape()
    {
        TaskTree tree;
        TaskNode *paper = tree.addChild(tree.root(), QStringLiteral("Buy paper"), TaskStatus::Done);
        TaskNode *report = tree.addChild(tree.root(), QStringLiteral("Quarterly report"));
        TaskNode *figures = tree.addChild(report, QStringLiteral("Collect figures"), TaskStatus::Rejected);
        tree.setExpanded(paper, false);
        tree.setExpanded(report, true);
        tree.setExpanded(figures, true);
        tree.setRelatedDocuments(report, {QStringLiteral("C:\\Reports\\q3.xls"), QStringLiteral("C:\\Reports")});
        tree.setSelected(report);
        QVERIFY(saveTaskFile(path("shape.xml"), tree).ok);
        QCOMPARE(
            readFile(path("shape.xml")),
            QByteArray("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                       "<Tasks>\n"
                       "  <Task Name=\"Buy paper\" State=\"Done\" Expanded=\"False\" />\n"
                       "  <Task Name=\"Quarterly report\" State=\"Progress\" Expanded=\"True\" Selected=\"True\">\n"
                       "    <RelatedDocuments>\n"
                       "      <Document FileName=\"C:\\Reports\\q3.xls\" />\n"
                       "      <Document FileName=\"C:\\Reports\" />\n"
                       "    </RelatedDocuments>\n"
                       "    <Task Name=\"Collect figures\" State=\"Rejected\" Expanded=\"True\" />\n"
                       "  </Task>\n"
                       "</Tasks>\n"));

        tree.setSelected(tree.root());
        QVERIFY(!serializeTaskTree(tree).contains("Selected"));
        tree.clear();
        QCOMPARE(serializeTaskTree(tree), QByteArray("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Tasks />\n"));
    }

    void readerFallbacks_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");
        auto row = [](const char *name, const QByteArray &bytes, const char *expected) {
            QTest::newRow(name) << bytes << QString::fromUtf8(expected);
        };
        row("no name", tasks(R"(<Task State="Done"/>)"), "*** Untitled *** [Done open]");
        row("blank name", tasks(R"(<Task Name="   " Expanded=" false "/>)"), "*** Untitled *** [Progress shut]");
        row("padded values", tasks(R"(<Task Expanded="0" Name="  Ёж  " State=" Rejected "/>)"), "Ёж [Rejected shut]");
        row("unknown values",
            tasks(R"(<Task Name="a" State="done" Expanded="2" Colour="red"/><Task Name="b" State="" Expanded=""/>)"),
            "a [Progress shut]\nb [Progress open]");
        row("expanded spellings",
            tasks(R"(<Task Name="a" Expanded="-1"/><Task Name="b" Expanded=" tRuE "/><Task Name="c" Expanded="yes"/>)"),
            "a [Progress open]\nb [Progress open]\nc [Progress shut]");
        row("documents",
            tasks(R"(<Task Name="d"><RelatedDocuments><Document FileName="  /a.txt  "/><Document FileName="  "/>
                <Document/><Other FileName="/other"/></RelatedDocuments><Document FileName="/stray"/>
                <RelatedDocuments><Document FileName="/b.txt"/></RelatedDocuments>text nobody reads
                <Unknown><Task Name="not a direct child"/></Unknown><Task Name="child"/></Task>
                <Task Name="e"><RelatedDocuments><Document FileName=" "/></RelatedDocuments></Task><task Name="lower case"/>)"),
            "d [Progress open] </a.txt> </b.txt>\n  child [Progress open]\ne [Progress open]");
        const QString body = QStringLiteral("<Tasks>\r\n\t<Task Name=\"Задача «один» é\" State=\"Done\">"
                                            "<Task Name=\"Под\" Expanded=\"False\"/></Task>\r\n</Tasks>\r\n");
        const QString declared = QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-16\"?>\r\n") + body;
        const char *encoded = "Задача «один» é [Done open]\n  Под [Progress shut]";
        row("no declaration", body.toUtf8(), encoded);
        row("UTF-8 with BOM", "\xEF\xBB\xBF" + body.toUtf8(), encoded);
        for (auto e : {QStringConverter::Utf16LE, QStringConverter::Utf16BE}) {
            QStringEncoder encoder(e, QStringConverter::Flag::WriteBom);
            row(e == QStringConverter::Utf16LE ? "UTF-16 LE" : "UTF-16 BE", encoder.encode(declared), encoded);
        }
        // The last selected in document order wins; each one opened the way to itself only.
        row("several selected", tasks(R"(<Task Name="A" Expanded="False">
              <Task Name="A1" Expanded="False"><Task Name="A1a" Expanded="False" Selected="True"/></Task>
              <Task Name="A2" Expanded="False"><Task Name="A2a"/></Task></Task>
            <Task Name="B" Expanded="False"><Task Name="B1" Expanded="0" Selected=" true "><Task Name="B1a" Expanded="False"/></Task></Task>
            <Task Name="C" Expanded="False" Selected="0"><Task Name="C1" Expanded="False" Selected="False"/></Task>)"),
            "A [Progress open]\n  A1 [Progress open]\n    A1a [Progress shut]\n  A2 [Progress shut]\n    A2a [Progress "
            "open]\n"
            "B [Progress open]\n  B1 [Progress shut selected]\n    B1a [Progress shut]\nC [Progress shut]\n  C1 "
            "[Progress shut]");
        // Entities are never expanded and nothing outside the file is read.
        QByteArray bomb = "<?xml version=\"1.0\"?><?tool instruction?>\n<!DOCTYPE Tasks [<!ENTITY lol \"lol\">";
        for (int level = 1; level <= 9; ++level) {
            bomb += "<!ENTITY lol" + QByteArray::number(level) + " \"";
            for (int i = 0; i < 10; ++i)
                bomb += "&lol" + (level > 1 ? QByteArray::number(level - 1) : QByteArray()) + ";";
            bomb += "\">";
        }
        row("entity bomb",
            bomb
                + "<!ENTITY xxe SYSTEM \"file:"
                  "///etc/passwd\">]><!-- comment -->\n"
                  "<Tasks><Task Name=\"&lol9;\">&lol9;<Task Name=\"&xxe;\"/></Task></Tasks><!-- comment -->",
            "&lol9; [Progress open]\n  &xxe; [Progress open]");
    }

    void readerFallbacks()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        TaskTree tree, again;
        QString error;
        QVERIFY2(loadTaskFileFromBytes(bytes, tree, {}, &error), qPrintable(error));
        QVERIFY(error.isEmpty());
        QCOMPARE(dump(tree), expected);
        QVERIFY(loadTaskFileFromBytes(serializeTaskTree(tree), again, {}));
        QCOMPARE(dump(again), expected);
    }

    void refusedDocumentsLeaveOnlyTheTopNode_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("because");
        auto row = [](const char *name, const QByteArray &bytes, const QString &because = {}) {
            QTest::newRow(name) << bytes << because;
        };
        row("root in other case", "<tasks><Task Name=\"x\"/></tasks>", QStringLiteral("«tasks»"));
        row("root is a task", "<Task Name=\"x\"/>", QStringLiteral("«Task»"));
        row("wrong end tag", "<Tasks>\n  <Task Name=\"Ёж\">\n  </Tusk>\n</Tasks>", QStringLiteral("строка 3"));
        row("empty", "");
        row("comment only", "<!-- only a comment -->");
        row("truncated", tasks("<Task Name=\"x\"").chopped(9));
        row("two roots", "<Tasks></Tasks><Tasks></Tasks>");
        row("text before the root", "<![CDATA[x]]><Tasks/>");
        row("too deep", chain(100000), QString::number(kMaxTaskDepth));
        row("deeper than the limit by one", chain(kMaxTaskDepth + 1), QString::number(kMaxTaskDepth));
        QByteArray unclosed;
        for (int i = 0; i < 1000000; ++i)
            unclosed += "<a>";
        row("a million unclosed elements", unclosed);
        QByteArray noise(16 * 1024 * 1024, Qt::Uninitialized);
        quint32 x = 12345;
        for (char &c : noise)
            c = char((x = x * 1103515245u + 12345u) >> 24);
        row("binary noise", noise);
        noise[0] = '<';
        row("noise after <", noise);
    }

    void refusedDocumentsLeaveOnlyTheTopNode()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, because);
        TaskTree tree;
        fillWithLeftovers(tree);
        QString error;
        QVERIFY(!loadTaskFileFromBytes(bytes, tree, {}, &error));
        QVERIFY2(!error.isEmpty() && error.contains(because), qPrintable(error));
        QCOMPARE(tree.count(), 1);
        QVERIFY(tree.selected() == nullptr);
    }

    void failedSaveKeepsTheOldFile()
    {
        TaskTree tree;
        TaskNode *n = tree.addChild(tree.root(), QStringLiteral("старое содержимое"));
        const QString file = path("keep.xml");
        QVERIFY(saveTaskFile(file, tree).ok);
        const QByteArray before = readFile(file);

        QVERIFY(QDir().mkpath(path("a folder")));
        for (const char *target : {"a folder", "no such folder/Tasks.XML"}) {
            const SaveResult saved = saveTaskFile(path(target), tree);
            QVERIFY2(!saved.ok && !saved.error.isEmpty(), target);
        }
        QVERIFY(QFileInfo(path("a folder")).isDir());

#ifdef Q_OS_UNIX
        // The disk fills up half-way: the old file is untouched and no temporary is left.
        for (int i = 0; i < 20000; ++i)
            tree.addChild(n, QStringLiteral("задача номер %1, длинная, чтобы файл вырос").arg(i));
        const QStringList entriesBefore = QDir(m_dir.path()).entryList(QDir::Files);
        rlimit old {};
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &old) == 0);
        const rlimit small {64 * 1024, old.rlim_max};
        auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
        const SaveResult full = saveTaskFile(file, tree);
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, previousHandler);
        QVERIFY(!full.ok);
        QVERIFY2(full.error.contains(QDir::toNativeSeparators(file)), qPrintable(full.error));
        QCOMPARE(readFile(file), before);
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), entriesBefore);
#endif
        QVERIFY(saveTaskFile(file, tree).ok);
        TaskTree again;
        QCOMPARE(loadTaskFile(file, again, {}).status, LoadResult::Status::Loaded);
        QCOMPARE(again.count(), tree.count());
    }

    void unreadableAndMissingFiles()
    {
        const QByteArray broken = "<Tasks><Task Name=\"половина";
        const QString file = path("Tasks.XML");
        QVERIFY(writeFile(file, broken));
        TaskTree tree;
        fillWithLeftovers(tree);
        LoadResult loaded = loadTaskFile(file, tree, {});
        QCOMPARE(loaded.status, LoadResult::Status::Failed);
        QVERIFY2(loaded.error.contains(QDir::toNativeSeparators(file)), qPrintable(loaded.error));
        QCOMPARE(tree.count(), 1);
        QCOMPARE(loadTaskFile(m_dir.path(), tree, {}).status, LoadResult::Status::Failed);
        // A missing file is no failure: an empty list, created by the next save.
        fillWithLeftovers(tree);
        loaded = loadTaskFile(path("missing.xml"), tree, {});
        QVERIFY(loaded.status == LoadResult::Status::NoFile && loaded.error.isEmpty());
        QCOMPARE(tree.count(), 1);
        QVERIFY(saveTaskFile(path("missing.xml"), tree).ok);
        QCOMPARE(loadTaskFile(path("missing.xml"), tree, {}).status, LoadResult::Status::Loaded);

        // A copy already bearing this second's name is never replaced.
        const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
        const QString taken = path("Tasks.XML.") + stamp + QStringLiteral(".unreadable");
        QVERIFY(writeFile(taken, "older copy"));
        const QString first = keepUnreadableCopy(file);
        const QString second = keepUnreadableCopy(file);
        QVERIFY(!first.isEmpty() && !second.isEmpty() && first != second && first != taken && second != taken);
        const QRegularExpression pattern(QStringLiteral("^Tasks\\.XML\\.\\d{8}-\\d{6}(-\\d+)?\\.unreadable$"));
        for (const QString &copy : {first, second}) {
            QVERIFY2(pattern.match(QFileInfo(copy).fileName()).hasMatch(), qPrintable(copy));
            QCOMPARE(QFileInfo(copy).absolutePath(), QFileInfo(file).absolutePath());
            QCOMPARE(readFile(copy), broken);
        }
        QCOMPARE(readFile(taken), QByteArray("older copy"));
        QCOMPARE(readFile(file), broken);
        QVERIFY(keepUnreadableCopy(path("nothing-here.xml")).isEmpty());
        QVERIFY(keepUnreadableCopy(m_dir.path()).isEmpty());
    }
};

LISTRA_TEST_MAIN(TaskFileTest)
#include "tst_taskfile.moc"
