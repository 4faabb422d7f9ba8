// Failures on the way: the disk failing under ReadEntryData, the drive not
// open, a record that is not there, memory running out, the destination
// failing in the middle of the write.
#include "ExtractVolume.h"
#include "support/FaultFreeTest.h"
#include "session/SaveEntry.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace extract_test;

namespace
{

class SaveFailureTest : public CFaultFreeTest
{
protected:
    void SetUp() override
    {
        CFaultFreeTest::SetUp();
        const CExtractVolume& volume = CExtractVolume::Get();
        ASSERT_EQ(volume.m_strError, "");
        ASSERT_EQ(m_drive.Open(volume.m_strDisk, CExtractVolume::kStartSector), 0u);
        m_strOut = NewOutputFolder();
        ASSERT_NE(m_strOut, "");
    }

    DWORD Save(const std::string& strName)
    {
        return SaveEntry(m_drive.m_drive, m_drive.m_lock, CExtractVolume::Get().Index(strName),
                         m_strOut.c_str());
    }

    // Byte offset on the disk of the first cluster of a file's data.
    static ULONGLONG FirstClusterOffset(const std::string& strName)
    {
        const CExtractVolume& volume = CExtractVolume::Get();
        CIstatInfo info;
        EXPECT_TRUE(Istat(volume.m_strDisk, CExtractVolume::kStartSector, volume.Index(strName), info));
        EXPECT_FALSE(info.m_vecClusters.empty());
        return CExtractVolume::kStartSector * 512ull +
               (info.m_vecClusters.empty() ? 0 : info.m_vecClusters[0]) * 4096ull;
    }

    CTestDrive m_drive;
    std::string m_strOut;
};

TEST_F(SaveFailureTest, ABadSectorInTheMiddleOfARunIsZerosAndTheFileIsKept)
{
    // One sector of 512 bytes inside the file's first cluster run fails to read.
    const ULONGLONG n64Bad = FirstClusterOffset("photo.jpg") + 5000;
    InjectFault(CDeviceFault::eReadError, n64Bad, ERROR_CRC);
    EXPECT_EQ(Save("photo.jpg"), 0u);
    ClearFaults();
    Bytes saved, expected;
    ASSERT_TRUE(ReadFileBytes(m_strOut + "/photo.jpg", saved));
    ASSERT_TRUE(IcatFileStream(CExtractVolume::Get().m_strDisk, CExtractVolume::kStartSector,
                               CExtractVolume::Get().Index("photo.jpg"), expected));
    ASSERT_EQ(saved.size(), expected.size());
    // The sector that holds byte 5000 of the file is zeros; every other byte is the file's.
    const size_t nFrom = 4608, nTo = 5120;
    for (size_t i = nFrom; i < nTo; ++i)
        expected[i] = 0;
    EXPECT_TRUE(saved == expected);
    // Resident data needs no disk read: the same fault leaves it alone.
    InjectFault(CDeviceFault::eReadError, n64Bad, ERROR_CRC);
    EXPECT_EQ(Save("small.txt"), 0u);
    EXPECT_EQ(ListFolder(m_strOut), (std::vector<std::string>{"photo.jpg", "small.txt"}));
}

TEST_F(SaveFailureTest, DiskEndingInsideTheDataKeepsWhatWasThere)
{
    InjectFault(CDeviceFault::eEndOfDevice, FirstClusterOffset("photo.jpg") + 4096);
    EXPECT_EQ(Save("photo.jpg"), 0u);
    ClearFaults();
    Bytes saved, expected;
    ASSERT_TRUE(ReadFileBytes(m_strOut + "/photo.jpg", saved));
    ASSERT_TRUE(IcatFileStream(CExtractVolume::Get().m_strDisk, CExtractVolume::kStartSector,
                               CExtractVolume::Get().Index("photo.jpg"), expected));
    ASSERT_EQ(saved.size(), expected.size());
    EXPECT_TRUE(std::equal(saved.begin(), saved.begin() + 4096, expected.begin()));
    EXPECT_TRUE(std::all_of(saved.begin() + 4096, saved.end(), [](BYTE by) { return by == 0; }));
}

TEST_F(SaveFailureTest, AFileOfWhichNothingCanBeReadIsNotMade)
{
    // Every sector of the file fails, but the disk still answers elsewhere.
    InjectFault(CDeviceFault::eDeviceGone, FirstClusterOffset("photo.jpg"), ERROR_IO_DEVICE);
    EXPECT_EQ(Save("photo.jpg"), DWORD(ERROR_IO_DEVICE));
    EXPECT_TRUE(ListFolder(m_strOut).empty());
}

TEST_F(SaveFailureTest, DriveCodesPassUnchanged)
{
    CNTFSDrive closed;
    std::mutex lock;
    EXPECT_EQ(SaveEntry(closed, lock, CExtractVolume::Get().Index("small.txt"), m_strOut.c_str()),
              ERROR_INVALID_ACCESS);
    EXPECT_EQ(SaveEntry(m_drive.m_drive, m_drive.m_lock, 0xFFFFFFFFu, m_strOut.c_str()),
              ERROR_NO_MORE_FILES);
    EXPECT_EQ(SaveEntry(m_drive.m_drive, m_drive.m_lock, m_drive.m_drive.GetRecordCount(),
                        m_strOut.c_str()),
              ERROR_NO_MORE_FILES);
    EXPECT_TRUE(ListFolder(m_strOut).empty());
}

TEST_F(SaveFailureTest, MemoryRunningOutFailsTheSave)
{
    SetAllocationFault(300000);
    EXPECT_NE(Save("photo.jpg"), 0u);
    EXPECT_TRUE(ListFolder(m_strOut).empty());
    ClearFaults();
    EXPECT_EQ(Save("photo.jpg"), 0u);
}

TEST_F(SaveFailureTest, WriteFailureLeavesTheBytesWrittenBeforeIt)
{
    InjectFault(CDeviceFault::eWriteError, 1000, ERROR_DISK_FULL);
    EXPECT_EQ(Save("photo.jpg"), ERROR_DISK_FULL);
    ClearFaults();

    ASSERT_EQ(ListFolder(m_strOut), std::vector<std::string>{"photo.jpg"});
    Bytes written, expected;
    ASSERT_TRUE(ReadFileBytes(m_strOut + "/photo.jpg", written));
    ASSERT_TRUE(IcatFileStream(CExtractVolume::Get().m_strDisk, CExtractVolume::kStartSector,
                               CExtractVolume::Get().Index("photo.jpg"), expected));
    ASSERT_EQ(written.size(), 1000u);
    EXPECT_TRUE(std::equal(written.begin(), written.end(), expected.begin()));

    // Saving again replaces the broken file with the whole one.
    EXPECT_EQ(Save("photo.jpg"), 0u);
    ASSERT_TRUE(ReadFileBytes(m_strOut + "/photo.jpg", written));
    EXPECT_TRUE(written == expected);
}

TEST_F(SaveFailureTest, WriteFailureAtTheStartLeavesAnEmptyFile)
{
    InjectFault(CDeviceFault::eWriteError, 0, ERROR_DISK_FULL);
    EXPECT_EQ(Save("small.txt"), ERROR_DISK_FULL);
    // An entry without data writes nothing, so nothing can fail.
    EXPECT_EQ(Save("empty.dat"), 0u);
    ClearFaults();
    Bytes written;
    ASSERT_TRUE(ReadFileBytes(m_strOut + "/small.txt", written));
    EXPECT_TRUE(written.empty());
}

}  // namespace
