// The save of a selection, step by step, so that a front end keeps its window
// alive between the steps and can show how far it got: the entries are
// written in the order given, each streamed in pieces; the first failure ends
// the run with its code, and the files written before it stay. A step that
// finds the volume busy (a scan opening it) does nothing and is simply taken
// again. A cancel stops after the piece in hand and removes the file that
// was not finished; the files finished before it stay.
#pragma once

#include "session/ScanSession.h"

#include <string>
#include <vector>

class CSaveRun
{
public:
    CSaveRun(CScanSession& session, std::vector<DWORD> vecRecords, std::string strFolder);

    enum class EStep
    {
        eMore,       // call Step again
        eDone,       // every entry was written
        eFailed,     // Error() says why; the entries after it were not touched
        eCancelled,  // Cancel was asked; the unfinished file is gone
    };
    // Starts the next entry if the session can be had within dwWaitMs, or
    // writes the next piece of the entry in hand.
    EStep Step(DWORD dwWaitMs);
    void Cancel();

    DWORD Error() const { return m_dwError; }
    size_t Saved() const { return m_nNext; }
    size_t Count() const { return m_vecRecords.size(); }
    // The entry in hand: its name, and its bytes written and in all. Between
    // two entries, the one last finished, so that a progress window never
    // shows an empty name.
    const std::string& Name() const { return m_save ? m_save->Name() : m_last.m_strName; }
    ULONGLONG BytesDone() const { return m_save ? m_save->BytesDone() : m_last.m_n64Done; }
    ULONGLONG BytesTotal() const { return m_save ? m_save->BytesTotal() : m_last.m_n64Total; }
    // What a progress window says of it (UTF-8).
    std::string ProgressText() const;
    // Progress of the entry in hand, 0 to 1000.
    int Permille() const;

private:
    CScanSession& m_session;
    std::vector<DWORD> m_vecRecords;
    std::string m_strFolder;
    std::unique_ptr<CEntrySave> m_save;
    struct CShown
    {
        std::string m_strName;
        ULONGLONG m_n64Done = 0;
        ULONGLONG m_n64Total = 0;
        size_t m_nIndex = 0;
    };
    CShown m_last;  // the entry last finished
    size_t m_nNext = 0;
    DWORD m_dwError = 0;
    bool m_bCancelled = false;
};

// "1.5 MB", "640 KB", "12 bytes": decimal units, as the disks' sizes.
std::string ByteCountText(ULONGLONG n64Bytes);
