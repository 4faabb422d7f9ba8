// What both windows do around a save, in one place: the loop that steps a
// CSaveRun with the window kept answering between the steps, and the guard
// that holds a close asked for meanwhile until the step in hand is over. A
// front end only draws: it implements ISaveWindow and shows the outcome.
//
//   if (!m_guard.MayClose(nResult)) return;   // in the window's close
//   ...
//   CSaveRun run(...);
//   const CSaveOutcome outcome = RunSaveLoop(run, window, m_guard);
//   show outcome; if (m_guard.TakeClose(nResult)) close with nResult;
#pragma once

#include "session/SaveRun.h"

class ISaveWindow
{
public:
    virtual ~ISaveWindow() = default;
    // Shows how far the save got: its text (UTF-8) and 0 to 1000.
    virtual void ShowProgress(const std::string& strText, int nPermille) = 0;
    // Lets the window answer its user for a moment.
    virtual void Pump() = 0;
    // Whether the user asked the save to stop.
    virtual bool CancelAsked() = 0;
};

class CSaveGuard
{
public:
    bool Saving() const { return m_bSaving; }
    // The window asks to close with nResult. True: it may close now.
    // False: a save runs; it is cancelled after the step in hand, and the
    // window closes once it has ended (TakeClose).
    bool MayClose(int nResult);
    // After a save: true, with the result, when a close waits.
    bool TakeClose(int& nResult);

private:
    friend CSaveOutcome RunSaveLoop(CSaveRun& run, ISaveWindow& window, CSaveGuard& guard);
    bool m_bSaving = false;
    bool m_bCloseWaiting = false;
    int m_nCloseResult = 0;
};

// Steps the run to its end, drawing and pumping between the steps; a cancel
// asked in the window, or a close, cancels it. Returns what to show.
CSaveOutcome RunSaveLoop(CSaveRun& run, ISaveWindow& window, CSaveGuard& guard);
