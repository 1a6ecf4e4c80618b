// SPDX-License-Identifier: MIT
// Encoding detection and decoding checks: what the bytes are, and whether the parser may see them.
#include "storage/TaskFileEncoding.h"

#include <QStringDecoder>

#include <algorithm>
#include <cstring>
#include <optional>

namespace {

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

// Makes decoder the one for bytes that are not read as UTF-8 as they stand; leaves it empty for
// those that are.
void chooseDecoder(QByteArrayView bytes, std::optional<QStringDecoder> &decoder)
{
    // Built in place: a moved ICU-backed decoder stops counting the bytes it could not read.
    if (const auto wide = wideEncoding(bytes)) {
        decoder.emplace(*wide);
        return;
    }
    const QByteArray encoding = declaredEncoding(bytes);
    if (encoding.isEmpty() || encoding == "utf-8" || encoding == "utf8" || encoding == "us-ascii" || encoding == "ascii"
        || encoding.startsWith("utf-16") || encoding.startsWith("utf-32") || encoding.startsWith("ucs"))
        return;
    decoder.emplace(encoding.constData());
    if (!decoder->isValid())
        decoder.reset();
}

} // namespace

bool readsAsUtf8(QByteArrayView first)
{
    std::optional<QStringDecoder> decoder;
    chooseDecoder(first, decoder);
    return !decoder;
}

Recoding recodeToUtf8(QByteArrayView bytes, QByteArray *utf8, QString *error)
{
    std::optional<QStringDecoder> decoder;
    chooseDecoder(bytes, decoder);
    if (!decoder)
        return Recoding::AsIs;
    const QString text = decoder->decode(bytes);
    if (decoder->hasError() || !text.isValidUtf16()) {
        *error = QStringLiteral("байты файла не читаются в его кодировке (%1)").arg(QLatin1String(decoder->name()));
        return Recoding::Broken;
    }
    *utf8 = text.toUtf8();
    return Recoding::Recoded;
}

qsizetype firstBadReference(QByteArrayView bytes)
{
    ReferenceFreeSections sections(bytes);
    const char *const begin = bytes.data(), *const end = begin + bytes.size();
    // Looked for by their '#': far rarer in task texts than the '&' of every escaped character.
    for (const char *p = begin; (p = static_cast<const char *>(std::memchr(p, '#', size_t(end - p)))); ++p) {
        if (p == begin || p[-1] != '&')
            continue;
        const qsizetype amp = p - 1 - begin;
        const qint64 c = referenceAt(bytes, amp);
        if ((c == 0 || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) && !sections.contain(amp))
            return amp;
    }
    return -1;
}
