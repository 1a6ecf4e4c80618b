// SPDX-License-Identifier: MIT
#include "components/platform/MemoryRelease.h"

#include "components/ComponentsLog.h"

#include <windows.h>

void releaseFreedMemory()
{
    // The system heap returns freed pages of its own accord.
}

void releasePages(void *begin, size_t length)
{
    // The pages' contents stop mattering; the system takes them back when it needs memory.
    if (!VirtualAlloc(begin, length, MEM_RESET, PAGE_READWRITE))
        qCWarning(lcComponents) << "Could not hand back parse memory, error" << GetLastError();
}
