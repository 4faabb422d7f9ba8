// The parse functions, each over hand-made bytes where one field at a time
// is set or broken.
#include "FatBytes.h"

#include "fat/FatNames.h"

#include <gtest/gtest.h>

#include <functional>

using namespace salvix_test;
using namespace fat;

namespace
{

// ---- boot sectors --------------------------------------------------------------

struct CKindCase
{
    DWORD m_dwClusters;
    bool m_bFat32Layout;
    EFatKind m_eKind;
};

TEST(FatBootSector, TheClusterCountAloneDecidesTheKind)
{
    const CKindCase kCases[] = {
        {100, false, eKindFat12},    {4084, false, eKindFat12},   {4085, false, eKindFat16},
        {65524, false, eKindFat16},  {65525, true, eKindFat32},   {200000, true, eKindFat32},
    };
    for (const CKindCase& c : kCases)
    {
        CFatBoot boot;
        const Bytes vec = FatBootSector(c.m_dwClusters, c.m_bFat32Layout);
        ASSERT_EQ(ParseBootSector(vec.data(), vec.size(), boot), 0u) << c.m_dwClusters;
        EXPECT_EQ(boot.m_eKind, c.m_eKind) << c.m_dwClusters;
        EXPECT_EQ(boot.m_dwClusterCount, c.m_dwClusters);
        EXPECT_STREQ(boot.m_szLabel, "MY CARD");
    }
    // The type text says nothing: a FAT16 volume whose text says FAT32.
    Bytes vec = FatBootSector(5000, false);
    memcpy(vec.data() + 54, "FAT32   ", 8);
    CFatBoot boot;
    ASSERT_EQ(ParseBootSector(vec.data(), vec.size(), boot), 0u);
    EXPECT_EQ(boot.m_eKind, eKindFat16);
}

struct CBrokenBoot
{
    const char* m_pszWhat;
    bool m_bFat32;
    std::function<void(Bytes&)> m_fnBreak;
    DWORD m_dwCode;
};

TEST(FatBootSector, RefusesFieldsThatDoNotFit)
{
    const CBrokenBoot kCases[] = {
        {"no signature", false, [](Bytes& v) { v[510] = 0; }, ERROR_INVALID_DRIVE},
        {"no jump", false, [](Bytes& v) { v[0] = 0; }, ERROR_INVALID_DRIVE},
        {"300-byte sectors", false, [](Bytes& v) { PutLE(v, 11, 300, 2); }, ERROR_INVALID_DRIVE},
        {"3 sectors a cluster", false, [](Bytes& v) { v[13] = 3; }, ERROR_INVALID_DRIVE},
        {"no FAT", false, [](Bytes& v) { v[16] = 0; }, ERROR_INVALID_DRIVE},
        {"no reserved sector", false, [](Bytes& v) { PutLE(v, 14, 0, 2); }, ERROR_INVALID_DRIVE},
        {"FAT of length 0", false, [](Bytes& v) { PutLE(v, 22, 0, 2); }, ERROR_INVALID_DRIVE},
        {"volume shorter than its FATs", false, [](Bytes& v) { PutLE(v, 19, 20, 2); }, ERROR_INVALID_DRIVE},
        {"no root entries on FAT16", false, [](Bytes& v) { PutLE(v, 17, 0, 2); }, ERROR_INVALID_DRIVE},
        {"root entries on FAT32", true, [](Bytes& v) { PutLE(v, 17, 512, 2); }, ERROR_INVALID_DRIVE},
        {"root cluster past the volume", true, [](Bytes& v) { PutLE(v, 44, 0x0FFFFFF0, 4); }, ERROR_INVALID_DRIVE},
        {"root cluster 1", true, [](Bytes& v) { PutLE(v, 44, 1, 4); }, ERROR_INVALID_DRIVE},
        {"0 sectors a cluster", false, [](Bytes& v) { v[13] = 0; }, ERROR_INVALID_DRIVE},
    };
    for (const CBrokenBoot& c : kCases)
    {
        Bytes vec = FatBootSector(c.m_bFat32 ? 70000 : 5000, c.m_bFat32);
        c.m_fnBreak(vec);
        CFatBoot boot;
        boot.m_dwClusterCount = 12345;
        EXPECT_EQ(ParseBootSector(vec.data(), vec.size(), boot), c.m_dwCode) << c.m_pszWhat;
        EXPECT_EQ(boot.m_dwClusterCount, 12345u) << c.m_pszWhat << ": written on failure";
    }
    const Bytes vec = FatBootSector(5000, false);
    CFatBoot boot;
    EXPECT_EQ(ParseBootSector(vec.data(), 511, boot), static_cast<DWORD>(ERROR_READ_FAULT));
    EXPECT_EQ(ParseBootSector(nullptr, 512, boot), static_cast<DWORD>(ERROR_READ_FAULT));
}

TEST(FatBootSector, CountsOnlyTheClustersItsFatCanMap)
{
    // A FAT16 of 4 sectors maps 1024 entries, two of them reserved; the
    // volume has room for 5000 clusters, so 4085 more than can be chained.
    const Bytes vec = FatBootSector(5000, false, 4);
    CFatBoot boot;
    ASSERT_EQ(ParseBootSector(vec.data(), vec.size(), boot), 0u);
    EXPECT_EQ(boot.m_eKind, eKindFat16);
    EXPECT_EQ(boot.m_dwClusterCount, 1022u);
}

TEST(ExfatBootSector, ReadsTheGeometryAndRefusesWhatDoesNotFit)
{
    Bytes vec = ExfatBootSector(1000);
    CFatBoot boot;
    ASSERT_EQ(ParseBootSector(vec.data(), vec.size(), boot), 0u);
    EXPECT_EQ(boot.m_eKind, eKindExfat);
    EXPECT_EQ(boot.m_dwClusterSize, 4096u);
    EXPECT_EQ(boot.m_dwClusterCount, 1000u);
    EXPECT_EQ(boot.m_dwRootCluster, 4u);
    EXPECT_EQ(boot.m_n64FatSector, 24u);

    const CBrokenBoot kCases[] = {
        {"256-byte sectors", false, [](Bytes& v) { v[108] = 8; }, ERROR_INVALID_DRIVE},
        {"64 MiB clusters", false, [](Bytes& v) { v[109] = 17; }, ERROR_INVALID_DRIVE},
        {"three FATs", false, [](Bytes& v) { v[110] = 3; }, ERROR_INVALID_DRIVE},
        {"the FAT inside the heap", false, [](Bytes& v) { PutLE(v, 84, 100000, 4); }, ERROR_INVALID_DRIVE},
        {"the FAT over the boot region", false, [](Bytes& v) { PutLE(v, 80, 3, 4); }, ERROR_INVALID_DRIVE},
        {"the heap past the volume", false, [](Bytes& v) { PutLE(v, 72, 30, 8); }, ERROR_INVALID_DRIVE},
        {"the root past the heap", false, [](Bytes& v) { PutLE(v, 96, 1002, 4); }, ERROR_INVALID_DRIVE},
        {"no signature", false, [](Bytes& v) { v[511] = 0; }, ERROR_INVALID_DRIVE},
    };
    for (const CBrokenBoot& c : kCases)
    {
        Bytes vecBroken = ExfatBootSector(1000);
        c.m_fnBreak(vecBroken);
        EXPECT_EQ(ParseBootSector(vecBroken.data(), vecBroken.size(), boot), c.m_dwCode) << c.m_pszWhat;
    }
    // More clusters stated than the volume holds: those it holds.
    PutLE(vec, 92, 5000, 4);
    ASSERT_EQ(ParseBootSector(vec.data(), vec.size(), boot), 0u);
    EXPECT_EQ(boot.m_dwClusterCount, 1000u);
}

TEST(ExfatBootSector, TheChecksumLeavesOutTheFieldsThatChange)
{
    Bytes vecRegion(11 * 512, 0);
    const Bytes vecBoot = ExfatBootSector(1000);
    std::copy(vecBoot.begin(), vecBoot.end(), vecRegion.begin());
    const DWORD dwSum = ExfatBootChecksum(vecRegion.data(), vecRegion.size());
    for (size_t nByte : {106, 107, 112})
    {
        Bytes vec = vecRegion;
        vec[nByte] ^= 0x5A;
        EXPECT_EQ(ExfatBootChecksum(vec.data(), vec.size()), dwSum) << nByte;
    }
    for (size_t nByte : {0, 105, 108, 113, 5000})
    {
        Bytes vec = vecRegion;
        vec[nByte] ^= 0x5A;
        EXPECT_NE(ExfatBootChecksum(vec.data(), vec.size()), dwSum) << nByte;
    }
}

// ---- FAT entries ----------------------------------------------------------------

TEST(FatEntry, ReadsEachWidth)
{
    // FAT12: clusters 2 and 3 share three bytes: 0x345 and 0xABC.
    const BYTE byFat12[] = {0xF8, 0xFF, 0xFF, 0x45, 0xC3, 0xAB};
    const BYTE byFat16[] = {0xF8, 0xFF, 0xFF, 0xFF, 0x03, 0x00, 0xFF, 0xFF};
    const BYTE byFat32[] = {0, 0, 0, 0, 0, 0, 0, 0, 0x05, 0x00, 0x00, 0xF0, 0xFF, 0xFF, 0xFF, 0xFF};
    struct
    {
        const BYTE* m_p;
        size_t m_n;
        EFatKind m_eKind;
        DWORD m_dwCluster;
        DWORD m_dwValue;
    } const kCases[] = {
        {byFat12, 6, eKindFat12, 2, 0x345}, {byFat12, 6, eKindFat12, 3, 0xABC},
        {byFat16, 8, eKindFat16, 2, 3},     {byFat16, 8, eKindFat16, 3, 0xFFFF},
        {byFat32, 16, eKindFat32, 2, 5},    {byFat32, 16, eKindFat32, 3, 0x0FFFFFFF},  // the top 4 bits are not the entry's
        {byFat32, 16, eKindExfat, 2, 0xF0000005},
    };
    for (const auto& c : kCases)
    {
        DWORD dwValue = 0;
        ASSERT_TRUE(ReadFatEntry(c.m_p, c.m_n, c.m_eKind, 0, c.m_dwCluster, dwValue)) << c.m_dwCluster;
        EXPECT_EQ(dwValue, c.m_dwValue) << KindName(c.m_eKind) << " " << c.m_dwCluster;
    }
    DWORD dwValue = 0;
    EXPECT_FALSE(ReadFatEntry(byFat16, 8, eKindFat16, 0, 4, dwValue));   // past the piece
    EXPECT_FALSE(ReadFatEntry(byFat12, 5, eKindFat12, 0, 3, dwValue));   // its word cut
    EXPECT_FALSE(ReadFatEntry(byFat32, 16, eKindFat32, 3, 2, dwValue));  // before the piece
    // A piece that starts at cluster 2: its first entry is cluster 2's.
    ASSERT_TRUE(ReadFatEntry(byFat32 + 8, 8, eKindFat32, 2, 2, dwValue));
    EXPECT_EQ(dwValue, 5u);
}

}  // namespace
