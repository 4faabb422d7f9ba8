// Sizes and states from hand-made records and maps: the allocation map's
// counts, the states of whole files, files put together from extension
// records met in any order, a map that is missing, short or damaged, and the
// texts of the cells (times at the ends of what a record can hold).
#include "support/NtfsImage.h"
#include "support/ZoneGuard.h"

#include "ntfs/FileState.h"
#include "ntfs/NTFSDrive.h"
#include "session/RowText.h"
#include "session/RowView.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

using namespace salvix_test;
using ntfs::CDataPiece;
using ntfs::CFileState;

namespace
{

// A map of nClusters clusters with the given ones in use.
CClusterBitmap Map(ULONGLONG n64Clusters, const std::vector<ULONGLONG>& vecInUse)
{
    CClusterBitmap map;
    EXPECT_EQ(0u, map.Reset(n64Clusters));
    for (ULONGLONG n64 : vecInUse)
        map.Bytes()[n64 / 8] |= static_cast<BYTE>(1u << (n64 % 8));
    map.SetUsable(true);
    return map;
}

CDataPiece Piece(bool bStart, ULONGLONG n64Size, ULONGLONG n64Vcns, ULONGLONG n64Covered, ULONGLONG n64Stored,
                 ULONGLONG n64Free)
{
    CDataPiece piece;
    piece.m_bFound = true;
    piece.m_bStart = bStart;
    piece.m_n64Size = n64Size;
    piece.m_n64Vcns = n64Vcns;
    piece.m_n64Covered = n64Covered;
    piece.m_tally.m_n64Stored = n64Stored;
    piece.m_tally.m_n64Free = n64Free;
    return piece;
}

ntfs::CRecordHeader Header(bool bInUse, WORD wSequence, ULONGLONG n64Base = 0, WORD wBaseSequence = 0)
{
    ntfs::CRecordHeader header;
    header.m_bInUse = bInUse;
    header.m_wSequence = wSequence;
    header.m_n64BaseRef = n64Base ? n64Base | (static_cast<ULONGLONG>(wBaseSequence) << 48) : 0;
    return header;
}

}  // namespace

TEST(ClusterBitmapTest, CountsClustersInUseAcrossBytesAndWordsAndPastTheVolume)
{
    // Every third cluster of 300 in use, and the whole stretch 128 to 191.
    std::vector<ULONGLONG> vecInUse;
    for (ULONGLONG n = 0; n < 300; ++n)
        if (n % 3 == 0 || (n >= 128 && n < 192))
            vecInUse.push_back(n);
    const CClusterBitmap map = Map(300, vecInUse);
    struct CCase
    {
        ULONGLONG m_n64First, m_n64Count;
    };
    const CCase kCases[] = {{0, 1}, {1, 2}, {5, 3}, {0, 300}, {7, 130}, {120, 80}, {128, 64}, {250, 100}, {400, 10}};
    for (const CCase& c : kCases)
    {
        SCOPED_TRACE(std::to_string(c.m_n64First) + " +" + std::to_string(c.m_n64Count));
        ULONGLONG n64Expected = 0;
        for (ULONGLONG n = c.m_n64First; n < c.m_n64First + c.m_n64Count; ++n)
            n64Expected += n >= 300 || n % 3 == 0 || (n >= 128 && n < 192) ? 1 : 0;
        EXPECT_EQ(n64Expected, map.CountInUse(c.m_n64First, c.m_n64Count));
    }
    // Sparse extents hold nothing; one that leaves the volume is lost whole.
    const std::vector<ntfs::CExtent> vecExtents = {
        {0, 3, 1, false}, {3, 50, 0, true}, {53, 4, 298, false}, {57, 6, 193, false}};
    const CClusterTally tally = TallyExtents(vecExtents, map);
    EXPECT_EQ(13u, tally.m_n64Stored);
    // 1 and 2 free; 298..301 leave the volume; 193..198: 193, 194, 196, 197 free.
    EXPECT_EQ(6u, tally.m_n64Free);
    CClusterBitmap tooBig;
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_TOO_LARGE), tooBig.Reset((CClusterBitmap::kMaxBytes + 1) * 8));
    EXPECT_FALSE(tooBig.Usable());
}

TEST(FileStateTest, StatesOfWholeFiles)
{
    struct CCase
    {
        const char* m_pszWhat;
        bool m_bInUse, m_bDirectory, m_bMap;
        CDataPiece m_piece;
        ERowState m_eState;
        BYTE m_byPercent;
        bool m_bHasSize;
    };
    CDataPiece resident = Piece(true, 300, 0, 0, 0, 0);
    resident.m_bResident = true;
    CDataPiece damaged = Piece(true, 4096, 1, 1, 1, 1);
    damaged.m_bDamaged = true;
    const CCase kCases[] = {
        {"live", true, false, true, Piece(true, 5000, 2, 2, 2, 0), eRowStateLive, 0, true},
        {"every cluster free", false, false, true, Piece(true, 5000, 2, 2, 2, 2), eRowStateRecoverable, 100, true},
        {"one of three free", false, false, true, Piece(true, 9000, 3, 3, 3, 1), eRowStatePartial, 33, true},
        {"one of 1000 free", false, false, true, Piece(true, 1u << 22, 1000, 1000, 1000, 1), eRowStatePartial, 1, true},
        {"999 of 1000 free", false, false, true, Piece(true, 1u << 22, 1000, 1000, 1000, 999), eRowStatePartial, 99, true},
        {"none free", false, false, true, Piece(true, 9000, 3, 3, 3, 0), eRowStateOverwritten, 0, true},
        {"resident", false, false, false, resident, eRowStateRecoverable, 100, true},
        {"all sparse", false, false, true, Piece(true, 1u << 20, 256, 256, 0, 0), eRowStateRecoverable, 100, true},
        {"empty", false, false, true, Piece(true, 0, 0, 0, 0, 0), eRowStateNoData, 0, true},
        {"no $DATA", false, false, true, CDataPiece(), eRowStateNoData, 0, false},
        {"a folder", false, true, true, CDataPiece(), eRowStateNoData, 0, false},
        {"no map", false, false, false, Piece(true, 5000, 2, 2, 2, 2), eRowStateUnknown, 0, true},
        {"damaged $DATA", false, false, true, damaged, eRowStateUnknown, 0, true},
        {"no start", false, false, true, Piece(false, 0, 0, 2, 2, 2), eRowStateUnknown, 0, false},
        // A size beyond any volume is shown as stored.
        {"huge size", false, false, true, Piece(true, ~0ull, 2, 2, 2, 2), eRowStateRecoverable, 100, true},
    };
    for (const CCase& c : kCases)
    {
        SCOPED_TRACE(c.m_pszWhat);
        const CFileState state = ntfs::FileStateOf(c.m_bInUse, c.m_bDirectory, c.m_piece, c.m_bMap);
        EXPECT_EQ(c.m_eState, state.m_eState);
        EXPECT_EQ(c.m_byPercent, state.m_byFreePercent);
        EXPECT_EQ(c.m_bHasSize, state.m_bHasSize);
        EXPECT_EQ(c.m_bHasSize ? c.m_piece.m_n64Size : 0, state.m_n64Size);
    }
}

TEST(FileStateTest, FilesInExtensionRecordsArePutTogetherInAnyOrder)
{
    // Base 40 (deleted, sequence 8 after its deletion) holds VCNs 0-9 of 30,
    // extension records hold 10-19 and 20-29.
    const CDataPiece own = Piece(true, 30 * 4096, 30, 10, 10, 10);
    const CDataPiece second = Piece(false, 0, 0, 10, 10, 5);
    const CDataPiece third = Piece(false, 0, 0, 10, 10, 0);
    struct CCase
    {
        const char* m_pszWhat;
        bool m_bBaseFirst;
        ntfs::CRecordHeader m_extension;  // of both extension records
        ERowState m_eState;
        BYTE m_byPercent;
        bool m_bPending;
    };
    const CCase kCases[] = {
        {"base first", true, Header(false, 3, 40, 7), eRowStatePartial, 50, false},
        {"extensions first", false, Header(false, 3, 40, 7), eRowStatePartial, 50, false},
        // Records of another file of that number, or still in use beside a freed base: not its own.
        {"another sequence", true, Header(false, 3, 40, 5), eRowStateUnknown, 0, true},
        {"in use beside a freed base", false, Header(true, 3, 40, 7), eRowStateUnknown, 0, true},
    };
    for (const CCase& c : kCases)
    {
        SCOPED_TRACE(c.m_pszWhat);
        ntfs::CSpreadFiles spread;
        spread.SetMapUsable(true);
        DWORD dwBase = 0;
        CFileState completed;
        bool bCompleted = false;
        if (!c.m_bBaseFirst)
        {
            bCompleted = spread.AddExtension(c.m_extension, second, dwBase, completed) ||
                         spread.AddExtension(c.m_extension, third, dwBase, completed);
            EXPECT_FALSE(bCompleted);
        }
        CFileState state = spread.AddBase(40, Header(false, 8), own, true);
        if (c.m_bBaseFirst)
        {
            EXPECT_TRUE(state.m_bPending);
            EXPECT_EQ(eRowStateUnknown, state.m_eState);
            EXPECT_FALSE(spread.AddExtension(c.m_extension, second, dwBase, completed));
            bCompleted = spread.AddExtension(c.m_extension, third, dwBase, completed);
            if (bCompleted)
            {
                EXPECT_EQ(40u, dwBase);
                state = completed;
            }
        }
        EXPECT_EQ(c.m_bPending, state.m_bPending);
        EXPECT_EQ(c.m_eState, state.m_eState);
        EXPECT_EQ(c.m_byPercent, state.m_byFreePercent);
        EXPECT_EQ(30u * 4096, state.m_n64Size);
        EXPECT_EQ(c.m_bPending ? 1u : 0u, spread.Waiting());
    }
}

TEST(FileStateTest, AMissingShortOrDamagedMapLeavesStatesUnknownAndTheScanGoesOn)
{
    struct CCase
    {
        const char* m_pszWhat;
        int m_nMapBytes;         // the $Bitmap's length; -1: record 6 holds no $Bitmap
        BYTE m_byFirst;          // its first byte
        DWORD m_dwCode;
        ERowState m_eDeleted;   // the deleted file's state
    };
    // The volume: 2048 sectors of 512 bytes, 4 KiB clusters: 256 clusters, a map of 32 bytes.
    const CCase kCases[] = {
        {"sound", 32, 0x1F, 0, eRowStateRecoverable},
        {"no $Bitmap", -1, 0x1F, static_cast<DWORD>(ERROR_FILE_NOT_FOUND), eRowStateUnknown},
        {"shorter than the volume", 16, 0x1F, static_cast<DWORD>(ERROR_INVALID_DATA), eRowStateUnknown},
        {"the boot sector free", 32, 0x1E, static_cast<DWORD>(ERROR_INVALID_DATA), eRowStateUnknown},
    };
    for (const CCase& c : kCases)
    {
        SCOPED_TRACE(c.m_pszWhat);
        CTestDisk disk;
        // The map lies resident in record 6; the deleted file's one cluster, 100, is free in it.
        std::vector<BYTE> vecMap(c.m_nMapBytes < 0 ? 0 : static_cast<size_t>(c.m_nMapBytes), 0);
        if (!vecMap.empty())
            vecMap[0] = c.m_byFirst;
        CRecordImage& bitmap = disk.Record(6);
        bitmap.AddResident(0x10, StandardInfoValue());
        bitmap.AddResident(0x30, FileNameValue(c.m_nMapBytes < 0 ? u"$Other" : u"$Bitmap"));
        bitmap.AddResident(0x80, vecMap);
        CRecordImage deleted(1024, false);
        deleted.AddResident(0x10, StandardInfoValue());
        deleted.AddResident(0x30, FileNameValue(u"gone.bin", 4096));
        deleted.AddNonResident(0x80, Runs({{1, 100}}), 4096, 3000);
        disk.SetRaw(40, deleted.End().Protect(41).Bytes());
        disk.Build(64);
        // The boot sector's total sectors: 2048.
        std::vector<BYTE> vecTotal(8, 0);
        PutLE(vecTotal, 0, 2048, 8);
        disk.File().Write(disk.VolumeOffset() + 0x28, vecTotal);
        CHandle device(disk.Open());
        CNTFSDrive drive;
        ASSERT_EQ(0u, OpenVolumeOn(drive, device, disk.FirstSector()));
        EXPECT_EQ(c.m_dwCode, drive.LoadClusterBitmap());
        MFTEntryInfo info;
        MFTEntryDetails details;
        ASSERT_EQ(ntfs::ERecordKind::eFile, drive.ExamineRecord(40, info, details));
        EXPECT_EQ(c.m_eDeleted, details.state.m_eState);
        EXPECT_EQ(3000u, details.state.m_n64Size);
    }
}

TEST(CellTextTest, SizesTimesAndStatesAsTheCellsShowThem)
{
    CScanRow row;
    row.m_byRowFlags = CScanRow::kRowHasSize;
    const std::pair<ULONGLONG, const char*> kSizes[] = {
        {0, "0"}, {999, "999"}, {1000, "1,000"}, {185900, "185,900"}, {~0ull, "18,446,744,073,709,551,615"}};
    for (const auto& [n64Size, pszText] : kSizes)
    {
        row.m_n64Size = n64Size;
        EXPECT_EQ(pszText, SizeText(row));
    }
    row.m_byRowFlags = CScanRow::kRowDirectory;
    EXPECT_EQ("", SizeText(row));

    // Times in UTC, then in a zone eight hours east; past 2500 and on a
    // wall clock, as stored.
    CZoneGuard zone;
    struct CTime
    {
        const char* m_pszZone;
        ULONGLONG m_n64Time;
        bool m_bWallClock;
        const char* m_pszText;
    };
    const ULONGLONG k1970 = 116444736000000000ull;
    const ULONGLONG kDay = 864000000000ull;
    const CTime kTimes[] = {
        {"UTC0", 0, false, ""},
        {"UTC0", 1, false, "1601-01-01 00:00:00"},
        {"UTC0", k1970, false, "1970-01-01 00:00:00"},
        {"UTC0", k1970 + 11016 * kDay + 36000000000ull * 12 / 10 + 9999999, false, "2000-02-29 01:12:00"},
        {"UTC0", k1970 - 25508 * kDay, false, "1900-03-01 00:00:00"},
        {"UTC0", ~0ull, false, "60056-05-28 05:36:10"},
        {"CST-8", k1970, false, "1970-01-01 08:00:00"},
        {"CST-8", k1970, true, "1970-01-01 00:00:00"},
        {"CST-8", ~0ull, false, "60056-05-28 05:36:10"},
        {"CST+8", 1, false, "1601-01-01 00:00:00"},
    };
    for (const CTime& t : kTimes)
    {
        SCOPED_TRACE(std::string(t.m_pszZone) + " " + std::to_string(t.m_n64Time));
        zone.Set(t.m_pszZone);
        EXPECT_EQ(t.m_pszText, TimeText(t.m_n64Time, t.m_bWallClock));
    }

    EXPECT_EQ("部分覆盖 53%", StateText(eRowStatePartial, 53));
    EXPECT_EQ("可恢复", StateText(eRowStateRecoverable, 100));
    EXPECT_EQ("未知", StateText(eRowStateUnknown, 0));
}
