// A dialog made from a template in the program's resources, modal or not,
// with its messages handed to one member function: the little of a dialog
// framework the program needs, over the plain Win32 dialog manager.
#pragma once

#include "platform/Win32.h"

class CDialogWindow
{
public:
    CDialogWindow(UINT nTemplate, HWND hParent);
    virtual ~CDialogWindow() = default;
    CDialogWindow(const CDialogWindow&) = delete;
    CDialogWindow& operator=(const CDialogWindow&) = delete;

    // Creates the window from the template and runs it until EndDialog; the
    // value given to EndDialog, or -1 when the window could not be made.
    INT_PTR DoModal();
    // Creates the window from the template, modeless; its owner's message
    // loop carries its messages. Null when it could not be made.
    HWND Create();

    HWND m_hWnd = nullptr;

protected:
    virtual BOOL OnInitDialog() { return TRUE; }
    // One message of the window. Returns what the dialog procedure returns:
    // FALSE leaves the message to the dialog manager.
    virtual INT_PTR OnMessage(UINT uMsg, WPARAM wParam, LPARAM lParam);

    void EndDialog(INT_PTR nResult);
    HWND Item(int nId) const { return GetDlgItem(m_hWnd, nId); }
    // Answers a message whose result travels in DWLP_MSGRESULT (WM_NOTIFY, WM_SETCURSOR).
    INT_PTR SetMessageResult(LONG_PTR nResult);

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

    UINT m_nTemplate;
    HWND m_hParent;
};

// The module whose resources the dialogs, icon, menu and strings come from.
HINSTANCE ResourceInstance();
