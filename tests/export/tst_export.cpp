// SPDX-License-Identifier: MIT
#include "tests/support/TestMain.h"

#include "export/TaskExport.h"
#include "model/TaskTree.h"

#include <QXmlStreamReader>

#include <md4c.h>

namespace {

// What a reader of an export should find of one task.
struct Seen {
    int depth = 0; // below the exported top
    QString status;
    QString text;
    QStringList documents;

    bool operator==(const Seen &) const = default;
};

QString show(const QList<Seen> &tasks)
{
    QStringList lines;
    for (const Seen &s : tasks)
        lines << QStringLiteral("%1 %2 [%3] {%4}")
                     .arg(QString(s.depth * 2, u' '), s.status, s.text, s.documents.join(QStringLiteral(" | ")));
    return lines.join(u'\n');
}

// Every kind of text that could break a format.
void fill(TaskTree &tree)
{
    TaskNode *work = tree.addChild(tree.root(), QStringLiteral("Работа / дом\\склад"));
    TaskNode *report = tree.addChild(
        work, QStringLiteral("Отчёт \"итоговый\", 2 части\r\nвторая строка\n\nпосле пустой"), TaskStatus::Done);
    tree.setRelatedDocuments(
        report,
        {QStringLiteral("/home/user/Отчёт (1), «финал».odt"), QStringLiteral("https://example.org/a?b=1&c=<2>")});
    tree.addChild(report, QStringLiteral("# не заголовок\n- не пункт\n1. не номер\n    не код\n==="),
                  TaskStatus::Rejected);
    tree.addChild(report, QStringLiteral("a < b && c > d | e * f _g_ `h` [i](j) ~~k~~ \\ \"q\"  \nend blanks\t "));
    TaskNode *emoji
        = tree.addChild(tree.root(), QStringLiteral("Эмодзи 😀👍🏽 и עברית שלום مرحبا"),
                        TaskStatus::Rejected);
    tree.setRelatedDocuments(emoji,
                             {QStringLiteral("/tmp/a b/c,d\"e.txt"), QStringLiteral("www.example.org/x_y"),
                              QStringLiteral("mailto:someone@example.org")});
    tree.addChild(emoji, QStringLiteral("<script>alert(1)</script>&amp;"));
}

// What the tree holds from top down, as a reader should see it: line breaks as line feeds
// unless exact.
QList<Seen> expected(const TaskNode *top, bool exact = false)
{
    QList<Seen> out;
    std::function<void(const TaskNode *, int)> add = [&](const TaskNode *node, int depth) {
        if (!node->isRoot()) {
            QString text = node->text();
            if (!exact)
                text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
            out.append({depth, statusText(node->status()), text, node->info()->RelatedDocuments()});
        }
        for (int r = 0; r < node->childCount(); ++r)
            add(node->child(r), node->isRoot() ? depth : depth + 1);
    };
    add(top, 0);
    return out;
}

// The document a link points at, back from its address.
QString documentOf(const QString &href)
{
    const QUrl url(href);
    return url.isLocalFile() ? url.toLocalFile() : QUrl::fromPercentEncoding(href.toUtf8());
}

// Reads the checklist back: the items with their nesting, task mark, text and links. Anything
// else the text turned into (emphasis, code, raw HTML, a heading inside an item) is unexpected.
struct MarkdownReader {
    QList<Seen> tasks;
    QStringList headings, unexpected;
    QString href; // of the link being read
    QList<qsizetype> openItems;
    int lists = 0;
    bool inHeading = false, inLink = false;

    QString *target()
    {
        if (inHeading)
            return &headings.last();
        if (inLink)
            return &tasks[openItems.last()].documents.last();
        return openItems.isEmpty() ? nullptr : &tasks[openItems.last()].text;
    }

    bool read(const QByteArray &bytes)
    {
        MD_PARSER parser {};
        parser.flags = MD_DIALECT_GITHUB;
        parser.enter_block = [](MD_BLOCKTYPE type, void *detail, void *self) {
            auto &r = *static_cast<MarkdownReader *>(self);
            if (type == MD_BLOCK_UL) {
                ++r.lists;
            } else if (type == MD_BLOCK_LI) {
                const auto *li = static_cast<MD_BLOCK_LI_DETAIL *>(detail);
                r.openItems << r.tasks.size();
                r.tasks << Seen {r.lists - 1, {}, {}, {}};
                if (li->is_task)
                    r.tasks.last().status = statusText(li->task_mark == ' ' ? TaskStatus::Progress : TaskStatus::Done);
            } else if (type == MD_BLOCK_H && r.openItems.isEmpty()) {
                r.inHeading = true;
                r.headings << QString();
            } else if (type != MD_BLOCK_DOC && type != MD_BLOCK_P) {
                r.unexpected << QStringLiteral("block %1").arg(int(type));
            }
            return 0;
        };
        parser.leave_block = [](MD_BLOCKTYPE type, void *, void *self) {
            auto &r = *static_cast<MarkdownReader *>(self);
            if (type == MD_BLOCK_UL)
                --r.lists;
            else if (type == MD_BLOCK_LI)
                r.openItems.removeLast();
            else if (type == MD_BLOCK_H)
                r.inHeading = false;
            return 0;
        };
        parser.enter_span = [](MD_SPANTYPE type, void *detail, void *self) {
            auto &r = *static_cast<MarkdownReader *>(self);
            if (type != MD_SPAN_A || r.openItems.isEmpty()) {
                r.unexpected << QStringLiteral("span %1").arg(int(type));
                return 0;
            }
            const auto *a = static_cast<MD_SPAN_A_DETAIL *>(detail);
            r.inLink = true;
            r.tasks[r.openItems.last()].documents << QString();
            r.href = QString::fromUtf8(a->href.text, qsizetype(a->href.size));
            return 0;
        };
        parser.leave_span = [](MD_SPANTYPE type, void *, void *self) {
            auto &r = *static_cast<MarkdownReader *>(self);
            if (type == MD_SPAN_A) {
                r.inLink = false;
                const QString document = r.tasks[r.openItems.last()].documents.last();
                if (documentOf(r.href) != document)
                    r.unexpected << QStringLiteral("link ") + r.href + QStringLiteral(" for ") + document;
            }
            return 0;
        };
        parser.text = [](MD_TEXTTYPE type, const MD_CHAR *text, MD_SIZE size, void *self) {
            auto &r = *static_cast<MarkdownReader *>(self);
            const QString t = QString::fromUtf8(text, qsizetype(size));
            QString *into = r.target();
            if (!into) {
                r.unexpected << QStringLiteral("text outside an item: ") + t;
                return 0;
            }
            if (type == MD_TEXT_NORMAL)
                *into += t;
            else if (type == MD_TEXT_BR)
                *into += u'\n';
            else if (type == MD_TEXT_ENTITY && t.startsWith(QStringLiteral("&#")) && t.endsWith(u';'))
                *into += QChar(t.mid(2, t.size() - 3).toInt()); // numeric references only: "&#32;"
            else
                r.unexpected << QStringLiteral("text %1: ").arg(int(type)) + t;
            return 0;
        };
        return md_parse(bytes.constData(), MD_SIZE(bytes.size()), &parser, this) == 0;
    }
};

} // namespace

class ExportTest : public TestCase
{
    Q_OBJECT

    TaskTree tree;

    void tops()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("whole tree") << QString();
        QTest::newRow("sub-tree") << QStringLiteral("Работа \\/ дом\\\\склад");
    }
    const TaskNode *topOf(const QString &path) { return path.isEmpty() ? tree.root() : findTaskByPath(tree, path); }

private Q_SLOTS:
    void initTestCase() { fill(tree); }

    // md4c, a CommonMark reader, with GitHub's task lists.
    void markdownReadsBack_data() { tops(); }
    void markdownReadsBack()
    {
        QFETCH(QString, path);
        const TaskNode *top = topOf(path);
        QVERIFY(top);
        const QByteArray bytes = exportTasks(tree, top, ExportFormat::Markdown);
        QVERIFY(!bytes.startsWith("\xEF\xBB\xBF"));
        MarkdownReader reader;
        QVERIFY(reader.read(bytes));
        QCOMPARE(reader.unexpected, QStringList());
        QCOMPARE(reader.headings, path.isEmpty() ? QStringList {QStringLiteral("Задачи")} : QStringList {});
        for (Seen &s : reader.tasks) {
            // Each document stands on a line of its own after the text.
            QVERIFY2(s.text.endsWith(QString(s.documents.size(), u'\n')), qPrintable(show(reader.tasks)));
            s.text.chop(s.documents.size());
            if (s.status.isEmpty()) {
                QVERIFY2(s.text.startsWith(QStringLiteral("[~] ")), qPrintable(s.text));
                s.text.remove(0, 4);
                s.status = statusText(TaskStatus::Rejected);
            }
        }
        QCOMPARE(show(reader.tasks), show(expected(top)));
    }

    // Well-formed XML as well as HTML, so the strict XML reader takes it.
    void htmlReadsBack_data() { tops(); }
    void htmlReadsBack()
    {
        QFETCH(QString, path);
        const TaskNode *top = topOf(path);
        QXmlStreamReader xml(exportTasks(tree, top, ExportFormat::Html));
        QList<Seen> seen;
        int depth = -1; // the lists of tasks open around the reader
        QStringList lists;
        QString title;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isEndElement() && xml.name() == QLatin1String("ul")) {
                if (lists.takeLast() == QLatin1String("tasks"))
                    --depth;
                continue;
            }
            if (!xml.isStartElement())
                continue;
            const QStringView cls = xml.attributes().value(QLatin1String("class"));
            if (xml.name() == QLatin1String("title")) {
                title = xml.readElementText();
            } else if (xml.name() == QLatin1String("ul")) {
                lists << (cls == QLatin1String("docs") ? QStringLiteral("docs") : QStringLiteral("tasks"));
                if (lists.last() == QLatin1String("tasks"))
                    ++depth;
            } else if (xml.name() == QLatin1String("li") && lists.last() == QLatin1String("tasks")) {
                Seen s;
                s.depth = depth;
                for (const StatusDescriptor &d : kStatusDescriptors) {
                    if (cls == QString::fromLatin1(d.fileText).toLower())
                        s.status = QLatin1String(d.fileText);
                }
                seen << s;
            } else if (xml.name() == QLatin1String("span") && cls == QLatin1String("text")) {
                seen.last().text = xml.readElementText(QXmlStreamReader::IncludeChildElements);
            } else if (xml.name() == QLatin1String("a")) {
                const QString href = xml.attributes().value(QLatin1String("href")).toString();
                const QString text = xml.readElementText();
                QCOMPARE(documentOf(href), text);
                seen.last().documents << text;
            }
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(title, path.isEmpty() ? QStringLiteral("Задачи") : top->text());
        // The exact text, carriage returns too.
        QCOMPARE(show(seen), show(expected(top, true)));
    }

    // A strict reader: quoted fields with doubled quotes, nothing else quoted, CRLF records.
    void csvReadsBack_data() { tops(); }
    void csvReadsBack()
    {
        QFETCH(QString, path);
        const TaskNode *top = topOf(path);
        QByteArray bytes = exportTasks(tree, top, ExportFormat::Csv);
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
        const QString text = QString::fromUtf8(bytes.mid(3));
        const QRegularExpression field(QStringLiteral("(\"(?:[^\"]|\"\")*\"|[^\",\r\n]*)(,|\r\n)"));
        QList<QStringList> records {{}};
        for (qsizetype at = 0; at < text.size();) {
            const QRegularExpressionMatch m
                = field.match(text, at, QRegularExpression::NormalMatch, QRegularExpression::AnchorAtOffsetMatchOption);
            QVERIFY2(m.hasMatch(), qPrintable(QStringLiteral("not CSV at: ") + text.mid(at, 40)));
            const QString f = m.captured(1);
            records.last() << (f.startsWith(u'"')
                                   ? f.mid(1, f.size() - 2).replace(QStringLiteral("\"\""), QStringLiteral("\""))
                                   : f);
            if (m.captured(2) != QLatin1String(","))
                records.append(QStringList());
            at = m.capturedEnd();
        }
        QVERIFY(records.last().isEmpty());
        records.removeLast();
        QCOMPARE(records.takeFirst(),
                 QStringList({QStringLiteral("Путь"), QStringLiteral("Статус"), QStringLiteral("Текст"),
                              QStringLiteral("Документы")}));
        QList<Seen> seen;
        for (const QStringList &r : records) {
            QCOMPARE(r.size(), 4);
            // The path names the very task again, from the top of the tree.
            const TaskNode *node = findTaskByPath(tree, r[0]);
            QVERIFY2(node, qPrintable(r[0]));
            QCOMPARE(node->text(), r[2]);
            QCOMPARE(QString::fromUtf8(describe(node->status()).accessibleText), r[1]);
            seen << Seen {node->depth() - (top->isRoot() ? 1 : top->depth()), statusText(node->status()), r[2],
                          r[3].isEmpty() ? QStringList() : r[3].split(u'\n')};
        }
        // Line breaks are kept as they were; the expectation has them as line feeds.
        for (Seen &s : seen)
            s.text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        QCOMPARE(show(seen), show(expected(top)));
    }

    void formatsByName()
    {
        QCOMPARE(exportFormatFromName(u"MD"), ExportFormat::Markdown);
        QCOMPARE(exportFormatFromName(u"html"), ExportFormat::Html);
        QCOMPARE(exportFormatFromName(u"csv"), ExportFormat::Csv);
        QCOMPARE(findTaskByPath(tree, u""), nullptr);
    }
};

LISTRA_TEST_MAIN(ExportTest)
#include "tst_export.moc"
