// The exports: the tree written straight into one growing UTF-8 buffer, without recursion, so a
// hundred thousand tasks take milliseconds and the deepest tree cannot exhaust the stack.
#include "export/TaskExport.h"

#include "model/TaskTree.h"

#include <QUrl>

#include <vector>

namespace {

class Utf8Out
{
public:
    explicit Utf8Out(qsizetype reserve) { m_buf.reserve(reserve); }

    void raw(const char *s) { m_buf.append(s); }
    void raw(char c) { m_buf.append(c); }
    void raw(const QByteArray &bytes) { m_buf.append(bytes); }
    void spaces(qsizetype n) { m_buf.append(n, ' '); }

    // Text as UTF-8; escape(out, c) writes an ASCII character itself when it returns true.
    // Lone surrogates and the non-characters U+FFFE/U+FFFF become U+FFFD.
    template<typename Escape>
    void text(QStringView s, Escape escape)
    {
        const char16_t *u = s.utf16();
        const qsizetype n = s.size();
        for (qsizetype i = 0; i < n; ++i) {
            const char16_t c = u[i];
            if (c < 0x80) {
                if (!escape(*this, char(c)))
                    m_buf.append(char(c));
            } else if (c < 0x800) {
                const char b[] = {char(0xC0 | (c >> 6)), char(0x80 | (c & 0x3F))};
                m_buf.append(b, 2);
            } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && u[i + 1] >= 0xDC00 && u[i + 1] <= 0xDFFF) {
                const char32_t cp = 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(u[i + 1]) - 0xDC00);
                ++i;
                const char b[] = {char(0xF0 | (cp >> 18)), char(0x80 | ((cp >> 12) & 0x3F)),
                                  char(0x80 | ((cp >> 6) & 0x3F)), char(0x80 | (cp & 0x3F))};
                m_buf.append(b, 4);
            } else if ((c >= 0xD800 && c <= 0xDFFF) || c >= 0xFFFE) {
                m_buf.append("\xEF\xBF\xBD", 3);
            } else {
                const char b[] = {char(0xE0 | (c >> 12)), char(0x80 | ((c >> 6) & 0x3F)), char(0x80 | (c & 0x3F))};
                m_buf.append(b, 3);
            }
        }
    }

    QByteArray take() { return std::move(m_buf); }

private:
    QByteArray m_buf;
};

// Visits the sub-tree of top in document order: enter(node, level) on the way down, leave(node,
// level) once its sub-tree is done; top is level 0.
template<typename Enter, typename Leave>
void walk(const TaskNode *top, Enter enter, Leave leave)
{
    const TaskNode *node = top;
    int level = 0;
    while (node) {
        enter(node, level);
        if (node->childCount() > 0) {
            node = node->child(0);
            ++level;
            continue;
        }
        for (;;) {
            leave(node, level);
            if (node == top)
                return;
            if (const TaskNode *next = node->nextSibling()) {
                node = next;
                break;
            }
            node = node->parent();
            --level;
        }
    }
}

qsizetype estimateSize(const TaskTree &tree)
{
    return qsizetype(tree.count()) * 120 + 1024;
}

// A document as a link target: an address as it is, a path as a file address.
QUrl documentUrl(const QString &document)
{
    const QUrl url(document, QUrl::TolerantMode);
    // One letter before the colon is a drive ("C:\..."), not a scheme.
    if (url.isValid() && url.scheme().size() > 1)
        return url;
    return QUrl::fromLocalFile(document);
}

// The lines of a text, whatever its line breaks.
template<typename Line>
void forEachLine(QStringView text, Line line)
{
    qsizetype start = 0;
    int index = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\n' && c != u'\r')
            continue;
        line(text.mid(start, i - start), index++);
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    line(text.mid(start), index);
}

// ---- Markdown

bool markdownEscape(Utf8Out &out, char c)
{
    switch (c) {
    case '\\':
    case '`':
    case '*':
    case '_':
    case '[':
    case ']':
    case '<':
    case '>':
    case '&':
    case '|':
    case '~':
        out.raw('\\');
        out.raw(c);
        return true;
    default:
        return false;
    }
}

// A link's text: also what would make a link of its own inside it ("https://", "www.", an
// e-mail address), which readers with automatic links would nest.
struct MarkdownLabelEscape {
    char last[3] = {};
    bool operator()(Utf8Out &out, char c)
    {
        const bool www = c == '.' && (last[0] | 0x20) == 'w' && (last[1] | 0x20) == 'w' && (last[2] | 0x20) == 'w';
        last[0] = last[1];
        last[1] = last[2];
        last[2] = c;
        if (c != ':' && c != '@' && !www)
            return markdownEscape(out, c);
        out.raw('\\');
        out.raw(c);
        return true;
    }
};

// One line of text in a list item: whatever would start a block there (a heading, a list, a
// setext underline, an indented code block) is escaped so the line stays plain text.
template<typename Escape = decltype(&markdownEscape)>
void markdownLine(Utf8Out &out, QStringView line, Escape escape = markdownEscape)
{
    if (line.isEmpty())
        return;
    const QChar first = line.front();
    if (first == u' ' || first == u'\t') {
        out.raw(first == u' ' ? "&#32;" : "&#9;");
        line = line.mid(1);
    } else if (first == u'#' || first == u'-' || first == u'+' || first == u'=') {
        out.raw('\\');
        out.raw(char(first.unicode()));
        line = line.mid(1);
    } else if (first.isDigit() && first.unicode() < 0x80) {
        qsizetype digits = 0;
        while (digits < line.size() && line[digits] >= u'0' && line[digits] <= u'9')
            ++digits;
        if (digits < line.size() && (line[digits] == u'.' || line[digits] == u')')) {
            out.text(line.left(digits), escape);
            out.raw('\\');
            line = line.mid(digits);
        }
    }
    out.text(line, escape);
}

QByteArray exportMarkdown(const TaskTree &tree, const TaskNode *top)
{
    Utf8Out out(estimateSize(tree));
    // The whole tree: its name as the heading, the tasks one level up.
    const int shift = top->isRoot() ? 1 : 0;
    if (top->isRoot())
        out.raw("# Задачи\n\n");
    walk(
        top,
        [&](const TaskNode *node, int level) {
            if (node->isRoot())
                return;
            const qsizetype indent = 2 * qsizetype(level - shift);
            out.spaces(indent);
            switch (node->status()) {
            case TaskStatus::Done:
                out.raw("- [x] ");
                break;
            case TaskStatus::Rejected:
                out.raw("- [~] ");
                break;
            case TaskStatus::Progress:
                out.raw("- [ ] ");
                break;
            }
            // Lines after the first continue the item, joined by hard line breaks.
            auto nextLine = [&] {
                out.raw("\\\n");
                out.spaces(indent + 2);
            };
            forEachLine(node->text(), [&](QStringView line, int index) {
                if (index > 0)
                    nextLine();
                markdownLine(out, line);
            });
            for (const QString &document : node->info()->RelatedDocuments()) {
                nextLine();
                out.raw('[');
                markdownLine(out, document, MarkdownLabelEscape());
                out.raw("](<");
                out.raw(documentUrl(document).toEncoded());
                out.raw(">)");
            }
            out.raw('\n');
        },
        [](const TaskNode *, int) {});
    return out.take();
}

// ---- HTML

// Element text and attribute values alike. Controls XML cannot hold are left out; a carriage
// return is kept as a reference, which a parser does not fold into a line feed.
bool htmlEscape(Utf8Out &out, char c)
{
    switch (c) {
    case '&':
        out.raw("&amp;");
        return true;
    case '<':
        out.raw("&lt;");
        return true;
    case '>':
        out.raw("&gt;");
        return true;
    case '"':
        out.raw("&quot;");
        return true;
    case '\r':
        out.raw("&#13;");
        return true;
    case '\n':
    case '\t':
        return false;
    default:
        return c < 0x20; // dropped
    }
}

void cssColor(Utf8Out &out, const char *property, OleColor color)
{
    if (isSystemColor(color))
        return;
    out.raw(property);
    const int rgb = (oleRed(color) << 16) | (oleGreen(color) << 8) | oleBlue(color);
    out.raw(":#");
    out.raw(QByteArray::number(rgb, 16).rightJustified(6, '0'));
    out.raw(';');
}

const char *statusClass(TaskStatus status)
{
    switch (status) {
    case TaskStatus::Done:
        return "done";
    case TaskStatus::Rejected:
        return "rejected";
    case TaskStatus::Progress:
        break;
    }
    return "progress";
}

const char *statusMark(TaskStatus status)
{
    switch (status) {
    case TaskStatus::Done:
        return "\u2611"; // a ticked box
    case TaskStatus::Rejected:
        return "\u2612"; // a crossed box
    case TaskStatus::Progress:
        break;
    }
    return "\u2610"; // an empty box
}

QByteArray exportHtml(const TaskTree &tree, const TaskNode *top)
{
    Utf8Out out(estimateSize(tree));
    const QString title = top->isRoot() ? TaskTree::kRootText : top->text();
    out.raw("<!DOCTYPE html>\n<html lang=\"ru\">\n<head>\n<meta charset=\"utf-8\"/>\n<title>");
    out.text(title, htmlEscape);
    out.raw("</title>\n<style>\n"
            "body{font-family:sans-serif}\n"
            "ul{list-style-type:none;margin:0;padding-left:1.5em}\n"
            ".text{white-space:pre-wrap}\n"
            ".docs{font-size:smaller}\n");
    const StatusColors &colors = tree.statusColors();
    for (const StatusDescriptor &d : kStatusDescriptors) {
        const auto [fore, back] = colors.of(d.status);
        out.raw('.');
        out.raw(statusClass(d.status));
        out.raw('{');
        cssColor(out, "color", fore);
        if (colors.useBackColor)
            cssColor(out, "background-color", back);
        out.raw("}\n");
    }
    out.raw("</style>\n</head>\n<body>\n<h1>");
    out.text(title, htmlEscape);
    out.raw("</h1>\n");
    if (!top->isRoot())
        out.raw("<ul>\n");
    walk(
        top,
        [&](const TaskNode *node, int) {
            if (node->isRoot()) {
                if (node->childCount() > 0)
                    out.raw("<ul>\n");
                return;
            }
            const StatusDescriptor &d = describe(node->status());
            out.raw("<li class=\"");
            out.raw(statusClass(d.status));
            out.raw("\"><span class=\"mark\" title=\"");
            out.raw(d.accessibleText);
            out.raw("\">");
            out.raw(statusMark(d.status));
            out.raw("</span> <span class=\"text\">");
            const bool struck = d.status == TaskStatus::Rejected;
            if (struck)
                out.raw("<s>");
            out.text(node->text(), htmlEscape);
            if (struck)
                out.raw("</s>");
            out.raw("</span>");
            const QStringList &documents = node->info()->RelatedDocuments();
            if (!documents.isEmpty()) {
                out.raw("\n<ul class=\"docs\">\n");
                for (const QString &document : documents) {
                    out.raw("<li><a href=\"");
                    out.text(QString::fromLatin1(documentUrl(document).toEncoded()), htmlEscape);
                    out.raw("\">");
                    out.text(document, htmlEscape);
                    out.raw("</a></li>\n");
                }
                out.raw("</ul>");
            }
            if (node->childCount() > 0)
                out.raw("\n<ul>\n");
        },
        [&](const TaskNode *node, int) {
            if (node->childCount() > 0)
                out.raw("</ul>\n");
            if (!node->isRoot())
                out.raw("</li>\n");
        });
    if (!top->isRoot())
        out.raw("</ul>\n");
    out.raw("</body>\n</html>\n");
    return out.take();
}

// ---- CSV

bool csvQuoteEscape(Utf8Out &out, char c)
{
    if (c != '"')
        return false;
    out.raw("\"\"");
    return true;
}

// A field, quoted when it holds a separator, a quote or a line break.
void csvField(Utf8Out &out, QStringView text)
{
    bool quote = false;
    for (const QChar c : text) {
        if (c == u',' || c == u'"' || c == u'\n' || c == u'\r') {
            quote = true;
            break;
        }
    }
    if (!quote) {
        out.text(text, [](Utf8Out &, char) { return false; });
        return;
    }
    out.raw('"');
    out.text(text, csvQuoteEscape);
    out.raw('"');
}

void appendPathElement(QString &path, const QString &text)
{
    for (const QChar c : text) {
        if (c == u'/' || c == u'\\')
            path.append(u'\\');
        path.append(c);
    }
}

QByteArray exportCsv(const TaskTree &tree, const TaskNode *top)
{
    Utf8Out out(estimateSize(tree));
    out.raw("\xEF\xBB\xBF"
            "Путь,Статус,Текст,Документы\r\n");
    // The path of the node being written; pathEnds[level] is where the path of a node's parent
    // at that level ends.
    QString path = top->isRoot() ? QString() : taskPath(top->parent());
    std::vector<qsizetype> pathEnds {path.size()};
    walk(
        top,
        [&](const TaskNode *node, int level) {
            if (pathEnds.size() < size_t(level) + 2)
                pathEnds.resize(size_t(level) + 2);
            path.truncate(pathEnds[size_t(level)]);
            if (!node->isRoot()) {
                if (!node->parent()->isRoot())
                    path.append(u'/');
                appendPathElement(path, node->text());
            }
            pathEnds[size_t(level) + 1] = path.size();
            if (node->isRoot())
                return;
            csvField(out, path);
            out.raw(',');
            out.raw(describe(node->status()).accessibleText);
            out.raw(',');
            csvField(out, node->text());
            out.raw(',');
            csvField(out, node->info()->RelatedDocuments().join(u'\n'));
            out.raw("\r\n");
        },
        [](const TaskNode *, int) {});
    return out.take();
}

} // namespace

std::optional<ExportFormat> exportFormatFromName(QStringView name)
{
    for (ExportFormat format : {ExportFormat::Markdown, ExportFormat::Html, ExportFormat::Csv}) {
        if (name.compare(exportFormatSuffix(format), Qt::CaseInsensitive) == 0)
            return format;
    }
    return std::nullopt;
}

QString exportFormatSuffix(ExportFormat format)
{
    switch (format) {
    case ExportFormat::Markdown:
        return QStringLiteral("md");
    case ExportFormat::Html:
        return QStringLiteral("html");
    case ExportFormat::Csv:
        break;
    }
    return QStringLiteral("csv");
}

QByteArray exportTasks(const TaskTree &tree, const TaskNode *top, ExportFormat format)
{
    if (!top)
        top = tree.root();
    switch (format) {
    case ExportFormat::Markdown:
        return exportMarkdown(tree, top);
    case ExportFormat::Html:
        return exportHtml(tree, top);
    case ExportFormat::Csv:
        break;
    }
    return exportCsv(tree, top);
}

QString taskPath(const TaskNode *node)
{
    std::vector<const TaskNode *> chain;
    for (; node && !node->isRoot(); node = node->parent())
        chain.push_back(node);
    QString path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (it != chain.rbegin())
            path.append(u'/');
        appendPathElement(path, (*it)->text());
    }
    return path;
}

const TaskNode *findTaskByPath(const TaskTree &tree, QStringView path)
{
    if (path.isEmpty())
        return nullptr;
    const TaskNode *node = tree.root();
    QString element;
    // A backslash takes the next character as it is; one at the very end stands for itself.
    auto descend = [&] {
        for (int row = 0; row < node->childCount(); ++row) {
            if (node->child(row)->text() == element) {
                node = node->child(row);
                element.clear();
                return true;
            }
        }
        return false;
    };
    for (qsizetype i = 0; i < path.size(); ++i) {
        const QChar c = path[i];
        if (c == u'\\' && i + 1 < path.size()) {
            element.append(path[++i]);
        } else if (c == u'/') {
            if (!descend())
                return nullptr;
        } else {
            element.append(c);
        }
    }
    return descend() ? node : nullptr;
}
