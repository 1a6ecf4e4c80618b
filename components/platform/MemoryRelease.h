// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>

// Hands memory that the process freed back to the system. A large task file leaves tens of
// megabytes of freed parse buffers behind; without this the program keeps them for its life.
void releaseFreedMemory();

// Tells the system that whole pages inside [begin, begin + length) will not be read again, so
// it takes them back now; the range stays allocated. Reading them later gives nothing useful.
void releasePages(void *begin, size_t length);
