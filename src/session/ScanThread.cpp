#include "session/ScanThread.h"

#include "session/Messages.h"

namespace
{

// The session's output, queued in order under the scan's number; what the
// worker last said of its rows and progress makes the end's report.
class CQueueSink : public IScanSink
{
public:
    CQueueSink(CScanEventQueue& events, DWORD dwSerial) : m_events(events), m_dwSerial(dwSerial) {}

    void OnCleared() override { m_events.Post(Event(CScanEvent::eCleared)); }
    void OnRows(CRowBatch&& batch, DWORD dwTotal, DWORD dwDeleted) override
    {
        m_end.m_dwRows = dwTotal;
        CScanEvent event = Event(CScanEvent::eRows);
        event.m_batch = std::move(batch);
        event.m_dwTotal = dwTotal;
        event.m_dwDeleted = dwDeleted;
        m_events.Post(std::move(event));
    }
    void OnError(DWORD dwCode) override { m_events.PostErrorAndWait(m_dwSerial, dwCode); }
    void OnUnreadRecords(DWORD dwCount) override
    {
        if (dwCount != 0)
            m_events.PostErrorAndWait(m_dwSerial, ERROR_READ_FAULT, UnreadRecordsText(dwCount));
    }
    void OnProgress(DWORD dwRecordsDone, DWORD dwRecords) override
    {
        m_end.m_dwRecordsDone = dwRecordsDone;
        m_end.m_dwRecords = dwRecords;
        CScanEvent event = Event(CScanEvent::eProgress);
        event.m_dwRecordsDone = dwRecordsDone;
        event.m_dwRecords = dwRecords;
        m_events.Post(std::move(event));
    }

    void PostEnd(const CScanEnd& end)
    {
        CScanEvent event = Event(CScanEvent::eFinished);
        event.m_end = end;
        event.m_end.m_dwRows = m_end.m_dwRows;
        event.m_end.m_dwRecordsDone = m_end.m_dwRecordsDone;
        event.m_end.m_dwRecords = m_end.m_dwRecords;
        m_events.Post(std::move(event));
    }

private:
    CScanEvent Event(CScanEvent::EKind eKind) const
    {
        CScanEvent event;
        event.m_eKind = eKind;
        event.m_dwSerial = m_dwSerial;
        return event;
    }

    CScanEventQueue& m_events;
    DWORD m_dwSerial;
    CScanEnd m_end;
};

}  // namespace

CScanThread::CScanThread(CScanSession& session)
    : m_hWorker(nullptr), m_bStop(1), m_session(session), m_dwSerial(0), m_bHasTarget(false)
{
}

CScanThread::~CScanThread()
{
    StopAndWait();
}

void CScanThread::OpenEvents(CScanEventQueue::FnWake fnWake)
{
    m_events.Open(std::move(fnWake));
}

EScanPress CScanThread::Press(const CScanTarget* pTarget, LPTHREAD_START_ROUTINE pfnThread,
                              LPVOID pParam)
{
    DWORD dwExitCode = 0;
    const bool bWorkerRunning =
        m_hWorker && GetExitCodeThread(m_hWorker, &dwExitCode) && dwExitCode == STILL_ACTIVE;
    const EScanPress ePress = m_state.Press(bWorkerRunning, pTarget != nullptr);
    switch (ePress)
    {
    case EScanPress::eStartScan:
        m_bStop = 0;
        // The worker touches no control: it gets the partition now.
        m_bHasTarget = pTarget != nullptr;
        m_target = pTarget ? *pTarget : CScanTarget();
        ++m_dwSerial;
        m_hWorker = CreateThread(nullptr, 0, pfnThread, pParam, 0, nullptr);
        break;
    case EScanPress::eAskStop:
        m_bStop = 1;
        break;
    case EScanPress::eReturnToIdle:
        m_bStop = 1;
        if (m_hWorker)
            CloseHandle(m_hWorker);
        m_hWorker = nullptr;
        break;
    case EScanPress::eNoTarget:
        break;
    }
    return ePress;
}

void CScanThread::Run()
{
    // Set by the press that started this worker, before the thread existed.
    CQueueSink sink(m_events, m_dwSerial);
    CScanEnd end;
    end.m_bNoTarget = !m_bHasTarget;
    end.m_dwCode = m_session.RunScan(m_bHasTarget ? &m_target : nullptr, m_bStop, sink);
    end.m_bStopped = end.m_dwCode == 0 && m_bStop.load() != 0;
    end.m_dwMapCode = m_session.ClusterMapCode();
    sink.PostEnd(end);
}

void CScanThread::DrainEvents(IScanView& view)
{
    for (CScanEvent& event : m_events.Take())
    {
        // A box may have closed the window: nothing more is shown.
        if (m_events.Closed())
            return;
        // There is only ever one worker: its error is the current scan's, and
        // it waits for the box whatever else happens.
        if (event.m_eKind == CScanEvent::eError)
        {
            view.ShowError(event.m_dwCode, event.m_strText);
            m_events.ErrorShown();
            continue;
        }
        if (event.m_dwSerial != m_dwSerial)
            continue;
        switch (event.m_eKind)
        {
        case CScanEvent::eCleared: view.ShowCleared(); break;
        case CScanEvent::eRows:
            view.ShowRows(std::move(event.m_batch), event.m_dwTotal, event.m_dwDeleted);
            break;
        case CScanEvent::eProgress: view.ShowProgress(event.m_dwRecordsDone, event.m_dwRecords); break;
        case CScanEvent::eFinished:
            Finished();
            view.ShowEnd(event.m_end);
            break;
        default: break;
        }
    }
}

bool CScanThread::Finished()
{
    // The end is shown only once the thread has really ended, so that the
    // next press finds it ended and the button cannot stay disabled. The
    // worker sends its end as its last act, so the wait is short.
    if (m_hWorker)
        WaitForSingleObject(m_hWorker, INFINITE);
    return m_state.WorkerEnded();
}

void CScanThread::StopAndWait()
{
    // Closed first: a worker waiting for its box must not hold the close.
    m_events.Close();
    m_bStop = 1;
    if (m_hWorker)
    {
        WaitForSingleObject(m_hWorker, INFINITE);
        CloseHandle(m_hWorker);
        m_hWorker = nullptr;
    }
}
