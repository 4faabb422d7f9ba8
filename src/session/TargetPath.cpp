#include "session/TargetPath.h"

#include "platform/Platform.h"
#include "session/SafeName.h"

#include <algorithm>
#include <cstring>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace
{

// The disks looked at before an existing file is replaced; as many as the
// program ever lists.
const DWORD kMaxDiskNumber = 256;

// The attributes a new file can be given. Everything else in the $FILE_NAME
// flags either acts as a creation flag (0x10000000 is how NTFS marks a
// directory, and is FILE_FLAG_RANDOM_ACCESS to CreateFile) or describes a
// storage form that the copied bytes do not have.
const DWORD kCreatableAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
    FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_TEMPORARY |
    FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

}  // namespace

DWORD CheckEntryName(const std::string& strName, ETargetSystem eSystem)
{
    if (strName.empty() || strName == "." || strName == "..")
        return ERROR_INVALID_NAME;
    const std::vector<DWORD> vecCodes = CodePoints(strName);
    for (DWORD dwCode : vecCodes)
    {
        if (dwCode == '/' || dwCode == '\\' || IsControlCode(dwCode) || IsDirectionCode(dwCode))
            return ERROR_INVALID_NAME;
        // Windows reads these as wildcards, a stream separator or redirections.
        if (eSystem == eTargetWindows && dwCode < 0x80 && strchr("<>:\"|?*", static_cast<int>(dwCode)))
            return ERROR_INVALID_NAME;
    }
    if (eSystem == eTargetWindows)
    {
        // Windows drops trailing dots and blanks, so ".. " would name the parent.
        const DWORD dwLast = vecCodes.back();
        if (dwLast == '.' || dwLast == ' ' || IsWindowsDeviceName(vecCodes))
            return ERROR_INVALID_NAME;
    }
    return 0;
}

DWORD BuildTargetPath(const std::string& strFolder, const std::string& strName, std::string& strTarget,
                      ETargetSystem eSystem, size_t nNameMax, size_t nPathMax)
{
    strTarget.clear();
    if (strFolder.empty())
        return ERROR_PATH_NOT_FOUND;  // no folder chosen: never the root by accident
    if (DWORD dwError = CheckEntryName(strName, eSystem))
        return dwError;
    std::string strPath = strFolder + (eSystem == eTargetWindows ? '\\' : '/') + strName;
    if (NameLength(strName, eSystem) > nNameMax || NameLength(strPath, eSystem) > nPathMax)
        return ERROR_FILENAME_EXCED_RANGE;
    strTarget = std::move(strPath);
    return 0;
}

DWORD OutputFileFlags(DWORD dwFileFlags)
{
    return dwFileFlags & kCreatableAttributes;
}

#ifdef _WIN32

std::wstring OutputPathW(const std::string& strPath)
{
    std::wstring wstr = WideFromUtf8(strPath);
    // The prefix turns off the system's own clean-up of the path, so it gets
    // a clean one: backslashes only, never two in a row past a share's two
    // ("C:\\" + "\\" + name).
    std::replace(wstr.begin(), wstr.end(), L'/', L'\\');
    for (size_t i = wstr.size(); i-- > 2;)
        if (wstr[i] == L'\\' && wstr[i - 1] == L'\\')
            wstr.erase(i, 1);
    if (wstr.size() >= 3 && wstr[1] == L':' && wstr[2] == L'\\')
        return L"\\\\?\\" + wstr;
    if (wstr.size() >= 2 && wstr.compare(0, 2, L"\\\\") == 0 && wstr.compare(0, 4, L"\\\\?\\") != 0 &&
        wstr.compare(0, 4, L"\\\\.\\") != 0)
        return L"\\\\?\\UNC\\" + wstr.substr(2);
    return wstr;
}

DWORD TargetAttributes(const std::string& strPath)
{
    return GetFileAttributesW(OutputPathW(strPath).c_str());
}

DWORD MakeFolder(const std::string& strPath)
{
    return CreateDirectoryW(OutputPathW(strPath).c_str(), nullptr) ? 0 : GetLastError();
}

void RemoveOutput(const std::string& strTarget)
{
    const std::wstring wstrPath = OutputPathW(strTarget);
    SetFileAttributesW(wstrPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(wstrPath.c_str());
}

DWORD CheckExistingTarget(const std::string& strTarget)
{
    const DWORD dwAttributes = GetFileAttributesW(OutputPathW(strTarget).c_str());
    if (dwAttributes != INVALID_FILE_ATTRIBUTES &&
        (dwAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)))
        return ERROR_ACCESS_DENIED;
    // An image given on the command line may be in the folder: never replaced.
    for (const std::string& strImage : ImageDiskPaths())
    {
        HANDLE hImage = CreateFileW(WideFromUtf8(strImage).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
        HANDLE hTarget = CreateFileW(OutputPathW(strTarget).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
        BY_HANDLE_FILE_INFORMATION a = {}, b = {};
        const bool bSame = hImage != INVALID_HANDLE_VALUE && hTarget != INVALID_HANDLE_VALUE &&
                           GetFileInformationByHandle(hImage, &a) && GetFileInformationByHandle(hTarget, &b) &&
                           a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
                           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
        if (hImage != INVALID_HANDLE_VALUE)
            CloseHandle(hImage);
        if (hTarget != INVALID_HANDLE_VALUE)
            CloseHandle(hTarget);
        if (bSame)
            return ERROR_ACCESS_DENIED;
    }
    return 0;
}

HANDLE CreateOutputFile(const std::string& strTarget, DWORD dwAttributes)
{
    return CreateFileW(OutputPathW(strTarget).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                       dwAttributes, nullptr);
}

#else

DWORD TargetAttributes(const std::string& strPath)
{
    return GetFileAttributesA(strPath.c_str());
}

DWORD MakeFolder(const std::string& strPath)
{
    return CreateDirectoryA(strPath.c_str(), nullptr) ? 0 : GetLastError();
}

void RemoveOutput(const std::string& strTarget)
{
    DeleteFileA(strTarget.c_str());
}

DWORD CheckExistingTarget(const std::string& strTarget)
{
    struct stat st;
    if (lstat(strTarget.c_str(), &st) != 0)
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
        if (stat(strDisk.c_str(), &stDisk) == 0 && stDisk.st_dev == st.st_dev && stDisk.st_ino == st.st_ino)
            return ERROR_ACCESS_DENIED;
    }
    return 0;
}

HANDLE CreateOutputFile(const std::string& strTarget, DWORD dwAttributes)
{
    // A link put at the name after the test above is refused, not followed.
    return CreateFileA(strTarget.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                       dwAttributes | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

#endif

DWORD ProbeFolder(const std::string& strFolder, ETargetSystem eSystem)
{
    const DWORD dwAttributes = TargetAttributes(strFolder);
    if (dwAttributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError() ? GetLastError() : ERROR_PATH_NOT_FOUND;
    if (!(dwAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return ERROR_DIRECTORY;
    // A file made and removed at once: what the folder still takes.
    static unsigned s_nProbe = 0;
    const std::string strProbe = strFolder + (eSystem == eTargetWindows ? "\\" : "/") + ".salvix-probe-" +
                                 std::to_string(++s_nProbe);
    SetLastError(NO_ERROR);
    HANDLE hProbe = CreateOutputFile(strProbe, FILE_ATTRIBUTE_NORMAL);
    if (hProbe == INVALID_HANDLE_VALUE)
        return GetLastError() ? GetLastError() : ERROR_ACCESS_DENIED;
    CloseHandle(hProbe);
    RemoveOutput(strProbe);
    return 0;
}
