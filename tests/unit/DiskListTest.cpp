// Several disks: which path each disk number opens, what the list of disks
// says of each, and that one unreadable disk leaves the others readable.
#include "PartitionWalk.h"
#include "support/Process.h"

#include "GptWriter.h"

#include "disk/Disk.h"
#include "disk/DiskLayout.h"
#include "disk/PartitionTable.h"
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace salvix_test;

namespace
{

struct CDiskWalk
{
    DWORD m_dwResult = 0;
    std::vector<std::string> m_vecTexts;
};

CDiskWalk Walk(DWORD dwDisk)
{
    CDiskWalk walk;
    walk.m_dwResult = WalkPartitionTables(dwDisk, [&](const char* pszText, const PartitionRecord&) {
        walk.m_vecTexts.push_back(pszText);
    });
    return walk;
}

class DiskListTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // An MBR disk and a GPT disk, each with one NTFS partition.
        ASSERT_TRUE(MakeSparseFile(m_dir.File("mbr.img"), 4096 * 512));
        ASSERT_TRUE(WritePartitionTable(m_dir.File("mbr.img"), 0, {Part(7, 2048, 1024)}));
        ASSERT_TRUE(MakeSparseFile(m_dir.File("gpt.img"), 16384ull * 512));
        GptLayout layout;
        layout.partitions = {{2048, 4095, kGptTypeMsr, "MSR"}, {4096, 8191, kGptTypeLinux, "root"}};
        ASSERT_TRUE(WriteGpt(m_dir.File("gpt.img"), layout));
    }

    CTempDir m_dir;
};

TEST_F(DiskListTest, ThreeDisksOneMissing)
{
    const std::string strMbr = m_dir.File("mbr.img"), strGpt = m_dir.File("gpt.img");
    const std::string strMissing = m_dir.File("missing.img");
    // Empty entries of the list are skipped, as in PATH.
    CDiskGuard disks(strMbr + "::" + strMissing + ":" + strGpt + ":");

    const std::vector<CDiskSummary> vecDisks = ListDisks();
    ASSERT_EQ(3u, vecDisks.size());
    EXPECT_EQ(strMbr, vecDisks[0].m_strName);
    EXPECT_EQ(0u, vecDisks[0].m_dwError);
    EXPECT_EQ(4096ull * 512, vecDisks[0].m_qwDiskBytes);
    EXPECT_EQ(512u, vecDisks[0].m_dwSectorSize);
    EXPECT_EQ("Disk 0: " + strMbr + ", 2.1 MB", DiskNodeText(vecDisks[0]));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), vecDisks[1].m_dwError);
    EXPECT_EQ("Disk 1: " + strMissing, DiskNodeText(vecDisks[1]));
    EXPECT_EQ(2u, vecDisks[2].m_dwDisk);
    EXPECT_EQ("Disk 2: " + strGpt + ", 8.4 MB", DiskNodeText(vecDisks[2]));

    EXPECT_EQ((std::vector<std::string>{"NTFS Drive 0"}), Walk(0).m_vecTexts);
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), Walk(1).m_dwResult);
    const CDiskWalk third = Walk(2);
    EXPECT_EQ(0u, third.m_dwResult);
    EXPECT_EQ((std::vector<std::string>{"MSR Drive 0", "Linux Drive 1"}), third.m_vecTexts);
    // Past the last disk, and far past it.
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), Walk(3).m_dwResult);
    EXPECT_EQ(INVALID_HANDLE_VALUE, OpenDisk(0xFFFFFFFFu));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

TEST_F(DiskListTest, TwoDisksOneUnreadable)
{
    // A folder stands where a disk should be: it opens to nothing.
    CDiskGuard disks(m_dir.Path() + ":" + m_dir.File("gpt.img"));
    const std::vector<CDiskSummary> vecDisks = ListDisks();
    ASSERT_EQ(2u, vecDisks.size());
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), vecDisks[0].m_dwError);
    EXPECT_EQ(0u, vecDisks[1].m_dwError);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), Walk(0).m_dwResult);
    EXPECT_EQ(2u, Walk(1).m_vecTexts.size());
}

TEST_F(DiskListTest, CommandLineDisksReplaceTheVariable)
{
    CDiskGuard disks(m_dir.File("mbr.img"));
    // A path given on the command line may hold ':'.
    const std::string strColon = m_dir.File("a:b.img");
    ASSERT_TRUE(MakeSparseFile(strColon, 16384ull * 512));
    GptLayout layout;
    layout.partitions = {{2048, 4095, kGptTypeEfi, "EFI"}};
    ASSERT_TRUE(WriteGpt(strColon, layout));

    const auto given = CDiskGuard::Given({strColon, m_dir.File("mbr.img")});
    EXPECT_EQ(strColon, DiskPath(0));
    EXPECT_EQ(strColon, FirstDiskPath());
    EXPECT_EQ(m_dir.File("mbr.img"), DiskPath(1));
    EXPECT_EQ("", DiskPath(2));
    EXPECT_EQ((std::vector<std::string>{"EFI Drive 0"}), Walk(0).m_vecTexts);
    EXPECT_EQ((std::vector<std::string>{"NTFS Drive 0"}), Walk(1).m_vecTexts);
    EXPECT_EQ(2u, ListDisks().size());

    SetDiskPaths({});
    EXPECT_EQ(m_dir.File("mbr.img"), DiskPath(0));
    EXPECT_EQ(1u, ListDisks().size());
}

// A read-only loop device of 4096-byte logical sectors over an image: the
// device's own sector size counts, where the image alone would say 512. Needs
// the right to set up loop devices (root); skipped without it.
class CLoopDevice
{
public:
    explicit CLoopDevice(const std::string& strImage)
    {
        CProcessResult result = RunProcess({"losetup", "-r", "-b", "4096", "-f", "--show", strImage});
        std::string& strDevice = result.m_strOutput;
        while (!strDevice.empty() && (strDevice.back() == '\n' || strDevice.back() == ' '))
            strDevice.pop_back();
        if (result.Ok() && strDevice.rfind("/dev/loop", 0) == 0)
            m_strDevice = strDevice;
    }
    ~CLoopDevice()
    {
        if (!m_strDevice.empty())
            RunProcess({"losetup", "-d", m_strDevice});
    }
    CLoopDevice(const CLoopDevice&) = delete;
    CLoopDevice& operator=(const CLoopDevice&) = delete;

    std::string m_strDevice;
};

TEST_F(DiskListTest, BlockDeviceTellsItsSectorSize)
{
    // An MBR whose one entry starts at sector 256: byte 1 MiB in 4096-byte sectors.
    const std::string strImage = m_dir.File("mbr4k.img");
    ASSERT_TRUE(MakeSparseFile(strImage, 4096ull * 4096));
    ASSERT_TRUE(WritePartitionTable(strImage, 0, {Part(7, 256, 1024), Part(5, 2048, 1024)}));
    // The extended record, at 4096-byte sector 2048.
    ASSERT_TRUE(WritePartitionTable(strImage, 2048 * 8, {Part(0x0C, 16, 100)}));
    CLoopDevice loop(strImage);
    if (loop.m_strDevice.empty())
        GTEST_SKIP() << "no loop device could be set up (needs root)";

    CDiskGuard disk(loop.m_strDevice);
    HANDLE hDisk = OpenDisk(0);
    ASSERT_NE(INVALID_HANDLE_VALUE, hDisk);
    DISK_GEOMETRY_EX geometry = {};
    DWORD dwReturned = 0;
    EXPECT_TRUE(DeviceIoControl(hDisk, IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0, &geometry,
                                sizeof(geometry), &dwReturned, nullptr));
    EXPECT_EQ(4096u, geometry.Geometry.BytesPerSector);
    EXPECT_EQ(4096ll * 4096, geometry.DiskSize.QuadPart);
    GET_LENGTH_INFORMATION length = {};
    EXPECT_TRUE(DeviceIoControl(hDisk, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof(length),
                                &dwReturned, nullptr));
    EXPECT_EQ(4096ll * 4096, length.Length.QuadPart);
    EXPECT_FALSE(DeviceIoControl(hDisk, IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0, &geometry, 8,
                                 &dwReturned, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    CloseHandle(hDisk);

    std::vector<PartitionRecord> vecRecords;
    ASSERT_EQ(0u, WalkPartitionTables(0, [&](const char*, const PartitionRecord& record) {
        vecRecords.push_back(record);
    }));
    ASSERT_EQ(2u, vecRecords.size());
    EXPECT_EQ(4096u, vecRecords[0].dwSectorSize);
    EXPECT_EQ(256u, vecRecords[0].qwFirstSector);
    EXPECT_EQ(2048u + 16, vecRecords[1].qwFirstSector);
}

}  // namespace
