// Where a scan stands, as a value. The scan button's caption and whether it
// can be pressed follow from it, and so does every text the hint line shows;
// the front ends draw them and forward presses.
#pragma once

#include "platform/Win32.h"

#include <cstddef>
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
    eNoTarget,      // idle, and no partition chosen: nothing changes but the hint
};

const char* ScanButtonText(EScanState eState);  // UTF-8
bool ScanButtonEnabled(EScanState eState);
// How many presses of the button start a scan from this state, as Enter on
// a partition of the tree does: 1 when idle, 2 after an end (the first
// returns to idle), 0 while a worker runs.
int PressesToStart(EScanState eState);

// How a scan's worker ended, as the hint line tells it.
struct CScanEnd
{
    bool m_bNoTarget = false;  // nothing was chosen to scan
    bool m_bStopped = false;   // a stop ended it
    DWORD m_dwCode = 0;        // the failure reported, or 0
    DWORD m_dwRows = 0;        // rows listed
    DWORD m_dwRecordsDone = 0; // records of the table looked at
    DWORD m_dwRecords = 0;     // records in the table (0: it was never opened)
    DWORD m_dwMapCode = 0;     // why the allocation map could not be read, or 0
};

// The hint line, UTF-8. Before any scan: what to do.
const char* ReadyHint();
// A press with no partition chosen, or a partition the scan cannot read.
const char* NoPartitionHint();
// While a scan runs: the share of the table read so far, so that a long scan
// on a slow disk visibly moves. dwRecords 0: the ready hint.
std::string ScanHintText(DWORD dwRecordsDone, DWORD dwRecords);
// Once the worker has ended: whether the list is whole, and if not how far
// the scan got; a second line when the states could not be worked out.
std::string ScanEndHint(const CScanEnd& end);
// That second line.
const char* NoMapHint();

// The hint a press of the scan button leaves: true, with the text, when the
// press changes it (a start or a press with nothing chosen); false when the
// hint stays as it was.
bool PressHint(EScanPress ePress, std::string& strHint);

// Closing the window loses the listing: the question to ask first, yes or
// no, while nRowsListed rows are listed; null when it closes at once.
const char* CloseQuestion(size_t nRowsListed);

class CScanStateMachine
{
public:
    EScanState State() const { return m_eState; }
    // A press of the button. bWorkerRunning: the worker of the last start has
    // not finished yet. bHasTarget: a partition is chosen in the tree.
    EScanPress Press(bool bWorkerRunning, bool bHasTarget = true);
    // The worker's thread has finished. False when nothing changes: its end
    // arrived after a press had already returned the button to idle.
    bool WorkerEnded();

private:
    EScanState m_eState = EScanState::eIdle;
};
