#include "session/ScanSession.h"

#include "disk/Disk.h"
#include "platform/Platform.h"
#include "session/FileSystems.h"
#include "session/SaveEntry.h"

#include <chrono>
#include <thread>

namespace
{

// The walk's rows on their way to the scan's sink, counted.
class CCountingSink : public IRowSink
{
public:
    CCountingSink(IScanSink& sink, const std::function<void(DWORD)>& fnBefore) : m_sink(sink), m_fnBefore(fnBefore)
    {
    }
    void OnRows(CRowBatch&& batch) override
    {
        m_dwRows += static_cast<DWORD>(batch.Size());
        for (const CScanRow& row : batch.m_vecRows)
            m_dwDeleted += row.m_bNotInUse ? 1 : 0;
        m_sink.OnRows(std::move(batch), m_dwRows, m_dwDeleted);
    }
    void OnProgress(DWORD dwDone, DWORD dwTotal) override { m_sink.OnProgress(dwDone, dwTotal); }
    void BeforeItem(DWORD dwItem) override
    {
        if (m_fnBefore)
            m_fnBefore(dwItem);
    }

private:
    IScanSink& m_sink;
    const std::function<void(DWORD)>& m_fnBefore;
    DWORD m_dwRows = 0;
    DWORD m_dwDeleted = 0;
};

}  // namespace

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
    // The file system lets go first: its read-ahead must not read a closed handle.
    if (m_pFs)
        m_pFs->DetachDevice();
    if (m_hDevice != INVALID_HANDLE_VALUE)
        CloseHandle(m_hDevice);
    m_hDevice = INVALID_HANDLE_VALUE;
}

DWORD CScanSession::OpenTarget(const CScanTarget& target, const std::atomic<BYTE>& bStop)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_pFs.reset();
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
    m_partition = target.m_partition;
    CVolumeGeometry geometry;
    DWORD dwCode = GeometryOf(target.m_partition, geometry) ? OpenFileSystem(m_hDevice, geometry, &bStop, m_pFs)
                                                             : ERROR_NEGATIVE_SEEK;
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
    // The walk holds the lock only while it uses what a description or a
    // save's twin also uses; the file system stays this one until the next
    // scan, which runs on this same thread.
    CCountingSink counting(sink, m_fnBeforeRecord);
    DWORD dwUnread = 0;
    dwCode = m_pFs->Walk(counting, bStop, m_lock, dwUnread);
    if (dwCode != 0)
        sink.OnError(dwCode);
    sink.OnUnreadRecords(dwUnread);
    m_dwMapCode = m_pFs->AllocationMapCode();
    return dwCode;
}

DWORD CScanSession::DescribeEntry(DWORD dwId, CEntryDescription& desc)
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_pFs ? m_pFs->Describe(dwId, desc) : ERROR_INVALID_ACCESS;
}

std::string CScanSession::RowTip(DWORD dwId)
{
    CEntryDescription desc;
    return DescribeEntry(dwId, desc) == 0 ? EntryTimesTip(desc) : std::string();
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
    if (!m_pFs)
        return ERROR_INVALID_ACCESS;
    const DWORD dwDisk = m_dwDisk;
    std::unique_ptr<IFileSystem> pTwin = m_pFs->Twin();
    const CVolumeGeometry geometry = m_pFs->Geometry();
    lock.unlock();
    // The save reads the volume open now through a handle and a twin of its
    // own: whatever a scan opens or closes meanwhile, it stays on this one.
    return volume.Open(dwDisk, geometry, std::move(pTwin));
}

DWORD CScanSession::SaveEntry(DWORD dwId, const std::string& strFolder)
{
    CSaveVolume volume;
    bool bBusy = false;
    if (DWORD dwError = OpenSaveVolume(volume, INFINITE, bBusy))
        return dwError;
    std::mutex lockVolume;
    return ::SaveEntry(*volume.m_pFs, lockVolume, dwId, strFolder);
}
