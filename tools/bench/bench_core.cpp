// Opens one NTFS partition of a disk image, loads its master file table and
// describes every record, as the scan does, and prints how long each step took.
//
//   salvix_bench_core IMAGE START_SECTOR [--quiet]
#include "ntfs/NTFSDrive.h"
#include "platform/Win32.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/resource.h>

int main(int argc, char** argv)
{
    if (argc < 3)
    {
        fprintf(stderr, "usage: %s IMAGE START_SECTOR [--quiet]\n", argv[0]);
        return 2;
    }
    const bool bQuiet = argc > 3 && strcmp(argv[3], "--quiet") == 0;
    HANDLE hDevice = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    if (hDevice == INVALID_HANDLE_VALUE)
    {
        fprintf(stderr, "cannot open %s: error %u\n", argv[1], GetLastError());
        return 1;
    }
    using Clock = std::chrono::steady_clock;
    CNTFSDrive drive;
    const auto tStart = Clock::now();
    drive.AttachDevice(hDevice);
    drive.SetVolumeStart(static_cast<DWORD>(strtoul(argv[2], nullptr, 0)), 512);
    DWORD dwError = drive.OpenVolume();
    const auto tLoaded = Clock::now();
    if (dwError != 0)
    {
        fprintf(stderr, "OpenVolume failed: error %u\n", dwError);
        return 1;
    }
    // The scan's walk: from record 30 until the table ends or a slot holds no record.
    DWORD dwListed = 0, dwDeleted = 0, dwEnd = 0;
    MFTEntryInfo info;
    for (DWORD i = 30;; ++i)
    {
        dwEnd = drive.GetEntryInfo(i, info);
        if (dwEnd != 0)
            break;
        ++dwListed;
        dwDeleted += info.bNotInUse;
    }
    const auto tWalked = Clock::now();
    CloseHandle(hDevice);

    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    const double dLoad = std::chrono::duration<double>(tLoaded - tStart).count();
    const double dWalk = std::chrono::duration<double>(tWalked - tLoaded).count();
    const double dPeakMB = usage.ru_maxrss / 1024.0;
    const double dTableMB = drive.m_dwTableLength / (1024.0 * 1024.0);
    if (!bQuiet)
    {
        printf("table        %.1f MiB, %u records of %u bytes\n", dTableMB, drive.GetRecordCount(),
               drive.m_dwRecordSize);
        printf("listed       %u records (%u deleted), walk ended with code %u\n", dwListed, dwDeleted, dwEnd);
        printf("load table   %.3f s\n", dLoad);
        printf("walk         %.3f s (%.0f records/s)\n", dWalk, dwListed / (dWalk > 0 ? dWalk : 1e-9));
        printf("total        %.3f s (%.0f records/s)\n", dLoad + dWalk, dwListed / (dLoad + dWalk));
        printf("peak memory  %.1f MiB (%.2f x the table)\n", dPeakMB, dPeakMB / (dTableMB > 0 ? dTableMB : 1));
    }
    return 0;
}
