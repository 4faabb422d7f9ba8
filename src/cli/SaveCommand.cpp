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

// The report: what was saved, and every file that was not, with why.
std::string ReportText(size_t nSaved, size_t nFiles, ULONGLONG n64Bytes, const std::vector<CProblem>& vecProblems)
{
    std::string strText = "Saved " + std::to_string(nSaved) + " of " + std::to_string(nFiles) + " files (" +
                          ByteCountText(n64Bytes) + ").\n";
    for (const CProblem& problem : vecProblems)
        strText += "Not saved: " + problem.m_strName + " (record " + std::to_string(problem.m_dwRecord) +
                   "): " + ErrorSentence(problem.m_dwCode) + "\n";
    return strText;
}

// A full, read-only or vanished destination fails every later file too.
bool EndsTheRun(DWORD dwCode)
{
    return dwCode == ERROR_DISK_FULL || dwCode == ERROR_WRITE_PROTECT ||
           dwCode == ERROR_PATH_NOT_FOUND || dwCode == ERROR_DISK_QUOTA_EXCEEDED;
}

}  // namespace

int SaveRows(CScanSession& session, const CRowStore& store, const std::vector<size_t>& vecChosen,
             const CSaveOptions& options)
{
    const std::vector<size_t> vecRows = options.m_bFolders ? ExpandFolders(store, vecChosen) : vecChosen;
    const bool bProgress = StderrIsTerminal();
    const auto timeStart = std::chrono::steady_clock::now();
    auto timeShown = timeStart;
    std::vector<CProblem> vecProblems;
    size_t nFiles = 0, nSaved = 0;
    for (size_t nRow : vecRows)
        nFiles += (store.Row(nRow).m_dwFileFlags & kFolderFlag) ? 0 : 1;
    ULONGLONG n64Saved = 0;
    for (size_t nRow : vecRows)
    {
        const CScanRow& row = store.Row(nRow);
        const fs::path folder = TargetFolder(options, store.FolderText(nRow));
        std::error_code ec;
        if (row.m_dwFileFlags & kFolderFlag)
        {
            // A folder is never written as a file; with folders it is made, empty or not.
            if (options.m_bFolders)
                fs::create_directories(folder / PathFromUtf8(SafeFolderName(store.Name(nRow))), ec);
            continue;
        }
        fs::create_directories(folder, ec);
        CSaveRun run(session, {row.m_dwRecord}, Utf8Of(folder));
        CSaveRun::EStep eStep = CSaveRun::EStep::eMore;
        while ((eStep = run.Step(INFINITE)) == CSaveRun::EStep::eMore)
        {
            const auto timeNow = std::chrono::steady_clock::now();
            if (!bProgress || timeNow - timeShown < std::chrono::milliseconds(100))
                continue;
            timeShown = timeNow;
            CProgressFigures figures;
            figures.m_nFilesDone = nSaved + vecProblems.size();
            figures.m_nFiles = nFiles;
            figures.m_n64Bytes = n64Saved + run.BytesDone();
            figures.m_dSeconds = std::chrono::duration<double>(timeNow - timeStart).count();
            std::fprintf(stderr, "\r%s", ProgressLine(figures).c_str());
        }
        if (eStep == CSaveRun::EStep::eDone)
        {
            ++nSaved;
            n64Saved += run.BytesTotal();
            continue;
        }
        const std::string strName = store.Name(nRow);
        vecProblems.push_back({strName.empty() ? "(no name)" : ChildPath(store.FolderText(nRow), strName),
                               row.m_dwRecord, run.Error()});
        if (EndsTheRun(run.Error()))
            break;
    }
    if (bProgress)
        std::fprintf(stderr, "\r%79s\r", "");
    std::string strReport = ReportText(nSaved, nFiles, n64Saved, vecProblems);
    if (nSaved + vecProblems.size() < nFiles)
        strReport += "The other " + std::to_string(nFiles - nSaved - vecProblems.size()) +
                     " files were not tried: every one would have failed the same way.\n";
    std::fputs(strReport.c_str(), stdout);
    if (vecProblems.empty())
        return eExitOk;
    // Beside the files, for whoever looks at them later.
    std::ofstream(PathFromUtf8(options.m_strOutput) / PathFromUtf8("保存结果.txt"), std::ios::binary) << strReport;
    return eExitProblems;
}
