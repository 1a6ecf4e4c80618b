#include "components/platform/MemoryRelease.h"

#if defined(Q_OS_LINUX) || defined(__linux__)
#include <malloc.h>
#endif

void releaseFreedMemory()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}
