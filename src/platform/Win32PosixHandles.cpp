// The handle table, the last error and the errno codes of the Win32 subset
// over POSIX. See Win32.h.
#ifndef _WIN32

#include "platform/PosixDisk.h"
#include "platform/PosixHandles.h"

#include <cerrno>
#include <mutex>
#include <unordered_map>

namespace
{

thread_local DWORD t_dwLastError = 0;

std::mutex g_handleLock;
std::unordered_map<void*, std::unique_ptr<CObject>> g_handles;

}  // namespace

DWORD GetLastError() { return t_dwLastError; }
void SetLastError(DWORD dwErrCode) { t_dwLastError = dwErrCode; }

HANDLE Register(std::unique_ptr<CObject> pObject)
{
    void* pKey = pObject.get();
    std::lock_guard<std::mutex> lock(g_handleLock);
    g_handles.emplace(pKey, std::move(pObject));
    return pKey;
}

CObject* LookupObject(HANDLE hHandle, CObject::EType eType)
{
    std::lock_guard<std::mutex> lock(g_handleLock);
    auto it = g_handles.find(hHandle);
    if (it == g_handles.end() || it->second->m_eType != eType)
        return nullptr;
    return it->second.get();
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
    // The object goes outside the lock: a thread's may wait for nothing, a
    // file's closes its descriptor.
    pObject.reset();
    return TRUE;
}

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

#endif  // !_WIN32
