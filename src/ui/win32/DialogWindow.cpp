#include "ui/win32/DialogWindow.h"

CDialogWindow::CDialogWindow(UINT nTemplate, HWND hParent) : m_nTemplate(nTemplate), m_hParent(hParent)
{
}

HINSTANCE ResourceInstance()
{
    // The resources are linked into the program itself.
    return GetModuleHandleW(nullptr);
}

INT_PTR CDialogWindow::DoModal()
{
    return DialogBoxParamW(ResourceInstance(), MAKEINTRESOURCEW(m_nTemplate), m_hParent, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

HWND CDialogWindow::Create()
{
    return CreateDialogParamW(ResourceInstance(), MAKEINTRESOURCEW(m_nTemplate), m_hParent, DialogProc,
                              reinterpret_cast<LPARAM>(this));
}

void CDialogWindow::EndDialog(INT_PTR nResult)
{
    ::EndDialog(m_hWnd, nResult);
}

INT_PTR CDialogWindow::SetMessageResult(LONG_PTR nResult)
{
    SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, nResult);
    return TRUE;
}

INT_PTR CDialogWindow::OnMessage(UINT, WPARAM, LPARAM)
{
    return FALSE;
}

INT_PTR CALLBACK CDialogWindow::DialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    CDialogWindow* pDialog = nullptr;
    if (uMsg == WM_INITDIALOG)
    {
        pDialog = reinterpret_cast<CDialogWindow*>(lParam);
        SetWindowLongPtrW(hWnd, DWLP_USER, lParam);
        pDialog->m_hWnd = hWnd;
        return pDialog->OnInitDialog();
    }
    pDialog = reinterpret_cast<CDialogWindow*>(GetWindowLongPtrW(hWnd, DWLP_USER));
    // Messages before WM_INITDIALOG (WM_SETFONT, the creation messages) find no object yet.
    if (!pDialog)
        return FALSE;
    const INT_PTR nResult = pDialog->OnMessage(uMsg, wParam, lParam);
    if (uMsg == WM_NCDESTROY)
    {
        SetWindowLongPtrW(hWnd, DWLP_USER, 0);
        pDialog->m_hWnd = nullptr;
    }
    return nResult;
}
