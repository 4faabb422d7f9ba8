// exFAT beside FAT: the valid data length, entry sets that no longer check
// out, a volume without its allocation bitmap; and where a volume's label
// is found. Each on a made volume with one thing changed.
#include "BrokenCopy.h"

#include "disk/ByteOrder.h"

using namespace salvix_test;

namespace
{

// The start of the entry set that names strName (UTF-16 in its first name entry).
ULONGLONG SetOf(const Bytes& vecImage, const std::u16string& strName)
{
    const Bytes vecUnits = Utf16(strName.substr(0, 15));
    const ULONGLONG n64Name = Find(vecImage, std::string(vecUnits.begin(), vecUnits.end())) - 2;
    return n64Name - 2 * fat::kDirEntrySize;  // the file entry, then the stream entry
}

void FixChecksum(Bytes& vecImage, ULONGLONG n64Set)
{
    BYTE* pSet = vecImage.data() + n64Set;
    PutLE(pSet + 2, fat::ExfatSetChecksum(pSet, pSet[1] + 1u, true), 2);
}

class ExfatVolume : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pCopy.reset(new CBrokenCopy("exfat"));
        if (!m_pCopy->m_strMissing.empty())
            GTEST_SKIP() << "no exFAT volume here: " << m_pCopy->m_strMissing;
    }
    std::unique_ptr<CBrokenCopy> m_pCopy;
    CScratchFile m_file;
    fat::CFatVolume m_volume;
};

TEST_F(ExfatVolume, KnowsItsLabelItsChecksumAndItsContiguousFiles)
{
    EXPECT_EQ(m_pCopy->m_volume.Label(), "EXFATVOL");
    EXPECT_TRUE(m_pCopy->m_volume.Boot().m_bChecksumOk);
    EXPECT_TRUE(m_pCopy->m_volume.MapKnown());
    // exfat-fuse writes a file of one run without a FAT chain.
    EXPECT_TRUE(m_pCopy->Row("照片二〇二四.jpg").m_row.m_bNoFatChain);
    // A damaged boot region still opens, and says so.
    m_pCopy->m_vecImage[300] ^= 1;
    const CImageWalk walk = m_pCopy->Walk(m_volume, m_file);
    ASSERT_EQ(walk.m_dwOpen, 0u);
    EXPECT_FALSE(m_volume.Boot().m_bChecksumOk);
}

TEST_F(ExfatVolume, ReadsZerosPastTheValidDataLength)
{
    const ULONGLONG n64Set = SetOf(m_pCopy->m_vecImage, u"照片二〇二四.jpg");
    PutLE(m_pCopy->m_vecImage.data() + n64Set + 32 + 8, 5000, 8);
    FixChecksum(m_pCopy->m_vecImage, n64Set);
    const CImageWalk walk = m_pCopy->Walk(m_volume, m_file);
    const CWalkedRow* pRow = walk.Find("照片二〇二四.jpg");
    ASSERT_NE(pRow, nullptr);
    CHandle disk(OpenImage(m_file.Path()));
    m_volume.SetDevice(disk);
    fat::CFatData data;
    ASSERT_EQ(m_volume.OpenData(pRow->m_row.m_dwEntry, data), 0u);
    EXPECT_EQ(data.Size(), 12288u);
    EXPECT_EQ(data.DataLength(0), 5000u);
    EXPECT_EQ(data.HoleLength(0), 0u);
    EXPECT_EQ(data.HoleLength(5000), 12288u - 5000);
    EXPECT_EQ(data.DataLength(5000), 0u);
    Bytes vecOurs;
    ASSERT_EQ(ReadEntry(m_volume, pRow->m_row.m_dwEntry, vecOurs), 0u);
    const Bytes vecWritten = ReadFileBytes(CMadeVolumes::Get().Source("exfat", "照片二〇二四.jpg"));
    ASSERT_EQ(vecOurs.size(), vecWritten.size());
    EXPECT_TRUE(std::equal(vecOurs.begin(), vecOurs.begin() + 5000, vecWritten.begin()));
    EXPECT_TRUE(std::all_of(vecOurs.begin() + 5000, vecOurs.end(), [](BYTE by) { return by == 0; }));
}

TEST_F(ExfatVolume, LeavesOutASetThatDoesNotCheckOutAndGoesOn)
{
    const ULONGLONG n64Set = SetOf(m_pCopy->m_vecImage, u"Привет мир.txt");
    m_pCopy->m_vecImage[n64Set + 32 + 24] ^= 0x10;  // the length, the checksum left as it was
    const CImageWalk walk = m_pCopy->Walk(m_volume, m_file);
    ASSERT_EQ(walk.m_dwWalk, 0u);
    EXPECT_EQ(walk.Find("Photos/2024/Привет мир.txt"), nullptr);
    EXPECT_NE(walk.Find("Photos/2024/héllo wörld.txt"), nullptr);
    EXPECT_NE(walk.Find("Photos/2024/Deleted photo.jpg"), nullptr);
    EXPECT_EQ(walk.m_vecRows.size(), m_pCopy->m_intact.m_vecRows.size() - 1);
}

TEST_F(ExfatVolume, WithoutItsBitmapTheStatesAreUnknown)
{
    const fat::CFatBoot& boot = m_pCopy->m_boot;
    const ULONGLONG n64Root = m_pCopy->ClusterAt(boot.m_dwRootCluster);
    for (ULONGLONG n = n64Root; n < n64Root + boot.m_dwClusterSize; n += 32)
        if (m_pCopy->m_vecImage[n] == fat::kExfatBitmap)
            m_pCopy->m_vecImage[n] = 0x01;
    const CImageWalk walk = m_pCopy->Walk(m_volume, m_file);
    ASSERT_EQ(walk.m_dwOpen, 0u);
    EXPECT_FALSE(m_volume.MapKnown());
    EXPECT_EQ(walk.m_vecRows.size(), m_pCopy->m_intact.m_vecRows.size());
    for (const CWalkedRow& row : walk.m_vecRows)
    {
        if (row.m_row.m_bDeleted && row.m_row.m_n64Clusters)
        {
            EXPECT_EQ(row.m_row.m_eState, eRowStateUnknown) << row.SlashPath();
        }
    }
    // A deleted file is then read as contiguous from its first cluster.
    Bytes vecData;
    const CWalkedRow* pRow = walk.Find("Notes/Deleted note.txt");
    ASSERT_NE(pRow, nullptr);
    CHandle disk(OpenImage(m_file.Path()));
    m_volume.SetDevice(disk);
    ASSERT_EQ(ReadEntry(m_volume, pRow->m_row.m_dwEntry, vecData), 0u);
    EXPECT_TRUE(vecData == ReadFileBytes(CMadeVolumes::Get().Source("exfat", "Deleted note.txt")));
}


// Windows writes the label in the root and leaves "NO NAME" in the boot
// sector: the root's is the one shown.
TEST(FatLabel, TheRootsOverTheBootSectors)
{
    CBrokenCopy copy("fat16");
    ASSERT_TRUE(copy.m_strMissing.empty()) << copy.m_strMissing;
    memcpy(copy.m_vecImage.data() + 43, "NO NAME    ", 11);
    CScratchFile file;
    fat::CFatVolume volume;
    ASSERT_EQ(copy.Walk(volume, file).m_dwOpen, 0u);
    EXPECT_EQ(volume.Label(), "FAT16VOL");
    // Without a label entry, "NO NAME" means none.
    const ULONGLONG n64Label = Find(copy.m_vecImage, "FAT16VOL   \x08");
    copy.m_vecImage[n64Label] = 0xE5;
    ASSERT_EQ(copy.Walk(volume, file).m_dwOpen, 0u);
    EXPECT_EQ(volume.Label(), "");
}

}  // namespace
