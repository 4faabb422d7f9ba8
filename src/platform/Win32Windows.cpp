// On Windows the real API stands behind Win32.h; this file adds the few
// helpers of Platform.h that need the system.
#ifdef _WIN32

#include "platform/Platform.h"

#include <mutex>
#include <string>
#include <vector>

namespace
{
std::mutex g_diskLock;
std::vector<std::string> g_vecImagePaths;
}  // namespace

void SetDiskPaths(const std::vector<std::string>& vecPaths)
{
    std::lock_guard<std::mutex> lock(g_diskLock);
    g_vecImagePaths.clear();
    for (const std::string& strPath : vecPaths)
        if (!strPath.empty())
            g_vecImagePaths.push_back(strPath);
}

std::string DiskPath(DWORD dwDisk)
{
    const std::string strName = SALVIX_DISK_PREFIX + std::to_string(dwDisk);
    // Opening with no access asks only whether the drive is there, so a drive
    // this user may not read still counts.
    HANDLE hDisk = CreateFileA(strName.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    if (hDisk == INVALID_HANDLE_VALUE)
    {
        const DWORD dwError = GetLastError();
        if (dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND)
            return std::string();
    }
    else
        CloseHandle(hDisk);
    return strName;
}

std::vector<std::string> ImageDiskPaths()
{
    std::lock_guard<std::mutex> lock(g_diskLock);
    return g_vecImagePaths;
}

std::string FirstDiskPath()
{
    return SALVIX_FIRST_DISK;
}

std::wstring WideFromUtf8(const std::string& str)
{
    if (str.empty())
        return std::wstring();
    const int nBytes = static_cast<int>(str.size());
    const int nChars = MultiByteToWideChar(CP_UTF8, 0, str.data(), nBytes, nullptr, 0);
    if (nChars <= 0)
        return std::wstring();
    std::wstring wstr(static_cast<size_t>(nChars), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, str.data(), nBytes, &wstr[0], nChars);
    return wstr;
}

std::string Utf8FromWide(const std::wstring& wstr)
{
    if (wstr.empty())
        return std::string();
    const int nChars = static_cast<int>(wstr.size());
    const int nBytes = WideCharToMultiByte(CP_UTF8, 0, wstr.data(), nChars, nullptr, 0, nullptr, nullptr);
    if (nBytes <= 0)
        return std::string();
    std::string str(static_cast<size_t>(nBytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wstr.data(), nChars, &str[0], nBytes, nullptr, nullptr);
    return str;
}

#endif  // _WIN32
