// The open volume and everything that uses it, in one owner, with no toolkit:
// the device handle, the file system open on it (fs/FileSystem.h, picked by
// the volume's boot sector) and the lock that keeps the scan's walk apart
// from whoever asks it about a row; a save opens a twin of the volume for
// itself (OpenSaveVolume). Front ends run RunScan on a worker thread and draw
// what reaches the sink; they never call the file system themselves.
//
// What a scan promises, whatever the file system:
// - a target's volume is opened anew for each scan, the list emptied first;
// - every file and folder the file system's walk finds gets a row, in the
//   walk's order (NTFS: by record from 30; FAT: from the root down), with
//   the counters after each batch; what could not be read is counted and
//   told once at the end (OnUnreadRecords);
// - a failure to open the volume is reported once through the sink and
//   closes the device handle, which is then detached from the file system,
//   so nothing is ever read through a closed handle;
// - a stop is answered while the volume opens and during the walk.
#pragma once

#include "disk/PartitionTable.h"
#include "fs/FileSystem.h"
#include "session/RowText.h"
#include "session/SaveEntry.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

// What a scan reads: a partition of one of the disks.
struct CScanTarget
{
    DWORD m_dwDisk = 0;
    PartitionRecord m_partition = {};
};

class IScanSink
{
public:
    virtual ~IScanSink() = default;
    // A partition is about to be read: the list is emptied.
    virtual void OnCleared() = 0;
    // Rows in walk order, with the counters as they stand after them.
    virtual void OnRows(CRowBatch&& batch, DWORD dwTotal, DWORD dwDeleted) = 0;
    // A failure to show, once; returns when it has been shown (or dropped).
    virtual void OnError(DWORD dwCode) = 0;
    // How far the walk got: records of the table looked at, and in all
    // (FAT: folders read, of those known so far).
    virtual void OnProgress(DWORD /*dwDone*/, DWORD /*dwTotal*/) {}
    // Once, when a walk ends (at its end or a stop): how many records of the
    // table (FAT: folders) could not be read. 0: every one was read.
    virtual void OnUnreadRecords(DWORD dwCount) = 0;
};

class CScanSession
{
public:
    CScanSession();
    ~CScanSession();
    CScanSession(const CScanSession&) = delete;
    CScanSession& operator=(const CScanSession&) = delete;

    // One scan, start to end, on the calling thread: with no target nothing
    // happens; otherwise the list is cleared, the target's disk opened (or the
    // open handle reused), the volume opened and walked into the sink until
    // its end or bStop. Returns 0, or the code of a failure, reported.
    DWORD RunScan(const CScanTarget* pTarget, const std::atomic<BYTE>& bStop, IScanSink& sink);

    // The description of a row of the open volume, by its id.
    DWORD DescribeEntry(DWORD dwId, CEntryDescription& desc);
    // The tip of a listed row: its times (EntryTimesTip), asked of the
    // volume when the tip is shown; empty when it cannot be read.
    std::string RowTip(DWORD dwId);
    // Why the last scan's allocation map could not be read (its states that
    // need it are unknown); 0 when it was read.
    DWORD ClusterMapCode() const { return m_dwMapCode; }
    // Opens the volume open now once more for a save of its own (see
    // CSaveVolume): a scan that opens another partition meanwhile changes
    // nothing for the save. A device handle that a failure closed is no
    // matter: the save opens its own. ERROR_INVALID_ACCESS when no volume is
    // open. Gives up, with bBusy set and nothing done, when the lock cannot
    // be had within dwWaitMs (a scan holds it while it opens a volume);
    // INFINITE waits.
    DWORD OpenSaveVolume(CSaveVolume& volume, DWORD dwWaitMs, bool& bBusy);
    // The save of one row into strFolder (see SaveEntry.h), on a volume of
    // its own, waiting as long as it takes.
    DWORD SaveEntry(DWORD dwId, const std::string& strFolder);
    // The disk the open volume is on (meaningful while one is open).
    DWORD Disk() const { return m_dwDisk; }

    // Closes the device handle, if open, and detaches it from the file system.
    void CloseDevice();
    bool HasDevice() const;
    HANDLE DeviceHandle() const { return m_hDevice; }

    // For tests and benchmarks: the file system open now (null when none).
    IFileSystem* FileSystem() { return m_pFs.get(); }
    // Called before each record (NTFS) or folder (FAT) is read, after the stop test.
    std::function<void(DWORD dwItem)> m_fnBeforeRecord;

private:
    DWORD OpenTarget(const CScanTarget& target, const std::atomic<BYTE>& bStop);
    void CloseDeviceLocked();

    std::unique_ptr<IFileSystem> m_pFs;
    HANDLE m_hDevice;
    DWORD m_dwDisk;
    PartitionRecord m_partition = {};  // of the volume open now
    std::string m_strDiskName;  // the name that disk was opened by
    DWORD m_dwMapCode = 0;
    std::mutex m_lock;
};
