// SPDX-License-Identifier: MIT
// Feeds arbitrary bytes to the task-file reader and aborts, with a description, on anything
// RoundTrip::check objects to.

#include "fuzz/RoundTrip.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    // Both colouring rules get their turn.
    const QString problem = RoundTrip::check(bytes);
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "fuzz_taskfile: %s\n", problem.toUtf8().constData());
        std::fflush(stderr);
        std::abort();
    }
    return 0;
}
