// A walk over every record of a volume, done the way the scan and the save
// do it, that records each answer and the time it took.
#pragma once

#include "support/NtfsImage.h"

#include "ntfs/NTFSDrive.h"
#include "platform/FaultInjection.h"

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace salvix_test
{

// Anything that touches a damaged disk must be over within this time, even
// in a sanitizer build on a busy machine.
const double kTimeBoundSeconds = 10.0;

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
    walk.m_dwOpen = OpenVolumeOn(drive, hDisk, dwFirstSector);
    if (walk.m_dwOpen == 0)
    {
        walk.m_dwCount = drive.GetRecordCount();
        for (DWORD i = 0; i < walk.m_dwCount; ++i)
            walk.m_mapRecords[i] = AskRecord(drive, i);
    }
    walk.m_dSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return walk;
}

}  // namespace salvix_test
