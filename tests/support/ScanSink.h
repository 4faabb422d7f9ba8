// A scan of one partition of the first disk, run the way the front ends run
// it, with everything it hands over kept for the test to look at.
#pragma once

#include "ntfs/NtfsFileSystem.h"
#include "session/RowStore.h"
#include "session/ScanSession.h"

#include <atomic>
#include <cstdlib>
#include <utility>
#include <vector>

namespace salvix_test
{

// The NTFS drive the session has open; a test that asks on another volume
// ends at once, as it tests the wrong thing.
inline CNTFSDrive& NtfsDrive(CScanSession& session)
{
    CNTFSDrive* pDrive = NtfsDriveOf(session.FileSystem());
    if (!pDrive)
        abort();
    return *pDrive;
}

class CCollectingSink : public IScanSink
{
public:
    void OnCleared() override { ++m_nCleared; }
    void OnRows(CRowBatch&& batch, DWORD dwTotal, DWORD dwDeleted) override
    {
        m_store.Append(std::move(batch));
        m_dwTotal = dwTotal;
        m_dwDeleted = dwDeleted;
    }
    void OnError(DWORD dwCode) override { m_vecErrors.push_back(dwCode); }
    void OnProgress(DWORD dwRecordsDone, DWORD dwRecords) override
    {
        m_vecProgress.emplace_back(dwRecordsDone, dwRecords);
    }
    void OnUnreadRecords(DWORD dwCount) override { m_vecUnread.push_back(dwCount); }

    // Scans the partition that starts at dwFirstSector; RunScan's code.
    DWORD Scan(CScanSession& session, DWORD dwFirstSector)
    {
        CScanTarget target;
        target.m_partition.dwFirstSector = dwFirstSector;
        return session.RunScan(&target, m_bStop, *this);
    }

    std::atomic<BYTE> m_bStop{0};  // set to stop the scan
    int m_nCleared = 0;
    CRowStore m_store;
    DWORD m_dwTotal = 0;
    DWORD m_dwDeleted = 0;
    std::vector<DWORD> m_vecErrors;
    std::vector<std::pair<DWORD, DWORD>> m_vecProgress;
    std::vector<DWORD> m_vecUnread;  // one count per walk that ran
};

}  // namespace salvix_test
