// The box a save of several rows ends with, titled "保存结果": its report in
// a read-only text that scrolls, and OK.
#pragma once

#include "ui/win32/DialogWindow.h"

#include <string>

class CSaveReportDlg : public CDialogWindow
{
public:
    CSaveReportDlg(HWND hParent, const std::string& strReport);

protected:
    BOOL OnInitDialog() override;
    INT_PTR OnMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

private:
    std::wstring m_wstrText;
};
