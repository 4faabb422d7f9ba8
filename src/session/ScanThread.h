// The scan's worker thread as both windows run it: what a press of the scan
// button does to it, its stop flag, and which scan the worker's messages
// belong to. The window hands over the tree's current partition at the
// press and a sink in the worker, and draws what it is told.
#pragma once

#include "session/ScanSession.h"
#include "session/ScanState.h"

#include <atomic>

class CScanThread
{
public:
    explicit CScanThread(CScanSession& session);
    // Stops the worker and waits for it, if the window has not already.
    ~CScanThread();
    CScanThread(const CScanThread&) = delete;
    CScanThread& operator=(const CScanThread&) = delete;

    // A press of the scan button. pTarget is the tree's current partition,
    // null when there is none; a start copies it and runs pfnThread(pParam)
    // on a new thread, which calls Run.
    EScanPress Press(const CScanTarget* pTarget, LPTHREAD_START_ROUTINE pfnThread, LPVOID pParam);
    // The worker's scan, on the worker thread, into the window's sink.
    void Run(IScanSink& sink);
    // The worker's last message arrived: waits for its thread to end. True
    // when the state changed, so the button is to be drawn again.
    bool Finished();
    // The window closes: asks the worker to stop and waits for it.
    void StopAndWait();

    EScanState State() const { return m_state.State(); }
    // The number of the last started scan; what an earlier one still sends is stale.
    DWORD Serial() const { return m_dwSerial; }

    // Read by tests: the worker's handle (null when none runs or it was
    // released) and the flag it reads between records.
    HANDLE m_hWorker;
    std::atomic<BYTE> m_bStop;

private:
    CScanSession& m_session;
    CScanStateMachine m_state;
    DWORD m_dwSerial;
    // What the press that started the worker found current in the tree.
    bool m_bHasTarget;
    CScanTarget m_target;
};
