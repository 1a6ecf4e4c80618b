// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>

#include <algorithm>
#include <cstring>

// A growing byte buffer for output written by hand (the task file, the exports): room is asked
// for in one piece, written through a pointer and kept with advance(), so the per-character
// loops do no bookkeeping of their own.
class OutputBuffer
{
public:
    explicit OutputBuffer(qsizetype reserve)
        : m_reserve(std::max<qsizetype>(reserve, 256))
    {
        m_buf.resize(m_reserve);
    }

    void raw(const char *s, qsizetype n)
    {
        std::memcpy(room(n), s, size_t(n));
        m_size += n;
    }
    template<qsizetype N>
    void raw(const char (&s)[N])
    {
        raw(s, N - 1);
    }
    void fill(char c, qsizetype n)
    {
        std::memset(room(n), c, size_t(n));
        m_size += n;
    }

    // Where up to n more bytes may be written; advance(k) keeps the first k of them.
    char *room(qsizetype n)
    {
        if (m_size + n > m_buf.size())
            m_buf.resize(std::max({m_buf.size() * 2, m_size + n, m_reserve}));
        return m_buf.data() + m_size;
    }
    void advance(qsizetype k) { m_size += k; }
    qsizetype size() const { return m_size; }

    // Hands the bytes so far to take, which may swap in another buffer to go on with, and
    // starts empty; take's answer is returned.
    template<typename Take>
    bool handOver(Take &&take)
    {
        m_buf.truncate(m_size);
        m_size = 0;
        return take(m_buf);
    }

    QByteArray take()
    {
        m_buf.truncate(m_size);
        return std::move(m_buf);
    }

    // Copies a literal to p, returning where it ends.
    template<qsizetype N>
    static char *put(char *p, const char (&s)[N])
    {
        std::memcpy(p, s, N - 1);
        return p + N - 1;
    }

private:
    qsizetype m_reserve;
    QByteArray m_buf;
    qsizetype m_size = 0;
};
