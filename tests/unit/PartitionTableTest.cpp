// The partition table walk over hand-written tables in image files.
#include "PartitionWalk.h"
#include "support/FaultFreeTest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace salvix_test;

namespace
{

const BYTE kEmpty = 0;
const BYTE kFat12 = 1;
const BYTE kFat16Small = 4;
const BYTE kExtended = 5;
const BYTE kFat16 = 6;
const BYTE kNtfs = 7;
const BYTE kFat32 = 11;
const BYTE kFat32Lba = 12;
const BYTE kFat16Lba = 14;
const BYTE kExtendedLba = 15;
const BYTE kOtherExtended = 133;

const CEntry kNone = Part(kEmpty, 0, 0);

class PartitionTableTest : public CFaultFreeTest
{
protected:
    void SetUp() override
    {
        CFaultFreeTest::SetUp();
        ASSERT_FALSE(m_dir.Path().empty()) << "no temporary folder";
    }

    void Image(ULONGLONG n64Sectors) { ASSERT_TRUE(MakeSparseFile(m_strImage, n64Sectors * 512)); }
    void WriteTable(ULONGLONG n64Sector, const std::vector<CEntry>& vecEntries)
    {
        ASSERT_TRUE(WritePartitionTable(m_strImage, n64Sector, vecEntries));
    }

    CTempDir m_dir;
    const std::string m_strImage = m_dir.File("disk.img");
};

TEST_F(PartitionTableTest, TypeLabels)
{
    EXPECT_STREQ(PartitionTypeLabel(1), "FAT12");
    for (BYTE byType : {4, 6, 14})
        EXPECT_STREQ(PartitionTypeLabel(byType), "FAT16") << int(byType);
    EXPECT_STREQ(PartitionTypeLabel(7), "NTFS");
    for (BYTE byType : {11, 12})
        EXPECT_STREQ(PartitionTypeLabel(byType), "FAT32") << int(byType);
    for (int nType : {2, 3, 8, 9, 10, 13})
        EXPECT_STREQ(PartitionTypeLabel(static_cast<BYTE>(nType)), "Unknown") << nType;
    for (int nType = 16; nType <= 255; ++nType)
        EXPECT_STREQ(PartitionTypeLabel(static_cast<BYTE>(nType)), "Unknown") << nType;
}

// Every walk reads each table once and the first sector of each partition it
// lists, for the file system that names it.
static ULONGLONG ReadsFor(size_t nTables, const CWalkResult& walk)
{
    return nTables + walk.m_vecItems.size();
}

TEST_F(PartitionTableTest, EmptyEntriesArePassedOver)
{
    Image(4096);
    CEntry ntfs = Part(kNtfs, 2048, 1024);
    ntfs.m_byHead = 0x21;
    ntfs.m_bySectorByte = 0xC1;  // sector 1 with cylinder bits 8-9 set: kept unsplit
    ntfs.m_byCylinderLow = 0x9A;
    WriteTable(0, {ntfs, Part(kFat32, 3072, 0xFEDCBA98), kNone, kNone});

    CWalkResult walk = WalkImage(m_strImage);
    EXPECT_EQ(walk.m_dwResult, 0u);
    EXPECT_EQ(walk.Texts(), (std::vector<std::string>{"NTFS Drive 0", "FAT32 Drive 1"}));
    EXPECT_EQ(walk.m_n64Reads, ReadsFor(1, walk));
    ASSERT_EQ(walk.m_vecItems.size(), 2u);

    const PartitionRecord& first = walk.m_vecItems[0].m_record;
    EXPECT_EQ(first.wCylinderLow, 0x9A);
    EXPECT_EQ(first.wStartHead, 0x21);
    EXPECT_EQ(first.wSectorByte, 0xC1);
    EXPECT_EQ(first.dwSectorCount, 1024u);
    EXPECT_EQ(first.wKind, 1);
    EXPECT_EQ(first.dwReserved, 0u);
    EXPECT_EQ(first.dwFirstSector, 2048u);
    EXPECT_EQ(first.dwReserved2, 0u);
    EXPECT_EQ(walk.m_vecItems[1].m_record.dwSectorCount, 0xFEDCBA98u);
    EXPECT_EQ(walk.m_vecItems[1].m_record.dwFirstSector, 3072u);

    // An empty first entry hides nothing: the entries after it are listed,
    // and the link is followed (to an extended record that is empty).
    WriteTable(0, {kNone, Part(kNtfs, 2048), Part(kFat32, 3072), Part(kExtended, 100)});
    walk = WalkImage(m_strImage);
    EXPECT_EQ(walk.m_dwResult, 0u);
    EXPECT_EQ(walk.Texts(), (std::vector<std::string>{"NTFS Drive 0", "FAT32 Drive 1"}));
    EXPECT_EQ(walk.FirstSectors(), (std::vector<DWORD>{2048, 3072}));
    EXPECT_EQ(walk.m_n64Reads, ReadsFor(2, walk));
}

TEST_F(PartitionTableTest, FourOrdinaryEntriesInMasterTable)
{
    Image(4096);
    WriteTable(0, {Part(kNtfs, 100), Part(kFat16, 200), Part(kFat32Lba, 300), Part(kFat12, 400)});
    // Not a link target; must stay unread.
    WriteTable(1, {Part(kNtfs, 9)});

    CWalkResult walk = WalkImage(m_strImage);
    EXPECT_EQ(walk.m_dwResult, 0u);
    EXPECT_EQ(walk.Texts(), (std::vector<std::string>{"NTFS Drive 0", "FAT16 Drive 1",
                                                      "FAT32 Drive 2", "FAT12 Drive 3"}));
    EXPECT_EQ(walk.FirstSectors(), (std::vector<DWORD>{100, 200, 300, 400}));
    EXPECT_EQ(walk.m_n64Reads, ReadsFor(1, walk));
}

TEST_F(PartitionTableTest, EntriesAfterALinkAreListedBeforeTheLogicalOnes)
{
    Image(8192);
    WriteTable(0, {Part(kNtfs, 63), Part(kExtended, 4000), Part(kFat32, 6000), Part(kNtfs, 7000)});
    WriteTable(4000, {Part(kFat16, 63), Part(kNtfs, 500)});

    CWalkResult walk = WalkImage(m_strImage);
    EXPECT_EQ(walk.m_dwResult, 0u);
    EXPECT_EQ(walk.Texts(), (std::vector<std::string>{"NTFS Drive 0", "FAT32 Drive 1", "NTFS Drive 2",
                                                      "FAT16 Drive 3", "NTFS Drive 4"}));
    // Logical entries are relative to the record that holds them.
    EXPECT_EQ(walk.FirstSectors(), (std::vector<DWORD>{63, 6000, 7000, 4063, 4500}));
    for (const CListed& item : walk.m_vecItems)
        EXPECT_EQ(item.m_record.wKind, 1) << item.m_strText;
    EXPECT_EQ(walk.m_n64Reads, ReadsFor(2, walk));
}

TEST_F(PartitionTableTest, ExtendedRecordEntries)
{
    Image(8192);
    WriteTable(0, {Part(kExtended, 1000)});
    // A link first: the entry after it is listed all the same.
    WriteTable(1000, {Part(kExtended, 500), Part(kNtfs, 63)});
    // Four ordinary entries: all listed, and the walk ends.
    WriteTable(1500, {Part(kNtfs, 63), Part(kFat32, 2000), Part(kFat16, 3000), Part(kFat12, 4000)});

    CWalkResult walk = WalkImage(m_strImage);
    EXPECT_EQ(walk.m_dwResult, 0u);
    EXPECT_EQ(walk.Texts(), (std::vector<std::string>{"NTFS Drive 0", "NTFS Drive 1", "FAT32 Drive 2",
                                                      "FAT16 Drive 3", "FAT12 Drive 4"}));
    EXPECT_EQ(walk.FirstSectors(), (std::vector<DWORD>{1063, 1563, 3500, 4500, 5500}));
    EXPECT_EQ(walk.m_n64Reads, ReadsFor(3, walk));

    // An empty entry ends nothing: the link after it is followed.
    WriteTable(1500, {Part(kNtfs, 63), kNone, Part(kExtended, 2000)});
    WriteTable(3000, {Part(kFat32, 63)});
    walk = WalkImage(m_strImage);
    EXPECT_EQ(walk.m_dwResult, 0u);
    EXPECT_EQ(walk.Texts(), (std::vector<std::string>{"NTFS Drive 0", "NTFS Drive 1", "FAT32 Drive 2"}));
    EXPECT_EQ(walk.FirstSectors(), (std::vector<DWORD>{1063, 1563, 3063}));
    EXPECT_EQ(walk.m_n64Reads, ReadsFor(4, walk));

    // An extended record whose first entry is empty lists its second.
    WriteTable(1500, {kNone, Part(kNtfs, 63)});
    walk = WalkImage(m_strImage);
    EXPECT_EQ(walk.m_dwResult, 0u);
    EXPECT_EQ(walk.FirstSectors(), (std::vector<DWORD>{1063, 1563}));
}

TEST_F(PartitionTableTest, TypesFiveAndFifteenLinkOtherExtendedTypesAreListed)
{
    Image(8192);
    WriteTable(0, {Part(kExtendedLba, 2000)});
    WriteTable(2000, {Part(kOtherExtended, 63), Part(kExtended, 1000)});
    WriteTable(3000, {Part(kNtfs, 63), Part(kExtendedLba, 2000)});
    WriteTable(4000, {Part(kFat32, 63)});

    CWalkResult walk = WalkImage(m_strImage);
    EXPECT_EQ(walk.m_dwResult, 0u);
    EXPECT_EQ(walk.Texts(), (std::vector<std::string>{"Unknown Drive 0", "NTFS Drive 1",
                                                      "FAT32 Drive 2"}));
    EXPECT_EQ(walk.FirstSectors(), (std::vector<DWORD>{2063, 3063, 4063}));
    EXPECT_EQ(walk.m_n64Reads, ReadsFor(4, walk));
}

TEST_F(PartitionTableTest, EveryLabelAndRunningNumberAcrossChain)
{
    Image(8192);
    WriteTable(0, {Part(kFat12, 63), Part(kFat16Small, 100), Part(kFat16, 200), Part(kExtended, 1000)});
    WriteTable(1000, {Part(kFat16Lba, 63), Part(kNtfs, 100), Part(kFat32, 200), Part(kExtended, 1000)});
    WriteTable(2000, {Part(kFat32Lba, 63), Part(2, 100), Part(13, 200), Part(255, 300)});

    CWalkResult walk = WalkImage(m_strImage);
    EXPECT_EQ(walk.m_dwResult, 0u);
    EXPECT_EQ(walk.Texts(),
              (std::vector<std::string>{"FAT12 Drive 0", "FAT16 Drive 1", "FAT16 Drive 2",
                                        "FAT16 Drive 3", "NTFS Drive 4", "FAT32 Drive 5",
                                        "FAT32 Drive 6", "Unknown Drive 7", "Unknown Drive 8",
                                        "Unknown Drive 9"}));
}

TEST_F(PartitionTableTest, SectorSums)
{
    // Extended partition at 1,000,000; its first record links to 2,000,000
    // from there, so the second record lies at 3,000,000.
    Image(3000001);
    WriteTable(0, {Part(kNtfs, 63), Part(kExtended, 1000000)});
    WriteTable(1000000, {Part(kFat32, 63), Part(kExtended, 2000000)});
    WriteTable(3000000, {Part(kNtfs, 63)});

    CWalkResult walk = WalkImage(m_strImage);
    EXPECT_EQ(walk.m_dwResult, 0u);
    EXPECT_EQ(walk.FirstSectors(), (std::vector<DWORD>{63, 1000063, 3000063}));
    EXPECT_EQ(walk.Texts(), (std::vector<std::string>{"NTFS Drive 0", "FAT32 Drive 1",
                                                      "NTFS Drive 2"}));
}

TEST_F(PartitionTableTest, SectorSumsWrapAt32Bits)
{
    // E = 0x1000; a link of 0xFFFFF800 wraps to sector 0x800.
    Image(8192);
    WriteTable(0, {Part(kExtended, 0x1000)});
    WriteTable(0x1000, {Part(kExtended, 0xFFFFF800)});
    WriteTable(0x800, {Part(kNtfs, 0x900), Part(kFat32, 0xFFFFFFFF)});

    CWalkResult walk = WalkImage(m_strImage);
    EXPECT_EQ(walk.m_dwResult, 0u);
    EXPECT_EQ(walk.FirstSectors(), (std::vector<DWORD>{0x1100, 0x7FF}));
}

TEST_F(PartitionTableTest, ExtendedRecordBeyondFourGiB)
{
    // Sector 2^23 + 1000 is byte 4 GiB + 512,000. Dropping the high half of
    // the offset would read sector 1000 instead, which holds a decoy.
    const DWORD dwBase = (1u << 23) + 1000;
    const DWORD dwSecond = dwBase + (1u << 24);  // about 12.5 GiB in
    Image(static_cast<ULONGLONG>(dwSecond) + 1);
    WriteTable(0, {Part(kNtfs, 63), Part(kExtended, dwBase)});
    WriteTable(1000, {Part(kFat12, 1)});
    WriteTable(dwBase, {Part(kFat32, 63), Part(kExtendedLba, 1u << 24)});
    WriteTable(dwSecond, {Part(kNtfs, 2048)});

    CWalkResult walk = WalkImage(m_strImage);
    EXPECT_EQ(walk.m_dwResult, 0u);
    EXPECT_EQ(walk.Texts(), (std::vector<std::string>{"NTFS Drive 0", "FAT32 Drive 1",
                                                      "NTFS Drive 2"}));
    EXPECT_EQ(walk.FirstSectors(), (std::vector<DWORD>{63, dwBase + 63, dwSecond + 2048}));
}

TEST_F(PartitionTableTest, ChainStopsAfterFiftyRecords)
{
    // Sixty records, each with one logical partition and a link to the next.
    const DWORD dwBase = 1000;
    const DWORD dwStep = 10;
    Image(dwBase + 60 * dwStep + 1);
    WriteTable(0, {Part(kFat32, 63), Part(kExtended, dwBase)});
    for (DWORD i = 0; i < 60; ++i)
        WriteTable(dwBase + i * dwStep, {Part(kNtfs, 1), Part(kExtended, (i + 1) * dwStep)});

    CWalkResult walk = WalkImage(m_strImage);
    EXPECT_EQ(walk.m_dwResult, 0u);
    ASSERT_EQ(walk.m_vecItems.size(), 51u);
    EXPECT_EQ(walk.m_vecItems.back().m_strText, "NTFS Drive 50");
    EXPECT_EQ(walk.m_vecItems.back().m_record.dwFirstSector, dwBase + 49 * dwStep + 1);
    EXPECT_EQ(walk.m_n64Reads, ReadsFor(51, walk));  // the master boot record and 50 extended ones
}

TEST_F(PartitionTableTest, ChainLoopingBackIsReadFiftyTimes)
{
    Image(4096);
    WriteTable(0, {Part(kExtended, 2000)});
    WriteTable(2000, {Part(kNtfs, 63), Part(kExtended, 100)});
    WriteTable(2100, {Part(kFat32, 63), Part(kExtended, 0)});  // back to the first

    CWalkResult walk = WalkImage(m_strImage);
    EXPECT_EQ(walk.m_dwResult, 0u);
    EXPECT_EQ(walk.m_n64Reads, ReadsFor(51, walk));
    ASSERT_EQ(walk.m_vecItems.size(), 50u);
    for (size_t i = 0; i < walk.m_vecItems.size(); ++i)
    {
        const bool bFirst = i % 2 == 0;
        EXPECT_EQ(walk.m_vecItems[i].m_strText,
                  std::string(bFirst ? "NTFS" : "FAT32") + " Drive " + std::to_string(i));
        EXPECT_EQ(walk.m_vecItems[i].m_record.dwFirstSector, bFirst ? 2063u : 2163u);
    }
}

TEST_F(PartitionTableTest, MissingDisk)
{
    CWalkResult walk = WalkImage(m_dir.File("no-such-disk.img"));
    EXPECT_EQ(walk.m_dwResult, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(walk.m_vecItems.empty());
    EXPECT_EQ(walk.m_n64Reads, 0u);
}

TEST_F(PartitionTableTest, FailuresAtEachStageKeepEarlierItems)
{
    // Master: one NTFS partition and the link; three extended records with
    // one logical partition each.
    Image(16384);
    WriteTable(0, {Part(kNtfs, 63), Part(kExtended, 10000)});
    WriteTable(10000, {Part(kFat16, 63), Part(kExtended, 1000)});
    WriteTable(11000, {Part(kFat32, 63), Part(kExtended, 2000)});
    WriteTable(12000, {Part(kNtfs, 63)});
    const std::vector<std::string> vecAll = {"NTFS Drive 0", "FAT16 Drive 1", "FAT32 Drive 2",
                                             "NTFS Drive 3"};

    const int nDescriptors = OpenDescriptorCount();
    CWalkResult walk = WalkImage(m_strImage);
    ASSERT_EQ(walk.m_dwResult, 0u);
    ASSERT_EQ(walk.Texts(), vecAll);
    EXPECT_EQ(OpenDescriptorCount(), nDescriptors);

    struct CStage
    {
        const char* m_pszName;
        ULONGLONG m_n64Sector;
        size_t m_nItemsBefore;
    };
    const CStage kStages[] = {
        {"master boot record", 0, 0},
        {"1st extended boot record", 10000, 1},
        {"2nd extended boot record", 11000, 2},
        {"3rd extended boot record", 12000, 3},
    };
    struct CCase
    {
        CDeviceFault::EKind m_eKind;
        ULONGLONG m_n64Within;  // offset of the fault within the sector
        DWORD m_dwError;        // injected code
        DWORD m_dwExpected;     // code the walk returns
    };
    const CCase kCases[] = {
        {CDeviceFault::eReadError, 100, ERROR_CRC, ERROR_CRC},
        {CDeviceFault::eReadError, 511, ERROR_IO_DEVICE, ERROR_IO_DEVICE},
        {CDeviceFault::eShortRead, 300, 0, ERROR_READ_FAULT},
        {CDeviceFault::eShortRead, 511, 0, ERROR_READ_FAULT},
        {CDeviceFault::eEndOfDevice, 0, 0, ERROR_READ_FAULT},
        {CDeviceFault::eEndOfDevice, 200, 0, ERROR_READ_FAULT},
        {CDeviceFault::eSeekError, 0, ERROR_SEEK, ERROR_SEEK},
    };
    for (const CStage& stage : kStages)
    {
        for (const CCase& test : kCases)
        {
            // The master boot record is read without a seek.
            if (test.m_eKind == CDeviceFault::eSeekError && stage.m_n64Sector == 0)
                continue;
            SCOPED_TRACE(std::string(stage.m_pszName) + ", fault kind " +
                         std::to_string(test.m_eKind) + " at +" +
                         std::to_string(test.m_n64Within));
            InjectFault(test.m_eKind, stage.m_n64Sector * 512 + test.m_n64Within, test.m_dwError);

            walk = WalkImage(m_strImage);
            ClearFaults();
            EXPECT_EQ(walk.m_dwResult, test.m_dwExpected);
            EXPECT_EQ(walk.Texts(), std::vector<std::string>(
                                        vecAll.begin(), vecAll.begin() + stage.m_nItemsBefore));
            EXPECT_EQ(OpenDescriptorCount(), nDescriptors) << "handle left open";
        }
    }
}

}  // namespace
