// The first physical disk through the real Win32 API: under Wine,
// \\.\PhysicalDrive0 is a link in the prefix's dosdevices folder, which
// scripts/wine-run points at the image named by SALVIX_WINE_DISK0.
#include "VolumeCheck.h"
#include "support/NtfsImage.h"

#include "disk/Disk.h"
#include "disk/PartitionTable.h"
#include "ntfs/NTFSDrive.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace
{
const DWORD kSectorSize = 512;

// The system's SetFilePointer answers 0xFFFFFFFF both for failure and for a
// position whose low half is all ones; only the last error tells them apart.
TEST(WindowsDiskTest, SeekToAPositionWhoseLowHalfIsAllOnes)
{
    const std::string strImage = ImagePath("c1024.img");  // a disk of more than 4 GiB
    HANDLE hImage = OpenImage(strImage);
    ASSERT_NE(INVALID_HANDLE_VALUE, hImage) << strImage << ": error " << GetLastError();
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(0u, SeekDevice(hImage, 0xFFFFFFFFull));
    BYTE byByte = 0;
    DWORD dwRead = 0;
    EXPECT_TRUE(ReadFile(hImage, &byByte, 1, &dwRead, nullptr));
    EXPECT_EQ(1u, dwRead);
    LONG lHigh = 0;
    EXPECT_EQ(0u, SetFilePointer(hImage, 0, &lHigh, FILE_CURRENT));
    EXPECT_EQ(1, lHigh) << "one byte past 0xFFFFFFFF";
    CloseHandle(hImage);
    EXPECT_EQ(ERROR_INVALID_HANDLE, SeekDevice(hImage, 0)) << "the system's code passes up";
}

class WindowsRawDiskTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const char* pszImage = getenv("SALVIX_WINE_DISK0");
        ASSERT_TRUE(pszImage && *pszImage) << "SALVIX_WINE_DISK0 names no image: run through ctest";
        m_strImage = WindowsPath(pszImage);
        std::string strExpected = m_strImage.substr(0, m_strImage.rfind('.')) + ".expected";
        std::string strError;
        ASSERT_TRUE(LoadExpectations(strExpected, m_expected, strError)) << strError;
        m_hDisk = OpenFirstDisk();
        ASSERT_NE(INVALID_HANDLE_VALUE, m_hDisk) << "\\\\.\\PhysicalDrive0: error " << GetLastError();
    }
    void TearDown() override
    {
        if (m_hDisk != INVALID_HANDLE_VALUE)
            CloseHandle(m_hDisk);
    }

    std::string m_strImage;
    CExpectedImage m_expected;
    HANDLE m_hDisk = INVALID_HANDLE_VALUE;
};

TEST_F(WindowsRawDiskTest, MasterBootRecordIsTheImagesFirstSector)
{
    BYTE abyDisk[kSectorSize];
    DWORD dwRead = 0;
    ASSERT_TRUE(ReadFile(m_hDisk, abyDisk, kSectorSize, &dwRead, nullptr)) << "error " << GetLastError();
    ASSERT_EQ(kSectorSize, dwRead);

    HANDLE hImage = OpenImage(m_strImage);
    ASSERT_NE(INVALID_HANDLE_VALUE, hImage) << m_strImage << ": error " << GetLastError();
    BYTE abyImage[kSectorSize];
    DWORD dwImage = 0;
    const BOOL bImage = ReadFile(hImage, abyImage, kSectorSize, &dwImage, nullptr);
    CloseHandle(hImage);
    ASSERT_TRUE(bImage);
    ASSERT_EQ(kSectorSize, dwImage);
    EXPECT_EQ(0x55, abyDisk[510]);
    EXPECT_EQ(0xAA, abyDisk[511]);
    EXPECT_EQ(0, memcmp(abyDisk, abyImage, kSectorSize));
}

// The walk opens the disk by itself; each NTFS partition it lists is then
// opened on the disk handle at the sector the walk gave, as the program does.
TEST_F(WindowsRawDiskTest, PartitionsAndEveryRecordThroughTheFirstDisk)
{
    std::vector<std::pair<std::string, DWORD>> vecListed;
    ASSERT_EQ(0u, WalkPartitionTables([&](const char* pszText, const PartitionRecord& record) {
        vecListed.emplace_back(pszText, record.dwFirstSector);
    }));
    ASSERT_EQ(m_expected.m_vecPartitions.size(), vecListed.size());
    ASSERT_GE(vecListed.size(), 3u) << "the sample disk: NTFS, FAT32, NTFS";
    size_t nVolume = 0;
    for (size_t i = 0; i < vecListed.size(); ++i)
    {
        const CExpectedPartition& partition = m_expected.m_vecPartitions[i];
        const std::string strText = std::string(PartitionTypeLabel(static_cast<BYTE>(partition.m_nType))) +
                                    " Drive " + std::to_string(i);
        EXPECT_EQ(strText, vecListed[i].first);
        EXPECT_EQ(partition.m_dwFirstSector, vecListed[i].second);
        if (std::string(PartitionTypeLabel(static_cast<BYTE>(partition.m_nType))) != "NTFS")
        {
            CNTFSDrive drive;
            EXPECT_EQ(ERROR_INVALID_DRIVE, salvix_test::OpenVolumeOn(drive, m_hDisk, vecListed[i].second, kSectorSize))
                << strText;
            continue;
        }
        ASSERT_LT(nVolume, m_expected.m_vecVolumes.size());
        const CVolumeTally tally = CompareVolume(m_hDisk, m_expected.m_vecVolumes[nVolume++]);
        EXPECT_GE(tally.m_nDataCompared, 10) << strText;
    }
    EXPECT_EQ(m_expected.m_vecVolumes.size(), nVolume);
}
}  // namespace
