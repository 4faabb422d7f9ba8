// The main dialog, template 102: the tree of disks and partitions, the file
// list with its counters, the scan button. What it shows is decided by the
// scan session and its texts; the dialog draws it and forwards the clicks.
#pragma once

#include "session/RowStore.h"
#include "session/RowView.h"
#include "session/ScanEvents.h"
#include "session/SaveLoop.h"
#include "session/ScanSession.h"
#include "session/ScanState.h"
#include "session/ScanThread.h"
#include "session/WindowClose.h"
#include "session/WindowLayout.h"
#include "ui/win32/DialogWindow.h"

#include <commctrl.h>

#include <functional>
#include <map>
#include <memory>
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

class CSalvixDlg : public CDialogWindow, private IScanView
{
public:
    explicit CSalvixDlg(HWND hParent = nullptr);
    ~CSalvixDlg() override;

    // Shows the text for a code in the "GetLastError" box, owned by the
    // dialog; on the user interface thread only (the worker asks through
    // its events and waits).
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
    // Answers a yes-or-no question instead of the user.
    static std::function<bool(const std::wstring& wstrQuestion)> s_fnAskHook;
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
    // Template 102's frame.
    // bReadingDisk: the code came from opening or reading a disk, where
    // "access denied" means the program needs an administrator.
    // strText, when not empty, is shown instead of the code's own sentence.
    void ShowError(DWORD dwCode, bool bReadingDisk, const std::string& strText = std::string());
    void OnSysCommand(UINT nID);
    bool OnPaint();
    void OnDestroy();
    void CloseDialog(INT_PTR nResult);
    // The question before a close that loses the listing: true for yes.
    bool AskToClose(const char* pszQuestion);
    void StopWorkerAndWait();
    // Enter or Esc in the search field or the tree (DialogControls.cpp).
    void OnControlKey(int nId, WPARAM wKey);
    INT_PTR OnNotify(const NMHDR* pHeader);
    bool OnCommand(WORD wId, WORD wCode);

    // The file list (FileList.cpp): a virtual list over the store, through
    // the view of the user's order and filter.
    void CreateColumns();
    void FillDisplayInfo(NMLVDISPINFOW* pInfo);
    // A row's tip: its times, asked of the session as it shows.
    void FillRowTip(NMLVGETINFOTIPW* pTip);
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
    // "显示 N 条，已选 M 条" under the counters; after a change of the
    // selection once for all the rows it changed (the posted message).
    void UpdateShownRows();
    void UpdateShownRowsSoon();

    // The window at any size (DialogControls.cpp): the controls placed for the
    // client area, the least size it may take, a partition's tip.
    void MeasureLayout();
    void LayOutControls();
    void OnGetMinMaxInfo(MINMAXINFO* pInfo) const;
    void FillTreeTip(NMTVGETINFOTIPW* pTip);
    void HookControlKeys();
    // The scan (ScanWorker.cpp).
    void OnScanButton();
    void ShowScanState();
    // Enter on the tree: its partition is scanned, as the button would start it.
    void OnTreeEnter();
    void SetHint(const std::string& strHint);
    // What the worker sent, drawn on the user interface thread (IScanView).
    void ShowCleared() override;
    void ShowRows(CRowBatch&& batch, DWORD dwTotal, DWORD dwDeleted) override;
    void ShowProgress(DWORD dwRecordsDone, DWORD dwRecords) override;
    void ShowError(DWORD dwCode, const std::string& strText) override;
    void ShowEnd(const CScanEnd& end) override;

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
    bool m_bUpdatesWaiting = false;  // rows shown before learnt their size and state
    bool m_bShownRowsPosted;
    DWORD m_dwTotalWaiting;
    DWORD m_dwDeletedWaiting;
    ULONGLONG m_qwLastRefresh;
    // The partitions (with their disks) the tree items point to, and the
    // tips of those whose tip was asked for.
    std::vector<std::unique_ptr<CScanTarget>> m_vecTargets;
    std::map<const CScanTarget*, std::wstring> m_mapTips;
    // The font's measures the layout needs, taken as the window opens.
    CLayoutMetrics m_metrics;

    // A save in progress keeps the window alive between its steps; a close
    // asked for meanwhile waits for the step in hand.
    CSaveGuard m_saveGuard;
    // The progress window of the save in hand, once it shows; null between saves.
    CSaveProgress* m_pSaveProgress;
    // The question before a close, asked once.
    CCloseConfirmation m_close;
};

// The message that tells the dialog the worker has queued something.
const UINT WM_SALVIX_SCAN_EVENTS = WM_APP + 1;
// The timer that shows rows which arrived since the list's last refresh.
const UINT_PTR kRefreshTimer = 1;
// The timer that applies the filter once typing pauses.
const UINT_PTR kFilterTimer = 2;
// Enter or Esc pressed in a control that keeps them (wParam: its id, lParam: the key).
const UINT WM_SALVIX_CONTROL_KEY = WM_APP + 2;
// The selection changed: the line of shown and selected rows follows.
const UINT WM_SALVIX_SHOWN_ROWS = WM_APP + 3;
