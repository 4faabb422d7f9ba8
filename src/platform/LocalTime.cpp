// The computer's zone, asked of the system for one moment at a time.
#include "platform/Platform.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <ctime>
#endif

#ifndef _WIN32
namespace
{

const ULONGLONG kTicksPerSecond = 10000000ull;
// Seconds from 1601-01-01 to 1970-01-01.
const LONGLONG kUnixEpoch = 11644473600ll;

}  // namespace
#endif

bool LocalClockTime(ULONGLONG n64Utc, ULONGLONG& n64Local)
{
#ifdef _WIN32
    FILETIME utc;
    utc.dwLowDateTime = static_cast<DWORD>(n64Utc);
    utc.dwHighDateTime = static_cast<DWORD>(n64Utc >> 32);
    SYSTEMTIME timeUtc, timeLocal;
    FILETIME local;
    if (!FileTimeToSystemTime(&utc, &timeUtc) || !SystemTimeToTzSpecificLocalTime(nullptr, &timeUtc, &timeLocal) ||
        !SystemTimeToFileTime(&timeLocal, &local))
        return false;
    // The ticks below a millisecond, which SYSTEMTIME drops, come back.
    n64Local = ((static_cast<ULONGLONG>(local.dwHighDateTime) << 32) | local.dwLowDateTime) + n64Utc % 10000;
    return true;
#else
    const time_t tUtc = static_cast<time_t>(static_cast<LONGLONG>(n64Utc / kTicksPerSecond) - kUnixEpoch);
    struct tm local;
    if (!localtime_r(&tUtc, &local))
        return false;
    const LONGLONG n64Offset = static_cast<LONGLONG>(local.tm_gmtoff) * static_cast<LONGLONG>(kTicksPerSecond);
    // A clock before 1601 cannot be written in these units.
    if (n64Offset < 0 && static_cast<ULONGLONG>(-n64Offset) > n64Utc)
        return false;
    n64Local = n64Utc + static_cast<ULONGLONG>(n64Offset);
    return true;
#endif
}
