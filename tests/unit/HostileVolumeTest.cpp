// Damaged and hostile volumes made by hand, each walked whole the way the
// scan and the save walk a volume: every record described and read. Each
// case must end in a clear code or a shortened result, in bounded time, and
// (under an allocation cap) in bounded memory.
#include "PartitionWalk.h"
#include "support/FaultFreeTest.h"
#include "VolumeWalk.h"

#include <gtest/gtest.h>

using namespace salvix_test;

namespace
{

const DWORD kCluster = 4096;

class HostileVolumeTest : public CFaultFreeTest
{
};

CRecordImage Named(const std::u16string& strName)
{
    CRecordImage image;
    image.AddResident(0x10, StandardInfoValue(500));
    image.AddResident(0x30, FileNameValue(strName, 8192));
    return image;
}

// A name of 220 units, long enough to cross the end of the record's first
// 512-byte stretch.
std::u16string LongName()
{
    std::u16string str;
    for (int i = 0; i < 220; ++i)
        str += static_cast<char16_t>(u'a' + i % 26);
    return str;
}

// What the table's raw bytes say about a record's long name: the unit that
// lies over the stretch end holds the update sequence number when the
// record is taken as stored.
std::string NameAsStored(DWORD dwNameAttr, WORD wSequence)
{
    std::u16string str = LongName();
    const DWORD dwNameStart = dwNameAttr + 0x18 + 0x42;
    str[(510 - dwNameStart) / 2] = static_cast<char16_t>(wSequence);
    return std::string(str.begin(), str.end());
}

struct CExpect
{
    const char* m_pszClass;
    DWORD m_dwInfo;
    std::string m_strName;
    DWORD m_dwData;
    std::vector<BYTE> m_vecData;  // checked when m_dwData is 0
};

}  // namespace

TEST_F(HostileVolumeTest, DamagedRecordsEndInACodeOrAShortenedResult)
{
    CTestDisk disk;
    std::map<DWORD, CExpect> expect;
    DWORD dwNext = 30;
    auto add = [&](CExpect e) {
        expect[dwNext] = std::move(e);
        return dwNext++;
    };

    // Attribute lengths.
    {
        CRecordImage& r = disk.Record(add({"attribute length 0", 0, "len0", 0, {'A', 'B'}}));
        r = Named(u"len0");
        DWORD dwOffset = r.AddResident(0x80, {'A', 'B'});
        PutLE(r.Bytes(), dwOffset + 4, 0, 4);
        r.AddResident(0x80, {'C', 'D'});
    }
    for (DWORD dwLength : {0xFFFFFFF8u, 0x80000000u, 2000u})
    {
        CRecordImage& r = disk.Record(
            add({"attribute length wrapping or past the record", 0, "cut", ERROR_INVALID_PARAMETER, {}}));
        r = Named(u"cut");
        DWORD dwOffset = r.AddResident(0x80, {'A', 'B'});
        PutLE(r.Bytes(), dwOffset + 4, dwLength, 4);
    }
    // The first attribute's offset: past the record, at its end, 4 bytes before it.
    for (WORD wFirst : {WORD(0xFFF0), WORD(1025), WORD(1024), WORD(1020), WORD(1017)})
    {
        CRecordImage& r = disk.Record(add({"first attribute offset past the record", 0, "", 0, {}}));
        r = Named(u"never");
        r.AddResident(0x80, {'X'});
        PutLE(r.Bytes(), 0x14, wFirst, 2);
    }
    // Resident values that run past the record.
    {
        CRecordImage& r = disk.Record(add({"resident value length past the record", 0, "", 0, {}}));
        r.AddResident(0x10, StandardInfoValue(500));
        DWORD dwOffset = r.AddResident(0x30, FileNameValue(u"never"));
        PutLE(r.Bytes(), dwOffset + 0x10, 0x7FFFFFFF, 4);
    }
    {
        CRecordImage& r = disk.Record(add({"resident value offset past the record", 0, "", 0, {}}));
        DWORD dwOffset = r.AddResident(0x30, FileNameValue(u"never"));
        PutLE(r.Bytes(), dwOffset + 0x14, 0xFFFF, 2);
    }
    {
        // Described as usual, but its data cannot be the file's: refused.
        CRecordImage& r = disk.Record(
            add({"resident value ending 1 byte past the record", 0, "kept", ERROR_INVALID_PARAMETER, {}}));
        r = Named(u"kept");
        DWORD dwOffset = r.AddResident(0x80, {'A'});
        PutLE(r.Bytes(), dwOffset + 0x10, 1024 - dwOffset - 0x18 + 1, 4);
    }
    // A name length byte larger than the value: the name ends with the value.
    {
        CRecordImage& r = disk.Record(add({"name length past the value", 0, "abcd", 0, {}}));
        std::vector<BYTE> vecName = FileNameValue(u"abcd");
        vecName[0x40] = 255;
        r.AddResident(0x30, vecName);
    }
    // Run lists.
    struct CRuns
    {
        const char* m_pszClass;
        std::vector<BYTE> m_vecRuns;
        ULONGLONG m_n64Allocated, m_n64Real;
        DWORD m_dwWant;
    };
    const LONGLONG n64BelowDisk = -static_cast<LONGLONG>(disk.VolumeOffset() / kCluster) - 10;
    const CRuns runs[] = {
        {"run header with L above 8", {0x19, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0}, kCluster, kCluster,
         ERROR_INVALID_PARAMETER},
        {"run header with F above 8", {0x91, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0}, kCluster, kCluster,
         ERROR_INVALID_PARAMETER},
        {"run header with L and F 15", {0xFF, 1, 0}, kCluster, kCluster, ERROR_INVALID_PARAMETER},
        {"runs overrunning the value buffer", Runs({{3, 100}}), 2 * kCluster, 2 * kCluster, ERROR_INVALID_PARAMETER},
        {"runs past the end of the disk", Runs({{2, 10000000}}), 2 * kCluster, 2 * kCluster, ERROR_HANDLE_EOF},
        {"run before byte 0 of the disk", Runs({{1, n64BelowDisk}}), kCluster, kCluster, ERROR_INVALID_PARAMETER},
        {"run before the volume's first cluster", Runs({{1, -1}}), kCluster, kCluster, ERROR_INVALID_PARAMETER},
        // Only the real size is read: the one cluster lies past the disk's end.
        {"allocated size beyond 32 bits", Runs({{1, 100}}), 5ull << 30, kCluster, ERROR_HANDLE_EOF},
        {"real size beyond 32 bits, runs short of it", Runs({{1, 100}}), 8ull << 30, 5ull << 30,
         ERROR_INVALID_PARAMETER},
        {"real size above the allocated size", Runs({{1, 100}}), kCluster, kCluster + 1, ERROR_INVALID_PARAMETER},
        {"allocated size of 4 GiB - 4 KiB, runs cover it, the disk ends", Runs({{0xFFFFF, 100}}),
         0xFFFFF000ull, 0xFFFFF000ull, ERROR_HANDLE_EOF},
    };
    for (const CRuns& test : runs)
    {
        CRecordImage& r = disk.Record(add({test.m_pszClass, 0, "runs", test.m_dwWant, {}}));
        r = Named(u"runs");
        r.AddNonResident(0x80, test.m_vecRuns, test.m_n64Allocated, test.m_n64Real);
    }
    {
        // A list that starts in the record but runs off its end.
        CRecordImage& r = disk.Record(add({"run list running off the record", 0, "runs", ERROR_INVALID_PARAMETER, {}}));
        r = Named(u"runs");
        DWORD dwOffset = r.AddNonResident(0x80, {0x11, 1, 1, 0}, kCluster, kCluster);
        PutLE(r.Bytes(), dwOffset + 0x20, 1024 - dwOffset - 2, 2);
        r.Bytes()[1022] = 0x44;
        r.Bytes()[1023] = 0x01;
    }
    {
        CRecordImage& r = disk.Record(add({"run list offset past the record", 0, "runs", ERROR_INVALID_PARAMETER, {}}));
        r = Named(u"runs");
        DWORD dwOffset = r.AddNonResident(0x80, Runs({{1, 100}}), kCluster, kCluster);
        PutLE(r.Bytes(), dwOffset + 0x20, 0xFFFF, 2);
    }
    {
        // An extent without sizes whose VCNs span more than 32 bits of bytes:
        // runs past an allocated size of 0.
        CRecordImage& r = disk.Record(add({"VCN extent beyond 32 bits", 0, "runs", ERROR_INVALID_PARAMETER, {}}));
        r = Named(u"runs");
        r.AddNonResident(0x80, Runs({{1, 100}}), 0, 0, 0, 0x100000);
    }
    // Names the file system must never see are handed on as bytes; the save
    // refuses them (see the extraction's hostile-name tests).
    for (const char16_t* pszName : {u"../x", u"a/b", u"a\\b", u"..", u"a\x01\x1F" u"b"})
    {
        std::u16string str = pszName;
        CRecordImage& r = disk.Record(add({"hostile name", 0, std::string(str.begin(), str.end()), 0, {}}));
        r = Named(str);
    }

    // Update sequence arrays out of range: the record is taken as stored.
    struct CUsa
    {
        const char* m_pszClass;
        DWORD m_dwOffset;
        ULONGLONG m_n64Value;
    };
    const CUsa usas[] = {
        {"update sequence offset past the record", 0x04, 0xFFFE},
        {"update sequence offset inside the header", 0x04, 0x10},
        {"update sequence count 0", 0x06, 0},
        {"update sequence count 0xFFFF", 0x06, 0xFFFF},
    };
    for (const CUsa& test : usas)
    {
        CRecordImage r;
        r.AddResident(0x10, StandardInfoValue());
        DWORD dwNameAttr = r.AddResident(0x30, FileNameValue(LongName()));
        const WORD wSequence = static_cast<WORD>(dwNext + 1);
        r.End().Protect(wSequence);
        PutLE(r.Bytes(), test.m_dwOffset, test.m_n64Value, 2);
        disk.SetRaw(add({test.m_pszClass, 0, NameAsStored(dwNameAttr, wSequence), 0, {}}), r.Bytes());
    }
    // The same name in a consistent record reads whole.
    {
        CRecordImage& r = disk.Record(add({"consistent update sequence", 0, "", 0, {}}));
        r.AddResident(0x30, FileNameValue(LongName()));
        std::u16string str = LongName();
        expect[dwNext - 1].m_strName = std::string(str.begin(), str.end());
    }

    {
        CRecordImage& r = disk.Record(add({"an ordinary record after them all", 0, "last", 0, {'o', 'k'}}));
        r = Named(u"last");
        r.AddResident(0x80, {'o', 'k'});
    }

    disk.Build(dwNext);
    CHandle device(disk.Open());

    // Nothing here may need more than 64 MiB at once.
    SetAllocationFault(64ull << 20);
    CVolumeWalk walk = WalkVolume(device, disk.FirstSector());
    ClearFaults();
    ASSERT_EQ(0u, walk.m_dwOpen);
    ASSERT_GE(walk.m_dwCount, dwNext);
    EXPECT_LT(walk.m_dSeconds, kTimeBoundSeconds);
    for (const auto& entry : expect)
    {
        const CExpect& want = entry.second;
        const CRecordResult& got = walk.m_mapRecords[entry.first];
        SCOPED_TRACE(std::string(want.m_pszClass) + " (record " + std::to_string(entry.first) + ")");
        EXPECT_EQ(want.m_dwInfo, got.m_dwInfo);
        EXPECT_EQ(want.m_strName, got.m_strName);
        DWORD dwWantData = want.m_dwData;
        // Under the cap a buffer of nearly 4 GiB is refused for want of memory.
        if (std::string(want.m_pszClass).find("4 GiB") != std::string::npos)
            dwWantData = ERROR_NOT_ENOUGH_MEMORY;
        EXPECT_EQ(dwWantData, got.m_dwData);
        if (dwWantData == 0)
        {
            EXPECT_EQ(want.m_vecData, got.m_vecData);
        }
    }

    // Without the cap, the nearly 4 GiB buffer is had and the read stops at
    // the disk's end.
    for (const auto& entry : expect)
    {
        if (std::string(entry.second.m_pszClass).find("4 GiB") == std::string::npos)
            continue;
        const auto start = std::chrono::steady_clock::now();
        CNTFSDrive drive;
        ASSERT_EQ(0u, OpenVolumeOn(drive, device, disk.FirstSector()));
        BYTE* pData = nullptr;
        DWORD dwLength = 0;
        EXPECT_EQ(ERROR_HANDLE_EOF, drive.ReadEntryData(entry.first, pData, dwLength));
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                  kTimeBoundSeconds);
    }
}

TEST_F(HostileVolumeTest, FileNameValueOverTheMemberIsCut)
{
    // Only a 4096-byte record holds a $FILE_NAME value over 1090 bytes.
    CDiskSpec spec;
    spec.m_chRecordCode = -12;
    spec.m_dwRecordSize = 4096;
    CTestDisk disk(spec);
    CRecordImage& r = disk.Record(30);
    std::vector<BYTE> vecName = FileNameValue(std::u16string(600, u'n'));
    ASSERT_GT(vecName.size(), 1090u);
    r.AddResident(0x30, vecName);
    r.AddResident(0x80, {'d'});
    disk.Build(31);
    CHandle device(disk.Open());
    CVolumeWalk walk = WalkVolume(device, disk.FirstSector());
    ASSERT_EQ(0u, walk.m_dwOpen);
    const CRecordResult& got = walk.m_mapRecords[30];
    ASSERT_EQ(0u, got.m_dwInfo);
    // The length byte (600 cut to a byte: 88) says where the name ends; the
    // units past it are not the name, and the field keeps its terminator.
    EXPECT_EQ(std::string(600 % 256, 'n'), got.m_strName);
    ASSERT_EQ(0u, got.m_dwData);
    EXPECT_EQ(std::vector<BYTE>{'d'}, got.m_vecData) << "the walk goes on after the cut value";
}

TEST_F(HostileVolumeTest, BootSectorGeometryOutOfRange)
{
    struct CCase
    {
        const char* m_pszClass;
        WORD m_wBytesPerSector;
        BYTE m_bySectorsPerCluster;
        signed char m_chCode;
        DWORD m_dwWant;
    };
    const CCase cases[] = {
        {"bytes per sector 0 (cluster size 0)", 0, 8, -10, ERROR_INVALID_PARAMETER},
        {"odd cluster size", 511, 1, -10, ERROR_INVALID_PARAMETER},
        {"cluster of nearly 16 MiB, table beyond the disk", 65534, 255, -10, ERROR_INVALID_PARAMETER},
        {"record size code -31 (2 GiB records)", 512, 8, -31, ERROR_INVALID_PARAMETER},
        {"record size code 127 clusters", 512, 8, 127, ERROR_INVALID_PARAMETER},
    };
    for (const CCase& test : cases)
    {
        SCOPED_TRACE(test.m_pszClass);
        CTestDisk disk;
        disk.Build(31);
        std::vector<BYTE> vecGeometry(3);
        PutLE(vecGeometry, 0, test.m_wBytesPerSector, 2);
        vecGeometry[2] = test.m_bySectorsPerCluster;
        disk.File().Write(disk.VolumeOffset() + 0x0B, vecGeometry);
        disk.File().Write(disk.VolumeOffset() + 0x40, &test.m_chCode, 1);
        CHandle device(disk.Open());
        SetAllocationFault(1ull << 20);  // no size from these sectors may be allocated
        CVolumeWalk walk = WalkVolume(device, disk.FirstSector());
        ClearFaults();
        EXPECT_EQ(test.m_dwWant, walk.m_dwOpen);
        EXPECT_LT(walk.m_dSeconds, kTimeBoundSeconds);
    }
}

TEST_F(HostileVolumeTest, TableRunsThatLoopBackOverThemselves)
{
    // Three runs over the same eight clusters, and one that steps back
    // into the middle of them: the table is those clusters over again.
    CDiskSpec spec;
    spec.m_vecMftRuns = {{8, 4}, {8, 4}, {8, 4}, {4, 8}};
    CTestDisk disk(spec);
    disk.Record(30) = Named(u"once");
    disk.Build(32);
    CHandle device(disk.Open());
    CVolumeWalk walk = WalkVolume(device, disk.FirstSector());
    ASSERT_EQ(0u, walk.m_dwOpen);
    EXPECT_EQ(28u * kCluster / 1024, walk.m_dwCount);
    EXPECT_LT(walk.m_dSeconds, kTimeBoundSeconds);
    // Each copy answers like the first: record 30 comes back every 32 records.
    for (DWORD dwIndex : {30u, 62u, 94u})
    {
        EXPECT_EQ(0u, walk.m_mapRecords[dwIndex].m_dwInfo) << dwIndex;
        EXPECT_EQ("once", walk.m_mapRecords[dwIndex].m_strName) << dwIndex;
    }
    EXPECT_EQ("$MFT", walk.m_mapRecords[32].m_strName) << "the second copy starts with record 0";
    // The 4th run starts with the table's record 16, so its record 30 is 110.
    EXPECT_EQ("once", walk.m_mapRecords[110].m_strName);
    EXPECT_EQ(ERROR_INVALID_PARAMETER, walk.m_mapRecords[40].m_dwInfo) << "an empty slot ends a scan there";
}

TEST_F(HostileVolumeTest, TableRunsPastTheDiskOrBeforeItsStart)
{
    // A run before the start is refused as the volume opens; one past the end
    // is only found when the table's records there are read: the listing ends
    // there with its code.
    struct CCase
    {
        const char* m_pszClass;
        std::vector<std::pair<ULONGLONG, LONGLONG>> m_vecRuns;
        DWORD m_dwWant;
        DWORD m_dwWantRecord32;
    };
    const CCase cases[] = {
        {"second run past the disk's end", {{8, 4}, {8, 50000000}}, 0, ERROR_HANDLE_EOF},
        {"second run before the disk's start", {{8, 4}, {8, -1000}}, ERROR_INVALID_PARAMETER, 0},
    };
    for (const CCase& test : cases)
    {
        SCOPED_TRACE(test.m_pszClass);
        CDiskSpec spec;
        spec.m_vecMftRuns = test.m_vecRuns;
        CTestDisk disk(spec);
        disk.Build(32);
        CHandle device(disk.Open());
        CVolumeWalk walk = WalkVolume(device, disk.FirstSector());
        EXPECT_EQ(test.m_dwWant, walk.m_dwOpen);
        if (test.m_dwWant == 0)
        {
            // Record 31 lies in the first run and is read (an empty slot); 32 starts the second.
            EXPECT_EQ(ERROR_INVALID_PARAMETER, walk.m_mapRecords[31].m_dwInfo);
            EXPECT_EQ(test.m_dwWantRecord32, walk.m_mapRecords[32].m_dwInfo);
        }
        EXPECT_LT(walk.m_dSeconds, kTimeBoundSeconds);
    }
}

TEST_F(HostileVolumeTest, ExtendedRecordsThatPointBackToThemselvesOrToSectorZero)
{
    // An extended boot record whose link is 0 points at itself.
    CScratchFile self;
    WritePartitionTable(self.Path(), 0, {Part(7, 63), Part(5, 100)});
    WritePartitionTable(self.Path(), 100, {Part(7, 1), Part(5, 0)});
    CWalkResult walk = WalkImage(self.Path());
    EXPECT_EQ(0u, walk.m_dwResult);
    EXPECT_EQ(51u + walk.m_vecItems.size(), walk.m_n64Reads)
        << "the master boot record, 50 extended ones and each partition's first sector";
    EXPECT_EQ(51u, walk.m_vecItems.size());
    EXPECT_LT(walk.m_dSeconds, kTimeBoundSeconds);

    // An extended partition at sector 0: its "extended boot record" is the
    // master boot record, whose ordinary entry is listed on every pass.
    CScratchFile zero;
    WritePartitionTable(zero.Path(), 0, {Part(7, 63), Part(15, 0)});
    walk = WalkImage(zero.Path());
    EXPECT_EQ(0u, walk.m_dwResult);
    EXPECT_EQ(51u + walk.m_vecItems.size(), walk.m_n64Reads);
    ASSERT_EQ(51u, walk.m_vecItems.size());
    for (const CListed& item : walk.m_vecItems)
        EXPECT_EQ(63u, item.m_record.dwFirstSector);
    EXPECT_LT(walk.m_dSeconds, kTimeBoundSeconds);
}

TEST_F(HostileVolumeTest, PartitionsStartingBeyondTheDiskEnd)
{
    // Listed as the tables say; opening one finds nothing to read.
    CScratchFile disk;
    WritePartitionTable(disk.Path(), 0, {Part(7, 0xFFFFFF00u), Part(7, 4096), Part(5, 0x7FFFFFF0u)});
    disk.Truncate(1 << 20);
    CWalkResult walk = WalkImage(disk.Path());
    EXPECT_EQ(ERROR_READ_FAULT, walk.m_dwResult) << "the extended boot record lies past the end";
    ASSERT_EQ(2u, walk.m_vecItems.size());
    CHandle device(OpenImage(disk.Path()));
    for (DWORD dwFirstSector : walk.FirstSectors())
    {
        CVolumeWalk volume = WalkVolume(device, dwFirstSector);
        EXPECT_EQ(ERROR_READ_FAULT, volume.m_dwOpen) << dwFirstSector;
        EXPECT_LT(volume.m_dSeconds, kTimeBoundSeconds);
    }
}
