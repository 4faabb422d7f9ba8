#include "session/ScanState.h"

#include <algorithm>

namespace
{

// Whole percents, never past 100: a walk may end before the table does.
std::string Percent(DWORD dwDone, DWORD dwTotal)
{
    if (dwTotal == 0)
        return "0%";
    const ULONGLONG n64Percent =
        std::min<ULONGLONG>(100, static_cast<ULONGLONG>(dwDone) * 100 / dwTotal);
    return std::to_string(n64Percent) + "%";
}

}  // namespace

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

int PressesToStart(EScanState eState)
{
    switch (eState)
    {
    case EScanState::eIdle: return 1;
    case EScanState::eFinished: return 2;
    default: return 0;
    }
}

EScanPress CScanStateMachine::Press(bool bWorkerRunning, bool bHasTarget)
{
    if (m_eState == EScanState::eIdle)
    {
        if (!bHasTarget)
            return EScanPress::eNoTarget;
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

const char* ReadyHint()
{
    return "点击扫描文件后，请耐心等待";
}

const char* NoPartitionHint()
{
    return "请先选择一个分区";
}

std::string ScanHintText(DWORD dwRecordsDone, DWORD dwRecords)
{
    if (dwRecords == 0)
        return ReadyHint();
    return "正在扫描 " + Percent(dwRecordsDone, dwRecords) + "，请耐心等待";
}

std::string ScanEndHint(const CScanEnd& end)
{
    // A partition that holds no volume the scan reads was the wrong choice:
    // the box has said why, the hint says what to do.
    if (end.m_bNoTarget || (end.m_dwCode == ERROR_INVALID_DRIVE && end.m_dwRows == 0))
        return NoPartitionHint();
    // The box has said what failed; the hint says what is left of the list.
    if (end.m_dwCode != 0)
        return "扫描出错：已列出 " + std::to_string(end.m_dwRows) + " 条记录";
    // The list is whole without the map; only its states are not known.
    const std::string strMap = end.m_dwMapCode != 0 && end.m_dwMapCode != ERROR_OPERATION_ABORTED && end.m_dwRows != 0
                                   ? std::string("\n") + NoMapHint() : "";
    if (end.m_bStopped)
        return "已停止：读到表的 " + Percent(end.m_dwRecordsDone, end.m_dwRecords) + strMap;
    return "扫描完成：" + std::to_string(end.m_dwRows) + " 条记录" + strMap;
}

const char* NoMapHint()
{
    return "簇位图无法读取，状态显示为“未知”";
}

bool PressHint(EScanPress ePress, std::string& strHint)
{
    if (ePress == EScanPress::eStartScan)
        strHint = ScanHintText(0, 1);
    else if (ePress == EScanPress::eNoTarget)
        strHint = NoPartitionHint();
    else
        return false;
    return true;
}

const char* CloseQuestion(size_t nRowsListed)
{
    return nRowsListed > 0 ? "关闭窗口将丢失扫描结果，确定退出吗？" : nullptr;
}
