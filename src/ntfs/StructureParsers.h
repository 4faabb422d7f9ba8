// One parse function per on-disk NTFS structure, each over a pointer and the
// number of bytes it may read. None of them reads the disk or allocates more
// than a caller's vector; reading through extents is CExtentReader's work.
#pragma once

#include "disk/VolumeReader.h"
#include "platform/Win32.h"

#include <vector>

namespace ntfs
{

// ---- boot sector -------------------------------------------------------------

struct CBootSector
{
    DWORD m_dwBytesPerSector = 0;
    // Bytes per sector times sectors per cluster; a sectors-per-cluster byte
    // above 0x80 counts 2^(256 - n) sectors (clusters of 128 KiB and more).
    // 0 when that is above kMaxClusterSize.
    DWORD m_dwClusterSize = 0;
    DWORD m_dwRecordSize = 0;     // 0 when the record size code is not usable here
    ULONGLONG m_n64MftCluster = 0;
    ULONGLONG m_n64TotalSectors = 0;
    // The clusters the volume holds, from its total sectors; 0 when the boot
    // sector does not say (nothing is then known to lie outside it).
    ULONGLONG m_n64VolumeClusters = 0;
};

// NTFS formats clusters of up to 2 MiB.
const DWORD kMaxClusterSize = 2u << 20;

// 0, ERROR_READ_FAULT when fewer than 512 bytes are given, ERROR_INVALID_DRIVE
// when bytes 3..6 are not "NTFS". Only those four bytes name the system.
DWORD ParseBootSector(const BYTE* pSector, size_t nSize, CBootSector& boot);

// The geometry of the volume a boot sector opens: where it lies (the
// geometry's offset and sector size, as given) and the clusters it states.
void ApplyBootSector(const CBootSector& boot, CVolumeGeometry& geometry);

// The record size a boot sector states: 2^-v for a negative code v, v
// clusters for a positive one. 0 unless it is a power of two from 1 KiB to 64 KiB.
DWORD RecordSizeFromCode(signed char chCode, DWORD dwClusterSize);

// ---- record header -------------------------------------------------------------

struct CRecordHeader
{
    bool m_bInUse = false;
    bool m_bDirectory = false;
    WORD m_wSequence = 0;
    DWORD m_dwFirstAttr = 0;
    ULONGLONG m_n64BaseRef = 0;  // 0 for a base record; else the record it extends
};

// 0, or ERROR_INVALID_PARAMETER for an image shorter than a header or
// without the "FILE" signature.
DWORD ParseRecordHeader(const BYTE* pRecord, size_t nSize, CRecordHeader& header);

// ---- attributes ----------------------------------------------------------------

struct CAttribute
{
    DWORD m_dwType = 0;
    DWORD m_dwLength = 0;         // bytes the attribute spans in the record
    DWORD m_dwOffset = 0;         // where it starts in the record
    bool m_bNonResident = false;
    // The header's fields for its kind lie inside the record, and a resident
    // value does too: the attribute's content can be used.
    bool m_bSound = false;
    BYTE m_byNameLength = 0;      // UTF-16 units
    WORD m_wNameOffset = 0;
    WORD m_wFlags = 0;
    WORD m_wId = 0;
    // Resident.
    DWORD m_dwValueOffset = 0;    // from the attribute's start
    DWORD m_dwValueLength = 0;
    // Non-resident.
    ULONGLONG m_n64FirstVcn = 0;
    ULONGLONG m_n64LastVcn = 0;
    DWORD m_dwRunListOffset = 0;  // from the attribute's start
    WORD m_wCompressionUnit = 0;
    ULONGLONG m_n64AllocatedSize = 0;
    ULONGLONG m_n64RealSize = 0;
    ULONGLONG m_n64InitializedSize = 0;
};

// Parses the header at pAttr, where dwLeft bytes of the record remain, into
// attr. False when the walk cannot go past it: fewer than 8 bytes or a
// length beyond the record. Content that cannot be used leaves m_bSound false:
// a resident value or a run list that does not lie inside the attribute.
bool ParseAttributeHeader(const BYTE* pAttr, DWORD dwLeft, CAttribute& attr);

// The walk over a record's attributes, in record order, from the
// first-attribute offset. It ends at the end marker, at $INDEX_ROOT or
// $INDEX_ALLOCATION (nothing after them is used), at a header it cannot walk
// past, and after an attribute of length 0.
class CAttributeWalk
{
public:
    CAttributeWalk(const BYTE* pRecord, DWORD dwSize, DWORD dwFirstAttr)
        : m_pRecord(pRecord), m_dwSize(dwSize), m_dwOffset(dwFirstAttr)
    {
    }
    // The next attribute and where it starts; false at the end of the walk.
    bool Next(CAttribute& attr, const BYTE*& pAttr);
    DWORD Offset() const { return m_dwOffset; }
    // The type of the header that ended the walk because it could not be
    // walked past; 0 when the walk ended normally.
    DWORD DamagedType() const { return m_dwDamagedType; }
    // The walk ended anywhere but at the end marker or an index attribute: the
    // chain of attributes cannot be followed to its end.
    bool Broken() const { return m_bBroken; }

private:
    const BYTE* m_pRecord;
    DWORD m_dwSize;
    DWORD m_dwOffset;
    bool m_bEnded = false;
    bool m_bBroken = false;
    DWORD m_dwDamagedType = 0;
};

// A resident attribute's value, inside the record. False when the attribute
// is not resident or not sound.
bool ResidentValue(const BYTE* pAttr, const CAttribute& attr, const BYTE*& pValue, DWORD& dwLength);

// A non-resident attribute's run list: from its offset to the attribute's
// end, inside the record. False when the attribute is resident or not sound.
bool RunListBytes(const BYTE* pAttr, const CAttribute& attr, const BYTE*& pList, DWORD& dwSize);

// The attribute's name in UTF-16 units (little-endian), inside the record;
// empty for an unnamed one or a name that does not fit.
bool AttributeName(const BYTE* pAttr, const CAttribute& attr, const BYTE*& pUnits, DWORD& dwUnits);

// ---- records of one file -----------------------------------------------------------

// A record's sequence number steps on when the record is freed, skipping 0.
WORD NextSequence(WORD wSequence);

// Whether a record found with sequence wFound is still the one a reference
// naming wNamed meant: the same sequence, or, when the file was deleted
// (bFreed), one step on, as deletion moves it.
bool SequenceFits(WORD wNamed, WORD wFound, bool bFreed);

// Whether extension record `extension`, named through a reference
// n64Reference in the attribute list of base record n64Base (its header
// `base`), still belongs to that file: it names the base as its base with a
// fitting sequence, carries the sequence the reference names, and is in use
// exactly when the base is (in use beside a free base it was reused; free
// beside a base in use the file has lost it).
bool ExtensionBelongs(ULONGLONG n64Base, const CRecordHeader& base, ULONGLONG n64Reference,
                      const CRecordHeader& extension);

// ---- run list --------------------------------------------------------------------

struct CExtent
{
    ULONGLONG m_n64Vcn = 0;       // first cluster of the stream this extent holds
    ULONGLONG m_n64Clusters = 0;
    ULONGLONG m_n64Lcn = 0;       // first cluster on the volume; unused when sparse
    bool m_bSparse = false;       // a hole: no clusters on the disk, reads as zeros
};

// Decodes a run list of at most dwSize bytes into extents that start at VCN
// n64FirstVcn, checked in the same pass: each run's fields lie in the list
// (L and F of at most 8), no run starts before the volume's first cluster, and
// the VCNs never wrap. 0, or ERROR_INVALID_PARAMETER. Runs of length 0 move
// the running cluster number and add no extent.
DWORD DecodeRunList(const BYTE* pList, DWORD dwSize, ULONGLONG n64FirstVcn,
                    std::vector<CExtent>& vecExtents);

// ---- values ----------------------------------------------------------------------

struct CStandardInfo
{
    ULONGLONG m_n64CreationTime = 0;
    ULONGLONG m_n64AlteredTime = 0;
    ULONGLONG m_n64RecordChangedTime = 0;
    ULONGLONG m_n64ReadTime = 0;
    DWORD m_dwFileFlags = 0;
};

// Fills what a value shorter than the usual 0x24 bytes holds; the rest is 0.
void ParseStandardInfo(const BYTE* pValue, DWORD dwLength, CStandardInfo& info);

struct CFileName
{
    ULONGLONG m_n64ParentRef = 0;
    ULONGLONG m_n64AllocatedSize = 0;
    ULONGLONG m_n64RealSize = 0;
    DWORD m_dwFileFlags = 0;
    BYTE m_byNameSpace = 0;
    const BYTE* m_pUnits = nullptr;  // UTF-16LE, inside the value
    DWORD m_dwUnits = 0;             // the stated length, cut to what the value holds
};

// 0, or ERROR_INVALID_PARAMETER for a value too short to hold its fixed part.
DWORD ParseFileName(const BYTE* pValue, DWORD dwLength, CFileName& name);

}  // namespace ntfs
