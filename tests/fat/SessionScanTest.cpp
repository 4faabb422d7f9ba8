// FAT12, FAT16, FAT32 and exFAT volumes through the session, as every front
// end scans and saves them: a card formatted without a partition table (the
// volume at sector 0) lists every entry The Sleuth Kit names, under its name
// and folder, numbered by the walk; a save with folders writes live files
// and deleted ones whose clusters are still free as icat gives them, with
// the entry's modification time; a save reads a twin of the scanned volume.
#include "FatTestSupport.h"
#include "SleuthFat.h"

#include "fat/FatFileSystem.h"
#include "ntfs/NtfsFileSystem.h"
#include "session/FileSystems.h"
#include "session/PartitionTip.h"
#include "session/SaveRun.h"
#include "support/DiskGuard.h"
#include "support/SaveRunner.h"
#include "support/ScanSink.h"
#include "support/SleuthKit.h"
#include "support/ZoneGuard.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <ctime>

using namespace salvix_test;

namespace
{

// A zone east of UTC without summer time, written so that no zone database
// is needed: FAT's wall-clock times are read on it by both readers.
const char* const kZone = "SVX-8";
const int64_t kZoneSeconds = 8 * 3600;

class SessionOnFat : public CMadeVolumeTest
{
protected:
    void SetUp() override
    {
        CMadeVolumeTest::SetUp();
        if (!Ready())
            return;
        m_zone.Set(kZone);
        m_pGuard.reset(new CDiskGuard(m_strImage));
        ASSERT_TRUE(FlsFatFiles(m_strImage, 0, m_vecFls));
        ASSERT_TRUE(m_sleuth.Open(m_strImage));
        ASSERT_EQ(m_sink.Scan(m_session, 0), 0u);
    }
    static std::string BackslashPath(const std::string& strSlash)
    {
        std::string str = "\\" + strSlash;
        std::replace(str.begin(), str.end(), '/', '\\');
        return str;
    }
    // How many rows list the path: two deleted entries may share one.
    size_t RowsOfPath(const std::string& strPath) const
    {
        size_t nCount = 0;
        for (const CFlsEntry& e : m_vecFls)
            nCount += BackslashPath(e.m_strPath) == strPath ? 1 : 0;
        return nCount;
    }

    std::unique_ptr<CDiskGuard> m_pGuard;
    std::vector<CFlsEntry> m_vecFls;
    CSleuthFat m_sleuth;
    CScanSession m_session;
    CCollectingSink m_sink;
    CZoneGuard m_zone;
};

TEST_P(SessionOnFat, ListsEveryEntryFlsNamesNumberedByTheWalk)
{
    const CRowStore& store = m_sink.m_store;
    EXPECT_TRUE(m_sink.m_vecErrors.empty());
    EXPECT_EQ(m_sink.m_vecUnread, std::vector<DWORD>{0});
    ASSERT_GE(m_vecFls.size(), 25u);
    ASSERT_EQ(store.Size(), m_vecFls.size());
    const bool bExfat = std::string(GetParam()) == "exfat";
    DWORD dwDeleted = 0;
    for (const CFlsEntry& e : m_vecFls)
    {
        const size_t nRow = RowOfPath(store, BackslashPath(e.m_strPath));
        ASSERT_LT(nRow, store.Size()) << e.m_strPath;
        const CScanRow& row = store.Row(nRow);
        EXPECT_EQ(row.m_bNotInUse != 0, e.m_bDeleted) << e.m_strPath;
        EXPECT_EQ((row.m_byRowFlags & CScanRow::kRowDirectory) != 0, e.IsDirectory()) << e.m_strPath;
        EXPECT_EQ(store.Text(nRow, eColumnNumber), std::to_string(nRow)) << e.m_strPath;
        EXPECT_EQ(store.Text(nRow, eColumnDeleted), e.m_bDeleted ? "是" : "") << e.m_strPath;
        dwDeleted += e.m_bDeleted ? 1 : 0;
        // What the columns to come show: a file's size, its time as the
        // volume kept it (FAT: the wall clock; exFAT: UTC, which exfat-fuse
        // writes with its offset), its state.
        if (e.IsDirectory())
            continue;
        EXPECT_TRUE(row.m_byRowFlags & CScanRow::kRowHasSize) << e.m_strPath;
        EXPECT_EQ((row.m_byRowFlags & CScanRow::kRowWallClock) != 0, !bExfat) << e.m_strPath;
        EXPECT_NE(row.m_n64Modified, 0u) << e.m_strPath;
        if (!e.m_bDeleted)
            EXPECT_EQ(row.m_eState, eRowStateLive) << e.m_strPath;
        else
            EXPECT_NE(row.m_eState, eRowStateLive) << e.m_strPath;
    }
    EXPECT_EQ(m_sink.m_dwTotal, store.Size());
    EXPECT_EQ(m_sink.m_dwDeleted, dwDeleted);
    // Progress counts folders: every one was read at the end.
    ASSERT_FALSE(m_sink.m_vecProgress.empty());
    EXPECT_EQ(m_sink.m_vecProgress.back().first, m_sink.m_vecProgress.back().second);
}

TEST_P(SessionOnFat, SavedWithFoldersAsIcatGivesWithTheEntrysTime)
{
    const CRowStore& store = m_sink.m_store;
    std::vector<size_t> vecAll(store.Size());
    for (size_t n = 0; n < vecAll.size(); ++n)
        vecAll[n] = n;
    CTempDir dir;
    CSaveRun run(m_session, CSavePlan(store, vecAll, ESaveMode::eFolders), dir.Path());
    ASSERT_EQ(RunToEnd(run), CSaveRun::EStep::eDone);
    const bool bExfat = std::string(GetParam()) == "exfat";
    int nCompared = 0, nDeleted = 0, nPartial = 0;
    for (const CFlsEntry& e : m_vecFls)
    {
        const size_t nRow = RowOfPath(store, BackslashPath(e.m_strPath));
        ASSERT_LT(nRow, store.Size());
        const CScanRow& row = store.Row(nRow);
        // Names that two deleted entries share are saved under free names.
        if (e.IsDirectory() || RowsOfPath(BackslashPath(e.m_strPath)) != 1 || store.FolderText(nRow)[0] == '?')
            continue;
        Bytes vecSaved;
        const std::string strSaved = dir.Path() + "/" + e.m_strPath;
        ASSERT_TRUE(ReadFileBytes(strSaved, vecSaved)) << e.m_strPath;
        EXPECT_EQ(vecSaved.size(), row.m_n64Size) << e.m_strPath;
        if (row.m_eState == eRowStatePartial || row.m_eState == eRowStateOverwritten)
        {
            ++nPartial;
            continue;  // icat gives the newer file's first cluster alone
        }
        Bytes vecIcat;
        ASSERT_TRUE(m_sleuth.Data(e.m_n64Record, vecIcat)) << e.m_strPath;
        EXPECT_TRUE(vecSaved == vecIcat) << e.m_strPath;
        nDeleted += e.m_bDeleted ? 1 : 0;
        ++nCompared;
        struct stat st;
        ASSERT_EQ(stat(strSaved.c_str(), &st), 0);
        // The Sleuth Kit reads an exFAT time on the local zone as well, past
        // the UTC offset the entry keeps (exfat-fuse writes UTC, offset 0):
        // east of UTC its times come early by the zone's offset; and it
        // leaves out the entry's 10-ms units, up to 1.99 s.
        const int64_t n64Expected = m_sleuth.Modified(e.m_n64Record) + (bExfat ? kZoneSeconds : 0);
        const int64_t n64Late = static_cast<int64_t>(st.st_mtime) - n64Expected;
        EXPECT_TRUE(n64Late == 0 || (bExfat && n64Late == 1)) << e.m_strPath << ": " << n64Late;
    }
    EXPECT_GE(nCompared, 15);
    EXPECT_GE(nDeleted, 2);
    EXPECT_GE(nPartial, 1);
    EXPECT_EQ(run.Report().NotSaved(), 0u);
}

TEST_P(SessionOnFat, ASaveReadsItsOwnTwinWhateverTheNextScanOpens)
{
    const CRowStore& store = m_sink.m_store;
    const size_t nRow = RowOfPath(store, "\\readme.txt");
    ASSERT_LT(nRow, store.Size());
    CSaveVolume volume;
    bool bBusy = false;
    ASSERT_EQ(m_session.OpenSaveVolume(volume, INFINITE, bBusy), 0u);
    // A new scan of the same volume: the twin keeps the first walk's rows.
    CCollectingSink again;
    ASSERT_EQ(again.Scan(m_session, 0), 0u);
    m_session.CloseDevice();
    CEntryDescription desc;
    ASSERT_EQ(volume.m_pFs->Describe(store.Row(nRow).m_dwRecord, desc), 0u);
    EXPECT_EQ(desc.m_strName, "readme.txt");
    EXPECT_EQ(desc.m_strFolder, "\\");
    EXPECT_EQ(volume.m_pFs->Describe(static_cast<DWORD>(store.Size()), desc), DWORD(ERROR_NO_MORE_FILES));
    CTempDir dir;
    std::mutex lock;
    ASSERT_EQ(SaveEntry(*volume.m_pFs, lock, store.Row(nRow).m_dwRecord, dir.Path()), 0u);
    Bytes vecSaved, vecSource;
    ASSERT_TRUE(ReadFileBytes(dir.Path() + "/readme.txt", vecSaved));
    ASSERT_TRUE(ReadFileBytes(CMadeVolumes::Get().Source(GetParam(), "readme.txt"), vecSource));
    EXPECT_TRUE(vecSaved == vecSource);
}

TEST_P(SessionOnFat, TheTipGivesTheVolumesLabel)
{
    CScanTarget target;
    std::string strLabel;
    ASSERT_EQ(ReadPartitionLabel(target, strLabel), 0u);
    CFsstatInfo fsstat;
    ASSERT_TRUE(Fsstat(m_strImage, 0, fsstat));
    EXPECT_EQ(strLabel, fsstat.m_strVolumeName);
    EXPECT_FALSE(strLabel.empty());
}

INSTANTIATE_TEST_SUITE_P(Kinds, SessionOnFat, ::testing::Values("fat12", "fat16", "fat32", "exfat"));

}  // namespace

namespace
{

// The one factory: the file system a boot sector shows, or none; and the
// place a partition's volume starts at.
TEST(FileSystemFactory, PicksByTheBootSectorAndPlacesByThePartition)
{
    std::vector<std::pair<std::string, Bytes>> vecBoots;
    for (const char* pszKind : {"fat12", "fat16", "fat32", "exfat"})
    {
        if (!CMadeVolumes::Get().Missing(pszKind).empty())
            continue;
        Bytes vecBoot(512);
        std::ifstream image(CMadeVolumes::Get().Image(pszKind), std::ios::binary);
        ASSERT_TRUE(image.read(reinterpret_cast<char*>(vecBoot.data()), 512)) << pszKind;
        vecBoots.emplace_back(pszKind, vecBoot);
    }
    ASSERT_GE(vecBoots.size(), 3u);
    Bytes vecNtfs(512, 0);
    memcpy(vecNtfs.data() + 3, "NTFS    ", 8);
    vecBoots.emplace_back("ntfs", vecNtfs);
    Bytes vecOther(512, 0);
    memcpy(vecOther.data() + 3, "NTFX    ", 8);  // one byte off
    vecBoots.emplace_back("none", vecOther);
    for (const auto& [strKind, vecBoot] : vecBoots)
    {
        SCOPED_TRACE(strKind);
        const std::unique_ptr<IFileSystem> pFs = NewFileSystemFor(vecBoot.data(), vecBoot.size());
        EXPECT_EQ(pFs == nullptr, strKind == "none");
        EXPECT_EQ(dynamic_cast<CNtfsFileSystem*>(pFs.get()) != nullptr, strKind == "ntfs");
        EXPECT_EQ(dynamic_cast<CFatFileSystem*>(pFs.get()) != nullptr, strKind.compare(0, 3, "fat") == 0 || strKind == "exfat");
    }

    struct CPlaceCase
    {
        DWORD m_dwFirst32;
        ULONGLONG m_n64First;
        DWORD m_dwSectorSize;
        bool m_bFits;
        ULONGLONG m_n64Offset;
    };
    const CPlaceCase kPlaces[] = {
        {2048, 0, 0, true, 2048ull * 512},              // a record without a sector size: 512-byte sectors
        {7, 4294969344ull, 512, true, 4294969344ull * 512},  // past 2 TiB
        {0, 256, 4096, true, 256ull * 4096},
        {0, ~0ull / 512 + 1, 512, false, 0},            // past 64 bits of bytes
    };
    for (const CPlaceCase& c : kPlaces)
    {
        PartitionRecord partition = {};
        partition.dwFirstSector = c.m_dwFirst32;
        partition.qwFirstSector = c.m_n64First;
        partition.dwSectorSize = c.m_dwSectorSize;
        CVolumeGeometry geometry;
        EXPECT_EQ(GeometryOf(partition, geometry), c.m_bFits) << c.m_n64First;
        if (c.m_bFits)
        {
            EXPECT_EQ(geometry.m_n64Offset, c.m_n64Offset);
            EXPECT_EQ(geometry.m_dwSectorSize, c.m_dwSectorSize ? c.m_dwSectorSize : 512u);
        }
    }
}

}  // namespace
