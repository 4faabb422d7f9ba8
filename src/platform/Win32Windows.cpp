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

std::wstring WidePath(const std::string& strPath)
{
    const int nBytes = static_cast<int>(strPath.size());
    const int nUnits = nBytes ? MultiByteToWideChar(CP_UTF8, 0, strPath.data(), nBytes, nullptr, 0) : 0;
    std::wstring wstrPath(static_cast<size_t>(nUnits > 0 ? nUnits : 0), L'\0');
    if (nUnits > 0)
        MultiByteToWideChar(CP_UTF8, 0, strPath.data(), nBytes, &wstrPath[0], nUnits);
    return wstrPath;
}

#endif  // _WIN32
