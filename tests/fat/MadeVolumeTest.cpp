// FAT12, FAT16, FAT32 and exFAT volumes made here by the file systems' own
// tools, walked and read by the FAT layer and checked against The Sleuth Kit
// on the same bytes: fls names every entry, icat reads the data, istat and
// blkls say where a deleted file starts and which sectors are in use now.
#include "FatTestSupport.h"

#include "SleuthFat.h"
#include "support/SleuthKit.h"

#include <set>
#include <sstream>

using namespace salvix_test;

namespace
{

// Sectors per cluster, as fsstat gives them.
uint64_t SectorsPerCluster(const std::string& strImage)
{
    const CProcessResult fsstat = RunProcess({"fsstat", strImage});
    const size_t nSector = fsstat.m_strOutput.find("Sector Size: ");
    const size_t nCluster = fsstat.m_strOutput.find("Cluster Size: ");
    if (!fsstat.Ok() || nSector == std::string::npos || nCluster == std::string::npos)
        return 0;
    return std::stoull(fsstat.m_strOutput.substr(nCluster + 14)) / std::stoull(fsstat.m_strOutput.substr(nSector + 13));
}

// fls lines that name files and folders (not the label, the metadata files
// or the virtual entries); fls runs once per image.
const std::vector<CFlsEntry>& NamedEntries(const std::string& strImage)
{
    static std::map<std::string, std::vector<CFlsEntry>> s_mapNamed;
    auto it = s_mapNamed.find(strImage);
    if (it != s_mapNamed.end())
        return it->second;
    std::vector<CFlsEntry>& vecNamed = s_mapNamed[strImage];
    EXPECT_TRUE(FlsFatFiles(strImage, 0, vecNamed));
    return vecNamed;
}

class MadeVolume : public CMadeVolumeTest
{
protected:
    void SetUp() override
    {
        CMadeVolumeTest::SetUp();
        if (!Ready())
            return;
        m_pDisk.reset(new CHandle(OpenImage(m_strImage)));
        m_walk = WalkImage(m_volume, *m_pDisk);
        ASSERT_EQ(m_walk.m_dwOpen, 0u);
        ASSERT_EQ(m_walk.m_dwWalk, 0u);
        m_vecFls = NamedEntries(m_strImage);
        ASSERT_TRUE(m_sleuth.Open(m_strImage));
    }
    const CFlsEntry* FlsEntry(const std::string& strPath) const
    {
        for (const CFlsEntry& e : m_vecFls)
            if (e.m_strPath == strPath)
                return &e;
        return nullptr;
    }
    std::string Source(const std::string& strName) const { return CMadeVolumes::Get().Source(GetParam(), strName); }

    std::unique_ptr<CHandle> m_pDisk;
    fat::CFatVolume m_volume;
    CImageWalk m_walk;
    std::vector<CFlsEntry> m_vecFls;
    CSleuthFat m_sleuth;
};

TEST_P(MadeVolume, ListsWhatTheSleuthKitNamesUnderTheSameNameFolderAndMark)
{
    ASSERT_GE(m_vecFls.size(), 25u);
    EXPECT_EQ(m_walk.m_vecRows.size(), m_vecFls.size()) << "rows The Sleuth Kit does not name";
    for (const CFlsEntry& e : m_vecFls)
    {
        const CWalkedRow* pRow = m_walk.Find(e.m_strPath);
        ASSERT_NE(pRow, nullptr) << e.m_strPath;
        EXPECT_EQ(pRow->m_row.m_bDeleted, e.m_bDeleted) << e.m_strPath;
        EXPECT_EQ(pRow->m_row.m_bDirectory, e.IsDirectory()) << e.m_strPath;
    }
}

TEST_P(MadeVolume, KeepsWholeLongNamesInEveryScript)
{
    std::string strLabel = std::string(GetParam()) + "VOL";
    std::transform(strLabel.begin(), strLabel.end(), strLabel.begin(), ::toupper);
    EXPECT_EQ(m_volume.Label(), strLabel);
    const bool bExfat = std::string(GetParam()) == "exfat";
    for (const char* pszPath : {"Photos/2024/Привет мир.txt", "Photos/2024/héllo wörld.txt", "照片二〇二四.jpg",
                                "文档/子目录/Crème brûlée — recette.txt", "readme.txt", "Photos/UPPER.TXT",
                                "文档/A rather long file name that needs several long-name entries to hold it whole.dat",
                                "Archive/Old stuff/Nested deeper/Deep inside.txt"})
        EXPECT_NE(m_walk.Find(pszPath), nullptr) << pszPath;
    // mtools keeps the low 16 bits of a character beyond them (U+1F600
    // becomes U+F600); exfat-fuse keeps it whole.
    EXPECT_NE(m_walk.Find(bExfat ? "emoji 😀 smile.txt" : "emoji \xEF\x98\x80 smile.txt"), nullptr);
    const CWalkedRow* pDeep = m_walk.Find("Archive/Old stuff/Nested deeper/Deep inside.txt");
    ASSERT_NE(pDeep, nullptr);
    EXPECT_EQ(pDeep->m_strFolder, "\\Archive\\Old stuff\\Nested deeper");
}

TEST_P(MadeVolume, ReadsLiveAndUntouchedDeletedFilesAsIcatAndAsWritten)
{
    int nCompared = 0, nDeleted = 0;
    for (const CWalkedRow& row : m_walk.m_vecRows)
    {
        if (row.m_row.m_bDirectory || (row.m_row.m_eState != eRowStateLive && row.m_row.m_eState != eRowStateRecoverable))
            continue;
        const CFlsEntry* pFls = FlsEntry(row.SlashPath());
        ASSERT_NE(pFls, nullptr) << row.SlashPath();
        Bytes vecIcat, vecOurs;
        ASSERT_TRUE(m_sleuth.Data(pFls->m_n64Record, vecIcat)) << row.SlashPath();
        ASSERT_EQ(ReadEntry(m_volume, row.m_row.m_dwEntry, vecOurs), 0u) << row.SlashPath();
        EXPECT_EQ(vecOurs.size(), row.m_row.m_n64Size);
        EXPECT_TRUE(vecOurs == vecIcat) << row.SlashPath();
        // Every file of the story is kept beside the volume as written.
        Bytes vecWritten;
        if (ReadFileBytes(Source(row.m_strName), vecWritten))
        {
            EXPECT_TRUE(vecOurs == vecWritten) << row.SlashPath();
            ++nCompared;
            nDeleted += row.m_row.m_bDeleted;
        }
    }
    EXPECT_GE(nCompared, 13);
    EXPECT_GE(nDeleted, 5);  // the fragmented file, the note, the photo, the old letters
}

TEST_P(MadeVolume, StatesFollowTheSectorsInUseNow)
{
    const uint64_t n64SectorsPerCluster = SectorsPerCluster(m_strImage);
    ASSERT_NE(n64SectorsPerCluster, 0u);
    std::set<int> setStates;
    for (const CWalkedRow& row : m_walk.m_vecRows)
    {
        if (!row.m_row.m_bDeleted)
        {
            EXPECT_EQ(row.m_row.m_eState, eRowStateLive) << row.SlashPath();
            continue;
        }
        setStates.insert(row.m_row.m_eState);
        const CFlsEntry* pFls = FlsEntry(row.SlashPath());
        ASSERT_NE(pFls, nullptr) << row.SlashPath();
        const uint64_t n64First = row.m_row.m_n64Clusters ? m_sleuth.FirstSector(pFls->m_n64Record) : 0;
        ERowState eExpected = eRowStateNoData;
        if (n64First != 0)
        {
            uint64_t n64Free = 0;
            for (uint64_t n = 0; n < row.m_row.m_n64Clusters; ++n)
                n64Free += !m_sleuth.InUse(n64First + n * n64SectorsPerCluster);
            eExpected = n64Free == row.m_row.m_n64Clusters ? eRowStateRecoverable
                        : n64Free == 0                     ? eRowStateOverwritten
                                                           : eRowStatePartial;
        }
        EXPECT_EQ(row.m_row.m_eState, eExpected) << row.SlashPath();
    }
    EXPECT_TRUE(setStates.count(eRowStateRecoverable) && setStates.count(eRowStateNoData));
    EXPECT_TRUE(setStates.count(eRowStatePartial) && setStates.count(eRowStateOverwritten));
}

// The deleted file laid around a live one: its clusters in use now are
// passed over, and it reads as written, as icat reads it.
TEST_P(MadeVolume, ReadsADeletedFragmentedFileAroundTheLiveOne)
{
    const CWalkedRow* pRow = m_walk.Find("Frag/Fragmented file.bin");
    const CFlsEntry* pFls = FlsEntry("Frag/Fragmented file.bin");
    ASSERT_TRUE(pRow && pFls);
    ASSERT_TRUE(pRow->m_row.m_bDeleted);
    // Its contiguous stretch holds the live file: the state says so.
    EXPECT_EQ(pRow->m_row.m_eState, eRowStatePartial);
    Bytes vecOurs, vecIcat;
    ASSERT_EQ(ReadEntry(m_volume, pRow->m_row.m_dwEntry, vecOurs), 0u);
    ASSERT_TRUE(Icat(m_strImage, 0, std::to_string(pFls->m_n64Record), vecIcat));
    EXPECT_TRUE(vecOurs == ReadFileBytes(Source("Fragmented file.bin")));
    EXPECT_TRUE(vecOurs == vecIcat);
}

// A deleted file whose first clusters a newer file took: icat stops after
// the first cluster; the whole size is read here, the newer file's bytes
// where they are and the deleted file's own tail at its own offsets.
TEST_P(MadeVolume, ReadsAFileWhoseStartWasTakenAtItsSizeWithItsTailInPlace)
{
    const CWalkedRow* pRow = m_walk.Find("Reuse/Partly overwritten.bin");
    const CFlsEntry* pFls = FlsEntry("Reuse/Partly overwritten.bin");
    ASSERT_TRUE(pRow && pFls);
    ASSERT_EQ(pRow->m_row.m_eState, eRowStatePartial);
    EXPECT_EQ(pRow->m_row.m_byFreePercent, 50);
    Bytes vecOurs, vecIcat;
    ASSERT_EQ(ReadEntry(m_volume, pRow->m_row.m_dwEntry, vecOurs), 0u);
    ASSERT_TRUE(Icat(m_strImage, 0, std::to_string(pFls->m_n64Record), vecIcat));
    const Bytes vecWritten = ReadFileBytes(Source("Partly overwritten.bin"));
    const Bytes vecNewcomer = ReadFileBytes(Source("Newcomer large.bin"));
    ASSERT_EQ(vecOurs.size(), vecWritten.size());
    EXPECT_LT(vecIcat.size(), vecWritten.size());
    const size_t nHalf = vecWritten.size() / 2;
    EXPECT_TRUE(std::equal(vecOurs.begin() + nHalf, vecOurs.end(), vecWritten.begin() + nHalf));
    EXPECT_TRUE(std::equal(vecOurs.begin(), vecOurs.begin() + nHalf, vecNewcomer.begin() + nHalf));
}

TEST_P(MadeVolume, TimesAgreeWithTheSleuthKit)
{
    const CProcessResult fls = RunProcess({"fls", "-r", "-p", "-m", "/", "-z", "UTC", m_strImage});
    ASSERT_TRUE(fls.Ok());
    std::istringstream lines(fls.m_strOutput);
    std::string strLine;
    int nChecked = 0;
    while (std::getline(lines, strLine))
    {
        // MD5|name|inode|mode|uid|gid|size|atime|mtime|ctime|crtime
        std::vector<std::string> vecFields;
        std::istringstream fields(strLine);
        for (std::string strField; std::getline(fields, strField, '|');)
            vecFields.push_back(strField);
        if (vecFields.size() < 11)
            continue;
        std::string strPath = vecFields[1].substr(1);
        const std::string kDeleted = " (deleted)";
        if (strPath.size() > kDeleted.size() && strPath.compare(strPath.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0)
            strPath.resize(strPath.size() - kDeleted.size());
        const CWalkedRow* pRow = m_walk.Find(strPath);
        if (!pRow)
            continue;
        // Seconds since 1970 from 100-ns units since 1601. exFAT's 10-ms
        // units (up to 1.99 s) are counted here and not by The Sleuth Kit:
        // both agree on the even second the time field holds.
        const long long llOurs = static_cast<long long>(pRow->m_row.m_modification.m_n64Value / 10000000ull) - 11644473600ll;
        EXPECT_EQ(llOurs / 2 * 2, std::stoll(vecFields[8])) << vecFields[1];
        ++nChecked;
    }
    EXPECT_GE(nChecked, 25);
}

INSTANTIATE_TEST_SUITE_P(Kinds, MadeVolume, ::testing::Values("fat12", "fat16", "fat32", "exfat"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

}  // namespace
