// Damaged volumes: a made FAT16 or exFAT volume with one thing broken, read
// to the end without a crash, a hang or a row twice; the codes say what
// could not be had. Faults of the disk come through the platform's seam.
#include "BrokenCopy.h"

#include "platform/FaultInjection.h"
#include "support/NtfsImage.h"

#include <algorithm>
#include <functional>
#include <set>

using namespace salvix_test;

namespace
{

void ExpectNoRowTwice(const CImageWalk& walk)
{
    std::set<std::string> setSeen;
    for (const CWalkedRow& row : walk.m_vecRows)
        EXPECT_TRUE(setSeen.insert(row.m_strFolder + "|" + row.m_strName).second) << row.SlashPath();
}

struct CHostileCase
{
    const char* m_pszWhat;
    // Breaks the copy; returns the path of the row whose data is then read.
    std::function<std::string(CBrokenCopy&)> m_fnBreak;
    DWORD m_dwOpenData;    // OpenData's code for that row
    size_t m_nMinRows;     // the walk still lists at least this many rows
};

TEST(HostileFat16, EndsCleanlyAndSaysWhatItCouldNotRead)
{
    CBrokenCopy copy("fat16");
    ASSERT_TRUE(copy.m_strMissing.empty()) << copy.m_strMissing;
    const size_t nIntact = copy.m_intact.m_vecRows.size();
    ASSERT_GE(nIntact, 25u);
    const CHostileCase kCases[] = {
        {"a loop in a live file's chain",
         [](CBrokenCopy& c) {
             const DWORD dwFirst = c.Row("照片二〇二四.jpg").m_row.m_dwFirstCluster;
             PutLE(c.m_vecImage.data() + c.FatEntryAt(dwFirst + 1), dwFirst, 2);
             return std::string("照片二〇二四.jpg");
         },
         ERROR_FILE_CORRUPT, nIntact},
        {"a chain that ends before the size",
         [](CBrokenCopy& c) {
             const DWORD dwFirst = c.Row("照片二〇二四.jpg").m_row.m_dwFirstCluster;
             PutLE(c.m_vecImage.data() + c.FatEntryAt(dwFirst), 0xFFFF, 2);
             return std::string("照片二〇二四.jpg");
         },
         ERROR_FILE_CORRUPT, nIntact},
        {"a first cluster past the volume",
         [](CBrokenCopy& c) {
             PutLE(c.m_vecImage.data() + Find(c.m_vecImage, "UPPER   TXT") + 26, 0xFFF0, 2);
             return std::string("Photos/UPPER.TXT");
         },
         ERROR_FILE_CORRUPT, nIntact},
        {"a folder that points to its parent",
         [](CBrokenCopy& c) {
             const DWORD dwPhotos = c.Row("Photos").m_row.m_dwFirstCluster;
             PutLE(c.m_vecImage.data() + Find(c.m_vecImage, "2024       ") + 26, dwPhotos, 2);
             return std::string("Photos/UPPER.TXT");
         },
         0, nIntact - 4},
        {"a folder whose chain loops on itself",
         [](CBrokenCopy& c) {
             const DWORD dw = c.Row("Photos/2024").m_row.m_dwFirstCluster;
             PutLE(c.m_vecImage.data() + c.FatEntryAt(dw), dw, 2);
             return std::string("Photos/2024/Привет мир.txt");
         },
         0, nIntact},
        {"a root full of noise",
         [](CBrokenCopy& c) {
             const ULONGLONG n64Root = c.m_boot.m_n64RootSector * 512;
             for (ULONGLONG n = 0; n < 32u * c.m_boot.m_dwRootEntries; ++n)
                 c.m_vecImage[n64Root + n] = static_cast<BYTE>(n * 131 + 7);
             return std::string();
         },
         0, 0},
    };
    for (const CHostileCase& k : kCases)
    {
        CBrokenCopy broken(copy);
        const std::string strRow = k.m_fnBreak(broken);
        CScratchFile file;
        fat::CFatVolume volume;
        const CImageWalk walk = broken.Walk(volume, file);
        ASSERT_EQ(walk.m_dwOpen, 0u) << k.m_pszWhat;
        EXPECT_EQ(walk.m_dwWalk, 0u) << k.m_pszWhat;
        EXPECT_GE(walk.m_vecRows.size(), k.m_nMinRows) << k.m_pszWhat;
        EXPECT_LE(walk.m_vecRows.size(), nIntact + 2000) << k.m_pszWhat;
        ExpectNoRowTwice(walk);
        if (strRow.empty())
            continue;
        const CWalkedRow* pRow = walk.Find(strRow);
        ASSERT_NE(pRow, nullptr) << k.m_pszWhat;
        CHandle disk(OpenImage(file.Path()));
        volume.SetDevice(disk);
        Bytes vecData;
        EXPECT_EQ(ReadEntry(volume, pRow->m_row.m_dwEntry, vecData), k.m_dwOpenData) << k.m_pszWhat;
    }
}

// A deleted folder whose first cluster is in use now: overwritten, nothing
// below it is listed; still holding its entries, they are listed under a
// path that says it cannot be sure.
TEST(HostileFat16, ADeletedFolderWhoseClusterIsTaken)
{
    CBrokenCopy copy("fat16");
    ASSERT_TRUE(copy.m_strMissing.empty()) << copy.m_strMissing;
    for (bool bOverwritten : {true, false})
    {
        CBrokenCopy broken(copy);
        const DWORD dw = broken.Row("Archive/Old stuff").m_row.m_dwFirstCluster;
        if (bOverwritten)
            memset(broken.m_vecImage.data() + broken.ClusterAt(dw), 0x41, 512);
        PutLE(broken.m_vecImage.data() + broken.FatEntryAt(dw), 0xFFFF, 2);
        CScratchFile file;
        fat::CFatVolume volume;
        const CImageWalk walk = broken.Walk(volume, file);
        const CWalkedRow* pFolder = walk.Find("Archive/Old stuff");
        ASSERT_NE(pFolder, nullptr);
        EXPECT_EQ(pFolder->m_row.m_eState, eRowStateOverwritten);
        EXPECT_EQ(walk.Find("Archive/Old stuff/Old letter one.txt"), nullptr);
        int nUncertain = 0;
        for (const CWalkedRow& row : walk.m_vecRows)
            nUncertain += row.m_strFolder.rfind("?\\Archive\\Old stuff", 0) == 0;
        // Two letters, the folder below and what it holds.
        EXPECT_EQ(nUncertain, bOverwritten ? 0 : 4) << bOverwritten;
        EXPECT_EQ(walk.m_vecRows.size(), copy.m_intact.m_vecRows.size() - (bOverwritten ? 4 : 0));
    }
}

TEST(HostileFat16, TruncatedImages)
{
    CBrokenCopy copy("fat16");
    ASSERT_TRUE(copy.m_strMissing.empty()) << copy.m_strMissing;
    const ULONGLONG n64Data = copy.m_boot.m_n64DataSector * 512;
    struct
    {
        ULONGLONG m_n64Length;
        DWORD m_dwOpen;
    } const kCases[] = {
        {100, ERROR_HANDLE_EOF},           // not even the boot sector
        {2048, ERROR_HANDLE_EOF},          // the FAT cut
        {n64Data + 4096, 0},               // the root whole, most folders gone
        {copy.m_vecImage.size() / 2, 0},
    };
    for (const auto& k : kCases)
    {
        CScratchFile file;
        WriteFileBytes(file.Path(), Bytes(copy.m_vecImage.begin(), copy.m_vecImage.begin() + k.m_n64Length));
        CHandle disk(OpenImage(file.Path()));
        fat::CFatVolume volume;
        const CImageWalk walk = WalkImage(volume, disk);
        EXPECT_EQ(walk.m_dwOpen, k.m_dwOpen) << k.m_n64Length;
        if (walk.m_dwOpen != 0)
            continue;
        EXPECT_EQ(walk.m_dwWalk, 0u);
        ExpectNoRowTwice(walk);
        // Every row's data reads whole or fails with a code, none beyond the image.
        for (const CWalkedRow& row : walk.m_vecRows)
        {
            Bytes vecData;
            const DWORD dwRead = ReadEntry(volume, row.m_row.m_dwEntry, vecData);
            EXPECT_TRUE(dwRead == 0 || dwRead == ERROR_HANDLE_EOF || dwRead == ERROR_FILE_CORRUPT) << dwRead;
        }
    }
}

TEST(HostileFat16, DiskFaultsAndStops)
{
    const std::string strImage = CMadeVolumes::Get().Image("fat16");
    ASSERT_TRUE(CMadeVolumes::Get().Missing("fat16").empty());
    CHandle disk(OpenImage(strImage));
    fat::CFatVolume volume;
    const CImageWalk intact = WalkImage(volume, disk);
    ASSERT_EQ(intact.m_dwWalk, 0u);
    const fat::CFatBoot boot = volume.Boot();

    // A failing read of the FAT fails the open with the disk's code.
    SetDeviceFault({CDeviceFault::eReadError, boot.m_n64FatSector * 512 + 10, ERROR_CRC});
    EXPECT_EQ(volume.Open(disk, 0, 512), static_cast<DWORD>(ERROR_CRC));
    EXPECT_FALSE(volume.IsOpen());
    ClearFaults();

    // A folder that cannot be read is left out; the rest is listed.
    const CWalkedRow* pFolder = intact.Find("Photos/2024");
    ASSERT_NE(pFolder, nullptr);
    const ULONGLONG n64Folder = boot.m_n64DataSector * 512 + (pFolder->m_row.m_dwFirstCluster - 2ull) * boot.m_dwClusterSize;
    SetDeviceFault({CDeviceFault::eReadError, n64Folder + 100, ERROR_CRC});
    const CImageWalk faulty = WalkImage(volume, disk);
    ClearFaults();
    EXPECT_EQ(faulty.m_dwWalk, 0u);
    EXPECT_EQ(faulty.Find("Photos/2024/Привет мир.txt"), nullptr);
    EXPECT_NE(faulty.Find("文档/子目录/Crème brûlée — recette.txt"), nullptr);

    // A failing read of a file's data is the read's code.
    const CWalkedRow* pFile = faulty.Find("照片二〇二四.jpg");
    ASSERT_NE(pFile, nullptr);
    const ULONGLONG n64File = boot.m_n64DataSector * 512 + (pFile->m_row.m_dwFirstCluster - 2ull) * boot.m_dwClusterSize;
    SetDeviceFault({CDeviceFault::eReadError, n64File + 700, ERROR_CRC});
    Bytes vecData;
    EXPECT_EQ(ReadEntry(volume, pFile->m_row.m_dwEntry, vecData), static_cast<DWORD>(ERROR_CRC));
    ClearFaults();

    // A stop before the walk, and a sink that says stop.
    std::atomic<BYTE> bStop{1};
    CRowCollector sink(volume);
    EXPECT_EQ(volume.Walk(sink, bStop), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    EXPECT_EQ(sink.m_nBatches, 1);
    EXPECT_TRUE(sink.m_vecRows.empty());
    bStop = 0;
    CRowCollector refusing(volume);
    refusing.m_dwAnswer = ERROR_BUSY;
    EXPECT_EQ(volume.Walk(refusing, bStop), static_cast<DWORD>(ERROR_BUSY));
    EXPECT_EQ(refusing.m_nBatches, 1);
}

}  // namespace
