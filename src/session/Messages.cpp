#include "session/Messages.h"

#include "platform/Platform.h"

#include <cstdio>

namespace
{

struct CMessage
{
    DWORD m_dwCode;
    const char* m_pszText;
};

// Written for someone who has just lost a file: what happened, in words that
// say what to do next where there is something to do.
const CMessage kMessages[] = {
    {ERROR_INVALID_FUNCTION, "The operation is not supported."},
    {ERROR_FILE_NOT_FOUND, "The file or disk could not be found."},
    {ERROR_PATH_NOT_FOUND, "The folder could not be found."},
    {ERROR_TOO_MANY_OPEN_FILES, "Too many files are open."},
    {ERROR_ACCESS_DENIED, "Access is denied."},
    {ERROR_INVALID_HANDLE, "The handle is not valid."},
    {ERROR_NOT_ENOUGH_MEMORY, "There is not enough memory to complete the operation."},
    {ERROR_INVALID_ACCESS, "The volume has not been opened."},
    {ERROR_INVALID_DATA, "A compressed stretch of the file is damaged and cannot be expanded."},
    {ERROR_OUTOFMEMORY, "There is not enough memory to complete the operation."},
    {ERROR_INVALID_DRIVE, "The partition holds no NTFS, FAT or exFAT volume."},
    {ERROR_NO_MORE_FILES, "The volume holds no such record or entry."},
    {ERROR_WRITE_PROTECT, "The disk is write-protected."},
    {ERROR_NOT_READY, "The device is not ready."},
    {ERROR_CRC, "The disk reported a data error."},
    {ERROR_SEEK, "The disk could not be positioned."},
    {ERROR_WRITE_FAULT, "The device could not be written."},
    {ERROR_READ_FAULT, "The disk could not be read: fewer bytes arrived than asked for."},
    {ERROR_GEN_FAILURE, "A device attached to the system is not working."},
    {ERROR_SHARING_VIOLATION, "The file is in use by another program."},
    {ERROR_HANDLE_EOF, "The end of the disk was reached."},
    {ERROR_NOT_SUPPORTED, "The request is not supported."},
    {ERROR_DEV_NOT_EXIST, "The device does not exist."},
    {ERROR_FILE_EXISTS, "The file exists."},
    {ERROR_INVALID_PARAMETER, "A size or record read from the disk is not valid."},
    {ERROR_BROKEN_PIPE, "The pipe has been ended."},
    {ERROR_DISK_FULL, "There is not enough space on the disk."},
    {ERROR_CALL_NOT_IMPLEMENTED, "The operation is not available on this system."},
    {ERROR_INVALID_NAME, "The file name is not valid here."},
    {ERROR_NEGATIVE_SEEK, "The position lies outside the disk."},
    {ERROR_DIR_NOT_EMPTY, "The folder is not empty."},
    {ERROR_BUSY, "The device or resource is busy."},
    {ERROR_ALREADY_EXISTS, "The file already exists."},
    {ERROR_FILENAME_EXCED_RANGE, "The file name or path is too long."},
    {ERROR_FILE_TOO_LARGE, "The file is too large or in too many pieces to be read."},
    {ERROR_DIRECTORY, "The folder name is not valid."},
    {ERROR_DIRECTORY_NOT_SUPPORTED, "A folder is not saved as a file: save it with its folders to keep what it holds."},
    {ERROR_HANDLE_DISK_FULL, "There is not enough space on the disk."},
    {ERROR_SECTOR_NOT_FOUND, "The disk could not find a sector it was asked for."},
    {ERROR_DEVICE_REMOVED, "The disk is no longer there."},
    {ERROR_OPERATION_ABORTED, "The operation was stopped."},
    {ERROR_NOACCESS, "Memory could not be accessed."},
    {ERROR_IO_DEVICE, "The disk reported an input/output error."},
    {ERROR_TOO_MANY_LINKS, "The file has too many links."},
    {ERROR_BAD_DEVICE, "The master file table of this partition could not be found."},
    {ERROR_DISK_QUOTA_EXCEEDED, "The disk quota was exceeded."},
    {ERROR_CANT_RESOLVE_FILENAME, "The name of the file cannot be resolved."},
    {ERROR_FILE_CORRUPT,
     "The file's pieces, as the volume records them, do not fit together; it cannot be read whole."},
    {ERROR_DISK_CORRUPT,
     "Part of the file's data lies past the end of the partition: its record is damaged. The file is not "
     "saved, rather than saved with bytes that are not its own."},
};

}  // namespace

const char* ProgramMessage(DWORD dwCode)
{
    for (const CMessage& message : kMessages)
        if (message.m_dwCode == dwCode)
            return message.m_pszText;
    return nullptr;
}

std::string UnreadRecordsText(DWORD dwCount)
{
    char szText[256];
    snprintf(szText, sizeof(szText),
             dwCount == 1 ? "%u record of the master file table (on FAT: folder) could not be read (a bad "
                            "sector); the files it held, if any, are not listed. Everything else is.\n"
                          : "%u records of the master file table (on FAT: folders) could not be read (bad "
                            "sectors); the files they held, if any, are not listed. Everything else is.\n",
             static_cast<unsigned>(dwCount));
    return szText;
}

std::string SystemErrorText(DWORD dwCode)
{
    if (const char* pszText = ProgramMessage(dwCode))
        return std::string(pszText) + "\n";
    std::string strText;
#ifdef _WIN32
    // The wide call: the system's texts in the user's language, whatever
    // the ANSI code page, handed on as UTF-8 like every other text.
    LPWSTR pszSystem = nullptr;
    const DWORD dwLength =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, dwCode,
                       MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPWSTR>(&pszSystem), 0, nullptr);
    if (pszSystem && dwLength > 0)
        strText = Utf8FromWide(std::wstring(pszSystem, dwLength));
#else
    LPSTR pszSystem = nullptr;
    const DWORD dwLength =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, dwCode,
                       MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&pszSystem), 0, nullptr);
    if (pszSystem && dwLength > 0)
        strText.assign(pszSystem, dwLength);
#endif
    if (pszSystem)
        LocalFree(pszSystem);
    // Windows ends its texts with "\r\n"; one line break is shown everywhere.
    while (!strText.empty() && (strText.back() == '\n' || strText.back() == '\r'))
        strText.pop_back();
    if (!strText.empty())
        return strText + "\n";
    char szUnknown[64];
    snprintf(szUnknown, sizeof(szUnknown), "The system reported error %u.\n", static_cast<unsigned>(dwCode));
    return szUnknown;
}
