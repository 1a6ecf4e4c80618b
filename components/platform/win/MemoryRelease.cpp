#include "components/platform/MemoryRelease.h"

void releaseFreedMemory()
{
    // The system heap returns freed pages of its own accord.
}
