// SPDX-License-Identifier: MIT
// Builds a task tree from arbitrary bytes, with texts made of any UTF-16 units a user could
// type or paste (controls, lone surrogates, U+FEFF, blanks of every kind), writes it and
// reads it back. Every task must come back with its place, status, expanded flag, selection
// and documents, and its text as the reader promises: the characters XML cannot hold left
// out, blanks round it trimmed, "*** Untitled ***" when nothing is left.

#include "fuzz/RoundTrip.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

[[noreturn]] void fail(const QString &what)
{
    std::fprintf(stderr, "fuzz_taskwriter: %s\n", what.toUtf8().constData());
    std::fflush(stderr);
    std::abort();
}

// Units that have broken text handling somewhere before; other units come raw.
constexpr char16_t kInteresting[] = {
    u'a',   u'Я',   u' ',   u'\t',  u'\n',  u'\r',  0x0001, 0x000B, 0x000C, 0x001F, 0x0000, 0x007F, 0x0085, 0x00A0,
    0x1680, 0x2000, 0x2028, 0x2029, 0x3000, 0xFEFF, 0xFFFD, 0xFFFE, 0xFFFF, 0xD83D, 0xDE00, 0xD800, 0xDFFF, u'&',
    u'<',   u'>',   u'"',   u'\'',  u';',   u'#',   u'x',   u'1',   u'\\',  u'/',   u']',   0x00E9, 0x0301,
};

QString consumeText(FuzzedDataProvider &in)
{
    const size_t length = in.ConsumeIntegralInRange<size_t>(0, 24);
    QString text;
    text.reserve(qsizetype(length) * 2);
    for (size_t i = 0; i < length && in.remaining_bytes() > 0; ++i) {
        const uint8_t pick = in.ConsumeIntegral<uint8_t>();
        if (pick < 0xC0) {
            text += QChar(kInteresting[pick % std::size(kInteresting)]);
        } else if (pick < 0xE0) {
            // A proper surrogate pair, so characters outside the BMP turn up often.
            const char32_t cp = in.ConsumeIntegralInRange<char32_t>(0x10000, 0x10FFFF);
            text += QString::fromUcs4(&cp, 1);
        } else {
            text += QChar(in.ConsumeIntegral<uint16_t>());
        }
    }
    return text;
}

bool xmlCannotHold(char16_t c)
{
    return (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') || c == 0xFFFE || c == 0xFFFF;
}

// What a text reads back as after a write.
QString expectedText(const QString &text)
{
    QString kept;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < n && text.at(i + 1).isLowSurrogate()) {
            kept += c;
            kept += text.at(++i);
        } else if (!c.isSurrogate() && !xmlCannotHold(c.unicode())) {
            kept += c;
        }
    }
    return kept.trimmed();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    TaskTree tree;
    std::vector<TaskNode *> nodes {tree.root()};
    const int tasks = in.ConsumeIntegralInRange<int>(0, 60);
    for (int i = 0; i < tasks && in.remaining_bytes() > 0; ++i) {
        TaskNode *parent = nodes[in.ConsumeIntegralInRange<size_t>(0, nodes.size() - 1)];
        const auto status = TaskStatus(in.ConsumeIntegralInRange<int>(0, 2));
        TaskNode *node = tree.addChild(parent, consumeText(in), status);
        tree.setExpanded(node, in.ConsumeBool());
        QStringList documents;
        const int count = in.ConsumeIntegralInRange<int>(0, 3);
        for (int d = 0; d < count; ++d)
            documents << consumeText(in);
        tree.setRelatedDocuments(node, documents);
        nodes.push_back(node);
    }
    if (in.ConsumeBool())
        tree.setSelected(nodes[in.ConsumeIntegralInRange<size_t>(0, nodes.size() - 1)]);

    QString problem;
    std::vector<RoundTrip::NodeRecord> expected = RoundTrip::snapshot(tree, problem);
    if (!problem.isEmpty())
        fail(problem);
    for (RoundTrip::NodeRecord &r : expected) {
        if (r.depth > 0) {
            r.text = expectedText(r.text);
            if (r.text.isEmpty())
                r.text = TaskTree::kUntitled;
        }
        QStringList kept;
        for (const QString &d : std::as_const(r.documents)) {
            if (const QString e = expectedText(d); !e.isEmpty())
                kept << e;
        }
        r.documents = kept;
        // The top node is never written; a selection on it is no selection at all.
        if (r.depth == 0)
            r.selected = false;
    }
    // A selected task is read with every ancestor expanded, so that it can be seen.
    for (size_t i = 0; i < expected.size(); ++i) {
        if (!expected[i].selected)
            continue;
        int depth = expected[i].depth;
        for (size_t j = i; j-- > 0 && depth > 0;) {
            if (expected[j].depth == depth - 1) {
                expected[j].expanded = true;
                --depth;
            }
        }
    }

    const QByteArray written = serializeTaskTree(tree);
    TaskTree back;
    QString error;
    if (!loadTaskFileFromBytes(written, back, &error))
        fail(QStringLiteral("a written tree cannot be read back: ") + error);
    std::vector<RoundTrip::NodeRecord> got = RoundTrip::snapshot(back, problem);
    if (!problem.isEmpty())
        fail(problem);
    for (size_t i = 0; i < got.size() && i < expected.size(); ++i) {
        if (got[i].depth == 0)
            got[i].selected = false;
    }
    if (const QString d = RoundTrip::difference(expected, got); !d.isEmpty())
        fail(d);
    return 0;
}
