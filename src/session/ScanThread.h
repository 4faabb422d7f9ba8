// The scan's worker thread as every front end runs it: what a press of the
// scan button does to it, its stop flag, and the events it hands to the
// thread that shows them (see ScanEvents.h). The front end hands over the
// tree's current partition at the press, posts itself a wake-up when events
// wait, and draws what DrainEvents tells it.
#pragma once

#include "session/ScanEvents.h"
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

    // The front end's thread will drain the events: fnWake is called on the
    // worker when events wait and no wake-up is pending.
    void OpenEvents(CScanEventQueue::FnWake fnWake);

    // A press of the scan button. pTarget is the tree's current partition,
    // null when there is none; a start copies it and runs pfnThread(pParam)
    // on a new thread, which calls Run.
    EScanPress Press(const CScanTarget* pTarget, LPTHREAD_START_ROUTINE pfnThread, LPVOID pParam);
    // The worker's scan, on the worker thread, into the event queue; its end
    // is its last event.
    void Run();
    // On the front end's thread after a wake-up: hands what the worker sent
    // to the view, dropping what an earlier scan still sent.
    void DrainEvents(IScanView& view);
    // The worker's last message arrived: waits for its thread to end. True
    // when the state changed, so the button is to be drawn again.
    bool Finished();
    // The window closes: no event is shown any more, a worker waiting for a
    // box goes on; then the worker is asked to stop and waited for.
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
    CScanEventQueue m_events;
    DWORD m_dwSerial;
    // What the press that started the worker found current in the tree.
    bool m_bHasTarget;
    CScanTarget m_target;
};
