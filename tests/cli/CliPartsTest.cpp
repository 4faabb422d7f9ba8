// The pieces salvix-cli's output is made of: the escapes of its two formats,
// its progress line, and the check that keeps saved files off the disk read.
#include "cli/ListColumns.h"
#include "cli/OutputCheck.h"
#include "cli/Progress.h"
#include "support/DiskGuard.h"
#include "support/Files.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>

using namespace salvix_test;

namespace
{

TEST(CliParts, FieldEscapes)
{
    struct CCase
    {
        std::string m_strText, m_strJson, m_strTsv;
    };
    const CCase cases[] = {
        {"季度报告.txt", "\"季度报告.txt\"", "季度报告.txt"},
        {"\\文档\\2024年", "\"\\\\文档\\\\2024年\"", "\\文档\\2024年"},
        {"a\tb\nc\rd", "\"a\\tb\\nc\\u000dd\"", "a\\tb\\nc\\rd"},
        {std::string("x\x01y\x7f", 4), "\"x\\u0001y\\u007f\"", "x\\x01y\\x7f"},
        {"say \"hi\"", "\"say \\\"hi\\\"\"", "say \"hi\""},
        {"", "\"\"", ""},
    };
    for (const CCase& test : cases)
    {
        EXPECT_EQ(test.m_strJson, JsonString(test.m_strText)) << test.m_strText;
        EXPECT_EQ(test.m_strTsv, TsvField(test.m_strText)) << test.m_strText;
    }
}

TEST(CliParts, ProgressLine)
{
    struct CCase
    {
        CProgressFigures m_figures;
        double m_dShare;           // of the 79-column line's bar filled
        const char* m_pszFigures;  // what follows the bar
    };
    const ULONGLONG kMB = 1000 * 1000;
    const CCase cases[] = {
        {{0, 10, 0, 0, 0.0}, 0.0, "  0/10 files  0 bytes"},
        // By files while the bytes to come are not known: half done in 10 s.
        {{5, 10, 20 * kMB, 0, 10.0}, 0.5, "  5/10 files  20 MB  2 MB/s  0:10 left"},
        // By bytes when they are: a quarter in 10 s leaves 30 s.
        {{1, 10, 25 * kMB, 100 * kMB, 10.0}, 0.25, "  1/10 files  25 MB  2.5 MB/s  0:30 left"},
        {{10, 10, 100 * kMB, 100 * kMB, 50.0}, 1.0, "  10/10 files  100 MB  2 MB/s"},
    };
    for (const CCase& test : cases)
    {
        const std::string strLine = ProgressLine(test.m_figures);
        SCOPED_TRACE(strLine);
        EXPECT_LE(strLine.size(), 79u);
        const size_t nClose = strLine.find(']');
        ASSERT_NE(std::string::npos, nClose);
        EXPECT_EQ(test.m_pszFigures, strLine.substr(nClose + 1));
        const double dHashes = static_cast<double>(std::count(strLine.begin(), strLine.begin() + nClose, '#'));
        EXPECT_NEAR(test.m_dShare * static_cast<double>(nClose - 1), dHashes, 1.0);
        EXPECT_EQ(nClose - 1, static_cast<size_t>(std::count(strLine.begin(), strLine.begin() + nClose, '-')) +
                                  static_cast<size_t>(dHashes));
    }
    EXPECT_EQ("0:00", DurationText(0));
    EXPECT_EQ("1:00", DurationText(59.6));
    EXPECT_EQ("1:02:05", DurationText(3725));
}

// The whole disk holding a folder, as its device node; empty when the
// folder's file system stands on no block device.
std::string DiskDeviceOf(const std::string& strFolder)
{
    struct stat st;
    if (stat(strFolder.c_str(), &st) != 0 || major(st.st_dev) == 0)
        return std::string();
    std::error_code ec;
    std::filesystem::path sys = std::filesystem::canonical(
        "/sys/dev/block/" + std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev)), ec);
    if (ec)
        return std::string();
    if (std::filesystem::exists(sys / "partition"))
        sys = sys.parent_path();
    const std::string strDevice = "/dev/" + sys.filename().string();
    struct stat stDevice;
    return stat(strDevice.c_str(), &stDevice) == 0 && S_ISBLK(stDevice.st_mode) ? strDevice : std::string();
}

TEST(CliParts, FolderOnTheDiskBeingRead)
{
    CTempDir dir;
    const std::string strImage = dir.File("disk.img");
    ASSERT_TRUE(MakeSparseFile(strImage, 1 << 20));
    {
        auto disks = CDiskGuard::Given({strImage});
        // An image: the folder beside it, or one not made yet, is fine.
        EXPECT_FALSE(FolderOnSourceDisk(dir.Path(), 0));
        EXPECT_FALSE(FolderOnSourceDisk(dir.File("new/deeper"), 0));
    }
    const std::string strDevice = DiskDeviceOf(dir.Path());
    if (strDevice.empty())
        GTEST_SKIP() << dir.Path() << " lies on no block device here";
    auto disks = CDiskGuard::Given({strDevice});
    EXPECT_TRUE(FolderOnSourceDisk(dir.Path(), 0)) << strDevice;
    EXPECT_TRUE(FolderOnSourceDisk(dir.File("new/deeper"), 0)) << strDevice;
}

}  // namespace
