#include "disk/PartitionTable.h"

#include "disk/Disk.h"

#include <cstdio>

namespace
{

// A partition table sector: four 16-byte entries at offset 446.
const DWORD kSectorSize = 512;
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

const WORD kKindOrdinary = 1;
const WORD kKindExtended = 2;

// A chain of extended boot records may loop back on itself; this bounds it.
const int kMaxExtendedRecords = 50;

DWORD ReadLE32(const BYTE* pData, DWORD dwOffset)
{
    return static_cast<DWORD>(pData[dwOffset]) | static_cast<DWORD>(pData[dwOffset + 1]) << 8 |
           static_cast<DWORD>(pData[dwOffset + 2]) << 16 |
           static_cast<DWORD>(pData[dwOffset + 3]) << 24;
}

// Owns the walk's own device handle. The walk returns its error code before
// this closes the handle, so closing can never change the code.
class CDiskHandle
{
public:
    CDiskHandle() : m_hDisk(OpenFirstDisk()) {}
    ~CDiskHandle()
    {
        if (m_hDisk != INVALID_HANDLE_VALUE)
            CloseHandle(m_hDisk);
    }
    CDiskHandle(const CDiskHandle&) = delete;
    CDiskHandle& operator=(const CDiskHandle&) = delete;

    HANDLE m_hDisk;
};

// Reads one table sector at the current position: 0, the read's own code,
// or ERROR_READ_FAULT when fewer than 512 bytes arrive.
DWORD ReadTableSector(HANDLE hDisk, BYTE* pSector)
{
    DWORD dwRead = 0;
    if (!ReadDevice(hDisk, pSector, kSectorSize, &dwRead))
        return GetLastError();
    if (dwRead < kSectorSize)
        return ERROR_READ_FAULT;
    return 0;
}

enum class ETableEnd
{
    eLink,   // an extended entry: the chain goes on from its first-sector value
    eEmpty,  // an empty entry: the walk is complete
    eFull,   // four ordinary entries and no link: the walk is complete
};

class CTableWalk
{
public:
    explicit CTableWalk(
        const std::function<void(const char* pszText, const PartitionRecord& record)>& fnAddItem)
        : m_fnAddItem(fnAddItem)
    {
    }

    // Lists the ordinary entries of one table up to its first link or empty
    // entry. Their first sectors are taken relative to dwBase (32-bit sums
    // that wrap). On eLink, dwLinkValue holds the link's first-sector value.
    ETableEnd ReadTable(const BYTE* pSector, DWORD dwBase, DWORD& dwLinkValue)
    {
        for (int i = 0; i < kEntryCount; ++i)
        {
            const BYTE* pEntry = pSector + kTableOffset + i * kEntrySize;
            const BYTE byType = pEntry[kEntryType];
            const DWORD dwValue = ReadLE32(pEntry, kEntryFirstSector);

            PartitionRecord record = {};
            record.wCylinderLow = pEntry[kEntryCylinderLow];
            record.wStartHead = pEntry[kEntryStartHead];
            record.wSectorByte = pEntry[kEntrySectorByte];
            record.dwSectorCount = ReadLE32(pEntry, kEntrySectorCount);
            const bool bLink = byType == kTypeExtended || byType == kTypeExtendedLba;
            record.wKind = bLink ? kKindExtended : kKindOrdinary;
            record.dwFirstSector = dwValue + dwBase;

            if (bLink)
            {
                dwLinkValue = dwValue;
                return ETableEnd::eLink;
            }
            if (byType == kTypeEmpty)
                return ETableEnd::eEmpty;
            List(byType, record);
        }
        return ETableEnd::eFull;
    }

private:
    void List(BYTE byType, const PartitionRecord& record)
    {
        char szText[256];
        snprintf(szText, sizeof(szText), "%s Drive %d", PartitionTypeLabel(byType),
                 static_cast<int>(m_wNumber));
        if (m_fnAddItem)
            m_fnAddItem(szText, record);
        ++m_wNumber;
    }

    const std::function<void(const char* pszText, const PartitionRecord& record)>& m_fnAddItem;
    WORD m_wNumber = 0;  // running item number across the master table and the chain
};

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

DWORD WalkPartitionTables(
    const std::function<void(const char* pszText, const PartitionRecord& record)>& fnAddItem)
{
    CDiskHandle disk;
    if (disk.m_hDisk == INVALID_HANDLE_VALUE)
        return GetLastError();

    BYTE abySector[kSectorSize];
    CTableWalk walk(fnAddItem);

    // A fresh handle stands at byte 0: the master boot record needs no seek.
    DWORD dwError = ReadTableSector(disk.m_hDisk, abySector);
    if (dwError)
        return dwError;

    DWORD dwLink = 0;
    if (walk.ReadTable(abySector, 0, dwLink) != ETableEnd::eLink)
        return 0;

    // Links in the chain are relative to the extended partition's start E;
    // ordinary entries are relative to the record that holds them, E + R.
    const DWORD dwExtendedBase = dwLink;
    DWORD dwLinkOffset = 0;
    for (int nRecord = 0; nRecord < kMaxExtendedRecords; ++nRecord)
    {
        // The full 64-bit byte offset: sectors from 2^23 on lie at 4 GiB and beyond.
        dwError = SeekDevice(disk.m_hDisk,
                             static_cast<ULONGLONG>(dwExtendedBase + dwLinkOffset) * kSectorSize);
        if (dwError)
            return dwError;
        dwError = ReadTableSector(disk.m_hDisk, abySector);
        if (dwError)
            return dwError;
        if (walk.ReadTable(abySector, dwExtendedBase + dwLinkOffset, dwLink) != ETableEnd::eLink)
            return 0;
        dwLinkOffset = dwLink;
    }
    // The 50th record still held a link: it is not followed.
    return 0;
}
