// A whole small volume: the input is the disk, the volume starts at sector
// 0. It is opened by CNTFSDrive and, when that succeeds, records are
// described and read the way the scan and the save do.
#include "FuzzDisk.h"

#include "ntfs/NTFSDrive.h"

#include <cstring>

using fuzzdisk::CFuzzDisk;

namespace
{

// Enough to walk every record of a small volume; a table blown up by a
// hostile run list is walked only this far, to keep one input quick.
const DWORD kMaxRecords = 256;
// Every record may read its data: a few MB each keeps one input quick.
const ULONGLONG kAllocationCap = 4ull << 20;

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
        FUZZ_CHECK(static_cast<ULONGLONG>(dwCount) * drive.m_dwRecordSize <= drive.m_dwTableLength);
        fuzzdisk::TouchAll(drive.m_pTable, drive.m_dwTableLength);
        MFTEntryInfo info;
        FUZZ_CHECK(drive.GetEntryInfo(dwCount, info) == ERROR_NO_MORE_FILES);
        for (DWORD i = 0; i < dwCount && i < kMaxRecords; ++i)
        {
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
                delete[] pRecordData;
            }
            else
            {
                FUZZ_CHECK(pRecordData == reinterpret_cast<BYTE*>(&info) && dwLength == 12345);
            }
        }
    }
    CloseHandle(hDisk);
    return 0;
}
