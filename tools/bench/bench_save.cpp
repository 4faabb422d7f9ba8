// Saves one record of an NTFS volume through the scan session, as the
// program's save does (streamed in pieces, holes as holes), and prints how
// long it took and the memory it held; to set beside icat of the same record
// into a file on the same disk.
//
//   salvix_bench_save IMAGE START_SECTOR RECORD FOLDER
#include "Measure.h"

#include "platform/Platform.h"
#include "session/ScanSession.h"

#include <cstdio>
#include <cstdlib>

namespace
{

class CNoSink : public IScanSink
{
public:
    void OnCleared() override {}
    void OnRows(CRowBatch&&, DWORD, DWORD) override {}
    void OnError(DWORD dwCode) override { m_dwError = dwCode; }
    void OnUnreadRecords(DWORD) override {}
    DWORD m_dwError = 0;
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 5)
    {
        fprintf(stderr, "usage: %s IMAGE START_SECTOR RECORD FOLDER\n", argv[0]);
        return 2;
    }
    SetDiskPaths({argv[1]});
    CScanTarget target;
    target.m_partition.dwFirstSector = static_cast<DWORD>(strtoul(argv[2], nullptr, 0));
    CScanSession session;
    CNoSink sink;
    // The volume is opened, nothing listed: the table load stops at once.
    std::atomic<BYTE> bStop{0};
    session.m_fnBeforeRecord = [&](DWORD) { bStop = 1; };
    if (session.RunScan(&target, bStop, sink) != 0 || sink.m_dwError != 0)
        return 1;
    const double dIdle = PeakMiB();
    const auto tStart = Clock::now();
    const DWORD dwError = session.SaveEntry(static_cast<DWORD>(strtoul(argv[3], nullptr, 0)), argv[4]);
    const double dSeconds = Seconds(Clock::now() - tStart);
    if (dwError != 0)
    {
        fprintf(stderr, "the save failed: error %u\n", static_cast<unsigned>(dwError));
        return 1;
    }
    printf("saved in %.3f s; peak memory %.1f MiB, %.1f MiB above the opened volume's\n", dSeconds,
           PeakMiB(), PeakMiB() - dIdle);
    return 0;
}
