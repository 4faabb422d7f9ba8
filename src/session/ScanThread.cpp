#include "session/ScanThread.h"

CScanThread::CScanThread(CScanSession& session)
    : m_hWorker(nullptr), m_bStop(1), m_session(session), m_dwSerial(0), m_bHasTarget(false)
{
}

CScanThread::~CScanThread()
{
    StopAndWait();
}

EScanPress CScanThread::Press(const CScanTarget* pTarget, LPTHREAD_START_ROUTINE pfnThread,
                              LPVOID pParam)
{
    DWORD dwExitCode = 0;
    const bool bWorkerRunning =
        m_hWorker && GetExitCodeThread(m_hWorker, &dwExitCode) && dwExitCode == STILL_ACTIVE;
    const EScanPress ePress = m_state.Press(bWorkerRunning);
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
    }
    return ePress;
}

void CScanThread::Run(IScanSink& sink)
{
    m_session.RunScan(m_bHasTarget ? &m_target : nullptr, m_bStop, sink);
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
    m_bStop = 1;
    if (m_hWorker)
    {
        WaitForSingleObject(m_hWorker, INFINITE);
        CloseHandle(m_hWorker);
        m_hWorker = nullptr;
    }
}
