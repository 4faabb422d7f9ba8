// GUID partition tables written by hand into image files: which copy is used,
// what is listed and how, and how the walk bounds what a header asks for.
#include "PartitionWalk.h"
#include "support/FaultFreeTest.h"

#include "GptWriter.h"

#include "disk/DiskLayout.h"
#include "disk/FileSystemProbe.h"
#include "disk/Gpt.h"
#include "disk/PartitionTable.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

using namespace salvix_test;

namespace
{

const ULONGLONG kDiskSectors = 16384;  // 8 MiB of 512-byte sectors
const ULONGLONG kPrimary = 512;        // the primary header's byte offset

// A FAT boot sector: no reserved sectors beyond the first, one FAT, one
// sector per cluster, so its data clusters number qwTotal - 1 - FAT - root.
std::vector<BYTE> FatBoot(ULONGLONG qwTotal, DWORD dwFat16, DWORD dwFat32, DWORD dwRootEntries)
{
    std::vector<BYTE> vec(512, 0);
    vec[0] = 0xEB;
    vec[1] = 0x3C;
    vec[2] = 0x90;
    PutLE(&vec[0x0B], 512, 2);
    vec[0x0D] = 1;
    PutLE(&vec[0x0E], 1, 2);
    vec[0x10] = 1;
    PutLE(&vec[0x11], dwRootEntries, 2);
    vec[0x15] = 0xF8;
    PutLE(&vec[0x16], dwFat16, 2);
    PutLE(&vec[0x20], qwTotal, 4);
    PutLE(&vec[0x24], dwFat32, 4);
    return vec;
}

std::vector<BYTE> OemBoot(const char* pszOem)
{
    std::vector<BYTE> vec(512, 0);
    memcpy(&vec[3], pszOem, strnlen(pszOem, 8));
    return vec;
}

// Layout A: every kind of label, an unused entry, and two broken ranges.
GptLayout LayoutA()
{
    GptLayout layout;
    layout.partitions = {
        {2048, 4095, kGptTypeEfi, "EFI"},         {4096, 6143, kGptTypeMsr, "MSR"},
        {0, 0, "", ""},                           {6144, 8191, kGptTypeBasicData, "Windows"},
        {8192, 9215, kGptTypeLinux, "root"},      {9216, 10239, kGptTypeLinuxSwap, "swap"},
        {10240, 11263, kGptTypeBasicData, "raw"}, {11264, 12287, kGptTypeRecovery, "old"},
        {13000, 12900, kGptTypeLinux, "reversed"}, {12800, kDiskSectors - 1, kGptTypeLinux, "over"},
    };
    return layout;
}
const std::vector<std::string> kListedA = {"EFI Drive 0",   "MSR Drive 1",        "NTFS Drive 2",
                                           "Linux Drive 3", "Linux swap Drive 4", "Unknown Drive 5",
                                           "FAT16 Drive 6"};

// Layout B, in the backup copy only where a test wants to tell them apart.
GptLayout LayoutB()
{
    GptLayout layout;
    layout.partitions = {{8192, 9215, kGptTypeLinux, "root"}};
    return layout;
}
const std::vector<std::string> kListedB = {"Linux Drive 0"};

class GptTest : public CFaultFreeTest
{
protected:
    void SetUp() override
    {
        CFaultFreeTest::SetUp();
        ASSERT_FALSE(m_dir.Path().empty()) << "no temporary folder";
    }

    // Makes the image anew: primary copy A, backup copy B, boot sectors
    // where layout A wants them.
    void TwoCopies()
    {
        GptLayout a = LayoutA();
        a.bBackup = false;
        ASSERT_TRUE(MakeSparseFile(m_strImage, kDiskSectors * 512));
        ASSERT_TRUE(WriteGpt(m_strImage, LayoutB()));
        ASSERT_TRUE(WriteGpt(m_strImage, a));
        ASSERT_TRUE(WriteFileAt(m_strImage, 6144 * 512, OemBoot("NTFS    ")));
        ASSERT_TRUE(WriteFileAt(m_strImage, 11264 * 512, FatBoot(40000, 40, 0, 512)));
    }

    template <class F>
    void Patch(ULONGLONG qwOffset, size_t nBytes, F fnChange)
    {
        ASSERT_TRUE(PatchFile(m_strImage, qwOffset, nBytes, fnChange));
    }

    CTempDir m_dir;
    const std::string m_strImage = m_dir.File("gpt.img");
};

TEST(FileSystemProbeTest, BootSectors)
{
    EXPECT_STREQ("NTFS", ProbeFileSystem(OemBoot("NTFS    ").data(), 512));
    EXPECT_STREQ("exFAT", ProbeFileSystem(OemBoot("EXFAT   ").data(), 512));
    EXPECT_EQ(nullptr, ProbeFileSystem(OemBoot("NTFS").data(), 512));
    // The cluster count decides: 1 boot sector + 1 FAT sector + clusters.
    EXPECT_STREQ("FAT12", ProbeFileSystem(FatBoot(2 + 4084, 1, 0, 0).data(), 512));
    EXPECT_STREQ("FAT16", ProbeFileSystem(FatBoot(2 + 4085, 1, 0, 0).data(), 512));
    EXPECT_STREQ("FAT16", ProbeFileSystem(FatBoot(2 + 65524, 1, 0, 0).data(), 512));
    EXPECT_STREQ("FAT32", ProbeFileSystem(FatBoot(2 + 65525, 0, 1, 0).data(), 512));
    // Root directory sectors are no clusters: 16 entries take one sector.
    EXPECT_STREQ("FAT12", ProbeFileSystem(FatBoot(3 + 4084, 1, 0, 16).data(), 512));
    // A FAT32 count in a FAT16 parameter block is no file system to trust.
    EXPECT_EQ(nullptr, ProbeFileSystem(FatBoot(2 + 65525, 1, 0, 0).data(), 512));

    const std::vector<std::function<void(std::vector<BYTE>&)>> kBreaks = {
        [](std::vector<BYTE>& v) { v[0] = 0; },                       // no jump
        [](std::vector<BYTE>& v) { PutLE(&v[0x0B], 500, 2); },        // sector size
        [](std::vector<BYTE>& v) { v[0x0D] = 3; },                    // cluster size
        [](std::vector<BYTE>& v) { PutLE(&v[0x0E], 0, 2); },          // no reserved sector
        [](std::vector<BYTE>& v) { v[0x10] = 0; },                    // no FAT
        [](std::vector<BYTE>& v) { v[0x15] = 0x12; },                 // media byte
        [](std::vector<BYTE>& v) { PutLE(&v[0x16], 0, 2); },          // FAT size 0
        [](std::vector<BYTE>& v) { PutLE(&v[0x20], 2, 4); },          // no data area
    };
    for (size_t i = 0; i < kBreaks.size(); ++i)
    {
        std::vector<BYTE> vec = FatBoot(40000, 40, 0, 512);
        ASSERT_STREQ("FAT16", ProbeFileSystem(vec.data(), vec.size()));
        kBreaks[i](vec);
        EXPECT_EQ(nullptr, ProbeFileSystem(vec.data(), vec.size())) << "break " << i;
    }
    EXPECT_EQ(nullptr, ProbeFileSystem(FatBoot(40000, 40, 0, 512).data(), 0x27));
}

TEST(GptFormatTest, Crc32AndGuids)
{
    EXPECT_EQ(0xCBF43926u, Crc32(reinterpret_cast<const BYTE*>("123456789"), 9));
    EXPECT_EQ(Crc32(reinterpret_cast<const BYTE*>("123456789"), 9),
              Crc32(reinterpret_cast<const BYTE*>("456789"), 6,
                    Crc32(reinterpret_cast<const BYTE*>("123"), 3)));
    for (const char* pszGuid : {kGptTypeEfi, kGptTypeBasicData, kGptTypeLinuxSwap})
        EXPECT_EQ(pszGuid, GuidText(GuidBytes(pszGuid).data()));
    EXPECT_STREQ("EFI", GptTypeShortName(GuidBytes(kGptTypeEfi).data()));
    EXPECT_STREQ("MSR", GptTypeShortName(GuidBytes(kGptTypeMsr).data()));
    EXPECT_STREQ("Linux", GptTypeShortName(GuidBytes(kGptTypeLinux).data()));
    EXPECT_STREQ("Linux swap", GptTypeShortName(GuidBytes(kGptTypeLinuxSwap).data()));
    EXPECT_EQ(nullptr, GptTypeShortName(GuidBytes(kGptTypeBasicData).data()));
    EXPECT_EQ(nullptr, GptTypeShortName(GuidBytes(kGptTypeRecovery).data()));
}

TEST_F(GptTest, UsedEntriesInEntryOrder)
{
    TwoCopies();
    const CWalkResult walk = WalkImage(m_strImage);
    EXPECT_EQ(0u, walk.m_dwResult);
    EXPECT_EQ(kListedA, walk.Texts());
    EXPECT_EQ((std::vector<ULONGLONG>{2048, 4096, 6144, 8192, 9216, 10240, 11264}),
              walk.FirstSectors64());
    for (const CListed& item : walk.m_vecItems)
    {
        const PartitionRecord& record = item.m_record;
        EXPECT_EQ(record.qwFirstSector, record.dwFirstSector) << item.m_strText;
        EXPECT_EQ(512u, record.dwSectorSize);
        EXPECT_EQ(1, record.wKind);
        EXPECT_EQ(0, record.wCylinderLow | record.wStartHead | record.wSectorByte);
    }
    EXPECT_EQ(2048u, walk.m_vecItems[0].m_record.dwSectorCount);
    EXPECT_EQ(1024u, walk.m_vecItems[3].m_record.dwSectorCount);

}

// Each damage to the primary copy, header fields sealed with a good CRC so
// that the check on the field itself must catch it: the backup is listed,
// after a bounded number of reads.
TEST_F(GptTest, DamagedPrimaryHeaderFallsBackToBackup)
{
    struct CDamage
    {
        const char* m_pszWhat;
        DWORD m_dwOffset;
        int m_nBytes;
        ULONGLONG m_qwValue;
    };
    const CDamage kDamages[] = {
        {"signature", 0, 4, 0x58585858},
        {"revision 2", 8, 4, 0x00020000},
        {"header size 91", 12, 4, 91},
        {"header size past the sector", 12, 4, 513},
        {"header size all ones", 12, 4, 0xFFFFFFFF},
        {"MyLBA of the backup", 24, 8, kDiskSectors - 1},
        {"first usable 0", 40, 8, 0},
        {"first usable past last usable", 40, 8, kDiskSectors - 34 + 1},
        {"last usable past the disk", 48, 8, kDiskSectors},
        {"array at LBA 0", 72, 8, 0},
        {"array over the header", 72, 8, 1},
        {"array past the disk", 72, 8, kDiskSectors - 3},
        {"array at the last 64-bit LBA", 72, 8, ~0ull},
        {"entry count all ones", 80, 4, 0xFFFFFFFF},
        {"entry count 16385", 80, 4, 16385},
        {"entry size 0", 84, 4, 0},
        {"entry size 64", 84, 4, 64},
        {"entry size not a multiple of 8", 84, 4, 132},
        {"entry size 8192", 84, 4, 8192},
        {"entry size all ones", 84, 4, 0xFFFFFFFF},
        {"array of 8 MiB", 84, 4, 512},  // 128 entries of 512 bytes would fit; see below
        {"array CRC", 88, 4, 0x12345678},
    };
    TwoCopies();
    for (const CDamage& damage : kDamages)
    {
        SCOPED_TRACE(damage.m_pszWhat);
        Patch(kPrimary, 512, [&](BYTE* p) {
            PutLE(p + damage.m_dwOffset, damage.m_qwValue, damage.m_nBytes);
            if (damage.m_dwOffset == 84 && damage.m_qwValue == 512)
                PutLE(p + 80, 16384, 4);  // 16384 entries of 512 bytes: 8 MiB
            if (damage.m_dwOffset != 0)
                SealGptHeader(p, 512);
        });
        const CWalkResult walk = WalkImage(m_strImage);
        EXPECT_EQ(0u, walk.m_dwResult);
        EXPECT_EQ(kListedB, walk.Texts());
        EXPECT_LE(walk.m_n64Reads, 12u);
        TwoCopies();
    }

    // A header as long as its sector is still a header.
    Patch(kPrimary, 512, [](BYTE* p) {
        PutLE(p + 12, 512, 4);
        SealGptHeader(p, 512);
    });
    EXPECT_EQ(kListedA, WalkImage(m_strImage).Texts());
}

TEST_F(GptTest, DamagedArraysAndBothCopies)
{
    // One changed byte of the primary array: its CRC fails, the backup is used.
    TwoCopies();
    Patch(2 * 512 + 40, 1, [](BYTE* p) { p[0] ^= 1; });
    EXPECT_EQ(kListedB, WalkImage(m_strImage).Texts());

    // Both arrays damaged: the master table is listed, protective entry and all.
    const ULONGLONG qwBackupArray = (kDiskSectors - 33) * 512;
    Patch(qwBackupArray + 40, 1, [](BYTE* p) { p[0] ^= 1; });
    CWalkResult walk = WalkImage(m_strImage);
    EXPECT_EQ(0u, walk.m_dwResult);
    EXPECT_EQ((std::vector<std::string>{"Unknown Drive 0"}), walk.Texts());
    ASSERT_EQ(1u, walk.m_vecItems.size());
    EXPECT_EQ(1u, walk.m_vecItems[0].m_record.qwFirstSector);
    EXPECT_EQ(kDiskSectors - 1, walk.m_vecItems[0].m_record.dwSectorCount);

    // Both headers damaged.
    TwoCopies();
    Patch(kPrimary, 1, [](BYTE* p) { p[0] = 'X'; });
    Patch((kDiskSectors - 1) * 512, 1, [](BYTE* p) { p[0] = 'X'; });
    EXPECT_EQ((std::vector<std::string>{"Unknown Drive 0"}), WalkImage(m_strImage).Texts());

    // A valid GPT without a protective entry is not looked for.
    TwoCopies();
    ASSERT_TRUE(WritePartitionTable(m_strImage, 0, {Part(7, 2048, 100)}));
    EXPECT_EQ((std::vector<std::string>{"NTFS Drive 0"}), WalkImage(m_strImage).Texts());
}

TEST_F(GptTest, HybridMasterTableGivesWayToTheGpt)
{
    TwoCopies();
    ASSERT_TRUE(WritePartitionTable(m_strImage, 0, {Part(7, 6144, 2048), Part(0xEE, 1, 2047), Part(0x83, 8192, 1024)}));
    EXPECT_EQ(kListedA, WalkImage(m_strImage).Texts());
}

TEST_F(GptTest, ReadFailuresOfTheTables)
{
    TwoCopies();
    for (ULONGLONG qwOffset : {kPrimary + 10, kPrimary * 2 + 100})
    {
        InjectFault(CDeviceFault::eReadError, qwOffset, ERROR_CRC);
        const CWalkResult walk = WalkImage(m_strImage);
        ClearFaults();
        EXPECT_EQ(0u, walk.m_dwResult) << qwOffset;
        EXPECT_EQ(kListedB, walk.Texts()) << qwOffset;
    }

    // No backup to fall back on: the master table is listed and the read's
    // code returned.
    Patch((kDiskSectors - 1) * 512, 1, [](BYTE* p) { p[0] = 'X'; });
    InjectFault(CDeviceFault::eReadError, kPrimary, ERROR_CRC);
    const CWalkResult walk = WalkImage(m_strImage);
    ClearFaults();
    EXPECT_EQ(static_cast<DWORD>(ERROR_CRC), walk.m_dwResult);
    EXPECT_EQ((std::vector<std::string>{"Unknown Drive 0"}), walk.Texts());

    // A partition whose first sector cannot be read is listed by its type.
    TwoCopies();
    InjectFault(CDeviceFault::eReadError, 6144 * 512 + 3, ERROR_CRC);
    const CWalkResult probe = WalkImage(m_strImage);
    ClearFaults();
    EXPECT_EQ(0u, probe.m_dwResult);
    ASSERT_EQ(kListedA.size(), probe.m_vecItems.size());
    EXPECT_EQ("Unknown Drive 2", probe.m_vecItems[2].m_strText);
}

TEST_F(GptTest, SectorsOf4096Bytes)
{
    // 4096 sectors of 4096 bytes; the tables count in them.
    ASSERT_TRUE(MakeSparseFile(m_strImage, 4096ull * 4096));
    GptLayout layout;
    layout.dwSectorSize = 4096;
    layout.partitions = {{256, 511, kGptTypeEfi, "EFI"}, {512, 1023, kGptTypeBasicData, "data"}};
    ASSERT_TRUE(WriteGpt(m_strImage, layout));
    WriteFileAt(m_strImage, 512ull * 4096, OemBoot("NTFS    "));
    // A decoy where a 512-byte reading of the same numbers would look.
    WriteFileAt(m_strImage, 512ull * 512, FatBoot(40000, 40, 0, 512));

    for (bool bDamaged : {false, true})
    {
        SCOPED_TRACE(bDamaged ? "primary damaged" : "intact");
        if (bDamaged)
            Patch(4096, 1, [](BYTE* p) { p[0] = 'X'; });
        const CWalkResult walk = WalkImage(m_strImage);
        EXPECT_EQ(0u, walk.m_dwResult);
        EXPECT_EQ((std::vector<std::string>{"EFI Drive 0", "NTFS Drive 1"}), walk.Texts());
        EXPECT_EQ((std::vector<ULONGLONG>{256, 512}), walk.FirstSectors64());
        for (const CListed& item : walk.m_vecItems)
            EXPECT_EQ(4096u, item.m_record.dwSectorSize);

        CHandle disk(OpenImage(m_strImage));
        ASSERT_NE(INVALID_HANDLE_VALUE, static_cast<HANDLE>(disk));
        DWORD dwSectorSize = 0;
        ULONGLONG qwBytes = 0;
        EXPECT_EQ(0u, GetDiskLayout(disk, dwSectorSize, qwBytes));
        EXPECT_EQ(4096u, dwSectorSize);
        EXPECT_EQ(4096ull * 4096, qwBytes);
    }
}

TEST_F(GptTest, EntriesPastTwoTiB)
{
    const ULONGLONG qwFar = (1ull << 32) + 100;  // a sector number of 33 bits
    ASSERT_TRUE(MakeSparseFile(m_strImage, ((1ull << 32) + 8192) * 512));
    GptLayout layout;
    layout.partitions = {{2048, 4095, kGptTypeLinux, "root"},
                         {qwFar, qwFar + 900, kGptTypeBasicData, "far"},
                         {4096, 4096 + (1ull << 32) + 4, kGptTypeLinuxSwap, "long"}};
    ASSERT_TRUE(WriteGpt(m_strImage, layout));
    WriteFileAt(m_strImage, qwFar * 512, OemBoot("NTFS    "));
    // What a start cut to 32 bits would find.
    WriteFileAt(m_strImage, 100 * 512, OemBoot("EXFAT   "));

    const CWalkResult walk = WalkImage(m_strImage);
    EXPECT_EQ(0u, walk.m_dwResult);
    EXPECT_EQ((std::vector<std::string>{"Linux Drive 0", "NTFS Drive 1", "Linux swap Drive 2"}),
              walk.Texts());
    EXPECT_EQ((std::vector<ULONGLONG>{2048, qwFar, 4096}), walk.FirstSectors64());
    EXPECT_EQ((std::vector<DWORD>{2048, 100, 4096}), walk.FirstSectors());
    ASSERT_EQ(3u, walk.m_vecItems.size());
    EXPECT_EQ(901u, walk.m_vecItems[1].m_record.dwSectorCount);
    EXPECT_EQ(5u, walk.m_vecItems[2].m_record.dwSectorCount);  // low 32 bits of 2^32 + 5
}

TEST(DiskLayoutTest, SizesAsShown)
{
    EXPECT_EQ("64 GB", FormatDiskSize(64000000000ull));
    EXPECT_EQ("64 GB", FormatDiskSize(64023257088ull));
    EXPECT_EQ("2 TB", FormatDiskSize(2000398934016ull));
    EXPECT_EQ("1.5 TB", FormatDiskSize(1500000000000ull));
    EXPECT_EQ("8.4 MB", FormatDiskSize(8388608));
    EXPECT_EQ("500 MB", FormatDiskSize(500000000));
    EXPECT_EQ("1 KB", FormatDiskSize(1000));
    EXPECT_EQ("999 bytes", FormatDiskSize(999));
    EXPECT_EQ("18446744 TB", FormatDiskSize(~0ull));
}

}  // namespace
