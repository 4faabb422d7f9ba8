// On-disk NTFS field offsets, named once, read through the disk
// layer's little-endian readers. The parse functions of the structures
// read through these and nothing else.
#pragma once

#include "disk/ByteOrder.h"
#include "platform/Win32.h"

namespace ntfs
{

// The disk layer's little-endian readers.
using ::ReadLE16;
using ::ReadLE32;
using ::ReadLE64;

// Boot sector (the first sector of the partition).
const DWORD kBootSectorSize = 512;
const DWORD kBootOemId = 0x03;           // "NTFS"
const DWORD kBootBytesPerSector = 0x0B;  // 2 bytes
const DWORD kBootSectorsPerCluster = 0x0D;
const DWORD kBootTotalSectors = 0x28;    // 8 bytes
const DWORD kBootMftCluster = 0x30;      // 8 bytes
const DWORD kBootRecordSizeCode = 0x40;  // signed byte

// Master-file-table record header.
const DWORD kRecordSignature = 0x00;  // "FILE"
const DWORD kRecordUsaOffset = 0x04;  // 2 bytes
const DWORD kRecordUsaCount = 0x06;   // 2 bytes
const DWORD kRecordSequence = 0x10;   // 2 bytes: bumped each time the record is reused
const DWORD kRecordFirstAttr = 0x14;  // 2 bytes
const DWORD kRecordFlags = 0x16;      // bit 0: in use, bit 1: directory
const DWORD kRecordHeaderSize = 0x18; // what a record must hold to be walked
const DWORD kRecordBaseRef = 0x20;    // 8 bytes: base record of an extension record
const DWORD kRecordFullHeaderSize = 0x28;
const DWORD kUsaStride = 512;         // the update sequence guards every 512 bytes
const DWORD kUsaMinOffset = 0x28;

// Attribute header.
const DWORD kAttrType = 0x00;
const DWORD kAttrLength = 0x04;
const DWORD kAttrNonResident = 0x08;
const DWORD kAttrNameLength = 0x09;    // 1 byte, UTF-16 units
const DWORD kAttrNameOffset = 0x0A;    // 2 bytes
const DWORD kAttrFlags = 0x0C;         // 2 bytes: 0x0001 compressed, 0x4000 encrypted, 0x8000 sparse
const DWORD kAttrId = 0x0E;            // 2 bytes
const DWORD kAttrValueLength = 0x10;   // resident, 4 bytes
const DWORD kAttrValueOffset = 0x14;   // resident, 2 bytes
const DWORD kResidentHeaderSize = 0x18;
const DWORD kAttrFirstVcn = 0x10;      // non-resident, 8 bytes
const DWORD kAttrLastVcn = 0x18;       // non-resident, 8 bytes
const DWORD kAttrRunListOffset = 0x20; // non-resident, 2 bytes
const DWORD kAttrCompressionUnit = 0x22; // non-resident, 2 bytes: log2 of clusters per unit
const DWORD kAttrAllocatedSize = 0x28; // non-resident, 8 bytes
const DWORD kAttrRealSize = 0x30;      // non-resident, 8 bytes
const DWORD kAttrInitializedSize = 0x38; // non-resident, 8 bytes
const DWORD kNonResidentHeaderSize = 0x38;
const DWORD kNonResidentFullHeaderSize = 0x40;
const DWORD kMaxCompressionUnitLog = 8; // 2^v clusters; NTFS itself writes 4

const WORD kAttrFlagCompressed = 0x0001;
const WORD kAttrFlagEncrypted = 0x4000;
const WORD kAttrFlagSparse = 0x8000;

const DWORD kTypeStandardInfo = 0x10;
const DWORD kTypeAttributeList = 0x20;
const DWORD kTypeFileName = 0x30;
const DWORD kTypeData = 0x80;
const DWORD kTypeIndexRoot = 0x90;
const DWORD kTypeIndexAllocation = 0xA0;
const DWORD kTypeEnd = 0xFFFFFFFF;

// $ATTRIBUTE_LIST entry, one per attribute of the file wherever it is stored.
const DWORD kListType = 0x00;          // 4 bytes
const DWORD kListEntryLength = 0x04;   // 2 bytes, the whole entry
const DWORD kListNameLength = 0x06;    // 1 byte, UTF-16 units
const DWORD kListNameOffset = 0x07;    // 1 byte, from the entry's start
const DWORD kListFirstVcn = 0x08;      // 8 bytes: the first VCN of the extent it names
const DWORD kListReference = 0x10;     // 8 bytes: the record that holds it, with sequence
const DWORD kListAttrId = 0x18;        // 2 bytes
const DWORD kListEntryHeaderSize = 0x1A;
// NTFS keeps a list within 256 KiB; a longer one is damage.
const DWORD kMaxAttributeListSize = 256 * 1024;

// $STANDARD_INFORMATION value.
const DWORD kStdCreationTime = 0x00;
const DWORD kStdAlteredTime = 0x08;
const DWORD kStdRecordChangedTime = 0x10;
const DWORD kStdReadTime = 0x18;
const DWORD kStdFileFlags = 0x20;

// $FILE_NAME value.
const DWORD kNameParentRef = 0x00;      // 8 bytes: record number (48 bits) and sequence (16)
const DWORD kNameAllocatedSize = 0x28;  // 8 bytes
const DWORD kNameRealSize = 0x30;       // 8 bytes
const DWORD kNameFlags = 0x38;          // 4 bytes
const DWORD kNameLength = 0x40;         // 1 byte, UTF-16 units
const DWORD kNameSpace = 0x41;          // 1 byte
const DWORD kNameUnits = 0x42;          // UTF-16LE, no terminator

const BYTE kNameSpacePosix = 0;
const BYTE kNameSpaceWin32 = 1;
const BYTE kNameSpaceDos = 2;
const BYTE kNameSpaceWin32AndDos = 3;

// A file reference: 48 bits of record number, 16 bits of sequence number.
inline ULONGLONG RefRecord(ULONGLONG n64Ref) { return n64Ref & 0x0000FFFFFFFFFFFFull; }
inline WORD RefSequence(ULONGLONG n64Ref) { return static_cast<WORD>(n64Ref >> 48); }

// Applies the update sequence array of a record image in place when the
// array is consistent; an inconsistent one leaves the image as stored.
bool ApplyUpdateSequence(BYTE* pRecord, DWORD dwRecordSize);

}  // namespace ntfs
