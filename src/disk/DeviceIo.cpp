#include "disk/DeviceIo.h"

#include "platform/FaultInjection.h"

#include <functional>
#include <mutex>

namespace
{

// A seek and the reads after it must not interleave with another thread's
// seek on the same handle; a few locks striped by handle keep them apart.
std::mutex& HandleLock(HANDLE hDevice)
{
    static std::mutex s_locks[16];
    return s_locks[std::hash<void*>()(hDevice) % 16];
}

// The handle's position, for the test seam.
ULONGLONG CurrentPosition(HANDLE hDevice)
{
    LONG lHigh = 0;
    const DWORD dwLow = SetFilePointer(hDevice, 0, &lHigh, FILE_CURRENT);
    return (static_cast<ULONGLONG>(static_cast<DWORD>(lHigh)) << 32) | dwLow;
}

}  // namespace

DWORD SeekDevice(HANDLE hDevice, ULONGLONG n64Offset)
{
    if (faultseam::Active())
    {
        if (DWORD dwError = faultseam::SeekError(n64Offset))
        {
            SetLastError(dwError);
            return dwError;
        }
    }
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

BOOL ReadDevice(HANDLE hDevice, LPVOID pBuffer, DWORD dwCount, LPDWORD pdwRead)
{
    DWORD dwAsk = dwCount;
    if (faultseam::Active() && dwCount)
    {
        DWORD dwError = 0;
        dwAsk = faultseam::ShapeRead(CurrentPosition(hDevice), dwCount, dwError);
        if (dwError)
        {
            if (pdwRead)
                *pdwRead = 0;
            SetLastError(dwError);
            return FALSE;
        }
    }
    DWORD dwGot = 0;
    BOOL bOk = dwAsk ? ReadFile(hDevice, pBuffer, dwAsk, &dwGot, nullptr) : TRUE;
    if (!dwAsk)
        SetLastError(NO_ERROR);
    if (pdwRead)
        *pdwRead = dwGot;
    if (bOk)
        faultseam::CountRead(dwGot);
    return bOk;
}

DWORD ReadDeviceAt(HANDLE hDevice, ULONGLONG n64Offset, BYTE* pBuffer, DWORD dwCount, DWORD& dwRead)
{
    dwRead = 0;
    std::lock_guard<std::mutex> lock(HandleLock(hDevice));
    if (DWORD dwError = SeekDevice(hDevice, n64Offset))
        return dwError;
    while (dwRead < dwCount)
    {
        DWORD dwGot = 0;
        if (!ReadDevice(hDevice, pBuffer + dwRead, dwCount - dwRead, &dwGot))
        {
            const DWORD dwError = GetLastError();
            return dwError ? dwError : ERROR_READ_FAULT;
        }
        if (dwGot == 0)
            break;
        dwRead += dwGot;
    }
    return 0;
}

DWORD ReadDeviceAt(HANDLE hDevice, ULONGLONG n64Offset, BYTE* pBuffer, DWORD dwCount)
{
    DWORD dwRead = 0;
    if (DWORD dwError = ReadDeviceAt(hDevice, n64Offset, pBuffer, dwCount, dwRead))
        return dwError;
    return dwRead < dwCount ? ERROR_READ_FAULT : 0;
}
