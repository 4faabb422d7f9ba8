// Reads one record's data through the stream reader in pieces of 4 MiB, the
// way a save reads it, and writes it to a file or to standard output ("-"),
// holes as zeros: a whole-process figure to set beside icat of the same
// record. Prints the bytes and the time to standard error.
//
//   salvix_bench_entrydata VOLUME RECORD OUT    (VOLUME: a bare NTFS volume image)
#include "Measure.h"

#include "ntfs/EntryData.h"
#include "ntfs/NTFSDrive.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 4)
    {
        fprintf(stderr, "usage: salvix_bench_entrydata VOLUME RECORD OUT\n");
        return 2;
    }
    const auto start = Clock::now();
    HANDLE hDevice = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    if (hDevice == INVALID_HANDLE_VALUE)
    {
        fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    CNTFSDrive drive;
    drive.AttachDevice(hDevice);
    drive.SetVolumeStart(0, 512);
    CEntryData data;
    DWORD dwError = drive.OpenVolume();
    if (dwError == 0)
        dwError = drive.OpenEntryData(static_cast<DWORD>(strtoul(argv[2], nullptr, 10)), data);
    if (dwError != 0)
    {
        fprintf(stderr, "error %u\n", static_cast<unsigned>(dwError));
        return 1;
    }
    const std::string strOut = argv[3];
    FILE* pOut = strOut == "-" ? stdout : fopen(argv[3], "wb");
    if (!pOut)
        return 1;
    const size_t kPiece = 4 << 20;
    std::vector<BYTE> vec(kPiece);
    for (ULONGLONG n64Off = 0; n64Off < data.Size();)
    {
        const size_t nCount = static_cast<size_t>(std::min<ULONGLONG>(kPiece, data.Size() - n64Off));
        if ((dwError = data.Read(n64Off, vec.data(), nCount)) != 0 || fwrite(vec.data(), 1, nCount, pOut) != nCount)
        {
            fprintf(stderr, "error %u at %llu\n", static_cast<unsigned>(dwError),
                    static_cast<unsigned long long>(n64Off));
            return 1;
        }
        n64Off += nCount;
    }
    fflush(pOut);
    const double dSeconds = Seconds(Clock::now() - start);
    fprintf(stderr, "%llu bytes in %.3f s: %.1f MB/s\n", static_cast<unsigned long long>(data.Size()), dSeconds,
            data.Size() / dSeconds / 1e6);
    if (pOut != stdout)
        fclose(pOut);
    CloseHandle(hDevice);
    return 0;
}
