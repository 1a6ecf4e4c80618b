// SPDX-License-Identifier: MIT
#include "tests/support/TestMain.h"

#include "fuzz/RoundTrip.h"
#include "model/TaskTree.h"
#include "storage/TaskFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <cstring>
#include <vector>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
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

// Earlier tasks, to prove that every load replaces them.
void fillWithLeftovers(TaskTree &tree)
{
    tree.setSelected(tree.addChild(tree.addChild(tree.root(), QStringLiteral("остаток")), QStringLiteral("ещё")));
}

// count tasks, each under one of the earlier ones picked by spread, with every parentEvery-th
// open to sub-tasks and a document on every documentEvery-th; the last one open to sub-tasks.
TaskNode *fillWithTasks(TaskTree &tree, int count, size_t spread, int parentEvery, int documentEvery,
                        const QString &text)
{
    std::vector<TaskNode *> parents {tree.root()};
    for (int i = 0; i < count; ++i) {
        TaskNode *n = tree.addChild(parents[size_t(i) * spread % parents.size()], text.arg(i), TaskStatus(i % 3));
        if (i % parentEvery == 0)
            parents.push_back(n);
        if (i % documentEvery == 0)
            tree.setRelatedDocuments(n, {QStringLiteral("/документы/%1.txt").arg(i)});
    }
    return parents.back();
}

QByteArray tasks(const char *inner)
{
    return QByteArray("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Tasks>") + inner + "</Tasks>\n";
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
        same("line breaks and markup",
             QStringLiteral("Первая\r\nвторая\nтретья\rчетвёртая\tтаб \"двойные\" 'одинарные'"
                            " & <тег> ]]> &amp;"));
        same("beyond ASCII",
             QChar(0xFEFF)
                 + QStringLiteral("Эмодзи \U0001F600\U0001F1F7\U0001F1FA\U0001D400 עברית وعربي "
                                  "\u200F\u202Eперевёрнутое\u202C DEL\u007F NEL\u0085 NBSP\u00A0внутри"));
        // Runs long enough for the eight-at-a-time path, broken at every place within a step.
        same("long runs",
             QStringLiteral("abcdefghijklmnop абвгдеёжзийклмн ab\"cdefgh&ijklmnopq<rstuvwx>yzабвгдежзи\nйклмнопр"
                            "abcdefg\U0001F600hijklmnop пятнадцать букв ")
                 + QString(40, QChar(0x44F)));
        const char16_t controls[]
            = {'a', 1, 'b', 0xB, 0xC, 'c', 0x1F, 0xFFFE, 0xFFFF, 'd', 0xD800, 'e', 0xDC00, 'f', 0};
        QTest::newRow("characters XML cannot hold") << QString::fromUtf16(controls, 15) << QStringLiteral("abcdef");
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

        TaskTree again;
        fillWithLeftovers(again);
        QCOMPARE(loadTaskFile(file, again).status, LoadResult::Status::Loaded);
        tree.setText(top, loaded);
        tree.setRelatedDocuments(child, {document(loaded), document(loaded)});
        QCOMPARE(dump(again), dump(tree));
        // File order becomes the creation order, which search walks; writing again gives the same bytes.
        QCOMPARE(again.nextCreated(again.nextCreated(again.root()))->text(), QStringLiteral("дочерняя"));
        QCOMPARE(serializeTaskTree(again), readFile(file));
    }

    // A large file is saved in pieces, then read while the memory it has gone past is handed
    // back. Here that memory is overwritten instead, so a look back would read rubbish and the
    // tree would come out wrong.
    void largeFileSavedInPiecesAndReadWhileItsMemoryIsHandedBack()
    {
        TaskTree tree;
        // A selection far down, the way to it open, as a load leaves it.
        TaskNode *chosen = fillWithTasks(tree, 300000, 7919, 5, 97, QStringLiteral("Задача %1 — сверить отчёт"));
        tree.setSelected(chosen);
        for (TaskNode *n = chosen->parent(); n != tree.root(); n = n->parent())
            tree.setExpanded(n, true);
        const QByteArray bytes = serializeTaskTree(tree);
        QVERIFY(bytes.contains("Selected=\"True\""));
        const QString file = path("large.xml");
        for (int round = 0; round < 2; ++round) { // the second replaces a large file
            const SaveResult saved = saveTaskFile(file, tree);
            QVERIFY2(saved.ok, qPrintable(saved.error));
            QCOMPARE(readFile(file), bytes);
            QCOMPARE(saved.stamp, FileStamp::read(file)); // hashed piece by piece, the same as whole
        }

        static qint64 overwritten = 0;
        setParseMemoryRelease([](void *begin, size_t length) {
            std::memset(begin, 0xA5, length);
            overwritten += qint64(length);
        });
        TaskTree again;
        QString error;
        const bool loaded = loadTaskFileFromBytes(bytes, again, &error);
        setParseMemoryRelease(nullptr);
        QVERIFY2(loaded, qPrintable(error));
        QCOMPARE(serializeTaskTree(again), bytes);
#if !defined(__SANITIZE_ADDRESS__) // where the parser's memory is the C library's own, none is given back
        // At least the file's bytes; the parsed pieces go back whole, to the C library.
        QVERIFY2(overwritten > bytes.size() * 9 / 10,
                 qPrintable(QStringLiteral("%1 of %2").arg(overwritten).arg(bytes.size())));
#endif
    }

    void writesTheExactShape()
    {
        TaskTree tree;
        TaskNode *paper = tree.addChild(tree.root(), QStringLiteral("Buy paper"), TaskStatus::Done);
        TaskNode *report = tree.addChild(tree.root(), QStringLiteral("Quarterly report"));
        tree.setExpanded(tree.addChild(report, QStringLiteral("Collect figures"), TaskStatus::Rejected), true);
        tree.setExpanded(paper, false);
        tree.setExpanded(report, true);
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
        tree.clear();
        QCOMPARE(serializeTaskTree(tree), QByteArray("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Tasks />\n"));
    }

    // The journals on disk hold these values; the stamps' hash is the same whatever the pieces.
    void hashesOfKnownBytes()
    {
        QByteArray bytes(4999, Qt::Uninitialized);
        for (int i = 0; i < bytes.size(); ++i)
            bytes[i] = char((i * 37 + 11) & 0xFF);
        const std::pair<int, quint64> known[] = {
            {0, 0x8DAC204DDC9BFCCCull},  {1, 0xF65D7C6F17CDF232ull},  {7, 0x4A19499F3F06CE7Full},
            {8, 0xED7C4F981251A93Dull},  {9, 0x19C62D9F6B265D71ull},  {15, 0xDF0E77F024329F6Aull},
            {16, 0xBBD9584421819C83ull}, {17, 0x6753E4C41D11599Eull}, {31, 0x003CAF88D3E8B9B3ull},
            {32, 0x9D6BA9B2FF3072F9ull}, {33, 0xDC7C622174B11225ull}, {4999, 0xC2F105314F671842ull},
        };
        for (const auto &[size, hash] : known) {
            QCOMPARE(contentHash(bytes.constData(), size_t(size)), hash);
            for (const int piece : {1, 7, 16, 333}) {
                ContentHasher hasher;
                for (int at = 0; at < size; at += piece)
                    hasher.add(bytes.constData() + at, size_t(std::min(piece, size - at)));
                QCOMPARE(hasher.finish(), stampHash(bytes.constData(), size_t(size)));
            }
        }
        QVERIFY(stampHash(bytes.constData(), 32) != stampHash(bytes.constData() + 1, 32));
        QVERIFY(stampHash(bytes.constData(), 32) != stampHash(bytes.constData(), 33));
    }

    void readerFallbacks_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");
        auto row = [](const char *name, const QByteArray &bytes, const QByteArray &expected) {
            QTest::newRow(name) << bytes << QString::fromUtf8(expected);
        };
        row("names and values",
            tasks("<Task State=\"Done\"/><Task Name=\"   \" Expanded=\" false \"/><Task Expanded=\"0\" Name=\"  Ёж  \" "
                  "State=\" Rejected \"/><Task Name=\"a\" State=\"done\" Colour=\"red\" Expanded=\" tRuE \"/><Task "
                  "Name=\"b\" State=\"\" Expanded=\"\" Selected=\" \"/><Task Name=\"c\" "
                  "Expanded=\"\xC2\xA0-1\xE3\x80\x80\"/>"
                  "<Task Name=\"d\" Expanded=\"2\"/><Task Name=\"e\" Expanded=\"+1\"/><Task Name=\"f\" "
                  "Expanded=\"yes\"/>"),
            "*** Untitled *** [Done open]\n*** Untitled *** [Progress shut]\nЁж [Rejected shut]\na [Progress open]\n"
            "b [Progress open]\nc [Progress open]\nd [Progress shut]\ne [Progress shut]\nf [Progress shut]");
        row("documents",
            tasks(R"(<Task Name="d"><RelatedDocuments><Document FileName="  /a.txt  "/><Document FileName="  "/>
                <Document/><Other FileName="/other"/></RelatedDocuments><Document FileName="/stray"/>
                <RelatedDocuments><Document FileName="/b.txt"/></RelatedDocuments>text nobody reads
                <Unknown><Task Name="not a direct child"/></Unknown><Task Name="child"/></Task>
                <Task Name="e"><RelatedDocuments><Document FileName=" "/></RelatedDocuments></Task><task Name="lower case"/>)"),
            "d [Progress open] </a.txt> </b.txt>\n  child [Progress open]\ne [Progress open]");
        // Raw control bytes the parser lets through are gone at reading already, not only after a save.
        row("raw control bytes",
            tasks("<Task Name=\"bre\003ak\001\"><RelatedDocuments><Document FileName=\"/tmp/\002file\037.txt\"/>"
                  "<Document FileName=\"\x04\x05\"/></RelatedDocuments></Task><Task Name=\"\x0B \x06\"/>"
                  "<Task Name=\"\x0C  padded \x07\"/><Task Name=\"nonchar \xEF\xBF\xBE\xEF\xBF\xBF end\"/>"),
            "break [Progress open] </tmp/file.txt>\n*** Untitled *** [Progress open]\npadded [Progress open]\n"
            "nonchar  end [Progress open]");
        // Texts longer than the decoder's working room, each followed by a shorter one.
        const QByteArray longer = QByteArray("Ж").repeated(40000), long_ = QByteArray("щ ").repeated(3000);
        row("long texts",
            tasks("<Task Name=\"  " + longer + " \"/><Task Name=\" Ёж\"/><Task Name=\"" + long_
                  + "\"/><Task Name=\"я\"/>"),
            longer + " [Progress open]\nЁж [Progress open]\n" + long_.chopped(1)
                + " [Progress open]\nя [Progress open]");
        // U+FEFF inside an attribute is text; only the one starting the file is a byte order mark.
        const QByteArray feff = "\xEF\xBB\xBF";
        row("zero width no-break space",
            feff
                + tasks(R"(<Task Name="mid~dle"/><Task Name=" ~after"><RelatedDocuments><Document FileName="~~/x"/>)"
                        "</RelatedDocuments></Task>")
                      .replace('~', feff),
            QByteArray("mid~dle [Progress open]\n~after [Progress open] <~~/x>").replace('~', feff));
        row("UTF-16",
            QStringEncoder(QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom)
                .encode(QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-16\"?>\r\n<Tasks>\r\n\t<Task "
                                       "Name=\"Задача «один» é\" State=\"Done\">"
                                       "<Task Name=\"Под\" Expanded=\"False\"/></Task>\r\n</Tasks>\r\n")),
            "Задача «один» é [Done open]\n  Под [Progress shut]");
        // Decoded once, also where the parser knows the code page itself.
        for (auto [label, name] : {std::pair {"ISO-8859-1", "café naïve"}, {"windows-1251", "Старая кодировка"}}) {
            const QString text
                = QStringLiteral("<?xml version='1.0' encoding='%1'?>\n<Tasks><Task Name=\"%2\"/></Tasks>")
                      .arg(QLatin1String(label), QString::fromUtf8(name));
            row(label, QStringEncoder(label).encode(text), QByteArray(name) + " [Progress open]");
        }
        // Only references to characters XML allows are read; elsewhere "&#0;" is plain text.
        row("references",
            "<!-- &#0; --><?pi &#xD800;?>"
                + tasks("<![CDATA[&#0;]]><Task Name=\"&#x10FFFF;&#;&#x;&#X41;&#1a; \xEF\xBF\xBD\"/>"),
            "\xF4\x8F\xBF\xBF&#;&#x;&#X41;&#1a; \xEF\xBF\xBD [Progress open]");
        // Raw control bytes are left out of one- and two-byte text and of wider text alike.
        row("control bytes",
            tasks("<Task Name=\"\x01\xD0\x81\xD0\xB6\x1F \xC3\xA9\t\"/><Task Name=\"\x02\xE2\x82\xAC\x7F\"/>"),
            "\xD0\x81\xD0\xB6 \xC3\xA9 [Progress open]\n\xE2\x82\xAC\x7F [Progress open]");
        // The last selected in document order wins; each one opened the way to itself only.
        row("several selected", tasks(R"(<Task Name="A" Expanded="False">
              <Task Name="A1" Expanded="False"><Task Name="A1a" Expanded="False" Selected="True"/></Task>
              <Task Name="A2" Expanded="False"><Task Name="A2a"/></Task></Task>
            <Task Name="B" Expanded="False"><Task Name="B1" Expanded="0" Selected=" true "><Task Name="B1a" Expanded="False"/></Task></Task>
            <Task Name="C" Expanded="False" Selected="0"><Task Name="C1" Expanded="False" Selected="False"/></Task>)"),
            "A [Progress open]\n  A1 [Progress open]\n    A1a [Progress shut]\n  A2 [Progress shut]\n    A2a [Progress "
            "open]\nB [Progress open]\n  B1 [Progress shut selected]\n    B1a [Progress shut]\nC [Progress shut]\n  C1 "
            "[Progress shut]");
        // Entities are never expanded and nothing outside the file is read.
        QByteArray bomb = "<?xml version=\"1.0\"?><?tool instruction?>\n<!DOCTYPE Tasks [<!ENTITY lol0 \"lol\">";
        for (int level = 1; level <= 9; ++level)
            bomb += "<!ENTITY lol" + QByteArray::number(level) + " \""
                + ("&lol" + QByteArray::number(level - 1) + ";").repeated(10) + "\">";
        row("entity bomb",
            bomb
                + "<!ENTITY xxe SYSTEM \"file:///etc/passwd\">]><!-- comment -->\n"
                  "<Tasks><Task Name=\"&lol9;\">&lol9;<Task Name=\"&xxe;\"/></Task></Tasks><!-- comment -->",
            "&lol9; [Progress open]\n  &xxe; [Progress open]");
    }

    void readerFallbacks()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        TaskTree tree;
        QString error;
        QVERIFY2(loadTaskFileFromBytes(bytes, tree, &error), qPrintable(error));
        QCOMPARE(dump(tree), expected);
        QCOMPARE(RoundTrip::check(bytes), QString());
    }

    void refusedDocumentsLeaveOnlyTheTopNode_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("because");
        auto row = [](const char *name, const QByteArray &bytes, const QString &because = {}) {
            QTest::newRow(name) << bytes << because;
        };
        auto chain = [](int depth) {
            return "<Tasks>" + QByteArray("<Task>").repeated(depth) + QByteArray("</Task>").repeated(depth)
                + "</Tasks>";
        };
        row("root in other case", "<tasks><Task Name=\"x\"/></tasks>", QStringLiteral("«tasks»"));
        // Text that would be read with its characters replaced or cut short is refused instead.
        row("windows-1251 with no declaration", tasks("<Task Name=\"ok\"/><Task Name=\"\xC7\xE0\xE4\xE0\xF7\xE0\"/>"),
            QStringLiteral("UTF-8 (строка 2, столбец 37)"));
        // Large files are read on two threads, a batch of tasks each in turn: one row for each.
        for (const int before : {1030, 80000})
            row(qPrintable(QStringLiteral("the same after %1 tasks of a large file").arg(before)),
                tasks(QByteArray("<Task Name=\"ok\"/>").repeated(before) + "<Task Name=\"\xC7\xE0\xE4\xE0\"/>"
                      + QByteArray("<Task Name=\"ok\"/>").repeated(80000 - before)),
                QStringLiteral("UTF-8 (строка 2, столбец %1)").arg(before * 17 + 20));
        // Documents are read after the names of their batch: the earlier bytes still count.
        row("the earlier of two texts in another code page",
            tasks("<Task><RelatedDocuments><Document FileName=\"/\xEE\"/></RelatedDocuments></Task>\n"
                  "<Task Name=\"\xC7\"/>"),
            QStringLiteral("UTF-8 (строка 2,"));
        row("document path in another code page",
            tasks("<Task><RelatedDocuments><Document FileName=\"/\xEE\xF2\xF7\xB8\xF2\"/></RelatedDocuments></Task>"),
            QStringLiteral("UTF-8"));
        for (const char *reference : {"&#0;", "&#x00;", "&#xD800;", "&#57343;", "&#x110000;", "&#4294967296;"})
            row(reference, tasks("<Task Name=\"до") + reference + "после\"/>", QString::fromLatin1(reference));
        QByteArray loneSurrogate = QStringEncoder(QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom)
                                       .encode(QStringLiteral("<Tasks><Task Name=\"ab\"/></Tasks>"));
        loneSurrogate.insert(2 + 2 * 19, QByteArray("\x00\xD8", 2));
        row("UTF-16 with a lone surrogate", loneSurrogate, QStringLiteral("UTF-16"));
        row("bytes the declared encoding cannot read",
            "<?xml version=\"1.0\" encoding=\"shift_jis\"?><Tasks><Task Name=\"\x81\x20\"/></Tasks>",
            QStringLiteral("кодировке"));
        row("wrong end tag", "<Tasks>\n  <Task Name=\"Ёж\">\n  </Tusk>\n</Tasks>", QStringLiteral("строка 3"));
        row("empty", "");
        row("truncated", tasks("<Task Name=\"x\"").chopped(9));
        row("two roots", "<Tasks></Tasks><Tasks></Tasks>");
        row("text before the root", "<![CDATA[x]]><Tasks/>");
        row("too deep", chain(100000), QString::number(kMaxTaskDepth));
        row("deeper than the limit by one", chain(kMaxTaskDepth + 1), QString::number(kMaxTaskDepth));
        row("a million unclosed elements", QByteArray("<a>").repeated(1000000));
        QByteArray noise(16 * 1024 * 1024, Qt::Uninitialized);
        quint32 x = 12345;
        for (char &c : noise)
            c = char((x = x * 1103515245u + 12345u) >> 24);
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
        QVERIFY(!loadTaskFileFromBytes(bytes, tree, &error));
        QVERIFY2(!error.isEmpty() && error.contains(because), qPrintable(error));
        QCOMPARE(tree.count(), 1);
        QVERIFY(tree.selected() == nullptr);
    }

    // A large file is cut before its first-level tasks and the pieces are parsed each on their
    // own. Whatever a cut meets, what is read, or why not, is what a whole parse gives. Here
    // every file is large: the pieces are made tiny.
    void piecesReadAsTheWholeFile_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("how"); // "pieces", "whole", "again" (pieces, then whole) or either
        TaskTree tree;
        tree.setSelected(fillWithTasks(tree, 400, 31, 3, 7, QStringLiteral("Задача %1\nвторая строка")));
        const QByteArray written = serializeTaskTree(tree);
        // Near the end, so the pieces before it are parsed by the time it is met.
        const qsizetype late = written.lastIndexOf("\n  <Task ", written.size() - 200);
        const qsizetype nested = written.lastIndexOf("\n    <Task ");
        QVERIFY(late > written.size() / 2 && nested > written.size() / 2);
        auto edited = [&written](qsizetype at, qsizetype length, const QByteArray &with) {
            return QByteArray(written).replace(at, length, with);
        };
        auto row = [](const char *name, const QByteArray &bytes, const char *how) {
            QTest::newRow(name) << bytes << QString::fromLatin1(how);
        };
        row("as written", written, "pieces");
        const qsizetype content = written.indexOf("<Tasks>") + 7;
        const QByteArray tasksOnly = written.sliced(content, written.lastIndexOf("</Tasks>") - content);
        row("large enough to be cut while it is read", edited(content, tasksOnly.size(), tasksOnly.repeated(60)),
            "pieces");
        row("CR LF and a byte order mark", "\xEF\xBB\xBF" + QByteArray(written).replace("\n", "\r\n"), "pieces");
        row("attributes on the top element", QByteArray(written).replace("<Tasks>", "<Tasks Version=\"2\">"), "pieces");
        row("a comment holding a first-level task", edited(late, 0, "\n  <!--\n  <Task Name=\"нет\"/>\n  -->"), "");
        row("CDATA holding one", edited(late, 0, "<![CDATA[\n  <Task Name=\"нет\">]]>"), "");
        row("a value holding one", edited(late + 9, 0, "Note=\"a\n  <Task b\" "), "");
        row("a nested task at the first level's place", edited(nested, 5, "\n  "), "");
        row("a wrong end tag late", edited(written.lastIndexOf("</Task>"), 7, "</Tusk>"), "again");
        row("a bad reference late", edited(late + 15, 0, "&#0;"), "again");
        row("an undecodable byte late", edited(late + 15, 0, "\xC7"), "pieces");
        row("tasks too deep late",
            edited(late, 0,
                   "\n  " + QByteArray("<Task>").repeated(kMaxTaskDepth + 1)
                       + QByteArray("</Task>").repeated(kMaxTaskDepth + 1)),
            "again");
        row("a comment after the top element", written + "<!-- после -->\n", "whole");
        row("all on one line", QByteArray(written).replace("\n", ""), "whole");
    }

    void piecesReadAsTheWholeFile()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, how);
        const QString file = path("pieces.xml");
        QVERIFY(writeFile(file, bytes));
        static QStringList pieced;
        pieced.clear();
        QLoggingCategory::setFilterRules(QStringLiteral("listra.storage.pieces.debug=true"));
        const QtMessageHandler previous
            = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &text) {
                  if (text.contains(QStringLiteral("pieces")))
                      pieced << text;
              });
        // The tree, the reason and the stamp, from the file and from memory.
        auto load = [&](size_t from, size_t piece) {
            setTaskFilePieces(from, piece);
            TaskTree fromFile, fromBytes;
            fillWithLeftovers(fromFile);
            const LoadResult result = loadTaskFile(file, fromFile);
            QString why;
            loadTaskFileFromBytes(bytes, fromBytes, &why);
            return QStringList {dump(fromFile), result.error, QString::number(result.stamp.hash), dump(fromBytes), why};
        };
        const QStringList whole = load(SIZE_MAX, 0);
        const QStringList inSmallPieces = load(1, 4096);
        setTaskFilePieces(0, 0);
        qInstallMessageHandler(previous);
        QLoggingCategory::setFilterRules(QString());
        QCOMPARE(inSmallPieces, whole);
        // Each of the two loads is told in the log when it is read in pieces or goes back to whole.
        const qsizetype inPieces = pieced.filter(QStringLiteral("parsed in")).size();
        const qsizetype again = pieced.filter(QStringLiteral("parsed whole")).size();
        if (how == QStringLiteral("pieces"))
            QCOMPARE(inPieces, 2);
        if (how == QStringLiteral("whole"))
            QCOMPARE(inPieces + again, 0);
        if (how == QStringLiteral("again"))
            QCOMPARE(again, 2);
    }

    // Whatever the reader takes survives a write and a second read unchanged; a refused file leaves nothing.
    void fuzzCorpusRoundTrips()
    {
        const QString corpus = QFINDTESTDATA("../../fuzz/corpus");
        QVERIFY2(!corpus.isEmpty(), "fuzz/corpus not found beside the tests");
        const QStringList files = QDir(corpus).entryList(QDir::Files, QDir::Name);
        QVERIFY(files.size() >= 12);
        int loadedCount = 0;
        for (const QString &name : files) {
            const QByteArray bytes = readFile(QDir(corpus).filePath(name));
            bool loaded = false;
            const QString problem = RoundTrip::check(bytes, &loaded);
            QVERIFY2(problem.isEmpty(), qPrintable(name + QStringLiteral(": ") + problem));
            loadedCount += loaded;
        }
        // The corpus is mostly files the reader takes; a change that refuses them all is a fault.
        // Refused: a broken file, a wrong root, three fuzzer finds whose bytes are no UTF-8, and
        // one each with a NUL byte, a document type and a tag left open among the tasks.
        QVERIFY2(loadedCount >= files.size() - 8, qPrintable(QString::number(loadedCount)));
    }

    void failedSaveKeepsTheOldFile()
    {
        TaskTree tree;
        TaskNode *n = tree.addChild(tree.root(), QStringLiteral("старое содержимое"));
        const QString file = path("keep.xml");
        QVERIFY(saveTaskFile(file, tree).ok);
        const QByteArray before = readFile(file);

        const SaveResult nowhere = saveTaskFile(path("no such folder/Tasks.XML"), tree);
        QVERIFY2(!nowhere.ok && nowhere.error.contains(QStringLiteral("Файл или папка не найдены (")),
                 qPrintable(nowhere.error));

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
        QVERIFY2(full.error.startsWith(QDir::toNativeSeparators(file)
                                       + QStringLiteral(": Файл больше, чем здесь разрешено (")),
                 qPrintable(full.error));
        QCOMPARE(readFile(file), before);
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), entriesBefore);
        QVERIFY(saveTaskFile(file, tree).ok
                && readFile(file).size() > qsizetype(small.rlim_cur)); // once there is room again
#endif
    }

    void unreadableFileIsRefusedWhereItFails()
    {
        const QString file = path("Tasks.XML");
        QVERIFY(writeFile(file, "<Tasks><Task Name=\"половина"));
        TaskTree tree;
        fillWithLeftovers(tree);
        LoadResult loaded = loadTaskFile(file, tree);
        QCOMPARE(loaded.status, LoadResult::Status::Failed);
        QVERIFY2(loaded.error.contains(QDir::toNativeSeparators(file)), qPrintable(loaded.error));
        QCOMPARE(tree.count(), 1);
        // In a large file the fault is placed as exactly as in memory, though the parser has
        // rewritten the bytes before it (line breaks after names and inside values included).
        QByteArray big = "<?xml version=\"1.0\"?>\r\n<Tasks>\r\n";
        for (int i = 0; i < 10000; ++i)
            big += "  <Task\n    Name=\"строка\n" + QByteArray::number(i) + "\"\r\n  />\r\n";
        for (const QByteArray &fault :
             {QByteArray("  <Task Name=\"Ёж\"></Tusk>"), QByteArray("  <Task Name=\"\xC5\xE6\"/>")}) {
            QVERIFY(writeFile(file, big + fault + "\r\n</Tasks>\r\n"));
            QString inMemory;
            QVERIFY(!loadTaskFileFromBytes(readFile(file), tree, &inMemory));
            QVERIFY2(inMemory.contains(QStringLiteral("(строка 40003, столбец ")), qPrintable(inMemory));
            QCOMPARE(loadTaskFile(file, tree).error, QDir::toNativeSeparators(file) + QStringLiteral(": ") + inMemory);
        }
        // A missing file is no failure: an empty list.
        fillWithLeftovers(tree);
        loaded = loadTaskFile(path("missing.xml"), tree);
        QVERIFY(loaded.status == LoadResult::Status::NoFile && loaded.error.isEmpty());
        QCOMPARE(tree.count(), 1);
    }

    // A copy already bearing this second's name is never replaced.
    void unreadableCopiesAsideNeverReplaceOne()
    {
        const QByteArray broken = "<Tasks><Task Name=\"половина";
        const QString file = path("Tasks.XML");
        QVERIFY(writeFile(file, broken));
        const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
        const QString taken = path("Tasks.XML.") + stamp + QStringLiteral(".unreadable");
        QVERIFY(writeFile(taken, "older copy"));
        const QString first = keepUnreadableCopy(file), second = keepUnreadableCopy(file);
        QVERIFY(!first.isEmpty() && !second.isEmpty() && first != second && first != taken && second != taken);
        const QRegularExpression pattern(QStringLiteral("^Tasks\\.XML\\.\\d{8}-\\d{6}(-\\d+)?\\.unreadable$"));
        for (const QString &copy : {first, second}) {
            QVERIFY2(pattern.match(QFileInfo(copy).fileName()).hasMatch(), qPrintable(copy));
            QCOMPARE(QFileInfo(copy).absolutePath(), QFileInfo(file).absolutePath());
            QCOMPARE(readFile(copy), broken);
        }
        QCOMPARE(readFile(taken), QByteArray("older copy"));
        QCOMPARE(readFile(file), broken);
        for (const QString &nothing : {path("nothing-here.xml"), m_dir.path()}) {
            QString why = QStringLiteral("not cleared");
            QVERIFY(keepUnreadableCopy(nothing, &why).isEmpty() && why.isEmpty());
        }
    }

#ifdef Q_OS_UNIX
    // A folder, a pipe or a device is never read (that would hang or never end) nor replaced.
    void placesThatAreNoFiles()
    {
        QVERIFY(QDir().mkpath(path("folder")));
        QVERIFY(::mkfifo(QFile::encodeName(path("fifo")).constData(), 0600) == 0);
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path("zero")));
        TaskTree tree;
        tree.addChild(tree.root(), QStringLiteral("задача"));
        for (auto [name, reason] : {std::pair {"folder", "Это папка, а не файл ("},
                                    {"fifo", "не обычный файл"},
                                    {"zero", "не обычный файл"}}) {
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Not a regular file")));
            TaskTree loaded;
            fillWithLeftovers(loaded);
            const LoadResult result = loadTaskFile(path(name), loaded);
            QVERIFY(result.status == LoadResult::Status::NoFile && loaded.count() == 1);
            const SaveResult saved = saveTaskFile(path(name), tree);
            QVERIFY2(!saved.ok && saved.error.contains(QString::fromUtf8(reason)), qPrintable(saved.error));
        }
        QVERIFY(QFileInfo(path("folder")).isDir() && QFileInfo(path("fifo")).exists()
                && !QFileInfo(path("fifo")).isFile());
        QCOMPARE(QFileInfo(path("zero")).symLinkTarget(), QStringLiteral("/dev/zero"));
        // A link to a regular file stays a link, and its target gets the tasks.
        QVERIFY(writeFile(path("target.xml"), "old") && QFile::link(path("target.xml"), path("link.xml")));
        QVERIFY(saveTaskFile(path("link.xml"), tree).ok);
        QVERIFY(QFileInfo(path("link.xml")).isSymLink());
        QCOMPARE(readFile(path("target.xml")), serializeTaskTree(tree));
    }
#endif
};

LISTRA_TEST_MAIN(TaskFileTest)
#include "tst_taskfile.moc"
