#include "disk/Disk.h"

HANDLE OpenFirstDisk()
{
    return CreateFileA(SALVIX_FIRST_DISK, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, 0, nullptr);
}

DWORD SeekDevice(HANDLE hDevice, ULONGLONG n64Offset)
{
    LONG lHigh = static_cast<LONG>(n64Offset >> 32);
    SetLastError(NO_ERROR);
    if (SetFilePointer(hDevice, static_cast<LONG>(static_cast<DWORD>(n64Offset)), &lHigh,
                       FILE_BEGIN) == INVALID_SET_FILE_POINTER)
    {
        DWORD dwError = GetLastError();
        if (dwError != NO_ERROR)
            return dwError;
    }
    return 0;
}
