// The scan: the button that starts and stops it, and the worker thread, a
// shell around the session's scan whose events the dialog draws.
#include "ui/common/Resource.h"
#include "ui/win32/SalvixDlg.h"
#include "ui/win32/WideText.h"

DWORD WINAPI ScanThreadProc(LPVOID pParam)
{
    static_cast<CSalvixDlg*>(pParam)->m_scan.Run();
    return 0;
}

void CSalvixDlg::ShowScanState()
{
    const EScanState eState = m_scan.State();
    HWND hButton = Item(IDC_BUTTON_SCAN);
    SetWindowTextW(hButton, WideFromUtf8(ScanButtonText(eState)).c_str());
    EnableWindow(hButton, ScanButtonEnabled(eState));
}

void CSalvixDlg::SetHint(const std::string& strHint)
{
    SetDlgItemTextW(m_hWnd, IDC_STATIC_HINT, WideFromUtf8(strHint).c_str());
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
    std::string strHint;
    if (PressHint(m_scan.Press(pTarget, ScanThreadProc, this), strHint))
        SetHint(strHint);
    ShowScanState();
}

void CSalvixDlg::OnTreeEnter()
{
    for (int nPresses = PressesToStart(m_scan.State()); nPresses > 0; --nPresses)
        OnScanButton();
}

void CSalvixDlg::ShowCleared()
{
    ClearList();
}

void CSalvixDlg::ShowProgress(DWORD dwRecordsDone, DWORD dwRecords)
{
    SetHint(ScanHintText(dwRecordsDone, dwRecords));
}

void CSalvixDlg::ShowError(DWORD dwCode, const std::string& strText)
{
    // The rows before the failure show before its box.
    ShowArrivedRows();
    ShowError(dwCode, true, strText);
}

void CSalvixDlg::ShowEnd(const CScanEnd& end)
{
    ShowArrivedRows();
    SetHint(ScanEndHint(end));
    ShowScanState();
}
