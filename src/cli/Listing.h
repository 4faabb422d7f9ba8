// A scan of one partition without a window: the rows kept in a store as the
// list keeps them, narrowed by the list's own filter (RowView), and each new
// shown row handed on at once, in the scan's order, so a long table prints
// as it is read. A row whose state comes with a later batch (its data lies
// in records further on) holds back the rows after it until then.
#pragma once

#include "session/RowView.h"
#include "session/ScanSession.h"

#include <functional>

class CListing : public IScanSink
{
public:
    // fnShown(row of the store) for every row that passes the filter, in scan order.
    CListing(const std::string& strMatch, bool bDeletedOnly, bool bRecoverableOnly,
             std::function<void(size_t nStoreRow)> fnShown);

    // The whole scan; 0 or the code that ended it (reported already to OnError).
    DWORD Run(CScanSession& session, const CScanTarget& target);
    // Asks the scan to stop after the batch in hand (its output is gone).
    void Stop() { m_bStop = 1; }

    const CRowStore& Store() const { return m_store; }
    const CRowView& View() const { return m_view; }
    // Records of the table that could not be read (bad sectors): they have no row.
    DWORD UnreadRecords() const { return m_dwUnread; }

    void OnCleared() override;
    void OnRows(CRowBatch&& batch, DWORD dwTotal, DWORD dwDeleted) override;
    void OnError(DWORD dwCode) override { m_dwError = dwCode; }
    void OnUnreadRecords(DWORD dwCount) override { m_dwUnread = dwCount; }

private:
    // Hands on the rows ready to be shown; at the end, every row left.
    void ShowReady(bool bEnd);

    CRowStore m_store;
    CRowView m_view;
    std::function<void(size_t)> m_fnShown;
    size_t m_nNext = 0;  // the next row of the store to hand on
    std::atomic<BYTE> m_bStop{0};
    DWORD m_dwError = 0;
    DWORD m_dwUnread = 0;
};
