// What a save of several rows says at its end: how many files were saved and
// how many bytes, and one line for each file saved under another name, saved
// with bytes that could not be read (written as zeros), saved although its
// clusters now hold other data in part or whole, or not saved and why;
// whether the run stopped early. At most kMaxLines lines are kept, then
// "…", so a million failing rows cost no more than a few hundred. Texts are
// UTF-8; the reasons are the program's sentences for the codes.
#pragma once

#include "platform/Win32.h"

#include <string>
#include <vector>

class CSaveReport
{
public:
    void AddSaved(ULONGLONG n64Bytes);
    // strWhat names the row: its folder and name ("\a\report.txt").
    void AddRenamed(const std::string& strWhat, const std::string& strSavedAs);
    void AddUnreadable(const std::string& strWhat, ULONGLONG n64Bytes);
    void AddNotSaved(const std::string& strWhat, DWORD dwCode);
    // A saved file whose clusters other files hold now: all of them
    // (bWhole), or all but byFreePercent of them.
    void AddOverwritten(const std::string& strWhat, bool bWhole, BYTE byFreePercent);
    // The run ended before its end: at strWhat for dwCode, or cancelled;
    // nNotTried files were not reached.
    void SetStopped(const std::string& strWhat, DWORD dwCode, size_t nNotTried);
    void SetCancelled(size_t nNotTried);

    size_t Saved() const { return m_nSaved; }
    ULONGLONG BytesSaved() const { return m_n64Bytes; }
    size_t Renamed() const { return m_nRenamed; }
    size_t WithUnreadable() const { return m_nUnreadable; }
    ULONGLONG UnreadableBytes() const { return m_n64Unreadable; }
    size_t NotSaved() const { return m_nNotSaved; }
    size_t Overwritten() const { return m_nOverwritten; }
    DWORD StopCode() const { return m_dwStopCode; }
    bool Cancelled() const { return m_bCancelled; }
    const std::vector<std::string>& Lines() const { return m_vecLines; }

    // A file not saved, bytes that could not be read, a file saved with
    // other files' data in it, or a stop.
    bool HasProblems() const { return m_nNotSaved || m_nUnreadable || m_nOverwritten || m_dwStopCode; }
    bool HasAnythingToSay() const { return HasProblems() || m_nRenamed; }
    // The whole report, as the box shows it and the file holds it.
    std::string Text() const;

    static const size_t kMaxLines = 300;
    static const char* const kTitle;     // "保存结果"
    static const char* const kFileName;  // "保存结果.txt"

private:
    void AddLine(std::string strLine);

    size_t m_nSaved = 0;
    ULONGLONG m_n64Bytes = 0;
    size_t m_nRenamed = 0;
    size_t m_nUnreadable = 0;
    ULONGLONG m_n64Unreadable = 0;
    size_t m_nNotSaved = 0;
    size_t m_nOverwritten = 0;
    DWORD m_dwStopCode = 0;
    std::string m_strStopWhere;
    bool m_bCancelled = false;
    size_t m_nNotTried = 0;
    std::vector<std::string> m_vecLines;
    size_t m_nLinesLeftOut = 0;
};

// The program's sentence for a code, on one line.
std::string ReasonText(DWORD dwCode);
