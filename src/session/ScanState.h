// Where a scan stands, as a value. The scan button's caption and whether it
// can be pressed follow from it; the front ends draw it and forward presses.
#pragma once

#include "platform/Win32.h"

#include <string>

enum class EScanState
{
    eIdle,      // "扫描文件": a press starts a scan
    eRunning,   // "停止扫描": a worker was started; a press asks it to stop
    eStopping,  // "停滞中...": a stop was asked while the worker still ran
    eFinished,  // "搜索结束": the worker has ended; a press returns to idle
};

// What the front end does for a press of the scan button.
enum class EScanPress
{
    eStartScan,     // clear the stop flag, start a worker
    eAskStop,       // set the stop flag; the worker ends on its own
    eReturnToIdle,  // set the stop flag, release the ended worker's handle
};

const char* ScanButtonText(EScanState eState);  // UTF-8
bool ScanButtonEnabled(EScanState eState);

// The hint line, UTF-8: what to do while no scan runs (dwRecords 0), and
// while one runs the share of the table read so far, so that a long scan on
// a slow disk visibly moves.
std::string ScanHintText(DWORD dwRecordsDone, DWORD dwRecords);

class CScanStateMachine
{
public:
    EScanState State() const { return m_eState; }
    // A press of the button. bWorkerRunning: the worker of the last start has
    // not finished yet.
    EScanPress Press(bool bWorkerRunning);
    // The worker's thread has finished. False when nothing changes: its end
    // arrived after a press had already returned the button to idle.
    bool WorkerEnded();

private:
    EScanState m_eState = EScanState::eIdle;
};
