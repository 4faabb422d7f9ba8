#include "session/PartitionTip.h"

#include "disk/Disk.h"
#include "disk/DiskLayout.h"
#include "disk/FileSystemProbe.h"
#include "ntfs/NTFSDrive.h"
#include "ntfs/VolumeLabel.h"

#include <cstring>

namespace
{

// What the walk records: the 64-bit first sector in the disk's sector size,
// or, for a record without a sector size, the 32-bit one in 512-byte sectors.
DWORD SectorSizeOf(const PartitionRecord& partition)
{
    return partition.dwSectorSize != 0 ? partition.dwSectorSize : kSmallSectorSize;
}

ULONGLONG FirstSectorOf(const PartitionRecord& partition)
{
    return partition.dwSectorSize != 0 ? partition.qwFirstSector : partition.dwFirstSector;
}

DWORD ReadNtfsLabel(HANDLE hDisk, const PartitionRecord& partition, std::string& strLabel)
{
    CNTFSDrive drive;
    drive.AttachDevice(hDisk);
    drive.SetVolumeStartEx(FirstSectorOf(partition), SectorSizeOf(partition));
    if (DWORD dwError = drive.OpenVolume())
        return dwError;
    return ReadVolumeLabel(drive, strLabel);
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
    const PartitionRecord& partition = target.m_partition;
    const ULONGLONG qwFirst = FirstSectorOf(partition);
    const DWORD dwSectorSize = SectorSizeOf(partition);
    if (qwFirst > ~0ull / dwSectorSize)
        return ERROR_NEGATIVE_SEEK;
    BYTE abyBoot[kSmallSectorSize];
    if (DWORD dwError = ReadDeviceAt(disk.m_hDisk, qwFirst * dwSectorSize, abyBoot, sizeof(abyBoot)))
        return dwError;
    const char* pszFileSystem = ProbeFileSystem(abyBoot, sizeof(abyBoot));
    if (pszFileSystem && strcmp(pszFileSystem, "NTFS") == 0)
        return ReadNtfsLabel(disk.m_hDisk, partition, strLabel);
    // FAT keeps its label in the boot sector and the root folder's label
    // entry, exFAT in the root's label entry: read here once those file
    // systems are read at all.
    return ERROR_NOT_SUPPORTED;
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
