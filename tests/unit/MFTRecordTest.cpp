// The record parser on hand-made record images.
#include "support/FaultFreeTest.h"
#include "support/NtfsImage.h"

#include "ntfs/FieldOffsets.h"
#include "ntfs/MFTRecord.h"

#include <gtest/gtest.h>

using namespace salvix_test;

namespace
{

const DWORD kCluster = 4096;

// A disk image whose clusters carry patterns that name them.
class CPatternDisk
{
public:
    CPatternDisk(ULONGLONG n64VolumeOffset, std::initializer_list<ULONGLONG> clusters, DWORD dwCount = 1)
        : m_n64VolumeOffset(n64VolumeOffset)
    {
        for (ULONGLONG n64First : clusters)
            for (DWORD i = 0; i < dwCount; ++i)
                m_file.Write(Position(n64First + i), ClusterPattern(n64First + i, kCluster));
        // Shared for writing: the tests write more clusters while it is open.
        m_hDevice = OpenImage(m_file.Path());
    }
    ~CPatternDisk() { CloseHandle(m_hDevice); }
    ULONGLONG Position(ULONGLONG n64Cluster) const { return m_n64VolumeOffset + n64Cluster * kCluster; }
    // Gives the record this disk, its volume's start and 1 KiB records.
    DWORD Attach(CMFTRecord& record) const
    {
        record.AttachDevice(m_hDevice);
        return record.Configure(m_n64VolumeOffset, 1024, kCluster);
    }
    CScratchFile& File() { return m_file; }

private:
    CScratchFile m_file;
    ULONGLONG m_n64VolumeOffset;
    HANDLE m_hDevice;
};

std::vector<BYTE> Expected(ULONGLONG n64First, DWORD dwCount)
{
    std::vector<BYTE> vec;
    for (DWORD i = 0; i < dwCount; ++i)
    {
        std::vector<BYTE> vecCluster = ClusterPattern(n64First + i, kCluster);
        vec.insert(vec.end(), vecCluster.begin(), vecCluster.end());
    }
    return vec;
}

CRecordImage NamedRecord(const std::u16string& strName)
{
    CRecordImage image;
    image.AddResident(0x10, StandardInfoValue());
    image.AddResident(0x30, FileNameValue(strName));
    return image;
}

}  // namespace

class MFTRecordTest : public CFaultFreeTest
{
protected:
    void SetUp() override
    {
        CFaultFreeTest::SetUp();
        ResetIoCounters();
    }
};

TEST_F(MFTRecordTest, ConfigureRefusesZeroAndOddSizesAndKeepsEarlierValues)
{
    CMFTRecord record;
    EXPECT_EQ(0u, record.Configure(32256, 1024, 4096));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, record.Configure(1, 1023, 4096));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, record.Configure(1, 0, 4096));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, record.Configure(1, 1024, 0));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, record.Configure(1, 1024, 4095));
    EXPECT_EQ(1024u, record.m_dwRecordSize);
    EXPECT_EQ(4096u, record.m_dwClusterSize);
    EXPECT_EQ(32256u, record.m_n64VolumeOffset);
}

TEST_F(MFTRecordTest, LengthAndSignatureChecks)
{
    CRecordImage image = NamedRecord(u"a.txt");
    image.AddResident(0x80, {1, 2, 3});
    image.End();

    // Never configured: the record size is 1023, so 1023 bytes pass the length test.
    CMFTRecord fresh;
    EXPECT_EQ(0u, fresh.Parse(image.Bytes().data(), 1023, 0));
    ASSERT_NE(nullptr, fresh.m_pData);

    ASSERT_EQ(0u, fresh.Configure(0, 1024, kCluster));
    BYTE* pBefore = fresh.m_pData;
    EXPECT_EQ(ERROR_INVALID_PARAMETER, fresh.Parse(image.Bytes().data(), 1023, 0));
    EXPECT_EQ(pBefore, fresh.m_pData) << "a refused length changes nothing";
    EXPECT_EQ(ERROR_INVALID_PARAMETER, fresh.Parse(nullptr, 1024, 0));
    EXPECT_EQ(pBefore, fresh.m_pData);

    std::vector<BYTE> vecZero(1024, 0);
    fresh.m_bRecordInUse = 1;
    EXPECT_EQ(ERROR_INVALID_PARAMETER, fresh.Parse(vecZero.data(), 1024, 0));
    EXPECT_EQ(nullptr, fresh.m_pData);
    EXPECT_EQ(0u, fresh.m_dwDataLength);
    EXPECT_EQ(1, fresh.m_bRecordInUse) << "the in-use bit of a record without signature is not taken";
}

TEST_F(MFTRecordTest, GathersStandardInfoNameAndResidentData)
{
    CRecordImage image(1024, false);
    image.AddResident(0x10, StandardInfoValue(0x1122334455667788ull));
    image.AddResident(0x30, FileNameValue(u"report.doc", 8192, 0x21));
    image.AddResident(0x80, {'a', 'b', 'c'});
    image.AddResident(0x80, {'d', 'e'});  // a named stream follows the unnamed one
    image.End();

    CMFTRecord record;
    ASSERT_EQ(0u, record.Configure(0, 1024, kCluster));
    ASSERT_EQ(0u, record.Parse(image.Bytes().data(), 1024, 0));
    EXPECT_EQ(0, record.m_bRecordInUse);
    EXPECT_EQ(0x1122334455667788ull, ntfs::ReadLE64(record.m_byStandardInfo));
    EXPECT_EQ(0x21u, ntfs::ReadLE32(record.m_byFileName + 0x38));
    EXPECT_EQ('r', record.m_byFileName[0x42]);
    ASSERT_EQ(5u, record.m_dwDataLength);
    EXPECT_EQ(0, memcmp(record.m_pData, "abcde", 5));

    // Info only: no data gathered.
    ASSERT_EQ(0u, record.Parse(image.Bytes().data(), 1024, 1));
    EXPECT_EQ(nullptr, record.m_pData);
}

TEST_F(MFTRecordTest, LaterFileNameReplacesEarlierWhole)
{
    CRecordImage shortFirst = NamedRecord(u"LONGFI~1.TXT");
    shortFirst.AddResident(0x30, FileNameValue(u"long file name.txt"));
    shortFirst.End();
    CMFTRecord record;
    ASSERT_EQ(0u, record.Parse(shortFirst.Bytes().data(), 1024, 1));
    EXPECT_EQ(Utf16(u"long file name.txt"),
              std::vector<BYTE>(record.m_byFileName + 0x42, record.m_byFileName + 0x42 + 36));

    // A shorter name after a longer one keeps nothing of the longer.
    CRecordImage longFirst = NamedRecord(u"long file name.txt");
    longFirst.AddResident(0x30, FileNameValue(u"LONGFI~1.TXT"));
    longFirst.End();
    CMFTRecord other;
    ASSERT_EQ(0u, other.Parse(longFirst.Bytes().data(), 1024, 1));
    EXPECT_EQ(0, other.m_byFileName[0x42 + 24]);
    EXPECT_EQ(0, other.m_byFileName[0x42 + 25]);
    for (DWORD i = 0x42 + 24; i < CMFTRecord::kFileNameSize; ++i)
        ASSERT_EQ(0, other.m_byFileName[i]) << "byte " << i;
}

TEST_F(MFTRecordTest, WalkPassesOverOtherTypesAndStopsAtIndexOrLengthZero)
{
    CRecordImage image;
    image.AddResident(0x20, {9, 9, 9, 9});   // attribute list: passed over
    image.AddResident(0xB0, {1});            // bitmap: passed over
    image.AddResident(0x30, FileNameValue(u"x"));
    image.AddResident(0x90, {0});            // index root ends the walk
    image.AddResident(0x80, {7});
    image.End();
    CMFTRecord record;
    ASSERT_EQ(0u, record.Parse(image.Bytes().data(), 1024, 0));
    EXPECT_EQ('x', record.m_byFileName[0x42]);
    EXPECT_EQ(nullptr, record.m_pData) << "nothing after the index root is read";

    // A length of 0 ends the walk after that attribute has been handled.
    CRecordImage zero;
    DWORD dwOffset = zero.AddResident(0x80, {5, 6});
    PutLE(zero.Bytes(), dwOffset + 4, 0, 4);
    CMFTRecord second;
    ASSERT_EQ(0u, second.Parse(zero.Bytes().data(), 1024, 0));
    ASSERT_EQ(2u, second.m_dwDataLength);
    EXPECT_EQ(5, second.m_pData[0]);
}

TEST_F(MFTRecordTest, FirstAttributeBeyondRecordExaminesNothing)
{
    CRecordImage image(1024, true, 0x38);
    image.AddResident(0x80, {1});
    PutLE(image.Bytes(), 0x14, 1030, 2);
    CMFTRecord record;
    ASSERT_EQ(0u, record.Configure(0, 1024, kCluster));
    EXPECT_EQ(0u, record.Parse(image.Bytes().data(), 1024, 0));
    EXPECT_EQ(1, record.m_bRecordInUse);
    EXPECT_EQ(nullptr, record.m_pData);
}

TEST_F(MFTRecordTest, RunListReadsClustersRelativeToEachOther)
{
    // 24 clusters from 22068, then 5 from 22052 (offset -16).
    CPatternDisk disk(0, {22068}, 24);
    for (DWORD i = 0; i < 5; ++i)
        disk.File().Write(disk.Position(22052 + i), ClusterPattern(22052 + i, kCluster));
    CRecordImage image = NamedRecord(u"frag.bin");
    image.AddNonResident(0x80, {0x21, 0x18, 0x34, 0x56, 0x11, 0x05, 0xF0, 0x00}, 29 * kCluster,
                         29 * kCluster);
    image.End();
    CMFTRecord record;
    ASSERT_EQ(0u, disk.Attach(record));
    ASSERT_EQ(0u, record.Parse(image.Bytes().data(), 1024, 0));
    std::vector<BYTE> vecWant = Expected(22068, 24);
    std::vector<BYTE> vecTail = Expected(22052, 5);
    vecWant.insert(vecWant.end(), vecTail.begin(), vecTail.end());
    ASSERT_EQ(vecWant.size(), record.m_dwDataLength);
    EXPECT_EQ(vecWant, std::vector<BYTE>(record.m_pData, record.m_pData + record.m_dwDataLength));
}

TEST_F(MFTRecordTest, RealSizeBelowBufferAndExtentWithoutSizes)
{
    CPatternDisk disk(0, {0, 40}, 16);
    // Allocated 8192, real 5000, one run of 2 clusters.
    CRecordImage image = NamedRecord(u"a");
    image.AddNonResident(0x80, Runs({{2, 40}}), 8192, 5000);
    image.End();
    CMFTRecord record;
    ASSERT_EQ(0u, disk.Attach(record));
    ASSERT_EQ(0u, record.Parse(image.Bytes().data(), 1024, 0));
    ASSERT_EQ(5000u, record.m_dwDataLength);
    EXPECT_EQ(0, memcmp(record.m_pData, Expected(40, 2).data(), 5000));

    // No sizes, VCNs 16..19: the extent spans 4 clusters and its value is empty.
    CRecordImage extent = NamedRecord(u"b");
    extent.AddNonResident(0x80, Runs({{4, 0}}), 0, 0, 16, 19);
    extent.End();
    ResetIoCounters();
    ASSERT_EQ(0u, record.Parse(extent.Bytes().data(), 1024, 0));
    EXPECT_EQ(0u, record.m_dwDataLength);
    EXPECT_NE(nullptr, record.m_pData);
    EXPECT_EQ(1u, GetIoCounters().m_n64Reads) << "16 KiB read in one piece from cluster 0";

    // 0x01 0x10 0x00 has no offset field: 16 clusters of a hole, read as
    // zeros, not taken from cluster 0 of the volume.
    CRecordImage hole = NamedRecord(u"c");
    hole.AddNonResident(0x80, {0x01, 0x10, 0x00}, 16 * kCluster, 16 * kCluster);
    hole.End();
    ResetIoCounters();
    ASSERT_EQ(0u, record.Parse(hole.Bytes().data(), 1024, 0));
    ASSERT_EQ(16 * kCluster, record.m_dwDataLength);
    EXPECT_EQ(std::vector<BYTE>(16 * kCluster, 0),
              std::vector<BYTE>(record.m_pData, record.m_pData + 16 * kCluster));
    EXPECT_EQ(0u, GetIoCounters().m_n64Reads);
}

TEST_F(MFTRecordTest, InfoOnlyNeverTouchesTheDisk)
{
    CPatternDisk disk(0, {10}, 4);
    CRecordImage image = NamedRecord(u"big");
    image.AddNonResident(0x80, Runs({{4, 10}}), 4 * kCluster, 4 * kCluster);
    image.End();
    CMFTRecord record;
    ASSERT_EQ(0u, disk.Attach(record));
    ResetIoCounters();
    ASSERT_EQ(0u, record.Parse(image.Bytes().data(), 1024, 1));
    EXPECT_EQ(0u, GetIoCounters().m_n64Reads);
    EXPECT_EQ(nullptr, record.m_pData);
    EXPECT_EQ(0u, record.m_dwDataLength);
}

TEST_F(MFTRecordTest, SparseRunsAreZerosAndReadNothing)
{
    // Clusters 10..11 data, then a 3-cluster hole, then cluster 20. The
    // clusters right after 11 hold a pattern that must not appear.
    CPatternDisk disk(0, {10}, 6);
    disk.File().Write(disk.Position(20), ClusterPattern(20, kCluster));
    CRecordImage image = NamedRecord(u"sparse");
    image.AddNonResident(0x80, Runs({{2, 10}, {3, kHole}, {1, 20}}), 6 * kCluster, 6 * kCluster - 100);
    image.End();
    CMFTRecord record;
    ASSERT_EQ(0u, disk.Attach(record));
    ResetIoCounters();
    ASSERT_EQ(0u, record.Parse(image.Bytes().data(), 1024, 0));
    EXPECT_EQ(2u, GetIoCounters().m_n64Reads) << "one read per stretch of clusters, none for the hole";
    ASSERT_EQ(6 * kCluster - 100, record.m_dwDataLength);
    EXPECT_EQ(0, memcmp(record.m_pData, Expected(10, 2).data(), 2 * kCluster));
    std::vector<BYTE> vecZeros(3 * kCluster, 0);
    EXPECT_EQ(0, memcmp(record.m_pData + 2 * kCluster, vecZeros.data(), vecZeros.size()));
    EXPECT_EQ(0, memcmp(record.m_pData + 5 * kCluster, Expected(20, 1).data(), kCluster - 100));
}

TEST_F(MFTRecordTest, ZeroLengthRunSeeksAndReadsNothing)
{
    CPatternDisk disk(0, {5});
    CRecordImage image = NamedRecord(u"z");
    image.AddNonResident(0x80, {0x10, 0x05, 0x11, 0x01, 0x00, 0x00}, kCluster, kCluster);
    image.End();
    CMFTRecord record;
    ASSERT_EQ(0u, disk.Attach(record));
    ASSERT_EQ(0u, record.Parse(image.Bytes().data(), 1024, 0));
    ASSERT_EQ(kCluster, record.m_dwDataLength);
    EXPECT_EQ(0, memcmp(record.m_pData, Expected(5, 1).data(), kCluster))
        << "the empty run moved the running cluster to 5";
}

TEST_F(MFTRecordTest, ReadClustersPositionsFromTheVolumeStart)
{
    CPatternDisk disk(32256, {100}, 2);
    CMFTRecord record;
    ASSERT_EQ(0u, disk.Attach(record));
    std::vector<BYTE> vecBuffer(2 * kCluster);
    DWORD dwLength = 5000;
    ASSERT_EQ(0u, record.ReadClusters(100, vecBuffer.data(), dwLength));
    EXPECT_EQ(2 * kCluster, dwLength) << "whole clusters are read";
    EXPECT_EQ(Expected(100, 2), vecBuffer);
    EXPECT_EQ(441856u, 32256u + 100u * kCluster);

    ResetIoCounters();
    dwLength = 0;
    ASSERT_EQ(0u, record.ReadClusters(100, vecBuffer.data(), dwLength));
    EXPECT_EQ(0u, dwLength);
    EXPECT_EQ(0u, GetIoCounters().m_n64Reads);
}

TEST_F(MFTRecordTest, ReadClustersStopsAtTheEndAndNeverOverrunsTheCover)
{
    CPatternDisk disk(0, {0}, 3);
    CMFTRecord record;
    ASSERT_EQ(0u, disk.Attach(record));

    // The image ends after 3 clusters: a read that delivers nothing ends with ERROR_HANDLE_EOF.
    std::vector<BYTE> vecBuffer(8 * kCluster);
    DWORD dwLength = 8 * kCluster;
    EXPECT_EQ(ERROR_HANDLE_EOF, record.ReadClusters(1, vecBuffer.data(), dwLength));
    EXPECT_EQ(8 * kCluster, dwLength) << "the length stays as it was on failure";

    // A short read in the middle of a cluster: the next read asks only for
    // what completes the cover, so the byte after it is never written.
    InjectFault(CDeviceFault::eShortRead, 100);
    std::vector<BYTE> vecGuarded(kCluster + 16, 0xEE);
    dwLength = 200;
    ASSERT_EQ(0u, record.ReadClusters(0, vecGuarded.data(), dwLength));
    EXPECT_EQ(kCluster, dwLength);
    EXPECT_EQ(0, memcmp(vecGuarded.data(), Expected(0, 1).data(), kCluster));
    for (DWORD i = kCluster; i < vecGuarded.size(); ++i)
        ASSERT_EQ(0xEE, vecGuarded[i]);

    // Device errors pass up unchanged.
    InjectFault(CDeviceFault::eReadError, kCluster + 5, ERROR_IO_DEVICE);
    dwLength = 2 * kCluster;
    EXPECT_EQ(ERROR_IO_DEVICE, record.ReadClusters(0, vecBuffer.data(), dwLength));
}

TEST_F(MFTRecordTest, DamagedAttributesEndTheWalkWithWhatCameBefore)
{
    CMFTRecord record;
    ASSERT_EQ(0u, record.Configure(0, 1024, kCluster));

    // A length that runs past the record, and one that would wrap the offset.
    for (DWORD dwBadLength : {2000u, 0xFFFFFFF8u})
    {
        CRecordImage image = NamedRecord(u"kept");
        DWORD dwOffset = image.AddResident(0x80, {1, 2});
        PutLE(image.Bytes(), dwOffset + 4, dwBadLength, 4);
        // The data's header is damaged: its data is refused, never an empty file.
        EXPECT_EQ(ERROR_INVALID_PARAMETER, record.Parse(image.Bytes().data(), 1024, 0));
        EXPECT_EQ('k', record.m_byFileName[0x42]);
        EXPECT_EQ(nullptr, record.m_pData) << dwBadLength;
        EXPECT_EQ(0u, record.Parse(image.Bytes().data(), 1024, 1));
    }

    // A resident data value that runs past the record cannot be the file's
    // data: an error, not an empty file. Described only, the record is fine.
    CRecordImage pastEnd = NamedRecord(u"kept");
    DWORD dwOffset = pastEnd.AddResident(0x80, {1, 2});
    PutLE(pastEnd.Bytes(), dwOffset + 0x10, 0x7FFFFFFF, 4);
    EXPECT_EQ(ERROR_INVALID_PARAMETER, record.Parse(pastEnd.Bytes().data(), 1024, 0));
    EXPECT_EQ(nullptr, record.m_pData);
    EXPECT_EQ(0u, record.Parse(pastEnd.Bytes().data(), 1024, 1));
    EXPECT_EQ('k', record.m_byFileName[0x42]);

    // An attribute header cut by the record's end.
    CRecordImage cut;
    PutLE(cut.Bytes(), 0x14, 1024 - 12, 2);
    PutLE(cut.Bytes(), 1024 - 12, 0x30, 4);
    PutLE(cut.Bytes(), 1024 - 8, 8, 4);
    EXPECT_EQ(0u, record.Parse(cut.Bytes().data(), 1024, 0));

    // A record size too small to hold a header.
    CMFTRecord tiny;
    ASSERT_EQ(0u, tiny.Configure(0, 2, kCluster));
    BYTE byTwo[2] = {'F', 'I'};
    EXPECT_EQ(ERROR_INVALID_PARAMETER, tiny.Parse(byTwo, 2, 0));
}

TEST_F(MFTRecordTest, OversizedValuesAreCutOrPadded)
{
    // A $FILE_NAME value over 1090 bytes keeps 1090.
    CRecordImage image(4096);
    std::vector<BYTE> vecHuge(1200, 'n');
    image.AddResident(0x30, vecHuge);
    // A $STANDARD_INFORMATION value under 40 bytes leaves the rest zero.
    image.AddResident(0x10, std::vector<BYTE>(16, 0xAB));
    image.End();
    CMFTRecord record;
    ASSERT_EQ(0u, record.Configure(0, 4096, kCluster));
    memset(record.m_byStandardInfo, 0xCD, sizeof(record.m_byStandardInfo));
    ASSERT_EQ(0u, record.Parse(image.Bytes().data(), 4096, 1));
    EXPECT_EQ('n', record.m_byFileName[CMFTRecord::kFileNameSize - 1]);
    EXPECT_EQ(0xAB, record.m_byStandardInfo[15]);
    EXPECT_EQ(0, record.m_byStandardInfo[16]);
    EXPECT_EQ(0, record.m_byStandardInfo[39]);
}

TEST_F(MFTRecordTest, BadRunListsAndSizesAreRefused)
{
    CPatternDisk disk(0, {1}, 4);
    struct CCase
    {
        const char* m_pszWhat;
        std::vector<BYTE> m_vecRuns;
        ULONGLONG m_n64Allocated, m_n64Real;
        DWORD m_dwWant;
    };
    const CCase cases[] = {
        {"length field above 8 bytes", {0x19, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0}, kCluster, kCluster,
         ERROR_INVALID_PARAMETER},
        {"offset field above 8 bytes", {0x91, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0}, kCluster, kCluster,
         ERROR_INVALID_PARAMETER},
        {"runs beyond the buffer", Runs({{3, 1}}), 2 * kCluster, kCluster, ERROR_INVALID_PARAMETER},
        {"real size above the buffer", Runs({{1, 1}}), kCluster, kCluster + 1, ERROR_INVALID_PARAMETER},
        {"runs short of the real size", Runs({{1, 1}}), 2 * kCluster, 2 * kCluster, ERROR_INVALID_PARAMETER},
        {"buffer beyond 32 bits", Runs({{1, 1}}), 0x100000000ull, kCluster, ERROR_FILE_TOO_LARGE},
        {"real size beyond 32 bits", Runs({{1, 1}}), 0x200000000ull, 0x100000001ull, ERROR_FILE_TOO_LARGE},
    };
    for (const CCase& test : cases)
    {
        CRecordImage image = NamedRecord(u"r");
        image.AddNonResident(0x80, test.m_vecRuns, test.m_n64Allocated, test.m_n64Real);
        image.End();
        CMFTRecord record;
        ASSERT_EQ(0u, disk.Attach(record));
        ResetIoCounters();
        EXPECT_EQ(test.m_dwWant, record.Parse(image.Bytes().data(), 1024, 0)) << test.m_pszWhat;
        EXPECT_EQ(0u, GetIoCounters().m_n64Reads) << test.m_pszWhat << ": refused before reading";
    }

    // A run list that runs off the record's end.
    CRecordImage image = NamedRecord(u"r");
    DWORD dwOffset = image.AddNonResident(0x80, {0x11, 1, 1, 0}, kCluster, kCluster);
    PutLE(image.Bytes(), dwOffset + 0x20, 1024 - dwOffset - 2, 2);
    image.Bytes()[1022] = 0x44;
    image.Bytes()[1023] = 0x01;
    CMFTRecord record;
    ASSERT_EQ(0u, disk.Attach(record));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, record.Parse(image.Bytes().data(), 1024, 0));
}

TEST_F(MFTRecordTest, RunsBeyondTheDiskOrBelowClusterZeroEndInACode)
{
    // Past the end of the disk: the read delivers nothing.
    CPatternDisk disk(1024 * 1024, {1}, 2);
    CRecordImage past = NamedRecord(u"r");
    past.AddNonResident(0x80, Runs({{1, 1000000}}), kCluster, kCluster);
    past.End();
    CMFTRecord record;
    ASSERT_EQ(0u, disk.Attach(record));
    EXPECT_EQ(ERROR_HANDLE_EOF, record.Parse(past.Bytes().data(), 1024, 0));

    // Before the volume's first cluster, even where the disk has bytes there
    // (the volume starts at 1 MiB): refused before anything is read, so what
    // lies in front of the partition is never handed over as the file.
    disk.File().Write(1024 * 1024 - kCluster, ClusterPattern(999, kCluster));
    for (auto runs : {std::vector<BYTE>{0x11, 1, 0xFF, 0}, std::vector<BYTE>{0x11, 1, 2, 0x11, 1, 0xFD, 0}})
    {
        CRecordImage before = NamedRecord(u"r");
        before.AddNonResident(0x80, runs, 2 * kCluster, kCluster);
        before.End();
        ResetIoCounters();
        EXPECT_EQ(ERROR_INVALID_PARAMETER, record.Parse(before.Bytes().data(), 1024, 0));
        EXPECT_EQ(0u, GetIoCounters().m_n64Reads);
    }
}

TEST_F(MFTRecordTest, AllocationFailureGivesCode8)
{
    CPatternDisk disk(0, {1}, 2);
    CRecordImage image = NamedRecord(u"r");
    image.AddNonResident(0x80, Runs({{2, 1}}), 2 * kCluster, 2 * kCluster);
    image.End();
    CMFTRecord record;
    ASSERT_EQ(0u, disk.Attach(record));
    SetAllocationFault(2 * kCluster);
    EXPECT_EQ(ERROR_NOT_ENOUGH_MEMORY, record.Parse(image.Bytes().data(), 1024, 0));
}

TEST(UpdateSequenceTest, RestoresStretchEndsOnlyWhenConsistent)
{
    CRecordImage image = NamedRecord(u"n");
    image.End();
    image.Bytes()[510] = 0x12;
    image.Bytes()[511] = 0x34;
    image.Bytes()[1022] = 0x56;
    image.Bytes()[1023] = 0x78;
    std::vector<BYTE> vecOriginal = image.Bytes();
    image.Protect(0x0009);
    std::vector<BYTE> vecStored = image.Bytes();
    ASSERT_NE(vecOriginal, vecStored);

    std::vector<BYTE> vecFixed = vecStored;
    EXPECT_TRUE(ntfs::ApplyUpdateSequence(vecFixed.data(), 1024));
    vecFixed[0x30] = vecOriginal[0x30];  // the array itself stays as stored
    for (int i = 0x32; i < 0x36; ++i)
        vecFixed[i] = vecOriginal[i];
    EXPECT_EQ(vecOriginal, vecFixed);

    struct CBreak
    {
        const char* m_pszWhat;
        size_t m_nOffset;
        ULONGLONG m_n64Value;
        int m_nBytes;
    };
    const CBreak breaks[] = {
        {"count", 0x06, 4, 2},         {"odd offset", 0x04, 0x31, 2},
        {"inside the header", 0x04, 0x20, 2}, {"past the record", 0x04, 1022, 2},
        {"stretch end", 1022, 0x1111, 2},
    };
    for (const CBreak& test : breaks)
    {
        std::vector<BYTE> vecBroken = vecStored;
        PutLE(vecBroken, test.m_nOffset, test.m_n64Value, test.m_nBytes);
        std::vector<BYTE> vecCopy = vecBroken;
        EXPECT_FALSE(ntfs::ApplyUpdateSequence(vecCopy.data(), 1024)) << test.m_pszWhat;
        EXPECT_EQ(vecBroken, vecCopy) << test.m_pszWhat;
    }
}
