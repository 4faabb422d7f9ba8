// FormatMessageA and LocalFree over POSIX: the system's own texts for the
// codes this layer gives. See Win32.h.
#ifndef _WIN32

#include "platform/Win32.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace
{

struct CMessage
{
    DWORD m_dwCode;
    const char* m_pszText;
};

// The system's own texts for the codes this layer gives, as Windows words
// them; the program keeps its own sentences for the codes it means something
// by, and asks for these only after its own table.
const CMessage kMessages[] = {
    {ERROR_SUCCESS, "The operation completed successfully."},
    {ERROR_INVALID_FUNCTION, "Incorrect function."},
    {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified."},
    {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified."},
    {ERROR_TOO_MANY_OPEN_FILES, "The system cannot open the file."},
    {ERROR_ACCESS_DENIED, "Access is denied."},
    {ERROR_INVALID_HANDLE, "The handle is invalid."},
    {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory resources are available to process this command."},
    {ERROR_INVALID_ACCESS, "The access code is invalid."},
    {ERROR_INVALID_DATA, "The data is invalid."},
    {ERROR_OUTOFMEMORY, "Not enough memory resources are available to complete this operation."},
    {ERROR_INVALID_DRIVE, "The system cannot find the drive specified."},
    {ERROR_NO_MORE_FILES, "There are no more files."},
    {ERROR_WRITE_PROTECT, "The media is write protected."},
    {ERROR_NOT_READY, "The device is not ready."},
    {ERROR_CRC, "Data error (cyclic redundancy check)."},
    {ERROR_SEEK, "The drive cannot locate a specific area or track on the disk."},
    {ERROR_WRITE_FAULT, "The system cannot write to the specified device."},
    {ERROR_READ_FAULT, "The system cannot read from the specified device."},
    {ERROR_GEN_FAILURE, "A device attached to the system is not functioning."},
    {ERROR_SHARING_VIOLATION,
     "The process cannot access the file because it is being used by another process."},
    {ERROR_HANDLE_EOF, "Reached the end of the file."},
    {ERROR_NOT_SUPPORTED, "The request is not supported."},
    {ERROR_DEV_NOT_EXIST, "The specified network resource or device is no longer available."},
    {ERROR_FILE_EXISTS, "The file exists."},
    {ERROR_INVALID_PARAMETER, "The parameter is incorrect."},
    {ERROR_BROKEN_PIPE, "The pipe has been ended."},
    {ERROR_DISK_FULL, "There is not enough space on the disk."},
    {ERROR_CALL_NOT_IMPLEMENTED, "This function is not supported on this system."},
    {ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small."},
    {ERROR_INVALID_NAME, "The filename, directory name, or volume label syntax is incorrect."},
    {ERROR_NEGATIVE_SEEK,
     "An attempt was made to move the file pointer before the beginning of the file."},
    {ERROR_DIR_NOT_EMPTY, "The directory is not empty."},
    {ERROR_BUSY, "The requested resource is in use."},
    {ERROR_ALREADY_EXISTS, "Cannot create a file when that file already exists."},
    {ERROR_FILENAME_EXCED_RANGE, "The filename or extension is too long."},
    {ERROR_FILE_TOO_LARGE, "The file size exceeds the limit allowed and cannot be saved."},
    {ERROR_DIRECTORY, "The directory name is invalid."},
    {ERROR_OPERATION_ABORTED, "The I/O operation has been aborted."},
    {ERROR_NOACCESS, "Invalid access to memory location."},
    {ERROR_IO_DEVICE, "The request could not be performed because of an I/O device error."},
    {ERROR_TOO_MANY_LINKS, "An attempt was made to create more links on a file than the file system supports."},
    {ERROR_BAD_DEVICE, "The specified device name is invalid."},
    {ERROR_DISK_QUOTA_EXCEEDED, "Disk quota exceeded."},
    {ERROR_FILE_CORRUPT, "The file or directory is corrupted and unreadable."},
    {ERROR_DISK_CORRUPT, "The disk structure is corrupted and unreadable."},
    {ERROR_CANT_RESOLVE_FILENAME, "The name of the file cannot be resolved by the system."},
};

}  // namespace

DWORD FormatMessageA(DWORD dwFlags, LPCVOID /*lpSource*/, DWORD dwMessageId,
                     DWORD /*dwLanguageId*/, LPSTR lpBuffer, DWORD nSize, va_list* /*Arguments*/)
{
    if (!(dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) || !lpBuffer)
        return SetLastError(ERROR_INVALID_PARAMETER), 0;

    char szUnknown[96];
    const char* pszText = nullptr;
    for (const CMessage& message : kMessages)
        if (message.m_dwCode == dwMessageId)
            pszText = message.m_pszText;
    if (!pszText)
    {
        snprintf(szUnknown, sizeof(szUnknown), "The system reported error %u.", dwMessageId);
        pszText = szUnknown;
    }
    // The platform's texts end with a line break; so do these.
    std::string strText = std::string(pszText) + "\n";
    const DWORD dwLength = static_cast<DWORD>(strText.size());

    if (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER)
    {
        char* pszCopy = static_cast<char*>(malloc(std::max<size_t>(dwLength + 1, nSize)));
        if (!pszCopy)
            return SetLastError(ERROR_NOT_ENOUGH_MEMORY), 0;
        memcpy(pszCopy, strText.c_str(), dwLength + 1);
        *reinterpret_cast<char**>(lpBuffer) = pszCopy;
    }
    else
    {
        if (nSize < dwLength + 1)
            return SetLastError(ERROR_INSUFFICIENT_BUFFER), 0;
        memcpy(lpBuffer, strText.c_str(), dwLength + 1);
    }
    SetLastError(0);
    return dwLength;
}

HLOCAL LocalFree(HLOCAL hMem)
{
    free(hMem);
    return nullptr;
}

#endif  // !_WIN32
