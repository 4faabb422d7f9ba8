// One NTFS partition of the disk: its boot sector, its master file table (read
// as records are asked for), and, by record number, a description of any
// record and its data.
#pragma once

#include "ntfs/ClusterBitmap.h"
#include "ntfs/EntryData.h"
#include "ntfs/FileState.h"
#include "ntfs/RecordDescription.h"
#include "ntfs/TableReader.h"
#include "platform/Win32.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

struct MFTEntryInfo
{
    char szName[260];
    LONGLONG n64CreationTime;
    LONGLONG n64AlteredTime;
    LONGLONG n64MFTChangedTime;
    LONGLONG n64ReadTime;
    DWORD dwFileFlags;
    LONGLONG n64Clusters;
    BYTE bNotInUse;
};

// What a description leaves out, for showing and saving a record under its
// owner's name in its folder.
struct MFTEntryDetails
{
    // The whole name, UTF-8: the Win32 or POSIX name over the DOS 8.3 one,
    // invalid UTF-16 shown as U+FFFD. Empty for a record without a name.
    std::string strName;
    ULONGLONG n64ParentRef = 0;  // the folder of that name: record (48 bits), sequence (16)
    WORD wSequence = 0;          // this record's sequence number
    bool bDirectory = false;     // the record holds a folder
    bool bHasName = false;       // a $FILE_NAME was found
    ULONGLONG n64BaseRef = 0;    // non-zero for an extension record
    // The file's size and whether its data can come back (ntfs/FileState.h),
    // worked out by ExamineRecord against the map LoadClusterBitmap read;
    // an extension record's is that of its own piece, without a size.
    ntfs::CFileState state;
    // An extension record that completes a file examined before: that
    // file's record (0: none) and its state now.
    DWORD dwCompletedRecord = 0;
    ntfs::CFileState completedState;
};

class CNTFSDrive
{
public:
    CNTFSDrive();
    virtual ~CNTFSDrive();

    CNTFSDrive(const CNTFSDrive&) = delete;
    CNTFSDrive& operator=(const CNTFSDrive&) = delete;

    void AttachDevice(HANDLE hDevice);
    void SetVolumeStart(DWORD dwFirstSector, DWORD dwSectorSize);
    // The same for a first sector of any size, as a GPT disk may need.
    void SetVolumeStartEx(ULONGLONG qwFirstSector, DWORD dwSectorSize);
    // Where the volume lies (its offset and the disk's sector size); the
    // clusters are the boot sector's, once OpenVolume reads it.
    void SetGeometry(const CVolumeGeometry& geometry);
    // Reads the boot sector (ParseBootSector gives the geometry) and then
    // the table's first record (LoadMasterFileTable).
    DWORD OpenVolume();
    // Reads record 0 at cluster n64MFTCluster and, once CheckTableRecord
    // accepts it, locates the table through its $DATA.
    DWORD LoadMasterFileTable(ULONGLONG n64MFTCluster);
    // Describes a record from the table alone: never reads the disk.
    DWORD GetEntryInfo(DWORD dwIndex, MFTEntryInfo& info);
    // The whole data of a record in one buffer: on success pData is a new
    // array the caller releases with delete[]; ERROR_FILE_TOO_LARGE when it
    // needs more than 32 bits of length (OpenEntryData reads any size).
    // Otherwise OpenEntryData's and CEntryData::Read's codes; on failure
    // neither output is written.
    DWORD ReadEntryData(DWORD dwIndex, BYTE*& pData, DWORD& dwLength);
    // Opens the data of a record for reading in pieces (see ntfs/EntryData.h):
    // ERROR_INVALID_ACCESS before a volume is open, ERROR_NO_MORE_FILES for a
    // record past the table, else CEntryData::Open's codes. The stream reads
    // through the device this object has now; it does not follow a later
    // DetachDevice.
    DWORD OpenEntryData(DWORD dwIndex, CEntryData& data);
    // The same for the file's own bytes alone: its unnamed $DATA stream, as a
    // saved file holds them (named streams such as Zone.Identifier are left
    // out, unread). A run outside the volume gives ERROR_DISK_CORRUPT.
    DWORD OpenFileStream(DWORD dwIndex, CEntryData& data);
    // Copies record n64Index, m_dwRecordSize bytes, into pDest with its update
    // sequence applied where it is consistent. ERROR_INVALID_ACCESS before a
    // volume is open, ERROR_NO_MORE_FILES for a record past the table.
    DWORD GetRecordImage(ULONGLONG n64Index, BYTE* pDest);
    // GetEntryInfo and the details from the same parse; both written only on
    // success. A name that an extension record holds is found through a
    // resident attribute list; an attribute list kept outside the table is
    // not read (a description never reads the disk beyond the table).
    DWORD GetEntryDetails(DWORD dwIndex, MFTEntryInfo& info, MFTEntryDetails& details);
    // The same, reading an attribute list kept outside the table from the
    // disk when the name is only found through it (as a save does).
    DWORD GetEntryDetailsReadingDisk(DWORD dwIndex, MFTEntryInfo& info, MFTEntryDetails& details);
    // What record dwIndex is, as a walk over the table meets it (see
    // ntfs::ClassifyRecord), from the table alone: info and details are
    // those of GetEntryDetails for ERecordKind::eFile and untouched otherwise.
    // eUnreadable when the table's bytes could not be read (a stop included:
    // the caller knows its stop flag) or no volume is open.
    // details.state is worked out too; a walk that meets a file's
    // extension records after its base is told the base's state then
    // (details.dwCompletedRecord).
    ntfs::ERecordKind ExamineRecord(DWORD dwIndex, MFTEntryInfo& info, MFTEntryDetails& details);

    // Reads the volume's allocation map ($Bitmap, record 6) for the states
    // of the records examined from now on, and forgets the pieces of files
    // met before. 0; ERROR_FILE_NOT_FOUND when record 6 is no $Bitmap in use;
    // ERROR_INVALID_DATA when the map is shorter than the volume or marks
    // the boot sector's cluster free; ERROR_FILE_TOO_LARGE and
    // ERROR_NOT_ENOUGH_MEMORY for a map that cannot be held; the stream's
    // codes. On failure the states that need the map are unknown.
    DWORD LoadClusterBitmap(const std::atomic<BYTE>* pStop = nullptr);
    // Lets the map's memory go once a walk is over.
    void ForgetClusterBitmap();
    const CClusterBitmap& ClusterBitmap() const { return m_bitmap; }

    // Number of whole records in the table; 0 when none is open.
    DWORD GetRecordCount() const;
    // The table's length in bytes (64-bit); 0 when none is open.
    ULONGLONG TableBytes() const;

    // The table is read from the disk as records are asked for, never held
    // whole. A walk in record order reads it ahead on a second thread from
    // dwFirstRecord on, until StopReadAhead or *pStop.
    void StartReadAhead(DWORD dwFirstRecord, const std::atomic<BYTE>* pStop);
    void StopReadAhead();

    // Reads made while opening a volume stop with ERROR_OPERATION_ABORTED once
    // *pStop is set; the object is then not opened. Null: never stops.
    void SetStopFlag(const std::atomic<BYTE>* pStop) { m_volume.SetStopFlag(pStop); }
    // Forgets the device handle its owner is about to close, so that nothing
    // is read through a closed handle: descriptions are still answered from
    // the table, reads of the disk fail with ERROR_INVALID_HANDLE.
    void DetachDevice();
    bool HasDevice() const { return m_volume.HasDevice(); }
    HANDLE Device() const { return m_volume.Device(); }
    // Where the volume lies and, once open, its clusters.
    const CVolumeGeometry& Geometry() const { return m_volume.Geometry(); }
    // The memory holding table bytes now (see CTableReader::HeldBytes).
    size_t TableMemory() const { return m_table.HeldBytes(); }

    bool m_bOpened;
    DWORD m_dwClusterSize;  // the geometry's, kept here for the callers that know it by this name
    DWORD m_dwRecordSize;

private:
    // A reader of this volume's clusters, through the device in hand.
    CExtentReader Reader() const { return CExtentReader(m_volume); }
    // Reads the table's first record at n64Cluster into the work buffer.
    DWORD ReadTableRecord(ULONGLONG n64Cluster, DWORD& dwRead);
    DWORD DescribeEntry(DWORD dwIndex, MFTEntryInfo& info, MFTEntryDetails& details, bool bMayReadDisk);
    DWORD OpenStreams(DWORD dwIndex, CEntryData& data, CEntryData::EStreams eStreams);
    // The description of a record already described into desc, with the name
    // an extension record may hold for it.
    void FillDetails(DWORD dwIndex, ntfs::CRecordDescription& desc, MFTEntryInfo& info,
                     MFTEntryDetails& details, bool bMayReadDisk);
    // Copies record dwIndex into the work buffer, its update sequence
    // applied, and describes it there.
    DWORD DescribeImage(DWORD dwIndex, ntfs::CRecordDescription& desc);
    // The value of the non-resident $ATTRIBUTE_LIST whose header is at
    // pHeader in the work buffer.
    DWORD ReadAttributeListFromDisk(const BYTE* pHeader, std::vector<BYTE>& vecList) const;
    // For a record without a name of its own: the name an extension record
    // holds for it, read into pImage.
    void FindNameInExtension(DWORD dwIndex, ntfs::CRecordDescription& desc, std::unique_ptr<BYTE[]>& pImage);

    DWORD LocateTable();
    // The state of the record described into desc, in the work buffer.
    void FillFileState(DWORD dwIndex, const ntfs::CRecordDescription& desc, MFTEntryDetails& details);
    // Whether the record's attribute list may name pieces of its unnamed
    // $DATA in other records.
    bool MayHaveMoreData(DWORD dwIndex, const ntfs::CRecordDescription& desc) const;

    CVolumeReader m_volume;                // the device and the geometry
    std::unique_ptr<BYTE[]> m_pRecord;     // the work buffer, one record
    CTableReader m_table;
    CClusterBitmap m_bitmap;
    ntfs::CSpreadFiles m_spread;
    std::vector<ntfs::CExtent> m_vecScratch;  // a record's extents, while tallied
};
