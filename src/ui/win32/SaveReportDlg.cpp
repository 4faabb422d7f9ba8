#include "ui/win32/SaveReportDlg.h"

#include "ui/win32/Win32Resource.h"
#include "ui/win32/WideText.h"

CSaveReportDlg::CSaveReportDlg(HWND hParent, const std::string& strReport)
    : CDialogWindow(IDD_SAVE_REPORT, hParent)
{
    // An edit control breaks lines at "\r\n" only.
    for (const wchar_t ch : WideFromUtf8(strReport))
    {
        if (ch == L'\n')
            m_wstrText += L'\r';
        m_wstrText += ch;
    }
}

BOOL CSaveReportDlg::OnInitDialog()
{
    SetDlgItemTextW(m_hWnd, IDC_REPORT_TEXT, m_wstrText.c_str());
    // OK has the focus, so Enter closes; the text is not all selected.
    SetFocus(Item(IDOK));
    return FALSE;
}

INT_PTR CSaveReportDlg::OnMessage(UINT uMsg, WPARAM wParam, LPARAM)
{
    if (uMsg == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL))
    {
        EndDialog(LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}
