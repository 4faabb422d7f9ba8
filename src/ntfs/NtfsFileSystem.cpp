#include "ntfs/NtfsFileSystem.h"

#include "ntfs/Names.h"
#include "ntfs/VolumeLabel.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace
{

// What the walk keeps between records.
struct CWalkCounts
{
    DWORD m_dwRecords = 0;
    DWORD m_dwLookedAt = kFirstListedRecord;  // records of the table looked at so far
    DWORD m_dwRows = 0;
};

// The folders the walk met since the last batch travel with the next one.
void AddNewFolders(const CFolderPaths& folders, CRowBatch& batch, size_t& nFoldersSent)
{
    if (folders.Count() == nFoldersSent)
        return;
    if (batch.m_vecNewFolders.empty())
        batch.m_dwFirstNewFolder = static_cast<DWORD>(nFoldersSent);
    for (; nFoldersSent < folders.Count(); ++nFoldersSent)
        batch.m_vecNewFolders.push_back(folders.Text(static_cast<DWORD>(nFoldersSent)));
}

void AppendLatin1AsUtf8(std::string& str, const char* pszBytes)
{
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(pszBytes); *p; ++p)
        AppendCodePointAsUtf8(str, *p);
}

CRowUpdate RowUpdate(DWORD dwRecord, const ntfs::CFileState& state)
{
    CRowUpdate update;
    update.m_dwRecord = dwRecord;
    update.m_eState = state.m_eState;
    update.m_byFreePercent = state.m_byFreePercent;
    update.m_bHasSize = state.m_bHasSize;
    update.m_n64Size = state.m_n64Size;
    return update;
}

}  // namespace

void SetRowState(CScanRow& row, const ntfs::CFileState& state)
{
    row.m_byRowFlags |= (state.m_bHasSize ? CScanRow::kRowHasSize : 0) |
                        (state.m_bPending ? CScanRow::kRowStatePending : 0);
    row.m_eState = state.m_eState;
    row.m_byFreePercent = state.m_byFreePercent;
    row.m_n64Size = state.m_n64Size;
}

CScanRow& AddRecordRow(CRowBatch& batch, DWORD dwRecord, const MFTEntryInfo& info, const std::string& strName,
                       DWORD dwFolder, BYTE byRowFlags)
{
    batch.m_dwNumberBase = kFirstListedRecord;
    CScanRow& row = batch.Add(dwRecord, strName.data(), strName.size(), dwFolder, byRowFlags);
    row.m_bNotInUse = info.bNotInUse ? 1 : 0;
    row.m_dwFileFlags = info.dwFileFlags;
    row.m_dwClusters = static_cast<DWORD>(static_cast<ULONGLONG>(info.n64Clusters));
    row.m_n64Modified = static_cast<ULONGLONG>(info.n64AlteredTime);
    return row;
}

CScanRow& AddRecordRow(CRowBatch& batch, DWORD dwRecord, const MFTEntryInfo& info)
{
    std::string strName;
    AppendLatin1AsUtf8(strName, info.szName);
    return AddRecordRow(batch, dwRecord, info, strName);
}

CNtfsFileSystem::CNtfsFileSystem() : m_pOwnDrive(std::make_unique<CNTFSDrive>()), m_drive(*m_pOwnDrive) {}

CNtfsFileSystem::CNtfsFileSystem(CNTFSDrive& drive) : m_drive(drive), m_geometry(drive.Geometry())
{
    if (m_geometry.m_dwSectorSize == 0)
        m_geometry.m_dwSectorSize = 512;
}

CNtfsFileSystem::~CNtfsFileSystem() = default;

bool CNtfsFileSystem::Recognises(const BYTE* pBoot, size_t nSize)
{
    return nSize >= 7 && memcmp(pBoot + 3, "NTFS", 4) == 0;
}

DWORD CNtfsFileSystem::Open(HANDLE hDevice, const CVolumeGeometry& geometry, const std::atomic<BYTE>* pStop)
{
    m_drive.AttachDevice(hDevice);
    m_drive.SetGeometry(geometry);
    m_drive.SetStopFlag(pStop);
    const DWORD dwCode = m_drive.OpenVolume();
    m_drive.SetStopFlag(nullptr);
    m_geometry = m_drive.Geometry();
    return dwCode;
}

namespace
{

// The row of a record the walk met: a damaged one, or a file with its name,
// folder and state.
void AddWalkedRow(CRowBatch& batch, DWORD dwRecord, bool bDamaged, const MFTEntryInfo& info,
                  const MFTEntryDetails& details, DWORD dwFolder)
{
    if (bDamaged)
    {
        batch.m_dwNumberBase = kFirstListedRecord;
        batch.AddDamaged(dwRecord);
        return;
    }
    CScanRow& row = AddRecordRow(batch, dwRecord, info, details.strName, dwFolder,
                                 details.bDirectory ? CScanRow::kRowDirectory : 0);
    SetRowState(row, details.state);
    if (details.dwCompletedRecord != 0)
        batch.m_vecUpdates.push_back(RowUpdate(details.dwCompletedRecord, details.completedState));
}

}  // namespace

DWORD CNtfsFileSystem::Walk(IRowSink& sink, const std::atomic<BYTE>& bStop, std::mutex& lockShared, DWORD& dwUnread)
{
    dwUnread = 0;
    {
        std::lock_guard<std::mutex> lock(lockShared);
        // Without the allocation map the walk goes on; the states that need it are unknown.
        m_dwMapCode = m_drive.LoadClusterBitmap(&bStop);
        m_drive.StartReadAhead(kFirstListedRecord, &bStop);
    }
    CRowBatch batch;
    CWalkCounts counts;
    counts.m_dwRecords = m_drive.GetRecordCount();
    auto timeBatch = std::chrono::steady_clock::now();
    auto flush = [&]() {
        if (batch.Empty())
            return;
        sink.OnRows(std::move(batch));
        sink.OnProgress(std::min(counts.m_dwLookedAt, counts.m_dwRecords), counts.m_dwRecords);
        batch = CRowBatch();
        timeBatch = std::chrono::steady_clock::now();
    };

    MFTEntryInfo info;
    MFTEntryDetails details;
    m_walkFolders.Clear();
    size_t nFoldersSent = 0;
    for (DWORD dwRecord = kFirstListedRecord; dwRecord < counts.m_dwRecords && !bStop.load(); ++dwRecord)
    {
        sink.BeforeItem(dwRecord);
        DWORD dwFolder = CScanRow::kNoFolder;
        const ntfs::ERecordKind eKind = Examine(dwRecord, lockShared, info, details, dwFolder);
        counts.m_dwLookedAt = dwRecord + 1;
        if (eKind == ntfs::ERecordKind::eUnreadable)
        {
            // A read that a stop cut short says nothing of the record.
            if (bStop.load())
                break;
            ++dwUnread;
            continue;
        }
        if (eKind == ntfs::ERecordKind::eNeverUsed)
            continue;
        AddNewFolders(m_walkFolders, batch, nFoldersSent);
        AddWalkedRow(batch, dwRecord, eKind == ntfs::ERecordKind::eDamaged, info, details, dwFolder);
        ++counts.m_dwRows;
        // The clock is asked every 16 rows: often enough to keep a batch
        // young, rarely enough to cost nothing.
        if (batch.Size() >= kBatchRows ||
            ((counts.m_dwRows & 0xF) == 0 &&
             std::chrono::steady_clock::now() - timeBatch >= std::chrono::milliseconds(kBatchMs)))
            flush();
    }
    flush();
    std::lock_guard<std::mutex> lock(lockShared);
    m_drive.StopReadAhead();
    m_drive.ForgetClusterBitmap();
    return 0;
}

ntfs::ERecordKind CNtfsFileSystem::Examine(DWORD dwRecord, std::mutex& lockShared, MFTEntryInfo& info,
                                           MFTEntryDetails& details, DWORD& dwFolder)
{
    std::lock_guard<std::mutex> lock(lockShared);
    const ntfs::ERecordKind eKind = m_drive.ExamineRecord(dwRecord, info, details);
    if (eKind == ntfs::ERecordKind::eFile && details.bHasName)
        dwFolder = m_walkFolders.FolderOf(m_drive, details.n64ParentRef);
    return eKind;
}

DWORD CNtfsFileSystem::Describe(DWORD dwId, CEntryDescription& desc)
{
    MFTEntryInfo info;
    MFTEntryDetails details;
    // The name may be in an extension record that only a list on the disk names.
    if (DWORD dwError = m_drive.GetEntryDetailsReadingDisk(dwId, info, details))
        return dwError;
    desc = CEntryDescription();
    desc.m_strName = details.strName;
    // Without a name there is no parent to follow.
    desc.m_strFolder = details.bHasName
                           ? m_describedFolders.Text(m_describedFolders.FolderOf(m_drive, details.n64ParentRef))
                           : "?\\";
    desc.m_dwFileFlags = info.dwFileFlags;
    desc.m_bDirectory = details.bDirectory;
    desc.m_bDeleted = info.bNotInUse != 0;
    desc.m_n64Created = static_cast<ULONGLONG>(info.n64CreationTime);
    desc.m_n64Modified = static_cast<ULONGLONG>(info.n64AlteredTime);
    desc.m_n64Changed = static_cast<ULONGLONG>(info.n64MFTChangedTime);
    return 0;
}

DWORD CNtfsFileSystem::OpenStream(DWORD dwId, std::unique_ptr<IDataStream>& pStream)
{
    // The file's own bytes: its unnamed stream, never its named ones glued on.
    return OpenDataStream<CEntryData>([&](CEntryData& data) { return m_drive.OpenFileStream(dwId, data); }, pStream);
}

std::unique_ptr<IFileSystem> CNtfsFileSystem::Twin() const
{
    // Records are found by number on any opening: nothing to share.
    return std::make_unique<CNtfsFileSystem>();
}

DWORD CNtfsFileSystem::ReadLabel(HANDLE hDevice, const CVolumeGeometry& geometry, std::string& strLabel)
{
    CNTFSDrive drive;
    drive.AttachDevice(hDevice);
    drive.SetGeometry(geometry);
    DWORD dwError = drive.OpenVolume();
    if (dwError == 0)
        dwError = ReadVolumeLabel(drive, strLabel);
    drive.DetachDevice();
    return dwError;
}

CNTFSDrive* NtfsDriveOf(IFileSystem* pFs)
{
    CNtfsFileSystem* pNtfs = dynamic_cast<CNtfsFileSystem*>(pFs);
    return pNtfs ? &pNtfs->Drive() : nullptr;
}
