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

#include <vector>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

// Pre-order picture of a tree: one line per task, indented by depth, with everything the
// task file keeps.
QString dump(const TaskTree &tree)
{
    QStringList lines;
    struct Frame {
        const TaskNode *node;
        int next;
    };
    std::vector<Frame> stack{{tree.root(), 0}};
    while (!stack.empty()) {
        Frame &f = stack.back();
        if (f.next >= f.node->childCount()) {
            stack.pop_back();
            continue;
        }
        const TaskNode *n = f.node->child(f.next++);
        QString line = QString(2 * (int(stack.size()) - 1), QLatin1Char(' ')) + n->text() + QStringLiteral(" [")
            + n->imageKey() + (n->isExpanded() ? QStringLiteral(" open") : QStringLiteral(" shut"))
            + (tree.selected() == n ? QStringLiteral(" selected") : QString()) + QStringLiteral("]");
        for (const QString &d : n->info()->RelatedDocuments())
            line += QStringLiteral(" <") + d + QLatin1Char('>');
        lines << line;
        stack.push_back({n, 0});
    }
    return lines.join(QLatin1Char('\n'));
}

TaskNode *at(const TaskTree &tree, std::initializer_list<int> rows)
{
    TaskNode *n = tree.root();
    for (int r : rows)
        n = n->child(r);
    return n;
}

QString writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        return QString();
    return path;
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A tree left over from earlier work, to prove that loads replace it.
void fillWithLeftovers(TaskTree &tree)
{
    TaskNode *a = tree.addChild(tree.root(), QStringLiteral("остаток"));
    tree.addChild(a, QStringLiteral("ещё остаток"));
    tree.setSelected(a);
}

} // namespace

class TaskFileTest : public TestCase
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString &name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    void roundTripKeepsWhatUsersType()
    {
        TaskTree tree;
        StatusColors colors;
        const QString multiLine = QStringLiteral("Первая строка\r\nвторая\nтретья\rчетвёртая\tс табуляцией");
        const QString symbols = QStringLiteral("Кавычки \"двойные\" и 'одинарные', & амперсанд, <тег>, ]]> и &amp; как текст");
        const QString emoji = QStringLiteral("Эмодзи \U0001F600 и флаг \U0001F1F7\U0001F1FA, математика \U0001D400");
        const QString rtl = QStringLiteral("עברית وعربي mixed \u200F\u202Eперевёрнутое\u202C");
        const QString padded = QStringLiteral("  с пробелами по краям \t");
        const QString del = QStringLiteral("DEL\u007F и NEL\u0085 и NBSP\u00A0 остаются");

        TaskNode *top = tree.addChild(tree.root(), multiLine, TaskStatus::Done);
        TaskNode *child = tree.addChild(top, symbols, TaskStatus::Rejected);
        TaskNode *grandchild = tree.addChild(child, emoji);
        tree.addChild(tree.root(), rtl);
        TaskNode *paddedNode = tree.addChild(tree.root(), padded);
        tree.addChild(paddedNode, del);
        tree.setExpanded(top, true);
        tree.setExpanded(child, true);
        tree.setRelatedDocuments(child, {QStringLiteral("C:\\Отчёты\\q3 & q4.xls"), QStringLiteral("https://example.org/?a=1&b=\"2\""),
                                         QStringLiteral("C:\\Отчёты\\q3 & q4.xls")});
        tree.setRelatedDocuments(grandchild, {QStringLiteral("/home/пользователь/файл <новый>.odt")});
        tree.setSelected(grandchild);

        const QString file = path(QStringLiteral("roundtrip.xml"));
        const SaveResult saved = saveTaskFile(file, tree);
        QVERIFY2(saved.ok, qPrintable(saved.error));
        QVERIFY(saved.error.isEmpty());

        TaskTree again;
        fillWithLeftovers(again);
        const LoadResult loaded = loadTaskFile(file, again, colors);
        QCOMPARE(loaded.status, LoadResult::Status::Loaded);
        QVERIFY(loaded.error.isEmpty());

        // Everything comes back, except the blanks round a text, which the reader trims.
        tree.setText(paddedNode, padded.trimmed());
        QCOMPARE(dump(again), dump(tree));
        QCOMPARE(at(again, {0})->text(), multiLine);
        QCOMPARE(at(again, {0, 0})->text(), symbols);
        QCOMPARE(at(again, {0, 0, 0})->text(), emoji);
        QCOMPARE(at(again, {1})->text(), rtl);
        QCOMPARE(at(again, {2, 0})->text(), del);
        QCOMPARE(again.selected(), at(again, {0, 0, 0}));
        QCOMPARE(again.count(), tree.count());

        // The file order is the creation order of the loaded tree.
        QStringList created;
        for (const TaskNode *n = again.nextCreated(again.firstCreated()); n; n = again.nextCreated(n))
            created << n->text();
        QCOMPARE(created, (QStringList{multiLine, symbols, emoji, rtl, padded.trimmed(), del}));

        // Written again, the loaded tree gives the same file as the original.
        QCOMPARE(serializeTaskTree(again), serializeTaskTree(tree));
    }

    void charactersXmlCannotHoldAreDroppedNotFatal()
    {
        TaskTree tree;
        const QString hostile = QStringLiteral("a") + QChar(0x01) + QStringLiteral("b") + QChar(0x0B) + QChar(0x0C)
            + QStringLiteral("c") + QChar(0x1F) + QChar(0xFFFE) + QChar(0xFFFF) + QStringLiteral("d") + QChar(0xD800)
            + QStringLiteral("e") + QChar(0xDC00) + QStringLiteral("f") + QChar(0x00);
        tree.addChild(tree.root(), hostile);
        TaskNode *withDoc = tree.addChild(tree.root(), QStringLiteral("документ"));
        tree.setRelatedDocuments(withDoc, {QStringLiteral("путь") + QChar(0x02) + QStringLiteral("\\файл") + QChar(0xDBFF)});
        // Only control characters: nothing printable is left, so it loads as untitled.
        tree.addChild(tree.root(), QString(QChar(0x03)) + QChar(0x04));

        const QString file = path(QStringLiteral("controls.xml"));
        QVERIFY(saveTaskFile(file, tree).ok);

        // Another XML reader accepts the file as it is.
        QXmlStreamReader xml(readFile(file));
        QStringList names;
        while (!xml.atEnd()) {
            if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("Task"))
                names << xml.attributes().value(QLatin1String("Name")).toString();
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(names, (QStringList{QStringLiteral("abcdef"), QStringLiteral("документ"), QString()}));

        TaskTree again;
        QCOMPARE(loadTaskFile(file, again, {}).status, LoadResult::Status::Loaded);
        QCOMPARE(at(again, {0})->text(), QStringLiteral("abcdef"));
        QCOMPARE(at(again, {1})->info()->RelatedDocuments(), QStringList{QStringLiteral("путь\\файл")});
        QCOMPARE(at(again, {2})->text(), TaskTree::kUntitled);
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

        const QString file = path(QStringLiteral("shape.xml"));
        QVERIFY(saveTaskFile(file, tree).ok);
        const QByteArray expected = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                                    "<Tasks>\n"
                                    "  <Task Name=\"Buy paper\" State=\"Done\" Expanded=\"False\" />\n"
                                    "  <Task Name=\"Quarterly report\" State=\"Progress\" Expanded=\"True\" Selected=\"True\">\n"
                                    "    <RelatedDocuments>\n"
                                    "      <Document FileName=\"C:\\Reports\\q3.xls\" />\n"
                                    "      <Document FileName=\"C:\\Reports\" />\n"
                                    "    </RelatedDocuments>\n"
                                    "    <Task Name=\"Collect figures\" State=\"Rejected\" Expanded=\"True\" />\n"
                                    "  </Task>\n"
                                    "</Tasks>\n";
        QCOMPARE(readFile(file), expected);

        // The top node selected: no task carries Selected. No tasks at all: an empty Tasks.
        tree.setSelected(tree.root());
        QVERIFY(!serializeTaskTree(tree).contains("Selected"));
        tree.setSelected(nullptr);
        QVERIFY(!serializeTaskTree(tree).contains("Selected"));
        tree.clear();
        QCOMPARE(serializeTaskTree(tree), QByteArray("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Tasks />\n"));

        // Nesting deeper than the indentation goes still yields the same tree back.
        TaskNode *n = tree.root();
        for (int i = 0; i < 100; ++i) {
            n = tree.addChild(n, QString::number(i));
            tree.setExpanded(n, i < 99);
        }
        tree.setSelected(n);
        TaskTree deep;
        QVERIFY(loadTaskFileFromBytes(serializeTaskTree(tree), deep, {}));
        QCOMPARE(dump(deep), dump(tree));
    }

    void readerFallbacks()
    {
        const QByteArray xml = R"(<?xml version="1.0" encoding="utf-8"?>
<!-- written by hand -->
<Tasks>
  <Task State="Done"/>
  <Task Name="   " Expanded=" false "/>
  <Task Expanded="0" Name="  Обрезать пробелы  " State=" Rejected "/>
  <Task Name="lower" State="done" Expanded="FaLsE"/>
  <Task Name="unknown" State="Finished" Expanded="2" Colour="red"/>
  <Task Name="empty state" State="" Expanded=""/>
  <Task Name="minus one" Expanded="-1"/>
  <Task Name="one" Expanded=" 1 "/>
  <Task Name="mixed case" Expanded=" tRuE "/>
  <Task Name="yes" Expanded="yes"/>
  <Task Name="docs" State="Progress">
    <RelatedDocuments>
      <Document FileName="  /tmp/a.txt  "/>
      <Document FileName="   "/>
      <Document/>
      <Document FileName=""/>
      <Other FileName="/ignored"/>
    </RelatedDocuments>
    <Document FileName="/not-in-a-list"/>
    <RelatedDocuments><Document FileName="/tmp/b.txt"/></RelatedDocuments>
    Some text content that nobody reads.
    <Unknown><Task Name="not a direct child"/></Unknown>
    <Task Name="child after documents"/>
  </Task>
  <Task Name="only blank documents"><RelatedDocuments><Document FileName=" "/></RelatedDocuments></Task>
  <task Name="wrong case element"/>
</Tasks>
)";
        StatusColors colors;
        colors.useBackColor = true;
        TaskTree tree;
        QString error;
        QVERIFY(loadTaskFileFromBytes(xml, tree, colors, &error));
        QVERIFY(error.isEmpty());
        QCOMPARE(tree.root()->childCount(), 12);

        const TaskNode *untitled = at(tree, {0});
        QCOMPARE(untitled->text(), TaskTree::kUntitled);
        QCOMPARE(untitled->imageKey(), QStringLiteral("Done"));
        QVERIFY(untitled->isExpanded()); // no Expanded: open
        QCOMPARE(untitled->foreColor(), colors.doneFore);
        QCOMPARE(untitled->backColor(), colors.doneBack);

        QCOMPARE(at(tree, {1})->text(), TaskTree::kUntitled);
        QVERIFY(!at(tree, {1})->isExpanded());

        const TaskNode *trimmed = at(tree, {2});
        QCOMPARE(trimmed->text(), QStringLiteral("Обрезать пробелы"));
        QCOMPARE(trimmed->imageKey(), QStringLiteral("Rejected"));
        QCOMPARE(trimmed->backColor(), colors.rejectedBack);
        QVERIFY(!trimmed->isExpanded());

        for (int row : {3, 4, 5}) {
            QCOMPARE(at(tree, {row})->imageKey(), QStringLiteral("Progress"));
            QCOMPARE(at(tree, {row})->foreColor(), colors.progressFore);
            QCOMPARE(at(tree, {row})->backColor(), colors.progressBack);
        }
        QVERIFY(!at(tree, {3})->isExpanded());
        QVERIFY(!at(tree, {4})->isExpanded());
        QVERIFY(at(tree, {5})->isExpanded()); // empty: the default
        QVERIFY(at(tree, {6})->isExpanded());
        QVERIFY(at(tree, {7})->isExpanded());
        QVERIFY(at(tree, {8})->isExpanded());
        QVERIFY(!at(tree, {9})->isExpanded());

        const TaskNode *docs = at(tree, {10});
        QCOMPARE(docs->info()->RelatedDocuments(), (QStringList{QStringLiteral("/tmp/a.txt"), QStringLiteral("/tmp/b.txt")}));
        QCOMPARE(docs->childCount(), 1);
        QCOMPARE(docs->child(0)->text(), QStringLiteral("child after documents"));
        QVERIFY(docs->child(0)->info()->RelatedDocuments().isEmpty());

        // Blank documents are gone for good: the next save writes no list for them.
        const TaskNode *blank = at(tree, {11});
        QVERIFY(blank->info()->RelatedDocuments().isEmpty());
        const QByteArray written = serializeTaskTree(tree);
        QCOMPARE(written.count("<RelatedDocuments>"), 1);
        QVERIFY(!written.contains("Colour"));
        QVERIFY(!written.contains("wrong case element"));
        QVERIFY(!written.contains("not a direct child"));
        QVERIFY(tree.selected() == nullptr);

        // Without backgrounds every status gets the window's own.
        TaskTree plain;
        QVERIFY(loadTaskFileFromBytes(xml, plain, StatusColors()));
        QCOMPARE(at(plain, {0})->backColor(), kSystemWindowBackground);
        QCOMPARE(at(plain, {2})->backColor(), kSystemWindowBackground);
    }

    void selectedTasksOpenTheirAncestors()
    {
        const QByteArray xml = R"(<Tasks>
  <Task Name="A" Expanded="False">
    <Task Name="A1" Expanded="False">
      <Task Name="A1a" Expanded="False" Selected="True"/>
    </Task>
    <Task Name="A2" Expanded="False"><Task Name="A2a"/></Task>
  </Task>
  <Task Name="B" Expanded="False">
    <Task Name="B1" Expanded="0" Selected=" true ">
      <Task Name="B1a" Expanded="False"/>
    </Task>
  </Task>
  <Task Name="C" Expanded="False"><Task Name="C1" Expanded="False" Selected="False"/></Task>
  <Task Name="D" Expanded="False" Selected="0"/>
</Tasks>)";
        TaskTree tree;
        tree.setExpanded(tree.root(), false);
        QVERIFY(loadTaskFileFromBytes(xml, tree, {}));
        // The last one in document order wins; every selected one opened its way.
        QCOMPARE(tree.selected()->text(), QStringLiteral("B1"));
        QVERIFY(tree.root()->isExpanded());
        QVERIFY(at(tree, {0})->isExpanded());
        QVERIFY(at(tree, {0, 0})->isExpanded());
        QVERIFY(!at(tree, {0, 0, 0})->isExpanded());
        QVERIFY(!at(tree, {0, 1})->isExpanded());
        QVERIFY(at(tree, {1})->isExpanded());
        QVERIFY(!at(tree, {1, 0})->isExpanded()); // the selected task keeps its own flag
        QVERIFY(!at(tree, {2})->isExpanded());
        QVERIFY(!at(tree, {3})->isExpanded());

        // Only the survivor is written as selected.
        const QByteArray written = serializeTaskTree(tree);
        QCOMPARE(written.count("Selected="), 1);
        QVERIFY(written.contains("<Task Name=\"B1\" State=\"Progress\" Expanded=\"False\" Selected=\"True\">"));
    }

    void acceptsEncodingsAndLayouts()
    {
        const QString body = QStringLiteral("<Tasks>\r\n\t<Task Name=\"Задача «один» é\" State=\"Done\">\r\n"
                                            "\t\t<RelatedDocuments><Document FileName=\"C:\\Документ.doc\"/></RelatedDocuments>\r\n"
                                            "\t\t<Task Name=\"Подзадача\" Expanded=\"False\"/>\r\n\t</Task>\r\n</Tasks>\r\n");
        auto decl = [](const char *encoding) {
            return QStringLiteral("<?xml version=\"1.0\" encoding=\"%1\" standalone=\"yes\"?>\r\n").arg(QLatin1String(encoding));
        };
        auto expectLoaded = [](const QByteArray &bytes, const char *what) {
            TaskTree tree;
            QString error;
            if (!loadTaskFileFromBytes(bytes, tree, {}, &error))
                return QStringLiteral("%1 refused: %2").arg(QLatin1String(what), error);
            const QString got = at(tree, {0})->text() + QLatin1Char('|') + at(tree, {0})->imageKey() + QLatin1Char('|')
                + at(tree, {0})->info()->RelatedDocuments().join(QLatin1Char(',')) + QLatin1Char('|')
                + at(tree, {0, 0})->text();
            const QString want = QStringLiteral("Задача «один» é|Done|C:\\Документ.doc|Подзадача");
            return got == want ? QString() : QStringLiteral("%1 read as %2").arg(QLatin1String(what), got);
        };
        auto encoded = [](QStringConverter::Encoding e, const QString &text) {
            QStringEncoder encoder(e, QStringConverter::Flag::WriteBom);
            return QByteArray(encoder.encode(text));
        };

        QString failure;
        failure = expectLoaded(body.toUtf8(), "no declaration");
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        failure = expectLoaded("\xEF\xBB\xBF" + (decl("UTF-8") + body).toUtf8(), "UTF-8 with BOM");
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        failure = expectLoaded(encoded(QStringConverter::Utf16LE, decl("utf-16") + body), "UTF-16 LE");
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        failure = expectLoaded(encoded(QStringConverter::Utf16BE, decl("utf-16") + body), "UTF-16 BE");
        QVERIFY2(failure.isEmpty(), qPrintable(failure));

        QStringEncoder cp1251("windows-1251");
        if (cp1251.isValid()) {
            const QString text = decl("windows-1251") + body;
            QByteArray bytes = cp1251.encode(text);
            bytes.replace(QByteArray("\xE9"), QByteArray()); // é has no place in that code page
            TaskTree tree;
            QVERIFY(loadTaskFileFromBytes(bytes, tree, {}));
            QVERIFY(at(tree, {0})->text().startsWith(QStringLiteral("Задача «один»")));
            QCOMPARE(at(tree, {0, 0})->text(), QStringLiteral("Подзадача"));
        }

        // Attributes in any order, prolog extras, a document type with an internal subset.
        const QByteArray extras = R"(<?xml version="1.0"?>
<?some-tool instruction?>
<!DOCTYPE Tasks [ <!ELEMENT Tasks ANY> <!ATTLIST Task Name CDATA #IMPLIED> ]>
<!-- a comment -->
<Tasks xmlns:x="urn:x" x:unused="1"><Task Expanded="False" x:extra="y" State="Rejected" Name="Tail first"><![CDATA[ignored]]></Task></Tasks>
<!-- trailing comment -->)";
        TaskTree tree;
        QVERIFY(loadTaskFileFromBytes(extras, tree, {}));
        QCOMPARE(dump(tree), QStringLiteral("Tail first [Rejected shut]"));
    }

    void refusedDocumentsLeaveOnlyTheTopNode()
    {
        const QList<QPair<QByteArray, const char *>> cases = {
            {"<tasks><Task Name=\"x\"/></tasks>", "root name in other case"},
            {"<Task Name=\"x\"/>", "root is a task"},
            {"<Tasks><Task Name=\"x\"></Tasks>", "unclosed task"},
            {"<Tasks><Task Name=x/></Tasks>", "unquoted value"},
            {"", "empty"},
            {"   \r\n  ", "blanks only"},
            {"<!-- only a comment -->", "no element"},
            {"<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Tasks>\n  <Task Name=\"x\"", "truncated"},
            {"\x89PNG\r\n\x1a\n\0\0\0\rIHDR", "binary"},
            {"<Tasks></Tasks><Tasks></Tasks>", "two roots"},
            {"<![CDATA[x]]><Tasks/>", "character data before the root"},
        };
        for (const auto &[bytes, what] : cases) {
            TaskTree tree;
            fillWithLeftovers(tree);
            QString error;
            QVERIFY2(!loadTaskFileFromBytes(bytes, tree, {}, &error), what);
            QVERIFY2(!error.isEmpty(), what);
            QCOMPARE(tree.count(), 1);
            QCOMPARE(tree.root()->childCount(), 0);
            QVERIFY(tree.selected() == nullptr);
        }

        // The wrong root is named, and a parse error is placed by line and column.
        TaskTree tree;
        QString error;
        QVERIFY(!loadTaskFileFromBytes("<tasks/>", tree, {}, &error));
        QVERIFY2(error.contains(QStringLiteral("«tasks»")), qPrintable(error));
        QVERIFY(!loadTaskFileFromBytes("<Tasks>\n  <Task Name=\"Ёж\">\n  </Tusk>\n</Tasks>", tree, {}, &error));
        QVERIFY2(error.contains(QStringLiteral("строка 3")), qPrintable(error));

        // Through the file: the same verdict, with the file named.
        const QString file = writeFile(path(QStringLiteral("broken.xml")), "<Tasks><Task Name=\"x\">");
        QVERIFY(!file.isEmpty());
        fillWithLeftovers(tree);
        LoadResult loaded = loadTaskFile(file, tree, {});
        QCOMPARE(loaded.status, LoadResult::Status::Failed);
        QVERIFY2(loaded.error.contains(QDir::toNativeSeparators(file)), qPrintable(loaded.error));
        QCOMPARE(tree.count(), 1);

        loaded = loadTaskFile(m_dir.path(), tree, {});
        QCOMPARE(loaded.status, LoadResult::Status::Failed);

        fillWithLeftovers(tree);
        loaded = loadTaskFile(path(QStringLiteral("missing.xml")), tree, {});
        QCOMPARE(loaded.status, LoadResult::Status::NoFile);
        QVERIFY(loaded.error.isEmpty());
        QCOMPARE(tree.count(), 1);
        // The next save creates the file with an empty list.
        QVERIFY(saveTaskFile(path(QStringLiteral("missing.xml")), tree).ok);
        TaskTree again;
        QCOMPARE(loadTaskFile(path(QStringLiteral("missing.xml")), again, {}).status, LoadResult::Status::Loaded);
        QCOMPARE(again.count(), 1);

#ifdef Q_OS_UNIX
        if (::geteuid() != 0) { // root reads anything
            const QString locked = writeFile(path(QStringLiteral("locked.xml")), "<Tasks/>");
            QFile::setPermissions(locked, QFileDevice::WriteOwner);
            QCOMPARE(loadTaskFile(locked, tree, {}).status, LoadResult::Status::Failed);
        }
#endif
    }

    void hostileFilesNeitherExpandNorCrash()
    {
        // Entities are never expanded: the reference stays as text, nothing is fetched.
        QByteArray bomb = "<?xml version=\"1.0\"?>\n<!DOCTYPE Tasks [\n  <!ENTITY lol \"lol\">\n";
        for (int level = 1; level <= 9; ++level) {
            bomb += "  <!ENTITY lol" + QByteArray::number(level) + " \"";
            for (int i = 0; i < 10; ++i)
                bomb += "&lol" + (level > 1 ? QByteArray::number(level - 1) : QByteArray()) + ";";
            bomb += "\">\n";
        }
        bomb += "  <!ENTITY xxe SYSTEM \"file:" "///etc/passwd\">\n]>\n"
                "<Tasks><Task Name=\"&lol9;\">&lol9;<Task Name=\"&xxe;\"/></Task></Tasks>";
        TaskTree tree;
        QString error;
        if (loadTaskFileFromBytes(bomb, tree, {}, &error)) {
            QCOMPARE(tree.count(), 3);
            QVERIFY(at(tree, {0})->text().size() < 16);
            QVERIFY(at(tree, {0, 0})->text().size() < 16);
        } else {
            QCOMPARE(tree.count(), 1);
        }

        // Nesting far beyond any real list is refused as a whole, without deep recursion.
        const int levels = 100000;
        QByteArray deep = "<Tasks>";
        deep.reserve(levels * 30);
        for (int i = 0; i < levels; ++i)
            deep += "<Task Name=\"x\">";
        for (int i = 0; i < levels; ++i)
            deep += "</Task>";
        deep += "</Tasks>";
        fillWithLeftovers(tree);
        QVERIFY(!loadTaskFileFromBytes(deep, tree, {}, &error));
        QVERIFY2(error.contains(QString::number(kMaxTaskDepth)), qPrintable(error));
        QCOMPARE(tree.count(), 1);

        // Up to the limit, the chain loads, selects its deepest task and saves again.
        QByteArray limit = "<Tasks>";
        for (int i = 1; i <= kMaxTaskDepth; ++i)
            limit += i == kMaxTaskDepth ? "<Task Name=\"bottom\" Selected=\"True\" Expanded=\"False\">" : "<Task Name=\"x\" Expanded=\"False\">";
        for (int i = 0; i < kMaxTaskDepth; ++i)
            limit += "</Task>";
        limit += "</Tasks>";
        QVERIFY2(loadTaskFileFromBytes(limit, tree, {}, &error), qPrintable(error));
        QCOMPARE(tree.count(), kMaxTaskDepth + 1);
        QCOMPARE(tree.selected()->text(), QStringLiteral("bottom"));
        QCOMPARE(tree.selected()->depth(), kMaxTaskDepth);
        QVERIFY(tree.selected()->parent()->isExpanded());
        QVERIFY(at(tree, {0})->isExpanded());
        TaskTree copy;
        QVERIFY(loadTaskFileFromBytes(serializeTaskTree(tree), copy, {}));
        QCOMPARE(copy.count(), tree.count());

        // Unclosed elements by the million, and hundreds of megabytes of noise.
        QByteArray unclosed;
        for (int i = 0; i < 1000000; ++i)
            unclosed += "<a>";
        QVERIFY(!loadTaskFileFromBytes(unclosed, tree, {}));
        QByteArray noise(300 * 1024 * 1024, Qt::Uninitialized);
        quint32 x = 12345;
        for (char &c : noise) {
            x = x * 1103515245u + 12345u;
            c = char(x >> 24);
        }
        QVERIFY(!loadTaskFileFromBytes(noise, tree, {}));
        noise[0] = '<';
        QVERIFY(!loadTaskFileFromBytes(noise, tree, {}));
        QCOMPARE(tree.count(), 1);
    }

    void failedSaveKeepsTheOldFile()
    {
        TaskTree tree;
        TaskNode *n = tree.addChild(tree.root(), QStringLiteral("старое содержимое"));
        const QString file = path(QStringLiteral("keep.xml"));
        QVERIFY(saveTaskFile(file, tree).ok);
        const QByteArray before = readFile(file);

        // A folder in the way, and a folder that does not exist.
        const QString folder = path(QStringLiteral("a folder"));
        QVERIFY(QDir().mkpath(folder));
        SaveResult saved = saveTaskFile(folder, tree);
        QVERIFY(!saved.ok);
        QVERIFY(!saved.error.isEmpty());
        QVERIFY(QFileInfo(folder).isDir());
        saved = saveTaskFile(path(QStringLiteral("no such folder/Tasks.XML")), tree);
        QVERIFY(!saved.ok);
        QVERIFY(!saved.error.isEmpty());

#ifdef Q_OS_UNIX
        // The disk "fills up" half-way through the write: the old file is untouched and no
        // temporary file is left behind.
        for (int i = 0; i < 20000; ++i)
            tree.addChild(n, QStringLiteral("задача номер %1, длинная, чтобы файл вырос").arg(i));
        const QStringList entriesBefore = QDir(m_dir.path()).entryList(QDir::Files);
        rlimit old{};
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &old) == 0);
        rlimit small = old;
        small.rlim_cur = 64 * 1024;
        auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
        saved = saveTaskFile(file, tree);
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, previousHandler);
        QVERIFY(!saved.ok);
        QVERIFY2(saved.error.contains(QDir::toNativeSeparators(file)), qPrintable(saved.error));
        QCOMPARE(readFile(file), before);
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), entriesBefore);

        if (::geteuid() != 0) { // root writes anywhere
            const QString readOnly = path(QStringLiteral("read-only"));
            QDir().mkpath(readOnly);
            const QString inside = readOnly + QStringLiteral("/Tasks.XML");
            QVERIFY(saveTaskFile(inside, TaskTree()).ok);
            const QByteArray small = readFile(inside);
            QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
            QVERIFY(!saveTaskFile(inside, tree).ok);
            QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
            QCOMPARE(readFile(inside), small);
        }
#endif
        // And once the trouble is gone the same save goes through.
        saved = saveTaskFile(file, tree);
        QVERIFY2(saved.ok, qPrintable(saved.error));
        TaskTree again;
        QCOMPARE(loadTaskFile(file, again, {}).status, LoadResult::Status::Loaded);
        QCOMPARE(again.count(), tree.count());
    }

    void unreadableFilesAreCopiedAside()
    {
        const QByteArray broken = "<Tasks><Task Name=\"половина";
        const QString file = writeFile(path(QStringLiteral("Tasks.XML")), broken);
        QVERIFY(!file.isEmpty());

        // A copy already bearing this second's name is never replaced.
        const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
        const QString taken = writeFile(path(QStringLiteral("Tasks.XML.%1.unreadable").arg(stamp)), "older copy");

        const QString first = keepUnreadableCopy(file);
        const QString second = keepUnreadableCopy(file);
        QVERIFY(!first.isEmpty());
        QVERIFY(!second.isEmpty());
        QVERIFY(first != second);
        QVERIFY(first != taken && second != taken);
        const QRegularExpression pattern(QStringLiteral("^Tasks\\.XML\\.\\d{8}-\\d{6}(-\\d+)?\\.unreadable$"));
        QVERIFY2(pattern.match(QFileInfo(first).fileName()).hasMatch(), qPrintable(first));
        QVERIFY2(pattern.match(QFileInfo(second).fileName()).hasMatch(), qPrintable(second));
        QCOMPARE(QFileInfo(first).absolutePath(), QFileInfo(file).absolutePath());
        QCOMPARE(readFile(first), broken);
        QCOMPARE(readFile(second), broken);
        QCOMPARE(readFile(taken), QByteArray("older copy"));
        QCOMPARE(readFile(file), broken);

        QVERIFY(keepUnreadableCopy(path(QStringLiteral("nothing-here.xml"))).isEmpty());
        QVERIFY(keepUnreadableCopy(m_dir.path()).isEmpty());
    }
};

LISTRA_TEST_MAIN(TaskFileTest)
#include "tst_taskfile.moc"
