// On-disk NTFS layout: field offsets, named once, and little-endian readers.
#pragma once

#include "platform/Win32.h"

namespace ntfs
{

inline WORD ReadLE16(const BYTE* p) { return static_cast<WORD>(p[0] | (p[1] << 8)); }
inline DWORD ReadLE32(const BYTE* p)
{
    return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) |
           (static_cast<DWORD>(p[2]) << 16) | (static_cast<DWORD>(p[3]) << 24);
}
inline ULONGLONG ReadLE64(const BYTE* p)
{
    return static_cast<ULONGLONG>(ReadLE32(p)) | (static_cast<ULONGLONG>(ReadLE32(p + 4)) << 32);
}

// Boot sector (the first sector of the partition).
const DWORD kBootSectorSize = 512;
const DWORD kBootOemId = 0x03;           // "NTFS"
const DWORD kBootBytesPerSector = 0x0B;  // 2 bytes
const DWORD kBootSectorsPerCluster = 0x0D;
const DWORD kBootMftCluster = 0x30;      // 8 bytes
const DWORD kBootRecordSizeCode = 0x40;  // signed byte

// Master-file-table record header.
const DWORD kRecordSignature = 0x00;  // "FILE"
const DWORD kRecordUsaOffset = 0x04;  // 2 bytes
const DWORD kRecordUsaCount = 0x06;   // 2 bytes
const DWORD kRecordFirstAttr = 0x14;  // 2 bytes
const DWORD kRecordFlags = 0x16;      // bit 0: in use
const DWORD kRecordHeaderSize = 0x18; // what the parser reads of the header
const DWORD kUsaStride = 512;         // the update sequence guards every 512 bytes
const DWORD kUsaMinOffset = 0x28;

// Attribute header.
const DWORD kAttrType = 0x00;
const DWORD kAttrLength = 0x04;
const DWORD kAttrNonResident = 0x08;
const DWORD kAttrValueLength = 0x10;   // resident, 4 bytes
const DWORD kAttrValueOffset = 0x14;   // resident, 2 bytes
const DWORD kResidentHeaderSize = 0x18;
const DWORD kAttrFirstVcn = 0x10;      // non-resident, 8 bytes
const DWORD kAttrLastVcn = 0x18;       // non-resident, 8 bytes
const DWORD kAttrRunListOffset = 0x20; // non-resident, 2 bytes
const DWORD kAttrAllocatedSize = 0x28; // non-resident, 8 bytes
const DWORD kAttrRealSize = 0x30;      // non-resident, 8 bytes
const DWORD kNonResidentHeaderSize = 0x38;

const DWORD kTypeStandardInfo = 0x10;
const DWORD kTypeFileName = 0x30;
const DWORD kTypeData = 0x80;
const DWORD kTypeIndexRoot = 0x90;
const DWORD kTypeIndexAllocation = 0xA0;
const DWORD kTypeEnd = 0xFFFFFFFF;

// $FILE_NAME value.
const DWORD kNameAllocatedSize = 0x28;  // 8 bytes
const DWORD kNameFlags = 0x38;          // 4 bytes
const DWORD kNameUnits = 0x42;          // UTF-16LE, no terminator

// Applies the update sequence array of a record image in place when the
// array is consistent; an inconsistent one leaves the image as stored.
bool ApplyUpdateSequence(BYTE* pRecord, DWORD dwRecordSize);

}  // namespace ntfs
