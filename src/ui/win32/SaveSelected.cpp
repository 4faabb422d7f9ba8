// The save command: the list's context menu, the folder chooser, and the
// save of every selected row's entry into the chosen folder, piece by piece
// with the window kept alive between the pieces.
#include "session/SaveRun.h"
#include "ui/Resource.h"
#include "ui/win32/SalvixDlg.h"
#include "ui/win32/SaveProgress.h"
#include "ui/win32/WideText.h"

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

}  // namespace

int BrowseForFolder(HWND hOwner, wchar_t* pszPath, const wchar_t* pszInitial)
{
    const wchar_t* pszTitle = L" Please select a folder to extract ";
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
    // Menu 129: one popup, "List Files", whose only entry is "保存". It opens
    // where the mouse was when the click arrived, on a row or not.
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
        OnSaveSelected();
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

void CSalvixDlg::OnSaveSelected()
{
    const std::vector<int> vecRows = SelectedRows();
    if (vecRows.empty() || m_bSaving)
        return;

    wchar_t szFolder[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, szFolder);
    if (!BrowseForFolder(m_hWnd, szFolder, szFolder))
    {
        if (GetLastError() == ERROR_FILENAME_EXCED_RANGE)
            ShowSystemError(ERROR_FILENAME_EXCED_RANGE);
        return;
    }
    // Rows in the order the list shows them, each mapped to the record it
    // lists; the session takes the folder in UTF-8 and writes through the
    // wide-character calls.
    std::vector<DWORD> vecRecords;
    for (const int nRow : vecRows)
        vecRecords.push_back(m_store.Row(m_view.StoreRow(static_cast<size_t>(nRow))).m_dwRecord);
    CSaveRun run(m_session, std::move(vecRecords), Utf8FromWide(szFolder));

    // A long save shows how far it got, and can be cancelled: it stops after
    // the piece in hand and removes the file it did not finish. So does a
    // close asked for meanwhile, which then closes the window.
    CSaveProgress progress(m_hWnd);
    m_pSaveProgress = &progress;
    m_bSaving = true;
    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    CSaveRun::EStep eStep;
    // The window keeps answering between the steps: a scan opening a large
    // volume may hold the session for a while, and a large file takes long.
    while ((eStep = run.Step(20)) == CSaveRun::EStep::eMore)
    {
        progress.Update(run.ProgressText(), run.Permille());
        if (s_fnSaveStepHook)
            s_fnSaveStepHook();
        PumpMessages();
        if (progress.Cancelled() || m_bCloseAfterSave)
            run.Cancel();
    }
    m_pSaveProgress = nullptr;
    m_bSaving = false;
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    if (eStep == CSaveRun::EStep::eFailed)
        ShowSystemError(run.Error());
    if (m_bCloseAfterSave)
    {
        m_bCloseAfterSave = false;
        CloseDialog(m_nCloseResult);
    }
}
