#include "cli/Progress.h"

#include "session/SaveRun.h"

#include <algorithm>
#include <cstdio>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace
{

// The share done, 0 to 1: by bytes when their total is known, else by files.
double ShareDone(const CProgressFigures& f)
{
    if (f.m_n64BytesTotal)
        return f.m_n64Bytes >= f.m_n64BytesTotal ? 1.0 : double(f.m_n64Bytes) / double(f.m_n64BytesTotal);
    return f.m_nFiles ? double(std::min(f.m_nFilesDone, f.m_nFiles)) / double(f.m_nFiles) : 0.0;
}

}  // namespace

std::string DurationText(double dSeconds)
{
    const unsigned long long n = dSeconds > 0 && dSeconds < 1e9 ? static_cast<unsigned long long>(dSeconds + 0.5) : 0;
    char szText[32];
    if (n >= 3600)
        std::snprintf(szText, sizeof(szText), "%llu:%02llu:%02llu", n / 3600, n / 60 % 60, n % 60);
    else
        std::snprintf(szText, sizeof(szText), "%llu:%02llu", n / 60, n % 60);
    return szText;
}

std::string ProgressLine(const CProgressFigures& f, size_t nWidth)
{
    const double dShare = ShareDone(f);
    std::string strFigures = "  " + std::to_string(f.m_nFilesDone) + "/" + std::to_string(f.m_nFiles) +
                             " files  " + ByteCountText(f.m_n64Bytes);
    if (f.m_dSeconds >= 0.5)
    {
        strFigures += "  " + ByteCountText(static_cast<ULONGLONG>(double(f.m_n64Bytes) / f.m_dSeconds)) + "/s";
        // The time left once a little is done, so the first guess is not wild.
        if (dShare >= 0.01 && dShare < 1.0)
            strFigures += "  " + DurationText(f.m_dSeconds * (1.0 - dShare) / dShare) + " left";
    }
    // The bar takes what the figures leave, at least 10 columns.
    const size_t nBar = nWidth > strFigures.size() + 12 ? nWidth - strFigures.size() - 2 : 10;
    const size_t nFull = static_cast<size_t>(dShare * double(nBar));
    return "[" + std::string(nFull, '#') + std::string(nBar - nFull, '-') + "]" + strFigures;
}

bool StderrIsTerminal()
{
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}
