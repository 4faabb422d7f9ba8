#include "disk/Disk.h"

#include "platform/Platform.h"

#include <vector>

std::string DiskOpenName(DWORD dwDisk)
{
    // Images on the command line come after the drives, where the system has
    // drives of its own; elsewhere the platform maps every drive name.
    const std::vector<std::string> vecImages = ImageDiskPaths();
    if (vecImages.empty())
        return dwDisk < kMaxDisks ? SALVIX_DISK_PREFIX + std::to_string(dwDisk) : std::string();
    DWORD dwDrives = 0;
    while (dwDrives < kMaxDisks && !DiskPath(dwDrives).empty())
        ++dwDrives;
    if (dwDisk < dwDrives)
        return SALVIX_DISK_PREFIX + std::to_string(dwDisk);
    if (dwDisk - dwDrives < vecImages.size())
        return vecImages[dwDisk - dwDrives];
    return std::string();
}

HANDLE OpenDisk(DWORD dwDisk)
{
    const std::string strName = DiskOpenName(dwDisk);
    if (strName.empty())
    {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
#ifdef _WIN32
    // An image's path is UTF-8: the wide call opens it whatever the code page.
    return CreateFileW(WideFromUtf8(strName).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, 0, nullptr);
#else
    return CreateFileA(strName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
#endif
}

HANDLE OpenFirstDisk()
{
    return OpenDisk(0);
}
