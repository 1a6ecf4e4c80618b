// SPDX-License-Identifier: MIT
#include "components/platform/MemoryRelease.h"

#include "components/ComponentsLog.h"

#include <sys/mman.h>

#include <cerrno>
#include <cstring>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

void releaseFreedMemory()
{
    // Only the GNU C library keeps freed memory back that a call can return.
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

void releasePages(void *begin, size_t length)
{
    if (madvise(begin, length, MADV_DONTNEED) != 0)
        qCWarning(lcComponents) << "Could not hand back parse memory:" << std::strerror(errno);
}
