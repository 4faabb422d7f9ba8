// Files and disks of the Win32 subset over POSIX: opening, seeking, reading
// and writing them. See Win32.h.
#ifndef _WIN32

#include "platform/Platform.h"
#include "platform/PosixDisk.h"
#include "platform/PosixHandles.h"
#include "platform/Win32.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#ifdef __linux__
#include <linux/fs.h>
#endif

namespace
{

// ---- files ------------------------------------------------------------------

struct CFileObject : CObject
{
    CFileObject() : CObject(eFile) {}
    ~CFileObject() override
    {
        if (m_nFd >= 0)
            close(m_nFd);
    }
    int m_nFd = -1;
    bool m_bRead = false;
    bool m_bWrite = false;
    ULONGLONG m_n64Pos = 0;
};

// Reads until n bytes arrive, the end of the file, or an error.
DWORD PreadFull(int nFd, ULONGLONG n64Pos, BYTE* pDest, DWORD n, DWORD& dwGot)
{
    dwGot = 0;
    while (dwGot < n)
    {
        ssize_t r = pread(nFd, pDest + dwGot, n - dwGot, static_cast<off_t>(n64Pos + dwGot));
        if (r < 0)
        {
            if (errno == EINTR)
                continue;
            return ErrnoToWin32(errno);
        }
        if (r == 0)
            break;
        dwGot += static_cast<DWORD>(r);
    }
    return 0;
}

}  // namespace

// ---- the Win32 functions ------------------------------------------------------

int DescriptorOf(HANDLE hFile)
{
    CFileObject* pFile = Lookup<CFileObject>(hFile, CObject::eFile);
    return pFile ? pFile->m_nFd : -1;
}

namespace
{

// The path behind a name: a drive name ("\\.\PhysicalDriveN") stands for the
// N-th disk, which is only ever opened for reading. 0 or the code to fail with.
DWORD ResolvePath(LPCSTR lpFileName, bool bWrite, DWORD dwCreationDisposition, std::string& strPath)
{
    strPath = lpFileName;
    DWORD dwDisk = 0;
    if (!ParseDiskName(lpFileName, dwDisk))
        return 0;
    // The disk being read is never written: not by this program, not by mistake.
    if (bWrite || dwCreationDisposition != OPEN_EXISTING)
        return ERROR_ACCESS_DENIED;
    strPath = dwDisk == kNoSuchDisk ? std::string() : DiskPath(dwDisk);
    return strPath.empty() ? ERROR_FILE_NOT_FOUND : 0;
}

// open()'s flags for the access and disposition. 0 or the code to fail with.
DWORD OpenFlags(bool bRead, bool bWrite, DWORD dwCreationDisposition, int& nFlags)
{
    nFlags = O_CLOEXEC | (bRead && bWrite ? O_RDWR : bWrite ? O_WRONLY : O_RDONLY);
    switch (dwCreationDisposition)
    {
    case CREATE_NEW: nFlags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: nFlags |= O_CREAT | O_TRUNC; break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: nFlags |= O_CREAT; break;
    case TRUNCATE_EXISTING: nFlags |= O_TRUNC; break;
    default: return ERROR_INVALID_PARAMETER;
    }
    return (nFlags & O_TRUNC) && !bWrite ? ERROR_INVALID_PARAMETER : 0;
}

// Opens the path as Windows would: a read-only file is not replaced, a link
// is not followed when asked, a folder is not a file. The descriptor, or -1
// with the code in dwError.
int OpenAsWindows(const std::string& strPath, int nFlags, DWORD dwFlagsAndAttributes, DWORD& dwError)
{
    // A read-only file is not replaced, as on Windows, and that holds for root too.
    struct stat st;
    if ((nFlags & O_TRUNC) && stat(strPath.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return dwError = ERROR_ACCESS_DENIED, -1;

    // As on Windows, a link at the name is then opened as itself, not followed:
    // here that means refused. A pipe at the name must not block the open.
    const bool bNoFollow = (dwFlagsAndAttributes & FILE_FLAG_OPEN_REPARSE_POINT) != 0;
    if (bNoFollow)
        nFlags |= O_NOFOLLOW | O_NONBLOCK;
    const mode_t mode = (dwFlagsAndAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
    const int nFd = open(strPath.c_str(), nFlags, mode);
    if (nFd < 0)
    {
        // A missing name while creating means a missing folder on the way.
        dwError = errno == ENOENT && (nFlags & O_CREAT) ? ERROR_PATH_NOT_FOUND : ErrnoToWin32(errno);
        return -1;
    }
    if (bNoFollow)
        fcntl(nFd, F_SETFL, fcntl(nFd, F_GETFL) & ~O_NONBLOCK);
    if (fstat(nFd, &st) != 0)
        return nFd;
    if (S_ISDIR(st.st_mode))
    {
        close(nFd);
        return dwError = ERROR_ACCESS_DENIED, -1;
    }
    // Windows gives a file it replaces the attributes asked for: a read-only
    // request makes the replaced file read-only too, not only a new one.
    if ((dwFlagsAndAttributes & FILE_ATTRIBUTE_READONLY) && (nFlags & O_TRUNC) && S_ISREG(st.st_mode) &&
        (st.st_mode & 0222) != 0)
        fchmod(nFd, st.st_mode & 07555);
    return nFd;
}

}  // namespace

HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD /*dwShareMode*/,
                   LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE /*hTemplateFile*/)
{
    if (!lpFileName || !*lpFileName)
    {
        Fail(lpFileName ? ERROR_PATH_NOT_FOUND : ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const bool bRead = (dwDesiredAccess & GENERIC_READ) != 0;
    const bool bWrite = (dwDesiredAccess & GENERIC_WRITE) != 0;
    std::string strPath;
    int nFlags = 0;
    DWORD dwError = ResolvePath(lpFileName, bWrite, dwCreationDisposition, strPath);
    if (dwError == 0)
        dwError = OpenFlags(bRead, bWrite, dwCreationDisposition, nFlags);
    const int nFd = dwError == 0 ? OpenAsWindows(strPath, nFlags, dwFlagsAndAttributes, dwError) : -1;
    if (nFd < 0)
    {
        Fail(dwError);
        return INVALID_HANDLE_VALUE;
    }
    auto pFile = std::make_unique<CFileObject>();
    pFile->m_nFd = nFd;
    pFile->m_bRead = bRead;
    pFile->m_bWrite = bWrite;
    SetLastError(0);
    return Register(std::move(pFile));
}

DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                     DWORD dwMoveMethod)
{
    CFileObject* pFile = Lookup<CFileObject>(hFile, CObject::eFile);
    if (!pFile)
    {
        Fail(ERROR_INVALID_HANDLE);
        return INVALID_SET_FILE_POINTER;
    }
    LONGLONG n64Distance = lpDistanceToMoveHigh
                               ? static_cast<LONGLONG>((static_cast<ULONGLONG>(
                                                            static_cast<DWORD>(*lpDistanceToMoveHigh))
                                                        << 32) |
                                                       static_cast<DWORD>(lDistanceToMove))
                               : static_cast<LONGLONG>(lDistanceToMove);
    LONGLONG n64Base = 0;
    switch (dwMoveMethod)
    {
    case FILE_BEGIN: break;
    case FILE_CURRENT: n64Base = static_cast<LONGLONG>(pFile->m_n64Pos); break;
    case FILE_END:
    {
        struct stat st;
        if (fstat(pFile->m_nFd, &st) != 0)
        {
            Fail(ErrnoToWin32(errno));
            return INVALID_SET_FILE_POINTER;
        }
        n64Base = st.st_size;
#if defined(__linux__) && defined(BLKGETSIZE64)
        uint64_t n64Size = 0;
        if (S_ISBLK(st.st_mode) && ioctl(pFile->m_nFd, BLKGETSIZE64, &n64Size) == 0)
            n64Base = static_cast<LONGLONG>(n64Size);
#endif
        break;
    }
    default:
        Fail(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if ((n64Distance < 0 && n64Base + n64Distance < 0) ||
        (n64Distance > 0 && n64Base > INT64_MAX - n64Distance))
    {
        Fail(ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    ULONGLONG n64New = static_cast<ULONGLONG>(n64Base + n64Distance);

    pFile->m_n64Pos = n64New;
    if (lpDistanceToMoveHigh)
        *lpDistanceToMoveHigh = static_cast<LONG>(n64New >> 32);
    SetLastError(0);
    return static_cast<DWORD>(n64New);
}

BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
              LPDWORD lpNumberOfBytesRead, LPOVERLAPPED /*lpOverlapped*/)
{
    if (lpNumberOfBytesRead)
        *lpNumberOfBytesRead = 0;
    CFileObject* pFile = Lookup<CFileObject>(hFile, CObject::eFile);
    if (!pFile)
        return Fail(ERROR_INVALID_HANDLE), FALSE;
    if (!pFile->m_bRead)
        return Fail(ERROR_ACCESS_DENIED), FALSE;
    if (!lpBuffer && nNumberOfBytesToRead)
        return Fail(ERROR_NOACCESS), FALSE;

    const ULONGLONG n64Pos = pFile->m_n64Pos;
    DWORD dwGot = 0;
    if (nNumberOfBytesToRead)
    {
        DWORD dwError = PreadFull(pFile->m_nFd, n64Pos, static_cast<BYTE*>(lpBuffer),
                                  nNumberOfBytesToRead, dwGot);
        if (dwError)
            return Fail(dwError), FALSE;
    }
    pFile->m_n64Pos = n64Pos + dwGot;
    if (lpNumberOfBytesRead)
        *lpNumberOfBytesRead = dwGot;
    SetLastError(0);
    return TRUE;
}

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED /*lpOverlapped*/)
{
    if (lpNumberOfBytesWritten)
        *lpNumberOfBytesWritten = 0;
    CFileObject* pFile = Lookup<CFileObject>(hFile, CObject::eFile);
    if (!pFile)
        return Fail(ERROR_INVALID_HANDLE), FALSE;
    if (!pFile->m_bWrite)
        return Fail(ERROR_ACCESS_DENIED), FALSE;
    if (!lpBuffer && nNumberOfBytesToWrite)
        return Fail(ERROR_NOACCESS), FALSE;
    const DWORD n = nNumberOfBytesToWrite;

    const BYTE* pSource = static_cast<const BYTE*>(lpBuffer);
    DWORD dwDone = 0;
    while (dwDone < n)
    {
        ssize_t r = pwrite(pFile->m_nFd, pSource + dwDone, n - dwDone,
                           static_cast<off_t>(pFile->m_n64Pos + dwDone));
        if (r < 0)
        {
            if (errno == EINTR)
                continue;
            pFile->m_n64Pos += dwDone;
            if (lpNumberOfBytesWritten)
                *lpNumberOfBytesWritten = dwDone;
            return Fail(ErrnoToWin32(errno)), FALSE;
        }
        dwDone += static_cast<DWORD>(r);
    }
    pFile->m_n64Pos += dwDone;
    if (lpNumberOfBytesWritten)
        *lpNumberOfBytesWritten = dwDone;
    SetLastError(0);
    return TRUE;
}

BOOL SetEndOfFile(HANDLE hFile)
{
    CFileObject* pFile = Lookup<CFileObject>(hFile, CObject::eFile);
    if (!pFile)
        return Fail(ERROR_INVALID_HANDLE), FALSE;
    if (!pFile->m_bWrite)
        return Fail(ERROR_ACCESS_DENIED), FALSE;
    if (ftruncate(pFile->m_nFd, static_cast<off_t>(pFile->m_n64Pos)) != 0)
        return Fail(ErrnoToWin32(errno)), FALSE;
    SetLastError(0);
    return TRUE;
}

BOOL DeleteFileA(LPCSTR lpFileName)
{
    if (!lpFileName)
        return Fail(ERROR_INVALID_PARAMETER), FALSE;
    struct stat st;
    if (lstat(lpFileName, &st) == 0 && S_ISDIR(st.st_mode))
        return Fail(ERROR_ACCESS_DENIED), FALSE;
    if (unlink(lpFileName) != 0)
        return Fail(ErrnoToWin32(errno)), FALSE;
    SetLastError(0);
    return TRUE;
}

DWORD GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer)
{
    std::vector<char> vecPath(4096);
    while (!getcwd(vecPath.data(), vecPath.size()))
    {
        if (errno != ERANGE || vecPath.size() > (1u << 20))
            return Fail(ErrnoToWin32(errno)), 0;
        vecPath.resize(vecPath.size() * 2);
    }
    const DWORD dwLength = static_cast<DWORD>(strlen(vecPath.data()));
    if (!lpBuffer || nBufferLength < dwLength + 1)
        return dwLength + 1;
    memcpy(lpBuffer, vecPath.data(), dwLength + 1);
    return dwLength;
}

#endif  // !_WIN32
