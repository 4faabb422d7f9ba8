// Runs the Windows program's main dialog as the program runs it, modal on a
// thread of its own, and drives it from the test's thread the way a user's
// clicks and a screen reader would: with window messages only.
#pragma once

#include "ui/common/Resource.h"
#include "ui/win32/SalvixDlg.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CDialogRun
{
public:
    // Starts the dialog and waits until it shows its caption.
    CDialogRun();
    // Closes the dialog if it is still open and waits for its thread.
    ~CDialogRun();

    HWND Dialog() const { return m_hDialog; }
    HWND Item(int nId) const { return GetDlgItem(m_hDialog, nId); }
    DWORD ThreadId() const { return m_dwThreadId; }
    // The object itself, for what a window message cannot tell (the session).
    CSalvixDlg& Object() { return *m_pDlg; }
    // Waits for the modal run to return; false when it has not within dwMs.
    bool WaitClosed(DWORD dwMs);

    // The tree item with this text, from hFirst (the root) and below it; null when none.
    HTREEITEM FindTreeItem(const std::wstring& wstrText, HTREEITEM hFirst = nullptr) const;
    bool SelectPartition(const std::wstring& wstrText) const;
    std::wstring TreeText(HTREEITEM hItem) const;

    void PressScan() const;
    // Presses the scan button and waits for "搜索结束".
    bool ScanToEnd(DWORD dwMs = 30000) const;
    std::wstring ButtonText() const;
    bool ButtonEnabled() const { return IsWindowEnabled(Item(IDC_BUTTON_SCAN)) != FALSE; }

    // A key pressed and let go in a control, as the keyboard would send it.
    void Key(int nId, WPARAM wKey) const;
    std::wstring Hint() const;
    // A control's place in the dialog's client area.
    RECT Place(int nId) const;
    // The tip the tree shows for an item.
    std::wstring TreeTip(HTREEITEM hItem) const;

    int RowCount() const;
    std::wstring Cell(int nRow, int nColumn) const;
    int Counter(int nId) const;
    void SelectRows(const std::vector<int>& vecRows) const;

    // A top-level window of the dialog's thread with this caption, other
    // than hExcept, once it shows (a message box, the About box); null after dwMs.
    HWND WaitForWindow(const std::wstring& wstrCaption, DWORD dwMs = 10000, HWND hExcept = nullptr) const;

private:
    static DWORD WINAPI DialogThread(LPVOID pParam);

    std::unique_ptr<CSalvixDlg> m_pDlg;
    HANDLE m_hThread = nullptr;
    DWORD m_dwThreadId = 0;
    HWND m_hDialog = nullptr;
};

// Answers the dialog's questions (on its thread) and counts them.
class CQuestions
{
public:
    CQuestions();
    ~CQuestions();
    void Answer(bool bYes) { m_bAnswer = bYes; }
    int Count() const { return m_nAsked.load(); }
    std::wstring Last() const;

private:
    std::atomic<bool> m_bAnswer{true};
    std::atomic<int> m_nAsked{0};
    mutable std::mutex m_lock;
    std::wstring m_wstrLast;
};

// Polls fnDone every few milliseconds; false when it is still false after dwMs.
bool WaitUntil(const std::function<bool()>& fnDone, DWORD dwMs);
std::wstring WindowText(HWND hWindow);
std::vector<HWND> ChildWindows(HWND hWindow);
std::wstring Wide(const std::string& strUtf8);
// A name as the disk holds it (Latin-1 bytes), as the list shows it.
std::wstring WideFromLatin1(const std::string& str);
