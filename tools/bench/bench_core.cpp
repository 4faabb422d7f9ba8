// A scan without the window: the session opens one partition of a disk image
// (NTFS, FAT or exFAT) and walks it into a sink that keeps the rows, as the
// program's scan does; prints how long it took, the memory it held, and how
// long sorting and filtering the rows take. START_SECTOR 0 with an image of
// one volume reads that volume.
//
//   salvix_bench_core IMAGE START_SECTOR [--quiet]
//   salvix_bench_core IMAGE START_SECTOR --bare        the drive's own walk:
//                     OpenVolume, the table read ahead, ExamineRecord, no
//                     names, no folders
//   salvix_bench_core IMAGE START_SECTOR --stop-after MS
//                     a scan stopped MS milliseconds after its start; how
//                     long the stop took to be answered
#include "Measure.h"

#include "ntfs/NTFSDrive.h"
#include "ntfs/NtfsFileSystem.h"
#include "platform/Platform.h"
#include "session/RowView.h"
#include "session/ScanSession.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace
{

class CStoringSink : public IScanSink
{
public:
    void OnCleared() override {}
    void OnRows(CRowBatch&& batch, DWORD dwTotal, DWORD dwDeleted) override
    {
        if (m_dwTotal == 0 && !batch.Empty())
            m_tFirstRow = Clock::now();
        m_store.Append(std::move(batch));
        m_dwTotal = dwTotal;
        m_dwDeleted = dwDeleted;
    }
    void OnError(DWORD dwCode) override { m_dwError = dwCode; }
    void OnUnreadRecords(DWORD dwCount) override { m_dwUnread = dwCount; }

    CRowStore m_store;
    DWORD m_dwUnread = 0;
    DWORD m_dwTotal = 0;
    DWORD m_dwDeleted = 0;
    DWORD m_dwError = 0;
    Clock::time_point m_tFirstRow;
};

int BareWalk(const char* pszImage, DWORD dwStart, bool bQuiet)
{
    HANDLE hDevice = CreateFileA(pszImage, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    if (hDevice == INVALID_HANDLE_VALUE)
        return 1;
    const auto tStart = Clock::now();
    CNTFSDrive drive;
    drive.AttachDevice(hDevice);
    drive.SetVolumeStart(dwStart, 512);
    if (drive.OpenVolume() != 0)
        return 1;
    // The table read ahead in windows, as a scan reads it.
    drive.StartReadAhead(30, nullptr);
    MFTEntryInfo info;
    MFTEntryDetails details;
    DWORD dwListed = 0;
    for (DWORD dwRecord = 30; dwRecord < drive.GetRecordCount(); ++dwRecord)
        if (drive.ExamineRecord(dwRecord, info, details) == ntfs::ERecordKind::eFile)
            ++dwListed;
    drive.StopReadAhead();
    const double dTotal = Seconds(Clock::now() - tStart);
    CloseHandle(hDevice);
    if (!bQuiet)
        printf("bare walk    %u records in %.3f s, peak %.1f MiB\n", dwListed, dTotal, PeakMiB());
    return 0;
}

int StoppedScan(CScanSession& session, const CScanTarget& target, int nStopAfterMs)
{
    CStoringSink sink;
    std::atomic<BYTE> bStop{0};
    Clock::time_point tStop;
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(nStopAfterMs));
        tStop = Clock::now();
        bStop = 1;
    });
    session.RunScan(&target, bStop, sink);
    const auto tEnd = Clock::now();
    stopper.join();
    printf("stop         asked %d ms after the start, answered in %.1f ms, %u rows listed\n", nStopAfterMs,
           Seconds(tEnd - tStop) * 1000.0, sink.m_dwTotal);
    return 0;
}

void TimeView(const CRowStore& store)
{
    CRowView view;
    auto t0 = Clock::now();
    view.SetOrder(eColumnName, false);
    view.Rebuild(store);
    const double dSort = Seconds(Clock::now() - t0);
    t0 = Clock::now();
    view.SetOrder(eColumnPath, false);
    view.Rebuild(store);
    const double dSortPath = Seconds(Clock::now() - t0);
    double adSorts[3] = {};
    const int anColumns[3] = {eColumnSize, eColumnModified, eColumnState};
    for (int i = 0; i < 3; ++i)
    {
        t0 = Clock::now();
        view.SetOrder(anColumns[i], false);
        view.Rebuild(store);
        adSorts[i] = Seconds(Clock::now() - t0);
    }
    t0 = Clock::now();
    view.SetFilter("file_0042", false);
    view.Rebuild(store);
    const double dFilter = Seconds(Clock::now() - t0);
    printf("sort by name %.3f s; by folder %.3f s; filter \"file_0042\" %.3f s (%zu rows)\n", dSort,
           dSortPath, dFilter, view.Size());
    printf("sort by size %.3f s; by time %.3f s; by state %.3f s\n", adSorts[0], adSorts[1], adSorts[2]);
    view.SetOrder(-1, false);
    view.SetFilter("", false, true);
    view.Rebuild(store);
    printf("states       %zu rows recoverable\n", view.Size());
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
    {
        fprintf(stderr, "usage: %s IMAGE START_SECTOR [--quiet | --bare | --stop-after MS]\n", argv[0]);
        return 2;
    }
    const DWORD dwStart = static_cast<DWORD>(strtoul(argv[2], nullptr, 0));
    const bool bQuiet = argc > 3 && strcmp(argv[3], "--quiet") == 0;
    if (argc > 3 && strcmp(argv[3], "--bare") == 0)
        return BareWalk(argv[1], dwStart, false);
    SetDiskPaths({argv[1]});
    CScanTarget target;
    target.m_partition.dwFirstSector = dwStart;
    CScanSession session;
    if (argc > 4 && strcmp(argv[3], "--stop-after") == 0)
        return StoppedScan(session, target, atoi(argv[4]));

    CStoringSink sink;
    std::atomic<BYTE> bStop{0};
    const auto tStart = Clock::now();
    const DWORD dwEnd = session.RunScan(&target, bStop, sink);
    const auto tEnd = Clock::now();
    if (dwEnd != 0 || sink.m_dwError != 0)
    {
        fprintf(stderr, "the scan failed: error %u\n", static_cast<unsigned>(dwEnd));
        return 1;
    }
    const double dTotal = Seconds(tEnd - tStart);
    const double dFirst = sink.m_dwTotal ? Seconds(sink.m_tFirstRow - tStart) : 0;
    const CNTFSDrive* pDrive = NtfsDriveOf(session.FileSystem());
    const double dTableMB = pDrive ? static_cast<double>(pDrive->TableBytes()) / (1024.0 * 1024.0) : 0;
    if (bQuiet)
        return 0;
    if (pDrive)
        printf("table        %.1f MiB, %u records of %u bytes\n", dTableMB, pDrive->GetRecordCount(),
               pDrive->m_dwRecordSize);
    printf("listed       %u records (%u deleted), %zu folders; %u could not be read\n", sink.m_dwTotal,
           sink.m_dwDeleted, sink.m_store.FolderCount(), sink.m_dwUnread);
    printf("first rows   %.3f s after the start\n", dFirst);
    printf("whole scan   %.3f s (%.0f records/s), names and folders included\n", dTotal,
           sink.m_dwTotal / (dTotal > 0 ? dTotal : 1e-9));
    if (pDrive)
        printf("peak memory  %.1f MiB (%.2f x the table)\n", PeakMiB(), PeakMiB() / (dTableMB > 0 ? dTableMB : 1));
    else
        printf("peak memory  %.1f MiB\n", PeakMiB());
    TimeView(sink.m_store);
    return 0;
}
