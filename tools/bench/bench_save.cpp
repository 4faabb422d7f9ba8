// Saves records of an NTFS volume through the scan session, as the program's
// save does (streamed in pieces, holes as holes, each under a free name), and
// prints how long it took, the memory it held and what the report says; to
// set beside icat of the same records into files on the same disk.
//
//   salvix_bench_save IMAGE START_SECTOR RECORD FOLDER
//   salvix_bench_save IMAGE START_SECTOR --files FOLDER [--folders] [--list RECORDS_FILE]
//
// --files saves every listed row that is not a folder and has a name (as
// selecting all and choosing "保存" would), --folders keeps their folders;
// --list writes the record numbers saved, one a line, for the comparison.
#include "Measure.h"

#include "platform/Platform.h"
#include "session/SavePlan.h"
#include "session/SaveRun.h"
#include "session/ScanSession.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace
{

class CStoreSink : public IScanSink
{
public:
    void OnCleared() override {}
    void OnRows(CRowBatch&& batch, DWORD, DWORD) override { m_store.Append(std::move(batch)); }
    void OnError(DWORD dwCode) override { m_dwError = dwCode; }
    void OnUnreadRecords(DWORD) override {}
    CRowStore m_store;
    DWORD m_dwError = 0;
};

int Usage(const char* pszProgram)
{
    fprintf(stderr, "usage: %s IMAGE START_SECTOR (RECORD | --files) FOLDER [--folders] [--list FILE]\n", pszProgram);
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 5)
        return Usage(argv[0]);
    const bool bFiles = strcmp(argv[3], "--files") == 0;
    bool bFolders = false;
    const char* pszList = nullptr;
    for (int i = 5; i < argc; ++i)
    {
        if (strcmp(argv[i], "--folders") == 0)
            bFolders = true;
        else if (strcmp(argv[i], "--list") == 0 && i + 1 < argc)
            pszList = argv[++i];
        else
            return Usage(argv[0]);
    }
    SetDiskPaths({argv[1]});
    CScanTarget target;
    target.m_partition.dwFirstSector = static_cast<DWORD>(strtoul(argv[2], nullptr, 0));
    CScanSession session;
    CStoreSink sink;
    std::atomic<BYTE> bStop{0};
    // One record alone needs the volume opened, nothing listed: the walk stops at once.
    if (!bFiles)
        session.m_fnBeforeRecord = [&](DWORD) { bStop = 1; };
    if (session.RunScan(&target, bStop, sink) != 0 || sink.m_dwError != 0)
        return 1;
    std::vector<size_t> vecRows;
    std::vector<DWORD> vecRecords;
    for (size_t nRow = 0; bFiles && nRow < sink.m_store.Size(); ++nRow)
        if (!IsFolderRow(sink.m_store.Row(nRow)) && sink.m_store.Row(nRow).m_wNameLength > 0)
        {
            vecRows.push_back(nRow);
            vecRecords.push_back(sink.m_store.Row(nRow).m_dwRecord);
        }
    if (!bFiles)
        vecRecords.push_back(static_cast<DWORD>(strtoul(argv[3], nullptr, 0)));
    if (pszList)
        if (FILE* pList = fopen(pszList, "w"))
        {
            for (DWORD dwRecord : vecRecords)
                fprintf(pList, "%u\n", static_cast<unsigned>(dwRecord));
            fclose(pList);
        }
    const ESaveMode eMode = bFolders ? ESaveMode::eFolders : ESaveMode::eFlat;
    CSavePlan plan = bFiles ? CSavePlan(sink.m_store, vecRows, eMode) : CSavePlan(vecRecords, eMode);
    const double dIdle = PeakMiB();
    const auto tStart = Clock::now();
    CSaveRun run(session, std::move(plan), argv[4]);
    while (run.Step(CSaveRun::kStepWaitMs) == CSaveRun::EStep::eMore)
    {
    }
    const double dSeconds = Seconds(Clock::now() - tStart);
    const CSaveReport& report = run.Report();
    if (report.Saved() == 0 || report.StopCode() != 0)
    {
        fprintf(stderr, "the save failed:\n%s", report.Text().c_str());
        return 1;
    }
    printf("saved %zu files, %llu bytes, in %.3f s; %zu not saved, %zu renamed; peak memory %.1f MiB, "
           "%.1f MiB above the opened volume's\n",
           report.Saved(), static_cast<unsigned long long>(report.BytesSaved()), dSeconds, report.NotSaved(),
           report.Renamed(), PeakMiB(), PeakMiB() - dIdle);
    return 0;
}
