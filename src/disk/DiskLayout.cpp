#include "disk/DiskLayout.h"

#include "disk/Disk.h"
#include "disk/Gpt.h"
#include "platform/Platform.h"

#include <cstdio>

namespace
{

bool IsKnownSectorSize(DWORD dwSize)
{
    return dwSize == kSmallSectorSize || dwSize == kLargeSectorSize ||
           dwSize == 1024 || dwSize == 2048;
}

// A valid GPT header at LBA 1, or at the last LBA, for this sector size.
bool HasGptHeader(HANDLE hDisk, ULONGLONG qwDiskBytes, DWORD dwSectorSize)
{
    BYTE abySector[kLargeSectorSize];
    const ULONGLONG qwSectors = qwDiskBytes / dwSectorSize;
    if (qwSectors < 3)
        return false;
    CGptHeader header;
    for (ULONGLONG qwLba : {static_cast<ULONGLONG>(1), qwSectors - 1})
        if (ReadDeviceAt(hDisk, qwLba * dwSectorSize, abySector, dwSectorSize) == 0 &&
            ParseGptHeader(abySector, dwSectorSize, dwSectorSize, qwLba, qwSectors, header))
            return true;
    return false;
}

void Measure(CDiskSummary& disk)
{
    CDiskHandle handle(disk.m_dwDisk);
    if (handle.m_hDisk == INVALID_HANDLE_VALUE)
    {
        disk.m_dwError = GetLastError();
        return;
    }
    disk.m_dwError = GetDiskLayout(handle.m_hDisk, disk.m_dwSectorSize, disk.m_qwDiskBytes);
}

}  // namespace

DWORD QueryDiskGeometry(HANDLE hDisk, DWORD& dwSectorSize, ULONGLONG& qwDiskBytes, bool& bImage)
{
    DISK_GEOMETRY_EX geometry = {};
    DWORD dwReturned = 0;
    if (DeviceIoControl(hDisk, IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0, &geometry,
                        sizeof(geometry), &dwReturned, nullptr))
    {
        // A sector size the walk cannot use is taken for the common one.
        const DWORD dwBytes = geometry.Geometry.BytesPerSector;
        dwSectorSize = IsKnownSectorSize(dwBytes) ? dwBytes : kSmallSectorSize;
        qwDiskBytes = geometry.DiskSize.QuadPart > 0
                          ? static_cast<ULONGLONG>(geometry.DiskSize.QuadPart)
                          : 0;
        bImage = false;
        return 0;
    }
    LARGE_INTEGER size;
    if (!GetFileSizeEx(hDisk, &size))
        return GetLastError();
    dwSectorSize = kSmallSectorSize;
    qwDiskBytes = size.QuadPart > 0 ? static_cast<ULONGLONG>(size.QuadPart) : 0;
    bImage = true;
    return 0;
}

DWORD ImageSectorSize(HANDLE hDisk, ULONGLONG qwDiskBytes)
{
    if (HasGptHeader(hDisk, qwDiskBytes, kSmallSectorSize))
        return kSmallSectorSize;
    return HasGptHeader(hDisk, qwDiskBytes, kLargeSectorSize) ? kLargeSectorSize
                                                              : kSmallSectorSize;
}

DWORD GetDiskLayout(HANDLE hDisk, DWORD& dwSectorSize, ULONGLONG& qwDiskBytes)
{
    bool bImage = false;
    const DWORD dwError = QueryDiskGeometry(hDisk, dwSectorSize, qwDiskBytes, bImage);
    if (dwError == 0 && bImage)
        dwSectorSize = ImageSectorSize(hDisk, qwDiskBytes);
    return dwError;
}

std::vector<CDiskSummary> ListDisks()
{
    std::vector<CDiskSummary> vecDisks;
    for (DWORD dwDisk = 0; dwDisk < kMaxDisks; ++dwDisk)
    {
        const std::string strPath = DiskPath(dwDisk);
        if (strPath.empty())
            break;
        vecDisks.push_back({dwDisk, strPath, 0, 0, 0});
    }
    for (const std::string& strImage : ImageDiskPaths())
    {
        if (vecDisks.size() >= kMaxDisks)
            break;
        vecDisks.push_back({static_cast<DWORD>(vecDisks.size()), strImage, 0, 0, 0});
    }
    for (CDiskSummary& disk : vecDisks)
        Measure(disk);
    return vecDisks;
}

std::string FormatDiskSize(ULONGLONG qwBytes)
{
    static const struct
    {
        ULONGLONG m_qwUnit;
        const char* m_pszName;
    } kUnits[] = {{1000000000000ull, "TB"}, {1000000000ull, "GB"}, {1000000ull, "MB"}, {1000ull, "KB"}};
    char szText[48];
    for (const auto& unit : kUnits)
    {
        if (qwBytes < unit.m_qwUnit)
            continue;
        // Tenths of the unit, rounded; the sum cannot overflow, as qwBytes / 10 does not.
        const ULONGLONG qwStep = unit.m_qwUnit / 10;
        const ULONGLONG qwTenths = qwBytes / qwStep + (qwBytes % qwStep >= qwStep / 2 ? 1 : 0);
        if (qwTenths < 100 && qwTenths % 10 != 0)
            snprintf(szText, sizeof(szText), "%llu.%llu %s",
                     static_cast<unsigned long long>(qwTenths / 10),
                     static_cast<unsigned long long>(qwTenths % 10), unit.m_pszName);
        else
            snprintf(szText, sizeof(szText), "%llu %s",
                     static_cast<unsigned long long>(qwBytes / unit.m_qwUnit +
                                                     (qwBytes % unit.m_qwUnit >= unit.m_qwUnit / 2)),
                     unit.m_pszName);
        return szText;
    }
    snprintf(szText, sizeof(szText), "%llu bytes", static_cast<unsigned long long>(qwBytes));
    return szText;
}

std::string DiskNodeText(const CDiskSummary& disk)
{
    std::string strText = "Disk " + std::to_string(disk.m_dwDisk) + ": " + disk.m_strName;
    if (disk.m_dwError == 0)
        strText += ", " + FormatDiskSize(disk.m_qwDiskBytes);
    return strText;
}
