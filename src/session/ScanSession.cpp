#include "session/ScanSession.h"

#include "disk/Disk.h"
#include "platform/Platform.h"
#include "session/SaveEntry.h"

#include <algorithm>
#include <chrono>
#include <thread>

CScanSession::CScanSession() : m_hDevice(INVALID_HANDLE_VALUE), m_dwDisk(0) {}

CScanSession::~CScanSession()
{
    CloseDevice();
}

bool CScanSession::HasDevice() const
{
    return m_hDevice != INVALID_HANDLE_VALUE;
}

void CScanSession::CloseDevice()
{
    std::lock_guard<std::mutex> lock(m_lock);
    CloseDeviceLocked();
}

void CScanSession::CloseDeviceLocked()
{
    // The drive lets go first: its read-ahead must not read a closed handle.
    m_drive.DetachDevice();
    if (m_hDevice != INVALID_HANDLE_VALUE)
        CloseHandle(m_hDevice);
    m_hDevice = INVALID_HANDLE_VALUE;
}

DWORD CScanSession::OpenTarget(const CScanTarget& target, const std::atomic<BYTE>& bStop)
{
    std::lock_guard<std::mutex> lock(m_lock);
    // The handle is kept across scans of one disk; a save opens its own.
    // Another disk, or the disk of that number is now another (its list was
    // set anew): the handle in hand is not the one to read.
    const std::string strDiskName = DiskOpenName(target.m_dwDisk) + "|" + DiskPath(target.m_dwDisk);
    if (m_hDevice != INVALID_HANDLE_VALUE && (m_dwDisk != target.m_dwDisk || m_strDiskName != strDiskName))
        CloseDeviceLocked();
    if (m_hDevice == INVALID_HANDLE_VALUE)
    {
        HANDLE hDevice = OpenDisk(target.m_dwDisk);
        if (hDevice == INVALID_HANDLE_VALUE)
            return GetLastError();
        m_hDevice = hDevice;
        m_dwDisk = target.m_dwDisk;
        m_strDiskName = strDiskName;
    }
    m_drive.AttachDevice(m_hDevice);
    SetVolumeStartOf(m_drive, target.m_partition);
    m_partition = target.m_partition;
    m_drive.SetStopFlag(&bStop);
    DWORD dwCode = m_drive.OpenVolume();
    m_drive.SetStopFlag(nullptr);
    if (dwCode != 0)
        CloseDeviceLocked();
    return dwCode;
}

DWORD CScanSession::RunScan(const CScanTarget* pTarget, const std::atomic<BYTE>& bStop,
                            IScanSink& sink)
{
    if (!pTarget)
        return 0;
    m_dwMapCode = 0;
    sink.OnCleared();
    DWORD dwCode = OpenTarget(*pTarget, bStop);
    if (dwCode == ERROR_OPERATION_ABORTED && bStop.load())
        return 0;  // stopped while the volume opened: nothing to report
    if (dwCode != 0)
    {
        sink.OnError(dwCode);
        return dwCode;
    }
    {
        std::lock_guard<std::mutex> lock(m_lock);
        // Without the allocation map the scan goes on; the states that need it are unknown.
        m_dwMapCode = m_drive.LoadClusterBitmap(&bStop);
        m_drive.StartReadAhead(kFirstListedRecord, &bStop);
    }
    dwCode = WalkRecords(bStop, sink);
    std::lock_guard<std::mutex> lock(m_lock);
    m_drive.StopReadAhead();
    m_drive.ForgetClusterBitmap();
    return dwCode;
}

DWORD CScanSession::WalkRecords(const std::atomic<BYTE>& bStop, IScanSink& sink)
{
    CRowBatch batch;
    DWORD dwRows = 0;
    DWORD dwDeleted = 0;
    DWORD dwUnread = 0;
    auto timeBatch = std::chrono::steady_clock::now();
    const DWORD dwRecords = m_drive.GetRecordCount();
    DWORD dwRecord = kFirstListedRecord;
    DWORD dwLookedAt = kFirstListedRecord;  // records of the table looked at so far
    auto flush = [&]() {
        if (batch.Empty())
            return;
        sink.OnRows(std::move(batch), dwRows, dwDeleted);
        sink.OnProgress(std::min(dwLookedAt, dwRecords), dwRecords);
        batch = CRowBatch();
        timeBatch = std::chrono::steady_clock::now();
    };

    MFTEntryInfo info;
    MFTEntryDetails details;
    m_folders.Clear();
    size_t nFoldersSent = 0;
    for (; dwRecord < dwRecords && !bStop.load(); ++dwRecord)
    {
        if (m_fnBeforeRecord)
            m_fnBeforeRecord(dwRecord);
        DWORD dwFolder = CScanRow::kNoFolder;
        ntfs::ERecordKind eKind;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            eKind = m_drive.ExamineRecord(dwRecord, info, details);
            if (eKind == ntfs::ERecordKind::eFile && details.bHasName)
                dwFolder = m_folders.FolderOf(m_drive, details.n64ParentRef);
        }
        dwLookedAt = dwRecord + 1;
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
        AddNewFolders(batch, nFoldersSent);
        if (eKind == ntfs::ERecordKind::eDamaged)
        {
            batch.AddDamaged(dwRecord);
        }
        else
        {
            dwDeleted += info.bNotInUse ? 1 : 0;
            batch.Add(RecordRow(dwRecord, info, details, dwFolder), details.strName);
            if (details.dwCompletedRecord != 0)
                batch.AddUpdate(details.dwCompletedRecord, details.completedState);
        }
        ++dwRows;
        // The clock is asked every 16 rows: often enough to keep a batch
        // young, rarely enough to cost nothing.
        if (batch.Size() >= kBatchRows ||
            ((dwRows & 0xF) == 0 &&
             std::chrono::steady_clock::now() - timeBatch >= std::chrono::milliseconds(kBatchMs)))
            flush();
    }
    flush();
    sink.OnUnreadRecords(dwUnread);
    return 0;
}

void CScanSession::AddNewFolders(CRowBatch& batch, size_t& nFoldersSent) const
{
    if (m_folders.Count() == nFoldersSent)
        return;
    if (batch.m_vecNewFolders.empty())
        batch.m_dwFirstNewFolder = static_cast<DWORD>(nFoldersSent);
    for (; nFoldersSent < m_folders.Count(); ++nFoldersSent)
        batch.m_vecNewFolders.push_back(m_folders.Text(static_cast<DWORD>(nFoldersSent)));
}

DWORD CScanSession::DescribeEntry(DWORD dwRecord, MFTEntryInfo& info)
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_drive.GetEntryInfo(dwRecord, info);
}

std::string CScanSession::RecordTip(DWORD dwRecord)
{
    MFTEntryInfo info;
    return DescribeEntry(dwRecord, info) == 0 ? RecordTimesTip(info) : std::string();
}

DWORD CScanSession::OpenSaveVolume(CSaveVolume& volume, DWORD dwWaitMs, bool& bBusy)
{
    bBusy = false;
    std::unique_lock<std::mutex> lock(m_lock, std::try_to_lock);
    const auto timeEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(dwWaitMs);
    while (!lock.owns_lock())
    {
        if (dwWaitMs != INFINITE && std::chrono::steady_clock::now() >= timeEnd)
        {
            bBusy = true;
            return 0;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        lock.try_lock();
    }
    if (!m_drive.m_bOpened)
        return ERROR_INVALID_ACCESS;
    const DWORD dwDisk = m_dwDisk;
    const PartitionRecord partition = m_partition;
    lock.unlock();
    // The save reads the volume open now through a handle and a drive of its
    // own: whatever a scan opens or closes meanwhile, it stays on this one.
    return volume.Open(dwDisk, partition);
}

DWORD CScanSession::SaveEntry(DWORD dwRecord, const std::string& strFolder)
{
    CSaveVolume volume;
    bool bBusy = false;
    if (DWORD dwError = OpenSaveVolume(volume, INFINITE, bBusy))
        return dwError;
    std::mutex lockVolume;
    return ::SaveEntry(volume.m_drive, lockVolume, dwRecord, strFolder);
}
