#include "session/ScanState.h"

const char* ScanButtonText(EScanState eState)
{
    switch (eState)
    {
    case EScanState::eRunning: return "停止扫描";
    case EScanState::eStopping: return "停滞中...";
    case EScanState::eFinished: return "搜索结束";
    case EScanState::eIdle:
    default: return "扫描文件";
    }
}

bool ScanButtonEnabled(EScanState eState)
{
    return eState != EScanState::eStopping;
}

EScanPress CScanStateMachine::Press(bool bWorkerRunning)
{
    if (m_eState == EScanState::eIdle)
    {
        m_eState = EScanState::eRunning;
        return EScanPress::eStartScan;
    }
    if (m_eState != EScanState::eFinished && bWorkerRunning)
    {
        m_eState = EScanState::eStopping;
        return EScanPress::eAskStop;
    }
    m_eState = EScanState::eIdle;
    return EScanPress::eReturnToIdle;
}

bool CScanStateMachine::WorkerEnded()
{
    if (m_eState != EScanState::eRunning && m_eState != EScanState::eStopping)
        return false;
    m_eState = EScanState::eFinished;
    return true;
}
