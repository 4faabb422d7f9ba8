// Whole disks made by hand for the robustness tests: a master boot record,
// an NTFS volume with its boot sector and master file table, and whatever
// damage a test writes over them. Also a walk over every record, done the
// way the scan and the save do it, that records each answer and the time.
#pragma once

#include "NtfsImage.h"

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

// A run list over absolute clusters, negative ones included (they are
// where a hostile list points, not holes).
inline std::vector<BYTE> Runs(const std::vector<std::pair<ULONGLONG, LONGLONG>>& vecRuns)
{
    std::vector<BYTE> vec;
    LONGLONG n64Previous = 0;
    for (const auto& run : vecRuns)
    {
        std::vector<BYTE> vecLength, vecOffset;
        ULONGLONG n64Length = run.first;
        do
        {
            vecLength.push_back(static_cast<BYTE>(n64Length));
            n64Length >>= 8;
        } while (n64Length);
        LONGLONG n64Delta = static_cast<LONGLONG>(static_cast<ULONGLONG>(run.second) -
                                                  static_cast<ULONGLONG>(n64Previous));
        n64Previous = run.second;
        for (;;)
        {
            const BYTE by = static_cast<BYTE>(n64Delta);
            vecOffset.push_back(by);
            const LONGLONG n64Rest = n64Delta >> 8;
            if ((n64Rest == 0 && !(by & 0x80)) || (n64Rest == -1 && (by & 0x80)))
                break;
            n64Delta = n64Rest;
        }
        vec.push_back(static_cast<BYTE>(vecLength.size() | (vecOffset.size() << 4)));
        vec.insert(vec.end(), vecLength.begin(), vecLength.end());
        vec.insert(vec.end(), vecOffset.begin(), vecOffset.end());
    }
    vec.push_back(0);
    return vec;
}

// Anything that touches a damaged disk must be over within this time, even
// in a sanitizer build on a busy machine.
const double kTimeBoundSeconds = 10.0;

struct CDiskSpec
{
    ULONGLONG m_n64FirstSector = 2048;
    WORD m_wBytesPerSector = 512;
    BYTE m_bySectorsPerCluster = 8;
    signed char m_chRecordCode = -10;
    DWORD m_dwRecordSize = 1024;
    // Runs of the table's data as (clusters, first cluster); empty for one
    // run at cluster 4. The table's bytes fill them in order.
    std::vector<std::pair<ULONGLONG, LONGLONG>> m_vecMftRuns;
    bool m_bMbr = true;  // a master boot record listing the volume as NTFS
};

class CHostileDisk
{
public:
    explicit CHostileDisk(const CDiskSpec& spec = CDiskSpec()) : m_spec(spec)
    {
        if (m_spec.m_vecMftRuns.empty())
            m_spec.m_vecMftRuns.push_back({0, 4});  // length set by Build
    }

    CRecordImage& Record(DWORD dwIndex)
    {
        auto it = m_records.find(dwIndex);
        if (it == m_records.end())
            it = m_records.emplace(dwIndex, CRecordImage(m_spec.m_dwRecordSize)).first;
        return it->second;
    }
    // A record stored exactly as given: no end marker, no update sequence.
    void SetRaw(DWORD dwIndex, std::vector<BYTE> vec) { m_raw[dwIndex] = std::move(vec); }

    DWORD ClusterSize() const { return static_cast<DWORD>(m_spec.m_wBytesPerSector) * m_spec.m_bySectorsPerCluster; }
    ULONGLONG VolumeOffset() const { return m_spec.m_n64FirstSector * 512; }
    ULONGLONG ClusterPosition(ULONGLONG n64Cluster) const { return VolumeOffset() + n64Cluster * ClusterSize(); }
    ULONGLONG MftPosition() const { return ClusterPosition(m_spec.m_vecMftRuns.front().second); }

    // Writes the master boot record, the boot sector and a table of
    // dwRecords records (record 0 made here unless set).
    void Build(DWORD dwRecords)
    {
        const DWORD dwCluster = ClusterSize();
        const DWORD dwTableLength = dwRecords * m_spec.m_dwRecordSize;
        if (m_spec.m_vecMftRuns.size() == 1 && m_spec.m_vecMftRuns[0].first == 0)
            m_spec.m_vecMftRuns[0].first = (dwTableLength + dwCluster - 1) / dwCluster;
        ULONGLONG n64Clusters = 0;
        for (const auto& run : m_spec.m_vecMftRuns)
            n64Clusters += run.first;

        if (!m_raw.count(0))
        {
            CRecordImage mft(m_spec.m_dwRecordSize);
            mft.AddResident(0x10, StandardInfoValue());
            mft.AddResident(0x30, FileNameValue(u"$MFT", n64Clusters * dwCluster, 6));
            mft.AddNonResident(0x80, Runs(m_spec.m_vecMftRuns), n64Clusters * dwCluster,
                               n64Clusters * dwCluster);
            m_raw[0] = mft.End().Protect().Bytes();
        }
        for (auto& entry : m_records)
            if (!m_raw.count(entry.first))
                m_raw[entry.first] = entry.second.End().Protect(static_cast<WORD>(entry.first + 1)).Bytes();

        if (m_spec.m_bMbr)
        {
            std::vector<BYTE> vecMbr(512, 0);
            vecMbr[446 + 4] = 7;
            PutLE(vecMbr, 446 + 8, m_spec.m_n64FirstSector, 4);
            PutLE(vecMbr, 446 + 12, 1u << 20, 4);
            vecMbr[510] = 0x55;
            vecMbr[511] = 0xAA;
            m_file.Write(0, vecMbr);
        }

        std::vector<BYTE> vecBoot(512, 0);
        vecBoot[0] = 0xEB;
        memcpy(vecBoot.data() + 3, "NTFS    ", 8);
        PutLE(vecBoot, 0x0B, m_spec.m_wBytesPerSector, 2);
        vecBoot[0x0D] = m_spec.m_bySectorsPerCluster;
        PutLE(vecBoot, 0x30, static_cast<ULONGLONG>(m_spec.m_vecMftRuns.front().second), 8);
        vecBoot[0x40] = static_cast<BYTE>(m_spec.m_chRecordCode);
        vecBoot[510] = 0x55;
        vecBoot[511] = 0xAA;
        m_file.Write(VolumeOffset(), vecBoot);

        // Whole clusters: the runs describe that many bytes.
        std::vector<BYTE> vecTable((dwTableLength + dwCluster - 1) / dwCluster * dwCluster, 0);
        for (auto& entry : m_raw)
            if (entry.first < dwRecords)
                std::copy(entry.second.begin(), entry.second.begin() + std::min<size_t>(entry.second.size(), m_spec.m_dwRecordSize),
                          vecTable.begin() + static_cast<size_t>(entry.first) * m_spec.m_dwRecordSize);
        // The table's bytes go into the runs in order, as far as they reach.
        size_t nDone = 0;
        LONGLONG n64Cluster = 0;
        for (const auto& run : m_spec.m_vecMftRuns)
        {
            n64Cluster = run.second;
            const size_t nRun = std::min<size_t>(run.first * dwCluster, vecTable.size() - nDone);
            if (nRun)
                m_file.Write(ClusterPosition(n64Cluster), vecTable.data() + nDone, nRun);
            nDone += nRun;
        }
    }

    HANDLE Open() const
    {
        return CreateFileA(m_file.Path().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    }
    CScratchFile& File() { return m_file; }
    const std::string& Path() const { return m_file.Path(); }
    DWORD FirstSector() const { return static_cast<DWORD>(m_spec.m_n64FirstSector); }

private:
    CDiskSpec m_spec;
    CScratchFile m_file;
    std::map<DWORD, CRecordImage> m_records;
    std::map<DWORD, std::vector<BYTE>> m_raw;
};

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
