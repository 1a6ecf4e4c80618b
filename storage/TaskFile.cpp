#include "storage/TaskFile.h"

#include "model/BoolText.h"
#include "model/TaskTree.h"
#include "storage/FileError.h"
#include "storage/StorageLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringDecoder>

#include <pugixml.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
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

// The same test, letting U+FFFD through as well: it stands for bytes that did not decode.
bool needsAnotherLook(QChar c)
{
    const char16_t u = c.unicode();
    return (u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r') || u >= 0xFFFD;
}

// The first attribute value of the load under way whose bytes are no UTF-8; such a file is
// refused rather than read with its text replaced.
thread_local const char *t_undecodable = nullptr;

// An attribute's text, trimmed. The parser lets through characters XML 1.0 cannot hold (raw
// control bytes, U+FFFE, U+FFFF), which a save leaves out; they are left out here already, so
// a task reads the same before and after the next save. (UTF-8 decoding never gives a lone
// surrogate, the writer's other omission.)
QString readText(const char *v)
{
    const char *const value = v;
    // QString::fromUtf8 takes a leading U+FEFF for a byte order mark and drops it; at the
    // start of an attribute it is the text's own first character.
    qsizetype marks = 0;
    while (v[0] == '\xEF' && v[1] == '\xBB' && v[2] == '\xBF') {
        v += 3;
        ++marks;
    }
    QString text = QString::fromUtf8(v);
    if (marks > 0)
        text.prepend(QString(marks, QChar(0xFEFF)));
    if (std::any_of(text.cbegin(), text.cend(), needsAnotherLook)) {
        if (!t_undecodable && text.contains(QChar::ReplacementCharacter) && !QByteArrayView(value).isValidUtf8())
            t_undecodable = value;
        text.removeIf(xmlCannotHold);
    }
    return std::move(text).trimmed();
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

// " (строка N, столбец M)" for the end of window: the bytes of a line from its start (or, when
// startsLine is false, from somewhere inside it) after linesBefore line breaks.
QString positionText(QByteArrayView window, qint64 linesBefore, bool startsLine)
{
    const qint64 line = linesBefore + window.count('\n') + 1;
    const qsizetype lastBreak = window.lastIndexOf('\n');
    if (lastBreak < 0 && !startsLine)
        return QStringLiteral(" (строка %1)").arg(line);
    const qsizetype column = QString::fromUtf8(window.sliced(lastBreak + 1)).size() + 1;
    return QStringLiteral(" (строка %1, столбец %2)").arg(line).arg(column);
}

qint64 countLineBreaks(const char *from, const char *to)
{
    qint64 n = 0;
    for (; (from = static_cast<const char *>(std::memchr(from, '\n', size_t(to - from)))); ++from)
        ++n;
    return n;
}

// Where a byte offset of the parsed bytes lies, as positionText gives it; empty when unknown.
using Locate = std::function<QString(qsizetype offset)>;

// UTF-16 and UTF-32, told by a byte order mark or by how "<" is spelt, as the parser tells them.
std::optional<QStringConverter::Encoding> wideEncoding(QByteArrayView bytes)
{
    auto at = [&bytes](qsizetype i) { return i < bytes.size() ? int(uchar(bytes[i])) : -1; };
    const int d0 = at(0), d1 = at(1), d2 = at(2), d3 = at(3);
    if ((d0 == 0 && d1 == 0 && d2 == 0xFE && d3 == 0xFF) || (d0 == 0 && d1 == 0 && d2 == 0 && d3 == 0x3C))
        return QStringConverter::Utf32BE;
    if ((d0 == 0xFF && d1 == 0xFE && d2 == 0 && d3 == 0) || (d0 == 0x3C && d1 == 0 && d2 == 0 && d3 == 0))
        return QStringConverter::Utf32LE;
    if ((d0 == 0xFE && d1 == 0xFF) || (d0 == 0 && d1 == 0x3C))
        return QStringConverter::Utf16BE;
    if ((d0 == 0xFF && d1 == 0xFE) || (d0 == 0x3C && d1 == 0))
        return QStringConverter::Utf16LE;
    return std::nullopt;
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

enum class Recoding { AsIs, Recoded, Broken };

// Wide encodings and declared legacy code pages ("windows-1251", "koi8-r") become UTF-8 in
// utf8, so the parser only ever sees UTF-8; bytes that do not decode refuse the file instead of
// turning into replacement characters. AsIs for UTF-8, and for an encoding nobody knows, which
// is read as UTF-8 like before.
Recoding recodeToUtf8(QByteArrayView bytes, QByteArray *utf8, QString *error)
{
    // Built in place: a moved ICU-backed decoder stops counting the bytes it could not read.
    std::optional<QStringDecoder> decoder;
    if (const auto wide = wideEncoding(bytes)) {
        decoder.emplace(*wide);
    } else {
        const QByteArray encoding = declaredEncoding(bytes);
        if (encoding.isEmpty() || encoding == "utf-8" || encoding == "utf8" || encoding == "us-ascii"
            || encoding == "ascii" || encoding.startsWith("utf-16") || encoding.startsWith("utf-32")
            || encoding.startsWith("ucs"))
            return Recoding::AsIs;
        decoder.emplace(encoding.constData());
        if (!decoder->isValid())
            return Recoding::AsIs;
    }
    const QString text = decoder->decode(bytes);
    if (decoder->hasError() || !text.isValidUtf16()) {
        *error = QStringLiteral("байты файла не читаются в его кодировке (%1)").arg(QLatin1String(decoder->name()));
        return Recoding::Broken;
    }
    *utf8 = text.toUtf8();
    return Recoding::Recoded;
}

// Comments, CDATA sections and processing instructions, where "&#0;" is just text. Asked
// about positions in increasing order, it walks the bytes once.
class ReferenceFreeSections
{
public:
    explicit ReferenceFreeSections(QByteArrayView bytes)
        : m_bytes(bytes)
    {
    }

    bool contain(qsizetype pos)
    {
        while (m_end <= pos) {
            if (!next())
                return false;
        }
        return pos >= m_start;
    }

private:
    bool next()
    {
        for (qsizetype lt = m_bytes.indexOf('<', m_end); lt >= 0; lt = m_bytes.indexOf('<', lt + 1)) {
            const QByteArrayView rest = m_bytes.sliced(lt);
            const char *close = rest.startsWith("<!--") ? "-->"
                : rest.startsWith("<![CDATA[")          ? "]]>"
                : rest.startsWith("<?")                 ? "?>"
                                                        : nullptr;
            if (!close)
                continue;
            const qsizetype end = m_bytes.indexOf(QByteArrayView(close), lt + 2);
            m_start = lt;
            m_end = end < 0 ? m_bytes.size() : end + qsizetype(std::strlen(close));
            return true;
        }
        m_start = m_end = m_bytes.size();
        return false;
    }

    QByteArrayView m_bytes;
    qsizetype m_start = 0, m_end = 0;
};

// The code point of the character reference at pos ("&#...;"), read as the parser reads it;
// -1 where the parser leaves the text as it stands. Beyond Unicode counts as 0x110000.
qint64 referenceAt(QByteArrayView bytes, qsizetype pos)
{
    qsizetype i = pos + 2;
    const bool hex = i < bytes.size() && bytes[i] == 'x';
    i += hex;
    qint64 value = 0;
    for (const qsizetype first = i; i < bytes.size(); ++i) {
        const char c = bytes[i];
        const char lower = char(c | 0x20);
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (hex && lower >= 'a' && lower <= 'f')
            digit = lower - 'a' + 10;
        else
            return c == ';' && i > first ? value : -1;
        value = std::min<qint64>(value * (hex ? 16 : 10) + digit, 0x110000);
    }
    return -1;
}

// The parser writes a referenced code point as it is: "&#0;" would cut a text short, and a
// surrogate or a number beyond Unicode would become bytes that are no UTF-8. XML allows
// neither. The offset of the first such reference, or -1.
qsizetype firstBadReference(QByteArrayView bytes)
{
    ReferenceFreeSections sections(bytes);
    const char *const begin = bytes.data(), *const end = begin + bytes.size();
    for (const char *p = begin; (p = static_cast<const char *>(std::memchr(p, '&', size_t(end - p)))); ++p) {
        if (end - p < 2 || p[1] != '#')
            continue;
        const qsizetype amp = p - begin;
        const qint64 c = referenceAt(bytes, amp);
        if ((c == 0 || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) && !sections.contain(amp))
            return amp;
    }
    return -1;
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
// from arena) is parsed in place. locate places an offset of the bytes as they came, asked
// for only when something is wrong there.
bool loadFromBuffer(ParseArena &arena, char *data, size_t size, const Locate &locate, TaskTree &tree,
                    const StatusColors &colors, QString *error)
{
    ArenaScope scope(arena);
    tree.beginBulkLoad();
    tree.clear();

    QString refusal;
    QByteArray utf8; // kept to place a fault in what the parser saw
    Locate where = locate;
    switch (data ? recodeToUtf8(QByteArrayView(data, qsizetype(size)), &utf8, &refusal) : Recoding::AsIs) {
    case Recoding::Broken:
        break;
    case Recoding::Recoded:
        data = static_cast<char *>(arena.allocate(size_t(std::max<qsizetype>(utf8.size(), 1))));
        size = data ? size_t(utf8.size()) : 0;
        if (data)
            std::memcpy(data, utf8.constData(), size);
        where = [&utf8](qsizetype offset) { return positionText(QByteArrayView(utf8).first(offset), 0, true); };
        break;
    case Recoding::AsIs:
        break;
    }
    if (refusal.isEmpty() && data) {
        if (const qsizetype bad = firstBadReference(QByteArrayView(data, qsizetype(size))); bad >= 0) {
            const qsizetype end = QByteArrayView(data + bad, qsizetype(size) - bad).indexOf(';');
            refusal = QStringLiteral("ссылка на символ, которого в XML быть не может: «%1»%2")
                          .arg(QString::fromLatin1(data + bad, std::min<qsizetype>(end + 1, 24)), where(bad));
        }
    }
    if (!refusal.isEmpty()) {
        if (error)
            *error = refusal;
        tree.endBulkLoad();
        return false;
    }
    t_undecodable = nullptr;

    bool ok = false;
    {
        pugi::xml_document doc;
        // Everything is UTF-8 by now. Recoded bytes still carry their old declaration, which the
        // parser would otherwise obey (it decodes a declared Latin-1 itself), decoding twice.
        const pugi::xml_encoding encoding = pugi::encoding_utf8;
        const pugi::xml_parse_result result = data ? doc.load_buffer_inplace(data, size, kParseOptions, encoding)
                                                   : doc.load_buffer("", 0, kParseOptions, encoding);
        if (!result) {
            if (error) {
                const bool placeable = result.offset >= 0 && size_t(result.offset) <= size;
                *error = parseStatusText(result.status) + (placeable ? where(qsizetype(result.offset)) : QString());
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
                if (ok && t_undecodable) {
                    ok = false;
                    tree.clear();
                    if (error)
                        *error = QStringLiteral("в тексте есть байты, которые не читаются как UTF-8")
                            + where(qsizetype(t_undecodable - data));
                }
            }
        }
    }
    t_undecodable = nullptr;
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
    auto empty = [&tree] {
        tree.beginBulkLoad();
        tree.clear();
        tree.endBulkLoad();
    };
    const QFileInfo info(path);
    if (!info.exists()) {
        empty();
        result.status = LoadResult::Status::NoFile;
        return result;
    }
    if (!info.isFile()) {
        // A folder, a pipe or a device holds no tasks, and reading one would hang or never end.
        qCWarning(lcStorage) << "Not a regular file at the task file's place, starting with no tasks:" << path;
        empty();
        result.status = LoadResult::Status::NoFile;
        return result;
    }

    auto fail = [&](const QString &why) {
        empty();
        result.status = LoadResult::Status::Failed;
        result.error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), why);
        return result;
    };

    clearSystemError();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return fail(fileErrorText(lastSystemError(), file.errorString()));
    ParseArena arena;
    // No more than the size seen at opening is read, whatever the file does meanwhile.
    const qint64 expected = file.size();
    char *data = static_cast<char *>(arena.allocate(size_t(std::max<qint64>(expected, 1))));
    if (!data)
        return fail(QStringLiteral("не хватает памяти"));
    // Line breaks before each block, counted while the block is fresh: a parse error is placed by
    // reading one block again instead of the whole file.
    constexpr qint64 kBlock = 64 * 1024;
    std::vector<qint64> linesBefore {0};
    qint64 linesInBlock = 0;
    qint64 size = 0;
    while (size < expected) {
        clearSystemError();
        const qint64 n = file.read(data + size, std::min(expected - size, 16 * kBlock));
        if (n < 0)
            return fail(fileErrorText(lastSystemError(), file.errorString()));
        if (n == 0)
            break; // the file shrank meanwhile: take what is there
        for (qint64 at = size; at < size + n;) {
            const qint64 end = std::min((at / kBlock + 1) * kBlock, size + n);
            linesInBlock += countLineBreaks(data + at, data + end);
            if (end % kBlock == 0) {
                linesBefore.push_back(linesBefore.back() + linesInBlock);
                linesInBlock = 0;
            }
            at = end;
        }
        size += n;
    }
    file.close();
    // Before the parser rewrites the buffer in place.
    result.stamp = {size, info.lastModified().toMSecsSinceEpoch(), contentHash(data, size_t(size))};

    QString error;
    const bool ok = loadFromBuffer(
        arena, data, size_t(size),
        [&](qsizetype offset) {
            const qint64 block = offset / kBlock;
            if (block >= qint64(linesBefore.size()))
                return QString();
            QFile again(path);
            if (!again.open(QIODevice::ReadOnly) || !again.seek(block * kBlock))
                return QString();
            const QByteArray window = again.read(offset - block * kBlock);
            if (window.size() != offset - block * kBlock)
                return QString();
            return positionText(window, linesBefore[size_t(block)], block == 0);
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
    const bool ok = data
        ? loadFromBuffer(
            arena, data, size_t(bytes.size()),
            [&bytes](qsizetype offset) { return positionText(QByteArrayView(bytes).first(offset), 0, true); }, tree,
            colors, &why)
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

    // Only a regular file is ever replaced; a folder, a pipe or a device stays as it is.
    const QFileInfo info(path);
    if (info.isDir())
        return fail(fileErrorText(EISDIR));
    if (info.exists() && !info.isFile())
        return fail(QStringLiteral("Здесь не обычный файл, а устройство или канал"));
    if (info.exists() && !info.isWritable())
        return fail(fileErrorText(EACCES)); // QSaveFile refuses it too, in words of its own
    QSaveFile file(path);
    clearSystemError();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(fileErrorText(lastSystemError(), file.errorString()));
    // A short write (the disk filling up) is followed by one more, which then says why.
    for (qsizetype written = 0; written < data.size();) {
        clearSystemError();
        const qint64 n = file.write(data.constData() + written, data.size() - written);
        if (n <= 0) {
            const QString why = fileErrorText(lastSystemError(), file.errorString());
            file.cancelWriting();
            return fail(why);
        }
        written += qsizetype(n);
    }
    clearSystemError();
    if (!file.commit())
        return fail(fileErrorText(lastSystemError(), file.errorString()));
    result.ok = true;
    result.written = FileVersion::of(path, data);
    result.stamp = {data.size(), QFileInfo(path).lastModified().toMSecsSinceEpoch(),
                    contentHash(data.constData(), size_t(data.size()))};
    return result;
}

QString keepUnreadableCopy(const QString &path, QString *error)
{
    return keepCopyAside(path, QStringLiteral("unreadable"), error);
}

QString keepCopyAside(const QString &path, const QString &suffix, QString *error)
{
    if (error)
        error->clear();
    const QFileInfo info(path);
    if (!info.isFile())
        return {};
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QDir dir = info.absoluteDir();
    QString why;
    for (int attempt = 1; attempt <= 100; ++attempt) {
        const QString name = attempt == 1
            ? QStringLiteral("%1.%2.%3").arg(info.fileName(), stamp, suffix)
            : QStringLiteral("%1.%2-%3.%4").arg(info.fileName(), stamp).arg(attempt).arg(suffix);
        const QString copy = dir.filePath(name);
        if (QFileInfo::exists(copy))
            continue;
        // QFile::copy refuses an existing target, so a copy made meanwhile is never replaced.
        QFile source(path);
        clearSystemError();
        if (source.copy(copy))
            return copy;
        why = fileErrorText(lastSystemError(), source.errorString());
        if (!QFileInfo::exists(copy))
            break;
    }
    if (why.isEmpty())
        why = QStringLiteral("все имена для копии уже заняты");
    if (error)
        *error = why;
    return {};
}

int removeLeftoverTemporaries(const QString &path)
{
    // A save writes "<name>.XXXXXX" beside the file and renames it over; one killed in between
    // leaves a full copy behind that nothing will ever read.
    const QFileInfo info(path);
    const QRegularExpression pattern(QRegularExpression::anchoredPattern(QRegularExpression::escape(info.fileName())
                                                                         + QStringLiteral("\\.[A-Za-z0-9]{6}")));
    int removed = 0;
    const QDir dir = info.absoluteDir();
    const QStringList candidates
        = dir.entryList({info.fileName() + QStringLiteral(".??????")}, QDir::Files | QDir::Hidden);
    for (const QString &name : candidates) {
        const QFileInfo candidate(dir.filePath(name));
        if (!pattern.match(name).hasMatch() || candidate.isSymLink() || !candidate.isFile())
            continue;
        if (QFile::remove(candidate.filePath())) {
            qCInfo(lcStorage) << "Removed the temporary file of an unfinished save:" << candidate.filePath();
            ++removed;
        } else {
            qCWarning(lcStorage) << "Could not remove the temporary file of an unfinished save:"
                                 << candidate.filePath();
        }
    }
    return removed;
}
