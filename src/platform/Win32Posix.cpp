// The Win32 subset over POSIX. See Win32.h.
#ifndef _WIN32

#include "platform/Platform.h"
#include "platform/PosixDisk.h"
#include "platform/Win32.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
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
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <vector>

#ifdef __linux__
#include <linux/fs.h>
#endif

namespace
{
thread_local DWORD t_dwLastError = 0;
}  // namespace

DWORD ErrnoToWin32(int nErrno)
{
    switch (nErrno)
    {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EROFS: return ERROR_WRITE_PROTECT;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ENOSPC: return ERROR_DISK_FULL;
    case EIO: return ERROR_IO_DEVICE;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EFBIG: return ERROR_FILE_TOO_LARGE;
    case EEXIST: return ERROR_FILE_EXISTS;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case EBUSY: return ERROR_BUSY;
    case ETXTBSY: return ERROR_SHARING_VIOLATION;
    case ENXIO:
    case ENODEV: return ERROR_DEV_NOT_EXIST;
#ifdef ENOMEDIUM
    case ENOMEDIUM: return ERROR_NOT_READY;
#endif
    case ELOOP: return ERROR_CANT_RESOLVE_FILENAME;
    case EDQUOT: return ERROR_DISK_QUOTA_EXCEEDED;
    case EMLINK: return ERROR_TOO_MANY_LINKS;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case ESPIPE: return ERROR_SEEK;
    case EFAULT: return ERROR_NOACCESS;
    case EPIPE: return ERROR_BROKEN_PIPE;
    case ENOSYS:
    case EOPNOTSUPP: return ERROR_NOT_SUPPORTED;
    default: return ERROR_GEN_FAILURE;
    }
}

namespace
{

DWORD Fail(DWORD dwError)
{
    t_dwLastError = dwError;
    return dwError;
}

// ---- handles ----------------------------------------------------------------

struct CObject
{
    enum EType { eFile, eThread };
    explicit CObject(EType eType) : m_eType(eType) {}
    virtual ~CObject() = default;
    const EType m_eType;
};

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

struct CThreadState
{
    std::mutex m_lock;
    std::condition_variable m_cvDone;
    bool m_bDone = false;
    DWORD m_dwExitCode = STILL_ACTIVE;
};

struct CThreadObject : CObject
{
    CThreadObject() : CObject(eThread) {}
    ~CThreadObject() override
    {
        if (m_thread.joinable())
        {
            bool bDone;
            {
                std::lock_guard<std::mutex> lock(m_pState->m_lock);
                bDone = m_pState->m_bDone;
            }
            if (bDone)
                m_thread.join();
            else
                m_thread.detach();
        }
    }
    std::shared_ptr<CThreadState> m_pState = std::make_shared<CThreadState>();
    std::thread m_thread;
};

// Live handles, so that a stale or made-up handle gives ERROR_INVALID_HANDLE
// instead of a crash.
std::mutex g_handleLock;
std::unordered_map<void*, std::unique_ptr<CObject>> g_handles;

HANDLE Register(std::unique_ptr<CObject> pObject)
{
    void* pKey = pObject.get();
    std::lock_guard<std::mutex> lock(g_handleLock);
    g_handles.emplace(pKey, std::move(pObject));
    return pKey;
}

template <class T>
T* Lookup(HANDLE hHandle, CObject::EType eType)
{
    std::lock_guard<std::mutex> lock(g_handleLock);
    auto it = g_handles.find(hHandle);
    if (it == g_handles.end() || it->second->m_eType != eType)
        return nullptr;
    return static_cast<T*>(it->second.get());
}

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

DWORD GetLastError() { return t_dwLastError; }
void SetLastError(DWORD dwErrCode) { t_dwLastError = dwErrCode; }

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
    t_dwLastError = 0;
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
    t_dwLastError = 0;
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
    t_dwLastError = 0;
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
    t_dwLastError = 0;
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
    t_dwLastError = 0;
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
    t_dwLastError = 0;
    return TRUE;
}

BOOL CloseHandle(HANDLE hObject)
{
    std::unique_ptr<CObject> pObject;
    {
        std::lock_guard<std::mutex> lock(g_handleLock);
        auto it = g_handles.find(hObject);
        if (it == g_handles.end())
            return Fail(ERROR_INVALID_HANDLE), FALSE;
        pObject = std::move(it->second);
        g_handles.erase(it);
    }
    pObject.reset();
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

HANDLE CreateThread(LPSECURITY_ATTRIBUTES /*lpThreadAttributes*/, SIZE_T /*dwStackSize*/,
                    LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                    DWORD /*dwCreationFlags*/, LPDWORD lpThreadId)
{
    if (!lpStartAddress)
        return Fail(ERROR_INVALID_PARAMETER), nullptr;
    auto pThread = std::make_unique<CThreadObject>();
    std::shared_ptr<CThreadState> pState = pThread->m_pState;
    try
    {
        pThread->m_thread = std::thread([pState, lpStartAddress, lpParameter]() {
            DWORD dwCode = lpStartAddress(lpParameter);
            std::lock_guard<std::mutex> lock(pState->m_lock);
            pState->m_dwExitCode = dwCode;
            pState->m_bDone = true;
            pState->m_cvDone.notify_all();
        });
    }
    catch (const std::exception&)
    {
        return Fail(ERROR_NOT_ENOUGH_MEMORY), nullptr;
    }
    if (lpThreadId)
        *lpThreadId = 0;
    return Register(std::move(pThread));
}

BOOL GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode)
{
    CThreadObject* pThread = Lookup<CThreadObject>(hThread, CObject::eThread);
    if (!pThread)
        return Fail(ERROR_INVALID_HANDLE), FALSE;
    if (!lpExitCode)
        return Fail(ERROR_NOACCESS), FALSE;
    std::lock_guard<std::mutex> lock(pThread->m_pState->m_lock);
    *lpExitCode = pThread->m_pState->m_bDone ? pThread->m_pState->m_dwExitCode : STILL_ACTIVE;
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds)
{
    CThreadObject* pThread = Lookup<CThreadObject>(hHandle, CObject::eThread);
    if (!pThread)
        return Fail(ERROR_INVALID_HANDLE), WAIT_FAILED;
    std::unique_lock<std::mutex> lock(pThread->m_pState->m_lock);
    auto fnDone = [&] { return pThread->m_pState->m_bDone; };
    if (dwMilliseconds == INFINITE)
        pThread->m_pState->m_cvDone.wait(lock, fnDone);
    else if (!pThread->m_pState->m_cvDone.wait_for(lock, std::chrono::milliseconds(dwMilliseconds),
                                                    fnDone))
        return WAIT_TIMEOUT;
    return WAIT_OBJECT_0;
}

#endif  // !_WIN32
