#include "session/SaveEntry.h"

#include "platform/FaultInjection.h"
#include "platform/Platform.h"

#include <cstring>
#include <string>
#include <vector>
#include <memory>

#ifndef _WIN32
#include <cerrno>
#include <sys/stat.h>
#endif

namespace
{

// The disks looked at before an existing file is replaced; as many as the
// program ever lists.
const DWORD kMaxDiskNumber = 256;

// The attributes CreateFileA can give a new file. Everything else in the
// $FILE_NAME flags either acts as a creation flag there (0x10000000 is how
// NTFS marks a directory, and is FILE_FLAG_RANDOM_ACCESS to CreateFileA) or
// describes a storage form that the copied bytes do not have.
const DWORD kCreatableAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
    FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_TEMPORARY |
    FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

bool IsControl(unsigned char byChar)
{
    // C0, DEL and, since each byte is a UTF-16 unit below 256, the C1 controls.
    return byChar < 0x20 || (byChar >= 0x7F && byChar <= 0x9F);
}

char AsciiUpper(char ch)
{
    return ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 'a' + 'A') : ch;
}

// CON, PRN, AUX, NUL, COM1-9 and LPT1-9 name devices on Windows, with any
// extension and any case; "COM" and "LPT" also take the superscript digits.
bool IsWindowsDeviceName(const char* pszName)
{
    size_t nBase = strcspn(pszName, ".");
    while (nBase > 0 && pszName[nBase - 1] == ' ')
        --nBase;
    char szBase[5] = {};
    if (nBase < 3 || nBase > 4)
        return false;
    for (size_t i = 0; i < nBase; ++i)
        szBase[i] = AsciiUpper(pszName[i]);
    if (nBase == 3)
        return strcmp(szBase, "CON") == 0 || strcmp(szBase, "PRN") == 0 ||
               strcmp(szBase, "AUX") == 0 || strcmp(szBase, "NUL") == 0;
    const unsigned char byDigit = static_cast<unsigned char>(szBase[3]);
    const bool bDigit = (byDigit >= '1' && byDigit <= '9') || byDigit == 0xB9 ||
                        byDigit == 0xB2 || byDigit == 0xB3;
    return bDigit && (strncmp(szBase, "COM", 3) == 0 || strncmp(szBase, "LPT", 3) == 0);
}

// Length of the name once it is in the target's encoding.
size_t EncodedLength(const char* pszName, ETargetSystem eSystem)
{
    size_t nLength = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(pszName); *p; ++p)
        nLength += (eSystem == eTargetPosix && *p >= 0x80) ? 2 : 1;
    return nLength;
}

// Appends the name in the target's encoding; the caller made room for it.
void AppendEncoded(char* pszDest, const char* pszName, ETargetSystem eSystem)
{
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(pszName); *p; ++p)
    {
        if (eSystem == eTargetPosix && *p >= 0x80)
        {
            // Latin-1 code point to UTF-8: always two bytes above 0x7F.
            *pszDest++ = static_cast<char>(0xC0 | (*p >> 6));
            *pszDest++ = static_cast<char>(0x80 | (*p & 0x3F));
        }
        else
        {
            *pszDest++ = static_cast<char>(*p);
        }
    }
    *pszDest = '\0';
}

// A code for a failed call even when the platform left none, so that a failure
// is never taken for success.
DWORD LastErrorOr(DWORD dwFallback)
{
    DWORD dwError = GetLastError();
    return dwError ? dwError : dwFallback;
}

// An existing target that is not a plain file is never opened: a symbolic
// link could lead out of the folder, a pipe would block the write for good,
// a device would take the data; nor is the disk being read. Opening with
// "no follow" would also close the short window between this test and the
// creation; the file layer offers no such flag, so the test is made just before.
DWORD CheckExistingTarget(const char* pszTarget)
{
#ifdef _WIN32
    const DWORD dwAttributes = GetFileAttributesA(pszTarget);
    if (dwAttributes != INVALID_FILE_ATTRIBUTES &&
        (dwAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)))
        return ERROR_ACCESS_DENIED;
    return 0;
#else
    struct stat st;
    if (lstat(pszTarget, &st) != 0)
        return 0;  // absent, or unreachable: creation reports its own error
    if (S_ISDIR(st.st_mode))
        return 0;  // creation fails on it with its own code
    if (!S_ISREG(st.st_mode))
        return ERROR_ACCESS_DENIED;
    // Where a disk is an image file, the folder may hold it: an entry of the
    // same name must not replace any disk the program reads.
    std::vector<std::string> vecDisks = ImageDiskPaths();
    for (DWORD dwDisk = 0; dwDisk < kMaxDiskNumber; ++dwDisk)
    {
        std::string strDisk = DiskPath(dwDisk);
        if (strDisk.empty())
            break;
        vecDisks.push_back(std::move(strDisk));
    }
    for (const std::string& strDisk : vecDisks)
    {
        struct stat stDisk;
        if (stat(strDisk.c_str(), &stDisk) == 0 && stDisk.st_dev == st.st_dev &&
            stDisk.st_ino == st.st_ino)
            return ERROR_ACCESS_DENIED;
    }
    return 0;
#endif
}

struct CHandleCloser
{
    void operator()(void* hHandle) const { CloseHandle(hHandle); }
};
using CFileHandle = std::unique_ptr<void, CHandleCloser>;

}  // namespace

DWORD CheckEntryName(const char* pszName, ETargetSystem eSystem)
{
    if (!pszName || !*pszName || strcmp(pszName, ".") == 0 || strcmp(pszName, "..") == 0)
        return ERROR_INVALID_NAME;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(pszName); *p; ++p)
    {
        if (*p == '/' || *p == '\\' || IsControl(*p))
            return ERROR_INVALID_NAME;
        // Windows reads these as wildcards, a stream separator or redirections.
        if (eSystem == eTargetWindows && strchr("<>:\"|?*", *p))
            return ERROR_INVALID_NAME;
    }
    if (eSystem == eTargetWindows)
    {
        // Windows drops trailing dots and blanks, so ".. " would name the parent.
        const char chLast = pszName[strlen(pszName) - 1];
        if (chLast == '.' || chLast == ' ' || IsWindowsDeviceName(pszName))
            return ERROR_INVALID_NAME;
    }
    return 0;
}

DWORD BuildTargetPath(const char* pszFolder, const char* pszName, char* pszTarget,
                      ETargetSystem eSystem)
{
    if (!pszFolder || !pszName || !pszTarget)
        return ERROR_INVALID_PARAMETER;
    pszTarget[0] = '\0';
    if (!*pszFolder)
        return ERROR_PATH_NOT_FOUND;  // no folder chosen: never the root by accident
    if (DWORD dwError = CheckEntryName(pszName, eSystem))
        return dwError;

    const size_t nFolder = strlen(pszFolder);
    const size_t nName = EncodedLength(pszName, eSystem);
    // folder, separator, name and terminator must fit in MAX_PATH bytes
    if (nFolder > MAX_PATH - 2 || nName > MAX_PATH - 2 - nFolder)
        return ERROR_FILENAME_EXCED_RANGE;

    memcpy(pszTarget, pszFolder, nFolder);
    pszTarget[nFolder] = eSystem == eTargetWindows ? '\\' : '/';
    AppendEncoded(pszTarget + nFolder + 1, pszName, eSystem);
    return 0;
}

DWORD OutputFileFlags(DWORD dwFileFlags)
{
    return dwFileFlags & kCreatableAttributes;
}

BOOL WriteOutput(HANDLE hFile, const void* pData, DWORD dwCount, LPDWORD pdwWritten)
{
    DWORD dwAsk = dwCount;
    DWORD dwInjected = 0;
    if (faultseam::Active())
    {
        LONG lHigh = 0;
        const DWORD dwLow = SetFilePointer(hFile, 0, &lHigh, FILE_CURRENT);
        const ULONGLONG n64Pos = (static_cast<ULONGLONG>(static_cast<DWORD>(lHigh)) << 32) | dwLow;
        dwAsk = faultseam::ShapeWrite(n64Pos, dwCount, dwInjected);
    }
    faultseam::CountWrite();
    DWORD dwWritten = 0;
    BOOL bOk = WriteFile(hFile, pData, dwAsk, &dwWritten, nullptr);
    if (pdwWritten)
        *pdwWritten = dwWritten;
    if (bOk && dwInjected)
    {
        SetLastError(dwInjected);
        return FALSE;
    }
    return bOk;
}

DWORD ReadEntryContent(CNTFSDrive& drive, DWORD dwRecordIndex, CEntryContent& content)
{
    BYTE* pRawData = nullptr;
    DWORD dwLength = 0;
    if (DWORD dwError = drive.ReadEntryData(dwRecordIndex, pRawData, dwLength))
        return dwError;
    content.m_pData.reset(pRawData);
    content.m_dwLength = dwLength;
    return drive.GetEntryInfo(dwRecordIndex, content.m_info);
}

DWORD WriteEntryFile(const char* pszFolder, const CEntryContent& content)
{
    char szTarget[MAX_PATH];
    if (DWORD dwError = BuildTargetPath(pszFolder, content.m_info.szName, szTarget))
        return dwError;
    if (DWORD dwError = CheckExistingTarget(szTarget))
        return dwError;

    DWORD dwCreateFlags = OutputFileFlags(content.m_info.dwFileFlags);
#ifndef _WIN32
    // A link put at the name after the test above is refused, not followed.
    dwCreateFlags |= FILE_FLAG_OPEN_REPARSE_POINT;
#endif
    SetLastError(NO_ERROR);
    HANDLE hCreated = CreateFileA(szTarget, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  dwCreateFlags, nullptr);
    if (hCreated == INVALID_HANDLE_VALUE)
        return LastErrorOr(ERROR_GEN_FAILURE);
    CFileHandle hFile(hCreated);

    DWORD dwWritten = 0;
    SetLastError(NO_ERROR);
    if (!WriteOutput(hFile.get(), content.m_pData.get(), content.m_dwLength, &dwWritten))
        return LastErrorOr(ERROR_WRITE_FAULT);
    // A write that reports success with bytes missing still lost data.
    if (dwWritten != content.m_dwLength)
        return ERROR_WRITE_FAULT;
    return 0;
}

DWORD SaveEntry(CNTFSDrive& drive, std::mutex& lockDrive, DWORD dwRecordIndex,
                const char* pszFolder)
{
    CEntryContent content;
    {
        // One hold for both questions, so that a scan reopening the drive in
        // between cannot pair one volume's data with another's name.
        std::lock_guard<std::mutex> lock(lockDrive);
        if (DWORD dwError = ReadEntryContent(drive, dwRecordIndex, content))
            return dwError;
    }
    return WriteEntryFile(pszFolder, content);
}
