// The window a long save shows: what is being saved, how far it got, and a
// button that cancels it. It appears only once a save has taken half a
// second, so short saves show nothing.
#pragma once

#include "ui/win32/DialogWindow.h"

#include <string>

class CSaveProgress : public CDialogWindow
{
public:
    explicit CSaveProgress(HWND hOwner);
    ~CSaveProgress() override;

    // strText: what the session says of the save (UTF-8); nPermille: 0 to 1000.
    void Update(const std::string& strText, int nPermille);
    bool Cancelled() const { return m_bCancelled; }

    static const DWORD kShowAfterMs = 500;

protected:
    BOOL OnInitDialog() override;
    INT_PTR OnMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

private:
    HWND m_hOwner;
    ULONGLONG m_qwStart;
    bool m_bCancelled = false;
};
