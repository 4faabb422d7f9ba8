// Saves of several rows through the session, one behaviour a case, on the
// extraction volume scanned as the windows scan it: what lands where under
// which name, compared with icat, and what the report says.
#include "ExtractVolume.h"
#include "support/DiskGuard.h"
#include "support/FaultFreeTest.h"
#include "support/Process.h"
#include "support/SaveRunner.h"
#include "support/ScanSink.h"

#include "session/SaveLoop.h"
#include "session/WindowClose.h"
#include "session/SaveRun.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace extract_test;

namespace
{

// A row by its path ("\a\report.txt") or by the name it was created with ("@small.txt").
using RowSpec = std::string;

struct CSaveCase
{
    const char* m_pszWhat;
    std::vector<RowSpec> m_vecRows;
    ESaveMode m_eMode;
    // Each file below the chosen folder, and the row whose bytes it holds
    // ("" where only its being there is checked).
    std::map<std::string, RowSpec> m_mapFiles;
    CSaveRun::EStep m_eEnd;
    size_t m_nSaved, m_nRenamed, m_nNotSaved, m_nUnreadable;
    DWORD m_dwStop;
    CSaveOutcome::EKind m_eOutcome;
    bool m_bReportFile;
    std::function<void(const std::string& strFolder)> m_fnBefore;
    std::function<void(CSaveRun& run)> m_fnBetween;
};

// Every file below a folder, as paths relative to it ('/' between parts).
std::vector<std::string> FilesBelow(const std::string& strFolder)
{
    std::vector<std::string> vecFiles;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(strFolder))
        if (!entry.is_directory())
            vecFiles.push_back(std::filesystem::relative(entry.path(), strFolder).generic_string());
    std::sort(vecFiles.begin(), vecFiles.end());
    return vecFiles;
}

class SaveRunTest : public salvix_test::CFaultFreeTest
{
protected:
    static void SetUpTestSuite()
    {
        const CExtractVolume& volume = CExtractVolume::Get();
        s_strSample = volume.m_strFolder + "/sample.img";
        if (RunProcess({SALVIX_MKSAMPLE, s_strSample}).Ok())
        {
            std::vector<CMmlsRow> vecRows;
            if (Mmls(s_strSample, {}, vecRows))
                for (const CMmlsRow& row : vecRows)
                    if (row.m_strDescription.find("NTFS") != std::string::npos && s_dwSampleStart == 0)
                        s_dwSampleStart = static_cast<DWORD>(row.m_n64Start);
        }
    }

    void SetUp() override
    {
        CFaultFreeTest::SetUp();
        const CExtractVolume& volume = CExtractVolume::Get();
        ASSERT_EQ(volume.m_strError, "");
        ASSERT_NE(s_dwSampleStart, 0u) << "the sample disk";
        m_pDisks = std::make_unique<CDiskGuard>(volume.m_strDisk + ":" + s_strSample);
        ASSERT_EQ(m_sink.Scan(m_session, CExtractVolume::kStartSector), 0u);
        ASSERT_TRUE(m_sink.m_vecErrors.empty());
        ASSERT_TRUE(m_sleuth.Open(volume.m_strDisk, CExtractVolume::kStartSector, m_strSleuthError)) << m_strSleuthError;
    }

    size_t StoreRow(const RowSpec& spec) const
    {
        if (spec[0] != '@')
            return RowOfPath(m_sink.m_store, spec);
        const DWORD dwRecord = CExtractVolume::Get().Index(spec.substr(1));
        for (size_t nRow = 0; nRow < m_sink.m_store.Size(); ++nRow)
            if (m_sink.m_store.Row(nRow).m_dwRecord == dwRecord)
                return nRow;
        return m_sink.m_store.Size();
    }

    void Check(const CSaveCase& test);

    static std::string s_strSample;
    static DWORD s_dwSampleStart;
    std::unique_ptr<CDiskGuard> m_pDisks;
    CScanSession m_session;
    CCollectingSink m_sink;
    CSleuthVolume m_sleuth;
    std::string m_strSleuthError;
};

std::string SaveRunTest::s_strSample;
DWORD SaveRunTest::s_dwSampleStart = 0;

void SaveRunTest::Check(const CSaveCase& test)
{
    SCOPED_TRACE(test.m_pszWhat);
    std::vector<size_t> vecRows;
    for (const RowSpec& spec : test.m_vecRows)
    {
        vecRows.push_back(StoreRow(spec));
        ASSERT_LT(vecRows.back(), m_sink.m_store.Size()) << spec;
    }
    const std::string strFolder = NewOutputFolder();
    if (test.m_fnBefore)
        test.m_fnBefore(strFolder);
    CSaveRun run(m_session, CSavePlan(m_sink.m_store, vecRows, test.m_eMode), strFolder);
    EXPECT_EQ(RunToEnd(run, test.m_fnBetween), test.m_eEnd);
    ClearFaults();
    const CSaveReport& report = run.Report();
    EXPECT_EQ(report.Saved(), test.m_nSaved) << report.Text();
    EXPECT_EQ(report.Renamed(), test.m_nRenamed) << report.Text();
    EXPECT_EQ(report.NotSaved(), test.m_nNotSaved) << report.Text();
    EXPECT_EQ(report.WithUnreadable(), test.m_nUnreadable) << report.Text();
    EXPECT_EQ(report.StopCode(), test.m_dwStop) << report.Text();
    EXPECT_EQ(run.Outcome().m_eKind, test.m_eOutcome);

    std::vector<std::string> vecWanted;
    for (const auto& file : test.m_mapFiles)
        vecWanted.push_back(file.first);
    if (test.m_bReportFile)
        vecWanted.push_back(CSaveReport::kFileName);
    std::sort(vecWanted.begin(), vecWanted.end());
    EXPECT_EQ(FilesBelow(strFolder), vecWanted);
    if (test.m_bReportFile)
    {
        const std::string strText = report.Text();
        EXPECT_TRUE(ReadFileBytes(strFolder + "/" + CSaveReport::kFileName) == Bytes(strText.begin(), strText.end()));
    }
    for (const auto& file : test.m_mapFiles)
    {
        if (file.second.empty())
            continue;
        const DWORD dwRecord = m_sink.m_store.Row(StoreRow(file.second)).m_dwRecord;
        // The file's own bytes, its named streams (notes.txt has two) left out.
        Bytes expected;
        ASSERT_TRUE(IcatFileStream(CExtractVolume::Get().m_strDisk, CExtractVolume::kStartSector, dwRecord, expected));
        EXPECT_TRUE(ReadFileBytes(strFolder + "/" + file.first) == expected) << file.first;
        // The entry's modification time, as The Sleuth Kit reads it.
        const SleuthRecord record = m_sleuth.Record(dwRecord);
        struct stat st;
        ASSERT_EQ(stat((strFolder + "/" + file.first).c_str(), &st), 0);
        EXPECT_EQ(st.st_mtim.tv_sec, record.n64Modified) << file.first;
        EXPECT_EQ(static_cast<uint32_t>(st.st_mtim.tv_nsec), record.nModifiedNano) << file.first;
    }
}

// Byte offset on the disk of the first cluster of a file's data.
ULONGLONG FirstClusterOffset(const std::string& strName)
{
    const CExtractVolume& volume = CExtractVolume::Get();
    CIstatInfo info;
    EXPECT_TRUE(Istat(volume.m_strDisk, CExtractVolume::kStartSector, volume.Index(strName), info));
    return CExtractVolume::kStartSector * 512ull + (info.m_vecClusters.empty() ? 0 : info.m_vecClusters[0]) * 4096ull;
}

void ReadOnlyFile(const std::string& strPath)
{
    ASSERT_TRUE(WriteFileBytes(strPath, Bytes(10, 'x')));
    ASSERT_EQ(chmod(strPath.c_str(), 0444), 0);
}

using EStep = CSaveRun::EStep;
using EKind = CSaveOutcome::EKind;

TEST_F(SaveRunTest, EachBehaviour)
{
    const std::string strNameless = "@hostile06.txt";
    const std::string strNamelessFile = u8"记录_" + std::to_string(CExtractVolume::Get().Index("hostile06.txt"));
    const CSaveCase kCases[] = {
        {"two rows of one name: the second beside the first",
         {"\\a\\report.txt", "\\b\\report.txt"}, ESaveMode::eFlat,
         {{"report.txt", "\\a\\report.txt"}, {"report (2).txt", "\\b\\report.txt"}},
         EStep::eDone, 2, 1, 0, 0, 0, EKind::eReportBox, false, {}, {}},
        {"rows without a name or with unsafe ones: saved under safe names",
         {strNameless, "@hostile03.txt", "@hostile01.txt", "\\small.txt"}, ESaveMode::eFlat,
         {{strNamelessFile, strNameless}, {"a_b", "@hostile03.txt"}, {"__", "@hostile01.txt"}, {"small.txt", "\\small.txt"}},
         EStep::eDone, 4, 3, 0, 0, 0, EKind::eReportBox, false, {}, {}},
        {"a row that cannot be saved: recorded, and the run goes on",
         {"\\small.txt", "\\photo.jpg", "\\notes.txt"}, ESaveMode::eFlat,
         {{"small.txt", "\\small.txt"}, {"photo.jpg", ""}, {"notes.txt", "\\notes.txt"}},
         EStep::eDone, 2, 0, 1, 0, 0, EKind::eReportBox, true,
         [](const std::string& strFolder) { ReadOnlyFile(strFolder + "/photo.jpg"); }, {}},
        {"with folders: a deleted folder stands for its whole tree",
         {"\\Beach"}, ESaveMode::eFolders,
         {{"Beach/sea.jpg", "\\Beach\\sea.jpg"}, {"Beach/2024/sand.jpg", "\\Beach\\2024\\sand.jpg"},
          {"Beach/2024/notes.txt", "\\Beach\\2024\\notes.txt"}},
         EStep::eDone, 3, 0, 0, 0, 0, EKind::eQuiet, false, {}, {}},
        {"with folders: a folder and its own file, each once; one name in two folders",
         {"\\Beach\\2024\\sand.jpg", "\\Beach\\2024", "\\a\\report.txt", "\\b\\report.txt"}, ESaveMode::eFolders,
         {{"Beach/2024/sand.jpg", "\\Beach\\2024\\sand.jpg"}, {"Beach/2024/notes.txt", "\\Beach\\2024\\notes.txt"},
          {"a/report.txt", "\\a\\report.txt"}, {"b/report.txt", "\\b\\report.txt"}},
         EStep::eDone, 4, 0, 0, 0, 0, EKind::eQuiet, false, {}, {}},
        {"a flat save passes a folder row over, without a word",
         {"\\Beach", "\\small.txt"}, ESaveMode::eFlat, {{"small.txt", "\\small.txt"}},
         EStep::eDone, 1, 0, 0, 0, 0, EKind::eQuiet, false, {}, {}},
        {"a bad sector in the middle of a run: zeros there, the file kept and reported",
         {"\\photo.jpg", "\\small.txt"}, ESaveMode::eFlat, {{"photo.jpg", ""}, {"small.txt", "\\small.txt"}},
         EStep::eDone, 2, 0, 0, 1, 0, EKind::eReportBox, true,
         [](const std::string&) { InjectFault(CDeviceFault::eReadError, FirstClusterOffset("photo.jpg") + 5000, ERROR_CRC); },
         {}},
        {"the destination full: the run stops at once, what was written stays",
         {"\\small.txt", "\\photo.jpg", "\\notes.txt"}, ESaveMode::eFlat, {{"small.txt", "\\small.txt"}, {"photo.jpg", ""}},
         EStep::eStopped, 1, 0, 1, 0, ERROR_DISK_FULL, EKind::eReportBox, true,
         [](const std::string&) { InjectFault(CDeviceFault::eWriteError, 1000, ERROR_DISK_FULL); }, {}},
        {"the source disk gone: the run stops at once",
         {"\\small.txt", "\\photo.jpg", "\\notes.txt"}, ESaveMode::eFlat, {{"small.txt", "\\small.txt"}},
         EStep::eStopped, 1, 0, 1, 0, ERROR_DEV_NOT_EXIST, EKind::eReportBox, true, {},
         [](CSaveRun& run) {
             if (run.Report().Saved() == 1)
                 InjectFault(CDeviceFault::eDeviceGone, 0, ERROR_DEV_NOT_EXIST);
         }},
        {"a scan of another disk during the save changes nothing it writes",
         {"\\a\\report.txt", "\\photo.jpg", "\\small.txt"}, ESaveMode::eFlat,
         {{"report.txt", "\\a\\report.txt"}, {"photo.jpg", "\\photo.jpg"}, {"small.txt", "\\small.txt"}},
         EStep::eDone, 3, 0, 0, 0, 0, EKind::eQuiet, false, {},
         [this](CSaveRun& run) {
             if (run.FileNumber() != 1)
                 return;
             CScanTarget other;
             other.m_dwDisk = 1;
             other.m_partition.dwFirstSector = s_dwSampleStart;
             CCollectingSink sink;
             EXPECT_EQ(m_session.RunScan(&other, sink.m_bStop, sink), 0u);
             EXPECT_GT(sink.m_store.Size(), 0u);
         }},
    };
    for (const CSaveCase& test : kCases)
        Check(test);
}

TEST_F(SaveRunTest, ABadSectorLeavesZerosInThatSectorAlone)
{
    const std::string strFolder = NewOutputFolder();
    InjectFault(CDeviceFault::eReadError, FirstClusterOffset("photo.jpg") + 5000, ERROR_CRC);
    CSaveRun run(m_session, CSavePlan(m_sink.m_store, {StoreRow("\\photo.jpg")}, ESaveMode::eFlat), strFolder);
    ASSERT_EQ(RunToEnd(run), EStep::eDone);
    ClearFaults();
    EXPECT_EQ(run.Report().UnreadableBytes(), 512u);
    Bytes expected;
    ASSERT_TRUE(IcatFileStream(CExtractVolume::Get().m_strDisk, CExtractVolume::kStartSector,
                               CExtractVolume::Get().Index("photo.jpg"), expected));
    std::fill(expected.begin() + 4608, expected.begin() + 5120, 0);
    EXPECT_TRUE(ReadFileBytes(strFolder + "/photo.jpg") == expected);
    // One file with something to say: the box, no file beside it.
    EXPECT_EQ(run.Outcome().m_eKind, EKind::eReportBox);
    EXPECT_EQ(FilesBelow(strFolder), std::vector<std::string>{"photo.jpg"});
}

TEST_F(SaveRunTest, OneFileThatFailsShowsItsCodeAlone)
{
    const std::string strFolder = NewOutputFolder();
    ReadOnlyFile(strFolder + "/small.txt");
    CSaveRun run(m_session, CSavePlan(m_sink.m_store, {StoreRow("\\small.txt")}, ESaveMode::eFlat), strFolder);
    ASSERT_EQ(RunToEnd(run), EStep::eDone);
    const CSaveOutcome outcome = run.Outcome();
    EXPECT_EQ(outcome.m_eKind, EKind::eErrorBox);
    EXPECT_EQ(outcome.m_dwCode, DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(FilesBelow(strFolder), std::vector<std::string>{"small.txt"});
}

TEST_F(SaveRunTest, AMissingFolderStopsBeforeAnything)
{
    const std::string strFolder = NewOutputFolder() + "/not-there";
    CSaveRun run(m_session, CSavePlan(m_sink.m_store, {StoreRow("\\small.txt"), StoreRow("\\photo.jpg")}, ESaveMode::eFlat),
                 strFolder);
    EXPECT_EQ(RunToEnd(run), EStep::eStopped);
    EXPECT_EQ(run.Outcome().m_eKind, EKind::eErrorBox);
    EXPECT_EQ(run.Outcome().m_dwCode, DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(std::filesystem::exists(strFolder));
}

// A window that asks to close during its second pause (the first file made,
// none of its bytes written yet), as a click on its close box would, and
// keeps what it was shown.
class CClosingWindow : public ISaveWindow
{
public:
    explicit CClosingWindow(CSaveGuard& guard) : m_guard(guard) {}
    void ShowProgress(const std::string& strText, int nPermille) override
    {
        m_vecTexts.push_back(strText);
        m_nLastPermille = nPermille;
    }
    void Pump() override
    {
        if (++m_nPumps == 2)
            m_bClosedNow = m_guard.MayClose(7);
    }
    bool CancelAsked() override { return false; }

    CSaveGuard& m_guard;
    std::vector<std::string> m_vecTexts;
    int m_nLastPermille = -1;
    int m_nPumps = 0;
    bool m_bClosedNow = false;
};

TEST_F(SaveRunTest, AClosingWindowWaitsForTheStepInHandThenCloses)
{
    CSaveGuard guard;
    int nResult = 0;
    EXPECT_TRUE(guard.MayClose(3)) << "no save: the window closes at once";
    EXPECT_FALSE(guard.TakeClose(nResult));
    const std::string strFolder = NewOutputFolder();
    CSaveRun run(m_session, CSavePlan(m_sink.m_store, {StoreRow("\\photo.jpg"), StoreRow("\\small.txt")}, ESaveMode::eFlat),
                 strFolder);
    CClosingWindow window(guard);
    const CSaveOutcome outcome = RunSaveLoop(run, window, guard);
    EXPECT_FALSE(window.m_bClosedNow) << "a save runs: the close waits";
    ASSERT_FALSE(window.m_vecTexts.empty());
    EXPECT_EQ(window.m_vecTexts.size(), 2u) << "the run was cancelled at the next step";
    EXPECT_EQ(window.m_vecTexts.back().rfind("正在保存 photo.jpg (1/2)", 0), 0u) << window.m_vecTexts.back();
    EXPECT_TRUE(run.Report().Cancelled());
    EXPECT_FALSE(guard.Saving());
    ASSERT_TRUE(guard.TakeClose(nResult));
    EXPECT_EQ(nResult, 7);
    EXPECT_FALSE(guard.TakeClose(nResult)) << "once";
    EXPECT_EQ(outcome.m_eKind, CSaveOutcome::eQuiet) << "a cancel with nothing else to say";
    EXPECT_TRUE(FilesBelow(strFolder).empty()) << "the file in hand is removed";
}

// The user closes the window during a save and says yes to losing the
// list: the save ends after the step in hand, then the window closes with
// no second question.
TEST_F(SaveRunTest, AConfirmedCloseDuringASaveIsNotAskedAgain)
{
    struct CAskingWindow : ISaveWindow
    {
        CCloseConfirmation m_close;
        CSaveGuard m_guard;
        int m_nPumps = 0;
        int m_nAsked = 0;
        bool m_bClosedNow = false;
        void ShowProgress(const std::string&, int) override {}
        void Pump() override
        {
            if (++m_nPumps == 2)
                m_bClosedNow = m_close.MayClose(7, 2, [this](const char*) { ++m_nAsked; return true; }, m_guard);
        }
        bool CancelAsked() override { return false; }
    } window;
    const std::string strFolder = NewOutputFolder();
    CSaveRun run(m_session, CSavePlan(m_sink.m_store, {StoreRow("\\photo.jpg"), StoreRow("\\small.txt")}, ESaveMode::eFlat),
                 strFolder);
    RunSaveLoop(run, window, window.m_guard);
    EXPECT_FALSE(window.m_bClosedNow) << "a save runs: the close waits";
    EXPECT_EQ(window.m_nAsked, 1);
    EXPECT_TRUE(run.Report().Cancelled());
    int nResult = 0;
    ASSERT_TRUE(window.m_guard.TakeClose(nResult));
    EXPECT_EQ(nResult, 7);
    // The window closes as the save ends; the user is not asked again.
    EXPECT_TRUE(window.m_close.MayClose(nResult, 2, [](const char*) { return false; }, window.m_guard));
    EXPECT_EQ(window.m_nAsked, 1);
    EXPECT_TRUE(FilesBelow(strFolder).empty()) << "the file in hand is removed";
}

// What a save into a small memory file system did, told by the process that
// mounted it (the mount is its own, and goes with it).
std::string SaveIntoSmallFileSystem(CScanSession& session, const CRowStore& store, const std::vector<size_t>& vecRows,
                                    const std::string& strFolder, const Bytes& small)
{
    int anPipe[2];
    if (pipe(anPipe) != 0)
        return "no pipe";
    const pid_t pid = fork();
    if (pid == 0)
    {
        close(anPipe[0]);
        std::string strOut;
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", strFolder.c_str(), "tmpfs", 0, "size=256k") != 0)
            strOut = "skip";
        else
        {
            CSaveRun run(session, CSavePlan(store, vecRows, ESaveMode::eFlat), strFolder);
            const bool bStopped = RunToEnd(run) == EStep::eStopped;
            strOut = std::string(bStopped ? "stopped" : "not stopped") + " " + std::to_string(run.Report().StopCode()) +
                     " saved " + std::to_string(run.Report().Saved()) + " files";
            for (const std::string& strFile : FilesBelow(strFolder))
                strOut += " " + strFile;
            strOut += ReadFileBytes(strFolder + "/small.txt") == small ? " small-equal" : " small-differs";
            const auto n64Photo = std::filesystem::file_size(strFolder + "/photo.jpg");
            strOut += n64Photo > 0 && n64Photo < 300000 ? " photo-partial" : " photo-" + std::to_string(n64Photo);
        }
        const ssize_t nWritten = write(anPipe[1], strOut.data(), strOut.size());
        _exit(nWritten == static_cast<ssize_t>(strOut.size()) ? 0 : 1);
    }
    close(anPipe[1]);
    std::string strResult;
    char szBuffer[512];
    ssize_t nRead;
    while ((nRead = read(anPipe[0], szBuffer, sizeof(szBuffer))) > 0)
        strResult.append(szBuffer, static_cast<size_t>(nRead));
    close(anPipe[0]);
    int nStatus = 0;
    waitpid(pid, &nStatus, 0);
    return strResult;
}

TEST_F(SaveRunTest, AFullFileSystemStopsTheRunAndKeepsWhatWasWritten)
{
    Bytes small;
    ASSERT_TRUE(IcatFileStream(CExtractVolume::Get().m_strDisk, CExtractVolume::kStartSector,
                               CExtractVolume::Get().Index("small.txt"), small));
    const std::string strFolder = NewOutputFolder();
    const std::string strResult =
        SaveIntoSmallFileSystem(m_session, m_sink.m_store,
                                {StoreRow("\\small.txt"), StoreRow("\\photo.jpg"), StoreRow("\\notes.txt")}, strFolder, small);
    if (strResult == "skip")
        GTEST_SKIP() << "a memory file system can be mounted only by root";
    // The report could not be written either: nothing but the two files.
    EXPECT_EQ(strResult, "stopped " + std::to_string(ERROR_DISK_FULL) +
                             " saved 1 files photo.jpg small.txt small-equal photo-partial");
}

}  // namespace
