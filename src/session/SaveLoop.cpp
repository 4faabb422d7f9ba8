#include "session/SaveLoop.h"

bool CSaveGuard::MayClose(int nResult)
{
    if (!m_bSaving)
        return true;
    m_bCloseWaiting = true;
    m_nCloseResult = nResult;
    return false;
}

bool CSaveGuard::TakeClose(int& nResult)
{
    if (!m_bCloseWaiting || m_bSaving)
        return false;
    m_bCloseWaiting = false;
    nResult = m_nCloseResult;
    return true;
}

CSaveOutcome RunSaveLoop(CSaveRun& run, ISaveWindow& window, CSaveGuard& guard)
{
    guard.m_bSaving = true;
    // The window keeps answering between the steps: a scan opening a large
    // volume may hold the session for a while, and a large file takes long.
    while (run.Step(CSaveRun::kStepWaitMs) == CSaveRun::EStep::eMore)
    {
        window.ShowProgress(run.ProgressText(), run.Permille());
        window.Pump();
        if (window.CancelAsked() || guard.m_bCloseWaiting)
            run.Cancel();
    }
    guard.m_bSaving = false;
    return run.Outcome();
}
