// The boot sectors of FAT12/16/32 and exFAT, checked field by field.
#include "fat/FatStructures.h"

#include "disk/ByteOrder.h"

#include <cstring>

namespace fat
{

namespace
{

// FAT boot sector fields (BIOS parameter block).
const size_t kBpbBytesPerSector = 11;
const size_t kBpbSectorsPerCluster = 13;
const size_t kBpbReserved = 14;
const size_t kBpbFatCount = 16;
const size_t kBpbRootEntries = 17;
const size_t kBpbTotal16 = 19;
const size_t kBpbFatSize16 = 22;
const size_t kBpbTotal32 = 32;
const size_t kBpbFatSize32 = 36;
const size_t kBpbRootCluster32 = 44;
const size_t kBpbLabel16 = 43;
const size_t kBpbLabel32 = 71;
const size_t kBootSignature = 510;

// exFAT boot sector fields.
const size_t kExVolumeLength = 72;
const size_t kExFatOffset = 80;
const size_t kExFatLength = 84;
const size_t kExHeapOffset = 88;
const size_t kExClusterCount = 92;
const size_t kExRootCluster = 96;
const size_t kExVolumeFlags = 106;
const size_t kExSectorShift = 108;
const size_t kExClusterShift = 109;
const size_t kExFatCount = 110;

const DWORD kMaxClusterBytes = 32u << 20;
const DWORD kMaxFat32Clusters = 0x0FFFFFF5u - 2;
const DWORD kMaxExfatClusters = 0xFFFFFFF5u - 2;

bool IsPowerOfTwo(DWORD dw) { return dw != 0 && (dw & (dw - 1)) == 0; }

// Clusters the FAT of n64FatBytes can map, past the two reserved entries.
ULONGLONG ClustersMapped(EFatKind eKind, ULONGLONG n64FatBytes)
{
    ULONGLONG n64Entries = 0;
    if (eKind == eKindFat12)
        n64Entries = n64FatBytes * 2 / 3;
    else if (eKind == eKindFat16)
        n64Entries = n64FatBytes / 2;
    else
        n64Entries = n64FatBytes / 4;
    return n64Entries > kFirstCluster ? n64Entries - kFirstCluster : 0;
}

void CopyLabel(const BYTE* p, char* pszLabel)
{
    memcpy(pszLabel, p, 11);
    pszLabel[11] = 0;
    for (int i = 10; i >= 0 && (pszLabel[i] == ' ' || pszLabel[i] == 0); --i)
        pszLabel[i] = 0;
}

// The regions in order (reserved, FATs, root, data) lie inside the volume.
DWORD CheckRegions(CFatBoot& boot, ULONGLONG n64DataSectors)
{
    if (boot.m_n64DataSector > boot.m_n64TotalSectors)
        return ERROR_INVALID_DRIVE;
    const DWORD dwSectorsPerCluster = boot.m_dwClusterSize / boot.m_dwBytesPerSector;
    ULONGLONG n64Clusters = n64DataSectors / dwSectorsPerCluster;
    const ULONGLONG n64Mapped = ClustersMapped(boot.m_eKind, boot.m_n64FatSectors * boot.m_dwBytesPerSector);
    if (n64Clusters > n64Mapped)
        n64Clusters = n64Mapped;
    const ULONGLONG n64Max = boot.m_eKind == eKindExfat ? kMaxExfatClusters : kMaxFat32Clusters;
    if (n64Clusters == 0 || n64Clusters > n64Max)
        return ERROR_INVALID_DRIVE;
    boot.m_dwClusterCount = static_cast<DWORD>(n64Clusters);
    return 0;
}

}  // namespace

const char* KindName(EFatKind eKind)
{
    switch (eKind)
    {
    case eKindFat12: return "FAT12";
    case eKindFat16: return "FAT16";
    case eKindFat32: return "FAT32";
    case eKindExfat: return "exFAT";
    default: return "";
    }
}

DWORD ParseFatBootSector(const BYTE* p, size_t nSize, CFatBoot& boot)
{
    if (!p || nSize < 512)
        return ERROR_READ_FAULT;
    CFatBoot b;
    b.m_dwBytesPerSector = ReadLE16(p, kBpbBytesPerSector);
    const DWORD dwSectorsPerCluster = p[kBpbSectorsPerCluster];
    const DWORD dwReserved = ReadLE16(p, kBpbReserved);
    b.m_dwFatCount = p[kBpbFatCount];
    b.m_dwRootEntries = ReadLE16(p, kBpbRootEntries);
    const DWORD dwTotal16 = ReadLE16(p, kBpbTotal16);
    const DWORD dwFatSize16 = ReadLE16(p, kBpbFatSize16);
    if ((p[0] != 0xEB && p[0] != 0xE9) || ReadLE16(p, kBootSignature) != 0xAA55)
        return ERROR_INVALID_DRIVE;
    if (!IsPowerOfTwo(b.m_dwBytesPerSector) || b.m_dwBytesPerSector < 512 || b.m_dwBytesPerSector > 4096 ||
        !IsPowerOfTwo(dwSectorsPerCluster) || dwReserved == 0 || b.m_dwFatCount == 0)
        return ERROR_INVALID_DRIVE;
    b.m_dwClusterSize = b.m_dwBytesPerSector * dwSectorsPerCluster;
    if (b.m_dwClusterSize > kMaxClusterBytes)
        return ERROR_INVALID_DRIVE;
    b.m_n64TotalSectors = dwTotal16 ? dwTotal16 : ReadLE32(p, kBpbTotal32);
    b.m_n64FatSectors = dwFatSize16 ? dwFatSize16 : ReadLE32(p, kBpbFatSize32);
    if (b.m_n64FatSectors == 0)
        return ERROR_INVALID_DRIVE;
    const ULONGLONG n64RootSectors =
        (static_cast<ULONGLONG>(b.m_dwRootEntries) * kDirEntrySize + b.m_dwBytesPerSector - 1) / b.m_dwBytesPerSector;
    b.m_n64FatSector = dwReserved;
    b.m_n64RootSector = dwReserved + b.m_dwFatCount * b.m_n64FatSectors;
    b.m_n64DataSector = b.m_n64RootSector + n64RootSectors;
    if (b.m_n64DataSector > b.m_n64TotalSectors)
        return ERROR_INVALID_DRIVE;
    // Microsoft's rule: the cluster count alone says which FAT this is.
    const ULONGLONG n64Clusters = (b.m_n64TotalSectors - b.m_n64DataSector) / dwSectorsPerCluster;
    b.m_eKind = n64Clusters < 4085 ? eKindFat12 : n64Clusters < 65525 ? eKindFat16 : eKindFat32;
    if (b.m_eKind == eKindFat32)
    {
        if (b.m_dwRootEntries != 0)
            return ERROR_INVALID_DRIVE;
        b.m_dwRootCluster = ReadLE32(p, kBpbRootCluster32) & 0x0FFFFFFF;
        CopyLabel(p + kBpbLabel32, b.m_szLabel);
    }
    else
    {
        if (b.m_dwRootEntries == 0)
            return ERROR_INVALID_DRIVE;
        CopyLabel(p + kBpbLabel16, b.m_szLabel);
    }
    if (DWORD dwError = CheckRegions(b, b.m_n64TotalSectors - b.m_n64DataSector))
        return dwError;
    if (b.m_eKind == eKindFat32 &&
        (b.m_dwRootCluster < kFirstCluster || b.m_dwRootCluster - kFirstCluster >= b.m_dwClusterCount))
        return ERROR_INVALID_DRIVE;
    boot = b;
    return 0;
}

DWORD ParseExfatBootSector(const BYTE* p, size_t nSize, CFatBoot& boot)
{
    if (!p || nSize < 512)
        return ERROR_READ_FAULT;
    if (memcmp(p + 3, "EXFAT   ", 8) != 0 || ReadLE16(p, kBootSignature) != 0xAA55)
        return ERROR_INVALID_DRIVE;
    CFatBoot b;
    b.m_eKind = eKindExfat;
    const DWORD dwSectorShift = p[kExSectorShift];
    const DWORD dwClusterShift = p[kExClusterShift];
    if (dwSectorShift < 9 || dwSectorShift > 12 || dwSectorShift + dwClusterShift > 25)
        return ERROR_INVALID_DRIVE;
    b.m_dwBytesPerSector = 1u << dwSectorShift;
    b.m_dwClusterSize = 1u << (dwSectorShift + dwClusterShift);
    b.m_n64TotalSectors = ReadLE64(p, kExVolumeLength);
    b.m_dwFatCount = p[kExFatCount];
    if (b.m_dwFatCount != 1 && b.m_dwFatCount != 2)
        return ERROR_INVALID_DRIVE;
    b.m_n64FatSectors = ReadLE32(p, kExFatLength);
    b.m_n64FatSector = ReadLE32(p, kExFatOffset);
    // With two FATs a flag says which one is active.
    if (b.m_dwFatCount == 2 && (ReadLE16(p, kExVolumeFlags) & 1))
        b.m_n64FatSector += b.m_n64FatSectors;
    b.m_n64DataSector = ReadLE32(p, kExHeapOffset);
    if (b.m_n64FatSectors == 0 || b.m_n64FatSector < 24 ||
        b.m_n64FatSector + b.m_n64FatSectors > b.m_n64DataSector)
        return ERROR_INVALID_DRIVE;
    const ULONGLONG n64Stated = ReadLE32(p, kExClusterCount);
    if (b.m_n64DataSector > b.m_n64TotalSectors)
        return ERROR_INVALID_DRIVE;
    const ULONGLONG n64HeapSectors = b.m_n64TotalSectors - b.m_n64DataSector;
    const ULONGLONG n64SectorsPerCluster = 1ull << dwClusterShift;
    // The stated count, where the volume holds that many.
    const ULONGLONG n64Fits = n64HeapSectors / n64SectorsPerCluster;
    if (DWORD dwError = CheckRegions(b, (n64Stated < n64Fits ? n64Stated : n64Fits) * n64SectorsPerCluster))
        return dwError;
    b.m_dwRootCluster = ReadLE32(p, kExRootCluster);
    if (b.m_dwRootCluster < kFirstCluster || b.m_dwRootCluster - kFirstCluster >= b.m_dwClusterCount)
        return ERROR_INVALID_DRIVE;
    boot = b;
    return 0;
}

DWORD ExfatBootChecksum(const BYTE* pRegion, size_t nSize)
{
    DWORD dwSum = 0;
    for (size_t i = 0; i < nSize; ++i)
    {
        if (i == 106 || i == 107 || i == 112)
            continue;
        dwSum = ((dwSum & 1) ? 0x80000000u : 0) + (dwSum >> 1) + pRegion[i];
    }
    return dwSum;
}

DWORD ParseBootSector(const BYTE* pSector, size_t nSize, CFatBoot& boot)
{
    if (pSector && nSize >= 11 && memcmp(pSector + 3, "EXFAT   ", 8) == 0)
        return ParseExfatBootSector(pSector, nSize, boot);
    return ParseFatBootSector(pSector, nSize, boot);
}

// ---- FAT entries ---------------------------------------------------------------

ULONGLONG FatEntryOffset(EFatKind eKind, DWORD dwCluster)
{
    switch (eKind)
    {
    case eKindFat12: return static_cast<ULONGLONG>(dwCluster) + dwCluster / 2;
    case eKindFat16: return static_cast<ULONGLONG>(dwCluster) * 2;
    default: return static_cast<ULONGLONG>(dwCluster) * 4;
    }
}

bool ReadFatEntry(const BYTE* pFat, size_t nSize, EFatKind eKind, DWORD dwBase, DWORD dwCluster,
                  DWORD& dwValue)
{
    if (!pFat || dwCluster < dwBase || eKind == eKindNone)
        return false;
    const ULONGLONG n64Base = FatEntryOffset(eKind, dwBase);
    const ULONGLONG n64Off = FatEntryOffset(eKind, dwCluster) - n64Base;
    const size_t nWidth = eKind == eKindFat12 || eKind == eKindFat16 ? 2 : 4;
    if (eKind == eKindFat12 && (dwBase & 1))
        return false;  // a piece of a FAT12 starts on an even entry
    if (n64Off > nSize || nWidth > nSize - n64Off)
        return false;
    const size_t nOff = static_cast<size_t>(n64Off);
    switch (eKind)
    {
    case eKindFat12:
    {
        const DWORD dwWord = ReadLE16(pFat, nOff);
        dwValue = (dwCluster & 1) ? dwWord >> 4 : dwWord & 0x0FFF;
        break;
    }
    case eKindFat16: dwValue = ReadLE16(pFat, nOff); break;
    case eKindFat32: dwValue = ReadLE32(pFat, nOff) & 0x0FFFFFFF; break;
    default: dwValue = ReadLE32(pFat, nOff); break;
    }
    return true;
}

DWORD ChainEndValue(EFatKind eKind)
{
    switch (eKind)
    {
    case eKindFat12: return 0x0FF7;
    case eKindFat16: return 0xFFF7;
    case eKindFat32: return 0x0FFFFFF7;
    default: return 0xFFFFFFF7;
    }
}

}  // namespace fat
