// What a scan's worker hands to the thread that shows it, the same for every
// front end:
// - events travel in the order the worker sent them, and one wake-up stands
//   for everything queued until the events are taken;
// - each event carries the number of the scan that sent it, so that what an
//   earlier scan still sends is dropped (CScanThread::DrainEvents);
// - an error waits in the worker until its box was shown and closed, or the
//   queue closed (the window is going: no box shows any more);
// - a closed queue drops what waits and whatever comes.
// No toolkit: a window's wake-up posts itself a message, a command line's
// signals a condition it waits on.
#pragma once

#include "fs/Rows.h"
#include "session/ScanState.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

struct CScanEvent
{
    enum EKind
    {
        eCleared,   // a partition is about to be read: the list is emptied
        eRows,      // rows and the counters after them
        eProgress,  // how far the walk got through the table
        eError,     // a box to show; the worker waits for it
        eFinished,  // the worker's last act
    };
    EKind m_eKind = eCleared;
    DWORD m_dwSerial = 0;
    CRowBatch m_batch;
    DWORD m_dwTotal = 0;
    DWORD m_dwDeleted = 0;
    DWORD m_dwRecordsDone = 0;
    DWORD m_dwRecords = 0;
    DWORD m_dwCode = 0;
    std::string m_strText;  // an error's sentence, when not its code's own
    CScanEnd m_end;
};

// What a front end draws of a scan, called on the thread that drains the
// events, in order, for the current scan only.
class IScanView
{
public:
    virtual ~IScanView() = default;
    virtual void ShowCleared() = 0;
    virtual void ShowRows(CRowBatch&& batch, DWORD dwTotal, DWORD dwDeleted) = 0;
    virtual void ShowProgress(DWORD dwRecordsDone, DWORD dwRecords) = 0;
    // The worker waits until this returns. strText, when not empty, is shown
    // instead of the code's own sentence.
    virtual void ShowError(DWORD dwCode, const std::string& strText) = 0;
    // The worker has ended (its thread too) and the button's state follows.
    virtual void ShowEnd(const CScanEnd& end) = 0;
};

class CScanEventQueue
{
public:
    // Called by the worker when something is queued and no wake-up is
    // pending; true when the wake-up was posted.
    using FnWake = std::function<bool()>;

    // Opens the queue to the thread that drains it.
    void Open(FnWake fnWake);
    // Closes it: drops what waits, releases a worker waiting for a box.
    void Close();

    // Worker side.
    void Post(CScanEvent&& event);
    // Queues the error and returns once it was shown, or the queue closed.
    void PostErrorAndWait(DWORD dwSerial, DWORD dwCode, const std::string& strText = std::string());

    // The draining side: everything queued, in order; the next event posts
    // a new wake-up.
    std::deque<CScanEvent> Take();
    // An error taken from the queue was shown (or dropped): its worker goes on.
    void ErrorShown();
    bool Closed();

private:
    void PostLocked(CScanEvent&& event);

    std::mutex m_lock;
    std::condition_variable m_cvShown;
    std::deque<CScanEvent> m_queEvents;
    FnWake m_fnWake;
    bool m_bWakePending = false;
    bool m_bClosed = true;
    DWORD m_dwErrorsAsked = 0;
    DWORD m_dwErrorsShown = 0;
};
