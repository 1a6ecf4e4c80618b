// SPDX-License-Identifier: MIT
// Cutting a large task file into pieces that parse on their own.
#include "storage/TaskFilePieces.h"

#include <QByteArray>

#include <algorithm>
#include <cstring>

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

size_t skipBlanks(QByteArrayView bytes, size_t at)
{
    while (at < size_t(bytes.size()) && isBlank(bytes[qsizetype(at)]))
        ++at;
    return at;
}

bool startsWith(QByteArrayView bytes, size_t at, QByteArrayView word)
{
    return at + size_t(word.size()) <= size_t(bytes.size())
        && std::memcmp(bytes.data() + at, word.data(), size_t(word.size())) == 0;
}

// Just past the start tag of the top element, or 0 when the prologue holds more than a
// declaration and blanks.
size_t contentStart(QByteArrayView bytes)
{
    size_t at = startsWith(bytes, 0, "\xEF\xBB\xBF") ? 3 : 0;
    at = skipBlanks(bytes, at);
    if (startsWith(bytes, at, "<?xml")) {
        const qsizetype close = bytes.indexOf("?>", qsizetype(at));
        if (close < 0)
            return 0;
        at = skipBlanks(bytes, size_t(close) + 2);
    }
    if (!startsWith(bytes, at, "<Tasks") || at + 6 >= size_t(bytes.size()))
        return 0;
    const char after = bytes[qsizetype(at + 6)];
    if (after != '>' && !isBlank(after))
        return 0;
    const qsizetype close = bytes.indexOf('>', qsizetype(at));
    if (close < 0 || bytes[close - 1] == '/')
        return 0;
    return size_t(close) + 1;
}

// Where the end tag of the top element starts, or 0 when anything but blanks follows it.
size_t contentEnd(QByteArrayView bytes)
{
    size_t end = size_t(bytes.size());
    while (end > 0 && isBlank(bytes[qsizetype(end - 1)]))
        --end;
    if (end == 0 || bytes[qsizetype(end - 1)] != '>')
        return 0;
    --end;
    while (end > 0 && isBlank(bytes[qsizetype(end - 1)]))
        --end;
    return end >= 7 && startsWith(bytes, end - 7, "</Tasks") ? end - 7 : 0;
}

// What stands before the first task's start tag on its line (a line break and the blanks of
// the first level), or nothing when the content does not start with a task on a line of its own.
QByteArray firstLevelMark(QByteArrayView bytes, size_t begin, size_t end)
{
    const size_t first = skipBlanks(bytes, begin);
    if (first >= end || !startsWith(bytes, first, "<Task"))
        return {};
    const qsizetype lineStart = bytes.first(qsizetype(first)).lastIndexOf('\n');
    if (lineStart < qsizetype(begin))
        return {};
    return bytes.sliced(lineStart, qsizetype(first) - lineStart).toByteArray() + "<Task";
}

// The first task start tag at or after from and before end that stands where the first
// level's do; -1 when there is none.
qsizetype nextFirstLevelTask(QByteArrayView bytes, QByteArrayView mark, size_t from, size_t end)
{
    const QByteArrayView within = bytes.first(qsizetype(end));
    for (qsizetype at = qsizetype(from); (at = within.indexOf(mark, at)) >= 0; ++at) {
        const size_t tag = size_t(at + mark.size()) - 5;
        if (tag + 5 >= end)
            break;
        const char after = bytes[qsizetype(tag + 5)];
        if (isBlank(after) || after == '>' || after == '/')
            return qsizetype(tag);
    }
    return -1;
}

} // namespace

bool TaskFileCutter::start(QByteArrayView first)
{
    m_head = contentStart(first);
    m_mark = m_head ? firstLevelMark(first, m_head, size_t(first.size())) : QByteArray();
    return !m_mark.isEmpty();
}

size_t TaskFileCutter::pieceEnd(QByteArrayView read, bool complete, size_t from, size_t size)
{
    const size_t end = complete ? contentEnd(read) : size_t(read.size());
    m_endsContent = false;
    // The parser reads a piece's last byte in a way of its own; only a blank there reads as it
    // does inside the whole file. The cuts leave one before every first-level task.
    if (complete && (end <= from || !isBlank(read[qsizetype(end - 1)])))
        return 0;
    const size_t searchFrom = std::max(from + size, m_searched);
    if (searchFrom < end) {
        const qsizetype cut = nextFirstLevelTask(read, m_mark, searchFrom, end);
        if (cut >= 0) {
            m_searched = 0;
            return size_t(cut);
        }
        // A mark cut short by the end of what is read is looked for again.
        m_searched = std::max(searchFrom, end - std::min(end, size_t(m_mark.size())));
    }
    m_endsContent = complete;
    return complete ? end : 0;
}
