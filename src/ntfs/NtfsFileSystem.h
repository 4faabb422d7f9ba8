// NTFS behind the file-system interface (fs/FileSystem.h): a CNTFSDrive and
// the walk of its master file table, from record 30 to the table's end.
//
// The walk's rules:
// - row ids are record numbers; the "#" a row shows is its record minus 30
//   (the records before it are the volume's own), so a gap shows where
//   records were passed over;
// - a record no file ever held gets no row; a damaged one gets a row that
//   says so; one whose bytes could not be read is counted as unread, and the
//   walk goes on;
// - each name's folder is found by following parent references (FolderPaths.h);
// - the table is read ahead on a second thread while the walk runs, and a
//   stop is answered between records and between the table's reads.
#pragma once

#include "fs/FileSystem.h"
#include "ntfs/FolderPaths.h"
#include "ntfs/NTFSDrive.h"

// Row n of a walk describes record n + 30 at the earliest.
const DWORD kFirstListedRecord = 30;

// The row of a described record, under its owner's name (UTF-8): the one
// place an NTFS row is made.
CScanRow& AddRecordRow(CRowBatch& batch, DWORD dwRecord, const MFTEntryInfo& info, const std::string& strName,
                       DWORD dwFolder = CScanRow::kNoFolder, BYTE byRowFlags = 0);
// The same, named by szName: UTF-16 units below 256 each, so Latin-1.
CScanRow& AddRecordRow(CRowBatch& batch, DWORD dwRecord, const MFTEntryInfo& info);
// A row's size and state as ExamineRecord worked them out.
void SetRowState(CScanRow& row, const ntfs::CFileState& state);

class CNtfsFileSystem : public IFileSystem
{
public:
    // Over a drive of its own.
    CNtfsFileSystem();
    // Over a drive its caller owns and has opened.
    explicit CNtfsFileSystem(CNTFSDrive& drive);
    ~CNtfsFileSystem() override;
    // Whether a boot sector is NTFS's: "NTFS" at byte 3, as OpenVolume checks.
    static bool Recognises(const BYTE* pBoot, size_t nSize);

    DWORD Open(HANDLE hDevice, const CVolumeGeometry& geometry, const std::atomic<BYTE>* pStop) override;
    DWORD Walk(IRowSink& sink, const std::atomic<BYTE>& bStop, std::mutex& lockShared, DWORD& dwUnread) override;
    DWORD Describe(DWORD dwId, CEntryDescription& desc) override;
    DWORD OpenStream(DWORD dwId, std::unique_ptr<IDataStream>& pStream) override;
    std::unique_ptr<IFileSystem> Twin() const override;
    DWORD ReadLabel(HANDLE hDevice, const CVolumeGeometry& geometry, std::string& strLabel) override;
    HANDLE Device() const override { return m_drive.Device(); }
    void DetachDevice() override { m_drive.DetachDevice(); }
    const CVolumeGeometry& Geometry() const override { return m_geometry; }
    DWORD AllocationMapCode() const override { return m_dwMapCode; }

    // For tests and benchmarks.
    CNTFSDrive& Drive() { return m_drive; }

    // Rows travel to the sink in batches of this many, or this old.
    static constexpr size_t kBatchRows = 8192;
    static constexpr DWORD kBatchMs = 25;

private:
    // One record as the walk meets it, and the folder of its name, under the lock.
    ntfs::ERecordKind Examine(DWORD dwRecord, std::mutex& lockShared, MFTEntryInfo& info, MFTEntryDetails& details,
                              DWORD& dwFolder);

    std::unique_ptr<CNTFSDrive> m_pOwnDrive;
    CNTFSDrive& m_drive;
    CVolumeGeometry m_geometry;
    DWORD m_dwMapCode = 0;           // of the last walk's $Bitmap
    CFolderPaths m_walkFolders;      // of the walk in hand
    CFolderPaths m_describedFolders; // of the rows described
};

// The drive under a file system that is NTFS's, else null: for tests and
// benchmarks that look inside.
CNTFSDrive* NtfsDriveOf(IFileSystem* pFs);
