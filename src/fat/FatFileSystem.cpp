#include "fat/FatFileSystem.h"

#include "disk/FileSystemProbe.h"

#include <cstring>

namespace
{

// The FAT layer's batches made into the session's rows.
class CRowAdapter : public fat::IFatSink
{
public:
    explicit CRowAdapter(IRowSink& sink) : m_sink(sink) {}
    DWORD OnRows(fat::CFatRowBatch&& fatBatch) override;

private:
    IRowSink& m_sink;
};

void AddFatRow(CRowBatch& batch, const fat::CFatRowBatch& fatBatch, const fat::CFatRow& f)
{
    const BYTE byRowFlags = static_cast<BYTE>((f.m_bDirectory ? CScanRow::kRowDirectory : CScanRow::kRowHasSize) |
                                              (f.m_modification.m_bWallClock ? CScanRow::kRowWallClock : 0));
    CScanRow& row = batch.Add(f.m_dwEntry, fatBatch.m_strNames.data() + f.m_dwNameOffset, f.m_wNameLength,
                              f.m_dwFolder, byRowFlags);
    row.m_bNotInUse = f.m_bDeleted ? 1 : 0;
    row.m_dwFileFlags = f.m_dwFileFlags;
    row.m_dwClusters = static_cast<DWORD>(f.m_n64Clusters);
    row.m_eState = f.m_eState;
    row.m_byFreePercent = f.m_byFreePercent;
    row.m_n64Size = f.m_n64Size;
    row.m_n64Modified = f.m_modification.m_n64Value;
}

DWORD CRowAdapter::OnRows(fat::CFatRowBatch&& fatBatch)
{
    CRowBatch batch;
    batch.m_strNames.reserve(fatBatch.m_strNames.size());
    batch.m_vecRows.reserve(fatBatch.m_vecRows.size());
    for (const fat::CFatRow& f : fatBatch.m_vecRows)
    {
        m_sink.BeforeItem(f.m_dwEntry);
        AddFatRow(batch, fatBatch, f);
    }
    batch.m_vecNewFolders = std::move(fatBatch.m_vecNewFolders);
    batch.m_dwFirstNewFolder = fatBatch.m_dwFirstNewFolder;
    m_sink.OnRows(std::move(batch));
    m_sink.OnProgress(fatBatch.m_dwFoldersRead, fatBatch.m_dwFoldersKnown);
    return 0;
}

// A time as UTC: a wall-clock one read on the local zone.
ULONGLONG UtcOf(ULONGLONG n64Time, bool bWallClock)
{
    if (!bWallClock || n64Time == 0)
        return n64Time;
    FILETIME local, utc;
    local.dwLowDateTime = static_cast<DWORD>(n64Time);
    local.dwHighDateTime = static_cast<DWORD>(n64Time >> 32);
    if (!LocalFileTimeToFileTime(&local, &utc))
        return n64Time;
    return (static_cast<ULONGLONG>(utc.dwHighDateTime) << 32) | utc.dwLowDateTime;
}

}  // namespace

bool CFatFileSystem::Recognises(const BYTE* pBoot, size_t nSize)
{
    const char* pszName = ProbeFileSystem(pBoot, nSize);
    return pszName && strncmp(pszName, "NTFS", 4) != 0;
}

DWORD CFatFileSystem::Open(HANDLE hDevice, const CVolumeGeometry& geometry, const std::atomic<BYTE>* pStop)
{
    m_hDevice = hDevice;
    m_geometry = geometry;
    if (m_pShare)
        return m_volume.OpenTwin(*m_pShare, hDevice);
    return m_volume.Open(hDevice, geometry.m_n64Offset, geometry.m_dwSectorSize, pStop);
}

DWORD CFatFileSystem::Walk(IRowSink& sink, const std::atomic<BYTE>& bStop, std::mutex& /*lockShared*/,
                           DWORD& dwUnread)
{
    // The walk's table has a lock of its own, and nothing else a twin or a
    // description takes changes while the walk runs.
    CRowAdapter adapter(sink);
    DWORD dwError = m_volume.Walk(adapter, bStop);
    dwUnread = m_volume.UnreadFolders();
    return dwError == ERROR_OPERATION_ABORTED && bStop.load() ? 0 : dwError;
}

DWORD CFatFileSystem::Describe(DWORD dwId, CEntryDescription& desc)
{
    if (!m_volume.IsOpen())
        return ERROR_INVALID_ACCESS;
    fat::CWalkedEntry entry;
    desc = CEntryDescription();
    if (!m_volume.Entry(dwId, entry, &desc.m_strName))
        return ERROR_NO_MORE_FILES;
    desc.m_strFolder = m_volume.Folder(entry.m_dwFolder);
    desc.m_dwFileFlags = entry.m_byAttributes;
    desc.m_bDirectory = (entry.m_byFlags & fat::CWalkedEntry::kDirectory) != 0;
    desc.m_bDeleted = (entry.m_byFlags & fat::CWalkedEntry::kDeleted) != 0;
    desc.m_n64Created = UtcOf(entry.m_n64Created, entry.m_byFlags & fat::CWalkedEntry::kCreatedWallClock);
    desc.m_n64Modified = UtcOf(entry.m_n64Modified, entry.m_byFlags & fat::CWalkedEntry::kModifiedWallClock);
    return 0;
}

DWORD CFatFileSystem::OpenStream(DWORD dwId, std::unique_ptr<IDataStream>& pStream)
{
    return OpenDataStream<fat::CFatData>([&](fat::CFatData& data) { return m_volume.OpenData(dwId, data); }, pStream);
}

std::unique_ptr<IFileSystem> CFatFileSystem::Twin() const
{
    auto pTwin = std::make_unique<CFatFileSystem>();
    pTwin->m_pShare = std::make_unique<fat::CFatVolume::CShare>(m_volume.Share());
    return pTwin;
}

DWORD CFatFileSystem::ReadLabel(HANDLE hDevice, const CVolumeGeometry& geometry, std::string& strLabel)
{
    fat::CFatVolume volume;
    return volume.ReadLabelOnly(hDevice, geometry.m_n64Offset, geometry.m_dwSectorSize, strLabel);
}

void CFatFileSystem::DetachDevice()
{
    m_hDevice = INVALID_HANDLE_VALUE;
    m_volume.SetDevice(INVALID_HANDLE_VALUE);
}
