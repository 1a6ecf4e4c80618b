// SPDX-License-Identifier: MIT
// The parse arena: the parser's memory during a load, given back in one piece when it ends.
#include "storage/TaskFileArena.h"

#include "storage/TaskFile.h"

#include <QtGlobal>

#include <pugixml.hpp>

namespace {

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

PageRelease g_pageRelease = nullptr;

} // namespace

void setParseMemoryRelease(PageRelease release)
{
    g_pageRelease = release;
}

size_t ParseArena::blockOf(const void *p) const
{
    const char *c = static_cast<const char *>(p);
    for (size_t i = 0; i < m_blocks.size(); ++i) {
        if (c >= m_blocks[i].data && c < m_blocks[i].data + m_blocks[i].size)
            return i;
    }
    return m_blocks.size();
}

void ParseArena::releaseConsumed(const void *node, const char *text)
{
    if (!g_pageRelease || kBlockSize == 1)
        return; // under AddressSanitizer the pieces are the C library's own, not whole pages
    constexpr size_t kPage = 4096;
    auto releaseUpTo = [](Block &b, size_t end) {
        // From the first whole page past the block's start, so the C library's notes stay.
        const auto base = reinterpret_cast<quintptr>(b.data);
        const size_t from = std::max(b.released, size_t(((base + kPage) & ~quintptr(kPage - 1)) - base));
        const size_t to = size_t(((base + end) & ~quintptr(kPage - 1)) - base);
        if (to >= from + 64 * kPage) { // a few hundred kilobytes at a time
            g_pageRelease(b.data + from, to - from);
            b.released = to;
        }
    };
    const size_t textBlock = blockOf(text);
    const size_t nodeBlock = blockOf(node);
    if (textBlock < m_blocks.size()) {
        // Never past the node itself, should both share a block.
        const char *until = textBlock == nodeBlock ? std::min(text, static_cast<const char *>(node)) : text;
        releaseUpTo(m_blocks[textBlock], size_t(until - m_blocks[textBlock].data));
    }
    for (size_t i = 0; i < nodeBlock && i < m_blocks.size(); ++i) {
        // The file's bytes (and a recoded copy of them) are not the parser's blocks.
        if (i != textBlock && m_blocks[i].released < m_blocks[i].size && m_blocks[i].size == kBlockSize)
            releaseUpTo(m_blocks[i], m_blocks[i].size);
    }
}

ArenaScope::ArenaScope(ParseArena &arena)
{
    static const bool installed = [] {
        pugi::set_memory_management_functions(parserAllocate, parserDeallocate);
        return true;
    }();
    Q_UNUSED(installed);
    m_previous = t_arena;
    t_arena = &arena;
}

ArenaScope::~ArenaScope()
{
    t_arena = m_previous;
}
