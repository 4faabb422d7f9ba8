// On Windows the real API stands behind Win32.h; this file adds the few
// helpers of Platform.h and a test seam that injects nothing.
#ifdef _WIN32

#include "platform/FaultInjection.h"
#include "platform/Platform.h"

#include <cstdlib>
#include <new>

BYTE* AllocBytes(ULONGLONG n64Count)
{
    if (n64Count > SIZE_MAX)
        return nullptr;
    return new (std::nothrow) BYTE[static_cast<size_t>(n64Count)];
}

std::string FirstDiskPath()
{
    return SALVIX_FIRST_DISK;
}

void PrepareForWrite(BYTE*, ULONGLONG) {}
void SetDeviceFault(const CDeviceFault&) {}
void SetAllocationFault(ULONGLONG, unsigned) {}
void ClearFaults() {}
CIoCounters GetIoCounters() { return CIoCounters(); }
void ResetIoCounters() {}

#endif  // _WIN32
