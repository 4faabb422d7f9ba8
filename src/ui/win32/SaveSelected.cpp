// The save commands: the list's context menu, the folder chooser, and the
// window around a save: its progress, the question before saving onto the
// disk being read, and the report at the end. What is saved, where and under
// which names, and what the end says, is the session's (SaveRun.h).
#include "session/SaveLoop.h"
#include "session/SavePlan.h"
#include "ui/common/Resource.h"
#include "ui/win32/SalvixDlg.h"
#include "ui/win32/SaveProgress.h"
#include "ui/win32/SaveReportDlg.h"
#include "ui/win32/WideText.h"

#include <functional>

#include <shlobj.h>
#include <windowsx.h>

namespace
{

int CALLBACK BrowseCallback(HWND hChooser, UINT uEvent, LPARAM, LPARAM lpData)
{
    // The chooser opens at the initial folder.
    if (uEvent == BFFM_INITIALIZED)
        SendMessageW(hChooser, BFFM_SETSELECTIONW, TRUE, lpData);
    return 0;
}

// The progress window as the session's save loop sees a window.
class CProgressWindow : public ISaveWindow
{
public:
    CProgressWindow(CSaveProgress& progress, const std::function<void()>& fnPump)
        : m_progress(progress), m_fnPump(fnPump)
    {
    }
    void ShowProgress(const std::string& strText, int nPermille) override { m_progress.Update(strText, nPermille); }
    void Pump() override
    {
        if (CSalvixDlg::s_fnSaveStepHook)
            CSalvixDlg::s_fnSaveStepHook();
        m_fnPump();
    }
    bool CancelAsked() override { return m_progress.Cancelled(); }

private:
    CSaveProgress& m_progress;
    std::function<void()> m_fnPump;
};

}  // namespace

int BrowseForFolder(HWND hOwner, wchar_t* pszPath, const wchar_t* pszInitial)
{
    const std::wstring wstrTitle = WideFromUtf8(kFolderChooserTitle);
    const wchar_t* pszTitle = wstrTitle.c_str();
    SetLastError(NO_ERROR);
    if (CSalvixDlg::s_fnFolderHook)
    {
        const std::wstring wstrChosen =
            CSalvixDlg::s_fnFolderHook(pszTitle, pszInitial ? pszInitial : L"");
        if (wstrChosen.empty())
            return 0;
        if (wstrChosen.size() >= MAX_PATH)
        {
            // Not a folder the save can build on; the caller says why.
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return 0;
        }
        CopyToBuffer(wstrChosen, pszPath, MAX_PATH);
        return 1;
    }
    wchar_t szDisplayName[MAX_PATH] = {};
    BROWSEINFOW info = {};
    info.hwndOwner = hOwner;
    info.pszDisplayName = szDisplayName;
    info.lpszTitle = pszTitle;
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    if (pszInitial)
    {
        info.lpfn = BrowseCallback;
        info.lParam = reinterpret_cast<LPARAM>(pszInitial);
    }
    PIDLIST_ABSOLUTE pItems = SHBrowseForFolderW(&info);
    if (!pItems)
        return 0;
    const int nResult = SHGetPathFromIDListW(pItems, pszPath) ? 1 : 0;
    CoTaskMemFree(pItems);
    return nResult;
}

void CSalvixDlg::OnListRightClick()
{
    // Menu 129: one popup, "List Files": "保存" and "保存（保留目录结构）". It
    // opens where the mouse was when the click arrived, on a row or not.
    HMENU hMenu = LoadMenuW(ResourceInstance(), MAKEINTRESOURCEW(IDR_MENU_LIST));
    if (!hMenu)
        return;
    HMENU hPopup = GetSubMenu(hMenu, 0);
    const DWORD dwPos = GetMessagePos();
    const POINT pt = {GET_X_LPARAM(dwPos), GET_Y_LPARAM(dwPos)};
    UINT nCommand = 0;
    if (s_fnMenuHook)
        nCommand = s_fnMenuHook(hPopup, pt);
    else if (hPopup)
        nCommand = static_cast<UINT>(TrackPopupMenu(hPopup, TPM_RETURNCMD | TPM_RIGHTBUTTON, pt.x,
                                                    pt.y, 0, m_hWnd, nullptr));
    DestroyMenu(hMenu);
    if (nCommand == ID_LIST_SAVE)
        OnSaveSelected(ESaveMode::eFlat);
    else if (nCommand == ID_LIST_SAVE_FOLDERS)
        OnSaveSelected(ESaveMode::eFolders);
}

void CSalvixDlg::PumpMessages()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
    {
        if (msg.message == WM_QUIT)
        {
            // Left for the loop that owns it.
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        HWND hProgress = m_pSaveProgress ? m_pSaveProgress->m_hWnd : nullptr;
        if ((!hProgress || !IsDialogMessageW(hProgress, &msg)) && !IsDialogMessageW(m_hWnd, &msg))
        {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

bool CSalvixDlg::AskToSaveOntoSourceDisk()
{
    const std::wstring wstrQuestion = WideFromUtf8(SameDiskWarningText());
    if (s_fnQuestionHook)
        return s_fnQuestionHook(wstrQuestion);
    wchar_t szCaption[64] = {};
    GetWindowTextW(m_hWnd, szCaption, 64);
    return MessageBoxW(m_hWnd, wstrQuestion.c_str(), szCaption, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}

void CSalvixDlg::ShowSaveReport(const std::string& strReport)
{
    if (s_fnReportHook)
    {
        s_fnReportHook(strReport);
        return;
    }
    CSaveReportDlg box(m_hWnd, strReport);
    box.DoModal();
}

void CSalvixDlg::OnSaveSelected(ESaveMode eMode)
{
    const std::vector<int> vecRows = SelectedRows();
    if (vecRows.empty() || m_saveGuard.Saving())
        return;

    wchar_t szFolder[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, szFolder);
    if (!BrowseForFolder(m_hWnd, szFolder, szFolder))
    {
        if (GetLastError() == ERROR_FILENAME_EXCED_RANGE)
            ShowSystemError(ERROR_FILENAME_EXCED_RANGE);
        return;
    }
    const std::string strFolder = Utf8FromWide(szFolder);
    if (DestinationOnSourceDisk(m_session, strFolder) && !AskToSaveOntoSourceDisk())
        return;
    // Rows in the order the list shows them, as the store holds them; the
    // plan keeps record numbers only, so a scan started during the save may
    // empty the list and the save goes on.
    std::vector<size_t> vecStoreRows;
    for (const int nRow : vecRows)
        vecStoreRows.push_back(m_view.StoreRow(static_cast<size_t>(nRow)));
    CSaveRun run(m_session, CSavePlan(m_store, vecStoreRows, eMode), strFolder);

    // A long save shows how far it got, and can be cancelled: it stops after
    // the piece in hand and removes the file it did not finish. So does a
    // close asked for meanwhile, which then closes the window.
    CSaveProgress progress(m_hWnd);
    m_pSaveProgress = &progress;
    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    CProgressWindow window(progress, [this] { PumpMessages(); });
    const CSaveOutcome outcome = RunSaveLoop(run, window, m_saveGuard);
    m_pSaveProgress = nullptr;
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    int nCloseResult = 0;
    if (m_saveGuard.TakeClose(nCloseResult))
    {
        CloseDialog(nCloseResult);
        return;
    }
    if (outcome.m_eKind == CSaveOutcome::eErrorBox)
        ShowSystemError(outcome.m_dwCode);
    else if (outcome.m_eKind == CSaveOutcome::eReportBox)
        ShowSaveReport(outcome.m_strReport);
}
