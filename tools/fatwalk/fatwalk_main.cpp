// Walks a FAT or exFAT volume in an image and prints one line per row, or
// writes one row's data to standard output: the FAT layer run from the
// command line, for timing against fls and for a look at a volume.
//   salvix_fatwalk IMAGE [BYTE_OFFSET]            rows: "r|d *|- entry state size path"
//   salvix_fatwalk IMAGE BYTE_OFFSET --data ENTRY the row's data
#include "fat/FatVolume.h"
#include "session/RowText.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{

class CPrintSink : public fat::IFatSink
{
public:
    explicit CPrintSink(const fat::CFatVolume& volume, bool bQuiet) : m_volume(volume), m_bQuiet(bQuiet) {}
    DWORD OnRows(fat::CFatRowBatch&& batch) override
    {
        for (const fat::CFatRow& row : batch.m_vecRows)
        {
            ++m_nRows;
            if (m_bQuiet)
                continue;
            std::string strPath = m_volume.Folder(row.m_dwFolder);
            if (strPath.back() != '\\')
                strPath += '\\';
            strPath += batch.Name(row);
            printf("%c %c %u %s %llu %s\n", row.m_bDirectory ? 'd' : 'r', row.m_bDeleted ? '*' : '-',
                   row.m_dwEntry, StateText(row.m_eState, row.m_byFreePercent).c_str(), static_cast<unsigned long long>(row.m_n64Size),
                   strPath.c_str());
        }
        return 0;
    }
    size_t m_nRows = 0;

private:
    const fat::CFatVolume& m_volume;
    bool m_bQuiet;
};

int WriteData(fat::CFatVolume& volume, DWORD dwEntry)
{
    fat::CFatData data;
    if (DWORD dwError = volume.OpenData(dwEntry, data))
    {
        fprintf(stderr, "cannot open the data of entry %u: %u\n", dwEntry, dwError);
        return 1;
    }
    std::vector<BYTE> vecBuffer(1 << 20);
    for (ULONGLONG n64Off = 0; n64Off < data.Size();)
    {
        const size_t nPart = static_cast<size_t>(std::min<ULONGLONG>(vecBuffer.size(), data.Size() - n64Off));
        if (DWORD dwError = data.Read(n64Off, vecBuffer.data(), nPart))
        {
            fprintf(stderr, "read failed at %llu: %u\n", static_cast<unsigned long long>(n64Off), dwError);
            return 1;
        }
        fwrite(vecBuffer.data(), 1, nPart, stdout);
        n64Off += nPart;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
    {
        fprintf(stderr, "usage: %s IMAGE [BYTE_OFFSET] [--data ENTRY | --count]\n", argv[0]);
        return 2;
    }
    const ULONGLONG n64Offset = argc > 2 ? strtoull(argv[2], nullptr, 0) : 0;
    HANDLE hDisk = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                               nullptr);
    if (hDisk == INVALID_HANDLE_VALUE)
    {
        fprintf(stderr, "cannot open %s: %u\n", argv[1], GetLastError());
        return 1;
    }
    fat::CFatVolume volume;
    DWORD dwError = volume.Open(hDisk, n64Offset, 512);
    int nResult = 0;
    if (dwError != 0)
    {
        fprintf(stderr, "not a FAT or exFAT volume: %u\n", dwError);
        nResult = 1;
    }
    else if (argc > 4 && strcmp(argv[3], "--data") == 0)
    {
        CPrintSink sink(volume, true);
        std::atomic<BYTE> bStop{0};
        dwError = volume.Walk(sink, bStop);
        nResult = dwError ? 1 : WriteData(volume, static_cast<DWORD>(strtoul(argv[4], nullptr, 0)));
    }
    else
    {
        CPrintSink sink(volume, argc > 3 && strcmp(argv[3], "--count") == 0);
        std::atomic<BYTE> bStop{0};
        dwError = volume.Walk(sink, bStop);
        if (dwError)
            fprintf(stderr, "the walk ended with %u\n", dwError);
        printf("%zu rows\n", sink.m_nRows);
        nResult = dwError ? 1 : 0;
    }
    CloseHandle(hDisk);
    return nResult;
}
