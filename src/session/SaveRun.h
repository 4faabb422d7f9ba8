// The save of a selection, step by step, for any front end (a window, a
// command line): the run keeps no toolkit and never blocks for long, so the
// caller answers its user between the steps and shows how far it got.
//
//   CSaveRun run(session, CSavePlan(store, vecRows, ESaveMode::eFolders), strFolder);
//   while (run.Step(20) == CSaveRun::EStep::eMore)
//       show run.ProgressText() and run.Permille(); call run.Cancel() on request;
//   then run.Outcome() says what to show, run.Report() holds it all.
//
// What a run promises:
// - Its first step binds it to the volume the session has open then: a
//   handle and a twin of its file system of its own (CSaveVolume), so a scan started during
//   the save, of this partition or another, changes nothing it writes.
//   While a scan opens a volume a step waits at most dwWaitMs and does
//   nothing (eMore).
// - Items are saved in the plan's order, each under a free name
//   (SaveTargets.h): nothing written earlier in the same save is ever
//   replaced. A row that cannot be saved (its record or pieces cannot be
//   read, a file of its name is read-only, ...) is recorded with its reason
//   and the run goes on; bytes that cannot be read are zeros in the saved
//   file (SaveEntry.h), which is counted as saved with unreadable parts.
// - Only what makes every later file fail too ends the run at once
//   (eStopped): the destination full, write-protected, not writable or gone,
//   or the source disk gone. The files written before stay.
// - A cancel stops after the piece in hand and removes the file it had not
//   finished (eCancelled).
// - At the end, when a save of several files had any problem, the report is
//   written beside them as "保存结果.txt" (UTF-8), under a name that
//   replaces nothing.
#pragma once

#include "session/SavePlan.h"
#include "session/SaveReport.h"
#include "session/ScanSession.h"

#include <memory>
#include <string>

class CSaveTargets;

// What a window shows once a save has ended.
struct CSaveOutcome
{
    enum EKind
    {
        eQuiet,      // nothing to say
        eErrorBox,   // one code in the "GetLastError" box: a save of one file that failed
        eReportBox,  // the report in a box titled "保存结果"
    };
    EKind m_eKind = eQuiet;
    DWORD m_dwCode = 0;
    std::string m_strReport;
};

class CSaveRun
{
public:
    CSaveRun(CScanSession& session, CSavePlan plan, std::string strFolder);
    ~CSaveRun();
    CSaveRun(const CSaveRun&) = delete;
    CSaveRun& operator=(const CSaveRun&) = delete;

    enum class EStep
    {
        eMore,       // call Step again
        eDone,       // every item was tried; Report() says how it went
        eStopped,    // ended early: Report().StopCode() says why
        eCancelled,  // Cancel was asked; the unfinished file is gone
    };
    EStep Step(DWORD dwWaitMs);
    void Cancel();
    // The report file is written for a save of one file too (a command line,
    // whose report scrolls away, wants it whenever anything went wrong).
    void KeepReportOfOne() { m_bReportOfOne = true; }

    const CSaveReport& Report() const { return m_report; }
    // After the end: what to show, and where the report file went ("" when
    // none was written).
    CSaveOutcome Outcome() const;
    const std::string& ReportPath() const { return m_strReportPath; }

    // The file in hand (between two, the one last finished): its name, its
    // bytes written and in all; and which file of how many it is.
    const std::string& Name() const { return m_strShownName; }
    ULONGLONG BytesDone() const;
    ULONGLONG BytesTotal() const;
    size_t FileNumber() const { return m_nFilesStarted; }
    size_t FileCount() const { return m_plan.FileCount(); }
    // What a progress window says (UTF-8), and how far the save got, 0 to 1000.
    std::string ProgressText() const;
    int Permille() const;

    // How long one step may wait for the session while a scan opens a volume.
    static const DWORD kStepWaitMs = 20;

private:
    DWORD Bind(DWORD dwWaitMs, bool& bBusy);
    void StartItem();
    void StepEntry();
    void FolderItem(const CEntryDescription& desc);
    void Finished();
    void Failed(DWORD dwCode, CEntrySave::ESide eSide, bool bFile = true);
    void Stop(DWORD dwCode);
    EStep End(EStep eEnd);
    void WriteReportFile();
    // The row in hand as the report names it: "\a\report.txt", "记录 42".
    std::string What();

    CScanSession& m_session;
    CSavePlan m_plan;
    std::string m_strFolder;
    std::unique_ptr<CSaveVolume> m_pVolume;
    std::unique_ptr<CSaveTargets> m_pTargets;
    std::unique_ptr<CEntrySave> m_pSave;
    CSaveReport m_report;
    // The item in hand.
    size_t m_nNext = 0;
    DWORD m_dwRecord = 0;
    CEntryDescription m_desc;
    bool m_bHaveDetails = false;
    std::string m_strSavedAs;  // its path below the chosen folder
    // What the progress shows.
    std::string m_strShownName;
    ULONGLONG m_n64ShownDone = 0;
    ULONGLONG m_n64ShownTotal = 0;
    size_t m_nFilesStarted = 0;
    size_t m_nFilesEnded = 0;
    DWORD m_dwFirstError = 0;
    bool m_bBound = false;
    bool m_bCancelled = false;
    bool m_bEnded = false;
    EStep m_eEnd = EStep::eDone;
    std::string m_strReportPath;
    DWORD m_dwReportError = 0;
    bool m_bReportOfOne = false;
};

// "1.5 MB", "640 KB", "12 bytes": decimal units, as the disks' sizes.
std::string ByteCountText(ULONGLONG n64Bytes);

// Whether saving into strFolder would write to the disk the session's volume
// is read from: the source is a disk device (not an image file) and the
// folder lies on a partition of that disk. Asked once, before a save.
bool DestinationOnSourceDisk(const CScanSession& session, const std::string& strFolder);
// What a window asks the user then (UTF-8); a yes goes on.
const char* SameDiskWarningText();
