#include "disk/PartitionTable.h"

#include "disk/ByteOrder.h"
#include "disk/Disk.h"
#include "disk/DiskLayout.h"
#include "disk/FileSystemProbe.h"
#include "disk/Gpt.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cstdio>
#include <memory>

namespace
{

// A partition table sector: four 16-byte entries at offset 446. Only its
// first 512 bytes are read, whatever the disk's sector size.
const DWORD kTableSectorSize = 512;
const DWORD kTableOffset = 0x1BE;
const DWORD kEntrySize = 16;
const int kEntryCount = 4;

// Fields of one entry, by offset within it (the rest is never read).
const DWORD kEntryStartHead = 1;    // 1 byte
const DWORD kEntrySectorByte = 2;   // 1 byte: sector bits 0-5, cylinder bits 8-9 in 6-7
const DWORD kEntryCylinderLow = 3;  // 1 byte
const DWORD kEntryType = 4;         // 1 byte
const DWORD kEntryFirstSector = 8;  // 4 bytes
const DWORD kEntrySectorCount = 12; // 4 bytes

const BYTE kTypeEmpty = 0;
const BYTE kTypeExtended = 5;
const BYTE kTypeExtendedLba = 15;
const BYTE kTypeProtective = 0xEE;

const WORD kKindOrdinary = 1;

// A chain of extended boot records may loop back on itself; this bounds it.
const int kMaxExtendedRecords = 50;

// Reads one table sector at the current position: 0, the read's own code,
// or ERROR_READ_FAULT when fewer than 512 bytes arrive.
DWORD ReadTableSector(HANDLE hDisk, BYTE* pSector)
{
    DWORD dwRead = 0;
    if (!ReadDevice(hDisk, pSector, kTableSectorSize, &dwRead))
        return GetLastError();
    if (dwRead < kTableSectorSize)
        return ERROR_READ_FAULT;
    return 0;
}

const BYTE kBootActive = 0x80;

// The file system the first sector of a partition shows; null when it
// shows none or cannot be read.
const char* ProbePartition(HANDLE hDisk, ULONGLONG qwFirstSector, DWORD dwSectorSize)
{
    BYTE abyBoot[kTableSectorSize];
    if (qwFirstSector > ~0ull / dwSectorSize ||
        ReadDeviceAt(hDisk, qwFirstSector * dwSectorSize, abyBoot, sizeof(abyBoot)) != 0)
        return nullptr;
    return ProbeFileSystem(abyBoot, sizeof(abyBoot));
}

// The label of a partition: the file system its first sector shows, else its
// type byte's.
const char* PartitionLabel(HANDLE hDisk, ULONGLONG qwFirstSector, DWORD dwSectorSize, BYTE byType)
{
    const char* pszFileSystem = ProbePartition(hDisk, qwFirstSector, dwSectorSize);
    return pszFileSystem ? pszFileSystem : PartitionTypeLabel(byType);
}

class CTableWalk
{
public:
    CTableWalk(HANDLE hDisk, const FnAddDriveItem& fnAddItem, DWORD dwSectorSize)
        : m_hDisk(hDisk), m_fnAddItem(fnAddItem), m_dwSectorSize(dwSectorSize)
    {
    }

    // Lists every ordinary entry of one table in slot order; an empty slot is
    // passed over, never the end of the table. Their first sectors are taken
    // relative to dwBase (32-bit sums that wrap). True when the table holds a
    // link (an extended entry): dwLinkValue then holds the first one's
    // first-sector value, where the chain goes on.
    bool ReadTable(const BYTE* pSector, DWORD dwBase, DWORD& dwLinkValue)
    {
        bool bLink = false;
        for (int i = 0; i < kEntryCount; ++i)
        {
            const BYTE* pEntry = pSector + kTableOffset + i * kEntrySize;
            const BYTE byType = pEntry[kEntryType];
            const DWORD dwValue = ReadLE32(pEntry, kEntryFirstSector);
            if (byType == kTypeEmpty)
                continue;
            if (byType == kTypeExtended || byType == kTypeExtendedLba)
            {
                if (!bLink)
                    dwLinkValue = dwValue;
                bLink = true;
                continue;
            }
            PartitionRecord record = {};
            record.wCylinderLow = pEntry[kEntryCylinderLow];
            record.wStartHead = pEntry[kEntryStartHead];
            record.wSectorByte = pEntry[kEntrySectorByte];
            record.dwSectorCount = ReadLE32(pEntry, kEntrySectorCount);
            record.wKind = kKindOrdinary;
            record.dwFirstSector = dwValue + dwBase;
            record.qwFirstSector = record.dwFirstSector;
            List(PartitionLabel(m_hDisk, record.qwFirstSector, m_dwSectorSize, byType), record);
        }
        return bLink;
    }

    void List(const char* pszLabel, PartitionRecord record)
    {
        record.dwSectorSize = m_dwSectorSize;
        char szText[256];
        snprintf(szText, sizeof(szText), "%s Drive %d", pszLabel, static_cast<int>(m_wNumber));
        if (m_fnAddItem)
            m_fnAddItem(szText, record);
        ++m_wNumber;
    }

    DWORD SectorSize() const { return m_dwSectorSize; }

private:
    HANDLE m_hDisk;
    const FnAddDriveItem& m_fnAddItem;
    const DWORD m_dwSectorSize;
    WORD m_wNumber = 0;  // running item number across the master table and the chain
};

// The master table and the chain of extended boot records it links to: the
// master table's partitions first, then the logical ones.
DWORD WalkMasterTable(HANDLE hDisk, const BYTE* pMaster, CTableWalk& walk)
{
    DWORD dwLink = 0;
    if (!walk.ReadTable(pMaster, 0, dwLink))
        return 0;

    // Links in the chain are relative to the extended partition's start E;
    // ordinary entries are relative to the record that holds them, E + R.
    BYTE abySector[kTableSectorSize];
    const DWORD dwExtendedBase = dwLink;
    DWORD dwLinkOffset = 0;
    for (int nRecord = 0; nRecord < kMaxExtendedRecords; ++nRecord)
    {
        // The full 64-bit byte offset: 512-byte sectors from 2^23 on lie at 4 GiB and beyond.
        DWORD dwError = SeekDevice(
            hDisk, static_cast<ULONGLONG>(dwExtendedBase + dwLinkOffset) * walk.SectorSize());
        if (dwError)
            return dwError;
        dwError = ReadTableSector(hDisk, abySector);
        if (dwError)
            return dwError;
        if (!walk.ReadTable(abySector, dwExtendedBase + dwLinkOffset, dwLink))
            return 0;
        dwLinkOffset = dwLink;
    }
    // The 50th record still held a link: it is not followed.
    return 0;
}

// Whether the four entries of a sector read as a partition table: every boot
// indicator 0 or 0x80, and at least one entry in use, each that is starting
// past sector 0 with sectors of its own, inside the disk when its size is
// known. The boot code of a volume's boot sector rarely passes this.
bool IsPartitionTable(const BYTE* pSector, ULONGLONG qwDiskSectors)
{
    int nUsed = 0;
    for (int i = 0; i < kEntryCount; ++i)
    {
        const BYTE* pEntry = pSector + kTableOffset + i * kEntrySize;
        if (pEntry[0] != 0 && pEntry[0] != kBootActive)
            return false;
        if (pEntry[kEntryType] == kTypeEmpty)
            continue;
        const DWORD dwFirst = ReadLE32(pEntry, kEntryFirstSector);
        if (dwFirst == 0 || ReadLE32(pEntry, kEntrySectorCount) == 0 ||
            (qwDiskSectors != 0 && dwFirst >= qwDiskSectors))
            return false;
        ++nUsed;
    }
    return nUsed > 0;
}

// A disk whose sector 0 is a volume's boot sector and no partition table (a
// partition image, a stick formatted without a table): the volume as its
// only partition, at sector 0. False when sector 0 is anything else.
bool ListBareVolume(const BYTE* pSector, ULONGLONG qwDiskBytes, CTableWalk& walk)
{
    const char* pszFileSystem = ProbeFileSystem(pSector, kTableSectorSize);
    const ULONGLONG qwSectors = qwDiskBytes / walk.SectorSize();
    if (!pszFileSystem || IsPartitionTable(pSector, qwSectors))
        return false;
    PartitionRecord record = {};
    record.wKind = kKindOrdinary;
    record.dwSectorCount = static_cast<DWORD>(std::min<ULONGLONG>(qwSectors, 0xFFFFFFFFull));
    walk.List(pszFileSystem, record);
    return true;
}

bool HasProtectiveEntry(const BYTE* pMaster)
{
    for (int i = 0; i < kEntryCount; ++i)
        if (pMaster[kTableOffset + i * kEntrySize + kEntryType] == kTypeProtective)
            return true;
    return false;
}

struct CGptTable
{
    CGptHeader m_header;
    std::unique_ptr<BYTE[]> m_pArray;
};

// Reads the header at qwLba and its entry array: 0, a read's code, or
// ERROR_INVALID_DATA when either fails its checks.
DWORD ReadGptCopy(HANDLE hDisk, DWORD dwSectorSize, ULONGLONG qwDiskSectors, ULONGLONG qwLba,
                  CGptTable& table)
{
    BYTE abySector[kLargeSectorSize];
    DWORD dwError = ReadDeviceAt(hDisk, qwLba * dwSectorSize, abySector, dwSectorSize);
    if (dwError)
        return dwError;
    if (!ParseGptHeader(abySector, dwSectorSize, dwSectorSize, qwLba, qwDiskSectors, table.m_header))
        return ERROR_INVALID_DATA;
    const DWORD dwArrayBytes = table.m_header.m_dwArrayBytes;
    table.m_pArray.reset(AllocBytes(dwArrayBytes ? dwArrayBytes : 1));
    if (!table.m_pArray)
        return ERROR_NOT_ENOUGH_MEMORY;
    if (dwArrayBytes)
    {
        dwError = ReadDeviceAt(hDisk, table.m_header.m_qwEntryLba * dwSectorSize,
                               table.m_pArray.get(), dwArrayBytes);
        if (dwError)
            return dwError;
    }
    return CheckGptEntryArray(table.m_header, table.m_pArray.get(), dwArrayBytes)
               ? 0
               : ERROR_INVALID_DATA;
}

// The primary copy at LBA 1, else the backup at the disk's last LBA: 0 when
// one is valid, else the primary's code.
DWORD ReadGptTable(HANDLE hDisk, DWORD dwSectorSize, ULONGLONG qwDiskBytes, CGptTable& table)
{
    const ULONGLONG qwSectors = qwDiskBytes / dwSectorSize;
    if (qwSectors < 3)
        return ERROR_INVALID_DATA;
    const DWORD dwPrimary = ReadGptCopy(hDisk, dwSectorSize, qwSectors, 1, table);
    if (dwPrimary == 0 || ReadGptCopy(hDisk, dwSectorSize, qwSectors, qwSectors - 1, table) == 0)
        return 0;
    return dwPrimary;
}

// The label of a used GPT entry: the file system of its first sector, else
// its type's short name, else "Unknown". A first sector that cannot be read
// leaves the type to speak.
const char* GptEntryLabel(HANDLE hDisk, DWORD dwSectorSize, const CGptEntry& entry)
{
    if (const char* pszFileSystem = ProbePartition(hDisk, entry.m_qwFirstLba, dwSectorSize))
        return pszFileSystem;
    const char* pszType = GptTypeShortName(entry.m_abyTypeGuid);
    return pszType ? pszType : "Unknown";
}

void ListGptEntries(HANDLE hDisk, const CGptTable& table, CTableWalk& walk)
{
    const CGptHeader& header = table.m_header;
    for (DWORD i = 0; i < header.m_dwEntryCount; ++i)
    {
        // Count times size is the array's length, checked with the header.
        CGptEntry entry;
        if (!ParseGptEntry(table.m_pArray.get() + static_cast<size_t>(i) * header.m_dwEntrySize,
                           header.m_dwEntrySize, entry) ||
            !IsGptEntryUsed(entry))
            continue;
        if (entry.m_qwFirstLba > entry.m_qwLastLba ||
            entry.m_qwFirstLba < header.m_qwFirstUsableLba ||
            entry.m_qwLastLba > header.m_qwLastUsableLba)
            continue;
        PartitionRecord record = {};
        record.wKind = kKindOrdinary;
        record.dwFirstSector = static_cast<DWORD>(entry.m_qwFirstLba);
        record.qwFirstSector = entry.m_qwFirstLba;
        record.dwSectorCount = static_cast<DWORD>(entry.m_qwLastLba - entry.m_qwFirstLba + 1);
        walk.List(GptEntryLabel(hDisk, walk.SectorSize(), entry), record);
    }
}

}  // namespace

const char* PartitionTypeLabel(BYTE byType)
{
    switch (byType)
    {
    case 1: return "FAT12";
    case 4:
    case 6:
    case 14: return "FAT16";
    case 7: return "NTFS";
    case 11:
    case 12: return "FAT32";
    default: return "Unknown";
    }
}

DWORD WalkPartitionTables(DWORD dwDisk, const FnAddDriveItem& fnAddItem)
{
    CDiskHandle disk(dwDisk);
    if (disk.m_hDisk == INVALID_HANDLE_VALUE)
        return GetLastError();

    // A fresh handle stands at byte 0: the master boot record needs no seek.
    BYTE abyMaster[kTableSectorSize];
    DWORD dwError = ReadTableSector(disk.m_hDisk, abyMaster);
    if (dwError)
        return dwError;

    // A disk that cannot say its size is read as 512-byte sectors, MBR only.
    DWORD dwSectorSize = kSmallSectorSize;
    ULONGLONG qwDiskBytes = 0;
    bool bImage = true;
    if (QueryDiskGeometry(disk.m_hDisk, dwSectorSize, qwDiskBytes, bImage) != 0)
        qwDiskBytes = 0;

    {
        CTableWalk bare(disk.m_hDisk, fnAddItem, dwSectorSize);
        if (ListBareVolume(abyMaster, qwDiskBytes, bare))
            return 0;
    }

    DWORD dwGptError = 0;
    if (HasProtectiveEntry(abyMaster) && qwDiskBytes > 0)
    {
        if (bImage)
            dwSectorSize = ImageSectorSize(disk.m_hDisk, qwDiskBytes);
        CGptTable table;
        dwGptError = ReadGptTable(disk.m_hDisk, dwSectorSize, qwDiskBytes, table);
        if (dwGptError == 0)
        {
            CTableWalk walk(disk.m_hDisk, fnAddItem, dwSectorSize);
            ListGptEntries(disk.m_hDisk, table, walk);
            return 0;
        }
    }

    CTableWalk walk(disk.m_hDisk, fnAddItem, dwSectorSize);
    dwError = WalkMasterTable(disk.m_hDisk, abyMaster, walk);
    // Damaged copies of the GPT are the tables' own business; a GPT that
    // could not be read is the disk's, and is told.
    if (dwError == 0 && dwGptError != ERROR_INVALID_DATA)
        dwError = dwGptError;
    return dwError;
}

DWORD WalkPartitionTables(const FnAddDriveItem& fnAddItem)
{
    return WalkPartitionTables(0, fnAddItem);
}
