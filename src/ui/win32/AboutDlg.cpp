#include "ui/win32/AboutDlg.h"

#include "ui/common/Resource.h"

CAboutDlg::CAboutDlg(HWND hParent) : CDialogWindow(IDD_ABOUTBOX, hParent) {}

INT_PTR CAboutDlg::OnMessage(UINT uMsg, WPARAM wParam, LPARAM)
{
    // Everything else is in the template. OK, Enter, Esc and Close end the box.
    if (uMsg == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL))
    {
        EndDialog(LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}
