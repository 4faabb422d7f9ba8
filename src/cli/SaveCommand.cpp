// The glue between the command line and the session's save (CSaveRun): one
// run per file, so that a file that cannot be saved is reported and the rest
// go on, and folders made here for --folders.
#include "cli/SaveCommand.h"

#include "cli/Cli.h"
#include "cli/ListColumns.h"
#include "cli/OutputCheck.h"
#include "cli/Progress.h"
#include "platform/Platform.h"
#include "session/FolderPaths.h"
#include "session/SaveRun.h"
#include "session/TargetPath.h"

#include <chrono>
#include <fstream>
#include <unordered_set>

namespace fs = std::filesystem;

namespace
{

struct CProblem
{
    std::string m_strName;  // path and name, as the list shows them
    DWORD m_dwRecord;
    DWORD m_dwCode;
};

// A folder's name made safe to create: unusable characters become '_'; a
// folder that could not be followed ("?") is "_unknown_folder".
std::string SafeFolderName(const std::string& strName)
{
    if (strName == "?")
        return "_unknown_folder";
    std::string strSafe;
    for (const char c : strName)
        strSafe += static_cast<unsigned char>(c) < 0x20 || c == '/' || c == '\\' ||
                           (kThisTargetSystem == eTargetWindows && std::string("<>:\"|?*").find(c) != std::string::npos)
                       ? '_'
                       : c;
    return CheckEntryName(strSafe) == 0 ? strSafe : "_" + strSafe + "_";
}

// OUTPUT, or with folders OUTPUT/a/b for "\a\b".
fs::path TargetFolder(const CSaveOptions& options, const std::string& strPath)
{
    fs::path folder = PathFromUtf8(options.m_strOutput);
    if (!options.m_bFolders)
        return folder;
    size_t nStart = 0;
    while (nStart < strPath.size())
    {
        size_t nEnd = strPath.find('\\', nStart);
        nEnd = nEnd == std::string::npos ? strPath.size() : nEnd;
        if (nEnd > nStart)
            folder /= PathFromUtf8(SafeFolderName(strPath.substr(nStart, nEnd - nStart)));
        nStart = nEnd + 1;
    }
    return folder;
}

// With folders, a chosen folder row stands for every row below it.
std::vector<size_t> ExpandFolders(const CRowStore& store, const std::vector<size_t>& vecRows)
{
    std::unordered_set<std::string> setTrees;
    for (size_t nRow : vecRows)
        if (store.Row(nRow).m_dwFileFlags & kFolderFlag)
            setTrees.insert(ChildPath(store.FolderText(nRow), store.Name(nRow)));
    std::vector<BYTE> vecChosen(store.Size(), 0);
    for (size_t nRow : vecRows)
        vecChosen[nRow] = 1;
    std::vector<size_t> vecAll = vecRows;
    for (size_t nRow = 0; nRow < store.Size() && !setTrees.empty(); ++nRow)
    {
        const std::string& strFolder = store.FolderText(nRow);
        for (size_t nCut = strFolder.size(); !vecChosen[nRow] && nCut != std::string::npos && nCut > 0;
             nCut = strFolder.rfind('\\', nCut - 1))
            if (setTrees.count(strFolder.substr(0, nCut)))
            {
                vecChosen[nRow] = 1;
                vecAll.push_back(nRow);
            }
    }
    return vecAll;
}

std::string Utf8Of(const fs::path& path)
{
#ifdef _WIN32
    return Utf8FromWide(path.wstring());
#else
    return path.string();
#endif
}

// A full, read-only or vanished destination fails every later file too.
bool EndsTheRun(DWORD dwCode)
{
    return dwCode == ERROR_DISK_FULL || dwCode == ERROR_WRITE_PROTECT || dwCode == ERROR_PATH_NOT_FOUND ||
           dwCode == ERROR_DISK_QUOTA_EXCEEDED;
}

// What a save did so far: its figures for the progress line, its problems
// for the report.
class CSaveTally
{
public:
    explicit CSaveTally(size_t nFiles)
        : m_nFiles(nFiles), m_bProgress(StderrIsTerminal()), m_timeStart(std::chrono::steady_clock::now()),
          m_timeShown(m_timeStart)
    {
    }

    // The progress line, redrawn at most ten times a second, on a terminal only.
    void Show(ULONGLONG n64InHand)
    {
        const auto timeNow = std::chrono::steady_clock::now();
        if (!m_bProgress || timeNow - m_timeShown < std::chrono::milliseconds(100))
            return;
        m_timeShown = timeNow;
        CProgressFigures figures;
        figures.m_nFilesDone = m_nSaved + m_vecProblems.size();
        figures.m_nFiles = m_nFiles;
        figures.m_n64Bytes = m_n64Saved + n64InHand;
        figures.m_dSeconds = std::chrono::duration<double>(timeNow - m_timeStart).count();
        std::fprintf(stderr, "\r%s", ProgressLine(figures).c_str());
    }
    void Saved(ULONGLONG n64Bytes)
    {
        ++m_nSaved;
        m_n64Saved += n64Bytes;
    }
    void Failed(const CProblem& problem) { m_vecProblems.push_back(problem); }
    bool Problems() const { return !m_vecProblems.empty(); }

    // What was saved, and every file that was not, with why.
    std::string Report()
    {
        if (m_bProgress)
            std::fprintf(stderr, "\r%79s\r", "");
        std::string strText = "Saved " + std::to_string(m_nSaved) + " of " + std::to_string(m_nFiles) +
                              " files (" + ByteCountText(m_n64Saved) + ").\n";
        for (const CProblem& problem : m_vecProblems)
            strText += "Not saved: " + problem.m_strName + " (record " + std::to_string(problem.m_dwRecord) +
                       "): " + ErrorSentence(problem.m_dwCode) + "\n";
        const size_t nTried = m_nSaved + m_vecProblems.size();
        if (nTried < m_nFiles)
            strText += "The other " + std::to_string(m_nFiles - nTried) +
                       " files were not tried: every one would have failed the same way.\n";
        return strText;
    }

private:
    size_t m_nFiles;
    bool m_bProgress;
    std::chrono::steady_clock::time_point m_timeStart, m_timeShown;
    size_t m_nSaved = 0;
    ULONGLONG m_n64Saved = 0;
    std::vector<CProblem> m_vecProblems;
};

// One file through the session's save; false when the run is to end.
bool SaveFile(CScanSession& session, const CRowStore& store, size_t nRow, const fs::path& folder, CSaveTally& tally)
{
    const CScanRow& row = store.Row(nRow);
    std::error_code ec;
    fs::create_directories(folder, ec);
    CSaveRun run(session, {row.m_dwRecord}, Utf8Of(folder));
    CSaveRun::EStep eStep = CSaveRun::EStep::eMore;
    while ((eStep = run.Step(INFINITE)) == CSaveRun::EStep::eMore)
        tally.Show(run.BytesDone());
    if (eStep == CSaveRun::EStep::eDone)
    {
        tally.Saved(run.BytesTotal());
        return true;
    }
    const std::string strName = store.Name(nRow);
    tally.Failed({strName.empty() ? "(no name)" : ChildPath(store.FolderText(nRow), strName), row.m_dwRecord,
                  run.Error()});
    return !EndsTheRun(run.Error());
}

}  // namespace

int SaveRows(CScanSession& session, const CRowStore& store, const std::vector<size_t>& vecChosen,
             const CSaveOptions& options)
{
    const std::vector<size_t> vecRows = options.m_bFolders ? ExpandFolders(store, vecChosen) : vecChosen;
    size_t nFiles = 0;
    for (size_t nRow : vecRows)
        nFiles += (store.Row(nRow).m_dwFileFlags & kFolderFlag) ? 0 : 1;
    CSaveTally tally(nFiles);
    for (size_t nRow : vecRows)
    {
        const fs::path folder = TargetFolder(options, store.FolderText(nRow));
        if (!(store.Row(nRow).m_dwFileFlags & kFolderFlag))
        {
            if (!SaveFile(session, store, nRow, folder, tally))
                break;
            continue;
        }
        // A folder is never written as a file; with folders it is made, empty or not.
        std::error_code ec;
        if (options.m_bFolders)
            fs::create_directories(folder / PathFromUtf8(SafeFolderName(store.Name(nRow))), ec);
    }
    const std::string strReport = tally.Report();
    std::fputs(strReport.c_str(), stdout);
    if (!tally.Problems())
        return eExitOk;
    // Beside the files, for whoever looks at them later.
    std::ofstream(PathFromUtf8(options.m_strOutput) / PathFromUtf8("保存结果.txt"), std::ios::binary) << strReport;
    return eExitProblems;
}
