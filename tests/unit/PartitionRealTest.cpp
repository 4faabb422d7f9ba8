// The partition table walk over tables written by sfdisk and over a public
// disk image, checked against The Sleuth Kit's mmls on the same bytes.
#include "PartitionWalk.h"
#include "support/Process.h"
#include "support/SleuthKit.h"
#include "support/TestData.h"

#include "GptWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
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

// Compares the walk with mmls: every partition mmls lists, the master
// table's first, in slot order, then the logical ones in chain order. The
// partitions hold no file system, so each is labelled by its type byte.
void ExpectWalkMatchesMmls(const std::string& strImage, size_t nExpectedListed)
{
    const CMmlsLayout mmls = ReadWithMmls(strImage);
    const std::vector<CMmlsRow>& vecExpected = mmls.m_vecPartitions;
    ASSERT_EQ(vecExpected.size(), nExpectedListed) << "mmls does not see the layout made";

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
    // One read for the master boot record, one per extended boot record, and
    // one per partition for the file system it holds.
    EXPECT_EQ(walk.m_n64Reads, 1u + mmls.m_nExtendedTables + vecExpected.size());
}

struct CSfdiskLayout
{
    const char* m_pszName;
    ULONGLONG m_n64DiskSectors;
    // sfdisk input; "@" stands for the image path in partition names.
    std::vector<std::string> m_vecLines;
    size_t m_nListed;
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
     4},
    {"an empty first slot", 204800, {"@2 : start=2048, size=20480, type=7", "@4 : start=40000, size=20480, type=c"}, 2},
    {"three primaries and an extended partition of type 5 with five logicals",
     409600,
     {"@1 : start=2048, size=20480, type=7", "@2 : start=22528, size=20480, type=c",
      "@3 : start=43008, size=20480, type=6", "@4 : start=100000, size=300000, type=5",
      "@5 : start=102048, size=20480, type=7", "@6 : start=124576, size=30000, type=b",
      "@7 : start=160000, size=20480, type=e", "@8 : start=200000, size=20480, type=1",
      "@9 : start=250000, size=100000, type=83"},
     8},
    {"an extended partition of type 15 with a primary after it",
     409600,
     {"@1 : start=2048, size=20480, type=7", "@2 : start=50000, size=300000, type=f",
      "@3 : start=360000, size=20480, type=b", "@5 : start=52048, size=20480, type=7",
      "@6 : start=80000, size=20480, type=c", "@7 : start=120000, size=20480, type=4"},
     5},
    {"an extended partition beyond 4 GiB",
     33554432,  // 16 GiB, sparse
     {"@1 : start=2048, size=20480, type=7", "@2 : start=9000000, size=8000000, type=f",
      "@5 : start=9002048, size=20480, type=7", "@6 : start=12000000, size=2000000, type=c",
      "@7 : start=16000000, size=20480, type=6"},
     4},
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
        ExpectWalkMatchesMmls(strImage, layout.m_nListed);
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

// A volume of each file system made by its own tool, given as the disk as it
// stands (a partition image, a stick formatted without a table) and placed
// in a disk that sfdisk partitioned, under a type byte that does not name it.
struct CFileSystemCase
{
    const char* m_pszLabel;          // what the walk calls it, as fsstat does
    std::vector<std::string> m_vecMake;  // "@" stands for the volume's path
    ULONGLONG m_n64Sectors;
    const char* m_pszType;           // the partition's type byte for sfdisk
};

const CFileSystemCase kFileSystems[] = {
    {"NTFS", {"mkntfs", "-F", "-q", "-f", "@"}, 16384, "83"},
    {"FAT12", {"mkfs.fat", "-F", "12", "@"}, 8192, "7"},
    {"FAT16", {"mkfs.fat", "-F", "16", "@"}, 65536, "b"},
    {"FAT32", {"mkfs.fat", "-F", "32", "@"}, 143360, "7"},
    {"exFAT", {"mkfs.exfat", "@"}, 32768, "7"},
};

// What The Sleuth Kit's fsstat calls the file system of the image; its exFAT
// reader is not asked (it does not come back on these volumes).
std::string FsstatType(const std::string& strImage, ULONGLONG n64Start)
{
    const CProcessResult result = RunProcess({"fsstat", "-o", std::to_string(n64Start), strImage});
    const size_t nAt = result.m_strOutput.find("File System Type: ");
    if (nAt == std::string::npos)
        return std::string();
    const size_t nFrom = nAt + 18;
    return result.m_strOutput.substr(nFrom, result.m_strOutput.find('\n', nFrom) - nFrom);
}

TEST(PartitionRealTest, VolumesWithoutATableAndInsideOne)
{
    CTempDir dir;
    for (const CFileSystemCase& fs : kFileSystems)
    {
        SCOPED_TRACE(fs.m_pszLabel);
        ASSERT_FALSE(FindProgram(fs.m_vecMake[0]).empty()) << fs.m_vecMake[0] << " is missing: see scripts/deps.sh";
        const std::string strVolume = dir.File(std::string(fs.m_pszLabel) + ".vol");
        ASSERT_TRUE(MakeSparseFile(strVolume, fs.m_n64Sectors * 512));
        std::vector<std::string> vecMake = fs.m_vecMake;
        std::replace(vecMake.begin(), vecMake.end(), std::string("@"), strVolume);
        const CProcessResult made = RunProcess(vecMake);
        ASSERT_TRUE(made.Ok()) << made.m_strErrors;
        if (strcmp(fs.m_pszLabel, "exFAT") != 0)
        {
            EXPECT_EQ(fs.m_pszLabel, FsstatType(strVolume, 0));
        }

        // The volume alone: one partition at sector 0, named by its file system.
        const CWalkResult bare = WalkImage(strVolume);
        EXPECT_EQ(0u, bare.m_dwResult);
        EXPECT_EQ(std::vector<std::string>{std::string(fs.m_pszLabel) + " Drive 0"}, bare.Texts());
        EXPECT_EQ(std::vector<ULONGLONG>{0}, bare.FirstSectors64());

        // The same volume in a partitioned disk: the table holds, and the
        // boot sector names the partition whatever its type byte says.
        const std::string strDisk = dir.File(std::string(fs.m_pszLabel) + ".img");
        RunSfdisk(strDisk, fs.m_n64Sectors + 4096,
                  {"@1 : start=2048, size=" + std::to_string(fs.m_n64Sectors) + ", type=" + fs.m_pszType}, "dos");
        if (HasFatalFailure())
            return;
        const Bytes vecVolume = ReadFileBytes(strVolume);
        ASSERT_TRUE(WriteFileAt(strDisk, 2048 * 512, vecVolume));
        const CWalkResult partitioned = WalkImage(strDisk);
        EXPECT_EQ(std::vector<std::string>{std::string(fs.m_pszLabel) + " Drive 0"}, partitioned.Texts());
        EXPECT_EQ(std::vector<ULONGLONG>{2048}, partitioned.FirstSectors64());
        if (strcmp(fs.m_pszLabel, "exFAT") != 0)
        {
            EXPECT_EQ(fs.m_pszLabel, FsstatType(strDisk, 2048));
        }
    }
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

    ExpectWalkMatchesMmls(strImage, 6);
}

}  // namespace
