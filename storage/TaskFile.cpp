#include "storage/TaskFile.h"

#include "model/BoolText.h"
#include "model/TaskTree.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

#include <pugixml.hpp>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

namespace {

// Escapes, CR LF folding and attribute-value normalisation, as XML prescribes: a literal
// line break inside an attribute reads as a blank, a character reference as itself.
constexpr unsigned kParseOptions = pugi::parse_default;

#if defined(__has_feature)
#define LISTRA_HAS_FEATURE(x) __has_feature(x)
#else
#define LISTRA_HAS_FEATURE(x) 0
#endif

// The parsed document and the bytes it was parsed from live in a few large blocks of their
// own: big enough that the C library maps them straight from the system (above its largest
// mapping threshold), so the whole lot goes back when a load ends instead of staying behind
// as holes between the task nodes that were allocated meanwhile.
class ParseArena
{
public:
    ParseArena() = default;
    ParseArena(const ParseArena &) = delete;
    ParseArena &operator=(const ParseArena &) = delete;
    ~ParseArena()
    {
        for (const Block &b : m_blocks)
            std::free(b.data);
    }

    void *allocate(size_t size)
    {
        size = (size + kAlign - 1) & ~(kAlign - 1);
        if (m_blocks.empty() || m_blocks.back().size - m_used < size) {
            const size_t blockSize = std::max(size, kBlockSize);
            void *p = std::malloc(blockSize);
            if (!p)
                return nullptr;
            m_blocks.push_back({static_cast<char *>(p), blockSize});
            m_used = 0;
        }
        void *p = m_blocks.back().data + m_used;
        m_used += size;
        return p;
    }

    bool owns(const void *p) const
    {
        const char *c = static_cast<const char *>(p);
        for (const Block &b : m_blocks) {
            if (c >= b.data && c < b.data + b.size)
                return true;
        }
        return false;
    }

private:
    struct Block {
        char *data;
        size_t size;
    };
#if defined(__SANITIZE_ADDRESS__) || LISTRA_HAS_FEATURE(address_sanitizer)
    // Under AddressSanitizer every piece is an allocation of its own and of its exact size,
    // so a read past the end of the file's bytes or of a parsed string is caught, not
    // hidden in the next piece.
    static constexpr size_t kBlockSize = 1;
    static constexpr size_t kAlign = 1;
#else
    static constexpr size_t kBlockSize = size_t(33) << 20;
    static constexpr size_t kAlign = 16;
#endif
    std::vector<Block> m_blocks;
    size_t m_used = 0;
};

thread_local ParseArena *t_arena = nullptr;

void *parserAllocate(size_t size)
{
    return t_arena ? t_arena->allocate(size) : std::malloc(size);
}

void parserDeallocate(void *p)
{
    if (t_arena && t_arena->owns(p))
        return; // released with the arena
    std::free(p);
}

// Makes the parser take its memory from the arena of the load under way, if any.
class ArenaScope
{
public:
    explicit ArenaScope(ParseArena &arena)
    {
        static const bool installed = [] {
            pugi::set_memory_management_functions(parserAllocate, parserDeallocate);
            return true;
        }();
        Q_UNUSED(installed);
        m_previous = t_arena;
        t_arena = &arena;
    }
    ~ArenaScope() { t_arena = m_previous; }
    ArenaScope(const ArenaScope &) = delete;
    ArenaScope &operator=(const ArenaScope &) = delete;

private:
    ParseArena *m_previous = nullptr;
};

bool isElement(const pugi::xml_node &node, const char *name)
{
    return node.type() == pugi::node_element && std::strcmp(node.name(), name) == 0;
}

bool xmlCannotHold(QChar c)
{
    const char16_t u = c.unicode();
    return (u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r') || u == 0xFFFE || u == 0xFFFF;
}

// An attribute's text, trimmed. The parser lets through characters XML 1.0 cannot hold (raw
// control bytes, U+FFFE, U+FFFF), which a save leaves out; they are left out here already, so
// a task reads the same before and after the next save. (UTF-8 decoding never gives a lone
// surrogate, the writer's other omission.)
QString readText(const char *v)
{
    // QString::fromUtf8 takes a leading U+FEFF for a byte order mark and drops it; at the
    // start of an attribute it is the text's own first character.
    qsizetype marks = 0;
    while (std::strncmp(v, "\xEF\xBB\xBF", 3) == 0) {
        v += 3;
        ++marks;
    }
    QString text = QString::fromUtf8(v);
    if (marks > 0)
        text.prepend(QString(marks, QChar(0xFEFF)));
    if (std::any_of(text.cbegin(), text.cend(), xmlCannotHold))
        text.removeIf(xmlCannotHold);
    return text.trimmed();
}

// The common spellings are compared as bytes; anything else goes the long way.
bool readBool(const char *v, bool defaultValue)
{
    if (!v)
        return defaultValue;
    if (std::strcmp(v, "True") == 0)
        return true;
    if (std::strcmp(v, "False") == 0)
        return false;
    return TextToBool(QString::fromUtf8(v), defaultValue);
}

TaskStatus readState(const char *v)
{
    if (!v)
        return TaskStatus::Progress;
    if (std::strcmp(v, "Progress") == 0)
        return TaskStatus::Progress;
    if (std::strcmp(v, "Done") == 0)
        return TaskStatus::Done;
    if (std::strcmp(v, "Rejected") == 0)
        return TaskStatus::Rejected;
    return statusFromText(QString::fromUtf8(v).trimmed()).value_or(TaskStatus::Progress);
}

QStringList readDocuments(const pugi::xml_node &task)
{
    QStringList documents;
    for (pugi::xml_node list = task.first_child(); list; list = list.next_sibling()) {
        if (!isElement(list, "RelatedDocuments"))
            continue;
        for (pugi::xml_node doc = list.first_child(); doc; doc = doc.next_sibling()) {
            if (!isElement(doc, "Document"))
                continue;
            QString fileName = readText(doc.attribute("FileName").value());
            if (!fileName.isEmpty())
                documents.append(std::move(fileName));
        }
    }
    return documents;
}

QString parseStatusText(pugi::xml_parse_status status)
{
    switch (status) {
    case pugi::status_out_of_memory:
        return QStringLiteral("не хватает памяти");
    case pugi::status_unrecognized_tag:
        return QStringLiteral("нераспознанный тег");
    case pugi::status_bad_pi:
        return QStringLiteral("ошибка в объявлении или инструкции обработки");
    case pugi::status_bad_comment:
        return QStringLiteral("ошибка в комментарии");
    case pugi::status_bad_cdata:
        return QStringLiteral("ошибка в разделе CDATA");
    case pugi::status_bad_doctype:
        return QStringLiteral("ошибка в объявлении типа документа");
    case pugi::status_bad_pcdata:
        return QStringLiteral("ошибка в тексте");
    case pugi::status_bad_start_element:
        return QStringLiteral("ошибка в открывающем теге");
    case pugi::status_bad_attribute:
        return QStringLiteral("ошибка в атрибуте");
    case pugi::status_bad_end_element:
        return QStringLiteral("ошибка в закрывающем теге");
    case pugi::status_end_element_mismatch:
        return QStringLiteral("закрывающий тег не соответствует открывающему");
    case pugi::status_no_document_element:
        return QStringLiteral("в документе нет корневого элемента");
    default:
        return QStringLiteral("файл не является документом XML");
    }
}

// Line and column of a byte offset, counted in the bytes as they came.
QString describeParseError(const pugi::xml_parse_result &result, const QByteArray &original, bool byteOriented)
{
    QString text = parseStatusText(result.status);
    if (!byteOriented || result.offset < 0 || result.offset > original.size())
        return text;
    const qsizetype offset = qsizetype(result.offset);
    const qsizetype lineStart = offset > 0 ? original.lastIndexOf('\n', offset - 1) + 1 : 0;
    const qsizetype line = original.left(offset).count('\n') + 1;
    const qsizetype column = QString::fromUtf8(original.constData() + lineStart, offset - lineStart).size() + 1;
    return QStringLiteral("%1 (строка %2, столбец %3)").arg(text).arg(line).arg(column);
}

// True when the bytes start like an 8-bit document (UTF-8 or a legacy code page): no
// UTF-16 or UTF-32 byte order mark and no zero bytes in the first characters.
bool looksByteOriented(QByteArrayView bytes)
{
    const auto *b = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype n = bytes.size();
    if (n >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF)))
        return false;
    for (qsizetype i = 0; i < std::min<qsizetype>(n, 4); ++i) {
        if (b[i] == 0)
            return false;
    }
    return true;
}

// The encoding an 8-bit document names in its declaration, lower-cased; empty when none.
QByteArray declaredEncoding(QByteArrayView bytes)
{
    QByteArrayView head = bytes.first(std::min<qsizetype>(bytes.size(), 512));
    if (head.startsWith("\xEF\xBB\xBF"))
        return {}; // a UTF-8 byte order mark settles it
    if (!head.startsWith("<?xml"))
        return {};
    const qsizetype end = head.indexOf("?>");
    if (end < 0)
        return {};
    head = head.first(end);
    const qsizetype at = head.indexOf("encoding");
    if (at < 0)
        return {};
    qsizetype i = at + 8;
    while (i < head.size() && (head[i] == ' ' || head[i] == '\t' || head[i] == '\r' || head[i] == '\n'))
        ++i;
    if (i >= head.size() || head[i] != '=')
        return {};
    ++i;
    while (i < head.size() && (head[i] == ' ' || head[i] == '\t' || head[i] == '\r' || head[i] == '\n'))
        ++i;
    if (i >= head.size() || (head[i] != '"' && head[i] != '\''))
        return {};
    const char quote = head[i++];
    const qsizetype close = head.indexOf(quote, i);
    if (close < 0)
        return {};
    return head.sliced(i, close - i).toByteArray().toLower();
}

// A document in a legacy code page ("windows-1251", "koi8-r") comes back as UTF-8; empty
// when the parser can take the bytes as they are (UTF-8, UTF-16, UTF-32, no declaration).
QByteArray recodedFromDeclaredEncoding(QByteArrayView bytes)
{
    const QByteArray encoding = declaredEncoding(bytes);
    if (encoding.isEmpty() || encoding == "utf-8" || encoding == "utf8" || encoding == "us-ascii" || encoding == "ascii"
        || encoding.startsWith("utf-16") || encoding.startsWith("utf-32") || encoding.startsWith("ucs"))
        return {};
    QStringDecoder decoder(encoding.constData());
    if (!decoder.isValid())
        return {};
    const QString text = decoder.decode(bytes);
    return text.toUtf8();
}

// Everything after the parse: the tree is touched only once the document is known good,
// and a fault found on the way leaves it with nothing but the top node.
bool buildTree(const pugi::xml_node &tasksElement, TaskTree &tree, const StatusColors &colors, QString *error)
{
    struct Frame {
        pugi::xml_node cursor; // the next XML child to look at
        TaskNode *node;        // the tree node that receives this level's tasks
        bool opened;           // node and all its ancestors already expanded for a selection
    };
    std::vector<Frame> stack;
    stack.reserve(64);
    stack.push_back({tasksElement.first_child(), tree.root(), false});

    while (!stack.empty()) {
        pugi::xml_node x = stack.back().cursor;
        while (x && !isElement(x, "Task"))
            x = x.next_sibling();
        if (!x) {
            stack.pop_back();
            continue;
        }
        stack.back().cursor = x.next_sibling();

        if (int(stack.size()) > kMaxTaskDepth) {
            if (error)
                *error = QStringLiteral("задачи вложены глубже %1 уровней").arg(kMaxTaskDepth);
            tree.clear();
            return false;
        }

        // One pass over the attributes; the first of each name counts.
        const char *nameValue = nullptr, *stateValue = nullptr, *expandedValue = nullptr, *selectedValue = nullptr;
        for (pugi::xml_attribute a = x.first_attribute(); a; a = a.next_attribute()) {
            const char *n = a.name();
            const char **slot = nullptr;
            switch (n[0]) {
            case 'N':
                slot = std::strcmp(n, "Name") == 0 ? &nameValue : nullptr;
                break;
            case 'S':
                slot = std::strcmp(n, "State") == 0   ? &stateValue
                    : std::strcmp(n, "Selected") == 0 ? &selectedValue
                                                      : nullptr;
                break;
            case 'E':
                slot = std::strcmp(n, "Expanded") == 0 ? &expandedValue : nullptr;
                break;
            default:
                break;
            }
            if (slot && !*slot)
                *slot = a.value();
        }
        QString name = nameValue ? readText(nameValue) : QString();
        if (name.isEmpty())
            name = TaskTree::kUntitled;
        const TaskStatus state = readState(stateValue);
        const bool expanded = readBool(expandedValue, true);
        const bool selected = readBool(selectedValue, false);

        TaskNode *node = tree.addChild(stack.back().node, name, state);
        tree.setExpanded(node, expanded);
        ApplyTaskStatus(tree, state, node, colors);
        QStringList documents = readDocuments(x);
        if (!documents.isEmpty())
            tree.setRelatedDocuments(node, std::move(documents));

        if (selected) {
            // The last selected task wins; each one opens the way to itself.
            tree.setSelected(node);
            for (auto it = stack.rbegin(); it != stack.rend() && !it->opened; ++it) {
                it->opened = true;
                tree.setExpanded(it->node, true);
            }
        }

        if (pugi::xml_node first = x.first_child())
            stack.push_back({first, node, false});
    }
    return true;
}

// The one reader behind the file and the in-memory entry points: data (size bytes, taken
// from arena) is parsed in place. original gives the bytes as they came, asked for only to
// place a parse error.
bool loadFromBuffer(ParseArena &arena, char *data, size_t size, const std::function<QByteArray()> &original,
                    TaskTree &tree, const StatusColors &colors, QString *error)
{
    ArenaScope scope(arena);
    tree.beginBulkLoad();
    tree.clear();

    const bool byteOriented = looksByteOriented(QByteArrayView(data, qsizetype(size)));
    bool recoded = false;
    if (byteOriented) {
        const QByteArray utf8 = recodedFromDeclaredEncoding(QByteArrayView(data, qsizetype(size)));
        if (!utf8.isEmpty()) {
            data = static_cast<char *>(arena.allocate(size_t(utf8.size())));
            size = data ? size_t(utf8.size()) : 0;
            if (data)
                std::memcpy(data, utf8.constData(), size);
            recoded = true;
        }
    }

    bool ok = false;
    {
        pugi::xml_document doc;
        // Recoded bytes still carry their old declaration, which the parser would otherwise obey
        // (it decodes a declared Latin-1 itself) and so decode the UTF-8 a second time.
        const pugi::xml_encoding encoding = recoded ? pugi::encoding_utf8 : pugi::encoding_auto;
        const pugi::xml_parse_result result = data ? doc.load_buffer_inplace(data, size, kParseOptions, encoding)
                                                   : doc.load_buffer("", 0, kParseOptions, encoding);
        if (!result) {
            if (error) {
                const bool placeable = byteOriented && !recoded;
                *error = describeParseError(result, placeable ? original() : QByteArray(), placeable);
            }
        } else {
            const pugi::xml_node top = doc.document_element();
            // The parser is lenient about what stands beside the document element; XML is not.
            int elements = 0;
            bool strayText = false;
            for (pugi::xml_node n = doc.first_child(); n; n = n.next_sibling()) {
                elements += n.type() == pugi::node_element;
                strayText = strayText || n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata;
            }
            if (elements > 1 || strayText) {
                if (error)
                    *error = QStringLiteral("вне корневого элемента документа есть другие данные");
            } else if (std::strcmp(top.name(), "Tasks") != 0) {
                if (error)
                    *error = QStringLiteral("корневой элемент документа — «%1», а не «Tasks»")
                                 .arg(QString::fromUtf8(top.name()));
            } else {
                ok = buildTree(top, tree, colors, error);
            }
        }
    }
    tree.endBulkLoad();
    return ok;
}

// Appends XML text to a growing buffer without per-character bookkeeping.
class XmlOut
{
public:
    explicit XmlOut(qsizetype reserve) { m_buf.resize(std::max<qsizetype>(reserve, 256)); }

    void raw(const char *s, qsizetype n)
    {
        char *p = room(n);
        std::memcpy(p, s, size_t(n));
        m_size += n;
    }
    template<qsizetype N>
    void raw(const char (&s)[N])
    {
        raw(s, N - 1);
    }
    void indent(int level)
    {
        // Deep branches stop indenting further so the file stays proportional to the tree.
        const int n = 2 * std::min(level, 32);
        char *p = room(n);
        std::memset(p, ' ', size_t(n));
        m_size += n;
    }

    // An attribute value: escaped, line breaks and tabs as character references, and the
    // characters XML 1.0 cannot hold (other C0 controls, U+FFFE, U+FFFF, lone surrogates)
    // left out.
    void attribute(const QString &text)
    {
        const char16_t *u = reinterpret_cast<const char16_t *>(text.utf16());
        const qsizetype len = text.size();
        char *const start = room(len * 6);
        char *p = start;
        for (qsizetype i = 0; i < len; ++i) {
            const char16_t c = u[i];
            if (c < 0x80) {
                if (c >= 0x20) {
                    switch (c) {
                    case u'&':
                        p = put(p, "&amp;");
                        break;
                    case u'<':
                        p = put(p, "&lt;");
                        break;
                    case u'>':
                        p = put(p, "&gt;");
                        break;
                    case u'"':
                        p = put(p, "&quot;");
                        break;
                    default:
                        *p++ = char(c);
                    }
                } else if (c == u'\n') {
                    p = put(p, "&#10;");
                } else if (c == u'\r') {
                    p = put(p, "&#13;");
                } else if (c == u'\t') {
                    p = put(p, "&#9;");
                }
            } else if (c < 0x800) {
                *p++ = char(0xC0 | (c >> 6));
                *p++ = char(0x80 | (c & 0x3F));
            } else if (c >= 0xD800 && c <= 0xDBFF) {
                if (i + 1 < len && u[i + 1] >= 0xDC00 && u[i + 1] <= 0xDFFF) {
                    const char32_t cp = 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(u[i + 1]) - 0xDC00);
                    ++i;
                    *p++ = char(0xF0 | (cp >> 18));
                    *p++ = char(0x80 | ((cp >> 12) & 0x3F));
                    *p++ = char(0x80 | ((cp >> 6) & 0x3F));
                    *p++ = char(0x80 | (cp & 0x3F));
                }
            } else if ((c >= 0xDC00 && c <= 0xDFFF) || c == 0xFFFE || c == 0xFFFF) {
                // not representable in XML 1.0
            } else {
                *p++ = char(0xE0 | (c >> 12));
                *p++ = char(0x80 | ((c >> 6) & 0x3F));
                *p++ = char(0x80 | (c & 0x3F));
            }
        }
        m_size += p - start;
    }

    QByteArray take()
    {
        m_buf.truncate(m_size);
        return std::move(m_buf);
    }

private:
    template<qsizetype N>
    static char *put(char *p, const char (&s)[N])
    {
        std::memcpy(p, s, N - 1);
        return p + N - 1;
    }
    char *room(qsizetype n)
    {
        if (m_size + n > m_buf.size())
            m_buf.resize(std::max(m_buf.size() * 2, m_size + n));
        return m_buf.data() + m_size;
    }

    QByteArray m_buf;
    qsizetype m_size = 0;
};

void writeTaskOpening(XmlOut &out, const TaskNode *node, int level, bool selected)
{
    out.indent(level);
    out.raw("<Task Name=\"");
    out.attribute(node->text());
    out.raw("\" State=\"");
    switch (node->status()) {
    case TaskStatus::Done:
        out.raw("Done");
        break;
    case TaskStatus::Rejected:
        out.raw("Rejected");
        break;
    case TaskStatus::Progress:
        out.raw("Progress");
        break;
    }
    if (node->isExpanded())
        out.raw("\" Expanded=\"True\"");
    else
        out.raw("\" Expanded=\"False\"");
    if (selected)
        out.raw(" Selected=\"True\"");

    const QStringList *documents = node->info() ? &node->info()->RelatedDocuments() : nullptr;
    const bool hasDocuments = documents && !documents->isEmpty();
    if (!hasDocuments && node->childCount() == 0) {
        out.raw(" />\n");
        return;
    }
    out.raw(">\n");
    if (hasDocuments) {
        out.indent(level + 1);
        out.raw("<RelatedDocuments>\n");
        for (const QString &document : *documents) {
            out.indent(level + 2);
            out.raw("<Document FileName=\"");
            out.attribute(document);
            out.raw("\" />\n");
        }
        out.indent(level + 1);
        out.raw("</RelatedDocuments>\n");
    }
    if (node->childCount() == 0) {
        out.indent(level);
        out.raw("</Task>\n");
    }
}

} // namespace

LoadResult loadTaskFile(const QString &path, TaskTree &tree, const StatusColors &colors)
{
    LoadResult result;
    const QFileInfo info(path);
    if (!info.exists()) {
        tree.beginBulkLoad();
        tree.clear();
        tree.endBulkLoad();
        result.status = LoadResult::Status::NoFile;
        return result;
    }

    auto fail = [&](const QString &why) {
        tree.beginBulkLoad();
        tree.clear();
        tree.endBulkLoad();
        result.status = LoadResult::Status::Failed;
        result.error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), why);
        return result;
    };

    if (info.isDir())
        return fail(QStringLiteral("это папка, а не файл"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return fail(file.errorString());
    ParseArena arena;
    const qint64 expected = file.size();
    char *data = static_cast<char *>(arena.allocate(size_t(std::max<qint64>(expected, 1))));
    if (!data)
        return fail(QStringLiteral("не хватает памяти"));
    qint64 size = 0;
    while (size < expected) {
        const qint64 n = file.read(data + size, expected - size);
        if (n < 0)
            return fail(file.errorString());
        if (n == 0)
            break; // the file shrank meanwhile: take what is there
        size += n;
    }
    file.close();
    // Before the parser rewrites the buffer in place.
    result.stamp = {size, info.lastModified().toMSecsSinceEpoch(), contentHash(data, size_t(size))};

    QString error;
    const bool ok = loadFromBuffer(
        arena, data, size_t(size),
        [&path] {
            QFile again(path);
            return again.open(QIODevice::ReadOnly) ? again.readAll() : QByteArray();
        },
        tree, colors, &error);
    if (ok) {
        result.status = LoadResult::Status::Loaded;
        return result;
    }
    return fail(error);
}

bool loadTaskFileFromBytes(const QByteArray &bytes, TaskTree &tree, const StatusColors &colors, QString *error)
{
    ParseArena arena;
    char *data = static_cast<char *>(arena.allocate(size_t(std::max<qsizetype>(bytes.size(), 1))));
    if (data)
        std::memcpy(data, bytes.constData(), size_t(bytes.size()));
    QString why;
    const bool ok = data ? loadFromBuffer(
                        arena, data, size_t(bytes.size()), [&bytes] { return bytes; }, tree, colors, &why)
                         : false;
    if (!data) {
        tree.beginBulkLoad();
        tree.clear();
        tree.endBulkLoad();
        why = QStringLiteral("не хватает памяти");
    }
    if (error)
        *error = ok ? QString() : why;
    return ok;
}

QByteArray serializeTaskTree(const TaskTree &tree)
{
    XmlOut out(qsizetype(tree.count()) * 160);
    out.raw("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n");
    const TaskNode *root = tree.root();
    if (root->childCount() == 0) {
        out.raw("<Tasks />\n");
        return out.take();
    }
    out.raw("<Tasks>\n");

    struct Frame {
        const TaskNode *node;
        int next;
    };
    std::vector<Frame> stack;
    stack.reserve(64);
    stack.push_back({root, 0});
    const TaskNode *selected = tree.selected();
    while (!stack.empty()) {
        const size_t top = stack.size() - 1;
        const TaskNode *parent = stack[top].node;
        if (stack[top].next < parent->childCount()) {
            const TaskNode *child = parent->child(stack[top].next++);
            const int level = int(stack.size());
            writeTaskOpening(out, child, level, child == selected);
            if (child->childCount() > 0)
                stack.push_back({child, 0});
            continue;
        }
        stack.pop_back();
        if (parent != root) {
            out.indent(int(stack.size()));
            out.raw("</Task>\n");
        }
    }
    out.raw("</Tasks>\n");
    return out.take();
}

SaveResult saveTaskFile(const QString &path, const TaskTree &tree)
{
    SaveResult result;
    const QByteArray data = serializeTaskTree(tree);
    auto fail = [&](const QString &why) {
        result.ok = false;
        result.error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), why);
        return result;
    };

    if (QFileInfo(path).isDir())
        return fail(QStringLiteral("это папка, а не файл"));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    // A small file waits in the buffer: a full disk shows only when it is flushed, and commit()
    // would put the empty file in place all the same.
    if (file.write(data) != data.size() || !file.flush()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return fail(why);
    }
    if (!file.commit())
        return fail(file.errorString());
    result.ok = true;
    result.stamp = {data.size(), QFileInfo(path).lastModified().toMSecsSinceEpoch(),
                    contentHash(data.constData(), size_t(data.size()))};
    return result;
}

QString keepUnreadableCopy(const QString &path)
{
    return keepCopyAside(path, QStringLiteral("unreadable"));
}

QString keepCopyAside(const QString &path, const QString &suffix)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return {};
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QDir dir = info.absoluteDir();
    for (int attempt = 1; attempt <= 100; ++attempt) {
        const QString name = attempt == 1
            ? QStringLiteral("%1.%2.%3").arg(info.fileName(), stamp, suffix)
            : QStringLiteral("%1.%2-%3.%4").arg(info.fileName(), stamp).arg(attempt).arg(suffix);
        const QString copy = dir.filePath(name);
        if (QFileInfo::exists(copy))
            continue;
        // QFile::copy refuses an existing target, so a copy made meanwhile is never replaced.
        if (QFile::copy(path, copy))
            return copy;
        if (!QFileInfo::exists(copy))
            return {};
    }
    return {};
}
