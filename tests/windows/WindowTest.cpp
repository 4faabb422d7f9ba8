// The Windows program's window as people use it, under Wine: closing asks
// before a listing is lost, the window resizes and maximises with nothing out
// of reach, no text is cut, a line counts the shown and selected rows, and a
// partition's tip gives its size and label as The Sleuth Kit saw them.
#include "DialogDriver.h"
#include "VolumeCheck.h"

#include "disk/DiskLayout.h"
#include "session/RowText.h"
#include "session/ScanState.h"
#include "ui/common/Resource.h"
#include "ui/win32/WideText.h"

#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace
{

const int kPlacedControls[] = {IDCANCEL,           IDC_TREE_DRIVES,  IDC_EDIT_FILTER, IDC_CHECK_DELETED_ONLY,
                               IDC_LIST_FILES,     IDC_BUTTON_SCAN,  IDC_STATIC_TOTAL, IDC_STATIC_DELETED,
                               IDC_EDIT_TOTAL,     IDC_EDIT_DELETED, IDC_STATIC_SHOWN, IDC_STATIC_HINT,
                               IDC_CHECK_RECOVERABLE_ONLY};

// "" when every control lies inside the client area and over no other.
std::string PlacementFault(const CDialogRun& run)
{
    RECT rcClient = {};
    GetClientRect(run.Dialog(), &rcClient);
    for (size_t i = 0; i < std::size(kPlacedControls); ++i)
    {
        const RECT rc = run.Place(kPlacedControls[i]);
        if (rc.left < 0 || rc.top < 0 || rc.right > rcClient.right || rc.bottom > rcClient.bottom ||
            rc.right <= rc.left || rc.bottom <= rc.top)
            return "control " + std::to_string(kPlacedControls[i]) + " leaves the window";
        for (size_t j = i + 1; j < std::size(kPlacedControls); ++j)
        {
            RECT rcBoth = {};
            const RECT rcOther = run.Place(kPlacedControls[j]);
            if (IntersectRect(&rcBoth, &rc, &rcOther))
                return "control " + std::to_string(kPlacedControls[i]) + " covers " +
                       std::to_string(kPlacedControls[j]);
        }
    }
    return std::string();
}

// The room a text takes in a control's font, broken into lines at its width
// when bWrap (as a static control breaks it).
SIZE TextRoom(HWND hControl, const std::wstring& wstrText, bool bWrap)
{
    RECT rcControl = {};
    GetClientRect(hControl, &rcControl);
    RECT rc = {0, 0, bWrap ? rcControl.right : 10000, 0};
    HDC hDC = GetDC(hControl);
    HGDIOBJ hOld = SelectObject(hDC, reinterpret_cast<HGDIOBJ>(SendMessageW(hControl, WM_GETFONT, 0, 0)));
    DrawTextW(hDC, wstrText.c_str(), static_cast<int>(wstrText.size()), &rc,
              DT_CALCRECT | DT_NOPREFIX | (bWrap ? DT_WORDBREAK : DT_SINGLELINE));
    SelectObject(hDC, hOld);
    ReleaseDC(hControl, hDC);
    return {rc.right - rc.left, rc.bottom - rc.top};
}

// "" when the text fits the control (on one line unless bWrap).
std::wstring CutText(HWND hControl, const std::wstring& wstrText, bool bWrap)
{
    RECT rcControl = {};
    GetClientRect(hControl, &rcControl);
    const SIZE size = TextRoom(hControl, wstrText, bWrap);
    return size.cx <= rcControl.right && size.cy <= rcControl.bottom ? std::wstring() : wstrText;
}

class WindowsWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NE(nullptr, getenv("SALVIX_WINE_DISK0")) << "run through ctest: the first disk is the sample";
        CSalvixDlg::s_fnErrorHook = [this](DWORD dwCode) { m_vecErrors.push_back(dwCode); };
        std::string strError;
        ASSERT_TRUE(LoadExpectations(ImagePath("sample.expected"), m_image, strError)) << strError;
    }
    void TearDown() override
    {
        CSalvixDlg::s_fnErrorHook = nullptr;
        CSalvixDlg::s_fnBeforeRecordHook = nullptr;
    }
    std::vector<DWORD> m_vecErrors;
    CQuestions m_questions;
    CExpectedImage m_image;
};

}  // namespace

TEST_F(WindowsWindowTest, EveryWayOfClosingAsksOnceWhileAListingIsShown)
{
    struct CWay
    {
        const char* m_pszWhat;
        std::function<void(CDialogRun&)> m_fnClose;
    };
    const CWay kWays[] = {
        {"退出", [](CDialogRun& run) { PostMessageW(run.Dialog(), WM_COMMAND, IDCANCEL, reinterpret_cast<LPARAM>(run.Item(IDCANCEL))); }},
        {"the title bar's close", [](CDialogRun& run) { PostMessageW(run.Dialog(), WM_CLOSE, 0, 0); }},
        {"Alt+F4", [](CDialogRun& run) { PostMessageW(run.Dialog(), WM_SYSCOMMAND, SC_CLOSE, 0); }},
        {"Esc on the tree", [](CDialogRun& run) { run.Key(IDC_TREE_DRIVES, VK_ESCAPE); }},
        {"Enter on the list", [](CDialogRun& run) { run.Key(IDC_LIST_FILES, VK_RETURN); }},
    };
    for (const CWay& way : kWays)
    {
        SCOPED_TRACE(way.m_pszWhat);
        CQuestions questions;
        CDialogRun run;
        ASSERT_TRUE(run.SelectPartition(L"NTFS Drive 2"));
        ASSERT_TRUE(run.ScanToEnd());
        // "No" keeps the window and its rows.
        questions.Answer(false);
        way.m_fnClose(run);
        ASSERT_TRUE(WaitUntil([&] { return questions.Count() == 1; }, 5000));
        EXPECT_EQ(L"关闭窗口将丢失扫描结果，确定退出吗？", questions.Last());
        Sleep(100);
        EXPECT_FALSE(run.WaitClosed(0));
        EXPECT_GT(run.RowCount(), 0);
        // "Yes" closes it, asked once.
        questions.Answer(true);
        way.m_fnClose(run);
        EXPECT_TRUE(run.WaitClosed(5000));
        EXPECT_EQ(2, questions.Count());
    }
}

TEST_F(WindowsWindowTest, TheWindowResizesAndMaximisesWithNothingOutOfReach)
{
    CDialogRun run;
    const LONG nStyle = GetWindowLongW(run.Dialog(), GWL_STYLE);
    EXPECT_TRUE((nStyle & WS_THICKFRAME) && (nStyle & WS_MAXIMIZEBOX));
    EXPECT_EQ("", PlacementFault(run));
    RECT rcWindow = {};
    GetWindowRect(run.Dialog(), &rcWindow);
    const RECT rcList = run.Place(IDC_LIST_FILES);
    RECT rcClient = {};
    GetClientRect(run.Dialog(), &rcClient);
    // The least size the window takes fits a 640 x 480 screen.
    MINMAXINFO info = {};
    SendMessageW(run.Dialog(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_LE(info.ptMinTrackSize.x, 640);
    EXPECT_LE(info.ptMinTrackSize.y, 480);
    ASSERT_TRUE(run.SelectPartition(L"NTFS Drive 0"));
    ASSERT_TRUE(run.ScanToEnd());

    // On a 640 x 480 screen: the list takes the difference, every control
    // stays within reach, the folder column by scrolling.
    SetWindowPos(run.Dialog(), nullptr, 0, 0, 640, 480, SWP_NOZORDER | SWP_NOACTIVATE);
    RECT rcSmall = {};
    ASSERT_TRUE(WaitUntil([&] { GetClientRect(run.Dialog(), &rcSmall); return rcSmall.right < rcClient.right; }, 5000));
    EXPECT_EQ("", PlacementFault(run));
    const RECT rcListSmall = run.Place(IDC_LIST_FILES);
    EXPECT_EQ(rcList.right - rcList.left + rcSmall.right - rcClient.right, rcListSmall.right - rcListSmall.left);
    EXPECT_EQ(rcList.bottom - rcList.top + rcSmall.bottom - rcClient.bottom, rcListSmall.bottom - rcListSmall.top);
    HWND hList = run.Item(IDC_LIST_FILES);
    RECT rcCell = {};
    ASSERT_TRUE(ListView_GetSubItemRect(hList, 0, eColumnPath, LVIR_LABEL, &rcCell));
    SendMessageW(hList, LVM_SCROLL, rcCell.left, 0);
    ASSERT_TRUE(ListView_GetSubItemRect(hList, 0, eColumnPath, LVIR_LABEL, &rcCell));
    RECT rcListClient = {};
    GetClientRect(hList, &rcListClient);
    EXPECT_GE(rcCell.left, 0);
    EXPECT_LT(rcCell.left, rcListClient.right);

    // Maximised, the list grows; restored, it is as it was.
    ShowWindow(run.Dialog(), SW_MAXIMIZE);
    ASSERT_TRUE(WaitUntil([&] { return IsZoomed(run.Dialog()) != FALSE; }, 5000));
    ASSERT_TRUE(WaitUntil([&] {
        const RECT rc = run.Place(IDC_LIST_FILES);
        return rc.right - rc.left > rcList.right - rcList.left;
    }, 5000));
    EXPECT_EQ("", PlacementFault(run));
    ShowWindow(run.Dialog(), SW_RESTORE);
    ASSERT_TRUE(WaitUntil([&] { return !IsZoomed(run.Dialog()); }, 5000));
    SetWindowPos(run.Dialog(), nullptr, 0, 0, rcWindow.right - rcWindow.left, rcWindow.bottom - rcWindow.top,
                 SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
    ASSERT_TRUE(WaitUntil([&] {
        const RECT rc = run.Place(IDC_LIST_FILES);
        return rc.right - rc.left == rcList.right - rcList.left && rc.bottom - rc.top == rcList.bottom - rcList.top;
    }, 5000));
}

TEST_F(WindowsWindowTest, NoTextIsCutAtTheDefaultSize)
{
    CDialogRun run;
    for (const int nId : {IDC_STATIC_TOTAL, IDC_STATIC_DELETED})
        EXPECT_EQ(L"", CutText(run.Item(nId), WindowText(run.Item(nId)), false));
    // The longest texts the hint and the line under the counters take.
    CScanEnd stopped;
    stopped.m_bStopped = true;
    CScanEnd failed;
    failed.m_dwCode = ERROR_CRC;
    failed.m_dwRows = 0xFFFFFFFF;
    CScanEnd finished;
    finished.m_dwRows = 0xFFFFFFFF;
    CScanEnd withoutMap = finished;
    withoutMap.m_dwMapCode = ERROR_INVALID_DATA;
    for (const std::string& strHint : {std::string(ReadyHint()), std::string(NoPartitionHint()),
                                       ScanHintText(100, 100), ScanEndHint(stopped), ScanEndHint(failed),
                                       ScanEndHint(finished), ScanEndHint(withoutMap)})
        EXPECT_EQ(L"", CutText(run.Item(IDC_STATIC_HINT), Wide(strHint), true));
    EXPECT_EQ(L"", CutText(run.Item(IDC_STATIC_SHOWN), Wide(ShownRowsText(4294967295u, 4294967295u)), false));
    // The check box's text beside its box.
    const SIZE sizeCheck = TextRoom(run.Item(IDC_CHECK_DELETED_ONLY), WindowText(run.Item(IDC_CHECK_DELETED_ONLY)), false);
    RECT rcCheck = {};
    GetClientRect(run.Item(IDC_CHECK_DELETED_ONLY), &rcCheck);
    EXPECT_LE(sizeCheck.cx + GetSystemMetrics(SM_CXMENUCHECK) + 4, rcCheck.right);

    // The list's headings, each within its column.
    HWND hHeader = ListView_GetHeader(run.Item(IDC_LIST_FILES));
    for (int nColumn = 0; nColumn < eColumnCount; ++nColumn)
    {
        RECT rcItem = {};
        ASSERT_TRUE(Header_GetItemRect(hHeader, nColumn, &rcItem));
        const std::wstring wstrHeading = Wide(ColumnHeading(nColumn));
        EXPECT_LE(TextRoom(hHeader, wstrHeading, false).cx + 12, rcItem.right - rcItem.left) << nColumn;
    }

    // The About box's lines.
    PostMessageW(run.Dialog(), WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    HWND hAbout = run.WaitForWindow(L"About Salvix");
    ASSERT_NE(nullptr, hAbout);
    int nTexts = 0;
    for (HWND hItem : ChildWindows(hAbout))
    {
        const LONG nType = GetWindowLongW(hItem, GWL_STYLE) & SS_TYPEMASK;
        wchar_t szClass[32] = {};
        GetClassNameW(hItem, szClass, 32);
        if (std::wstring(szClass) != L"Static" || nType == SS_ICON)
            continue;
        ++nTexts;
        EXPECT_EQ(L"", CutText(hItem, WindowText(hItem), true));
    }
    EXPECT_EQ(2, nTexts);
    PostMessageW(hAbout, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(hAbout); }, 5000));
}

TEST_F(WindowsWindowTest, TheLineUnderTheCountersFollowsFilterRowsAndSelection)
{
    CDialogRun run;
    EXPECT_EQ(L"", WindowText(run.Item(IDC_STATIC_SHOWN)));
    ASSERT_TRUE(run.SelectPartition(L"NTFS Drive 0"));
    ASSERT_TRUE(run.ScanToEnd());
    const int nRows = run.RowCount();
    const int nDeleted = run.Counter(IDC_EDIT_DELETED);
    auto line = [](int nShown, int nSelected) {
        return L"显示 " + std::to_wstring(nShown) + L" 条，已选 " + std::to_wstring(nSelected) + L" 条";
    };
    auto shows = [&](const std::wstring& wstrLine) {
        return WaitUntil([&] { return WindowText(run.Item(IDC_STATIC_SHOWN)) == wstrLine; }, 5000);
    };
    EXPECT_TRUE(shows(line(nRows, 0)));
    const std::vector<int> vecSelected = {0, 1, 2, 3, 7, 20, 21, nRows - 1};
    run.SelectRows(vecSelected);
    EXPECT_TRUE(shows(line(nRows, 8)));
    int nSelectedDeleted = 0;
    for (const int nRow : vecSelected)
        nSelectedDeleted += run.Cell(nRow, eColumnDeleted) == L"是" ? 1 : 0;

    // Deleted ones only: the selected ones among them stay selected, the
    // counters still count the scan.
    CheckDlgButton(run.Dialog(), IDC_CHECK_DELETED_ONLY, BST_CHECKED);
    SendMessageW(run.Dialog(), WM_COMMAND, MAKEWPARAM(IDC_CHECK_DELETED_ONLY, BN_CLICKED), 0);
    EXPECT_EQ(nDeleted, run.RowCount());
    EXPECT_TRUE(shows(line(nDeleted, nSelectedDeleted)));
    EXPECT_EQ(nRows, run.Counter(IDC_EDIT_TOTAL));
    EXPECT_EQ(nDeleted, run.Counter(IDC_EDIT_DELETED));
    // A text no name holds, applied with Enter.
    SetDlgItemTextW(run.Dialog(), IDC_EDIT_FILTER, L"no such name at all");
    run.Key(IDC_EDIT_FILTER, VK_RETURN);
    EXPECT_TRUE(shows(line(0, 0)));
    EXPECT_EQ(nRows, run.Counter(IDC_EDIT_TOTAL));
}

TEST_F(WindowsWindowTest, APartitionsTipGivesItsSizeAndLabel)
{
    CDialogRun run;
    HWND hTree = run.Item(IDC_TREE_DRIVES);
    HTREEITEM hItem = TreeView_GetChild(hTree, TreeView_GetRoot(hTree));
    size_t nPartition = 0;
    for (; hItem; hItem = TreeView_GetNextSibling(hTree, hItem), ++nPartition)
    {
        ASSERT_LT(nPartition, m_image.m_vecPartitions.size());
        const CExpectedPartition& partition = m_image.m_vecPartitions[nPartition];
        std::wstring wstrExpected = L"Size: " + Wide(FormatDiskSize(partition.m_n64Sectors * 512));
        std::string strLabel = partition.m_strLabel;  // FAT's, or NTFS's below
        bool bLabel = partition.m_bLabel;
        for (const CExpectedVolume& volume : m_image.m_vecVolumes)
            if (volume.m_dwFirstSector == partition.m_dwFirstSector)
            {
                strLabel = volume.m_strLabel;
                bLabel = true;
            }
        if (bLabel)
            wstrExpected += L"\r\nVolume label: " + Wide(strLabel.empty() ? "none" : strLabel);
        SCOPED_TRACE(run.TreeText(hItem));
        EXPECT_EQ(wstrExpected, run.TreeTip(hItem));
        EXPECT_EQ(wstrExpected, run.TreeTip(hItem)) << "asked again";
    }
    EXPECT_EQ(m_image.m_vecPartitions.size(), nPartition);
    EXPECT_EQ(L"", run.TreeTip(TreeView_GetRoot(hTree)));
    EXPECT_TRUE(GetWindowLongW(hTree, GWL_STYLE) & TVS_INFOTIP);
    EXPECT_TRUE(m_vecErrors.empty());
}
