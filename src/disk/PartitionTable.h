// The partition tables of a disk: the master boot record and the chain of
// extended boot records, or the GUID partition table that a protective master
// boot record announces; one PartitionRecord per listed partition.
#pragma once

#include "platform/Win32.h"

#include <functional>

struct PartitionRecord
{
    WORD wCylinderLow;        // entry byte 3 (0 for a GPT entry)
    WORD wStartHead;          // entry byte 1 (0 for a GPT entry)
    WORD wSectorByte;         // entry byte 2, sector and cylinder bits unsplit (0 for GPT)
    DWORD dwSectorCount;      // entry bytes 12-15; a GPT entry's length, low 32 bits
    WORD wKind;               // 1 ordinary, 2 extended link (never listed)
    DWORD dwReserved;
    DWORD dwFirstSector;      // absolute first sector on the disk, low 32 bits
    DWORD dwReserved2;
    ULONGLONG qwFirstSector;  // absolute first sector on the disk, all 64 bits
    DWORD dwSectorSize;       // the disk's logical sector size, the unit of both first sectors
};

using FnAddDriveItem = std::function<void(const char* pszText, const PartitionRecord& record)>;

// Label of a partition type byte: "NTFS", "FAT32", ... or "Unknown".
const char* PartitionTypeLabel(BYTE byType);

// Walks the tables of disk dwDisk (0 first) and calls fnAddItem with the text
// "<label> Drive <n>" and the record of every listed partition, in order, n
// counting from 0 on each disk.
//
// A disk whose sector 0 is the boot sector of a volume (NTFS, FAT, exFAT: see
// ProbeFileSystem) and holds no partition table (its four entries do not read
// as one: a boot indicator other than 0 and 0x80, an entry at sector 0 or
// past the disk, or none in use) is that volume alone: one partition at
// sector 0, labelled by its file system ("NTFS Drive 0").
//
// A master boot record that holds a protective entry (type 0xEE) next to a
// valid GPT (the header at LBA 1, or else the backup at the last LBA, with an
// entry array whose CRC holds) is read as that GPT: its used entries are
// listed in entry order and the master table is not (so a hybrid table lists
// the GPT only). An entry whose range is reversed or outside the header's
// usable range is no partition to scan and is not listed. A GPT item's label
// is the file system its first sector shows (see ProbeFileSystem), else the
// short name of its type GUID, else "Unknown". Without a valid GPT the master
// boot record and its extended chain are listed, counting sectors in the
// disk's sector size: every entry in use of a table is a partition (an empty
// slot ends nothing), the master table's first, then the logical ones of the
// chain its first extended entry (type 5 or 15) links to. An MBR item's label
// is the file system its first sector shows, else its type byte's
// (PartitionTypeLabel).
//
// Returns 0, or the code that ended the walk; partitions listed before it stay
// listed. A GPT whose primary copy cannot be read and that has no valid
// backup gives the primary's read error, after the master table is listed.
DWORD WalkPartitionTables(DWORD dwDisk, const FnAddDriveItem& fnAddItem);

// The walk of disk 0.
DWORD WalkPartitionTables(const FnAddDriveItem& fnAddItem);
