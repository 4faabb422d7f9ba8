// What a record says of itself, found in one walk over its image without a
// copy: where its standard information, its names and its attribute list
// lie, and whether it is a file record at all. Describing a record this way
// reads nothing and allocates nothing.
#pragma once

#include "ntfs/StructureParsers.h"

namespace ntfs
{

struct CRecordDescription
{
    CRecordHeader m_header;
    // The last sound $STANDARD_INFORMATION value.
    const BYTE* m_pStandardInfo = nullptr;
    DWORD m_dwStandardInfoLength = 0;
    // The last sound $FILE_NAME value: the one the record's name is kept from.
    const BYTE* m_pFileName = nullptr;
    DWORD m_dwFileNameLength = 0;
    // The name its owner wrote: the last outside the DOS namespace, a DOS
    // name only when there is no other.
    const BYTE* m_pOwnerName = nullptr;
    DWORD m_dwOwnerNameLength = 0;
    // The $ATTRIBUTE_LIST: its header, and its value when resident.
    const BYTE* m_pAttrListHeader = nullptr;
    const BYTE* m_pAttrList = nullptr;
    DWORD m_dwAttrListLength = 0;
    // The unnamed $DATA attributes (the file's own data), where each starts
    // in the record, in record order; m_nUnnamedData counts them all, the
    // first kMaxUnnamedData are kept.
    static constexpr size_t kMaxUnnamedData = 16;
    DWORD m_adwUnnamedData[kMaxUnnamedData] = {};
    size_t m_nUnnamedData = 0;
    // Attributes of these types were met, sound or not.
    bool m_bHasData = false;
    bool m_bHasName = false;
    bool m_bHasList = false;
    bool m_bBroken = false;    // the attribute chain cannot be followed to its end
};

// 0, or ERROR_INVALID_PARAMETER for an image without the "FILE" signature.
// $STANDARD_INFORMATION and $FILE_NAME are always resident: one that is not,
// or whose value does not fit, is passed over.
DWORD DescribeRecord(const BYTE* pRecord, DWORD dwSize, CRecordDescription& desc);

// What a slot of the table holds, as a walk over the table meets it.
enum class ERecordKind : BYTE
{
    eFile,        // a file record, in use or deleted: a row of the list
    eNeverUsed,   // no file ever held it, or nothing of one is left: no row
    eDamaged,     // a record that cannot be read as it stands: a row that says so
    eUnreadable,  // the disk would not give its bytes
};

// The one decision over a record image, made after ApplyUpdateSequence
// (bSequenceFits: its answer):
// - all zeros: never used;
// - "FILE" whose update sequence fits and whose attributes can be walked to
//   their end: a file record; but one not in use that holds no $FILE_NAME,
//   no $DATA and no $ATTRIBUTE_LIST (what formatting leaves) is never used;
// - anything else ("BAAD" after a torn write, a torn update sequence, an
//   attribute chain that breaks off, bytes without a signature): damaged.
// desc holds the record's description when the answer is eFile.
ERecordKind ClassifyRecord(const BYTE* pRecord, DWORD dwSize, bool bSequenceFits, CRecordDescription& desc);
ERecordKind ClassifyRecord(const BYTE* pRecord, DWORD dwSize, bool bSequenceFits);

}  // namespace ntfs

namespace ntfs
{

// Whether record 0 as read (dwRead of dwRecordSize bytes, its update sequence
// applied) can open the master file table: record and cluster sizes even and
// not 0, the whole record read, a record that describes, and a $FILE_NAME
// beginning "$MFT". A table of millions of records may have moved its own
// name into an extension record named by record 0's attribute list: then
// bNameElsewhere is set and the caller looks for the name there once the
// table is located. 0; ERROR_INVALID_PARAMETER for sizes or a short read;
// DescribeRecord's codes; ERROR_BAD_DEVICE for a record of another name.
DWORD CheckTableRecord(const BYTE* pRecord, DWORD dwRead, DWORD dwRecordSize, DWORD dwClusterSize,
                       bool& bNameElsewhere);

}  // namespace ntfs
