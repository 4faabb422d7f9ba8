// Every record from 30 to the end of the table, on volumes made at test time
// and on volumes made elsewhere, read by the core and by The Sleuth Kit:
// names, flags, clusters and deleted marks from GetEntryInfo, and the bytes
// from ReadEntryData.
#include "RealTestSupport.h"
#include "support/Disagreements.h"
#include "support/DiskGuard.h"
#include "support/TestData.h"

#include "disk/Disk.h"
#include "disk/DiskLayout.h"
#include "disk/PartitionTable.h"
#include "ntfs/NTFSDrive.h"
#include "platform/Platform.h"
#include "platform/Win32.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

using namespace salvix_test;

namespace
{
const DWORD kFirstListedRecord = 30;

size_t NameUnits(const std::vector<uint8_t>& fileName)
{
    return FileNameUnits(fileName).size();
}

bool HasUnitIn(const std::vector<uint8_t>& fileName, uint16_t wLow, uint16_t wHigh)
{
    for (uint16_t unit : FileNameUnits(fileName))
        if (unit >= wLow && unit <= wHigh)
            return true;
    return false;
}

// True when the stored record holds the name across the end of its first
// sector, where the update sequence number stands in for two of its bytes.
bool NameCrossesSectorEnd(const std::vector<uint8_t>& raw, const std::vector<uint8_t>& fileName)
{
    const size_t cbName = 2 * NameUnits(fileName);
    if (cbName == 0 || fileName.size() < 0x42 + cbName || raw.size() < 0x200)
        return false;
    const uint8_t* pName = fileName.data() + 0x42;
    for (size_t off = 0x38; off < 0x1FE && off + cbName <= raw.size(); ++off)
    {
        if (off + cbName <= 0x200)
            continue;
        bool bMatch = true;
        for (size_t k = 0; k < cbName && bMatch; ++k)
        {
            size_t pos = off + k;
            bool bGuarded = pos % 512 == 510 || pos % 512 == 511;
            bMatch = bGuarded || raw[pos] == pName[k];
        }
        if (bMatch)
            return true;
    }
    return false;
}

// Where two names part, with a little of each around that place.
std::string NameDifference(const std::string& strGot, const std::string& strExpected)
{
    size_t i = 0;
    while (i < strGot.size() && i < strExpected.size() && strGot[i] == strExpected[i])
        ++i;
    size_t nFrom = i > 24 ? i - 24 : 0;
    return "\"" + std::string(nFrom ? "..." : "") + Printable(strGot.substr(nFrom, 48)) + "\" (" +
           std::to_string(strGot.size()) + " bytes), expected \"" + std::string(nFrom ? "..." : "") +
           Printable(strExpected.substr(nFrom, 48)) + "\" (" + std::to_string(strExpected.size()) +
           " bytes); they part at byte " + std::to_string(i);
}

struct VolumeStats
{
    int nRecords = 0;
    int nCompared = 0;          // records whose description was compared
    int nDataCompared = 0;      // records whose bytes were compared
    uint64_t n64BytesCompared = 0;
    int nNotFileRecords = 0;
    int nSleuthRejects = 0;
    int nDeleted = 0;           // records not in use
    int nDeletedFiles = 0;      // not in use, with data
    int nDeletedDirs = 0;
    int nNamedStreams = 0;
    int nSparse = 0;
    int nFragmented = 0;        // non-resident data in three runs or more
    int nResidentData = 0;
    int nNonResidentData = 0;
    int nSeveralNames = 0;
    int nAttributeLists = 0;
    int nLongNames = 0;         // 200 units or more
    int nCrossingNames = 0;
    int nWideNames = 0;
    int nLatin1Names = 0;
    int nCompressed = 0;
    int nSeveralClusters = 0;   // $FILE_NAME allocated size of two clusters or more
    std::vector<std::string> caveats;
};

class CComparison
{
public:
    CComparison(CNTFSDrive& drive, CSleuthVolume& sleuth) : m_drive(drive), m_sleuth(sleuth) {}

    void Run()
    {
        const uint64_t n64Count = m_sleuth.RecordCount();
        EXPECT_EQ(n64Count, m_drive.GetRecordCount()) << "records in the table";
        MFTEntryInfo info;
        EXPECT_EQ(ERROR_NO_MORE_FILES, m_drive.GetEntryInfo(static_cast<DWORD>(n64Count), info))
            << "one past the table";
        for (uint64_t n = kFirstListedRecord; n < n64Count; ++n)
            CompareRecord(static_cast<DWORD>(n));
        m_disagreements.Report();
    }

    const VolumeStats& Stats() const { return m_stats; }

private:
    void Mismatch(DWORD dwRecord, const std::string& strWhat) { m_disagreements.Add(dwRecord, strWhat); }

    void CompareRecord(DWORD dwRecord)
    {
        ++m_stats.nRecords;
        std::vector<uint8_t> raw;
        ASSERT_TRUE(m_sleuth.RawRecord(dwRecord, raw)) << "record " << dwRecord;
        const CRecordResult got = AskRecord(m_drive, dwRecord);
        const MFTEntryInfo& info = got.m_info;

        if (memcmp(raw.data(), "FILE", 4) != 0)
        {
            ++m_stats.nNotFileRecords;
            if (got.m_dwInfo != ERROR_INVALID_PARAMETER || got.m_dwData != ERROR_INVALID_PARAMETER)
                Mismatch(dwRecord, "not a FILE record, yet GetEntryInfo gave " + std::to_string(got.m_dwInfo) +
                                       " and ReadEntryData " + std::to_string(got.m_dwData) +
                                       " (ERROR_INVALID_PARAMETER expected)");
            return;
        }
        SleuthRecord r = m_sleuth.Record(dwRecord);
        if (!r.bOpened)
        {
            // A FILE record that The Sleuth Kit refuses: nothing to compare with.
            ++m_stats.nSleuthRejects;
            m_stats.caveats.push_back("record " + std::to_string(dwRecord) + ": The Sleuth Kit: " + r.strError);
            return;
        }
        ++m_stats.nCompared;
        if (got.m_dwInfo != 0)
        {
            Mismatch(dwRecord, "GetEntryInfo gave " + std::to_string(got.m_dwInfo));
            return;
        }
        Tally(r, raw);

        const std::string strExpected = r.ShownName();
        const std::string& strGot = got.m_strName;
        if (strGot != strExpected)
            Mismatch(dwRecord, "szName " + NameDifference(strGot, strExpected));
        if (strGot.size() >= sizeof(info.szName))
            Mismatch(dwRecord, "szName has no terminating zero");
        const DWORD dwFlags = r.FileFlags();
        if (info.dwFileFlags != dwFlags)
            Mismatch(dwRecord, "dwFileFlags " + std::to_string(info.dwFileFlags) + ", expected " + std::to_string(dwFlags));
        const int64_t n64Clusters = r.Clusters(m_sleuth.ClusterSize());
        m_stats.nSeveralClusters += n64Clusters > 1;
        if (info.n64Clusters != n64Clusters)
            Mismatch(dwRecord, "n64Clusters " + std::to_string(info.n64Clusters) + ", expected " + std::to_string(n64Clusters));
        if (info.bNotInUse != (r.bAllocated ? 0 : 1))
            Mismatch(dwRecord, "bNotInUse " + std::to_string(info.bNotInUse) + ", expected " + std::to_string(r.bAllocated ? 0 : 1));

        if (!r.strDataCaveat.empty())
        {
            m_stats.caveats.push_back("record " + std::to_string(dwRecord) + ": data not compared: " + r.strDataCaveat);
            return;
        }
        if (got.m_dwData != 0)
        {
            Mismatch(dwRecord, "ReadEntryData gave " + std::to_string(got.m_dwData));
            return;
        }
        ++m_stats.nDataCompared;
        m_stats.n64BytesCompared += r.data.size();
        if (got.m_vecData.size() != r.data.size())
        {
            Mismatch(dwRecord, "data length " + std::to_string(got.m_vecData.size()) + ", expected " +
                                   std::to_string(r.data.size()));
            return;
        }
        for (size_t i = 0; i < r.data.size(); ++i)
        {
            if (got.m_vecData[i] != r.data[i])
            {
                Mismatch(dwRecord, "data differs from byte " + std::to_string(i) + " of " + std::to_string(r.data.size()));
                break;
            }
        }
    }

    void Tally(const SleuthRecord& r, const std::vector<uint8_t>& raw)
    {
        VolumeStats& s = m_stats;
        s.nDeleted += !r.bAllocated;
        if (!r.bAllocated && r.bDirectory)
            ++s.nDeletedDirs;
        if (!r.bAllocated && !r.bDirectory && !r.data.empty())
            ++s.nDeletedFiles;
        s.nNamedStreams += r.nNamedStreams > 0;
        s.nSparse += r.bSparse;
        s.nFragmented += r.nMaxRuns >= 3;
        s.nNonResidentData += r.nNonResident > 0;
        s.nResidentData += r.nDataAttributes > r.nNonResident && !r.data.empty();
        s.nSeveralNames += r.nFileNames >= 2;
        s.nAttributeLists += r.bAttributeList;
        s.nLongNames += NameUnits(r.fileName) >= 200;
        s.nCrossingNames += NameCrossesSectorEnd(raw, r.fileName);
        s.nWideNames += HasUnitIn(r.fileName, 256, 0xFFFF);
        s.nLatin1Names += HasUnitIn(r.fileName, 0x80, 0xFF);
        s.nCompressed += r.bCompressed;
    }

    CNTFSDrive& m_drive;
    CSleuthVolume& m_sleuth;
    VolumeStats m_stats;
    CDisagreements m_disagreements;
};

// Opens one partition with the core and with The Sleuth Kit and compares
// every record; the statistics tell what the volume exercised.
VolumeStats CompareVolume(HANDLE hDevice, const std::string& strImage, ULONGLONG qwStart,
                          DWORD dwSectorSize = 512)
{
    CNTFSDrive drive;
    drive.AttachDevice(hDevice);
    drive.SetVolumeStartEx(qwStart, dwSectorSize);
    const DWORD dwOpen = drive.OpenVolume();
    EXPECT_EQ(0u, dwOpen) << strImage << " at sector " << qwStart;
    CSleuthVolume sleuth;
    std::string strError;
    const bool bSleuth = sleuth.Open(strImage, qwStart, strError, dwSectorSize);
    EXPECT_TRUE(bSleuth) << strImage << ": " << strError;
    if (dwOpen != 0 || !bSleuth)
        return VolumeStats();
    EXPECT_EQ(sleuth.RecordSize(), drive.m_dwRecordSize);
    EXPECT_EQ(sleuth.ClusterSize(), drive.m_dwClusterSize);
    CComparison comparison(drive, sleuth);
    comparison.Run();
    const VolumeStats& s = comparison.Stats();
    std::printf("%s at %llu: %d records, %d described, %d with data compared (%llu bytes), "
                "%d not FILE records, %d refused by The Sleuth Kit, %zu not compared byte for byte, "
                "%d deleted, %d of several clusters\n",
                strImage.c_str(), static_cast<unsigned long long>(qwStart), s.nRecords, s.nCompared, s.nDataCompared,
                static_cast<unsigned long long>(s.n64BytesCompared), s.nNotFileRecords,
                s.nSleuthRejects, s.caveats.size(), s.nDeleted, s.nSeveralClusters);
    for (size_t i = 0; i < s.caveats.size() && i < 12; ++i)
        std::printf("  %s\n", s.caveats[i].c_str());
    return s;
}

VolumeStats CompareImage(const char* pszImage, DWORD dwStart)
{
    const std::string strImage = ImagePath(pszImage);
    CHandle device(OpenImage(strImage));
    EXPECT_NE(INVALID_HANDLE_VALUE, static_cast<HANDLE>(device))
        << strImage << " is missing: the real_images test makes it (ctest -R real_images)";
    if (device == INVALID_HANDLE_VALUE)
        return VolumeStats();
    return CompareVolume(device, strImage, dwStart);
}

// The made volumes all hold the same tree, whatever their geometry.
void ExpectMadeVolumeContent(const VolumeStats& s, bool bSmallRecords)
{
    EXPECT_GE(s.nDeletedFiles, 8);
    EXPECT_GE(s.nDeletedDirs, 2);
    EXPECT_GE(s.nNamedStreams, 3);
    EXPECT_GE(s.nSparse, 2);
    EXPECT_GE(s.nFragmented, 3);
    EXPECT_GE(s.nResidentData, 20);
    EXPECT_GE(s.nNonResidentData, 20);
    EXPECT_GE(s.nSeveralNames, 1);
    EXPECT_GE(s.nSeveralClusters, 2);
    EXPECT_GE(s.nLongNames, 5);
    EXPECT_GE(s.nCrossingNames, 5);
    EXPECT_GE(s.nWideNames, 2);
    EXPECT_GE(s.nLatin1Names, 8);
    if (bSmallRecords)
    {
        EXPECT_GE(s.nAttributeLists, 1);
    }
    EXPECT_GE(s.nDataCompared, 150);
    EXPECT_EQ(0, s.nSleuthRejects);
}

TEST(RealVolume, Clusters4096)
{
    ExpectMadeVolumeContent(CompareImage("c4096.img", 2048), true);
}

TEST(RealVolume, Clusters512)
{
    ExpectMadeVolumeContent(CompareImage("c512.img", 63), true);
}

TEST(RealVolume, Clusters1024BeyondFourGiB)
{
    ExpectMadeVolumeContent(CompareImage("c1024.img", 8390656), true);
}

TEST(RealVolume, Sectors4096)
{
    ExpectMadeVolumeContent(CompareImage("s4096.img", 2048), false);
}

// A volume of another maker: 512-byte clusters, a sparse file, 512 directories.
TEST(RealVolume, PublicTestfs1)
{
    SALVIX_SKIP_WITHOUT_TESTDATA(SALVIX_TESTDATA_DIR "/testfs1.bin.gz");
    VolumeStats s = CompareImage("testfs1.img", 63);
    EXPECT_GE(s.nSparse, 1);
    EXPECT_GE(s.nDataCompared, 500);
    EXPECT_EQ(0, s.nSleuthRejects);
}

// A volume formatted by Windows: compressed files, many empty deleted files.
TEST(RealVolume, PublicDissect)
{
    SALVIX_SKIP_WITHOUT_TESTDATA(SALVIX_TESTDATA_DIR "/dissect-ntfs.bin.gz");
    VolumeStats s = CompareImage("dissect.img", 2048);
    EXPECT_GE(s.nCompressed, 1);
    EXPECT_GE(s.nDeleted, 200);
    EXPECT_GE(s.nDataCompared, 2000);
}

// Two records of a made volume overwritten on disk, one with zeros and one
// with a foreign signature: both give ERROR_INVALID_PARAMETER, and every other
// record still matches.
TEST(RealVolume, RecordsWithoutSignatureGive87)
{
    const std::string strSource = ImagePath("c4096.img");
    const std::string strDamaged = ImagePath("c4096-damaged.img");
    std::error_code error;
    std::filesystem::copy_file(strSource, strDamaged, std::filesystem::copy_options::overwrite_existing, error);
    ASSERT_FALSE(error) << strSource << ": " << error.message();

    // The first records of the table lie together at its first cluster.
    const CBootGeometry boot = ReadBootGeometry(strDamaged, 2048ull * 512);
    ASSERT_EQ(1024u, boot.m_dwRecordSize);
    ASSERT_TRUE(WriteFileAt(strDamaged, boot.m_n64Table + 40 * 1024, Bytes(1024, 0)));
    ASSERT_TRUE(WriteFileAt(strDamaged, boot.m_n64Table + 41 * 1024, "BAAD", 4));

    VolumeStats s = CompareImage("c4096-damaged.img", 2048);
    EXPECT_EQ(2, s.nNotFileRecords);
    EXPECT_GE(s.nDataCompared, 150);
    std::filesystem::remove(strDamaged, error);
}

// The sample disk the way the program reads it: the first disk named by
// SALVIX_DISK, its partitions from the walk, each NTFS one opened and compared.
TEST(RealVolume, SampleDiskThroughTheFirstDisk)
{
    const std::string strImage = ImagePath("sample.img");
    CDiskGuard disk(strImage);
    std::vector<std::pair<std::string, DWORD>> partitions;
    ASSERT_EQ(0u, WalkPartitionTables([&](const char* pszText, const PartitionRecord& record) {
        partitions.emplace_back(pszText, record.dwFirstSector);
    }));
    ASSERT_EQ(3u, partitions.size());
    EXPECT_EQ(0u, partitions[0].first.find("NTFS"));
    EXPECT_EQ(0u, partitions[1].first.find("FAT32"));
    EXPECT_EQ(0u, partitions[2].first.find("NTFS"));

    CHandle device(OpenFirstDisk());
    ASSERT_NE(INVALID_HANDLE_VALUE, static_cast<HANDLE>(device));
    int nDeletedWithData = 0;
    for (size_t i : {size_t(0), size_t(2)})
    {
        VolumeStats s = CompareVolume(device, strImage, partitions[i].second);
        EXPECT_GE(s.nDataCompared, 10);
        EXPECT_GE(s.nLatin1Names, 1);
        nDeletedWithData += s.nDeletedFiles;
    }
    EXPECT_GE(nDeletedWithData, 8) << "deleted files worth recovering";

    // The FAT32 partition is no NTFS volume.
    CNTFSDrive drive;
    EXPECT_EQ(ERROR_INVALID_DRIVE, OpenVolumeOn(drive, device, partitions[1].second));
}

// A GPT disk the way the program reads it: given as the disk, its partitions
// from the walk, each NTFS one opened at its 64-bit start in the disk's
// sector size and compared.
void CompareGptDisk(const char* pszImage, const std::vector<std::string>& vecExpected,
                    const std::vector<ULONGLONG>& vecStarts, DWORD dwSectorSize, bool bSmallRecords)
{
    const std::string strImage = ImagePath(pszImage);
    std::vector<std::pair<std::string, PartitionRecord>> items;
    {
        const auto disks = CDiskGuard::Given({strImage});
        ASSERT_EQ(0u, WalkPartitionTables(0, [&](const char* pszText, const PartitionRecord& record) {
            items.emplace_back(pszText, record);
        })) << strImage;
    }
    std::vector<std::string> vecTexts;
    std::vector<ULONGLONG> vecFirst;
    for (const auto& item : items)
    {
        vecTexts.push_back(item.first);
        vecFirst.push_back(item.second.qwFirstSector);
    }
    ASSERT_EQ(vecExpected, vecTexts);
    ASSERT_EQ(vecStarts, vecFirst);

    CHandle device(OpenImage(strImage));
    ASSERT_NE(INVALID_HANDLE_VALUE, static_cast<HANDLE>(device));
    for (const auto& item : items)
    {
        const PartitionRecord& record = item.second;
        EXPECT_EQ(dwSectorSize, record.dwSectorSize) << item.first;
        EXPECT_EQ(static_cast<DWORD>(record.qwFirstSector), record.dwFirstSector) << item.first;
        if (item.first.rfind("NTFS", 0) == 0)
            ExpectMadeVolumeContent(
                CompareVolume(device, strImage, record.qwFirstSector, record.dwSectorSize),
                bSmallRecords);
    }
}

TEST(RealVolume, GptDiskLikeWindows)
{
    CompareGptDisk("gpt-windows.img", {"FAT32 Drive 0", "MSR Drive 1", "NTFS Drive 2", "NTFS Drive 3"},
                   {2048, 206848, 239616, 305152}, 512, true);
}

TEST(RealVolume, GptVolumePastTwoTiB)
{
    // The low 32 bits of the second start are the first's: a start cut to
    // 32 bits would read the other volume.
    CompareGptDisk("gpt-2tib.img", {"NTFS Drive 0", "NTFS Drive 1"}, {2048, 4294969344ull}, 512, true);
}

TEST(RealVolume, GptDiskOf4096ByteSectors)
{
    CompareGptDisk("gpt-4k.img", {"NTFS Drive 0"}, {256}, 4096, false);
}
// Three disks, the middle one missing: each readable disk is walked and its
// NTFS volumes scanned through its own number, as the program does.
TEST(RealVolume, SeveralDisksOneMissing)
{
    const std::vector<std::string> vecImages = {ImagePath("gpt-windows.img"), ImagePath("absent.img"),
                                                ImagePath("gpt-4k.img")};
    const auto disks = CDiskGuard::Given(vecImages);
    const std::vector<CDiskSummary> vecDisks = ListDisks();
    ASSERT_EQ(3u, vecDisks.size());
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), vecDisks[1].m_dwError);
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND),
              WalkPartitionTables(1, [](const char*, const PartitionRecord&) {}));
    const size_t kNtfsVolumes[] = {2, 0, 1};
    for (DWORD dwDisk : {0u, 2u})
    {
        SCOPED_TRACE(DiskNodeText(vecDisks[dwDisk]));
        EXPECT_EQ(0u, vecDisks[dwDisk].m_dwError);
        std::vector<PartitionRecord> vecNtfs;
        ASSERT_EQ(0u, WalkPartitionTables(dwDisk, [&](const char* pszText, const PartitionRecord& record) {
            if (strncmp(pszText, "NTFS", 4) == 0)
                vecNtfs.push_back(record);
        }));
        ASSERT_EQ(kNtfsVolumes[dwDisk], vecNtfs.size());
        CHandle device(OpenDisk(dwDisk));
        ASSERT_NE(INVALID_HANDLE_VALUE, static_cast<HANDLE>(device));
        for (const PartitionRecord& record : vecNtfs)
            ExpectMadeVolumeContent(CompareVolume(device, vecImages[dwDisk], record.qwFirstSector,
                                                  record.dwSectorSize),
                                    record.dwSectorSize == 512);
    }
}
}  // namespace
