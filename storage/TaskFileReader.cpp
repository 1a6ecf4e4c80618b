// SPDX-License-Identifier: MIT
// The task file reader: bytes to a task tree, or a clear reason why not.
#include "storage/TaskFile.h"

#include "model/BoolText.h"
#include "model/TaskTree.h"
#include "storage/FileError.h"
#include "storage/StorageLog.h"
#include "storage/TaskFileArena.h"
#include "storage/TaskFileEncoding.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <pugixml.hpp>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstring>
#include <functional>
#include <new>
#include <optional>
#include <vector>

namespace {

// Escapes, CR LF folding and attribute-value normalisation, as XML prescribes: a literal
// line break inside an attribute reads as a blank, a character reference as itself.
constexpr unsigned kParseOptions = pugi::parse_default;

// name == literal, unrolled: a call to strcmp per attribute costs more than the compare.
template<size_t N>
bool sameName(const char *name, const char (&literal)[N])
{
    for (size_t i = 0; i < N; ++i) {
        if (name[i] != literal[i])
            return false;
    }
    return true;
}

template<size_t N>
bool isElement(const pugi::xml_node &node, const char (&name)[N])
{
    return node.type() == pugi::node_element && sameName(node.name(), name);
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

// Task texts are mostly ASCII and two-byte letters (Cyrillic among them): those are decoded
// here in one pass that also spots control characters. Anything else (three- and four-byte
// characters, a byte order mark, bytes that are no UTF-8) is left to the general decoder.
// A null result means "not decoded here"; a text is valid until the next call.
constexpr size_t kScratchLimit = 64 * 1024;

std::optional<QStringView> decodeShortUtf8(const char *v, bool *sawControl)
{
    // Decoded into room kept for the load rather than into a string sized by its bytes: such a
    // string keeps that room for good, nearly twice what a Cyrillic text needs, for every task
    // of the file, as long as the program runs.
    thread_local std::vector<char16_t> scratch;
    const auto *b = reinterpret_cast<const unsigned char *>(v);
    const size_t n = std::strlen(v);
    if (n > kScratchLimit)
        return std::nullopt; // rare, and not worth holding that much room for the rest of the run
    if (scratch.size() < n)
        scratch.resize(std::max<size_t>(n, 4096));
    char16_t *d = scratch.data();
    char16_t *const start = d;
    bool control = false;
    for (size_t i = 0; i < n;) {
        const unsigned c = b[i];
        if (c < 0x80) {
            control |= c < 0x20 && c != '\t' && c != '\n' && c != '\r';
            *d++ = char16_t(c);
            ++i;
        } else if (c >= 0xC2 && c <= 0xDF && (b[i + 1] & 0xC0) == 0x80) {
            *d++ = char16_t((c & 0x1F) << 6 | (b[i + 1] & 0x3F));
            i += 2;
        } else {
            return std::nullopt;
        }
    }
    *sawControl = control;
    return QStringView(start, d - start);
}

// An attribute's text, trimmed. The parser lets through characters XML 1.0 cannot hold (raw
// control bytes, U+FFFE, U+FFFF), which a save leaves out; they are left out here already, so
// a task reads the same before and after the next save. (UTF-8 decoding never gives a lone
// surrogate, the writer's other omission.)
QString readText(const char *v)
{
    bool control = false;
    if (const std::optional<QStringView> decoded = decodeShortUtf8(v, &control)) {
        if (!control)
            return decoded->trimmed().toString(); // the one allocation, of the exact size
        QString text = decoded->toString();
        text.removeIf(xmlCannotHold);
        return std::move(text).trimmed();
    }
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
    if (sameName(v, "True"))
        return true;
    if (sameName(v, "False"))
        return false;
    return TextToBool(QString::fromUtf8(v), defaultValue);
}

TaskStatus readState(const char *v)
{
    if (!v)
        return TaskStatus::Progress;
    if (const auto exact = statusFromFileText(v))
        return *exact;
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
    qint64 count = 0;
#ifdef __SSE2__
    // Sixteen bytes a step, summed in byte lanes that are emptied before they can overflow:
    // this runs over every byte of every load, where a plain count costs a few ms at 100,000 tasks.
    const __m128i newline = _mm_set1_epi8('\n');
    while (to - from >= 16) {
        __m128i lanes = _mm_setzero_si128();
        const char *const stop = from + std::min<qint64>((to - from) / 16, 255) * 16;
        for (; from < stop; from += 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from));
            lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(bytes, newline));
        }
        const __m128i sums = _mm_sad_epu8(lanes, _mm_setzero_si128());
        count += _mm_cvtsi128_si64(sums) + _mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums));
    }
#endif
    return count + qint64(std::count(from, to, '\n'));
}

// Where a byte offset of the parsed bytes lies, as positionText gives it; empty when unknown.
using Locate = std::function<QString(qsizetype offset)>;

// Everything after the parse: the tree is touched only once the document is known good,
// and a fault found on the way leaves it with nothing but the top node.
bool buildTree(const pugi::xml_node &tasksElement, ParseArena &arena, TaskTree &tree, QString *error)
{
    struct Frame {
        pugi::xml_node cursor; // the next XML child to look at
        TaskNode *node;        // the tree node that receives this level's tasks
        bool opened;           // node and all its ancestors already expanded for a selection
    };
    std::vector<Frame> stack;
    stack.reserve(64);
    stack.push_back({tasksElement.first_child(), tree.root(), false});
    quint32 built = 0;

    while (!stack.empty()) {
        pugi::xml_node x = stack.back().cursor;
        while (x && !isElement(x, "Task"))
            x = x.next_sibling();
        if (!x) {
            stack.pop_back();
            continue;
        }
        stack.back().cursor = x.next_sibling();
        if ((++built & 4095) == 0)
            arena.releaseConsumed(x.internal_object(), x.name());

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
            if (sameName(n, "Name"))
                slot = &nameValue;
            else if (sameName(n, "State"))
                slot = &stateValue;
            else if (sameName(n, "Expanded"))
                slot = &expandedValue;
            else if (sameName(n, "Selected"))
                slot = &selectedValue;
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
bool loadFromBuffer(ParseArena &arena, char *data, size_t size, const Locate &locate, TaskTree &tree, QString *error)
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
        // Never destroyed: its memory is all the arena's, going back with it, and its destructor
        // would walk the parser's pages, which the build has handed back already.
        alignas(pugi::xml_document) unsigned char space[sizeof(pugi::xml_document)];
        pugi::xml_document &doc = *new (space) pugi::xml_document;
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
                ok = buildTree(top, arena, tree, error);
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

} // namespace

LoadResult loadTaskFile(const QString &path, TaskTree &tree)
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
    result.stamp = {size, info.lastModified().toMSecsSinceEpoch(), stampHash(data, size_t(size))};

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
        tree, &error);
    if (ok) {
        result.status = LoadResult::Status::Loaded;
        return result;
    }
    return fail(error);
}

bool loadTaskFileFromBytes(const QByteArray &bytes, TaskTree &tree, QString *error)
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
            &why)
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
