// On Windows the real API stands behind Win32.h; this file adds the few
// helpers of Platform.h that need the system.
#ifdef _WIN32

#include "platform/Platform.h"

std::string FirstDiskPath()
{
    return SALVIX_FIRST_DISK;
}

void PrepareForWrite(BYTE*, ULONGLONG) {}

#endif  // _WIN32
