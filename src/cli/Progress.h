// The progress line a save shows on standard error when that is a terminal:
// files and bytes done, the rate and the time left, redrawn in place.
#pragma once

#include "platform/Win32.h"

#include <string>

struct CProgressFigures
{
    size_t m_nFilesDone = 0;
    size_t m_nFiles = 0;
    ULONGLONG m_n64Bytes = 0;
    ULONGLONG m_n64BytesTotal = 0;  // 0 when not known: the time left follows the files
    double m_dSeconds = 0;          // since the save began
};

// One line, at most nWidth columns: "[#####-----]  3/10 files  1.5 MB  2.0 MB/s  0:04 left".
std::string ProgressLine(const CProgressFigures& figures, size_t nWidth = 79);

// "0:42", "1:02:03".
std::string DurationText(double dSeconds);

// True when standard error is a terminal (a console on Windows).
bool StderrIsTerminal();
