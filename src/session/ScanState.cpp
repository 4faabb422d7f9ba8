#include "session/ScanState.h"

#include <algorithm>

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

std::string ScanHintText(DWORD dwRecordsDone, DWORD dwRecords)
{
    if (dwRecords == 0)
        return "点击扫描文件后，请耐心等待";
    // Whole percents, never past 100: a walk may end before the table does.
    const ULONGLONG n64Percent =
        std::min<ULONGLONG>(100, static_cast<ULONGLONG>(dwRecordsDone) * 100 / dwRecords);
    return "正在扫描 " + std::to_string(n64Percent) + "%，请耐心等待";
}
