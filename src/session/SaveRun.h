// The save of a selection, step by step, so that a front end keeps its window
// alive between the steps: the entries are written in the order given, the
// first failure ends the run with its code, and the files written before it
// stay. A step that finds the volume busy (a scan opening it) does nothing
// and is simply taken again.
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
        eMore,    // call Step again
        eDone,    // every entry was written
        eFailed,  // Error() says why; the entries after it were not touched
    };
    // Saves the next entry if the session can be had within dwWaitMs.
    EStep Step(DWORD dwWaitMs);

    DWORD Error() const { return m_dwError; }
    size_t Saved() const { return m_nNext; }
    size_t Count() const { return m_vecRecords.size(); }

private:
    CScanSession& m_session;
    std::vector<DWORD> m_vecRecords;
    std::string m_strFolder;
    size_t m_nNext = 0;
    DWORD m_dwError = 0;
};
