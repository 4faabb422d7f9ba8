// The main dialog, template 102: the tree of disks and partitions, the file
// list with its counters, the scan button. What it shows is decided by the
// scan session and its texts; the dialog draws it and forwards the clicks.
#pragma once

#include "session/RowText.h"
#include "session/RowView.h"
#include "session/SaveLoop.h"
#include "session/ScanSession.h"
#include "session/ScanState.h"
#include "session/ScanThread.h"
#include "ui/win32/DialogWindow.h"

#include <commctrl.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CSaveProgress;

// Runs one scan on a worker thread; the parameter is the dialog. Returns 0.
DWORD WINAPI ScanThreadProc(LPVOID pParam);

// Shows the folder chooser, starting at pszInitial (or the desktop when
// null), and writes the chosen folder to pszPath (MAX_PATH characters: the
// shell's chooser gives no longer one; the files saved below it may have
// paths of any length). Non-zero when a folder with a file-system path was chosen.
int BrowseForFolder(HWND hOwner, wchar_t* pszPath, const wchar_t* pszInitial);

class CSalvixDlg : public CDialogWindow
{
public:
    explicit CSalvixDlg(HWND hParent = nullptr);
    ~CSalvixDlg() override;

    // Shows the text for a code in the "GetLastError" box, owned by the
    // dialog; on the user interface thread only (the worker asks through
    // its queue and waits).
    void ShowSystemError(DWORD dwCode);

    DWORD EnumeratePartitions();
    HTREEITEM AddDriveItem(HTREEITEM hParent, const std::string& strText, const CScanTarget* pTarget);

    // Test seams, each off (empty) unless a test sets it.
    // Called instead of showing the error box, on the user interface thread.
    static std::function<void(DWORD dwCode)> s_fnErrorHook;
    // Chooses from a popup menu instead of the user: the command id, or 0.
    static std::function<UINT(HMENU hMenu, POINT ptScreen)> s_fnMenuHook;
    // Answers the folder chooser instead of the user: the folder, or empty when cancelled.
    static std::function<std::wstring(const std::wstring& wstrTitle, const std::wstring& wstrInitial)>
        s_fnFolderHook;
    // Called by the worker before it asks for each record (after the stop test).
    static std::function<void(DWORD dwRecordIndex)> s_fnBeforeRecordHook;
    // Called on the user interface thread between the steps of a save.
    static std::function<void()> s_fnSaveStepHook;
    // Called instead of showing a save's report ("保存结果"), with its text (UTF-8).
    static std::function<void(const std::string& strReport)> s_fnReportHook;
    // Answers a yes-or-no question instead of the user (the save onto the
    // disk being read): true for yes.
    static std::function<bool(const std::wstring& wstrQuestion)> s_fnQuestionHook;

    // What the dialog owns, shared by the scan and the save command: the
    // session owns the device handle, the drive and its lock.
    HICON m_hIcon;
    HTREEITEM m_hTreeRoot;
    CScanSession m_session;
    // The worker, its stop flag and the scan button's state.
    CScanThread m_scan;

protected:
    BOOL OnInitDialog() override;
    INT_PTR OnMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

private:
    friend DWORD WINAPI ScanThreadProc(LPVOID pParam);

    // One thing the worker hands to the user interface thread, in order.
    struct CScanEvent
    {
        enum EKind
        {
            eCleared,   // a partition is about to be read: the list is emptied
            eRows,      // rows and the counters after them
            eError,     // an error box to show; the worker waits for it
            eProgress,  // how far the walk got through the table
            eFinished,  // the worker's last act
        };
        EKind m_eKind = eCleared;
        DWORD m_dwSerial = 0;
        CRowBatch m_batch;
        DWORD m_dwTotal = 0;
        DWORD m_dwDeleted = 0;
        DWORD m_dwCode = 0;
        DWORD m_dwRecordsDone = 0;
        DWORD m_dwRecords = 0;
    };
    class CDialogSink;

    // Template 102's frame.
    // bReadingDisk: the code came from opening or reading a disk, where
    // "access denied" means the program needs an administrator.
    void ShowError(DWORD dwCode, bool bReadingDisk);
    void OnSysCommand(UINT nID);
    bool OnPaint();
    void OnDestroy();
    void CloseDialog(INT_PTR nResult);
    void StopWorkerAndWait();
    INT_PTR OnNotify(const NMHDR* pHeader);
    bool OnCommand(WORD wId, WORD wCode);

    // The file list (FileList.cpp): a virtual list over the store, through
    // the view of the user's order and filter.
    void CreateColumns();
    void FillDisplayInfo(NMLVDISPINFOW* pInfo);
    void ClearList();
    // Shows the rows that arrived, and their counters, if any are waiting.
    void ShowArrivedRows();
    // Changes the view and keeps the selection on the same records.
    void Relayout(const std::function<void()>& fnChange);
    void OnColumnClick(int nColumn);
    void ShowSortArrow();
    void OnFilterChanged();
    // The selected rows of the list, in the order it shows them.
    std::vector<int> SelectedRows() const;

    // The scan (ScanWorker.cpp).
    void OnScanButton();
    void ShowScanState();
    void RunScan();
    void PostScanEvent(CScanEvent&& event);
    void OnScanEvents();
    void OnScanRows(CRowBatch&& batch, DWORD dwTotal, DWORD dwDeleted);
    void OnScanFinished();
    void OnWorkerError(DWORD dwCode);
    // The worker waits here until its error box was closed or the dialog closes.
    void WaitForErrorBox(DWORD dwCode);

    // The save commands (SaveSelected.cpp).
    void OnListRightClick();
    void OnSaveSelected(ESaveMode eMode);
    void PumpMessages();
    bool AskToSaveOntoSourceDisk();
    void ShowSaveReport(const std::string& strReport);

    HWND m_hTree;
    HWND m_hList;
    // The list's rows: the list is virtual and asks for each cell's text.
    // Rows may be in the store before the view and the list show them (a
    // refresh is due).
    CRowStore m_store;
    CRowView m_view;
    bool m_bRowsWaiting;
    DWORD m_dwTotalWaiting;
    DWORD m_dwDeletedWaiting;
    ULONGLONG m_qwLastRefresh;
    // The partitions (with their disks) the tree items point to.
    std::vector<std::unique_ptr<CScanTarget>> m_vecTargets;

    // A save in progress keeps the window alive between its steps; a close
    // asked for meanwhile waits for the step in hand.
    CSaveGuard m_saveGuard;
    // The progress window of the save in hand, once it shows; null between saves.
    CSaveProgress* m_pSaveProgress;

    // What the worker hands over, in order, and the error boxes it waits for.
    std::mutex m_lockEvents;
    std::condition_variable m_cvEvents;
    std::deque<CScanEvent> m_queEvents;
    bool m_bEventsPosted;
    DWORD m_dwErrorsAsked;
    DWORD m_dwErrorsShown;
    bool m_bClosing;
};

// The message that tells the dialog the worker has queued something.
const UINT WM_SALVIX_SCAN_EVENTS = WM_APP + 1;
// The timer that shows rows which arrived since the list's last refresh.
const UINT_PTR kRefreshTimer = 1;
// The timer that applies the filter once typing pauses.
const UINT_PTR kFilterTimer = 2;
