// salvix_expectations IMAGE OUTPUT: writes what The Sleuth Kit says of a disk
// image (its partitions, every listed record of each NTFS volume on it and
// every entry of each FAT volume)
// in the form the Windows tests read (see Expectations.h). Runs on Linux.
#include "Expectations.h"
#include "support/SleuthKit.h"

#include <tsk/libtsk.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace
{
const uint32_t kFirstListedRecord = 30;
const unsigned kTypeNtfs = 0x07;

bool IsFatType(unsigned nType)
{
    return nType == 0x01 || nType == 0x04 || nType == 0x06 || nType == 0x0B || nType == 0x0C || nType == 0x0E;
}

// Every entry fls names on the FAT volume at dwFirstSector, with icat's bytes for its files.
bool ExpectFat(const char* pszImage, uint32_t dwFirstSector, std::vector<CExpectedFatEntry>& vecEntries)
{
    std::vector<salvix_test::CFlsEntry> vecFls;
    if (!salvix_test::FlsFatFiles(pszImage, dwFirstSector, vecFls))
        return false;
    for (const salvix_test::CFlsEntry& e : vecFls)
    {
        CExpectedFatEntry entry;
        entry.m_dwFirstSector = dwFirstSector;
        entry.m_bDeleted = e.m_bDeleted;
        entry.m_bDirectory = e.IsDirectory();
        entry.m_strPath = e.m_strPath;
        std::vector<uint8_t> vecData;
        entry.m_bData = !entry.m_bDirectory &&
                        salvix_test::Icat(pszImage, dwFirstSector, std::to_string(e.m_n64Record), vecData);
        entry.m_dwDataLength = static_cast<uint32_t>(vecData.size());
        entry.m_n64DataHash = DataHash(vecData.data(), vecData.size());
        vecEntries.push_back(entry);
    }
    return true;
}

// The partitions in the order of their first sectors, with the type byte
// that The Sleuth Kit names as "(0xNN)" at the end of its description.
bool ReadPartitions(const char* pszImage, std::vector<CExpectedPartition>& vecPartitions)
{
    TSK_IMG_INFO* pImage = tsk_img_open_sing(pszImage, TSK_IMG_TYPE_RAW, 512);
    TSK_VS_INFO* pVs = pImage ? tsk_vs_open(pImage, 0, TSK_VS_TYPE_DOS) : nullptr;
    if (pVs)
    {
        for (TSK_PNUM_T i = 0; i < pVs->part_count; ++i)
        {
            const TSK_VS_PART_INFO* pPart = tsk_vs_part_get(pVs, i);
            const char* pszType = pPart && pPart->desc ? strstr(pPart->desc, "(0x") : nullptr;
            if (!pszType || !(pPart->flags & TSK_VS_PART_FLAG_ALLOC))
                continue;
            CExpectedPartition partition;
            partition.m_dwFirstSector = static_cast<uint32_t>(pPart->start);
            partition.m_nType = static_cast<unsigned>(strtoul(pszType + 1, nullptr, 16));
            partition.m_n64Sectors = pPart->len;
            vecPartitions.push_back(partition);
        }
        tsk_vs_close(pVs);
    }
    if (pImage)
        tsk_img_close(pImage);
    return pVs != nullptr;
}

// What GetEntryInfo and ReadEntryData must give for one record.
CExpectedRecord Expect(CSleuthVolume& sleuth, uint32_t dwRecord)
{
    CExpectedRecord expected;
    expected.m_dwRecord = dwRecord;
    std::vector<uint8_t> raw;
    if (!sleuth.RawRecord(dwRecord, raw) || memcmp(raw.data(), "FILE", 4) != 0)
        return expected;
    const SleuthRecord r = sleuth.Record(dwRecord);
    if (!r.bOpened)
    {
        expected.m_eKind = CExpectedRecord::eUnread;
        return expected;
    }
    expected.m_eKind = CExpectedRecord::eEntry;
    expected.m_strName = r.ShownName();
    expected.m_strWholeName = r.WholeName();
    expected.m_dwFlags = r.FileFlags();
    expected.m_n64Clusters = r.Clusters(sleuth.ClusterSize());
    expected.m_nNotInUse = r.bAllocated ? 0 : 1;
    expected.m_bListed = r.bAllocated || r.nFileNames > 0 || r.nDataAttributes > 0 || r.bAttributeList;
    expected.m_bData = r.strDataCaveat.empty();
    if (expected.m_bData)
    {
        expected.m_dwDataLength = static_cast<uint32_t>(r.data.size());
        expected.m_n64DataHash = DataHash(r.data.data(), r.data.size());
    }
    return expected;
}
}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
    {
        fprintf(stderr, "usage: salvix_expectations IMAGE OUTPUT\n");
        return 2;
    }
    CExpectedImage image;
    if (!ReadPartitions(argv[1], image.m_vecPartitions))
    {
        fprintf(stderr, "salvix_expectations: %s: no partition table: %s\n", argv[1], tsk_error_get());
        return 1;
    }
    for (CExpectedPartition& partition : image.m_vecPartitions)
    {
        // A FAT type byte over a volume The Sleuth Kit cannot read has nothing to expect.
        salvix_test::CFsstatInfo fatInfo;
        const bool bFat = IsFatType(partition.m_nType) && salvix_test::Fsstat(argv[1], partition.m_dwFirstSector, fatInfo);
        partition.m_bLabel = bFat;
        partition.m_strLabel = fatInfo.m_strVolumeName;
        if (bFat && !ExpectFat(argv[1], partition.m_dwFirstSector, image.m_vecFatEntries))
        {
            fprintf(stderr, "salvix_expectations: %s at %u: fls failed\n", argv[1], partition.m_dwFirstSector);
            return 1;
        }
        if (partition.m_nType != kTypeNtfs)
            continue;
        CSleuthVolume sleuth;
        std::string strError;
        if (!sleuth.Open(argv[1], partition.m_dwFirstSector, strError))
        {
            fprintf(stderr, "salvix_expectations: %s at %u: %s\n", argv[1], partition.m_dwFirstSector,
                    strError.c_str());
            return 1;
        }
        CExpectedVolume volume;
        volume.m_dwFirstSector = partition.m_dwFirstSector;
        volume.m_dwClusterSize = sleuth.ClusterSize();
        volume.m_dwRecordSize = sleuth.RecordSize();
        volume.m_n64Records = sleuth.RecordCount();
        salvix_test::CFsstatInfo fsstat;
        if (!salvix_test::Fsstat(argv[1], partition.m_dwFirstSector, fsstat))
        {
            fprintf(stderr, "salvix_expectations: %s at %u: fsstat failed\n", argv[1], partition.m_dwFirstSector);
            return 1;
        }
        volume.m_strLabel = fsstat.m_strVolumeName;
        for (uint64_t n = kFirstListedRecord; n < sleuth.RecordCount(); ++n)
            volume.m_vecRecords.push_back(Expect(sleuth, static_cast<uint32_t>(n)));
        image.m_vecVolumes.push_back(volume);
    }
    const std::string strText = FormatExpectations(image);
    FILE* pFile = fopen(argv[2], "wb");
    bool bWritten = pFile && fwrite(strText.data(), 1, strText.size(), pFile) == strText.size();
    if (pFile && fclose(pFile) != 0)
        bWritten = false;
    if (!bWritten)
    {
        fprintf(stderr, "salvix_expectations: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
