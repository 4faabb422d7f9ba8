// The partition table walk over tables written by sfdisk and over a public
// disk image, checked against The Sleuth Kit's mmls on the same bytes.
#include "PartitionWalk.h"
#include "support/Process.h"
#include "support/SleuthKit.h"
#include "support/TestData.h"

#include "GptWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

using namespace salvix_test;

namespace
{

// The partitions mmls lists, in table order (0 the master table, then the
// extended records in chain order; one table on GPT), then slot order, and
// how many extended boot records it read.
struct CMmlsLayout
{
    std::vector<CMmlsRow> m_vecPartitions;
    unsigned m_nExtendedTables = 0;
};

CMmlsLayout ReadWithMmls(const std::string& strImage, const std::vector<std::string>& vecOptions = {"-t", "dos"})
{
    CMmlsLayout layout;
    std::vector<CMmlsRow> vecRows;
    EXPECT_TRUE(Mmls(strImage, vecOptions, vecRows)) << "mmls failed on " << strImage;
    for (const CMmlsRow& row : vecRows)
    {
        layout.m_nExtendedTables += row.m_strDescription.find("Extended Table (#") != std::string::npos;
        if (row.m_bPartition)
            layout.m_vecPartitions.push_back(row);
    }
    std::sort(layout.m_vecPartitions.begin(), layout.m_vecPartitions.end(), [](const CMmlsRow& a, const CMmlsRow& b) {
        return std::tie(a.m_nTable, a.m_nSlot) < std::tie(b.m_nTable, b.m_nSlot);
    });
    return layout;
}

// The type byte mmls shows at the end of a DOS row's description: "(0x07)".
unsigned TypeOf(const CMmlsRow& row)
{
    const size_t nType = row.m_strDescription.rfind("(0x");
    EXPECT_NE(nType, std::string::npos) << row.m_strDescription;
    if (nType == std::string::npos)
        return 0;
    return static_cast<unsigned>(std::stoul(row.m_strDescription.substr(nType + 3), nullptr, 16));
}

// Compares the walk with mmls. mmls also lists master entries after the
// extended entry (slot nLinkSlot, 4 for none); the walk never examines those.
void ExpectWalkMatchesMmls(const std::string& strImage, unsigned nLinkSlot,
                           size_t nExpectedListed, size_t nExpectedHidden)
{
    const CMmlsLayout mmls = ReadWithMmls(strImage);
    std::vector<CMmlsRow> vecExpected;
    size_t nHidden = 0;
    for (const CMmlsRow& partition : mmls.m_vecPartitions)
    {
        if (partition.m_nTable == 0 && partition.m_nSlot > nLinkSlot)
            ++nHidden;
        else
            vecExpected.push_back(partition);
    }
    ASSERT_EQ(vecExpected.size(), nExpectedListed) << "mmls does not see the layout made";
    ASSERT_EQ(nHidden, nExpectedHidden);

    const CWalkResult walk = WalkImage(strImage);
    EXPECT_EQ(walk.m_dwResult, 0u);
    ASSERT_EQ(walk.m_vecItems.size(), vecExpected.size());
    for (size_t i = 0; i < vecExpected.size(); ++i)
    {
        const CMmlsRow& expected = vecExpected[i];
        const CListed& item = walk.m_vecItems[i];
        SCOPED_TRACE("mmls slot " + std::to_string(expected.m_nTable) + ":" +
                     std::to_string(expected.m_nSlot));
        EXPECT_EQ(item.m_record.dwFirstSector, expected.m_n64Start);
        EXPECT_EQ(item.m_record.dwSectorCount, expected.m_n64Length);
        EXPECT_EQ(item.m_record.wKind, 1);
        EXPECT_EQ(item.m_strText,
                  std::string(PartitionTypeLabel(static_cast<BYTE>(TypeOf(expected)))) + " Drive " + std::to_string(i));
    }
    // One read for the master boot record and one per extended boot record.
    EXPECT_EQ(walk.m_n64Reads, 1u + mmls.m_nExtendedTables);
}

struct CSfdiskLayout
{
    const char* m_pszName;
    ULONGLONG m_n64DiskSectors;
    // sfdisk input; "@" stands for the image path in partition names.
    std::vector<std::string> m_vecLines;
    unsigned m_nLinkSlot;
    size_t m_nListed;
    size_t m_nHidden;
};

// Partitions a sparse image with sfdisk, with a table of the given kind.
void RunSfdisk(const std::string& strImage, ULONGLONG n64DiskSectors,
               const std::vector<std::string>& vecLines, const char* pszLabel)
{
    ASSERT_FALSE(FindProgram("sfdisk").empty()) << "sfdisk (fdisk) is missing: see scripts/deps.sh";
    ASSERT_TRUE(MakeSparseFile(strImage, n64DiskSectors * 512));

    std::string strScript = std::string("label: ") + pszLabel + "\nunit: sectors\n\n";
    for (std::string strLine : vecLines)
    {
        const size_t nAt = strLine.find('@');
        if (nAt != std::string::npos)
            strLine.replace(nAt, 1, strImage);
        strScript += strLine + "\n";
    }
    const CProcessResult result =
        RunProcess({"sfdisk", "-q", "--no-reread", "--no-tell-kernel", strImage}, strScript);
    ASSERT_TRUE(result.Ok()) << strScript << result.m_strErrors;
}

void Partition(const std::string& strImage, const CSfdiskLayout& layout)
{
    RunSfdisk(strImage, layout.m_n64DiskSectors, layout.m_vecLines, "dos");
}

const CSfdiskLayout kLayouts[] = {
    {"four primaries",
     204800,
     {"@1 : start=2048, size=20480, type=7", "@2 : start=22528, size=40960, type=b",
      "@3 : start=63488, size=20480, type=c", "@4 : start=83968, size=20480, type=83"},
     4,
     4,
     0},
    {"three primaries and an extended partition of type 5 with five logicals",
     409600,
     {"@1 : start=2048, size=20480, type=7", "@2 : start=22528, size=20480, type=c",
      "@3 : start=43008, size=20480, type=6", "@4 : start=100000, size=300000, type=5",
      "@5 : start=102048, size=20480, type=7", "@6 : start=124576, size=30000, type=b",
      "@7 : start=160000, size=20480, type=e", "@8 : start=200000, size=20480, type=1",
      "@9 : start=250000, size=100000, type=83"},
     3,
     8,
     0},
    {"an extended partition of type 15 with a primary after it",
     409600,
     {"@1 : start=2048, size=20480, type=7", "@2 : start=50000, size=300000, type=f",
      "@3 : start=360000, size=20480, type=b", "@5 : start=52048, size=20480, type=7",
      "@6 : start=80000, size=20480, type=c", "@7 : start=120000, size=20480, type=4"},
     1,
     4,
     1},
    {"an extended partition beyond 4 GiB",
     33554432,  // 16 GiB, sparse
     {"@1 : start=2048, size=20480, type=7", "@2 : start=9000000, size=8000000, type=f",
      "@5 : start=9002048, size=20480, type=7", "@6 : start=12000000, size=2000000, type=c",
      "@7 : start=16000000, size=20480, type=6"},
     1,
     4,
     0},
};

TEST(PartitionRealTest, SfdiskLayoutsAgreeWithMmls)
{
    CTempDir dir;
    ASSERT_FALSE(dir.Path().empty());
    int nIndex = 0;
    for (const CSfdiskLayout& layout : kLayouts)
    {
        SCOPED_TRACE(layout.m_pszName);
        const std::string strImage = dir.File("disk" + std::to_string(nIndex++) + ".img");
        Partition(strImage, layout);
        if (HasFatalFailure())
            return;
        ExpectWalkMatchesMmls(strImage, layout.m_nLinkSlot, layout.m_nListed, layout.m_nHidden);
    }
}

void ExpectGptWalkMatchesMmls(const std::string& strImage, DWORD dwSectorSize,
                              const std::vector<std::string>& vecLabels)
{
    const std::vector<CMmlsRow> vecMmls =
        ReadWithMmls(strImage, {"-t", "gpt", "-b", std::to_string(dwSectorSize)}).m_vecPartitions;
    ASSERT_EQ(vecLabels.size(), vecMmls.size()) << "mmls does not see the layout made";
    const CWalkResult walk = WalkImage(strImage);
    EXPECT_EQ(walk.m_dwResult, 0u);
    ASSERT_EQ(vecMmls.size(), walk.m_vecItems.size());
    for (size_t i = 0; i < vecMmls.size(); ++i)
    {
        const PartitionRecord& record = walk.m_vecItems[i].m_record;
        SCOPED_TRACE("mmls entry " + std::to_string(vecMmls[i].m_nSlot));
        EXPECT_EQ(vecMmls[i].m_n64Start, record.qwFirstSector);
        EXPECT_EQ(static_cast<DWORD>(vecMmls[i].m_n64Length), record.dwSectorCount);
        EXPECT_EQ(dwSectorSize, record.dwSectorSize);
        EXPECT_EQ(vecLabels[i] + " Drive " + std::to_string(i), walk.m_vecItems[i].m_strText);
    }
}

// GPT disks of sfdisk (512-byte sectors): no file systems on them, so each
// is labelled by its type. Entry 3 of the first is left unused.
TEST(PartitionRealTest, SfdiskGptLayoutsAgreeWithMmls)
{
    CTempDir dir;
    ASSERT_FALSE(dir.Path().empty());
    const std::string strWindows = dir.File("windows.img");
    RunSfdisk(strWindows, 409600,
              {std::string("@1 : start=2048, size=204800, type=") + kGptTypeEfi,
               std::string("@2 : start=206848, size=32768, type=") + kGptTypeMsr,
               std::string("@4 : start=239616, size=65536, type=") + kGptTypeBasicData,
               std::string("@5 : start=305152, size=65536, type=") + kGptTypeRecovery,
               std::string("@6 : start=370688, size=4096, type=") + kGptTypeLinuxSwap},
              "gpt");
    if (HasFatalFailure())
        return;
    ExpectGptWalkMatchesMmls(strWindows, 512, {"EFI", "MSR", "Unknown", "Unknown", "Linux swap"});

    const std::string strFar = dir.File("far.img");
    RunSfdisk(strFar, 4295100416ull,
              {std::string("@1 : start=2048, size=65536, type=") + kGptTypeLinux,
               std::string("@2 : start=4294969344, size=65536, type=") + kGptTypeBasicData},
              "gpt");
    if (HasFatalFailure())
        return;
    ExpectGptWalkMatchesMmls(strFar, 512, {"Linux", "Unknown"});
}

// This sfdisk writes no 4096-byte sectors to a file: the table is written
// here, and mmls reads it in 4096-byte sectors.
TEST(PartitionRealTest, GptOf4096ByteSectorsAgreesWithMmls)
{
    CTempDir dir;
    const std::string strImage = dir.File("4k.img");
    ASSERT_TRUE(MakeSparseFile(strImage, 65536ull * 4096));
    GptLayout layout;
    layout.dwSectorSize = 4096;
    layout.partitions = {{256, 25855, kGptTypeEfi, "EFI"},
                         {25856, 29951, kGptTypeMsr, "MSR"},
                         {29952, 60000, kGptTypeBasicData, "data"}};
    ASSERT_TRUE(WriteGpt(strImage, layout));
    ExpectGptWalkMatchesMmls(strImage, 4096, {"EFI", "MSR", "Unknown"});
}

std::string TestDataDir()
{
    if (const char* pszDir = getenv("SALVIX_TESTDATA_DIR"))
        if (*pszDir)
            return pszDir;
#ifdef SALVIX_TESTDATA_DIR
    return SALVIX_TESTDATA_DIR;
#else
    return "../shared/testdata";
#endif
}

// A disk from the Digital Forensics Tool Testing images: three FAT16
// primaries and an extended partition whose first extended boot record was
// edited to hold two logical partitions before its link.
TEST(PartitionRealTest, PublicImageWithThreeEntryExtendedRecord)
{
    const std::string strZip = TestDataDir() + "/dftt1-extend-part.zip";
    SALVIX_SKIP_WITHOUT_TESTDATA(strZip);
    ASSERT_FALSE(FindProgram("unzip").empty()) << "unzip is missing: see scripts/deps.sh";

    CTempDir dir;
    ASSERT_FALSE(dir.Path().empty());
    const CProcessResult result =
        RunProcess({"unzip", "-q", "-o", "-j", strZip, "1-extend-part/ext-part-test-2.dd", "-d", dir.Path()});
    ASSERT_TRUE(result.Ok()) << result.m_strErrors;
    const std::string strImage = dir.File("ext-part-test-2.dd");

    const CWalkResult walk = WalkImage(strImage);
    EXPECT_EQ(walk.m_dwResult, 0u);
    EXPECT_EQ(walk.Texts(), (std::vector<std::string>{"FAT16 Drive 0", "FAT16 Drive 1",
                                                      "FAT16 Drive 2", "FAT16 Drive 3",
                                                      "FAT16 Drive 4", "FAT16 Drive 5"}));
    EXPECT_EQ(walk.FirstSectors(),
              (std::vector<DWORD>{63, 52416, 104832, 157311, 209727, 262143}));

    // The master table's extended entry is its last, so mmls and the walk
    // see the same six partitions.
    ExpectWalkMatchesMmls(strImage, 3, 6, 0);
}

}  // namespace
