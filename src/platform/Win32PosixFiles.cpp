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
