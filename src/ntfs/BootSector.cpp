#include "ntfs/FieldOffsets.h"
#include "ntfs/StructureParsers.h"

#include <cstring>

namespace ntfs
{

namespace
{
// Record sizes this program accepts: powers of two from 1 KiB to 64 KiB.
const DWORD kMinRecordSize = 1024;
const DWORD kMaxRecordSize = 65536;
// Sectors per cluster: the byte itself up to 0x80; above, the exponent of a
// power of two stored negated (0xF8: 2^8 sectors).
DWORD ClusterSizeOf(DWORD dwBytesPerSector, BYTE bySectorsPerCluster)
{
    ULONGLONG n64Sectors = bySectorsPerCluster;
    if (bySectorsPerCluster > 0x80)
    {
        const DWORD dwShift = 256u - bySectorsPerCluster;
        if (dwShift > 31)
            return 0;
        n64Sectors = 1ull << dwShift;
    }
    const ULONGLONG n64Size = n64Sectors * dwBytesPerSector;
    return n64Size > kMaxClusterSize ? 0 : static_cast<DWORD>(n64Size);
}

}  // namespace

DWORD RecordSizeFromCode(signed char chCode, DWORD dwClusterSize)
{
    ULONGLONG n64Size = 0;
    if (chCode < 0)
    {
        if (chCode < -31)
            return 0;
        n64Size = 1ull << -chCode;
    }
    else if (chCode > 0)
    {
        n64Size = static_cast<ULONGLONG>(chCode) * dwClusterSize;
    }
    if (n64Size < kMinRecordSize || n64Size > kMaxRecordSize || (n64Size & (n64Size - 1)) != 0)
        return 0;
    return static_cast<DWORD>(n64Size);
}

DWORD ParseBootSector(const BYTE* pSector, size_t nSize, CBootSector& boot)
{
    // Bytes that did not arrive are not boot-sector content.
    if (!pSector || nSize < kBootSectorSize)
        return ERROR_READ_FAULT;
    if (memcmp(pSector + kBootOemId, "NTFS", 4) != 0)
        return ERROR_INVALID_DRIVE;
    boot.m_dwBytesPerSector = ReadLE16(pSector + kBootBytesPerSector);
    boot.m_dwClusterSize = ClusterSizeOf(boot.m_dwBytesPerSector, pSector[kBootSectorsPerCluster]);
    boot.m_dwRecordSize = RecordSizeFromCode(static_cast<signed char>(pSector[kBootRecordSizeCode]),
                                             boot.m_dwClusterSize);
    boot.m_n64MftCluster = ReadLE64(pSector + kBootMftCluster);
    boot.m_n64TotalSectors = ReadLE64(pSector + kBootTotalSectors);
    boot.m_n64VolumeClusters = 0;
    if (boot.m_dwClusterSize != 0 && boot.m_n64TotalSectors <= ~0ull / boot.m_dwBytesPerSector)
        boot.m_n64VolumeClusters = boot.m_n64TotalSectors * boot.m_dwBytesPerSector / boot.m_dwClusterSize;
    return 0;
}

void ApplyBootSector(const CBootSector& boot, CVolumeGeometry& geometry)
{
    geometry.m_dwClusterSize = boot.m_dwClusterSize;
    geometry.m_n64Clusters = boot.m_n64VolumeClusters;
}

}  // namespace ntfs
