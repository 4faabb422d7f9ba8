// The disk being read is never written: not by the partition walk, not by
// opening and walking a volume (damaged records included), not by reading
// every record's data, and not by anything that asks the platform layer for
// write access to the device.
#include "VolumeWalk.h"
#include "support/DiskGuard.h"

#include "disk/Disk.h"
#include "disk/PartitionTable.h"

#include <gtest/gtest.h>

using namespace salvix_test;

TEST(HostileSourceTest, ScanningAndReadingEveryRecordLeavesTheDiskAsItWas)
{
    CTestDisk disk;
    CRecordImage& small = disk.Record(30);
    small.AddResident(0x10, StandardInfoValue());
    small.AddResident(0x30, FileNameValue(u"small.txt"));
    small.AddResident(0x80, {'s'});
    CRecordImage& large = disk.Record(31);
    large.AddResident(0x30, FileNameValue(u"large.bin", 3 * 4096));
    large.AddNonResident(0x80, Runs({{3, 300}}), 3 * 4096, 3 * 4096 - 5);
    CRecordImage& broken = disk.Record(32);
    broken.AddResident(0x30, FileNameValue(u"broken.bin"));
    broken.AddNonResident(0x80, {0x19, 1, 0}, 4096, 4096);
    CRecordImage& gone = disk.Record(33);
    gone = CRecordImage(1024, false);
    gone.AddResident(0x30, FileNameValue(u"deleted.doc", 4096));
    gone.AddNonResident(0x80, Runs({{1, 304}}), 4096, 4000);
    disk.Build(40);
    disk.File().Write(disk.ClusterPosition(300), std::vector<BYTE>(5 * 4096, 0x5C));

    // An old time stamp, so that any write would show.
    const std::string& strPath = disk.Path();
    ASSERT_TRUE(AgeFile(strPath));
    const std::vector<BYTE> vecBefore = ReadFileBytes(strPath);
    const long long n64MTime = FileWriteTime(strPath);
    ASSERT_GT(vecBefore.size(), 1u << 20);

    CDiskGuard first(strPath);
    std::vector<PartitionRecord> vecPartitions;
    ASSERT_EQ(0u, WalkPartitionTables(
                      [&](const char*, const PartitionRecord& record) { vecPartitions.push_back(record); }));
    ASSERT_EQ(1u, vecPartitions.size());

    CHandle device(OpenFirstDisk());
    ASSERT_NE(INVALID_HANDLE_VALUE, static_cast<HANDLE>(device));
    ResetIoCounters();
    CVolumeWalk walk = WalkVolume(device, vecPartitions[0].dwFirstSector);
    ASSERT_EQ(0u, walk.m_dwOpen);
    EXPECT_EQ(0u, walk.m_mapRecords[31].m_dwData);
    EXPECT_EQ(ERROR_INVALID_PARAMETER, walk.m_mapRecords[32].m_dwData);
    EXPECT_EQ(0u, walk.m_mapRecords[33].m_dwData);
    EXPECT_EQ(0u, GetIoCounters().m_n64Writes);

    // Write access to the device is refused, whatever form the request takes.
    struct CRequest
    {
        const char* m_pszName;
        DWORD m_dwAccess;
        DWORD m_dwDisposition;
    };
    const CRequest requests[] = {
        {"\\\\.\\PhysicalDrive0", GENERIC_WRITE, OPEN_EXISTING},
        {"\\\\.\\PhysicalDrive0", GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING},
        {"\\\\.\\physicaldrive0", GENERIC_WRITE, OPEN_EXISTING},
        {"\\\\.\\PhysicalDrive0", GENERIC_READ, CREATE_ALWAYS},
        {"\\\\.\\PhysicalDrive0", GENERIC_READ, TRUNCATE_EXISTING},
        {"\\\\.\\PhysicalDrive0", GENERIC_READ, OPEN_ALWAYS},
    };
    for (const CRequest& request : requests)
    {
        SetLastError(0);
        HANDLE h = CreateFileA(request.m_pszName, request.m_dwAccess, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, request.m_dwDisposition, 0, nullptr);
        EXPECT_EQ(INVALID_HANDLE_VALUE, h) << request.m_pszName << " " << request.m_dwAccess;
        EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError()) << request.m_pszName << " " << request.m_dwAccess;
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
    // The read handle itself does not write.
    DWORD dwWritten = 77;
    EXPECT_FALSE(WriteFile(device, "x", 1, &dwWritten, nullptr));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_EQ(0u, dwWritten);

    EXPECT_TRUE(vecBefore == ReadFileBytes(strPath)) << "the disk's bytes changed";
    EXPECT_EQ(n64MTime, FileWriteTime(strPath)) << "the disk's modification time changed";
}
