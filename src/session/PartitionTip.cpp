#include "session/PartitionTip.h"

#include "disk/Disk.h"
#include "disk/DiskLayout.h"
#include "session/FileSystems.h"

namespace
{

// What the walk records: the 64-bit first sector in the disk's sector size,
// or, for a record without a sector size, the 32-bit one in 512-byte sectors.
DWORD SectorSizeOf(const PartitionRecord& partition)
{
    return partition.dwSectorSize != 0 ? partition.dwSectorSize : kSmallSectorSize;
}

}  // namespace

ULONGLONG PartitionBytes(const PartitionRecord& partition)
{
    return static_cast<ULONGLONG>(partition.dwSectorCount) * SectorSizeOf(partition);
}

DWORD ReadPartitionLabel(const CScanTarget& target, std::string& strLabel)
{
    strLabel.clear();
    CDiskHandle disk(target.m_dwDisk);
    if (disk.m_hDisk == INVALID_HANDLE_VALUE)
        return GetLastError();
    CVolumeGeometry geometry;
    if (!GeometryOf(target.m_partition, geometry))
        return ERROR_NEGATIVE_SEEK;
    const DWORD dwError = ReadFileSystemLabel(disk.m_hDisk, geometry, strLabel);
    // A volume of no file system this program reads has no label to show.
    return dwError == ERROR_INVALID_DRIVE ? ERROR_NOT_SUPPORTED : dwError;
}

std::string PartitionTipText(ULONGLONG qwBytes, DWORD dwLabelCode, const std::string& strLabel)
{
    std::string strText = "Size: " + FormatDiskSize(qwBytes);
    if (dwLabelCode == ERROR_NOT_SUPPORTED)
        return strText;
    strText += "\nVolume label: ";
    if (dwLabelCode != 0)
        return strText + "could not be read";
    return strText + (strLabel.empty() ? std::string("none") : strLabel);
}

std::string PartitionTip(const CScanTarget& target)
{
    std::string strLabel;
    const DWORD dwCode = ReadPartitionLabel(target, strLabel);
    return PartitionTipText(PartitionBytes(target.m_partition), dwCode, strLabel);
}
