#include "session/TargetPath.h"

#include "platform/Platform.h"

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
const size_t kPosixNameMax = 255;
const size_t kPosixPathMax = 4095;

// The attributes a new file can be given. Everything else in the $FILE_NAME
// flags either acts as a creation flag (0x10000000 is how NTFS marks a
// directory, and is FILE_FLAG_RANDOM_ACCESS to CreateFile) or describes a
// storage form that the copied bytes do not have.
const DWORD kCreatableAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
    FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_TEMPORARY |
    FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// The code points of UTF-8 text; a broken sequence counts as U+FFFD.
std::vector<DWORD> CodePoints(const std::string& str)
{
    std::vector<DWORD> vec;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(str.data());
    const size_t n = str.size();
    for (size_t i = 0; i < n;)
    {
        const unsigned char by = p[i];
        const int nMore = by < 0x80 ? 0 : by >= 0xF0 ? 3 : by >= 0xE0 ? 2 : by >= 0xC0 ? 1 : -1;
        DWORD dwCode = nMore == 0 ? by : by & (0x3F >> nMore);
        bool bOk = nMore >= 0 && i + nMore < n;
        for (int k = 1; bOk && k <= nMore; ++k)
        {
            bOk = (p[i + k] & 0xC0) == 0x80;
            dwCode = (dwCode << 6) | (p[i + k] & 0x3F);
        }
        vec.push_back(bOk ? dwCode : 0xFFFD);
        i += bOk ? nMore + 1 : 1;
    }
    return vec;
}

bool IsControl(DWORD dwCode)
{
    return dwCode < 0x20 || (dwCode >= 0x7F && dwCode <= 0x9F);
}

DWORD AsciiUpper(DWORD dwCode)
{
    return dwCode >= 'a' && dwCode <= 'z' ? dwCode - 'a' + 'A' : dwCode;
}

// CON, PRN, AUX, NUL, COM1-9 and LPT1-9 name devices on Windows, with any
// extension and any case; "COM" and "LPT" also take the superscript digits.
bool IsWindowsDeviceName(const std::vector<DWORD>& vecCodes)
{
    size_t nBase = 0;
    while (nBase < vecCodes.size() && vecCodes[nBase] != '.')
        ++nBase;
    while (nBase > 0 && vecCodes[nBase - 1] == ' ')
        --nBase;
    if (nBase < 3 || nBase > 4)
        return false;
    std::string strBase;
    for (size_t i = 0; i < 3; ++i)
        strBase += static_cast<char>(AsciiUpper(vecCodes[i]) & 0xFF);
    if (nBase == 3)
        return strBase == "CON" || strBase == "PRN" || strBase == "AUX" || strBase == "NUL";
    const DWORD dwDigit = vecCodes[3];
    const bool bDigit = (dwDigit >= '1' && dwDigit <= '9') || dwDigit == 0xB9 || dwDigit == 0xB2 ||
                        dwDigit == 0xB3;
    return bDigit && (strBase == "COM" || strBase == "LPT");
}

}  // namespace

size_t Utf16Length(const std::string& str)
{
    size_t n = 0;
    for (DWORD dwCode : CodePoints(str))
        n += dwCode >= 0x10000 ? 2 : 1;
    return n;
}

DWORD CheckEntryName(const std::string& strName, ETargetSystem eSystem)
{
    if (strName.empty() || strName == "." || strName == "..")
        return ERROR_INVALID_NAME;
    const std::vector<DWORD> vecCodes = CodePoints(strName);
    for (DWORD dwCode : vecCodes)
    {
        if (dwCode == '/' || dwCode == '\\' || IsControl(dwCode))
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

DWORD BuildTargetPath(const std::string& strFolder, const std::string& strName,
                      std::string& strTarget, ETargetSystem eSystem)
{
    strTarget.clear();
    if (strFolder.empty())
        return ERROR_PATH_NOT_FOUND;  // no folder chosen: never the root by accident
    if (DWORD dwError = CheckEntryName(strName, eSystem))
        return dwError;
    std::string strPath = strFolder + (eSystem == eTargetWindows ? '\\' : '/') + strName;
    const bool bTooLong = eSystem == eTargetWindows
                              ? Utf16Length(strPath) > MAX_PATH - 1
                              : strName.size() > kPosixNameMax || strPath.size() > kPosixPathMax;
    if (bTooLong)
        return ERROR_FILENAME_EXCED_RANGE;
    strTarget = std::move(strPath);
    return 0;
}

DWORD OutputFileFlags(DWORD dwFileFlags)
{
    return dwFileFlags & kCreatableAttributes;
}

#ifdef _WIN32

DWORD CheckExistingTarget(const std::string& strTarget)
{
    const DWORD dwAttributes = GetFileAttributesW(WideFromUtf8(strTarget).c_str());
    if (dwAttributes != INVALID_FILE_ATTRIBUTES &&
        (dwAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)))
        return ERROR_ACCESS_DENIED;
    // An image given on the command line may be in the folder: never replaced.
    for (const std::string& strImage : ImageDiskPaths())
    {
        HANDLE hImage = CreateFileW(WideFromUtf8(strImage).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
        HANDLE hTarget = CreateFileW(WideFromUtf8(strTarget).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
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
    return CreateFileW(WideFromUtf8(strTarget).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                       dwAttributes, nullptr);
}

#else

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
