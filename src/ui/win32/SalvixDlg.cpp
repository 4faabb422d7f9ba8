#include "ui/win32/SalvixDlg.h"

#include "session/DiskTree.h"
#include "session/Messages.h"
#include "ui/common/Resource.h"
#include "ui/win32/AboutDlg.h"
#include "ui/win32/WideText.h"

#include <shlobj.h>

std::function<void(DWORD)> CSalvixDlg::s_fnErrorHook;
std::function<UINT(HMENU, POINT)> CSalvixDlg::s_fnMenuHook;
std::function<std::wstring(const std::wstring&, const std::wstring&)> CSalvixDlg::s_fnFolderHook;
std::function<void(DWORD)> CSalvixDlg::s_fnBeforeRecordHook;
std::function<void()> CSalvixDlg::s_fnSaveStepHook;
std::function<bool(const std::wstring&)> CSalvixDlg::s_fnAskHook;
std::function<void(const std::string&)> CSalvixDlg::s_fnReportHook;
std::function<bool(const std::wstring&)> CSalvixDlg::s_fnQuestionHook;

namespace
{

// Raw disks open for administrators only: say so where the system only says
// "access denied".
const wchar_t kRunAsAdministrator[] =
    L"Salvix reads the disk directly, which Windows allows administrators only: "
    L"right-click salvix.exe and choose \"Run as administrator\".\n";

}  // namespace

CSalvixDlg::CSalvixDlg(HWND hParent)
    : CDialogWindow(IDD_SALVIX_DIALOG, hParent),
      m_hIcon(LoadIconW(ResourceInstance(), MAKEINTRESOURCEW(IDR_MAINFRAME))),
      m_hTreeRoot(nullptr),
      m_scan(m_session),
      m_hTree(nullptr),
      m_hList(nullptr),
      m_bRowsWaiting(false),
      m_bShownRowsPosted(false),
      m_dwTotalWaiting(0),
      m_dwDeletedWaiting(0),
      m_qwLastRefresh(0),
      m_pSaveProgress(nullptr)
{
}

CSalvixDlg::~CSalvixDlg()
{
    StopWorkerAndWait();
}

BOOL CSalvixDlg::OnInitDialog()
{
    if (HMENU hSysMenu = GetSystemMenu(m_hWnd, FALSE))
    {
        wchar_t szAbout[64] = {};
        if (LoadStringW(ResourceInstance(), IDS_ABOUTBOX, szAbout, 64) > 0)
        {
            AppendMenuW(hSysMenu, MF_SEPARATOR, 0, nullptr);
            AppendMenuW(hSysMenu, MF_STRING, IDM_ABOUTBOX, szAbout);
        }
    }
    SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    m_session.CloseDevice();

    m_hTree = Item(IDC_TREE_DRIVES);
    m_hList = Item(IDC_LIST_FILES);
    CreateColumns();

    TVINSERTSTRUCTW insert = {};
    insert.hParent = TVI_ROOT;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_PARAM;
    const std::wstring wstrRoot = WideFromUtf8(kTreeRootText);
    insert.item.pszText = const_cast<wchar_t*>(wstrRoot.c_str());
    m_hTreeRoot = reinterpret_cast<HTREEITEM>(
        SendMessageW(m_hTree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
    const DWORD dwCode = EnumeratePartitions();
    TreeView_Expand(m_hTree, m_hTreeRoot, TVE_EXPAND);
    if (dwCode != 0)
        ShowError(dwCode, true);

    // The worker's events are drawn here: one posted message stands for
    // everything queued until the dialog takes it.
    m_scan.OpenEvents([hWnd = m_hWnd] { return PostMessageW(hWnd, WM_SALVIX_SCAN_EVENTS, 0, 0) != FALSE; });
    m_close.Reopen();
    ShowScanState();
    SendDlgItemMessageW(m_hWnd, IDC_EDIT_FILTER, EM_SETCUEBANNER, FALSE,
                        reinterpret_cast<LPARAM>(WideFromUtf8(kFilterCue).c_str()));
    HookControlKeys();
    MeasureLayout();
    LayOutControls();
    SetWindowTextW(m_hWnd, WideFromUtf8(kMainWindowTitle).c_str());
    // The dialog manager gives the focus to the first control in tab order, "退出".
    return TRUE;
}

DWORD CSalvixDlg::EnumeratePartitions()
{
    const CDiskTree tree = BuildDiskTree();
    for (const CTreeDisk& disk : tree.m_vecDisks)
    {
        // One disk: its partitions under "Drives"; several: a node each.
        HTREEITEM hParent = m_hTreeRoot;
        if (!tree.SingleDisk())
        {
            std::string strText = disk.m_strText;
            if (disk.m_dwError == ERROR_ACCESS_DENIED && !IsUserAnAdmin())
                strText += " - run as administrator";
            hParent = AddDriveItem(m_hTreeRoot, strText, nullptr);
        }
        for (const CTreePartition& partition : disk.m_vecPartitions)
        {
            m_vecTargets.push_back(std::make_unique<CScanTarget>(partition.m_target));
            AddDriveItem(hParent, partition.m_strText, m_vecTargets.back().get());
        }
        TreeView_Expand(m_hTree, hParent, TVE_EXPAND);
    }
    return tree.m_dwError;
}

HTREEITEM CSalvixDlg::AddDriveItem(HTREEITEM hParent, const std::string& strText,
                                   const CScanTarget* pTarget)
{
    // The item points at its own copy of the partition and its disk, kept as
    // long as the dialog; a disk's node points at nothing and scans nothing.
    const std::wstring wstrText = WideFromUtf8(strText);
    TVINSERTSTRUCTW insert = {};
    insert.hParent = hParent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_PARAM;
    insert.item.pszText = const_cast<wchar_t*>(wstrText.c_str());
    insert.item.lParam = reinterpret_cast<LPARAM>(pTarget);
    return reinterpret_cast<HTREEITEM>(
        SendMessageW(m_hTree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

void CSalvixDlg::ShowSystemError(DWORD dwCode)
{
    ShowError(dwCode, false);
}

void CSalvixDlg::ShowError(DWORD dwCode, bool bReadingDisk, const std::string& strText)
{
    if (s_fnErrorHook)
    {
        s_fnErrorHook(dwCode);
        return;
    }
    std::wstring wstrText = WideFromUtf8(strText.empty() ? SystemErrorText(dwCode) : strText);
    if (bReadingDisk && dwCode == ERROR_ACCESS_DENIED && !IsUserAnAdmin())
        wstrText += kRunAsAdministrator;
    MessageBoxW(m_hWnd, wstrText.c_str(), WideFromUtf8(kErrorBoxCaption).c_str(), MB_OK | MB_ICONERROR);
}

INT_PTR CSalvixDlg::OnMessage(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg)
    {
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) != IDM_ABOUTBOX)
            return FALSE;
        OnSysCommand(static_cast<UINT>(wParam));
        return TRUE;
    case WM_PAINT:
        return OnPaint();
    case WM_QUERYDRAGICON:
        return reinterpret_cast<INT_PTR>(m_hIcon);
    case WM_SETCURSOR:
        // The wait cursor for the length of a save, over every control.
        if (!m_saveGuard.Saving())
            return FALSE;
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        return SetMessageResult(TRUE);
    case WM_COMMAND:
        return OnCommand(LOWORD(wParam), HIWORD(wParam));
    case WM_NOTIFY:
        return OnNotify(reinterpret_cast<const NMHDR*>(lParam));
    case WM_SALVIX_SCAN_EVENTS:
        m_scan.DrainEvents(*this);
        return TRUE;
    case WM_SALVIX_SHOWN_ROWS:
        m_bShownRowsPosted = false;
        UpdateShownRows();
        return TRUE;
    case WM_SALVIX_CONTROL_KEY:
        OnControlKey(static_cast<int>(wParam), static_cast<WPARAM>(lParam));
        return TRUE;
    case WM_SIZE:
        if (m_hList && wParam != SIZE_MINIMIZED)
            LayOutControls();
        return FALSE;
    case WM_GETMINMAXINFO:
        OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lParam));
        return TRUE;
    case WM_TIMER:
        if (wParam == kRefreshTimer)
            ShowArrivedRows();
        else if (wParam == kFilterTimer)
            OnFilterChanged();
        return wParam == kRefreshTimer || wParam == kFilterTimer;
    case WM_DESTROY:
        OnDestroy();
        return FALSE;
    default:
        return FALSE;
    }
}

bool CSalvixDlg::OnCommand(WORD wId, WORD wCode)
{
    switch (wId)
    {
    case IDOK:
    case IDCANCEL: CloseDialog(wId); return true;
    case IDC_BUTTON_SCAN: OnScanButton(); return true;
    case ID_LIST_SAVE: OnSaveSelected(ESaveMode::eFlat); return true;
    case ID_LIST_SAVE_FOLDERS: OnSaveSelected(ESaveMode::eFolders); return true;
    case IDC_CHECK_DELETED_ONLY:
    case IDC_CHECK_RECOVERABLE_ONLY:
        if (wCode == BN_CLICKED)
            OnFilterChanged();
        return true;
    case IDC_EDIT_FILTER:
        // The list follows once typing pauses.
        if (wCode == EN_CHANGE)
            SetTimer(m_hWnd, kFilterTimer, 150, nullptr);
        return true;
    default: return false;
    }
}

void CSalvixDlg::OnSysCommand(UINT nID)
{
    // Any of the commands 16 to 31 opens the box; the others are the system's own.
    if ((nID & 0xFFF0) == IDM_ABOUTBOX)
    {
        CAboutDlg about(m_hWnd);
        about.DoModal();
    }
}

bool CSalvixDlg::OnPaint()
{
    if (!IsIconic(m_hWnd))
        return false;
    PAINTSTRUCT paint;
    HDC hDC = BeginPaint(m_hWnd, &paint);
    SendMessageW(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(hDC), 0);
    const int nIconWidth = GetSystemMetrics(SM_CXICON);
    const int nIconHeight = GetSystemMetrics(SM_CYICON);
    RECT rcClient;
    GetClientRect(m_hWnd, &rcClient);
    // Centred, rounding up; the division truncates toward zero.
    const int nX = (rcClient.right - rcClient.left - nIconWidth + 1) / 2;
    const int nY = (rcClient.bottom - rcClient.top - nIconHeight + 1) / 2;
    DrawIcon(hDC, nX, nY, m_hIcon);
    EndPaint(m_hWnd, &paint);
    return true;
}

INT_PTR CSalvixDlg::OnNotify(const NMHDR* pHeader)
{
    if (pHeader->idFrom == IDC_TREE_DRIVES && pHeader->code == TVN_GETINFOTIPW)
    {
        FillTreeTip(reinterpret_cast<NMTVGETINFOTIPW*>(const_cast<NMHDR*>(pHeader)));
        return SetMessageResult(0);
    }
    if (pHeader->idFrom != IDC_LIST_FILES)
        return FALSE;
    switch (pHeader->code)
    {
    case LVN_ITEMCHANGED:
    case LVN_ODSTATECHANGED:
        UpdateShownRowsSoon();
        return FALSE;
    case LVN_GETDISPINFOW:
        FillDisplayInfo(reinterpret_cast<NMLVDISPINFOW*>(const_cast<NMHDR*>(pHeader)));
        return TRUE;
    case LVN_GETINFOTIPW:
        FillRowTip(reinterpret_cast<NMLVGETINFOTIPW*>(const_cast<NMHDR*>(pHeader)));
        return SetMessageResult(0);
    case LVN_COLUMNCLICK:
        OnColumnClick(reinterpret_cast<const NMLISTVIEW*>(pHeader)->iSubItem);
        return TRUE;
    case NM_RCLICK:
        OnListRightClick();
        return SetMessageResult(0);
    default:
        // An in-place edit of a name ends unanswered, so its text is discarded.
        return FALSE;
    }
}

void CSalvixDlg::CloseDialog(INT_PTR nResult)
{
    // The user is asked first; a save keeps the window alive between its
    // steps, and the window closes once the step in hand is over.
    if (!m_close.MayClose(static_cast<int>(nResult), m_store.Size(),
                          [this](const char* pszQuestion) { return AskToClose(pszQuestion); }, m_saveGuard))
        return;
    // The worker uses the session's drive and device handle: it is stopped
    // and waited for before they go.
    StopWorkerAndWait();
    EndDialog(nResult);
}

bool CSalvixDlg::AskToClose(const char* pszQuestion)
{
    const std::wstring wstrQuestion = WideFromUtf8(pszQuestion);
    if (s_fnAskHook)
        return s_fnAskHook(wstrQuestion);
    wchar_t szCaption[64] = {};
    GetWindowTextW(m_hWnd, szCaption, 64);
    return MessageBoxW(m_hWnd, wstrQuestion.c_str(), szCaption, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) ==
           IDYES;
}

void CSalvixDlg::StopWorkerAndWait()
{
    // A worker waiting for an error box is released: no box shows any more.
    m_scan.StopAndWait();
}

void CSalvixDlg::OnDestroy()
{
    StopWorkerAndWait();
    m_session.CloseDevice();
}
