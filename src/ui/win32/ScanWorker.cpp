// The scan: the button that starts and stops it, and the worker thread, a
// shell around the session's scan that hands its rows to the list.
#include "session/Messages.h"
#include "ui/Resource.h"
#include "ui/win32/SalvixDlg.h"
#include "ui/win32/WideText.h"

DWORD WINAPI ScanThreadProc(LPVOID pParam)
{
    static_cast<CSalvixDlg*>(pParam)->RunScan();
    return 0;
}

void CSalvixDlg::ShowScanState()
{
    const EScanState eState = m_scan.State();
    HWND hButton = Item(IDC_BUTTON_SCAN);
    SetWindowTextW(hButton, WideFromUtf8(ScanButtonText(eState)).c_str());
    EnableWindow(hButton, ScanButtonEnabled(eState));
}

void CSalvixDlg::OnScanButton()
{
    const CScanTarget* pTarget = nullptr;
    TVITEMW item = {};
    item.mask = TVIF_PARAM;
    item.hItem = TreeView_GetSelection(m_hTree);
    if (item.hItem && SendMessageW(m_hTree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)))
        pTarget = reinterpret_cast<const CScanTarget*>(item.lParam);
    m_session.m_fnBeforeRecord = s_fnBeforeRecordHook;
    if (m_scan.Press(pTarget, ScanThreadProc, this) == EScanPress::eStartScan)
        SetDlgItemTextW(m_hWnd, IDC_STATIC_HINT, WideFromUtf8(ScanHintText(0, 1)).c_str());
    ShowScanState();
}

// Hands the session's output to the user interface thread, in order, through
// the dialog's queue; errors wait there until their box was closed.
class CSalvixDlg::CDialogSink : public IScanSink
{
public:
    CDialogSink(CSalvixDlg& dlg, DWORD dwSerial) : m_dlg(dlg), m_dwSerial(dwSerial) {}

    void OnCleared() override { m_dlg.PostScanEvent(Event(CScanEvent::eCleared)); }
    void OnRows(CRowBatch&& batch, DWORD dwTotal, DWORD dwDeleted) override
    {
        CScanEvent event = Event(CScanEvent::eRows);
        event.m_batch = std::move(batch);
        event.m_dwTotal = dwTotal;
        event.m_dwDeleted = dwDeleted;
        m_dlg.PostScanEvent(std::move(event));
    }
    void OnError(DWORD dwCode) override { m_dlg.WaitForErrorBox(dwCode); }
    void OnUnreadRecords(DWORD dwCount) override
    {
        if (dwCount != 0)
            m_dlg.WaitForErrorBox(ERROR_READ_FAULT, UnreadRecordsText(dwCount));
    }
    void OnProgress(DWORD dwRecordsDone, DWORD dwRecords) override
    {
        CScanEvent event = Event(CScanEvent::eProgress);
        event.m_dwRecordsDone = dwRecordsDone;
        event.m_dwRecords = dwRecords;
        m_dlg.PostScanEvent(std::move(event));
    }

    CScanEvent Event(CScanEvent::EKind eKind) const
    {
        CScanEvent event;
        event.m_eKind = eKind;
        event.m_dwSerial = m_dwSerial;
        return event;
    }

private:
    CSalvixDlg& m_dlg;
    DWORD m_dwSerial;
};

void CSalvixDlg::RunScan()
{
    // Set by the press that started this worker, before the thread existed.
    CDialogSink sink(*this, m_scan.Serial());
    m_scan.Run(sink);
    PostScanEvent(sink.Event(CScanEvent::eFinished));
}

void CSalvixDlg::PostScanEvent(CScanEvent&& event)
{
    std::lock_guard<std::mutex> lock(m_lockEvents);
    if (m_bClosing)
        return;
    m_queEvents.push_back(std::move(event));
    // One message stands for everything queued until the dialog takes it.
    if (!m_bEventsPosted)
        m_bEventsPosted = PostMessageW(m_hWnd, WM_SALVIX_SCAN_EVENTS, 0, 0) != FALSE;
}

void CSalvixDlg::WaitForErrorBox(DWORD dwCode, const std::string& strText)
{
    CScanEvent event;
    event.m_eKind = CScanEvent::eError;
    event.m_dwCode = dwCode;
    event.m_strText = strText;
    std::unique_lock<std::mutex> lock(m_lockEvents);
    if (m_bClosing)
        return;
    const DWORD dwTicket = ++m_dwErrorsAsked;
    lock.unlock();
    PostScanEvent(std::move(event));
    // A closing dialog releases the wait, so that a close that waits for
    // this worker never waits on itself.
    lock.lock();
    m_cvEvents.wait(lock, [&] { return m_dwErrorsShown >= dwTicket || m_bClosing; });
}

void CSalvixDlg::OnScanEvents()
{
    std::deque<CScanEvent> queEvents;
    {
        std::lock_guard<std::mutex> lock(m_lockEvents);
        queEvents.swap(m_queEvents);
        m_bEventsPosted = false;
    }
    for (CScanEvent& event : queEvents)
    {
        // There is only ever one worker, so its error is always the current one's.
        if (event.m_eKind == CScanEvent::eError)
        {
            // The rows before the failure show before its box.
            ShowArrivedRows();
            OnWorkerError(event.m_dwCode, event.m_strText);
            continue;
        }
        // What a scan before the last start still sends is dropped.
        if (event.m_dwSerial != m_scan.Serial())
            continue;
        switch (event.m_eKind)
        {
        case CScanEvent::eCleared: ClearList(); break;
        case CScanEvent::eRows:
            OnScanRows(std::move(event.m_batch), event.m_dwTotal, event.m_dwDeleted);
            break;
        case CScanEvent::eProgress:
            SetDlgItemTextW(m_hWnd, IDC_STATIC_HINT,
                            WideFromUtf8(ScanHintText(event.m_dwRecordsDone, event.m_dwRecords)).c_str());
            break;
        case CScanEvent::eFinished: OnScanFinished(); break;
        default: break;
        }
    }
}

void CSalvixDlg::OnWorkerError(DWORD dwCode, const std::string& strText)
{
    bool bClosing;
    {
        std::lock_guard<std::mutex> lock(m_lockEvents);
        bClosing = m_bClosing;
    }
    if (!bClosing)
        ShowError(dwCode, true, strText);
    {
        std::lock_guard<std::mutex> lock(m_lockEvents);
        ++m_dwErrorsShown;
    }
    m_cvEvents.notify_all();
}

void CSalvixDlg::OnScanFinished()
{
    ShowArrivedRows();
    SetDlgItemTextW(m_hWnd, IDC_STATIC_HINT, WideFromUtf8(ScanHintText(0, 0)).c_str());
    if (m_scan.Finished())
        ShowScanState();
}
