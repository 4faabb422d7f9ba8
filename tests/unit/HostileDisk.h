// Whole disks made by hand for the robustness tests: a master boot record,
// an NTFS volume with its boot sector and master file table, and whatever
// damage a test writes over them. Also a walk over every record, done the
// way the scan and the save do it, that records each answer and the time.
#pragma once

#include "support/NtfsImage.h"

#include "ntfs/NTFSDrive.h"
#include "platform/FaultInjection.h"

#include <chrono>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace hostile
{

using testimg::CRecordImage;
using testimg::CScratchFile;
using testimg::FileNameValue;
using testimg::PutLE;
using testimg::StandardInfoValue;

using testimg::Runs;

// Anything that touches a damaged disk must be over within this time, even
// in a sanitizer build on a busy machine.
const double kTimeBoundSeconds = 10.0;

using CDiskSpec = testimg::CDiskSpec;
using CHostileDisk = testimg::CTestDisk;

// Closes a handle when it goes.
class CHandle
{
public:
    explicit CHandle(HANDLE h) : m_h(h) {}
    ~CHandle()
    {
        if (m_h != INVALID_HANDLE_VALUE)
            CloseHandle(m_h);
    }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;
    operator HANDLE() const { return m_h; }

private:
    HANDLE m_h;
};

// Writes a partition table sector: (type, first sector) entries, 1000
// sectors each, the rest empty.
inline void WritePartitionTable(CScratchFile& file, ULONGLONG n64Sector,
                                const std::vector<std::pair<BYTE, DWORD>>& vecEntries)
{
    std::vector<BYTE> vec(512, 0);
    for (size_t i = 0; i < vecEntries.size() && i < 4; ++i)
    {
        vec[446 + 16 * i + 4] = vecEntries[i].first;
        PutLE(vec, 446 + 16 * i + 8, vecEntries[i].second, 4);
        PutLE(vec, 446 + 16 * i + 12, 1000, 4);
    }
    vec[510] = 0x55;
    vec[511] = 0xAA;
    file.Write(n64Sector * 512, vec);
}

// One record's answers.
struct CRecordResult
{
    DWORD m_dwInfo = ~0u;  // GetEntryInfo's code
    std::string m_strName;
    MFTEntryInfo m_info = {};
    DWORD m_dwData = ~0u;  // ReadEntryData's code
    std::vector<BYTE> m_vecData;
};

struct CVolumeWalk
{
    DWORD m_dwOpen = ~0u;
    DWORD m_dwCount = 0;
    std::map<DWORD, CRecordResult> m_mapRecords;
    double m_dSeconds = 0;
};

// Opens the volume and asks every record of the table for its description
// and its data, as the scan and the save do.
inline CVolumeWalk WalkVolume(HANDLE hDisk, DWORD dwFirstSector)
{
    const auto start = std::chrono::steady_clock::now();
    CVolumeWalk walk;
    CNTFSDrive drive;
    drive.AttachDevice(hDisk);
    drive.SetVolumeStart(dwFirstSector, 512);
    walk.m_dwOpen = drive.OpenVolume();
    if (walk.m_dwOpen == 0)
    {
        walk.m_dwCount = drive.GetRecordCount();
        for (DWORD i = 0; i < walk.m_dwCount; ++i)
        {
            CRecordResult& result = walk.m_mapRecords[i];
            result.m_dwInfo = drive.GetEntryInfo(i, result.m_info);
            if (result.m_dwInfo == 0)
                result.m_strName = result.m_info.szName;
            BYTE* pData = nullptr;
            DWORD dwLength = 0;
            result.m_dwData = drive.ReadEntryData(i, pData, dwLength);
            if (result.m_dwData == 0)
            {
                result.m_vecData.assign(pData, pData + dwLength);
                delete[] pData;
            }
        }
    }
    walk.m_dSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return walk;
}

}  // namespace hostile
