// The tree of disks every front end draws: one disk as it always was,
// several as a node each, an unreadable one with its reason.
#include "support/DiskGuard.h"
#include "support/NtfsImage.h"

#include "session/DiskTree.h"

#include <gtest/gtest.h>

using namespace salvix_test;

namespace
{

// A disk image of n64Bytes whose master boot record lists these entries.
void MakeDisk(const std::string& strPath, ULONGLONG n64Bytes, const std::vector<CEntry>& vecEntries)
{
    ASSERT_TRUE(MakeSparseFile(strPath, n64Bytes));
    ASSERT_TRUE(WritePartitionTable(strPath, 0, vecEntries));
}

}  // namespace

TEST(DiskTreeTest, OneDiskListsItsPartitionsWithoutANode)
{
    CTempDir dir;
    MakeDisk(dir.File("one.img"), 64 << 20, {Part(7, 2048), Part(11, 40000)});
    {
        const auto disks = CDiskGuard::Given({dir.File("one.img")});
        const CDiskTree tree = BuildDiskTree();
        ASSERT_TRUE(tree.SingleDisk());
        ASSERT_EQ(1u, tree.m_vecDisks.size());
        EXPECT_EQ("", tree.m_vecDisks[0].m_strText);
        ASSERT_EQ(2u, tree.m_vecDisks[0].m_vecPartitions.size());
        EXPECT_EQ("NTFS Drive 0", tree.m_vecDisks[0].m_vecPartitions[0].m_strText);
        EXPECT_EQ("FAT32 Drive 1", tree.m_vecDisks[0].m_vecPartitions[1].m_strText);
        EXPECT_EQ(40000u, tree.m_vecDisks[0].m_vecPartitions[1].m_target.m_partition.qwFirstSector);
        EXPECT_EQ(0u, tree.m_dwError);
    }

    // The one disk missing: the walk's code, to be shown as ever.
    const auto disks = CDiskGuard::Given({dir.File("gone.img")});
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, BuildDiskTree().m_dwError);
}

TEST(DiskTreeTest, SeveralDisksGiveANodeEachNumberedPerDisk)
{
    CTempDir dir;
    MakeDisk(dir.File("a.img"), 64 << 20, {Part(7, 2048), Part(7, 60000)});
    MakeDisk(dir.File("c.img"), 8 << 20, {Part(11, 2048)});
    const auto disks = CDiskGuard::Given({dir.File("a.img"), dir.File("gone.img"), dir.File("c.img")});
    const CDiskTree tree = BuildDiskTree();
    ASSERT_FALSE(tree.SingleDisk());
    EXPECT_EQ(0u, tree.m_dwError) << "the reasons go into the nodes";
    ASSERT_EQ(3u, tree.m_vecDisks.size());

    EXPECT_EQ("Disk 0: " + dir.File("a.img") + ", 67 MB", tree.m_vecDisks[0].m_strText);
    ASSERT_EQ(2u, tree.m_vecDisks[0].m_vecPartitions.size());
    EXPECT_EQ("NTFS Drive 1", tree.m_vecDisks[0].m_vecPartitions[1].m_strText);

    EXPECT_EQ(ERROR_FILE_NOT_FOUND, tree.m_vecDisks[1].m_dwError);
    EXPECT_EQ(0u, tree.m_vecDisks[1].m_strText.find("Disk 1: " + dir.File("gone.img") + " ("));
    EXPECT_TRUE(tree.m_vecDisks[1].m_vecPartitions.empty());

    ASSERT_EQ(1u, tree.m_vecDisks[2].m_vecPartitions.size());
    EXPECT_EQ("FAT32 Drive 0", tree.m_vecDisks[2].m_vecPartitions[0].m_strText);
    EXPECT_EQ(2u, tree.m_vecDisks[2].m_vecPartitions[0].m_target.m_dwDisk);
}
