// SPDX-License-Identifier: MIT
// The task file reader: bytes to a task tree, or a clear reason why not.
#include "storage/TaskFile.h"

#include "model/BoolText.h"
#include "model/TaskTree.h"
#include "storage/ByteShuffles.h"
#include "storage/FileError.h"
#include "storage/StorageLog.h"
#include "storage/TaskFileArena.h"
#include "storage/TaskFileEncoding.h"
#include "storage/TaskFilePieces.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <pugixml.hpp>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
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

// The earliest in the file of the attribute values read so far, in the load under way, whose
// bytes are no UTF-8; such a file is refused rather than read with its text replaced. Earliest,
// not first read: names and documents are read in batches, and on more than one thread.
thread_local const char *t_undecodable = nullptr;

// Task texts are mostly ASCII and two-byte letters (Cyrillic among them): those are decoded
// here in one pass that also spots control characters. Anything else (three- and four-byte
// characters, a byte order mark, bytes that are no UTF-8) is left to the general decoder.
// A null result means "not decoded here"; a text is valid until the next call.
constexpr size_t kScratchLimit = 64 * 1024;

#ifdef LISTRA_SHUFFLES
// The marked lanes whole, nothing of the others.
constexpr ByteShuffles::Table kLaneCompaction = ByteShuffles::makeTable(false);

// Eight bytes widened to 16-bit lanes, a lead byte's lane taking its character (the lead's five
// bits and the next byte's six), then the lanes to keep packed together at d.
__attribute__((target("ssse3"))) char16_t *decodeHalf(__m128i bytes, __m128i next, int keep, char16_t *d)
{
    const __m128i lead = _mm_cmpgt_epi16(bytes, _mm_set1_epi16(0x7F));
    const __m128i two = _mm_or_si128(_mm_slli_epi16(_mm_and_si128(bytes, _mm_set1_epi16(0x1F)), 6),
                                     _mm_and_si128(next, _mm_set1_epi16(0x3F)));
    const __m128i chars = _mm_or_si128(_mm_and_si128(lead, two), _mm_andnot_si128(lead, bytes));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(d),
                     _mm_shuffle_epi8(chars, ByteShuffles::order(kLaneCompaction, keep)));
    return d + kLaneCompaction.length[size_t(keep)] / 2;
}

// Sixteen bytes a step while they hold nothing but printable ASCII and whole two-byte
// characters (a lead in the last byte waits for the next step); stops at the first step that
// holds anything else, leaving the rest to the plain loop. Moves i on; returns where d is.
__attribute__((target("ssse3"))) char16_t *decodeBlocks(const unsigned char *b, size_t n, size_t &i, char16_t *d)
{
    const __m128i zero = _mm_setzero_si128();
    while (i + 16 <= n) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b + i));
        const int high = _mm_movemask_epi8(bytes);
        if (_mm_movemask_epi8(_mm_cmplt_epi8(bytes, _mm_set1_epi8(0x20))) & ~high)
            break; // a control byte: the plain loop tells which
        if (high == 0) {
            _mm_storeu_si128(reinterpret_cast<__m128i *>(d), _mm_unpacklo_epi8(bytes, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(d + 8), _mm_unpackhi_epi8(bytes, zero));
            d += 16;
            i += 16;
            continue;
        }
        // Continuations are 10xxxxxx, two-byte leads 0xC2 to 0xDF; each lead has one
        // continuation right after it, and nothing else is there.
        const int continuation = _mm_movemask_epi8(
            _mm_cmpeq_epi8(_mm_and_si128(bytes, _mm_set1_epi8(char(0xC0))), _mm_set1_epi8(char(0x80))));
        const __m128i shifted = _mm_sub_epi8(bytes, _mm_set1_epi8(char(0xC2 - 0x80)));
        const int lead = _mm_movemask_epi8(_mm_cmplt_epi8(shifted, _mm_set1_epi8(char(0x80 + 0x1E)))) & high;
        const int whole = (lead & 0x8000) ? 15 : 16;
        const int inside = (1 << whole) - 1;
        if (((lead | continuation) & inside) != (high & inside) || (continuation & inside) != ((lead << 1) & inside))
            break;
        const int keep = ~continuation & inside;
        const __m128i next = _mm_srli_si128(bytes, 1);
        d = decodeHalf(_mm_unpacklo_epi8(bytes, zero), _mm_unpacklo_epi8(next, zero), keep & 0xFF, d);
        d = decodeHalf(_mm_unpackhi_epi8(bytes, zero), _mm_unpackhi_epi8(next, zero), keep >> 8, d);
        i += size_t(whole);
    }
    return d;
}

#endif

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
    if (scratch.size() < n + 16)
        scratch.resize(std::max<size_t>(n + 16, 4096)); // a step may store past its last character
    char16_t *d = scratch.data();
    char16_t *const start = d;
    bool control = false;
    size_t i = 0;
    while (i < n) {
#ifdef LISTRA_SHUFFLES
        if (ByteShuffles::available) {
            d = decodeBlocks(b, n, i, d);
            if (i == n)
                break;
        }
#endif
        // What the steps leave (the end, a control, another kind of character), a step's
        // length the plain way before they try again.
        for (const size_t stop = std::min(n, i + 16); i < stop;) {
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
        if ((!t_undecodable || value < t_undecodable) && text.contains(QChar::ReplacementCharacter)
            && !QByteArrayView(value).isValidUtf8())
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

// The task's document names as the parser left them, to be read where the task is placed.
void listDocuments(const pugi::xml_node &task, std::vector<const char *> &into)
{
    for (pugi::xml_node list = task.first_child(); list; list = list.next_sibling()) {
        if (!isElement(list, "RelatedDocuments"))
            continue;
        for (pugi::xml_node doc = list.first_child(); doc; doc = doc.next_sibling()) {
            if (isElement(doc, "Document"))
                into.push_back(doc.attribute("FileName").value());
        }
    }
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

// A task's name from its attribute's bytes (null when it has none); an empty one gets the
// program's own.
QString readTaskName(const char *bytes)
{
    QString name = bytes ? readText(bytes) : QString();
    if (name.isEmpty())
        name = TaskTree::kUntitled;
    return name;
}

// One task as the file gives it, read ahead of the tree that receives it.
struct ReadTask {
    QString name;
    const char *nameBytes; // when not null, name is still to be read from these
    int depth;             // 1 for a task right under the top node
    int documents;         // how many of the batch's document names are this task's
    TaskStatus state;
    bool expanded;
    bool selected;
};
struct ReadBatch {
    std::vector<ReadTask> tasks;
    // Every other batch leaves its names to the side that places it, which has time to spare.
    bool namesLeft = false;
    std::vector<const char *> documents; // in the order of the tasks
    // Where the parser's memory may be handed back up to once the batch is placed.
    const void *consumedNode = nullptr;
    const char *consumedText = nullptr;
    // When not negative, the piece of the file whose tasks end with this batch.
    int pieceDone = -1;
};
constexpr size_t kReadBatch = 1024;
// From this size of file on, reading the tasks ahead on another thread pays for starting it.
constexpr size_t kReadAheadFrom = 1 << 20;

// Reads tasks in document order, a batch at a time, into hand. Looks at the parser's nodes
// only, so it may run beside placeTasks.
class TaskWalk
{
public:
    using Hand = std::function<void(ReadBatch &)>;
    // marksConsumed: whether batches say up to where the parser's memory may go back.
    TaskWalk(Hand hand, bool marksConsumed)
        : m_hand(std::move(hand))
        , m_marksConsumed(marksConsumed)
    {
        m_cursors.reserve(64);
        m_batch.tasks.reserve(kReadBatch);
    }

    // The tasks from first on: it, its siblings and everything below them, at the top level;
    // false with the reason when they nest too deep.
    bool read(const pugi::xml_node &first, QString *error);
    // Hands on what is read and not handed yet, saying which piece is done with it.
    void handRest(int pieceDone = -1)
    {
        if (m_batch.tasks.empty() && pieceDone < 0)
            return;
        m_batch.pieceDone = pieceDone;
        handBatch();
    }

private:
    void handBatch()
    {
        const bool namesLeft = !m_batch.namesLeft;
        m_hand(m_batch);
        m_batch = ReadBatch();
        m_batch.tasks.reserve(kReadBatch);
        m_batch.namesLeft = namesLeft;
    }

    Hand m_hand;
    bool m_marksConsumed;
    ReadBatch m_batch;
    quint32 m_read = 0;
    std::vector<pugi::xml_node> m_cursors; // per level, the next XML child to look at
};

bool TaskWalk::read(const pugi::xml_node &first, QString *error)
{
    m_cursors.clear();
    m_cursors.push_back(first);
    while (!m_cursors.empty()) {
        pugi::xml_node x = m_cursors.back();
        while (x && !isElement(x, "Task"))
            x = x.next_sibling();
        if (!x) {
            m_cursors.pop_back();
            continue;
        }
        m_cursors.back() = x.next_sibling();
        if ((++m_read & 4095) == 0 && m_marksConsumed && !m_batch.consumedNode) {
            m_batch.consumedNode = x.internal_object();
            m_batch.consumedText = x.name();
        }

        const int depth = int(m_cursors.size());
        if (depth > kMaxTaskDepth) {
            if (error)
                *error = QStringLiteral("задачи вложены глубже %1 уровней").arg(kMaxTaskDepth);
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
        QString name;
        if (!m_batch.namesLeft)
            name = readTaskName(nameValue);
        const size_t documentsBefore = m_batch.documents.size();
        listDocuments(x, m_batch.documents);
        m_batch.tasks.push_back({std::move(name), m_batch.namesLeft ? nameValue : nullptr, depth,
                                 int(m_batch.documents.size() - documentsBefore), readState(stateValue),
                                 readBool(expandedValue, true), readBool(selectedValue, false)});
        if (m_batch.tasks.size() == kReadBatch)
            handBatch();
        if (pugi::xml_node child = x.first_child())
            m_cursors.push_back(child);
    }
    return true;
}

// Puts read tasks into the tree, reading their documents' names and, for every other batch,
// their own names too: the reading is shared between the two sides. path holds the nodes from
// the top one down to the last task placed, each with whether it and all above it are expanded
// for a selection already.
struct PlacePath {
    TaskNode *node;
    bool opened;
};

void placeTasks(ReadBatch &batch, TaskTree &tree, std::vector<PlacePath> &path)
{
    auto document = batch.documents.cbegin();
    for (ReadTask &t : batch.tasks) {
        path.resize(size_t(t.depth));
        if (batch.namesLeft)
            t.name = readTaskName(t.nameBytes);
        TaskNode *node = tree.addChild(path.back().node, t.name, t.state);
        tree.setExpanded(node, t.expanded);
        if (t.documents > 0) {
            QStringList documents;
            documents.reserve(t.documents);
            for (const auto end = document + t.documents; document != end; ++document) {
                QString fileName = readText(*document);
                if (!fileName.isEmpty())
                    documents.append(std::move(fileName));
            }
            if (!documents.isEmpty())
                tree.setRelatedDocuments(node, std::move(documents));
        }
        if (t.selected) {
            // The last selected task wins; each one opens the way to itself.
            tree.setSelected(node);
            for (auto it = path.rbegin(); it != path.rend() && !it->opened; ++it) {
                it->opened = true;
                tree.setExpanded(it->node, true);
            }
        }
        path.push_back({node, false});
    }
}

// Batches read ahead on a thread of their own, at most a few in waiting.
class ReadQueue
{
public:
    void put(ReadBatch &batch)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_batches.size() < kWaiting || m_abandoned; });
        if (m_abandoned)
            return;
        m_batches.push_back(std::move(batch));
        m_changed.notify_all();
    }
    void finish()
    {
        std::lock_guard lock(m_mutex);
        m_finished = true;
        m_changed.notify_all();
    }
    // Nobody takes batches any more: those put go nowhere.
    void abandon()
    {
        std::lock_guard lock(m_mutex);
        m_abandoned = true;
        m_batches.clear();
        m_changed.notify_all();
    }
    // The next batch, or false once all are taken.
    bool take(ReadBatch &batch)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_batches.empty() || m_finished; });
        if (m_batches.empty())
            return false;
        batch = std::move(m_batches.front());
        m_batches.pop_front();
        m_changed.notify_all();
        return true;
    }

private:
    static constexpr size_t kWaiting = 16;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<ReadBatch> m_batches;
    bool m_finished = false;
    bool m_abandoned = false;
};

// Places batches as the read side (a thread, or what joins its threads) hands them on, then
// has it joined; the first bytes that are no UTF-8 in the file count, whichever side read them.
template<typename ReadSide>
void placeFromQueue(ReadQueue &queue, TaskTree &tree, std::vector<PlacePath> &path, ReadSide &reader,
                    const std::function<void(const ReadBatch &)> &placed, const char *const &undecodable)
{
    for (ReadBatch batch; queue.take(batch);) {
        placeTasks(batch, tree, path);
        placed(batch);
    }
    reader.join();
    if (undecodable && (!t_undecodable || undecodable < t_undecodable))
        t_undecodable = undecodable;
}

// Everything after the parse: the tree is touched only once the document is known good,
// and a fault found on the way leaves it with nothing but the top node. A large file's tasks
// are read (texts decoded, documents listed) on a thread of their own while this one puts them
// into the tree.
bool buildTree(const pugi::xml_node &tasksElement, ParseArena &arena, size_t fileSize, TaskTree &tree, QString *error)
{
    std::vector<PlacePath> path {{tree.root(), false}};
    auto release = [&arena](const ReadBatch &batch) {
        if (batch.consumedNode)
            arena.releaseConsumed(batch.consumedNode, batch.consumedText);
    };
    bool ok = false;
    if (fileSize >= kReadAheadFrom) {
        ReadQueue queue;
        const char *undecodable = nullptr;
        try {
            std::thread reader([&] {
                TaskWalk walk([&queue](ReadBatch &batch) { queue.put(batch); }, true);
                ok = walk.read(tasksElement.first_child(), error);
                walk.handRest();
                undecodable = t_undecodable;
                t_undecodable = nullptr;
                queue.finish();
            });
            placeFromQueue(queue, tree, path, reader, release, undecodable);
        } catch (const std::system_error &e) {
            qCWarning(lcStorage) << "The tasks are read without a thread of their own:" << e.what();
            tree.clear();
            path.resize(1);
            fileSize = 0;
        }
    }
    if (fileSize < kReadAheadFrom) {
        TaskWalk walk(
            [&](ReadBatch &batch) {
                placeTasks(batch, tree, path);
                release(batch);
            },
            true);
        ok = walk.read(tasksElement.first_child(), error);
        walk.handRest();
    }
    if (!ok)
        tree.clear();
    return ok;
}

// From this size on a file is parsed in pieces, each of about this many bytes (tests make both
// small).
size_t g_piecesFrom = kReadAheadFrom;
size_t g_pieceSize = 0; // 0: a sixteenth of the file, within bounds

size_t pieceSizeFor(size_t fileSize)
{
    if (g_pieceSize)
        return g_pieceSize;
    return std::clamp(fileSize / 16, size_t(256) << 10, size_t(8) << 20);
}

// One piece of a large file: whole top-level tasks, parsed in place as a fragment of their own
// into memory of their own, which goes back once its tasks are placed.
struct Piece {
    Piece(char *b, size_t n)
        : bytes(b)
        , size(n)
    {
    }
    char *bytes;
    size_t size;
    std::unique_ptr<ParseArena> arena = std::make_unique<ParseArena>();
    pugi::xml_node first; // its first node, once parsed
    // Never destroyed, like the whole document's: its memory is the piece arena's.
    alignas(pugi::xml_document) unsigned char space[sizeof(pugi::xml_document)];
};

// Whether a piece parsed on its own reads as it does inside the whole file. The parser ends a
// text at a NUL byte, so a piece would drop what follows one, where the whole parse finds the
// elements left open; and a document type declaration, refused inside an element, is taken at
// the top of a piece.
bool readsAsInTheWhole(QByteArrayView piece)
{
    if (piece.contains('\0'))
        return false;
    const char *const begin = piece.data(), *const end = begin + piece.size();
    for (const char *p = begin; (p = static_cast<const char *>(std::memchr(p, '!', size_t(end - p)))); ++p) {
        if (p > begin && p[-1] == '<' && p + 1 < end && p[1] == 'D')
            return false;
    }
    return true;
}

// Whether the bytes before the content (declaration and start tag) make a good document with
// "Tasks" at its top once the end tag is added, with no reference the parser may not see;
// parsed from a copy, so the bytes stay as they are for whoever parses them next.
bool headParses(const char *data, size_t head)
{
    const QByteArrayView bytes(data, qsizetype(head));
    if (bytes.contains('\0') || firstBadReference(bytes) >= 0)
        return false;
    ParseArena arena;
    ArenaScope scope(arena);
    QByteArray copy(data, qsizetype(head));
    copy.append("</Tasks>");
    pugi::xml_document doc;
    if (!doc.load_buffer(copy.constData(), size_t(copy.size()), kParseOptions, pugi::encoding_utf8))
        return false;
    int elements = 0;
    for (pugi::xml_node n = doc.first_child(); n; n = n.next_sibling())
        elements += n.type() == pugi::node_element ? 1 : 100; // anything else beside it is out
    return elements == 1 && std::strcmp(doc.document_element().name(), "Tasks") == 0;
}

enum class PiecedBuild { Built, NotPieced, Again };

// A large file parsed piece by piece while it is still being read: one thread cuts and parses
// the pieces as their bytes come, one reads the tasks of those parsed, and the loading thread,
// once it has read the file, places them; so reading, parsing and building overlap. Any fault
// once a piece is parsed (a piece that does not parse, a reference the parser may not see,
// tasks nested too deep) answers Again: the bytes are spent, and a whole parse of the file
// anew finds and places the fault exactly as it would without pieces. Before that, NotPieced
// leaves the bytes untouched for the whole parse.
class PiecedLoad
{
public:
    // data is to hold expected bytes, from dataArena; arrived says how far they are read.
    PiecedLoad(ParseArena &dataArena, char *data, size_t expected)
        : m_dataArena(dataArena)
        , m_data(data)
        , m_pieceSize(pieceSizeFor(expected))
    {
        // Never moved once the reading side may look at them: no piece is shorter than
        // m_pieceSize but the last.
        m_pieces.reserve(expected / m_pieceSize + 2);
        try {
            m_reader.emplace([this] { readPieces(); });
            m_parser.emplace([this] { parsePieces(); });
        } catch (const std::system_error &e) {
            qCWarning(lcStorage) << "The file is parsed whole, without threads of its own:" << e.what();
            settle(PiecedBuild::NotPieced);
        }
    }
    ~PiecedLoad()
    {
        settle(PiecedBuild::NotPieced);
        m_queue.abandon();
        join();
    }
    PiecedLoad(const PiecedLoad &) = delete;
    PiecedLoad &operator=(const PiecedLoad &) = delete;

    // The file's bytes up to size are read, and nothing will change them but the parse.
    void arrived(size_t size)
    {
        std::lock_guard lock(m_mutex);
        m_arrived = size;
        m_changed.notify_all();
    }
    // All the file is read (size bytes of it): places its tasks into tree as they are read.
    PiecedBuild build(size_t size, TaskTree &tree)
    {
        {
            std::lock_guard lock(m_mutex);
            m_arrived = size;
            m_complete = true;
            m_changed.notify_all();
        }
        std::vector<PlacePath> path {{tree.root(), false}};
        placeFromQueue(
            m_queue, tree, path, *this,
            [this](const ReadBatch &batch) {
                if (batch.pieceDone >= 0)
                    handBack(size_t(batch.pieceDone));
            },
            m_undecodable);
        std::lock_guard lock(m_mutex);
        if (m_outcome == PiecedBuild::Built)
            qCDebug(lcPieces) << "The file is parsed in" << m_pieces.size() << "pieces";
        else
            tree.clear();
        return m_outcome;
    }

    // Waits for both threads to end.
    void join()
    {
        if (m_parser)
            m_parser->join();
        if (m_reader)
            m_reader->join();
        m_parser.reset();
        m_reader.reset();
    }

private:
    // At most this many pieces are parsed ahead of those placed, so parsed memory does not
    // pile up while the file is read.
    static constexpr size_t kAhead = 8;
    // The bytes that must be read before the file's layout is looked at.
    static constexpr size_t kFirstBytes = 64 * 1024;
    // The first outcome stands; Built only once every piece is read.
    void settle(PiecedBuild outcome)
    {
        std::lock_guard lock(m_mutex);
        if (!m_settled) {
            m_settled = true;
            m_outcome = outcome;
        }
        m_changed.notify_all();
    }

    // The parsing thread. Waits for at least size bytes (fewer once the file is all read);
    // false once the load is settled otherwise.
    bool waitForBytes(size_t size, QByteArrayView *read, bool *complete)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_arrived >= size || m_complete || m_settled; });
        *read = QByteArrayView(m_data, qsizetype(m_arrived));
        *complete = m_complete;
        return !m_settled;
    }
    void parsePieces()
    {
        QByteArrayView read;
        bool complete = false;
        if (!waitForBytes(kFirstBytes, &read, &complete))
            return;
        TaskFileCutter cutter;
        if (!readsAsUtf8(read) || !cutter.start(read) || !headParses(m_data, cutter.head())) {
            settle(PiecedBuild::NotPieced);
            return;
        }
        // Until now the bytes are untouched, and a fault leaves them to the whole parse.
        auto fail = [this] { settle(m_pieces.empty() ? PiecedBuild::NotPieced : PiecedBuild::Again); };
        for (size_t from = cutter.head();;) {
            // Cut when the bytes for it are read, and parse when there is room.
            const size_t end = cutter.pieceEnd(read, complete, from, m_pieceSize);
            if (end == 0) {
                if (complete)
                    return fail();
                const size_t more = std::max(from + m_pieceSize, size_t(read.size())) + kFirstBytes;
                if (!waitForBytes(more, &read, &complete))
                    return;
                continue;
            }
            const QByteArrayView bytes = read.sliced(qsizetype(from), qsizetype(end - from));
            if (!readsAsInTheWhole(bytes) || firstBadReference(bytes) >= 0)
                return fail();
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [&] { return m_pieces.size() < m_placed + kAhead || m_settled; });
                if (m_settled)
                    return;
                const bool room = m_pieces.size() < m_pieces.capacity(); // always, by the sizes
                if (room)
                    m_pieces.push_back(std::make_unique<Piece>(m_data + from, end - from));
                lock.unlock();
                if (!room)
                    return fail();
            }
            Piece &piece = *m_pieces.back();
            ArenaScope scope(*piece.arena);
            auto *doc = new (piece.space) pugi::xml_document;
            const bool good = bool(doc->load_buffer_inplace(piece.bytes, piece.size,
                                                            kParseOptions | pugi::parse_fragment, pugi::encoding_utf8));
            piece.first = doc->first_child();
            if (!good) {
                settle(PiecedBuild::Again);
                return;
            }
            from = end;
            std::lock_guard lock(m_mutex);
            ++m_parsed;
            m_allParsed = cutter.endsContent();
            m_changed.notify_all();
            if (m_allParsed)
                return;
        }
    }

    // The reading thread: the tasks of each piece in turn, once parsed.
    void readPieces()
    {
        TaskWalk walk([this](ReadBatch &batch) { m_queue.put(batch); }, false);
        for (size_t k = 0;; ++k) {
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [&] { return k < m_parsed || m_allParsed || m_settled; });
                if (k >= m_parsed)
                    break;
            }
            if (!walk.read(m_pieces[k]->first, nullptr)) {
                settle(PiecedBuild::Again);
                break;
            }
            walk.handRest(int(k));
        }
        {
            std::lock_guard lock(m_mutex);
            if (m_allParsed && !m_settled) {
                m_settled = true;
                m_outcome = PiecedBuild::Built;
            }
        }
        m_undecodable = t_undecodable;
        t_undecodable = nullptr;
        m_queue.finish();
    }

    // The placing thread, once a piece's tasks are all placed: its memory goes back.
    void handBack(size_t k)
    {
        Piece *piece;
        {
            std::lock_guard lock(m_mutex);
            piece = m_pieces[k].get();
        }
        piece->arena.reset();
        m_dataArena.releaseConsumed(piece->bytes + piece->size, piece->bytes + piece->size);
        std::lock_guard lock(m_mutex);
        ++m_placed;
        m_changed.notify_all();
    }

    ParseArena &m_dataArena;
    char *const m_data;
    const size_t m_pieceSize;
    ReadQueue m_queue;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    // Guarded by m_mutex:
    size_t m_arrived = 0;
    bool m_complete = false;
    std::vector<std::unique_ptr<Piece>> m_pieces; // grows on the parsing thread only, never moved
    size_t m_parsed = 0;
    bool m_allParsed = false;
    size_t m_placed = 0;
    bool m_settled = false;
    PiecedBuild m_outcome = PiecedBuild::NotPieced;
    // The reading thread's first bytes that are no UTF-8, taken once it ends.
    const char *m_undecodable = nullptr;
    std::optional<std::thread> m_reader;
    std::optional<std::thread> m_parser;
};

// The one reader behind the file and the in-memory entry points: data (size bytes, taken
// from arena) is parsed in place. locate places an offset of the bytes as they came, asked
// for only when something is wrong there. With pieced, the bytes were parsed in pieces as they
// were read; when that fails, again is set and the bytes are spent: the caller loads them
// anew, whole.
bool loadFromBuffer(ParseArena &arena, char *data, size_t size, const Locate &locate, TaskTree &tree, QString *error,
                    PiecedLoad *pieced = nullptr, bool *again = nullptr)
{
    ArenaScope scope(arena);
    tree.beginBulkLoad();
    tree.clear();
    t_undecodable = nullptr;
    const PiecedBuild inPieces = pieced ? pieced->build(size, tree) : PiecedBuild::NotPieced;
    if (inPieces == PiecedBuild::Again) {
        *again = true;
        tree.endBulkLoad();
        return false;
    }

    QString refusal;
    QByteArray utf8; // kept to place a fault in what the parser saw
    Locate where = locate;
    const Recoding encoding = data && inPieces == PiecedBuild::NotPieced
        ? recodeToUtf8(QByteArrayView(data, qsizetype(size)), &utf8, &refusal)
        : Recoding::AsIs;
    switch (encoding) {
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
    if (refusal.isEmpty() && data && inPieces == PiecedBuild::NotPieced) {
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

    bool ok = inPieces == PiecedBuild::Built;
    if (!ok) {
        t_undecodable = nullptr;
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
                ok = buildTree(top, arena, size, tree, error);
            }
        }
    }
    if (ok && t_undecodable) {
        ok = false;
        tree.clear();
        if (error)
            *error = QStringLiteral("в тексте есть байты, которые не читаются как UTF-8")
                + where(qsizetype(t_undecodable - data));
    }
    t_undecodable = nullptr;
    tree.endBulkLoad();
    return ok;
}

// The file read and loaded once; again as for loadFromBuffer, null to parse whole.
LoadResult loadFile(const QString &path, TaskTree &tree, bool *again)
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
    // A large file is parsed in pieces as it comes.
    std::optional<PiecedLoad> pieced;
    if (again && size_t(expected) >= g_piecesFrom)
        pieced.emplace(arena, data, size_t(expected));
    // Line breaks before each block, counted while the block is fresh: a parse error is placed by
    // reading one block again instead of the whole file.
    constexpr qint64 kBlock = 64 * 1024;
    std::vector<qint64> linesBefore {0};
    qint64 linesInBlock = 0;
    qint64 size = 0;
    ContentHasher hasher; // taken while each piece is fresh, before the parser rewrites it
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
        hasher.add(data + size, size_t(n));
        size += n;
        if (pieced)
            pieced->arrived(size_t(size));
    }
    file.close();
    result.stamp = {size, info.lastModified().toMSecsSinceEpoch(), hasher.finish()};

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
        tree, &error, pieced ? &*pieced : nullptr, again);
    if (ok) {
        result.status = LoadResult::Status::Loaded;
        return result;
    }
    return fail(error);
}

} // namespace

void setTaskFilePieces(size_t from, size_t pieceSize)
{
    g_piecesFrom = from ? from : kReadAheadFrom;
    g_pieceSize = pieceSize;
}

LoadResult loadTaskFile(const QString &path, TaskTree &tree)
{
    tree.beginBulkLoad(); // a second go stays within the one reset
    bool again = false;
    LoadResult result = loadFile(path, tree, &again);
    if (again) {
        qCDebug(lcPieces) << "The file does not load in pieces; it is read again and parsed whole:" << path;
        result = loadFile(path, tree, nullptr);
    }
    tree.endBulkLoad();
    return result;
}

namespace {

bool loadBytes(const QByteArray &bytes, TaskTree &tree, QString *error, bool *again)
{
    ParseArena arena;
    char *data = static_cast<char *>(arena.allocate(size_t(std::max<qsizetype>(bytes.size(), 1))));
    if (data)
        std::memcpy(data, bytes.constData(), size_t(bytes.size()));
    std::optional<PiecedLoad> pieced;
    if (data && again && size_t(bytes.size()) >= g_piecesFrom)
        pieced.emplace(arena, data, size_t(bytes.size()));
    QString why;
    const bool ok = data
        ? loadFromBuffer(
            arena, data, size_t(bytes.size()),
            [&bytes](qsizetype offset) { return positionText(QByteArrayView(bytes).first(offset), 0, true); }, tree,
            &why, pieced ? &*pieced : nullptr, again)
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

} // namespace

bool loadTaskFileFromBytes(const QByteArray &bytes, TaskTree &tree, QString *error)
{
    tree.beginBulkLoad(); // a second go stays within the one reset
    bool again = false;
    bool ok = loadBytes(bytes, tree, error, &again);
    if (again) {
        qCDebug(lcPieces) << "The bytes do not load in pieces; they are parsed whole";
        ok = loadBytes(bytes, tree, error, nullptr);
    }
    tree.endBulkLoad();
    return ok;
}
