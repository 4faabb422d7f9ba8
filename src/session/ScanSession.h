// The open volume and everything that uses it, in one owner, with no toolkit:
// the device handle, the CNTFSDrive and the lock that keeps the scan's walk
// apart from whoever asks it about a record; a save opens the same volume
// again for itself (OpenSaveVolume). Front ends run RunScan on a worker
// thread and draw what reaches the sink; they never call the drive
// themselves.
//
// The rules of a scan live here and nowhere else:
// - the table is walked from record 30 to its end; row n of the walk lists a
//   record, which keeps its number (the "#" column shows it minus 30, so a
//   gap shows where records were passed over);
// - a record no file ever held gets no row; a damaged one gets a row that
//   says so; one whose bytes could not be read is counted, and the walk goes
//   on: the count is told once at the end (OnUnreadRecords);
// - a failure to open the volume is reported once through the sink and
//   closes the device handle, which is then detached from the drive, so
//   nothing is ever read through a closed handle;
// - a stop is answered between records and between the table's reads.
#pragma once

#include "disk/PartitionTable.h"
#include "ntfs/NTFSDrive.h"
#include "session/FolderPaths.h"
#include "session/SaveEntry.h"
#include "session/RowText.h"

#include <atomic>
#include <functional>
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
    // Rows in record order, with the counters as they stand after them.
    virtual void OnRows(CRowBatch&& batch, DWORD dwTotal, DWORD dwDeleted) = 0;
    // A failure to show, once; returns when it has been shown (or dropped).
    virtual void OnError(DWORD dwCode) = 0;
    // How far the walk got: records of the table looked at, and in all.
    virtual void OnProgress(DWORD /*dwDone*/, DWORD /*dwTotal*/) {}
    // Once, when a walk ends (at the table's end or a stop): how many records
    // of the table could not be read. 0: every record was read.
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
    // open handle reused), the volume opened and its records walked into the
    // sink until the table ends or bStop. Returns 0, or the code of a failed
    // open, reported.
    DWORD RunScan(const CScanTarget* pTarget, const std::atomic<BYTE>& bStop, IScanSink& sink);

    // The description of a record of the open volume.
    DWORD DescribeEntry(DWORD dwRecord, MFTEntryInfo& info);
    // The tip of a listed record's row: its times (RecordTimesTip), asked of
    // the volume when the tip is shown; empty when it cannot be read.
    std::string RecordTip(DWORD dwRecord);
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
    // The save of one record into strFolder (see SaveEntry.h), on a volume of
    // its own, waiting as long as it takes.
    DWORD SaveEntry(DWORD dwRecord, const std::string& strFolder);
    // The disk the open volume is on (meaningful while one is open).
    DWORD Disk() const { return m_dwDisk; }

    // Closes the device handle, if open, and detaches it from the drive.
    void CloseDevice();
    bool HasDevice() const;
    HANDLE DeviceHandle() const { return m_hDevice; }

    // For tests and benchmarks.
    CNTFSDrive& Drive() { return m_drive; }
    std::mutex& Lock() { return m_lock; }
    // Called before each record is asked for (after the stop test).
    std::function<void(DWORD dwRecord)> m_fnBeforeRecord;

    // Rows travel to the sink in batches of this many, or this old.
    static constexpr size_t kBatchRows = 8192;
    static constexpr DWORD kBatchMs = 25;

private:
    DWORD OpenTarget(const CScanTarget& target, const std::atomic<BYTE>& bStop);
    DWORD WalkRecords(const std::atomic<BYTE>& bStop, IScanSink& sink);
    // The folders the walk met since the last batch travel with the next one.
    void AddNewFolders(CRowBatch& batch, size_t& nFoldersSent) const;
    void CloseDeviceLocked();

    CNTFSDrive m_drive;
    CFolderPaths m_folders;  // of the scan in hand
    HANDLE m_hDevice;
    DWORD m_dwDisk;
    PartitionRecord m_partition = {};  // of the volume open now
    std::string m_strDiskName;  // the name that disk was opened by
    DWORD m_dwMapCode = 0;
    std::mutex m_lock;
};
