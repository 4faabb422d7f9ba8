#include "ui/win32/SaveProgress.h"

#include "ui/win32/Win32Resource.h"
#include "ui/win32/WideText.h"

#include <commctrl.h>

CSaveProgress::CSaveProgress(HWND hOwner)
    : CDialogWindow(IDD_SAVE_PROGRESS, hOwner), m_hOwner(hOwner), m_qwStart(GetTickCount64())
{
}

CSaveProgress::~CSaveProgress()
{
    if (m_hWnd)
        DestroyWindow(m_hWnd);
}

BOOL CSaveProgress::OnInitDialog()
{
    // The owner's caption, as every window of the program.
    wchar_t szCaption[64] = {};
    GetWindowTextW(m_hOwner, szCaption, 64);
    SetWindowTextW(m_hWnd, szCaption);
    SendDlgItemMessageW(m_hWnd, IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, 1000);
    return TRUE;
}

void CSaveProgress::Update(const std::string& strText, int nPermille)
{
    if (!m_hWnd)
    {
        if (GetTickCount64() - m_qwStart < kShowAfterMs || !Create())
            return;
        ShowWindow(m_hWnd, SW_SHOWNA);
    }
    const std::wstring wstrText = WideFromUtf8(strText);
    wchar_t szShown[512] = {};
    GetDlgItemTextW(m_hWnd, IDC_PROGRESS_TEXT, szShown, 512);
    // Unchanged text is not set again, so it does not flicker.
    if (wstrText != szShown)
        SetDlgItemTextW(m_hWnd, IDC_PROGRESS_TEXT, wstrText.c_str());
    SendDlgItemMessageW(m_hWnd, IDC_PROGRESS_BAR, PBM_SETPOS, static_cast<WPARAM>(nPermille), 0);
    // Drawn now: the next piece may keep the thread busy for a while.
    UpdateWindow(m_hWnd);
}

INT_PTR CSaveProgress::OnMessage(UINT uMsg, WPARAM wParam, LPARAM)
{
    // "取消", Esc and the close box cancel the save; the save takes the
    // window down when it has stopped.
    if (uMsg == WM_COMMAND && LOWORD(wParam) == IDCANCEL)
    {
        m_bCancelled = true;
        EnableWindow(GetDlgItem(m_hWnd, IDCANCEL), FALSE);
        return TRUE;
    }
    return FALSE;
}
