// The data of one record, read in pieces of any size at any offset: every
// $DATA stream of the file, named ones included, one after the other; or the
// file's own bytes alone, its unnamed stream (EStreams::eUnnamed).
//
// Contract:
// - Open gathers where the bytes lie and checks that they fit together before
//   any byte is handed out. Without an attribute list the streams are the
//   record's $DATA attributes in record order. With one (resident or not) they
//   come in the order the list first names them, each joined by starting VCN
//   from the base record and the extension records the list names. An
//   extension record must be in use, name this record (number and sequence)
//   as its base and carry the sequence the list gives; a file whose base
//   record is free may have its extension records freed with it, each
//   sequence then one step on.
// - Codes of Open: 0; what IRecordSource::ReadRecord gives for the record
//   itself; ERROR_INVALID_PARAMETER for a record without the "FILE" signature
//   or a $DATA attribute that cannot be used as it stands (a run list that
//   does not decode, a real size above the allocated one, runs past it or
//   short of the real size, an absurd compression unit); ERROR_FILE_CORRUPT
//   when the extents named by the list
//   do not fit together (a gap, an overlap, a piece named twice, a missing,
//   reused or foreign extension record, a record past the table, a damaged or
//   oversized list); ERROR_DISK_CORRUPT for a run that leaves the volume
//   (see CExtentReader::InsideVolume); ERROR_FILE_TOO_LARGE beyond kMaxExtents extents or
//   kMaxResidentBytes of resident values; device codes while reading a
//   non-resident list.
// - Size() is the sum of the streams' real sizes. Read copies nCount bytes
//   from n64Offset; bytes past a stream's initialized size read as zeros, as
//   do sparse extents. Compressed streams are expanded one compression unit
//   at a time: a unit whose clusters are all stored is taken as it is, one
//   with fewer stored clusters than its length is LZNT1, one without any is
//   zeros. Codes of Read: 0; ERROR_HANDLE_EOF for bytes past Size();
//   ERROR_INVALID_DATA for a unit that does not expand; CExtentReader's codes.
// - HoleLength and DataLength tell, from an offset, how many bytes are zeros
//   nothing on the disk stands for (sparse extents, all-sparse units, bytes
//   past the initialized size), or how many are not; each may stop short of
//   the whole stretch, never past it, and is 0 where the other applies.
// - Memory: the extents (at most kMaxExtents), resident values and one
//   compression unit's stored and expanded bytes; nothing grows with the
//   file's size. After Open the record source is no longer used; reads go
//   through the CExtentReader given to Open, so its device must stay open.
// - One thread uses an object at a time.
#pragma once

#include "ntfs/DataStreams.h"
#include "ntfs/ExtentReader.h"
#include "ntfs/StructureParsers.h"
#include "platform/Win32.h"

#include <atomic>
#include <memory>
#include <vector>

// Where the record images come from: the table in memory, or one read from
// the disk in windows.
class IRecordSource
{
public:
    virtual DWORD RecordSize() const = 0;
    // Record n64Index, RecordSize() bytes, its update sequence applied where
    // consistent. 0; ERROR_NO_MORE_FILES when the table holds no such record;
    // any other code when it cannot be had.
    virtual DWORD ReadRecord(ULONGLONG n64Index, BYTE* pDest) = 0;

protected:
    ~IRecordSource() = default;
};

struct CEntryStream
{
    std::vector<WORD> m_vecName;    // UTF-16 units; empty for the unnamed stream
    ULONGLONG m_n64Start = 0;       // where it begins in the record's data
    ULONGLONG m_n64Size = 0;
    ULONGLONG m_n64Initialized = 0; // from here to m_n64Size: zeros
    ULONGLONG m_n64Vcns = 0;        // clusters its extents span from VCN 0
    DWORD m_dwUnitClusters = 0;     // clusters per compression unit; 0: not compressed
    bool m_bResident = false;
    std::vector<BYTE> m_vecValue;   // a resident value
    std::vector<ntfs::CExtent> m_vecExtents;
};

class CEntryData
{
public:
    CEntryData();
    ~CEntryData();
    CEntryData(const CEntryData&) = delete;
    CEntryData& operator=(const CEntryData&) = delete;

    enum class EStreams
    {
        eAll,      // every $DATA stream, in record order (or the list's)
        eUnnamed,  // the unnamed stream only: the file's own bytes
    };
    // Named streams passed over with eUnnamed are neither read nor checked.
    DWORD Open(IRecordSource& source, const CExtentReader& reader, ULONGLONG n64Record,
               EStreams eStreams = EStreams::eAll);
    void Close();
    bool IsOpen() const { return m_bOpen; }

    ULONGLONG Size() const { return m_n64Size; }
    DWORD Read(ULONGLONG n64Offset, BYTE* pDest, size_t nCount);
    ULONGLONG HoleLength(ULONGLONG n64Offset) const { return Stretch(n64Offset, true); }
    ULONGLONG DataLength(ULONGLONG n64Offset) const { return Stretch(n64Offset, false); }

    size_t StreamCount() const { return m_vecStreams.size(); }
    const CEntryStream& Stream(size_t nIndex) const { return m_vecStreams[nIndex]; }

    // Later reads go through another handle on the same disk, one the caller
    // keeps open for as long as it reads.
    void SetDevice(HANDLE hDevice) { m_reader.SetDevice(hDevice); }
    // A read stops between pieces with ERROR_OPERATION_ABORTED once *pStop is set.
    void SetStopFlag(const std::atomic<BYTE>* pStop)
    {
        m_pStop = pStop;
        m_reader.SetStopFlag(pStop);
    }

    static const size_t kMaxExtents = 1u << 20;
    static const size_t kMaxResidentBytes = 16u << 20;
    static const DWORD kMaxUnitBytes = 1u << 20;

private:
    friend class CEntryGather;

    size_t StreamAt(ULONGLONG n64Offset) const;
    ULONGLONG Stretch(ULONGLONG n64Offset, bool bHole) const;
    // The readers of the gathered streams (ntfs/DataStreams.h), once they are checked.
    void BuildParts();

    bool m_bOpen = false;
    CExtentReader m_reader;
    const std::atomic<BYTE>* m_pStop = nullptr;
    std::vector<CEntryStream> m_vecStreams;
    std::vector<std::unique_ptr<ntfs::IStreamPart>> m_vecParts;  // one per stream
    ULONGLONG m_n64Size = 0;
    ntfs::CUnitCache m_unitCache;  // the last compression unit expanded
};
