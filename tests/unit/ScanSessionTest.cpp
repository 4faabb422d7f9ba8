// The scan session on hand-made disks: damaged attributes never end a
// listing, a stop is answered during the table load, and a save after a
// failure opens the disk again.
#include "support/DiskGuard.h"
#include "support/FaultFreeTest.h"
#include "support/NtfsImage.h"
#include "support/ScanSink.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace salvix_test;

namespace
{

const DWORD kCluster = 4096;
const ULONGLONG kDataCluster = 300;

std::vector<BYTE> DataBytes()
{
    std::vector<BYTE> vec(2 * kCluster);
    for (size_t i = 0; i < vec.size(); ++i)
        vec[i] = static_cast<BYTE>(i * 13 + 5);
    return vec;
}

// Marks the attribute at dwOffset non-resident, as one flipped byte on a disk would.
void MakeNonResident(CRecordImage& image, DWORD dwOffset)
{
    image.Bytes()[dwOffset + 8] = 1;
}

// What one damaged record must give: its row's name and the save's code.
struct CDamageCase
{
    const char* m_pszWhat;
    std::string m_strName;    // UTF-8, as listed
    DWORD m_dwSave;           // SaveEntry's code
    bool m_bNonResidentData;  // the saved file must hold the disk's clusters
    bool m_bDamaged = false;  // listed as a damaged record
};

// Record 30 + i holds case i. Each has $STANDARD_INFORMATION, $FILE_NAME and
// then $DATA (non-resident unless said), one of them damaged.
std::vector<CDamageCase> BuildDamagedRecords(CTestDisk& disk)
{
    std::vector<CDamageCase> vecCases;
    auto record = [&](const CDamageCase& c) -> CRecordImage& {
        CRecordImage& image = disk.Record(30 + static_cast<DWORD>(vecCases.size()));
        vecCases.push_back(c);
        return image;
    };
    const std::vector<BYTE> vecRuns = Runs({{2, static_cast<LONGLONG>(kDataCluster)}});
    auto addData = [&](CRecordImage& image) {
        image.AddNonResident(0x80, vecRuns, 2 * kCluster, 2 * kCluster - 10);
    };
    {
        CRecordImage& image = record({"sound record", "plain.bin", 0, true});
        image.AddResident(0x10, StandardInfoValue());
        image.AddResident(0x30, FileNameValue(u"plain.bin"));
        addData(image);
    }
    {
        CRecordImage& image = record({"$STANDARD_INFORMATION marked non-resident", "si.bin", 0, true});
        MakeNonResident(image, image.AddResident(0x10, StandardInfoValue()));
        image.AddResident(0x30, FileNameValue(u"si.bin"));
        addData(image);
    }
    {
        CRecordImage& image = record({"a non-resident $FILE_NAME before a sound one", "second.bin", 0, true});
        image.AddResident(0x10, StandardInfoValue());
        MakeNonResident(image, image.AddResident(0x30, FileNameValue(u"first.bin")));
        image.AddResident(0x30, FileNameValue(u"second.bin"));
        addData(image);
    }
    {
        CRecordImage& image = record({"$STANDARD_INFORMATION value past the record", "sivalue.bin", 0, true});
        const DWORD dwOffset = image.AddResident(0x10, StandardInfoValue());
        PutLE(image.Bytes(), dwOffset + 0x10, 0x7FFFFFFF, 4);
        image.AddResident(0x30, FileNameValue(u"sivalue.bin"));
        addData(image);
    }
    {
        // No name to be had: saved under its record number (checked below).
        CRecordImage& image = record({"$FILE_NAME value offset past the record", "", 0, false});
        image.AddResident(0x10, StandardInfoValue());
        const DWORD dwOffset = image.AddResident(0x30, FileNameValue(u"never.bin"));
        PutLE(image.Bytes(), dwOffset + 0x14, 0xFFFF, 2);
        addData(image);
    }
    {
        CRecordImage& image = record({"resident $DATA value past the record", "data.bin",
                                      ERROR_INVALID_PARAMETER, false});
        image.AddResident(0x10, StandardInfoValue());
        image.AddResident(0x30, FileNameValue(u"data.bin"));
        const DWORD dwOffset = image.AddResident(0x80, {1, 2, 3});
        PutLE(image.Bytes(), dwOffset + 0x10, 0x7FFFFFFF, 4);
    }
    {
        // The attribute chain breaks off: the record is listed as damaged.
        CRecordImage& image = record({"a $DATA header that cannot be walked past", "",
                                      ERROR_INVALID_PARAMETER, false, true});
        image.AddResident(0x10, StandardInfoValue());
        image.AddResident(0x30, FileNameValue(u"cut.bin"));
        const DWORD dwOffset = image.AddResident(0x80, {7});
        PutLE(image.Bytes(), dwOffset + 4, 5000, 4);
    }
    return vecCases;
}

class ScanSessionTest : public CFaultFreeTest
{
protected:

    CTempDir m_dir;
};

}  // namespace

TEST_F(ScanSessionTest, DamagedAttributesNeverEndTheListing)
{
    CTestDisk disk;
    const std::vector<CDamageCase> vecCases = BuildDamagedRecords(disk);
    CRecordImage& last = disk.Record(30 + static_cast<DWORD>(vecCases.size()));
    last.AddResident(0x30, FileNameValue(u"last.txt"));
    disk.Build(31 + static_cast<DWORD>(vecCases.size()));
    disk.File().Write(disk.ClusterPosition(kDataCluster), DataBytes());
    CDiskGuard guard(disk.Path());

    CScanSession session;
    CCollectingSink sink;
    EXPECT_EQ(0u, sink.Scan(session, disk.FirstSector()));
    EXPECT_TRUE(sink.m_vecErrors.empty());
    ASSERT_EQ(vecCases.size() + 1, sink.m_store.Size()) << "every record is listed";
    EXPECT_EQ("last.txt", sink.m_store.Name(vecCases.size()));
    EXPECT_TRUE(session.HasDevice());

    const std::string& strFolder = m_dir.Path();
    const std::vector<BYTE> vecData = DataBytes();
    for (size_t i = 0; i < vecCases.size(); ++i)
    {
        const CDamageCase& c = vecCases[i];
        SCOPED_TRACE(c.m_pszWhat);
        EXPECT_EQ(30 + i, sink.m_store.Row(i).m_dwRecord);
        EXPECT_EQ(c.m_strName, sink.m_store.Name(i));
        EXPECT_EQ(c.m_bDamaged, (sink.m_store.Row(i).m_byRowFlags & CScanRow::kRowDamaged) != 0);
        EXPECT_EQ(c.m_dwSave, session.SaveEntry(static_cast<DWORD>(30 + i), strFolder.c_str()));
        if (c.m_dwSave == 0 && c.m_bNonResidentData)
        {
            EXPECT_EQ(std::vector<BYTE>(vecData.begin(), vecData.end() - 10),
                      ReadFileBytes(strFolder + "/" + c.m_strName));
        }
    }
    for (size_t i = 0; i < vecCases.size(); ++i)
    {
        if (vecCases[i].m_strName.empty() && vecCases[i].m_dwSave == 0 && vecCases[i].m_bNonResidentData)
        {
            EXPECT_EQ(std::vector<BYTE>(vecData.begin(), vecData.end() - 10),
                      ReadFileBytes(strFolder + u8"/记录_" + std::to_string(30 + i)));
        }
    }
    // Refused saves leave nothing behind.
    EXPECT_EQ(std::vector<BYTE>(), ReadFileBytes(strFolder + "/cut.bin"));
    EXPECT_EQ(std::vector<BYTE>(), ReadFileBytes(strFolder + "/data.bin"));
}

TEST_F(ScanSessionTest, SaveAfterTheDeviceWasClosedReadsThroughAHandleOfItsOwn)
{
    CTestDisk disk;
    CRecordImage& image = disk.Record(30);
    image.AddResident(0x30, FileNameValue(u"far.bin"));
    image.AddNonResident(0x80, Runs({{2, static_cast<LONGLONG>(kDataCluster)}}), 2 * kCluster, 2 * kCluster);
    disk.Build(31);
    disk.File().Write(disk.ClusterPosition(kDataCluster), DataBytes());
    CDiskGuard guard(disk.Path());

    CScanSession session;
    CCollectingSink sink;
    ASSERT_EQ(0u, sink.Scan(session, disk.FirstSector()));
    // What a failure does: the handle goes, and the drive forgets it.
    session.CloseDevice();
    EXPECT_FALSE(NtfsDrive(session).HasDevice());
    const std::string& strFolder = m_dir.Path();
    ASSERT_EQ(0u, session.SaveEntry(30, strFolder.c_str()));
    EXPECT_EQ(DataBytes(), ReadFileBytes(strFolder + "/far.bin"));
    EXPECT_FALSE(session.HasDevice()) << "the save opened the disk for itself alone";

    // When the disk is gone the save says so instead of reading a stale handle.
    session.CloseDevice();
    guard.Set(disk.Path() + ".gone");
    CTempDir other;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, session.SaveEntry(30, other.Path().c_str()));
}

TEST_F(ScanSessionTest, StopIsAnsweredWhileTheTableIsRead)
{
    // A 16 MiB table on a disk that takes 30 ms per read: its first window
    // alone takes a tenth of a second.
    CTestDisk disk;
    disk.Record(30).AddResident(0x30, FileNameValue(u"a"));
    disk.Build(16 * 1024);
    CDiskGuard guard(disk.Path());
    InjectFault(CDeviceFault::eSlowRead, disk.MftPosition() + kCluster, 30);  // milliseconds

    CScanSession session;
    CCollectingSink sink;
    std::chrono::steady_clock::time_point timeStop;
    std::thread stopper([&]() {
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        timeStop = std::chrono::steady_clock::now();
        sink.m_bStop = 1;
    });
    EXPECT_EQ(0u, sink.Scan(session, disk.FirstSector()));
    const auto timeEnd = std::chrono::steady_clock::now();
    stopper.join();
    EXPECT_LT(timeEnd - timeStop, std::chrono::milliseconds(100));
    EXPECT_TRUE(sink.m_vecErrors.empty()) << "a stop is not an error";
    EXPECT_EQ(0u, sink.m_store.Size());
}
