// SPDX-License-Identifier: MIT
#pragma once

// Where the parser's memory comes from during a load (private to the storage layer).

#include <algorithm>
#include <cstdlib>
#include <vector>

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
            m_blocks.push_back({static_cast<char *>(p), blockSize, 0});
            m_used = 0;
        }
        void *p = m_blocks.back().data + m_used;
        m_used += size;
        return p;
    }

    // Hands back to the system the memory of what the build has gone past: the pages of the
    // file's bytes before text, and every parser block allocated before the one holding node.
    // The parser allocates in document order and the build never looks back, so neither is
    // read again. The block starts stay, where the C library keeps its own notes.
    void releaseConsumed(const void *node, const char *text);

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
        size_t released = 0; // bytes from the start already handed back
    };
    size_t blockOf(const void *p) const;
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

// Makes the parser take its memory from the arena of the load under way, if any.
class ArenaScope
{
public:
    explicit ArenaScope(ParseArena &arena);
    ~ArenaScope();
    ArenaScope(const ArenaScope &) = delete;
    ArenaScope &operator=(const ArenaScope &) = delete;

private:
    ParseArena *m_previous = nullptr;
};
