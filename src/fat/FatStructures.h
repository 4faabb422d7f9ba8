// One parse function per on-disk FAT12/16/32 and exFAT structure, each over a
// pointer and the number of bytes it may read. None of them reads the disk or
// allocates; reading is CVolumeReader's and CFatTable's work.
#pragma once

#include "platform/Win32.h"

#include <cstddef>

namespace fat
{

enum EFatKind
{
    eKindNone = 0,
    eKindFat12,
    eKindFat16,
    eKindFat32,
    eKindExfat
};

// "FAT12", "FAT16", "FAT32", "exFAT"; "" for eKindNone.
const char* KindName(EFatKind eKind);

// First cluster of the data area; clusters run from 2 to kFirstCluster + count - 1.
const DWORD kFirstCluster = 2;
const DWORD kDirEntrySize = 32;

// ---- boot sectors ------------------------------------------------------------

// The geometry a boot sector states, in the volume's own sectors, checked:
// every region lies inside the volume's sectors and the cluster count fits
// the FAT that maps it (clusters the FAT cannot map are not counted).
struct CFatBoot
{
    EFatKind m_eKind = eKindNone;
    DWORD m_dwBytesPerSector = 0;
    DWORD m_dwClusterSize = 0;        // bytes, at most 32 MiB
    ULONGLONG m_n64TotalSectors = 0;
    ULONGLONG m_n64FatSector = 0;     // the FAT in use (exFAT: the active one)
    ULONGLONG m_n64FatSectors = 0;    // the length of one FAT
    DWORD m_dwFatCount = 0;
    ULONGLONG m_n64RootSector = 0;    // FAT12/16: the fixed root directory
    DWORD m_dwRootEntries = 0;        // FAT12/16: its entries
    ULONGLONG m_n64DataSector = 0;    // cluster 2 starts here
    DWORD m_dwClusterCount = 0;
    DWORD m_dwRootCluster = 0;        // FAT32 and exFAT
    char m_szLabel[12] = {};          // FAT: the boot sector's label, spaces trimmed
    bool m_bChecksumOk = true;        // exFAT: the boot region's checksum matched
};

// A FAT12/16/32 boot sector. The kind is decided by the cluster count as
// Microsoft's rule says (< 4085 FAT12, < 65525 FAT16, else FAT32), never by
// the type text. 0; ERROR_READ_FAULT for fewer than 512 bytes;
// ERROR_INVALID_DRIVE when it is no FAT boot sector or its fields do not fit.
DWORD ParseFatBootSector(const BYTE* pSector, size_t nSize, CFatBoot& boot);

// An exFAT boot sector ("EXFAT   " at 3): the same codes.
DWORD ParseExfatBootSector(const BYTE* pSector, size_t nSize, CFatBoot& boot);

// The checksum of the exFAT boot region's first 11 sectors (nSize bytes, 11
// times the sector size), bytes 106, 107 and 112 left out as they change.
DWORD ExfatBootChecksum(const BYTE* pRegion, size_t nSize);

// Either kind: exFAT when bytes 3..10 say so, else FAT.
DWORD ParseBootSector(const BYTE* pSector, size_t nSize, CFatBoot& boot);

// ---- FAT entries ---------------------------------------------------------------

// The entry of dwCluster in a FAT (or a piece of one) of nSize bytes that
// starts with the entry of cluster dwBase; false when the entry is not all
// inside. FAT32 keeps the low 28 bits; exFAT all 32.
bool ReadFatEntry(const BYTE* pFat, size_t nSize, EFatKind eKind, DWORD dwBase, DWORD dwCluster,
                  DWORD& dwValue);

// The byte offset of cluster dwCluster's entry in the FAT (FAT12: of the
// 16-bit word that holds it).
ULONGLONG FatEntryOffset(EFatKind eKind, DWORD dwCluster);

// Values at or above this end a chain (or mark a bad cluster).
DWORD ChainEndValue(EFatKind eKind);

// ---- FAT directory entries -----------------------------------------------------

enum EDirEntryKind
{
    eDirEnd,        // 0x00: no entry here or after
    eDirFree,       // 0xE5 long-name entry or a damaged one: nothing to list
    eDirShort,      // a short (8.3) entry, live or deleted
    eDirLongName,   // a VFAT long-name part, live or deleted
    eDirLabel       // the volume label
};

const BYTE kDeletedMark = 0xE5;
const BYTE kAttrLongName = 0x0F;
const BYTE kAttrVolume = 0x08;
const BYTE kAttrDirectory = 0x10;

struct CDirEntry
{
    EDirEntryKind m_eKind = eDirEnd;
    bool m_bDeleted = false;
    BYTE m_byName[11] = {};      // the name, 0x05 put back to 0xE5
    BYTE m_byStored[11] = {};    // the bytes as stored, for the long name's checksum
    BYTE m_byAttributes = 0;
    BYTE m_byCaseFlags = 0;      // 0x08: base in lower case, 0x10: extension
    BYTE m_byCreateTenths = 0;   // 10 ms units, 0..199
    WORD m_wCreateTime = 0;
    WORD m_wCreateDate = 0;
    WORD m_wWriteTime = 0;
    WORD m_wWriteDate = 0;
    DWORD m_dwFirstCluster = 0;  // high word only for FAT32
    DWORD m_dwSize = 0;
    bool IsDirectory() const { return (m_byAttributes & kAttrDirectory) != 0; }
    // "." and "..".
    bool IsDotEntry() const;
};

// One 32-byte entry. bFat32 takes the high word of the first cluster.
// False for fewer than 32 bytes.
bool ParseDirEntry(const BYTE* pEntry, size_t nSize, bool bFat32, CDirEntry& entry);

struct CLongNameEntry
{
    BYTE m_bySequence = 0;       // 1..20; 0 when deleted (the byte is 0xE5)
    bool m_bLast = false;        // 0x40: the part that ends the name
    bool m_bDeleted = false;
    BYTE m_byChecksum = 0;
    WORD m_wUnits[13] = {};
};

// A long-name part; false when the entry is no long-name part.
bool ParseLongNameEntry(const BYTE* pEntry, size_t nSize, CLongNameEntry& entry);

// The checksum every long-name part of a name carries, over the 11 name bytes
// of its short entry as stored.
BYTE ShortNameChecksum(const BYTE* pName11);

// ---- exFAT directory entries ---------------------------------------------------

const BYTE kExfatEnd = 0x00;
const BYTE kExfatBitmap = 0x81;
const BYTE kExfatUpcase = 0x82;
const BYTE kExfatLabel = 0x83;
const BYTE kExfatFile = 0x85;
const BYTE kExfatStream = 0xC0;
const BYTE kExfatName = 0xC1;
const BYTE kExfatInUse = 0x80;
// A set holds the file entry and at most this many secondary entries.
const DWORD kMaxSecondary = 255;

// An allocation bitmap (0x81) or up-case table (0x82) entry.
struct CExfatSpecial
{
    BYTE m_byFlags = 0;          // bitmap: bit 0 says which FAT it serves
    DWORD m_dwFirstCluster = 0;
    ULONGLONG m_n64Length = 0;
};
bool ParseExfatSpecial(const BYTE* pEntry, size_t nSize, CExfatSpecial& entry);

// The volume label (0x83): up to 11 UTF-16 units.
bool ParseExfatLabel(const BYTE* pEntry, size_t nSize, WORD* pUnits, DWORD& dwUnits);

struct CExfatFile
{
    bool m_bDeleted = false;     // the file entry's in-use bit was clear
    bool m_bChecksumOk = false;
    WORD m_wAttributes = 0;
    DWORD m_dwCreate = 0;        // DOS-style date (high) and time (low)
    DWORD m_dwModify = 0;
    BYTE m_byCreate10ms = 0;
    BYTE m_byModify10ms = 0;
    BYTE m_byCreateOffset = 0;   // bit 7: valid; low 7 bits: signed 15-minute units
    BYTE m_byModifyOffset = 0;
    bool m_bNoFatChain = false;
    ULONGLONG m_n64ValidLength = 0;
    ULONGLONG m_n64Length = 0;
    DWORD m_dwFirstCluster = 0;
    BYTE m_byNameLength = 0;     // UTF-16 units the stream entry announces
    WORD m_wName[255] = {};
    DWORD m_dwNameUnits = 0;     // units gathered, at most m_byNameLength
};

// The secondary count of the file entry at pEntry: how many entries its set
// spans after it. False when pEntry is no file entry (live or deleted).
bool ExfatSetLength(const BYTE* pEntry, size_t nSize, DWORD& dwSecondary);

// A whole entry set of nEntries 32-byte entries. The set checksum is checked
// with each type's in-use bit as it was when the set was written (a deletion
// clears those bits and nothing else). False when the set is damaged: not a
// file entry, entries of the wrong kind or state, no stream entry, a name
// entry before it, or a checksum that does not match.
bool ParseExfatSet(const BYTE* pSet, size_t nEntries, CExfatFile& file);

// The checksum over a set's entries (bytes 2 and 3 of the first left out);
// bInUse counts every type byte with its in-use bit set.
WORD ExfatSetChecksum(const BYTE* pSet, size_t nEntries, bool bInUse);

}  // namespace fat
