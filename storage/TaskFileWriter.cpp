// SPDX-License-Identifier: MIT
// The task file writer: a task tree to the file's XML, UTF-8 written by hand for speed.
#include "storage/TaskFile.h"

#include "model/TaskTree.h"
#include "storage/OutputBuffer.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// The task file's XML: indents and escaped attribute values.
class XmlOut : public OutputBuffer
{
public:
    using OutputBuffer::OutputBuffer;

    void indent(int level)
    {
        // Deep branches stop indenting further so the file stays proportional to the tree.
        fill(' ', 2 * std::min(level, 32));
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
        advance(p - start);
    }
};

void writeTaskOpening(XmlOut &out, const TaskNode *node, int level, bool selected)
{
    out.indent(level);
    out.raw("<Task Name=\"");
    out.attribute(node->text());
    out.raw("\" State=\"");
    const char *state = describe(node->status()).fileText;
    out.raw(state, qsizetype(std::strlen(state)));
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
