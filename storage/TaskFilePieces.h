// SPDX-License-Identifier: MIT
#pragma once

// Where a large task file may be cut so that its pieces parse each on their own (private to the
// storage layer).

#include <QByteArrayView>

#include <cstddef>
#include <vector>

// A stretch of the file's bytes: [begin, end).
struct ByteSpan {
    size_t begin;
    size_t end;
};

// The content of the top element cut into stretches of about pieceSize bytes, each starting
// at a task's start tag indented as the first task's, for a file laid out as one XML
// declaration, the "Tasks" element and blanks only, its first task on a line of its own; empty
// for anything else. A cut found here is only a guess: it stands when every piece parses
// without fault, since a cut inside a comment, a value or a nested task leaves a piece that
// does not.
// head is where the content starts: the bytes before it hold the declaration and the start tag.
std::vector<ByteSpan> taskFilePieces(QByteArrayView bytes, size_t pieceSize, size_t *head);
