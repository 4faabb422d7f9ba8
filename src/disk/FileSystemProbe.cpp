#include "disk/FileSystemProbe.h"

#include "disk/ByteOrder.h"

#include <cstring>

namespace
{

const size_t kOemName = 3;  // 8 bytes

// The BIOS parameter block that every FAT boot sector begins with.
const size_t kBytesPerSector = 0x0B;     // 2
const size_t kSectorsPerCluster = 0x0D;  // 1
const size_t kReservedSectors = 0x0E;    // 2
const size_t kFatCount = 0x10;           // 1
const size_t kRootEntries = 0x11;        // 2
const size_t kTotalSectors16 = 0x13;     // 2
const size_t kMedia = 0x15;              // 1
const size_t kFatSize16 = 0x16;          // 2
const size_t kTotalSectors32 = 0x20;     // 4
const size_t kFatSize32 = 0x24;          // 4, FAT32 only
const size_t kFatBpbEnd = 0x28;

// Cluster counts at which FAT12 turns to FAT16 and FAT16 to FAT32.
const ULONGLONG kFat16MinClusters = 4085;
const ULONGLONG kFat32MinClusters = 65525;

bool IsPowerOfTwo(DWORD dwValue)
{
    return dwValue != 0 && (dwValue & (dwValue - 1)) == 0;
}

// A jump instruction, then parameters a FAT driver would accept.
bool IsSaneFatBpb(const BYTE* p)
{
    const bool bJump = (p[0] == 0xEB && p[2] == 0x90) || p[0] == 0xE9;
    const DWORD dwBytesPerSector = ReadLE16(p, kBytesPerSector);
    const BYTE byMedia = p[kMedia];
    return bJump && IsPowerOfTwo(dwBytesPerSector) && dwBytesPerSector >= 512 &&
           dwBytesPerSector <= 4096 && IsPowerOfTwo(p[kSectorsPerCluster]) &&
           ReadLE16(p, kReservedSectors) != 0 && p[kFatCount] != 0 &&
           (byMedia == 0xF0 || byMedia >= 0xF8);
}

const char* FatType(const BYTE* p)
{
    if (!IsSaneFatBpb(p))
        return nullptr;
    const DWORD dwBytesPerSector = ReadLE16(p, kBytesPerSector);
    const DWORD dwFatSize16 = ReadLE16(p, kFatSize16);
    const ULONGLONG qwFatSize = dwFatSize16 ? dwFatSize16 : ReadLE32(p, kFatSize32);
    const DWORD dwTotal16 = ReadLE16(p, kTotalSectors16);
    const ULONGLONG qwTotal = dwTotal16 ? dwTotal16 : ReadLE32(p, kTotalSectors32);
    const ULONGLONG qwRootSectors =
        (static_cast<ULONGLONG>(ReadLE16(p, kRootEntries)) * 32 + dwBytesPerSector - 1) /
        dwBytesPerSector;
    // All terms are at most 32 bits wide times 255: no overflow in 64 bits.
    const ULONGLONG qwMeta = ReadLE16(p, kReservedSectors) + p[kFatCount] * qwFatSize + qwRootSectors;
    if (qwFatSize == 0 || qwTotal <= qwMeta)
        return nullptr;
    const ULONGLONG qwClusters = (qwTotal - qwMeta) / p[kSectorsPerCluster];
    if (qwClusters < kFat16MinClusters)
        return "FAT12";
    if (qwClusters < kFat32MinClusters)
        return "FAT16";
    // A FAT32 volume keeps its FAT size in the FAT32 field only.
    return dwFatSize16 == 0 ? "FAT32" : nullptr;
}

}  // namespace

const char* ProbeFileSystem(const BYTE* pSector, size_t nSize)
{
    if (!pSector || nSize < kFatBpbEnd)
        return nullptr;
    if (memcmp(pSector + kOemName, "NTFS    ", 8) == 0)
        return "NTFS";
    if (memcmp(pSector + kOemName, "EXFAT   ", 8) == 0)
        return "exFAT";
    return FatType(pSector);
}
