// Directory entries, long names, exFAT entry sets, names and times, from
// hand-made bytes.
#include "FatBytes.h"

#include "fat/FatNames.h"

#include <gtest/gtest.h>

using namespace salvix_test;
using namespace fat;

namespace
{

std::string ShortText(const Bytes& vecEntry)
{
    CDirEntry e;
    EXPECT_TRUE(ParseDirEntry(vecEntry.data(), vecEntry.size(), false, e));
    std::string str;
    ShortNameText(e, str);
    return str;
}

TEST(FatDirEntry, ShortNamesAsTheyAreShown)
{
    struct
    {
        const char* m_pszStored;
        BYTE m_byCase;
        const char* m_pszShown;
    } const kCases[] = {
        {"README  TXT", 0, "README.TXT"},
        {"README  TXT", 0x08, "readme.TXT"},
        {"README  TXT", 0x18, "readme.txt"},
        {"NOEXT      ", 0, "NOEXT"},
        {"\xE5" "EADME  TXT", 0, "_EADME.TXT"},        // deleted: FAT overwrote the first byte
        {"\x05" "BC     TXT", 0, "\xCF\x83" "BC.TXT"},  // a name that starts with byte 0xE5 (σ)
        {"CAF\x82    TXT", 0, "CAF\xC3\xA9.TXT"},       // code page 437
    };
    for (const auto& c : kCases)
    {
        Bytes vec = ShortEntry(c.m_pszStored);
        vec[12] = c.m_byCase;
        EXPECT_EQ(ShortText(vec), c.m_pszShown) << c.m_pszStored;
    }
}

TEST(FatDirEntry, ReadsTheFieldsAndTheKind)
{
    Bytes vec = ShortEntry("PHOTO   JPG", 0x21, 0x00123456, 98765);
    PutLE(vec, 22, (12u << 11) | (34u << 5) | 28u, 2);
    PutLE(vec, 24, (44u << 9) | (2u << 5) | 29u, 2);
    CDirEntry e;
    ASSERT_TRUE(ParseDirEntry(vec.data(), vec.size(), true, e));
    EXPECT_EQ(e.m_eKind, eDirShort);
    EXPECT_FALSE(e.m_bDeleted);
    EXPECT_EQ(e.m_dwFirstCluster, 0x00123456u);
    EXPECT_EQ(e.m_dwSize, 98765u);
    EXPECT_EQ(e.m_byAttributes, 0x21);
    ASSERT_TRUE(ParseDirEntry(vec.data(), vec.size(), false, e));
    EXPECT_EQ(e.m_dwFirstCluster, 0x3456u) << "FAT12/16 have no high word";
    EXPECT_EQ(FatTime(e.m_wWriteDate, e.m_wWriteTime).m_n64Value, (1709210096ull + 11644473600ull) * 10000000ull);

    struct
    {
        Bytes m_vec;
        EDirEntryKind m_eKind;
        bool m_bDeleted;
    } const kKinds[] = {
        {Bytes(32, 0), eDirEnd, false},
        {ShortEntry("\xE5" "OO     TXT"), eDirShort, true},
        {ShortEntry("MY CARD    ", 0x08), eDirLabel, false},
        {ShortEntry("\xE5" "Y CARD    ", 0x08), eDirFree, true},
        {ShortEntry("A\0B\0C\0D\0E\0\0", 0x0F), eDirLongName, false},
        {ShortEntry("SUBDIR     ", 0x10, 7), eDirShort, false},
    };
    for (const auto& k : kKinds)
    {
        ASSERT_TRUE(ParseDirEntry(k.m_vec.data(), k.m_vec.size(), false, e));
        EXPECT_EQ(e.m_eKind, k.m_eKind);
        EXPECT_EQ(e.m_bDeleted, k.m_bDeleted);
    }
    EXPECT_FALSE(ParseDirEntry(vec.data(), 31, false, e));
    ASSERT_TRUE(ParseDirEntry(ShortEntry(".          ", 0x10).data(), 32, false, e));
    EXPECT_TRUE(e.IsDotEntry());
    ASSERT_TRUE(ParseDirEntry(ShortEntry("..         ", 0x10).data(), 32, false, e));
    EXPECT_TRUE(e.IsDotEntry());
    ASSERT_TRUE(ParseDirEntry(ShortEntry("..A        ", 0x10).data(), 32, false, e));
    EXPECT_FALSE(e.IsDotEntry());
}

// Feeds parts and a short entry to the collector: the name it gives, or
// the short name when it gives none.
std::string Joined(const std::vector<Bytes>& vecParts, const Bytes& vecShort)
{
    CLongNameCollector collector;
    for (const Bytes& vec : vecParts)
    {
        CLongNameEntry part;
        if (ParseLongNameEntry(vec.data(), vec.size(), part))
            collector.Add(part);
        else
            collector.Reset();
    }
    CDirEntry e;
    EXPECT_TRUE(ParseDirEntry(vecShort.data(), vecShort.size(), false, e));
    std::string str;
    if (!collector.Take(e, str))
        ShortNameText(e, str);
    return str;
}

TEST(LongName, JoinsThePartsOfItsShortEntryOnly)
{
    const std::string strShort = "HLLOWR~1TXT";
    const std::u16string strLong = u"héllo wörld, a name of three parts.txt";
    const std::string strLongUtf8 = "héllo wörld, a name of three parts.txt";
    const std::vector<Bytes> vecParts = LongNameParts(strLong, strShort);
    ASSERT_EQ(vecParts.size(), 3u);
    const Bytes vecEntry = ShortEntry(strShort);

    EXPECT_EQ(Joined(vecParts, vecEntry), strLongUtf8);
    // Exactly 13 units: no terminator, no padding.
    EXPECT_EQ(Joined(LongNameParts(u"thirteen.char", "THIRTE~1CHA"), ShortEntry("THIRTE~1CHA")), "thirteen.char");
    // Another short entry's checksum.
    EXPECT_EQ(Joined(vecParts, ShortEntry("OTHER   TXT")), "OTHER.TXT");
    // A part missing, parts out of order, a sequence past 20, a part whose
    // type byte or cluster is set.
    EXPECT_EQ(Joined({vecParts[0], vecParts[2]}, vecEntry), "HLLOWR~1.TXT");
    EXPECT_EQ(Joined({vecParts[1], vecParts[0], vecParts[2]}, vecEntry), "HLLOWR~1.TXT");
    std::vector<Bytes> vecBroken = vecParts;
    vecBroken[0][0] = 0x40 | 21;
    EXPECT_EQ(Joined(vecBroken, vecEntry), "HLLOWR~1.TXT");
    vecBroken = vecParts;
    vecBroken[1][12] = 1;
    EXPECT_EQ(Joined(vecBroken, vecEntry), "HLLOWR~1.TXT");
    vecBroken = vecParts;
    vecBroken[2][26] = 9;
    EXPECT_EQ(Joined(vecBroken, vecEntry), "HLLOWR~1.TXT");
    // A name that starts with a 0 unit is no name.
    vecBroken = LongNameParts(u"x", strShort);
    PutLE(vecBroken[0], 1, 0, 2);
    EXPECT_EQ(Joined(vecBroken, vecEntry), "HLLOWR~1.TXT");
}

TEST(LongName, JoinsADeletedNameWhoseFirstByteFatOverwrote)
{
    const std::string strShort = "PHOTOS~1JPG";
    std::vector<Bytes> vecParts = LongNameParts(u"Photos of the summer.jpg", strShort);
    Bytes vecEntry = ShortEntry(strShort);
    for (Bytes& vec : vecParts)
        vec[0] = 0xE5;
    vecEntry[0] = 0xE5;
    EXPECT_EQ(Joined(vecParts, vecEntry), "Photos of the summer.jpg");
    // Live parts before a deleted entry, or deleted parts before a live one.
    vecParts = LongNameParts(u"Photos of the summer.jpg", strShort);
    EXPECT_EQ(Joined(vecParts, vecEntry), "_HOTOS~1.JPG");
    for (Bytes& vec : vecParts)
        vec[0] = 0xE5;
    EXPECT_EQ(Joined(vecParts, ShortEntry(strShort)), "PHOTOS~1.JPG");
}

TEST(Utf8, SurrogatePairsWholeAndBrokenOnesReplaced)
{
    struct
    {
        std::u16string m_str;
        const char* m_pszUtf8;
    } const kCases[] = {
        {u"abc", "abc"},
        {u"Привет", "Привет"},
        {u"照片", "照片"},
        {u"😀", "\xF0\x9F\x98\x80"},
        {std::u16string(1, char16_t(0xD83D)) + u"x", "\xEF\xBF\xBDx"},
        {std::u16string(1, char16_t(0xDE00)), "\xEF\xBF\xBD"},
        {std::u16string(u"ab\0cd", 5), "ab"},
    };
    for (const auto& c : kCases)
    {
        std::string str;
        AppendUtf8(reinterpret_cast<const WORD*>(c.m_str.data()), c.m_str.size(), str);
        EXPECT_EQ(str, c.m_pszUtf8);
    }
}

TEST(Times, FatDatesAndExfatZones)
{
    const ULONGLONG k1970 = 11644473600ull * 10000000ull;
    const WORD wDate2024 = (44u << 9) | (2u << 5) | 29u, wTime = (12u << 11) | (34u << 5) | 28u;
    struct
    {
        CFatTime m_time;
        ULONGLONG m_n64Value;
        bool m_bWallClock;
    } const kCases[] = {
        {FatTime(wDate2024, wTime), k1970 + 1709210096ull * 10000000ull, true},
        {FatTime((0u << 9) | (1u << 5) | 1u, 0), k1970 + 315532800ull * 10000000ull, true},
        {FatTime(wDate2024, wTime, 199), k1970 + 1709210096ull * 10000000ull + 19900000ull, true},
        {FatTime((43u << 9) | (2u << 5) | 29u, 0), 0, true},  // 2023 had no 29 February
        {FatTime((44u << 9) | (13u << 5) | 1u, 0), 0, true},
        {FatTime((44u << 9) | (1u << 5) | 0u, 0), 0, true},
        {FatTime(wDate2024, (24u << 11)), 0, true},
        {FatTime(wDate2024, wTime, 200), 0, true},
        // UTC+8 (32 quarters), UTC-5 (-20 quarters): UTC is the time less the offset.
        {ExfatTime((DWORD(wDate2024) << 16) | wTime, 0, 0x80 | 32), k1970 + (1709210096ull - 8 * 3600) * 10000000ull, false},
        {ExfatTime((DWORD(wDate2024) << 16) | wTime, 0, 0x80 | (128 - 20)), k1970 + (1709210096ull + 5 * 3600) * 10000000ull, false},
        {ExfatTime((DWORD(wDate2024) << 16) | wTime, 50, 32), k1970 + 1709210096ull * 10000000ull + 5000000ull, true},
    };
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
    {
        EXPECT_EQ(kCases[i].m_time.m_n64Value, kCases[i].m_n64Value) << i;
        if (kCases[i].m_n64Value)
        {
            EXPECT_EQ(kCases[i].m_time.m_bWallClock, kCases[i].m_bWallClock) << i;
        }
    }
}

// ---- exFAT entry sets -------------------------------------------------------------

TEST(ExfatSet, ParsesLiveAndDeletedSetsAndRefusesDamagedOnes)
{
    const Bytes vecSet = ExfatSet(u"A name longer than fifteen units.jpg", 9, 123456, true);
    ASSERT_EQ(vecSet.size(), 32u * 5);
    CExfatFile f;
    ASSERT_TRUE(ParseExfatSet(vecSet.data(), 5, f));
    EXPECT_FALSE(f.m_bDeleted);
    EXPECT_TRUE(f.m_bNoFatChain);
    EXPECT_EQ(f.m_dwFirstCluster, 9u);
    EXPECT_EQ(f.m_n64Length, 123456u);
    std::string strName;
    AppendUtf8(f.m_wName, f.m_dwNameUnits, strName);
    EXPECT_EQ(strName, "A name longer than fifteen units.jpg");

    // A deletion clears each entry's in-use bit and nothing else: the set
    // still checks out against the checksum written with it.
    Bytes vecDeleted = vecSet;
    for (size_t i = 0; i < 5; ++i)
        vecDeleted[32 * i] &= 0x7F;
    ASSERT_TRUE(ParseExfatSet(vecDeleted.data(), 5, f));
    EXPECT_TRUE(f.m_bDeleted);

    struct
    {
        const char* m_pszWhat;
        size_t m_nByte;
        BYTE m_byValue;
    } const kBroken[] = {
        {"a byte of the name", 32 * 2 + 4, 'x'},
        {"the length", 32 + 24, 7},
        {"one entry deleted", 32 * 3, 0x41},
        {"the stream not first", 32, 0xC1},
        {"a primary entry inside", 32 * 4, 0x85},
        {"a name shorter than stated", 32 + 3, 60},
        {"no name at all", 32 + 3, 0},
    };
    for (const auto& b : kBroken)
    {
        Bytes vec = vecSet;
        vec[b.m_nByte] = b.m_byValue;
        EXPECT_FALSE(ParseExfatSet(vec.data(), 5, f)) << b.m_pszWhat;
    }
    EXPECT_FALSE(ParseExfatSet(vecSet.data(), 4, f)) << "fewer entries than the count";
    DWORD dwSecondary = 0;
    EXPECT_TRUE(ExfatSetLength(vecDeleted.data(), 32, dwSecondary));
    EXPECT_EQ(dwSecondary, 4u);
    Bytes vecOne = vecSet;
    vecOne[1] = 1;
    EXPECT_FALSE(ExfatSetLength(vecOne.data(), 32, dwSecondary)) << "a set needs a stream and a name";
}

TEST(ExfatSet, TakesVendorEntriesAndReadsTheTimes)
{
    Bytes vec = ExfatSet(u"x.bin", 5, 10, false);
    vec.resize(32 * 4, 0);
    vec[1] = 3;
    vec[32 * 3] = 0xE0;  // a vendor extension after the name
    PutLE(vec, 2, ExfatSetChecksum(vec.data(), 4, true), 2);
    CExfatFile f;
    ASSERT_TRUE(ParseExfatSet(vec.data(), 4, f));
    EXPECT_FALSE(f.m_bNoFatChain);
    const CFatTime time = ExfatTime(f.m_dwModify, f.m_byModify10ms, f.m_byModifyOffset);
    EXPECT_EQ(time.m_n64Value, (1709210096ull + 11644473600ull) * 10000000ull + 15000000ull);
}

TEST(ExfatSpecial, BitmapUpcaseAndLabel)
{
    Bytes vec(32, 0);
    vec[0] = 0x81;
    PutLE(vec, 20, 2, 4);
    PutLE(vec, 24, 128, 8);
    CExfatSpecial special;
    ASSERT_TRUE(ParseExfatSpecial(vec.data(), 32, special));
    EXPECT_EQ(special.m_dwFirstCluster, 2u);
    EXPECT_EQ(special.m_n64Length, 128u);
    vec[0] = 0x85;
    EXPECT_FALSE(ParseExfatSpecial(vec.data(), 32, special));
    Bytes vecLabel(32, 0);
    vecLabel[0] = 0x83;
    vecLabel[1] = 2;
    PutLE(vecLabel, 2, u'卡', 2);
    PutLE(vecLabel, 4, u'1', 2);
    WORD wUnits[11];
    DWORD dwUnits = 0;
    ASSERT_TRUE(ParseExfatLabel(vecLabel.data(), 32, wUnits, dwUnits));
    std::string str;
    AppendUtf8(wUnits, dwUnits, str);
    EXPECT_EQ(str, "卡1");
    vecLabel[1] = 12;
    EXPECT_FALSE(ParseExfatLabel(vecLabel.data(), 32, wUnits, dwUnits));
}

}  // namespace
