#include "components/platform/MemoryRelease.h"

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
