// A whole small volume: the input is the disk, the volume starts at sector
// 0. It is opened by CNTFSDrive and, when that succeeds, records are
// examined as the scan's walk does, described, and read the way the save
// does: whole, and in pieces through the stream reader, which must give the
// same bytes, and the file's own stream alone, which must be a part of them.
#include "FuzzDisk.h"

#include "ntfs/EntryData.h"
#include "ntfs/NTFSDrive.h"

#include <algorithm>
#include <cstring>
#include <vector>

using fuzzdisk::CFuzzDisk;

namespace
{

// Enough to walk every record of a small volume; a table blown up by a
// hostile run list is walked only this far, to keep one input quick.
const DWORD kMaxRecords = 256;
// Every record may read its data: a few MB each keeps one input quick.
const ULONGLONG kAllocationCap = 4ull << 20;
// The stream reader reads this much of each record, in odd pieces.
const ULONGLONG kStreamBytes = 256ull << 10;
const size_t kPiece = 4097;

// Reads record dwIndex in pieces; where ReadEntryData gave the whole data,
// the pieces must be the same bytes, and holes must read as zeros.
void ReadInPieces(CNTFSDrive& drive, DWORD dwIndex, DWORD dwWhole, const BYTE* pWhole, DWORD dwLength)
{
    CEntryData data;
    const DWORD dwOpen = drive.OpenEntryData(dwIndex, data);
    FUZZ_CHECK(dwOpen != 0 || data.IsOpen());
    if (dwOpen != 0)
    {
        FUZZ_CHECK(dwWhole != 0);
        return;
    }
    if (dwWhole == 0)
        FUZZ_CHECK(data.Size() == dwLength);
    std::vector<BYTE> vec(kPiece);
    for (ULONGLONG n64Off = 0; n64Off < data.Size() && n64Off < kStreamBytes; n64Off += kPiece)
    {
        const ULONGLONG n64Hole = data.HoleLength(n64Off);
        const ULONGLONG n64Data = data.DataLength(n64Off);
        FUZZ_CHECK((n64Hole == 0) != (n64Data == 0));
        FUZZ_CHECK(n64Hole + n64Data <= data.Size() - n64Off);
        const size_t nCount = static_cast<size_t>(std::min<ULONGLONG>(kPiece, data.Size() - n64Off));
        const DWORD dwRead = data.Read(n64Off, vec.data(), nCount);
        if (dwRead != 0)
            return;
        for (size_t i = 0; i < nCount && i < n64Hole; ++i)
            FUZZ_CHECK(vec[i] == 0);
        if (dwWhole == 0)
            FUZZ_CHECK(memcmp(vec.data(), pWhole + n64Off, nCount) == 0);
    }
    FUZZ_CHECK(data.Read(data.Size(), vec.data(), 1) == ERROR_HANDLE_EOF);
}

// The file's own bytes: unnamed streams only, never more than every stream
// together.
void ReadFileStream(CNTFSDrive& drive, DWORD dwIndex, ULONGLONG n64AllStreams)
{
    CEntryData data;
    if (drive.OpenFileStream(dwIndex, data) != 0)
        return;
    for (size_t i = 0; i < data.StreamCount(); ++i)
        FUZZ_CHECK(data.Stream(i).m_vecName.empty());
    if (n64AllStreams != ~0ull)
        FUZZ_CHECK(data.Size() <= n64AllStreams);
    std::vector<BYTE> vec(kPiece);
    const size_t nCount = static_cast<size_t>(std::min<ULONGLONG>(kPiece, data.Size()));
    if (data.Read(0, vec.data(), nCount) == 0)
        fuzzdisk::TouchAll(vec.data(), static_cast<DWORD>(nCount));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    static CFuzzDisk s_disk(kAllocationCap);
    if (nSize > 1u << 20)
        return 0;
    s_disk.Load(pData, nSize);
    HANDLE hDisk = s_disk.Open();

    CNTFSDrive drive;
    drive.AttachDevice(hDisk);
    drive.SetVolumeStart(0, 512);
    const DWORD dwOpen = drive.OpenVolume();
    if (dwOpen != 0)
    {
        FUZZ_CHECK(!drive.m_bOpened);
        MFTEntryInfo info;
        FUZZ_CHECK(drive.GetEntryInfo(0, info) == ERROR_INVALID_ACCESS);
    }
    else
    {
        FUZZ_CHECK(drive.m_bOpened && drive.m_dwRecordSize >= 1024);
        const DWORD dwCount = drive.GetRecordCount();
        FUZZ_CHECK(static_cast<ULONGLONG>(dwCount) * drive.m_dwRecordSize <= drive.TableBytes());
        FUZZ_CHECK(drive.TableMemory() <= CTableReader::kMaxHeldBytes);
        // Half the inputs walk with the table read ahead in windows, as a
        // scan walks; the others query record by record through the cache.
        if (pData[nSize - 1] & 1)
            drive.StartReadAhead(0, nullptr);
        MFTEntryInfo info;
        FUZZ_CHECK(drive.GetEntryInfo(dwCount, info) == ERROR_NO_MORE_FILES);
        for (DWORD i = 0; i < dwCount && i < kMaxRecords; ++i)
        {
            MFTEntryDetails details;
            memset(&info, 0x5A, sizeof(info));
            // The walk's answer: a description only for a file record.
            const ntfs::ERecordKind eKind = drive.ExamineRecord(i, info, details);
            if (eKind == ntfs::ERecordKind::eFile)
                FUZZ_CHECK(memchr(info.szName, 0, sizeof(info.szName)) != nullptr);
            else
                FUZZ_CHECK(static_cast<BYTE>(info.szName[0]) == 0x5A);
            memset(&info, 0x5A, sizeof(info));
            const DWORD dwInfo = drive.GetEntryInfo(i, info);
            if (dwInfo == 0)
            {
                FUZZ_CHECK(memchr(info.szName, 0, sizeof(info.szName)) != nullptr);
                FUZZ_CHECK(info.n64Clusters != 0 && info.bNotInUse <= 1);
            }
            else
            {
                // A failed query leaves the caller's record as it was.
                FUZZ_CHECK(static_cast<BYTE>(info.szName[0]) == 0x5A);
            }
            BYTE* pRecordData = reinterpret_cast<BYTE*>(&info);
            DWORD dwLength = 12345;
            const DWORD dwRead = drive.ReadEntryData(i, pRecordData, dwLength);
            if (dwRead == 0)
            {
                FUZZ_CHECK(pRecordData != nullptr && pRecordData != reinterpret_cast<BYTE*>(&info));
                fuzzdisk::TouchAll(pRecordData, dwLength);
                ReadInPieces(drive, i, dwRead, pRecordData, dwLength);
                ReadFileStream(drive, i, dwLength);
                delete[] pRecordData;
            }
            else
            {
                FUZZ_CHECK(pRecordData == reinterpret_cast<BYTE*>(&info) && dwLength == 12345);
                ReadInPieces(drive, i, dwRead, nullptr, 0);
                ReadFileStream(drive, i, ~0ull);
            }
        }
    }
    drive.StopReadAhead();  // nothing may read through the handle once it is closed
    CloseHandle(hDisk);
    return 0;
}
