// Folders, attributes and times of files, over POSIX. See Win32.h.
#ifndef _WIN32

#include "platform/PosixDisk.h"
#include "platform/Win32.h"

#include <cerrno>
#include <cstdint>
#include <sys/stat.h>
#include <time.h>

BOOL CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/)
{
    if (!lpPathName || !*lpPathName)
        return SetLastError(ERROR_PATH_NOT_FOUND), FALSE;
    if (mkdir(lpPathName, 0777) != 0)
    {
        // As on Windows: a missing folder on the way, and a name already taken.
        const DWORD dwError = errno == ENOENT ? ERROR_PATH_NOT_FOUND
                              : errno == EEXIST ? ERROR_ALREADY_EXISTS
                                                : ErrnoToWin32(errno);
        return SetLastError(dwError), FALSE;
    }
    SetLastError(0);
    return TRUE;
}

DWORD GetFileAttributesA(LPCSTR lpFileName)
{
    struct stat st;
    if (!lpFileName || lstat(lpFileName, &st) != 0)
        return SetLastError(lpFileName ? ErrnoToWin32(errno) : ERROR_INVALID_PARAMETER), INVALID_FILE_ATTRIBUTES;
    SetLastError(0);
    if (S_ISDIR(st.st_mode))
        return FILE_ATTRIBUTE_DIRECTORY;
    if (S_ISLNK(st.st_mode))
        return FILE_ATTRIBUTE_REPARSE_POINT;
    if (!S_ISREG(st.st_mode))
        return FILE_ATTRIBUTE_DEVICE;
    return (st.st_mode & 0222) ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
}

namespace
{

// A Windows time as a POSIX one; false for one before 1970 or past what time_t holds.
bool TimespecOf(const FILETIME& time, struct timespec& ts)
{
    const ULONGLONG n64Ticks = (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    const ULONGLONG n64Since1601 = 11644473600ull;
    const ULONGLONG n64Seconds = n64Ticks / 10000000ull;
    if (n64Seconds < n64Since1601 || n64Seconds - n64Since1601 > static_cast<ULONGLONG>(INT64_MAX / 2))
        return false;
    ts.tv_sec = static_cast<time_t>(n64Seconds - n64Since1601);
    ts.tv_nsec = static_cast<long>((n64Ticks % 10000000ull) * 100);
    return true;
}

}  // namespace

BOOL LocalFileTimeToFileTime(const FILETIME* lpLocalFileTime, LPFILETIME lpFileTime)
{
    if (!lpLocalFileTime || !lpFileTime)
        return SetLastError(ERROR_INVALID_PARAMETER), FALSE;
    const ULONGLONG n64Ticks = (static_cast<ULONGLONG>(lpLocalFileTime->dwHighDateTime) << 32) |
                               lpLocalFileTime->dwLowDateTime;
    struct timespec ts;
    if (!TimespecOf(*lpLocalFileTime, ts))
        return SetLastError(ERROR_INVALID_PARAMETER), FALSE;
    // The clock's fields as they stand, then the zone's reading of them.
    struct tm tmLocal;
    if (!gmtime_r(&ts.tv_sec, &tmLocal))
        return SetLastError(ERROR_INVALID_PARAMETER), FALSE;
    tmLocal.tm_isdst = -1;
    const time_t tUtc = mktime(&tmLocal);
    if (tUtc == static_cast<time_t>(-1))
        return SetLastError(ERROR_INVALID_PARAMETER), FALSE;
    const LONGLONG n64Shift = (static_cast<LONGLONG>(tUtc) - static_cast<LONGLONG>(ts.tv_sec)) * 10000000ll;
    const ULONGLONG n64Utc = n64Ticks + static_cast<ULONGLONG>(n64Shift);
    lpFileTime->dwLowDateTime = static_cast<DWORD>(n64Utc);
    lpFileTime->dwHighDateTime = static_cast<DWORD>(n64Utc >> 32);
    SetLastError(0);
    return TRUE;
}

BOOL SetFileTime(HANDLE hFile, const FILETIME* /*lpCreationTime*/, const FILETIME* lpLastAccessTime,
                 const FILETIME* lpLastWriteTime)
{
    const int nFd = DescriptorOf(hFile);
    if (nFd < 0)
        return SetLastError(ERROR_INVALID_HANDLE), FALSE;
    struct timespec aTimes[2];
    aTimes[0].tv_nsec = UTIME_OMIT;
    aTimes[1].tv_nsec = UTIME_OMIT;
    if ((lpLastAccessTime && !TimespecOf(*lpLastAccessTime, aTimes[0])) ||
        (lpLastWriteTime && !TimespecOf(*lpLastWriteTime, aTimes[1])))
        return SetLastError(ERROR_INVALID_PARAMETER), FALSE;
    if (futimens(nFd, aTimes) != 0)
        return SetLastError(ErrnoToWin32(errno)), FALSE;
    SetLastError(0);
    return TRUE;
}

#endif  // !_WIN32
