// The partition tables of the first disk: the master boot record and the
// chain of extended boot records, one PartitionRecord per listed partition.
#pragma once

#include "platform/Win32.h"

#include <functional>

struct PartitionRecord
{
    WORD wCylinderLow;    // entry byte 3
    WORD wStartHead;      // entry byte 1
    WORD wSectorByte;     // entry byte 2, sector and cylinder bits unsplit
    DWORD dwSectorCount;  // entry bytes 12-15
    WORD wKind;           // 1 ordinary, 2 extended link (never listed)
    DWORD dwReserved;
    DWORD dwFirstSector;  // absolute first sector on the disk
    DWORD dwReserved2;
};

// Label of a partition type byte: "NTFS", "FAT32", ... or "Unknown".
const char* PartitionTypeLabel(BYTE byType);

// Walks the tables of the first disk and calls fnAddItem with the text
// "<label> Drive <n>" and the record of every listed partition, in order.
// Returns 0, or the code that ended the walk; partitions listed before it stay listed.
DWORD WalkPartitionTables(
    const std::function<void(const char* pszText, const PartitionRecord& record)>& fnAddItem);
