// SPDX-License-Identifier: MIT
// The exports: the tree written straight into one growing UTF-8 buffer, without recursion, so a
// hundred thousand tasks take milliseconds and the deepest tree cannot exhaust the stack.
#include "export/TaskExport.h"

#include "model/TaskTree.h"
#include "storage/OutputBuffer.h"

#include <QUrl>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Text with an escape of each format's own. (The task file's writer leaves out what XML cannot
// hold; an export shows it as U+FFFD instead, so the two loops stay apart.)
class Utf8Out : public OutputBuffer
{
public:
    using OutputBuffer::OutputBuffer;
    using OutputBuffer::raw;

    void raw(const char *s) { raw(s, qsizetype(std::strlen(s))); }
    void raw(const QByteArray &bytes) { raw(bytes.constData(), bytes.size()); }
    void raw(char c) { raw(&c, 1); }
    void spaces(qsizetype n) { fill(' ', n); }

    // Text as UTF-8; escape(p, c) writes an ASCII character at p, as it is or escaped (at most
    // six bytes), and returns where it ended. Lone surrogates and the non-characters
    // U+FFFE/U+FFFF become U+FFFD.
    template<typename Escape>
    void text(QStringView s, Escape escape)
    {
        const char16_t *u = s.utf16();
        const qsizetype n = s.size();
        char *const start = room(n * 6);
        char *p = start;
        for (qsizetype i = 0; i < n; ++i) {
            const char16_t c = u[i];
            if (c < 0x80) {
                p = escape(p, char(c));
            } else if (c < 0x800) {
                *p++ = char(0xC0 | (c >> 6));
                *p++ = char(0x80 | (c & 0x3F));
            } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && u[i + 1] >= 0xDC00 && u[i + 1] <= 0xDFFF) {
                const char32_t cp = 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(u[i + 1]) - 0xDC00);
                ++i;
                *p++ = char(0xF0 | (cp >> 18));
                *p++ = char(0x80 | ((cp >> 12) & 0x3F));
                *p++ = char(0x80 | ((cp >> 6) & 0x3F));
                *p++ = char(0x80 | (cp & 0x3F));
            } else if ((c >= 0xD800 && c <= 0xDFFF) || c >= 0xFFFE) {
                p = put(p, "\xEF\xBF\xBD");
            } else {
                *p++ = char(0xE0 | (c >> 12));
                *p++ = char(0x80 | ((c >> 6) & 0x3F));
                *p++ = char(0x80 | (c & 0x3F));
            }
        }
        advance(p - start);
    }
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

// Room for the whole export at once: growing a buffer of tens of megabytes copies it each time.
// perTask: the format's own bytes around a task and each document; withPaths: each task's path
// is written too (UTF-8 takes up to three bytes a character).
qsizetype estimateSize(const TaskNode *top, qsizetype perTask, bool withPaths)
{
    qsizetype bytes = 4096;
    std::vector<qsizetype> pathSizes {0};
    walk(
        top,
        [&](const TaskNode *node, int level) {
            const qsizetype text = node->text().size();
            bytes += 3 * text + perTask;
            if (withPaths) {
                pathSizes.resize(size_t(level) + 2);
                pathSizes[size_t(level) + 1] = pathSizes[size_t(level)] + text + 1;
                bytes += 3 * pathSizes[size_t(level) + 1];
            }
            if (const CAdditionalTaskInfo *info = node->info()) {
                for (const QString &document : info->RelatedDocuments())
                    bytes += 6 * document.size() + perTask;
            }
        },
        [](const TaskNode *, int) {});
    return bytes;
}

char *percentByte(char *p, char c)
{
    static const char hex[] = "0123456789ABCDEF";
    *p++ = '%';
    *p++ = hex[uchar(c) >> 4];
    *p++ = hex[uchar(c) & 0xF];
    return p;
}

// One character of a path in a file address; drive: a path like "C:\\Docs", whose backslashes
// separate its folders.
char *pathChar(char *p, char c, bool drive)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' || c == '-' || c == '.'
        || c == '_' || c == '~' || (drive && c == ':')) {
        *p++ = c;
        return p;
    }
    if (drive && c == '\\') {
        *p++ = '/';
        return p;
    }
    return percentByte(p, c);
}

// "https:", "mailto:": a scheme of two letters or more ("C:" is a drive).
bool hasScheme(QStringView document)
{
    qsizetype i = 0;
    while (i < document.size() && document[i].unicode() < 0x80
           && (document[i].isLetterOrNumber() || document[i] == u'+' || document[i] == u'-' || document[i] == u'.'))
        ++i;
    return i >= 2 && i < document.size() && document[i] == u':' && document[0].isLetter();
}

// A document as a link target, written to out: an address as it is, a path as a file address.
// Letters beyond ASCII stay as they are (an IRI, which browsers and Markdown readers take), so
// the link stays readable. Built by hand, as a QUrl per document would cost more than all the
// rest of the export. The result holds no blank, quote, "<" or ">"; an address's "&" is
// written as html says.
void documentUrl(Utf8Out &out, const QString &document, bool html)
{
    if (hasScheme(document)) {
        out.text(document, [html](char *p, char c) {
            if (c == '&' && html)
                return OutputBuffer::put(p, "&amp;");
            if (c > ' ' && c < 0x7F && !std::strchr("\"<>\\^`{|}", c)) {
                *p++ = c;
                return p;
            }
            return percentByte(p, c);
        });
        return;
    }
    if (document.startsWith(u'/')) {
        out.raw("file://");
        out.text(document, [](char *p, char c) { return pathChar(p, c, false); });
        return;
    }
    // A drive's path: "file:///C:/...", with forward slashes.
    if (document.size() >= 3 && document[0].unicode() < 0x80 && document[0].isLetter() && document[1] == u':'
        && (document[2] == u'\\' || document[2] == u'/')) {
        out.raw("file:///");
        out.text(document, [](char *p, char c) { return pathChar(p, c, true); });
        return;
    }
    // Any other path, relative: Qt knows best how such a path reads as an address.
    out.text(QString::fromLatin1(QUrl::fromLocalFile(document).toEncoded()), [](char *p, char c) {
        if (c > ' ' && c < 0x7F && !std::strchr("\"<>&'\\^`{|}", c)) {
            *p++ = c;
            return p;
        }
        return percentByte(p, c);
    });
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

char *markdownEscape(char *p, char c)
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
        *p++ = '\\';
        break;
    default:
        break;
    }
    *p++ = c;
    return p;
}

// A link's text: also what would make a link of its own inside it ("https://", "www.", an
// e-mail address), which readers with automatic links would nest.
struct MarkdownLabelEscape {
    char last[3] = {};
    char *operator()(char *p, char c)
    {
        const bool www = c == '.' && (last[0] | 0x20) == 'w' && (last[1] | 0x20) == 'w' && (last[2] | 0x20) == 'w';
        last[0] = last[1];
        last[1] = last[2];
        last[2] = c;
        if (c != ':' && c != '@' && !www)
            return markdownEscape(p, c);
        *p++ = '\\';
        *p++ = c;
        return p;
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
    // Blanks at the end of a line would be dropped, or a double one taken for a line break.
    const QChar last = line.isEmpty() ? QChar() : line.back();
    if (last == u' ' || last == u'\t') {
        out.text(line.chopped(1), escape);
        out.raw(last == u' ' ? "&#32;" : "&#9;");
        return;
    }
    out.text(line, escape);
}

QByteArray exportMarkdown(const TaskNode *top)
{
    Utf8Out out(estimateSize(top, 32, false));
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
                documentUrl(out, document, false);
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
char *htmlEscape(char *p, char c)
{
    switch (c) {
    case '&':
        return OutputBuffer::put(p, "&amp;");
    case '<':
        return OutputBuffer::put(p, "&lt;");
    case '>':
        return OutputBuffer::put(p, "&gt;");
    case '"':
        return OutputBuffer::put(p, "&quot;");
    case '\r':
        return OutputBuffer::put(p, "&#13;");
    case '\n':
    case '\t':
        break;
    default:
        if (c < 0x20)
            return p; // dropped
    }
    *p++ = c;
    return p;
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

QByteArray exportHtml(const TaskNode *top, const StatusColors &colors)
{
    Utf8Out out(estimateSize(top, 128, false));
    const QString title = top->isRoot() ? TaskTree::kRootText : top->text();
    out.raw("<!DOCTYPE html>\n<html lang=\"ru\">\n<head>\n<meta charset=\"utf-8\"/>\n<title>");
    out.text(title, htmlEscape);
    out.raw("</title>\n<style>\n"
            "body{font-family:sans-serif}\n"
            "ul{list-style-type:none;margin:0;padding-left:1.5em}\n"
            ".text{white-space:pre-wrap}\n"
            ".docs{font-size:smaller}\n");
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
                    documentUrl(out, document, true);
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

char *csvQuoteEscape(char *p, char c)
{
    if (c == '"')
        *p++ = '"';
    *p++ = c;
    return p;
}

// A field, always quoted: scanning for what needs the quotes would cost as much as writing it.
void csvField(Utf8Out &out, QStringView text)
{
    if (text.isEmpty())
        return;
    out.raw('"');
    out.text(text, csvQuoteEscape);
    out.raw('"');
}

void appendPathElement(QString &path, const QString &text)
{
    if (!text.contains(u'/') && !text.contains(u'\\')) {
        path.append(text);
        return;
    }
    for (const QChar c : text) {
        if (c == u'/' || c == u'\\')
            path.append(u'\\');
        path.append(c);
    }
}

QByteArray exportCsv(const TaskNode *top)
{
    Utf8Out out(estimateSize(top, 32, true));
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

QByteArray exportTasks(const TaskTree &tree, const TaskNode *top, ExportFormat format, const StatusColors &colors)
{
    if (!top)
        top = tree.root();
    switch (format) {
    case ExportFormat::Markdown:
        return exportMarkdown(top);
    case ExportFormat::Html:
        return exportHtml(top, colors);
    case ExportFormat::Csv:
        break;
    }
    return exportCsv(top);
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
