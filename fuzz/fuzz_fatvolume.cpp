// A whole small FAT or exFAT volume: the input is the disk, the volume starts
// at sector 0. It is opened, walked into rows the way a scan walks it, and
// each row's data is read in pieces the way a save reads it.
#include "FuzzDisk.h"

#include "fat/FatVolume.h"

#include <algorithm>
#include <vector>

using fuzzdisk::CFuzzDisk;

namespace
{

const size_t kMaxRowsRead = 256;
const ULONGLONG kStreamBytes = 256ull << 10;
const size_t kPiece = 4097;

class CCheckingSink : public fat::IFatSink
{
public:
    explicit CCheckingSink(const fat::CFatVolume& volume) : m_volume(volume) {}
    DWORD OnRows(fat::CFatRowBatch&& batch) override
    {
        FUZZ_CHECK(batch.m_dwFirstNewFolder == m_nFolders);
        m_nFolders += batch.m_vecNewFolders.size();
        FUZZ_CHECK(m_nFolders == m_volume.FolderCount());
        for (const fat::CFatRow& row : batch.m_vecRows)
        {
            FUZZ_CHECK(row.m_dwEntry == m_nRows);
            FUZZ_CHECK(static_cast<size_t>(row.m_dwNameOffset) + row.m_wNameLength <= batch.m_strNames.size());
            FUZZ_CHECK(row.m_dwFolder < m_nFolders);
            FUZZ_CHECK(row.m_bDeleted || row.m_eState == eRowStateLive);
            FUZZ_CHECK(row.m_byFreePercent <= 100);
            ++m_nRows;
        }
        return 0;
    }
    const fat::CFatVolume& m_volume;
    size_t m_nFolders = 0;
    size_t m_nRows = 0;
};

void ReadInPieces(fat::CFatVolume& volume, DWORD dwEntry)
{
    fat::CFatData data;
    if (volume.OpenData(dwEntry, data) != 0)
    {
        FUZZ_CHECK(!data.IsOpen());
        return;
    }
    std::vector<BYTE> vec(kPiece);
    for (ULONGLONG n64Off = 0; n64Off < data.Size() && n64Off < kStreamBytes; n64Off += kPiece)
    {
        const ULONGLONG n64Hole = data.HoleLength(n64Off);
        const ULONGLONG n64Data = data.DataLength(n64Off);
        FUZZ_CHECK((n64Hole == 0) != (n64Data == 0));
        FUZZ_CHECK(n64Hole + n64Data <= data.Size() - n64Off);
        const size_t nCount = static_cast<size_t>(std::min<ULONGLONG>(kPiece, data.Size() - n64Off));
        if (data.Read(n64Off, vec.data(), nCount) != 0)
            return;
        for (size_t i = 0; i < nCount && i < n64Hole; ++i)
            FUZZ_CHECK(vec[i] == 0);
    }
    FUZZ_CHECK(data.Read(data.Size(), vec.data(), 1) == ERROR_HANDLE_EOF);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    static CFuzzDisk s_disk;
    if (nSize > 1u << 20)
        return 0;
    s_disk.Load(pData, nSize);
    HANDLE hDisk = s_disk.Open();
    fat::CFatVolume volume;
    if (volume.Open(hDisk, 0, 512) != 0)
    {
        FUZZ_CHECK(!volume.IsOpen());
        fat::CFatData data;
        FUZZ_CHECK(volume.OpenData(0, data) == ERROR_INVALID_ACCESS);
    }
    else
    {
        CCheckingSink sink(volume);
        std::atomic<BYTE> bStop{0};
        const DWORD dwWalk = volume.Walk(sink, bStop);
        FUZZ_CHECK(sink.m_nRows == volume.EntryCount());
        FUZZ_CHECK(dwWalk != ERROR_OPERATION_ABORTED);  // nothing asked it to stop
        for (size_t i = 0; i < volume.EntryCount() && i < kMaxRowsRead; ++i)
            ReadInPieces(volume, static_cast<DWORD>(i));
        fat::CFatData data;
        FUZZ_CHECK(volume.OpenData(static_cast<DWORD>(volume.EntryCount()), data) == ERROR_NO_MORE_FILES);
    }
    CloseHandle(hDisk);
    return 0;
}
