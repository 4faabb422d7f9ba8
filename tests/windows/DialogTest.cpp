// The Windows program's main dialog under Wine, on the sample disk behind
// \\.\PhysicalDrive0: what it shows, the scan, stop and close, the error box,
// the About box, and saves checked against what icat gave on Linux.
#include "DialogDriver.h"
#include "VolumeCheck.h"

#include "platform/Platform.h"
#include "session/Messages.h"
#include "session/RowText.h"
#include "ui/common/Resource.h"
#include "ui/win32/SalvixApp.h"
#include "ui/win32/Win32Resource.h"
#include "ui/win32/WideText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace
{

// The records the scan of the first volume lists: record 30 on, up to the
// first slot that holds no record.
std::vector<CExpectedRecord> ListedRecords()
{
    CExpectedImage image;
    std::string strError;
    EXPECT_TRUE(LoadExpectations(ImagePath("sample.expected"), image, strError)) << strError;
    std::vector<CExpectedRecord> vecListed;
    // Rows in record order; records no file ever held have none.
    for (const CExpectedRecord& record : image.m_vecVolumes.at(0).m_vecRecords)
        if (record.m_eKind == CExpectedRecord::eEntry && record.m_bListed)
            vecListed.push_back(record);
    return vecListed;
}

std::wstring FreshFolder(const std::string& strName)
{
    const std::wstring wstrFolder = Wide(WindowsPath(SALVIX_WINDOWS_DIALOG_DIR "/" + strName));
    std::error_code error;
    std::filesystem::remove_all(wstrFolder, error);
    std::filesystem::create_directories(wstrFolder, error);
    return wstrFolder;
}

std::string ReadWhole(const std::wstring& wstrPath, bool& bFound)
{
    std::ifstream file(wstrPath.c_str(), std::ios::binary);
    bFound = static_cast<bool>(file);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

class WindowsDialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NE(nullptr, getenv("SALVIX_WINE_DISK0")) << "run through ctest: the first disk is the sample";
        CSalvixDlg::s_fnErrorHook = [this](DWORD dwCode) { m_vecErrors.push_back(dwCode); };
        CSalvixDlg::s_fnReportHook = [this](const std::string& strReport) { m_vecReports.push_back(strReport); };
    }
    void TearDown() override
    {
        CSalvixDlg::s_fnErrorHook = nullptr;
        CSalvixDlg::s_fnMenuHook = nullptr;
        CSalvixDlg::s_fnFolderHook = nullptr;
        CSalvixDlg::s_fnBeforeRecordHook = nullptr;
        CSalvixDlg::s_fnSaveStepHook = nullptr;
        CSalvixDlg::s_fnReportHook = nullptr;
        CSalvixDlg::s_fnQuestionHook = nullptr;
        SetDiskPaths({});
    }
    // Written on the dialog's thread, read once the dialog has answered.
    std::vector<DWORD> m_vecErrors;
    // Closing a listing asks: answered yes.
    CQuestions m_questions;
    std::vector<std::string> m_vecReports;
};

TEST_F(WindowsDialogTest, WindowShowsTheTemplateColumnsTreeAndSystemMenu)
{
    CDialogRun run;
    ASSERT_NE(nullptr, run.Dialog());
    HWND hList = run.Item(IDC_LIST_FILES);
    int anOrder[eColumnCount] = {};
    ASSERT_TRUE(SendMessageW(hList, LVM_GETCOLUMNORDERARRAY, eColumnCount, reinterpret_cast<LPARAM>(anOrder)));
    std::wstring wstrShown;
    for (const int nColumn : anOrder)
    {
        wchar_t szHeading[64] = {};
        LVCOLUMNW column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = szHeading;
        column.cchTextMax = 64;
        ASSERT_TRUE(SendMessageW(hList, LVM_GETCOLUMNW, nColumn, reinterpret_cast<LPARAM>(&column)));
        wstrShown += std::wstring(szHeading) + L"|";
        // The list's widths, wider where the heading needs more.
        EXPECT_GE(column.cx, ColumnWidth(nColumn)) << nColumn;
    }
    EXPECT_EQ(L"#|文件名|文件属性|是否删除|簇|路径|大小|修改时间|状态|", wstrShown);
    // Tips carry the rows' times.
    EXPECT_EQ(LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP, SendMessageW(hList, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    EXPECT_TRUE(GetWindowLongW(hList, GWL_STYLE) & LVS_OWNERDATA) << "a virtual list";

    HTREEITEM hRoot = TreeView_GetRoot(run.Item(IDC_TREE_DRIVES));
    EXPECT_EQ(L"Drives", run.TreeText(hRoot));
    for (const wchar_t* pszPartition : {L"NTFS Drive 0", L"FAT32 Drive 1", L"NTFS Drive 2"})
        EXPECT_NE(nullptr, run.FindTreeItem(pszPartition)) << pszPartition;
    EXPECT_EQ(L"扫描文件", run.ButtonText());
    EXPECT_EQ(L"退出", WindowText(run.Item(IDCANCEL)));

    wchar_t szEntry[64] = {};
    GetMenuStringW(GetSystemMenu(run.Dialog(), FALSE), IDM_ABOUTBOX, szEntry, 64, MF_BYCOMMAND);
    EXPECT_STREQ(L"&About Salvix...", szEntry);
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    ASSERT_TRUE(GetGUIThreadInfo(run.ThreadId(), &info));
    EXPECT_EQ(run.Item(IDCANCEL), info.hwndFocus) << "the first control in tab order";
    EXPECT_TRUE(m_vecErrors.empty());
}

TEST_F(WindowsDialogTest, ScanListsTheRecordsAsTheSleuthKitSawThem)
{
    const std::vector<CExpectedRecord> vecListed = ListedRecords();
    ASSERT_GT(vecListed.size(), 30u);
    CDialogRun run;
    ASSERT_TRUE(run.SelectPartition(L"NTFS Drive 0"));
    ASSERT_TRUE(run.ScanToEnd());
    ASSERT_EQ(static_cast<int>(vecListed.size()), run.RowCount());
    int nDeleted = 0;
    for (size_t n = 0; n < vecListed.size(); ++n)
    {
        const CExpectedRecord& record = vecListed[n];
        const int nRow = static_cast<int>(n);
        nDeleted += record.m_nNotInUse;
        EXPECT_EQ(Wide(record.m_strWholeName), run.Cell(nRow, eColumnName)) << "row " << n;
        EXPECT_EQ(std::to_wstring(record.m_dwRecord - 30), run.Cell(nRow, eColumnNumber));
        EXPECT_EQ(Wide(AttributeLabels(record.m_dwFlags)), run.Cell(nRow, eColumnAttributes)) << "row " << n;
        EXPECT_EQ(record.m_nNotInUse ? L"是" : L"", run.Cell(nRow, eColumnDeleted)) << "row " << n;
        EXPECT_EQ(std::to_wstring(record.m_n64Clusters), run.Cell(nRow, eColumnClusters)) << "row " << n;
    }
    EXPECT_GT(nDeleted, 0);
    EXPECT_EQ(static_cast<int>(vecListed.size()), run.Counter(IDC_EDIT_TOTAL));
    EXPECT_EQ(nDeleted, run.Counter(IDC_EDIT_DELETED));
    EXPECT_EQ(L"扫描完成：" + std::to_wstring(vecListed.size()) + L" 条记录", run.Hint());
    EXPECT_TRUE(run.ButtonEnabled());
    // Two presses after an end: back to idle, then a new scan of the same rows.
    run.PressScan();
    EXPECT_EQ(L"扫描文件", run.ButtonText());
    ASSERT_TRUE(run.ScanToEnd());
    EXPECT_EQ(static_cast<int>(vecListed.size()), run.RowCount());
    EXPECT_TRUE(m_vecErrors.empty());
}

TEST_F(WindowsDialogTest, HeaderClicksSortAndTheFilterNarrowsKeepingTheSelection)
{
    const std::vector<CExpectedRecord> vecListed = ListedRecords();
    CDialogRun run;
    ASSERT_TRUE(run.SelectPartition(L"NTFS Drive 0"));
    ASSERT_TRUE(run.ScanToEnd());
    const int nRows = run.RowCount();
    const std::wstring wstrChosen = L"合同扫描件.pdf";
    auto rowOf = [&](const std::wstring& wstrName) {
        for (int nRow = 0; nRow < run.RowCount(); ++nRow)
            if (run.Cell(nRow, eColumnName) == wstrName)
                return nRow;
        return -1;
    };
    ASSERT_GE(rowOf(wstrChosen), 0);
    run.SelectRows({rowOf(wstrChosen)});
    auto clickHeader = [&](int nColumn) {
        NMLISTVIEW click = {};
        click.hdr = {run.Item(IDC_LIST_FILES), IDC_LIST_FILES, static_cast<UINT>(LVN_COLUMNCLICK)};
        click.iItem = -1;
        click.iSubItem = nColumn;
        SendMessageW(run.Dialog(), WM_NOTIFY, IDC_LIST_FILES, reinterpret_cast<LPARAM>(&click));
    };
    auto clusters = [&](int nRow) { return std::stoul(run.Cell(nRow, eColumnClusters)); };
    for (const bool bDescending : {false, true})
    {
        clickHeader(eColumnClusters);
        ASSERT_EQ(nRows, run.RowCount());
        for (int nRow = 1; nRow < nRows; ++nRow)
            ASSERT_TRUE(bDescending ? clusters(nRow - 1) >= clusters(nRow) : clusters(nRow - 1) <= clusters(nRow))
                << "row " << nRow;
        const int nSelected = ListView_GetNextItem(run.Item(IDC_LIST_FILES), -1, LVNI_SELECTED);
        EXPECT_EQ(wstrChosen, run.Cell(nSelected, eColumnName)) << "the selection follows the record";
    }

    // Names or folders holding the text, whatever its case; then deleted ones only.
    SetDlgItemTextW(run.Dialog(), IDC_EDIT_FILTER, L"img_");
    ASSERT_TRUE(WaitUntil([&] { return run.RowCount() < nRows; }, 5000));
    const int nImages = static_cast<int>(std::count_if(vecListed.begin(), vecListed.end(), [](const CExpectedRecord& r) {
        return r.m_strWholeName.rfind("IMG_", 0) == 0;
    }));
    EXPECT_EQ(nImages, run.RowCount());
    SetDlgItemTextW(run.Dialog(), IDC_EDIT_FILTER, L"");
    CheckDlgButton(run.Dialog(), IDC_CHECK_DELETED_ONLY, BST_CHECKED);
    SendMessageW(run.Dialog(), WM_COMMAND, MAKEWPARAM(IDC_CHECK_DELETED_ONLY, BN_CLICKED), 0);
    EXPECT_EQ(run.Counter(IDC_EDIT_DELETED), run.RowCount());
    for (int nRow = 0; nRow < run.RowCount(); ++nRow)
        ASSERT_EQ(L"是", run.Cell(nRow, eColumnDeleted)) << "row " << nRow;
    EXPECT_EQ(nRows, run.Counter(IDC_EDIT_TOTAL)) << "the counters count what the scan found";
}

// The worker holds at record 74 until the test lets it go, or, when asked,
// until the dialog asks it to stop.
class CHeldWorker
{
public:
    CHeldWorker(CDialogRun& run, bool bGoOnStop) : m_run(run), m_bGoOnStop(bGoOnStop)
    {
        CSalvixDlg::s_fnBeforeRecordHook = [this](DWORD dwRecord) {
            if (dwRecord != 74)
                return;
            m_bHeld = true;
            WaitUntil([this] { return m_bRelease.load() || (m_bGoOnStop && m_run.Object().m_scan.m_bStop.load()); },
                      20000);
        };
    }
    bool WaitHeld() { return WaitUntil([this] { return m_bHeld.load(); }, 20000); }
    void Release() { m_bRelease = true; }

private:
    CDialogRun& m_run;
    const bool m_bGoOnStop;
    std::atomic<bool> m_bHeld{false};
    std::atomic<bool> m_bRelease{false};
};

TEST_F(WindowsDialogTest, StopIsAnsweredAtTheNextRecordAndTheRowsStay)
{
    CDialogRun run;
    CHeldWorker held(run, false);
    ASSERT_TRUE(run.SelectPartition(L"NTFS Drive 0"));
    run.PressScan();
    EXPECT_EQ(L"停止扫描", run.ButtonText());
    ASSERT_TRUE(held.WaitHeld());
    run.PressScan();
    EXPECT_EQ(L"停滞中...", run.ButtonText());
    EXPECT_FALSE(run.ButtonEnabled());
    held.Release();
    const ULONGLONG qwStop = GetTickCount64();
    ASSERT_TRUE(WaitUntil([&] { return run.ButtonText() == L"搜索结束"; }, 5000));
    EXPECT_LT(GetTickCount64() - qwStop, 100u) << "the end shows within 100 ms of the stop";
    EXPECT_TRUE(run.ButtonEnabled());
    // Records 64 to 73 were listed before the hold (30 to 63 hold no file); at
    // most the one in hand after it.
    EXPECT_GE(run.RowCount(), 10);
    EXPECT_LE(run.RowCount(), 11);
    EXPECT_EQ(run.RowCount(), run.Counter(IDC_EDIT_TOTAL));
    // The hint says how far into the table, whose length The Sleuth Kit gave:
    // the records up to the one in hand at the stop were looked at.
    CExpectedImage image;
    std::string strError;
    ASSERT_TRUE(LoadExpectations(ImagePath("sample.expected"), image, strError)) << strError;
    const uint64_t n64Percent = (74 + 1) * 100 / image.m_vecVolumes.at(0).m_n64Records;
    EXPECT_EQ(L"已停止：读到表的 " + std::to_wstring(n64Percent) + L"%", run.Hint());
}

TEST_F(WindowsDialogTest, ClosingDuringAScanWaitsForTheWorkerAndClosesTheDisk)
{
    CDialogRun run;
    CHeldWorker held(run, true);
    ASSERT_TRUE(run.SelectPartition(L"NTFS Drive 0"));
    run.PressScan();
    ASSERT_TRUE(held.WaitHeld());
    // The press returns once the worker has stopped and been waited for.
    const ULONGLONG qwClose = GetTickCount64();
    SendMessageW(run.Dialog(), WM_COMMAND, IDCANCEL, 0);
    EXPECT_LT(GetTickCount64() - qwClose, 100u);
    ASSERT_TRUE(run.WaitClosed(5000));
    EXPECT_EQ(nullptr, run.Object().m_scan.m_hWorker) << "joined";
    EXPECT_FALSE(run.Object().m_session.HasDevice());
}

void SaveInto(CDialogRun& run, const std::wstring& wstrFolder, UINT nCommand);

TEST_F(WindowsDialogTest, Fat32ListsAndSavesWhatTheSleuthKitSaw)
{
    CExpectedImage image;
    std::string strError;
    ASSERT_TRUE(LoadExpectations(ImagePath("sample.expected"), image, strError)) << strError;
    const std::vector<CExpectedFatEntry>& vecEntries = image.m_vecFatEntries;
    ASSERT_GE(vecEntries.size(), 6u);
    CDialogRun run;
    ASSERT_TRUE(run.SelectPartition(L"FAT32 Drive 1"));
    ASSERT_TRUE(run.ScanToEnd());
    EXPECT_TRUE(m_vecErrors.empty());
    ASSERT_EQ(static_cast<int>(vecEntries.size()), run.RowCount());
    std::vector<int> vecFiles;
    int nDeleted = 0;
    for (const CExpectedFatEntry& entry : vecEntries)
    {
        std::wstring wstrPath = L"\\" + Wide(entry.m_strPath);
        std::replace(wstrPath.begin(), wstrPath.end(), L'/', L'\\');
        int nFound = -1;
        for (int nRow = 0; nRow < run.RowCount(); ++nRow)
        {
            std::wstring wstrFolder = run.Cell(nRow, eColumnPath);
            if (wstrFolder.back() != L'\\')
                wstrFolder += L'\\';
            if (wstrFolder + run.Cell(nRow, eColumnName) == wstrPath)
                nFound = nRow;
        }
        ASSERT_GE(nFound, 0) << entry.m_strPath;
        EXPECT_EQ(entry.m_bDeleted ? L"是" : L"", run.Cell(nFound, eColumnDeleted)) << entry.m_strPath;
        nDeleted += entry.m_bDeleted ? 1 : 0;
        if (entry.m_bData)
            vecFiles.push_back(nFound);
    }
    EXPECT_EQ(nDeleted, run.Counter(IDC_EDIT_DELETED));
    EXPECT_GE(nDeleted, 2);

    // Every file saved with its folders, deleted ones too, holds icat's bytes.
    run.SelectRows(vecFiles);
    const std::wstring wstrFolder = FreshFolder("fat32");
    SaveInto(run, wstrFolder, ID_LIST_SAVE_FOLDERS);
    EXPECT_TRUE(m_vecErrors.empty());
    for (const CExpectedFatEntry& entry : vecEntries)
    {
        if (!entry.m_bData)
            continue;
        std::wstring wstrPath = wstrFolder + L"\\" + Wide(entry.m_strPath);
        std::replace(wstrPath.begin(), wstrPath.end(), L'/', L'\\');
        bool bFound = false;
        const std::string strData = ReadWhole(wstrPath, bFound);
        ASSERT_TRUE(bFound) << entry.m_strPath;
        EXPECT_EQ(entry.m_dwDataLength, strData.size()) << entry.m_strPath;
        EXPECT_EQ(entry.m_n64DataHash, DataHash(reinterpret_cast<const uint8_t*>(strData.data()), strData.size()))
            << entry.m_strPath;
    }
}

TEST_F(WindowsDialogTest, AnUnreadablePartitionShowsTheErrorBoxThenTheEnd)
{
    // A copy of the sample whose FAT32 partition lost its boot sector, as a
    // second disk: a partition that holds no volume the program reads.
    CExpectedImage image;
    std::string strError;
    ASSERT_TRUE(LoadExpectations(ImagePath("sample.expected"), image, strError)) << strError;
    uint32_t dwFatStart = 0;
    for (const CExpectedPartition& partition : image.m_vecPartitions)
        dwFatStart = partition.m_nType == 0x0C ? partition.m_dwFirstSector : dwFatStart;
    ASSERT_NE(0u, dwFatStart);
    const std::wstring wstrCopy = FreshFolder("unreadable") + L"\\disk.img";
    ASSERT_TRUE(CopyFileW(Wide(ImagePath("sample.img")).c_str(), wstrCopy.c_str(), FALSE));
    {
        std::fstream file(wstrCopy.c_str(), std::ios::binary | std::ios::in | std::ios::out);
        file.seekp(static_cast<std::streamoff>(dwFatStart) * 512);
        file.write(std::string(512, '\0').data(), 512);
        ASSERT_TRUE(static_cast<bool>(file));
    }
    SetDiskPaths({Utf8FromWide(wstrCopy)});
    CSalvixDlg::s_fnErrorHook = nullptr;  // the real box
    CDialogRun run;
    HWND hTree = run.Item(IDC_TREE_DRIVES);
    HTREEITEM hSecond = TreeView_GetNextSibling(hTree, TreeView_GetChild(hTree, TreeView_GetRoot(hTree)));
    ASSERT_NE(nullptr, hSecond);
    HTREEITEM hFat = run.FindTreeItem(L"FAT32 Drive 1", hSecond);
    ASSERT_NE(nullptr, hFat);
    ASSERT_TRUE(TreeView_SelectItem(hTree, hFat));
    run.PressScan();
    HWND hBox = run.WaitForWindow(L"GetLastError");
    ASSERT_NE(nullptr, hBox);
    EXPECT_EQ(run.Dialog(), GetWindow(hBox, GW_OWNER));
    const std::vector<HWND> vecItems = ChildWindows(hBox);
    EXPECT_EQ(1, std::count_if(vecItems.begin(), vecItems.end(), [](HWND hItem) {
                  return WindowText(hItem) == Wide(SystemErrorText(ERROR_INVALID_DRIVE));
              })) << "the program's sentence for a partition that holds no volume it reads";
    EXPECT_EQ(L"停止扫描", run.ButtonText()) << "the worker waits for the box";
    PostMessageW(hBox, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitUntil([&] { return run.ButtonText() == L"搜索结束"; }, 5000));
    EXPECT_EQ(0, run.RowCount());
    EXPECT_FALSE(run.Object().m_session.HasDevice()) << "closed after the failure";
    EXPECT_EQ(L"请先选择一个分区", run.Hint());
}

TEST_F(WindowsDialogTest, AboutBoxOpensForSystemCommands16To31)
{
    CDialogRun run;
    PostMessageW(run.Dialog(), WM_SYSCOMMAND, IDM_ABOUTBOX | 0xF, 0);
    HWND hAbout = run.WaitForWindow(L"About Salvix");
    ASSERT_NE(nullptr, hAbout);
    bool bVersion = false;
    HICON hIcon = nullptr;
    for (HWND hItem : ChildWindows(hAbout))
    {
        bVersion = bVersion || WindowText(hItem) == L"NTFS Salvix Version 2.1";
        if ((GetWindowLongW(hItem, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            hIcon = reinterpret_cast<HICON>(SendMessageW(hItem, STM_GETICON, 0, 0));
    }
    EXPECT_TRUE(bVersion);
    EXPECT_NE(nullptr, hIcon);
    PostMessageW(hAbout, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(hAbout); }, 5000));
    EXPECT_FALSE(run.WaitClosed(0)) << "the main dialog stays";
}

TEST_F(WindowsDialogTest, KeysCloseTheWindowOnlyOutsideTheTreeAndTheSearchField)
{
    CDialogRun run;
    // Enter on the scan button presses it: with nothing chosen nothing
    // changes but the hint.
    SendMessageW(run.Dialog(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(run.Item(IDC_BUTTON_SCAN)), TRUE);
    run.Key(IDC_BUTTON_SCAN, VK_RETURN);
    ASSERT_TRUE(WaitUntil([&] { return run.Hint() == L"请先选择一个分区"; }, 5000));
    EXPECT_EQ(L"扫描文件", run.ButtonText());
    EXPECT_EQ(nullptr, run.Object().m_scan.m_hWorker);

    // Enter in the search field applies it, Esc empties it; Enter on the
    // tree's root only says what to do. The window stays.
    SetDlgItemTextW(run.Dialog(), IDC_EDIT_FILTER, L"img_");
    run.Key(IDC_EDIT_FILTER, VK_RETURN);
    run.Key(IDC_EDIT_FILTER, VK_ESCAPE);
    ASSERT_TRUE(WaitUntil([&] { return WindowText(run.Item(IDC_EDIT_FILTER)).empty(); }, 5000));
    ASSERT_TRUE(TreeView_SelectItem(run.Item(IDC_TREE_DRIVES), TreeView_GetRoot(run.Item(IDC_TREE_DRIVES))));
    run.Key(IDC_TREE_DRIVES, VK_RETURN);
    ASSERT_TRUE(WaitUntil([&] { return run.Hint() == L"请先选择一个分区"; }, 5000));
    Sleep(100);
    EXPECT_FALSE(run.WaitClosed(0));
    EXPECT_EQ(0, m_questions.Count());

    // Esc anywhere else closes, at once with nothing listed.
    run.Key(IDC_TREE_DRIVES, VK_ESCAPE);
    EXPECT_TRUE(run.WaitClosed(5000));
    EXPECT_EQ(0, m_questions.Count());
}

TEST_F(WindowsDialogTest, EnterOnAPartitionScansIt)
{
    CDialogRun run;
    ASSERT_TRUE(run.SelectPartition(L"NTFS Drive 2"));
    for (int nRun = 0; nRun < 2; ++nRun)
    {
        // After an end, Enter starts the next scan as two presses would.
        const DWORD dwSerial = run.Object().m_scan.Serial();
        run.Key(IDC_TREE_DRIVES, VK_RETURN);
        ASSERT_TRUE(WaitUntil([&] { return run.Object().m_scan.Serial() == dwSerial + 1; }, 5000));
        ASSERT_TRUE(WaitUntil([&] { return run.ButtonText() == L"搜索结束"; }, 10000));
        EXPECT_GT(run.RowCount(), 0);
    }
    EXPECT_FALSE(run.WaitClosed(0));
    EXPECT_TRUE(m_vecErrors.empty());
}

// The save command into wstrFolder, as the chooser would answer, for the rows selected.
void SaveInto(CDialogRun& run, const std::wstring& wstrFolder, UINT nCommand = ID_LIST_SAVE)
{
    CSalvixDlg::s_fnFolderHook = [wstrFolder](const std::wstring&, const std::wstring&) { return wstrFolder; };
    SendMessageW(run.Dialog(), WM_COMMAND, nCommand, 0);
}

TEST_F(WindowsDialogTest, SavedDeletedFilesEqualIcatAndNothingStandingInTheWayStopsTheRun)
{
    const std::vector<CExpectedRecord> vecListed = ListedRecords();
    CDialogRun run;
    ASSERT_TRUE(run.SelectPartition(L"NTFS Drive 0"));
    ASSERT_TRUE(run.ScanToEnd());
    // One file row of each name: a second of the same name would go beside the
    // first, and a deleted folder ("Old Projects") is no file.
    std::vector<int> vecRows;
    std::set<std::string> setNames;
    for (size_t n = 0; n < vecListed.size(); ++n)
    {
        std::string strFolded = vecListed[n].m_strWholeName;
        std::transform(strFolded.begin(), strFolded.end(), strFolded.begin(), [](char ch) { return static_cast<char>(tolower(ch)); });
        const bool bFolder = (vecListed[n].m_dwFlags & 0x10000000u) != 0;
        if (vecListed[n].m_nNotInUse && vecListed[n].m_bData && !bFolder && !vecListed[n].m_strWholeName.empty() &&
            setNames.insert(strFolded).second)
            vecRows.push_back(static_cast<int>(n));
    }
    ASSERT_GE(vecRows.size(), 5u);
    run.SelectRows(vecRows);

    // A right-click on the list, "保存" from its menu, the chooser with its title.
    const std::wstring wstrFolder = FreshFolder("save");
    std::wstring wstrTitle, wstrMenu, wstrFoldersEntry;
    CSalvixDlg::s_fnFolderHook = [&](const std::wstring& wstrAsked, const std::wstring&) {
        wstrTitle = wstrAsked;
        return wstrFolder;
    };
    CSalvixDlg::s_fnMenuHook = [&](HMENU hMenu, POINT) -> UINT {
        wchar_t szItem[32] = {};
        GetMenuStringW(hMenu, ID_LIST_SAVE, szItem, 32, MF_BYCOMMAND);
        wstrMenu = szItem;
        GetMenuStringW(hMenu, ID_LIST_SAVE_FOLDERS, szItem, 32, MF_BYCOMMAND);
        wstrFoldersEntry = szItem;
        return ID_LIST_SAVE;
    };
    NMHDR click = {run.Item(IDC_LIST_FILES), IDC_LIST_FILES, static_cast<UINT>(NM_RCLICK)};
    SendMessageW(run.Dialog(), WM_NOTIFY, IDC_LIST_FILES, reinterpret_cast<LPARAM>(&click));
    EXPECT_EQ(L"保存", wstrMenu);
    EXPECT_EQ(L"保存（保留目录结构）", wstrFoldersEntry);
    EXPECT_EQ(L" Please select a folder to extract ", wstrTitle);
    EXPECT_TRUE(m_vecErrors.empty());
    auto pathOf = [&](size_t nIndex) {
        return wstrFolder + L"\\" + Wide(vecListed[static_cast<size_t>(vecRows[nIndex])].m_strWholeName);
    };
    for (size_t i = 0; i < vecRows.size(); ++i)
    {
        const CExpectedRecord& record = vecListed[static_cast<size_t>(vecRows[i])];
        bool bFound = false;
        const std::string strData = ReadWhole(pathOf(i), bFound);
        ASSERT_TRUE(bFound) << "record " << record.m_dwRecord;
        EXPECT_EQ(record.m_dwDataLength, strData.size()) << "record " << record.m_dwRecord;
        EXPECT_EQ(record.m_n64DataHash, DataHash(reinterpret_cast<const uint8_t*>(strData.data()), strData.size()))
            << "record " << record.m_dwRecord;
    }

    // A folder where the second row's file would go stays a folder: the file
    // goes beside it under a free name, and the rows after it are saved.
    ASSERT_TRUE(DeleteFileW(pathOf(0).c_str()) && DeleteFileW(pathOf(1).c_str()) && DeleteFileW(pathOf(2).c_str()));
    ASSERT_TRUE(CreateDirectoryW(pathOf(1).c_str(), nullptr));
    SaveInto(run, wstrFolder);
    EXPECT_TRUE(m_vecErrors.empty());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(pathOf(0).c_str()));
    EXPECT_TRUE(GetFileAttributesW(pathOf(1).c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(pathOf(2).c_str()));
    ASSERT_FALSE(m_vecReports.empty());
    EXPECT_NE(std::string::npos, m_vecReports.back().find("另名保存"));

    // A folder that fits, under which the paths to the names no longer fit
    // MAX_PATH: saved all the same, through the long form of the path.
    std::wstring wstrLong = FreshFolder("long");
    while (wstrLong.size() < MAX_PATH - 12)
    {
        wstrLong += L"\\" + std::wstring(std::min<size_t>(40, MAX_PATH - 12 - wstrLong.size()), L'd');
        CreateDirectoryW(wstrLong.c_str(), nullptr);
    }
    m_vecErrors.clear();
    SaveInto(run, wstrLong);
    EXPECT_TRUE(m_vecErrors.empty());
    const std::wstring wstrFar = L"\\\\?\\" + wstrLong + L"\\" + Wide(vecListed[static_cast<size_t>(vecRows[0])].m_strWholeName);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(wstrFar.c_str()));
}

TEST_F(WindowsDialogTest, SaveWithFoldersPutsEachFileUnderItsFolder)
{
    const std::vector<CExpectedRecord> vecListed = ListedRecords();
    CDialogRun run;
    ASSERT_TRUE(run.SelectPartition(L"NTFS Drive 0"));
    ASSERT_TRUE(run.ScanToEnd());
    int nFolder = -1;
    std::vector<int> vecBelow;
    for (int nRow = 0; nRow < run.RowCount(); ++nRow)
    {
        const CExpectedRecord& record = vecListed[static_cast<size_t>(nRow)];
        const bool bFolder = (record.m_dwFlags & 0x10000000u) != 0;
        if (bFolder && run.Cell(nRow, eColumnName) == L"文档" && run.Cell(nRow, eColumnPath) == L"\\")
            nFolder = nRow;
        else if (!bFolder && run.Cell(nRow, eColumnPath).rfind(L"\\文档", 0) == 0)
            vecBelow.push_back(nRow);
    }
    ASSERT_GE(nFolder, 0);
    ASSERT_GE(vecBelow.size(), 2u);
    run.SelectRows({nFolder});
    const std::wstring wstrFolder = FreshFolder("folders");
    SaveInto(run, wstrFolder, ID_LIST_SAVE_FOLDERS);
    EXPECT_TRUE(m_vecErrors.empty());
    for (const int nRow : vecBelow)
    {
        const CExpectedRecord& record = vecListed[static_cast<size_t>(nRow)];
        bool bFound = false;
        const std::string strData =
            ReadWhole(wstrFolder + run.Cell(nRow, eColumnPath) + L"\\" + run.Cell(nRow, eColumnName), bFound);
        ASSERT_TRUE(bFound) << "record " << record.m_dwRecord;
        EXPECT_EQ(record.m_n64DataHash, DataHash(reinterpret_cast<const uint8_t*>(strData.data()), strData.size()));
    }
}

std::vector<std::wstring> FilesIn(const std::wstring& wstrFolder)
{
    std::vector<std::wstring> vecFiles;
    for (const auto& entry : std::filesystem::directory_iterator(wstrFolder))
        vecFiles.push_back(entry.path().filename().wstring());
    return vecFiles;
}

TEST_F(WindowsDialogTest, ASlowSaveShowsItsProgressAndItsCancelKeepsOnlyWholeFiles)
{
    const std::vector<CExpectedRecord> vecListed = ListedRecords();
    CDialogRun run;
    ASSERT_TRUE(run.SelectPartition(L"NTFS Drive 0"));
    ASSERT_TRUE(run.ScanToEnd());
    run.SelectRows({1, 2, 3});  // records 65 to 67
    CSalvixDlg::s_fnSaveStepHook = [] { Sleep(300); };
    const std::wstring wstrFolder = FreshFolder("progress");
    CSalvixDlg::s_fnFolderHook = [&](const std::wstring&, const std::wstring&) { return wstrFolder; };
    PostMessageW(run.Dialog(), WM_COMMAND, ID_LIST_SAVE, 0);
    HWND hProgress = run.WaitForWindow(L"Orvane v2.1", 10000, run.Dialog());
    ASSERT_NE(nullptr, hProgress);
    EXPECT_EQ(0u, WindowText(GetDlgItem(hProgress, IDC_PROGRESS_TEXT)).find(L"正在保存 "));
    EXPECT_NE(std::wstring::npos, WindowText(GetDlgItem(hProgress, IDC_PROGRESS_TEXT)).find(L"/3)"));
    PostMessageW(hProgress, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(hProgress); }, 10000));
    const std::vector<std::wstring> vecSaved = FilesIn(wstrFolder);
    EXPECT_LT(vecSaved.size(), 3u);
    for (const int nRow : {1, 2, 3})
    {
        const CExpectedRecord& record = vecListed[static_cast<size_t>(nRow)];
        bool bFound = false;
        const std::string strData = ReadWhole(wstrFolder + L"\\" + Wide(record.m_strWholeName), bFound);
        EXPECT_TRUE(!bFound || strData.size() == record.m_dwDataLength) << "no file is left unfinished";
    }
    EXPECT_TRUE(m_vecErrors.empty());
}

TEST_F(WindowsDialogTest, ClosingDuringASaveCancelsItAndCloses)
{
    CDialogRun run;
    ASSERT_TRUE(run.SelectPartition(L"NTFS Drive 0"));
    ASSERT_TRUE(run.ScanToEnd());
    run.SelectRows({1, 2, 3});  // records 65 to 67
    int nSteps = 0;
    CSalvixDlg::s_fnSaveStepHook = [&] {
        if (nSteps++ == 0)
            PostMessageW(run.Dialog(), WM_COMMAND, IDCANCEL, 0);
    };
    const std::wstring wstrFolder = FreshFolder("close");
    SaveInto(run, wstrFolder);
    EXPECT_TRUE(run.WaitClosed(5000));
    EXPECT_EQ(1, nSteps);
    // The first step made the first file; the cancel removed it unfinished.
    EXPECT_TRUE(FilesIn(wstrFolder).empty());
}

TEST_F(WindowsDialogTest, ImagesOnTheCommandLineAreDisksAfterTheDrives)
{
    EXPECT_EQ((std::vector<std::string>{"Z:\\a.img", "Z:\\b c.img"}),
              DiskImagesFromCommandLine(L"salvix.exe Z:\\a.img \"Z:\\b c.img\""));
    EXPECT_TRUE(DiskImagesFromCommandLine(L"salvix.exe").empty());

    SetDiskPaths(DiskImagesFromCommandLine((L"salvix.exe " + Wide(ImagePath("c4096.img"))).c_str()));
    CDialogRun run;
    HWND hTree = run.Item(IDC_TREE_DRIVES);
    HTREEITEM hFirst = TreeView_GetChild(hTree, TreeView_GetRoot(hTree));
    HTREEITEM hSecond = TreeView_GetNextSibling(hTree, hFirst);
    ASSERT_NE(nullptr, hSecond);
    EXPECT_EQ(0u, run.TreeText(hFirst).find(L"Disk 0: \\\\.\\PhysicalDrive0"));
    EXPECT_EQ(0u, run.TreeText(hSecond).find(L"Disk 1: " + Wide(ImagePath("c4096.img"))));
    ASSERT_TRUE(TreeView_SelectItem(hTree, TreeView_GetChild(hTree, hSecond)));
    ASSERT_TRUE(run.ScanToEnd());
    EXPECT_GT(run.RowCount(), 0);
    EXPECT_TRUE(m_vecErrors.empty());
}

}  // namespace
