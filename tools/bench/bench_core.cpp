// A scan without the window: the session opens one NTFS partition of a disk
// image and walks every record into a sink that only counts, as the program's
// scan does; prints how long it took and the memory it held.
//
//   salvix_bench_core IMAGE START_SECTOR [--quiet]
#include "platform/Platform.h"
#include "session/ScanSession.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/resource.h>

namespace
{

using Clock = std::chrono::steady_clock;

class CCountingSink : public IScanSink
{
public:
    void OnCleared() override {}
    void OnRows(CRowBatch&& batch, DWORD dwTotal, DWORD dwDeleted) override
    {
        if (m_dwTotal == 0 && !batch.Empty())
            m_tFirstRow = Clock::now();
        m_dwTotal = dwTotal;
        m_dwDeleted = dwDeleted;
    }
    void OnError(DWORD dwCode) override { m_dwError = dwCode; }

    DWORD m_dwTotal = 0;
    DWORD m_dwDeleted = 0;
    DWORD m_dwError = 0;
    Clock::time_point m_tFirstRow;
};

double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
    {
        fprintf(stderr, "usage: %s IMAGE START_SECTOR [--quiet]\n", argv[0]);
        return 2;
    }
    const bool bQuiet = argc > 3 && strcmp(argv[3], "--quiet") == 0;
    SetDiskPaths({argv[1]});

    CScanTarget target;
    target.m_partition.dwFirstSector = static_cast<DWORD>(strtoul(argv[2], nullptr, 0));
    CScanSession session;
    CCountingSink sink;
    std::atomic<BYTE> bStop{0};
    const auto tStart = Clock::now();
    const DWORD dwEnd = session.RunScan(&target, bStop, sink);
    const auto tEnd = Clock::now();
    if (dwEnd != 0 || sink.m_dwError != 0)
    {
        fprintf(stderr, "the scan failed: error %u\n", static_cast<unsigned>(dwEnd));
        return 1;
    }

    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    const double dTotal = Seconds(tEnd - tStart);
    const double dFirst = sink.m_dwTotal ? Seconds(sink.m_tFirstRow - tStart) : 0;
    const double dPeakMB = usage.ru_maxrss / 1024.0;
    const CNTFSDrive& drive = session.Drive();
    const double dTableMB = drive.m_dwTableLength / (1024.0 * 1024.0);
    if (!bQuiet)
    {
        printf("table        %.1f MiB, %u records of %u bytes\n", dTableMB, drive.GetRecordCount(),
               drive.m_dwRecordSize);
        printf("listed       %u records (%u deleted)\n", sink.m_dwTotal, sink.m_dwDeleted);
        printf("first rows   %.3f s after the start\n", dFirst);
        printf("whole scan   %.3f s (%.0f records/s)\n", dTotal, sink.m_dwTotal / (dTotal > 0 ? dTotal : 1e-9));
        printf("peak memory  %.1f MiB (%.2f x the table)\n", dPeakMB, dPeakMB / (dTableMB > 0 ? dTableMB : 1));
    }
    return 0;
}
