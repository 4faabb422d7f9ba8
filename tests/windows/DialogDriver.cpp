#include "DialogDriver.h"

#include "ui/common/Resource.h"
#include "ui/win32/WideText.h"

#include <commctrl.h>

bool WaitUntil(const std::function<bool()>& fnDone, DWORD dwMs)
{
    const ULONGLONG qwEnd = GetTickCount64() + dwMs;
    while (!fnDone())
    {
        if (GetTickCount64() >= qwEnd)
            return false;
        Sleep(5);
    }
    return true;
}

std::wstring WindowText(HWND hWindow)
{
    wchar_t szText[512] = {};
    GetWindowTextW(hWindow, szText, 512);
    return szText;
}

std::wstring Wide(const std::string& strUtf8)
{
    return WideFromUtf8(strUtf8);
}

std::wstring WideFromLatin1(const std::string& str)
{
    std::wstring wstr;
    for (const unsigned char c : str)
        wstr += static_cast<wchar_t>(c);
    return wstr;
}

CDialogRun::CDialogRun() : m_pDlg(std::make_unique<CSalvixDlg>())
{
    static const bool bControls = [] {
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_TREEVIEW_CLASSES | ICC_LISTVIEW_CLASSES};
        return InitCommonControlsEx(&controls) != FALSE;
    }();
    (void)bControls;
    m_hThread = CreateThread(nullptr, 0, DialogThread, m_pDlg.get(), 0, &m_dwThreadId);
    // The caption is the last thing the initialisation sets.
    m_hDialog = WaitForWindow(L"Orvane v2.1", 20000);
}

CDialogRun::~CDialogRun()
{
    if (!WaitClosed(0) && m_hDialog)
        PostMessageW(m_hDialog, WM_COMMAND, IDCANCEL, 0);
    WaitClosed(INFINITE);
    CloseHandle(m_hThread);
}

DWORD WINAPI CDialogRun::DialogThread(LPVOID pParam)
{
    static_cast<CSalvixDlg*>(pParam)->DoModal();
    return 0;
}

bool CDialogRun::WaitClosed(DWORD dwMs)
{
    return WaitForSingleObject(m_hThread, dwMs) == WAIT_OBJECT_0;
}

HWND CDialogRun::WaitForWindow(const std::wstring& wstrCaption, DWORD dwMs, HWND hExcept) const
{
    struct CSearch
    {
        const std::wstring& m_wstrCaption;
        HWND m_hExcept;
        HWND m_hFound;
    } search = {wstrCaption, hExcept, nullptr};
    WaitUntil([&] {
        EnumThreadWindows(m_dwThreadId, [](HWND hWindow, LPARAM lParam) {
            CSearch* pSearch = reinterpret_cast<CSearch*>(lParam);
            if (hWindow != pSearch->m_hExcept && IsWindowVisible(hWindow) &&
                WindowText(hWindow) == pSearch->m_wstrCaption)
                pSearch->m_hFound = hWindow;
            return TRUE;
        }, reinterpret_cast<LPARAM>(&search));
        return search.m_hFound != nullptr;
    }, dwMs);
    return search.m_hFound;
}

std::vector<HWND> ChildWindows(HWND hWindow)
{
    std::vector<HWND> vecChildren;
    for (HWND hChild = GetWindow(hWindow, GW_CHILD); hChild; hChild = GetWindow(hChild, GW_HWNDNEXT))
        vecChildren.push_back(hChild);
    return vecChildren;
}

std::wstring CDialogRun::TreeText(HTREEITEM hItem) const
{
    wchar_t szText[256] = {};
    TVITEMW item = {};
    item.mask = TVIF_TEXT;
    item.hItem = hItem;
    item.pszText = szText;
    item.cchTextMax = 256;
    SendMessageW(Item(IDC_TREE_DRIVES), TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    return szText;
}

HTREEITEM CDialogRun::FindTreeItem(const std::wstring& wstrText, HTREEITEM hFirst) const
{
    HWND hTree = Item(IDC_TREE_DRIVES);
    for (HTREEITEM hItem = hFirst ? hFirst : TreeView_GetRoot(hTree); hItem;
         hItem = TreeView_GetNextSibling(hTree, hItem))
    {
        if (TreeText(hItem) == wstrText)
            return hItem;
        if (HTREEITEM hChild = TreeView_GetChild(hTree, hItem))
            if (HTREEITEM hFound = FindTreeItem(wstrText, hChild))
                return hFound;
    }
    return nullptr;
}

bool CDialogRun::SelectPartition(const std::wstring& wstrText) const
{
    HTREEITEM hItem = FindTreeItem(wstrText);
    return hItem && TreeView_SelectItem(Item(IDC_TREE_DRIVES), hItem);
}

void CDialogRun::PressScan() const
{
    SendMessageW(m_hDialog, WM_COMMAND, MAKEWPARAM(IDC_BUTTON_SCAN, BN_CLICKED),
                 reinterpret_cast<LPARAM>(Item(IDC_BUTTON_SCAN)));
}

bool CDialogRun::ScanToEnd(DWORD dwMs) const
{
    PressScan();
    return WaitUntil([&] { return ButtonText() == L"搜索结束"; }, dwMs);
}

std::wstring CDialogRun::ButtonText() const
{
    return WindowText(Item(IDC_BUTTON_SCAN));
}

int CDialogRun::RowCount() const
{
    return static_cast<int>(SendMessageW(Item(IDC_LIST_FILES), LVM_GETITEMCOUNT, 0, 0));
}

std::wstring CDialogRun::Cell(int nRow, int nColumn) const
{
    wchar_t szText[300] = {};
    LVITEMW item = {};
    item.iSubItem = nColumn;
    item.pszText = szText;
    item.cchTextMax = 300;
    SendMessageW(Item(IDC_LIST_FILES), LVM_GETITEMTEXTW, nRow, reinterpret_cast<LPARAM>(&item));
    return szText;
}

int CDialogRun::Counter(int nId) const
{
    return static_cast<int>(GetDlgItemInt(m_hDialog, nId, nullptr, TRUE));
}

void CDialogRun::SelectRows(const std::vector<int>& vecRows) const
{
    HWND hList = Item(IDC_LIST_FILES);
    ListView_SetItemState(hList, -1, 0, LVIS_SELECTED);
    for (const int nRow : vecRows)
        ListView_SetItemState(hList, nRow, LVIS_SELECTED, LVIS_SELECTED);
}

std::wstring CDialogRun::Hint() const
{
    return WindowText(Item(IDC_STATIC_HINT));
}

void CDialogRun::Key(int nId, WPARAM wKey) const
{
    PostMessageW(Item(nId), WM_KEYDOWN, wKey, 0);
    PostMessageW(Item(nId), WM_KEYUP, wKey, 0xC0000000);
}

RECT CDialogRun::Place(int nId) const
{
    RECT rc = {};
    GetWindowRect(Item(nId), &rc);
    MapWindowPoints(nullptr, m_hDialog, reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

std::wstring CDialogRun::TreeTip(HTREEITEM hItem) const
{
    HWND hTree = Item(IDC_TREE_DRIVES);
    TVITEMW item = {};
    item.mask = TVIF_PARAM;
    item.hItem = hItem;
    SendMessageW(hTree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    wchar_t szTip[INFOTIPSIZE] = {};
    NMTVGETINFOTIPW tip = {};
    tip.hdr = {hTree, IDC_TREE_DRIVES, static_cast<UINT>(TVN_GETINFOTIPW)};
    tip.pszText = szTip;
    tip.cchTextMax = INFOTIPSIZE;
    tip.hItem = hItem;
    tip.lParam = item.lParam;
    SendMessageW(m_hDialog, WM_NOTIFY, IDC_TREE_DRIVES, reinterpret_cast<LPARAM>(&tip));
    return szTip;
}

CQuestions::CQuestions()
{
    CSalvixDlg::s_fnAskHook = [this](const std::wstring& wstrQuestion) {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_wstrLast = wstrQuestion;
        }
        ++m_nAsked;
        return m_bAnswer.load();
    };
}

CQuestions::~CQuestions()
{
    CSalvixDlg::s_fnAskHook = nullptr;
}

std::wstring CQuestions::Last() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_wstrLast;
}
