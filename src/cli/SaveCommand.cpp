// The glue between the command line and the session's save: the plan made
// from the chosen rows, the run stepped to its end with a progress line on a
// terminal, and the report printed (and kept beside the files when anything
// went wrong).
#include "cli/SaveCommand.h"

#include "cli/Cli.h"
#include "cli/OutputCheck.h"
#include "cli/Progress.h"
#include "session/SaveRun.h"

#include <chrono>

namespace
{

// The progress line, redrawn at most ten times a second, on a terminal only.
class CProgressShown
{
public:
    CProgressShown() : m_bShown(StderrIsTerminal()), m_timeStart(std::chrono::steady_clock::now()) {}
    ~CProgressShown()
    {
        if (m_bShown)
            std::fprintf(stderr, "\r%79s\r", "");
    }
    void Show(const CSaveRun& run)
    {
        const auto timeNow = std::chrono::steady_clock::now();
        if (!m_bShown || timeNow - m_timeShown < std::chrono::milliseconds(100))
            return;
        m_timeShown = timeNow;
        CProgressFigures figures;
        figures.m_nFilesDone = run.FileNumber() ? run.FileNumber() - 1 : 0;
        figures.m_nFiles = run.FileCount();
        figures.m_n64Bytes = run.Report().BytesSaved() + run.BytesDone();
        figures.m_dSeconds = std::chrono::duration<double>(timeNow - m_timeStart).count();
        std::fprintf(stderr, "\r%s", ProgressLine(figures).c_str());
    }

private:
    bool m_bShown;
    std::chrono::steady_clock::time_point m_timeStart;
    std::chrono::steady_clock::time_point m_timeShown;
};

}  // namespace

int SaveRows(CScanSession& session, const CRowStore& store, const std::vector<size_t>& vecRows,
             const CSaveOptions& options)
{
    std::error_code ec;
    std::filesystem::create_directories(PathFromUtf8(options.m_strOutput), ec);
    CSaveRun run(session, CSavePlan(store, vecRows, options.m_bFolders ? ESaveMode::eFolders : ESaveMode::eFlat),
                 options.m_strOutput);
    run.KeepReportOfOne();
    CSaveRun::EStep eStep;
    {
        CProgressShown progress;
        while ((eStep = run.Step(INFINITE)) == CSaveRun::EStep::eMore)
            progress.Show(run);
    }
    // The window's report, word for word; the same text is kept beside the
    // files when anything went wrong.
    std::fputs(run.Report().Text().c_str(), stdout);
    return run.Report().HasProblems() || eStep != CSaveRun::EStep::eDone ? eExitProblems : eExitOk;
}
