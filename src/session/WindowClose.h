// A window's close, the same in every front end. Closing loses the listing,
// so the user is asked first (CloseQuestion); a yes holds until the window
// shows again, so that a close a save put off asks no more. A save in hand
// then holds the close until its step ends (CSaveGuard). Once both let it
// go, the front end stops the scan's worker and waits for it before the
// session's device goes:
//
//   if (!m_close.MayClose(nResult, nRowsListed, fnAsk, m_saveGuard)) return;
//   m_scan.StopAndWait();  close with nResult
#pragma once

#include "session/SaveLoop.h"

#include <cstddef>
#include <functional>

class CCloseConfirmation
{
public:
    // Shows the question (UTF-8) and returns true for yes.
    using FnAsk = std::function<bool(const char* pszQuestion)>;

    // True when the window may close now with nResult. False when the user
    // said no, or when a save holds the close (it follows once the save has
    // ended: CSaveGuard::TakeClose).
    bool MayClose(int nResult, size_t nRowsListed, const FnAsk& fnAsk, CSaveGuard& guard);
    // The window shows again: its next close asks again.
    void Reopen() { m_bConfirmed = false; }
    bool Confirmed() const { return m_bConfirmed; }

private:
    bool m_bConfirmed = false;
};
