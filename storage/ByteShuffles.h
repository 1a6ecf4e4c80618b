// SPDX-License-Identifier: MIT
#pragma once

// Byte shuffles for the UTF-8 loops of the task file's reader and writer: eight characters at a
// time packed or unpacked in one step, where the processor has the instruction (nearly all do).
#if defined(__SSE2__) && defined(__GNUC__)
#define LISTRA_SHUFFLES 1
#include <tmmintrin.h>

#include <QtGlobal>

#include <array>

namespace ByteShuffles {

inline const bool available = __builtin_cpu_supports("ssse3");

// For eight 16-bit lanes and a byte that marks some of them: which bytes of the lanes make up
// the output, in order, and how many bytes that is. A marked lane gives both its bytes; an
// unmarked one gives its low byte, or nothing.
struct Table {
    std::array<std::array<char, 16>, 256> order {};
    std::array<quint8, 256> length {};
};

constexpr Table makeTable(bool unmarkedGivesLowByte)
{
    Table table;
    for (int mask = 0; mask < 256; ++mask) {
        int out = 0;
        for (int lane = 0; lane < 8; ++lane) {
            const bool marked = mask & (1 << lane);
            if (marked || unmarkedGivesLowByte)
                table.order[size_t(mask)][size_t(out++)] = char(2 * lane);
            if (marked)
                table.order[size_t(mask)][size_t(out++)] = char(2 * lane + 1);
        }
        table.length[size_t(mask)] = quint8(out);
        while (out < 16)
            table.order[size_t(mask)][size_t(out++)] = char(0x80);
    }
    return table;
}

// The shuffle of a table's row, for _mm_shuffle_epi8.
inline __m128i order(const Table &table, int mask)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(table.order[size_t(mask)].data()));
}

} // namespace ByteShuffles
#endif
