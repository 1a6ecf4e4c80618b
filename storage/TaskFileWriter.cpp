// SPDX-License-Identifier: MIT
// The task file writer: a task tree to the file's XML, UTF-8 written by hand for speed.
#include "storage/TaskFile.h"

#include "model/TaskTree.h"
#include "storage/ByteShuffles.h"
#include "storage/OutputBuffer.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

namespace {

#ifdef LISTRA_SHUFFLES
// Two bytes for a marked (two-byte) lane, its low byte for any other.
constexpr ByteShuffles::Table kCompaction = ByteShuffles::makeTable(true);

// Eight characters below U+0800, none to escape, one and two bytes mixed (words and blanks):
// every lane encoded as if two bytes long, then the unused second bytes shuffled out.
__attribute__((target("ssse3"))) char *encodeMixed(__m128i v, char *p)
{
    const __m128i two = _mm_cmpgt_epi16(v, _mm_set1_epi16(0x7F));
    const __m128i lead = _mm_or_si128(_mm_srli_epi16(v, 6), _mm_set1_epi16(0xC0));
    const __m128i first = _mm_or_si128(_mm_and_si128(two, lead), _mm_andnot_si128(two, v));
    const __m128i next = _mm_or_si128(_mm_and_si128(v, _mm_set1_epi16(0x3F)), _mm_set1_epi16(0x80));
    const __m128i both = _mm_or_si128(_mm_and_si128(first, _mm_set1_epi16(0xFF)), _mm_slli_epi16(next, 8));
    const int mask = _mm_movemask_epi8(_mm_packs_epi16(two, _mm_setzero_si128()));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(p), _mm_shuffle_epi8(both, ByteShuffles::order(kCompaction, mask)));
    return p + kCompaction.length[size_t(mask)];
}

#endif

// The task file's XML: indents and escaped attribute values.
class XmlOut : public OutputBuffer
{
public:
    using OutputBuffer::OutputBuffer;

    // Deep branches stop indenting further so the file stays proportional to the tree.
    static constexpr int kIndentRoom = 64;
    static char *indentAt(char *p, int level)
    {
        // All the room is filled, which is one fixed-size copy; only what is due is kept.
        static constexpr char kBlanks[] = "                                                                ";
        static_assert(sizeof kBlanks - 1 == kIndentRoom);
        std::memcpy(p, kBlanks, kIndentRoom);
        return p + 2 * std::min(level, kIndentRoom / 2);
    }
    void indent(int level)
    {
        char *const p = room(kIndentRoom);
        advance(indentAt(p, level) - p);
    }

    // An attribute value: escaped, line breaks and tabs as character references, and the
    // characters XML 1.0 cannot hold (other C0 controls, U+FFFE, U+FFFF, lone surrogates)
    // left out.
    void attribute(const QString &text)
    {
        const char16_t *u = reinterpret_cast<const char16_t *>(text.constData());
        const qsizetype len = text.size();
        char *const start = room(len * 6);
        char *p = start;
        qsizetype i = 0;
#ifdef __SSE2__
        // Eight characters a step while none needs escaping and none is past U+07FF, which
        // is nearly all of a Russian or English text; a step that holds one goes the long way.
        const __m128i blank = _mm_set1_epi16(0x20);
        const __m128i twoByteEnd = _mm_set1_epi16(0x7FF);
        const __m128i asciiEnd = _mm_set1_epi16(0x7F);
        while (i + 8 <= len) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(u + i));
            // Signed compares: anything from U+8000 up counts as below the blank.
            const __m128i special = _mm_or_si128(
                _mm_or_si128(_mm_cmpeq_epi16(v, _mm_set1_epi16('&')), _mm_cmpeq_epi16(v, _mm_set1_epi16('<'))),
                _mm_or_si128(_mm_cmpeq_epi16(v, _mm_set1_epi16('>')), _mm_cmpeq_epi16(v, _mm_set1_epi16('"'))));
            const __m128i slow
                = _mm_or_si128(_mm_or_si128(_mm_cmplt_epi16(v, blank), _mm_cmpgt_epi16(v, twoByteEnd)), special);
            const int slowMask = _mm_movemask_epi8(slow);
            if (slowMask != 0) {
                // The plain characters before the first that is not, then that one the long way.
                const int first = __builtin_ctz(unsigned(slowMask)) / 2;
                for (int k = 0; k < first; ++k)
                    p = upToTwoBytes(u[i + k], p);
                i = character(u, i + first, len, p);
                continue;
            }
            const int wide = _mm_movemask_epi8(_mm_cmpgt_epi16(v, asciiEnd));
            if (wide == 0) {
                _mm_storel_epi64(reinterpret_cast<__m128i *>(p), _mm_packus_epi16(v, v));
                p += 8;
            } else if (wide == 0xFFFF) {
                // Lead byte 110xxxxx in the low half of each lane, continuation 10xxxxxx above it.
                const __m128i lead = _mm_or_si128(_mm_srli_epi16(v, 6), _mm_set1_epi16(0xC0));
                const __m128i next = _mm_or_si128(_mm_and_si128(v, _mm_set1_epi16(0x3F)), _mm_set1_epi16(0x80));
                _mm_storeu_si128(reinterpret_cast<__m128i *>(p), _mm_or_si128(lead, _mm_slli_epi16(next, 8)));
                p += 16;
            } else {
#ifdef LISTRA_SHUFFLES
                if (ByteShuffles::available) {
                    p = encodeMixed(v, p);
                    i += 8;
                    continue;
                }
#endif
                for (int k = 0; k < 8; ++k)
                    p = upToTwoBytes(u[i + k], p);
            }
            i += 8;
        }
#endif
        while (i < len)
            i = character(u, i, len, p);
        advance(p - start);
    }

private:
    // A character below U+0800 that needs no escaping, without a branch: both bytes are stored,
    // the second kept only when due, so mixed words and blanks cost no mispredictions.
    static char *upToTwoBytes(char16_t c, char *p)
    {
        const bool two = c >= 0x80;
        p[0] = char(two ? 0xC0 | (c >> 6) : c);
        p[1] = char(0x80 | (c & 0x3F));
        return p + 1 + int(two);
    }

    // Writes the character at u[i] to p, escaped or left out; where the next one starts.
    static qsizetype character(const char16_t *u, qsizetype i, qsizetype len, char *&p)
    {
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
                *p++ = char(0xF0 | (cp >> 18));
                *p++ = char(0x80 | ((cp >> 12) & 0x3F));
                *p++ = char(0x80 | ((cp >> 6) & 0x3F));
                *p++ = char(0x80 | (cp & 0x3F));
                return i + 2;
            }
        } else if ((c >= 0xDC00 && c <= 0xDFFF) || c == 0xFFFE || c == 0xFFFF) {
            // not representable in XML 1.0
        } else {
            *p++ = char(0xE0 | (c >> 12));
            *p++ = char(0x80 | ((c >> 6) & 0x3F));
            *p++ = char(0x80 | (c & 0x3F));
        }
        return i + 1;
    }
};

// Each status's State text with its length, worked out once rather than per task.
struct StateText {
    const char *text;
    qsizetype size;
};
constexpr auto kStateTexts = [] {
    std::array<StateText, kStatusDescriptors.size()> texts {};
    for (size_t i = 0; i < texts.size(); ++i)
        texts[i] = {kStatusDescriptors[i].fileText,
                    qsizetype(std::char_traits<char>::length(kStatusDescriptors[i].fileText))};
    return texts;
}();

// The fixed text around a task's attributes is written through one pointer a piece: this runs
// once per task of a file that may hold a million.
void writeTaskOpening(XmlOut &out, const TaskNode *node, int level, bool selected)
{
    char *const start = out.room(XmlOut::kIndentRoom + 16);
    out.advance(XmlOut::put(XmlOut::indentAt(start, level), "<Task Name=\"") - start);
    out.attribute(node->text());

    const QStringList *documents = node->info() ? &node->info()->RelatedDocuments() : nullptr;
    const bool hasDocuments = documents && !documents->isEmpty();
    const bool empty = !hasDocuments && node->childCount() == 0;
    char *const rest = out.room(96);
    char *p = XmlOut::put(rest, "\" State=\"");
    const StateText &state = kStateTexts[size_t(node->status())];
    std::memcpy(p, state.text, size_t(state.size));
    p += state.size;
    p = node->isExpanded() ? XmlOut::put(p, "\" Expanded=\"True\"") : XmlOut::put(p, "\" Expanded=\"False\"");
    if (selected)
        p = XmlOut::put(p, " Selected=\"True\"");
    p = empty ? XmlOut::put(p, " />\n") : XmlOut::put(p, ">\n");
    out.advance(p - rest);
    if (empty)
        return;
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

bool writeTaskTree(const TaskTree &tree, qsizetype piece, const std::function<bool(QByteArray &, bool)> &take)
{
    const qsizetype estimate = qsizetype(tree.count()) * 160;
    XmlOut out(piece < estimate ? piece + 64 * 1024 : estimate);
    auto handOverIfFull
        = [&] { return out.size() < piece || out.handOver([&](QByteArray &b) { return take(b, false); }); };
    auto handOverLast = [&] { return out.handOver([&](QByteArray &b) { return take(b, true); }); };
    out.raw("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n");
    const TaskNode *root = tree.root();
    if (root->childCount() == 0) {
        out.raw("<Tasks />\n");
        return handOverLast();
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
            if (!handOverIfFull())
                return false;
            continue;
        }
        stack.pop_back();
        if (parent != root) {
            out.indent(int(stack.size()));
            out.raw("</Task>\n");
        }
    }
    out.raw("</Tasks>\n");
    return handOverLast();
}

QByteArray serializeTaskTree(const TaskTree &tree)
{
    QByteArray whole;
    writeTaskTree(tree, std::numeric_limits<qsizetype>::max(), [&](QByteArray &bytes, bool) {
        whole.swap(bytes);
        return true;
    });
    return whole;
}
