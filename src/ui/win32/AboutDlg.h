// The About box, template 100: the icon, the version line, one line of what
// the program does, and OK.
#pragma once

#include "ui/win32/DialogWindow.h"

class CAboutDlg : public CDialogWindow
{
public:
    explicit CAboutDlg(HWND hParent);

protected:
    INT_PTR OnMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
};
