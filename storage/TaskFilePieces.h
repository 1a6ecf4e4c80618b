// SPDX-License-Identifier: MIT
#pragma once

// Where a large task file may be cut so that its pieces parse each on their own (private to the
// storage layer).

#include <QByteArray>
#include <QByteArrayView>

#include <cstddef>

// Cuts the content of the top element into stretches of about a given size, each starting at a
// task's start tag indented as the first task's, for a file laid out as one XML declaration,
// the "Tasks" element and blanks only, its first task on a line of its own. It works on the
// bytes read so far, so a file can be cut while it is still being read. A cut found here is
// only a guess: it stands when every piece parses without fault, since a cut inside a comment,
// a value or a nested task leaves a piece that does not.
class TaskFileCutter
{
public:
    // From the file's first bytes (the whole declaration and start tag, a line past the first
    // task's): false when the file is not laid out for cutting.
    bool start(QByteArrayView first);
    // Where the content starts: the bytes before it hold the declaration and the start tag.
    size_t head() const { return m_head; }
    // The end of the piece starting at from, of at least size bytes, given the read bytes
    // (all of the file's when complete); 0 when more must be read first, or, once complete,
    // when the file ends in anything but the end tag and blanks.
    size_t pieceEnd(QByteArrayView read, bool complete, size_t from, size_t size);
    // Whether the last end given is where the content ends.
    bool endsContent() const { return m_endsContent; }

private:
    size_t m_head = 0;
    QByteArray m_mark;     // what stands before a first-level task: a line break and blanks
    size_t m_searched = 0; // where the search for the next cut goes on
    bool m_endsContent = false;
};
