// salvix-cli run as a user runs it, on the sample disk made at test time: its
// usage errors and exit codes, `disks` against mmls, `list` against fls and
// `save` against icat; and the pieces its output is made of: the escapes of
// its two formats, its progress line, and the check that keeps saved files
// off the disk being read.
#include "SalvixVersion.h"
#include "cli/ListColumns.h"
#include "cli/OutputCheck.h"
#include "cli/Progress.h"
#include "support/DiskGuard.h"
#include "support/Files.h"
#include "support/Process.h"
#include "support/SleuthKit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>

using namespace salvix_test;

namespace
{

CProcessResult Cli(std::vector<std::string> vecArgs)
{
    vecArgs.insert(vecArgs.begin(), SALVIX_CLI);
    return RunProcess(vecArgs);
}

// A row of `list`, by column name.
using CRow = std::map<std::string, std::string>;

std::vector<CRow> ParseTsv(const std::string& strText)
{
    std::vector<CRow> vecRows;
    std::istringstream lines(strText);
    std::string strLine;
    std::vector<std::string> vecHeader;
    while (std::getline(lines, strLine))
    {
        std::vector<std::string> vecFields;
        std::istringstream fields(strLine);
        for (std::string strField; std::getline(fields, strField, '\t');)
            vecFields.push_back(strField);
        if (strLine.back() == '\t')
            vecFields.emplace_back();
        if (vecHeader.empty())
        {
            vecHeader = vecFields;
            continue;
        }
        EXPECT_EQ(vecHeader.size(), vecFields.size()) << strLine;
        CRow row;
        for (size_t i = 0; i < vecHeader.size() && i < vecFields.size(); ++i)
            row[vecHeader[i]] = vecFields[i];
        vecRows.push_back(row);
    }
    return vecRows;
}

std::string Lower(std::string str)
{
    std::transform(str.begin(), str.end(), str.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; });
    return str;
}

class CliTest : public ::testing::Test
{
protected:
    // The sample disk (two NTFS volumes, a FAT32 one between them, each with
    // files and deleted ones), made once.
    static void SetUpTestSuite()
    {
        s_pDir = std::make_unique<CTempDir>();
        const CProcessResult made = RunProcess({SALVIX_MKSAMPLE, Image()});
        ASSERT_TRUE(made.Ok()) << made.m_strErrors;
        // Where its partitions start, from `disks --json`, checked against mmls below.
        const std::string strJson = Cli({"disks", "--json", Image()}).m_strOutput;
        const std::string strKey = "\"first_sector\":";
        for (size_t n = strJson.find(strKey); n != std::string::npos; n = strJson.find(strKey, n + 1))
            s_vecStarts.push_back(std::stoull(strJson.substr(n + strKey.size())));
    }
    static void TearDownTestSuite() { s_pDir.reset(); }

    static std::string Image() { return s_pDir->File("sample.img"); }
    static std::vector<CRow> List(const std::string& strPartition, std::vector<std::string> vecMore = {})
    {
        std::vector<std::string> vecArgs = {"list", Image(), "--partition", strPartition};
        vecArgs.insert(vecArgs.end(), vecMore.begin(), vecMore.end());
        const CProcessResult result = Cli(vecArgs);
        EXPECT_EQ(0, result.m_nExitCode) << result.m_strErrors;
        return ParseTsv(result.m_strOutput);
    }
    static std::map<std::string, CRow> ByName(const std::vector<CRow>& vecRows)
    {
        std::map<std::string, CRow> mapRows;
        for (const CRow& row : vecRows)
            mapRows[row.at("name")] = row;
        return mapRows;
    }

    static std::unique_ptr<CTempDir> s_pDir;
    static std::vector<uint64_t> s_vecStarts;  // partitions 0, 1, 2
};

std::unique_ptr<CTempDir> CliTest::s_pDir;
std::vector<uint64_t> CliTest::s_vecStarts;

struct CUsageCase
{
    const char* m_pszName;
    std::vector<std::string> m_vecArgs;  // "IMG" stands for the sample disk
    int m_nExit;
    const char* m_pszError;  // held by the one line on standard error
};

TEST_F(CliTest, UsageErrorsAndExitCodes)
{
    const std::string strOut = s_pDir->File("out");
    const CUsageCase cases[] = {
        {"no command", {}, 2, "subcommand"},
        {"unknown command", {"undelete", "IMG"}, 2, "subcommand"},
        {"no partition", {"list", "IMG"}, 2, "--partition"},
        {"no such partition", {"list", "IMG", "-p", "NTFS Drive 9"}, 2, "no partition \"NTFS Drive 9\""},
        {"unknown format", {"list", "IMG", "-p", "0", "--format", "xml"}, 2, "xml"},
        {"save without rows", {"save", "IMG", "-p", "0", "-o", strOut}, 2, "--record N, --deleted, --recoverable or --match"},
        {"save without folder", {"save", "IMG", "-p", "0", "--deleted"}, 2, "--output"},
        {"records and a filter", {"save", "IMG", "-p", "0", "--record", "64", "--deleted", "-o", strOut}, 2, "excludes"},
        {"record not listed", {"save", "IMG", "-p", "0", "--record", "5", "-o", strOut}, 2, "record 5 is not listed"},
        {"record not a number", {"save", "IMG", "-p", "0", "--record", "x", "-o", strOut}, 2, "--record"},
        {"disk missing", {"list", "/nonexistent/disk.img", "-p", "0"}, 3, "could not be found"},
        {"disks with one missing", {"disks", "IMG", "/nonexistent/disk.img"}, 3, "could not be found"},
    };
    for (const CUsageCase& test : cases)
    {
        SCOPED_TRACE(test.m_pszName);
        std::vector<std::string> vecArgs = test.m_vecArgs;
        std::replace(vecArgs.begin(), vecArgs.end(), std::string("IMG"), Image());
        const CProcessResult result = Cli(vecArgs);
        EXPECT_EQ(test.m_nExit, result.m_nExitCode);
        EXPECT_NE(std::string::npos, result.m_strErrors.find(test.m_pszError)) << result.m_strErrors;
        EXPECT_EQ(0u, result.m_strErrors.rfind("salvix-cli: ", 0)) << result.m_strErrors;
        EXPECT_EQ(1, std::count(result.m_strErrors.begin(), result.m_strErrors.end(), '\n')) << result.m_strErrors;
    }
    EXPECT_FALSE(std::filesystem::exists(strOut)) << "a refused save made its folder";
}

TEST_F(CliTest, VersionAndHelp)
{
    const CProcessResult version = Cli({"--version"});
    EXPECT_EQ(0, version.m_nExitCode);
    EXPECT_EQ(std::string("salvix-cli ") + SALVIX_VERSION + "\n", version.m_strOutput);
    for (const char* pszCommand : {"disks", "list", "save"})
    {
        const CProcessResult help = Cli({pszCommand, "--help"});
        EXPECT_EQ(0, help.m_nExitCode) << pszCommand;
        EXPECT_NE(std::string::npos, help.m_strOutput.find("Exit codes: 0 all done")) << pszCommand;
    }
}

TEST_F(CliTest, DisksAgreeWithMmls)
{
    const CProcessResult disks = Cli({"disks", Image()});
    EXPECT_EQ(0, disks.m_nExitCode) << disks.m_strErrors;
    EXPECT_EQ("Drives\n  NTFS Drive 0\n  FAT32 Drive 1\n  NTFS Drive 2\n", disks.m_strOutput);
    std::vector<CMmlsRow> vecMmls;
    ASSERT_TRUE(Mmls(Image(), {}, vecMmls));
    std::vector<uint64_t> vecStarts;
    for (const CMmlsRow& row : vecMmls)
        if (row.m_bPartition && row.m_strDescription.find("Extended") == std::string::npos)
            vecStarts.push_back(row.m_n64Start);
    EXPECT_EQ(vecStarts, s_vecStarts);
}

// Every name fls finds in the folders, on both NTFS volumes, is a row with
// that name, folder and deleted mark.
TEST_F(CliTest, ListAgreesWithFls)
{
    ASSERT_EQ(3u, s_vecStarts.size());
    // The second volume holds fewer files.
    for (const auto& [nPartition, nAtLeast] : {std::pair<unsigned, int>(0, 20), std::pair<unsigned, int>(2, 8)})
    {
        SCOPED_TRACE("partition " + std::to_string(nPartition));
        std::map<uint64_t, CRow> mapRows;
        for (const CRow& row : List(std::to_string(nPartition)))
            mapRows[std::stoull(row.at("record"))] = row;
        std::vector<CFlsEntry> vecFls;
        ASSERT_TRUE(Fls(Image(), s_vecStarts[nPartition], vecFls));
        std::map<uint64_t, int> mapNames;
        for (const CFlsEntry& e : vecFls)
            ++mapNames[e.m_n64Record];
        int nCompared = 0, nDeleted = 0;
        for (const CFlsEntry& e : vecFls)
        {
            if (e.m_n64Record < 30 || e.m_bReallocated || e.m_strAttribute.empty() ||
                e.m_strPath.find(':') != std::string::npos || mapNames[e.m_n64Record] != 1)
                continue;
            SCOPED_TRACE(e.m_strPath);
            ASSERT_EQ(1u, mapRows.count(e.m_n64Record));
            const CRow& row = mapRows[e.m_n64Record];
            std::string strFolder = "\\" + e.m_strPath.substr(0, e.m_strPath.size() - std::min(e.m_strPath.size(), e.Name().size() + 1));
            std::replace(strFolder.begin(), strFolder.end(), '/', '\\');
            EXPECT_EQ(e.Name(), row.at("name"));
            EXPECT_EQ(strFolder, row.at("path"));
            EXPECT_EQ(e.m_bDeleted ? "1" : "0", row.at("deleted"));
            EXPECT_EQ(e.IsDirectory() ? "1" : "0", row.at("folder"));
            ++nCompared;
            nDeleted += e.m_bDeleted;
        }
        EXPECT_GE(nCompared, nAtLeast);
        EXPECT_GE(nDeleted, 1);
        std::printf("partition %u: %d names compared with fls, %d of them deleted\n", nPartition, nCompared, nDeleted);
    }
}

// --deleted and --match choose the rows the window's filter would: name or
// folder holding the text, case aside; JSON lines carry the same rows.
TEST_F(CliTest, FiltersAndJsonLines)
{
    const std::vector<CRow> vecAll = List("0");
    struct CFilterCase
    {
        std::vector<std::string> m_vecArgs;
        bool m_bDeleted;
        std::string m_strText;
    };
    const CFilterCase cases[] = {{{"--deleted"}, true, ""},
                                 {{"--match", "documents"}, false, "documents"},
                                 {{"--match", "JPG"}, false, "jpg"},
                                 {{"--deleted", "--match", "photos"}, true, "photos"}};
    for (const CFilterCase& test : cases)
    {
        SCOPED_TRACE(test.m_vecArgs.back());
        std::vector<std::string> vecExpected, vecListed;
        for (const CRow& row : vecAll)
            if ((!test.m_bDeleted || row.at("deleted") == "1") &&
                (Lower(row.at("name")).find(test.m_strText) != std::string::npos ||
                 Lower(row.at("path")).find(test.m_strText) != std::string::npos))
                vecExpected.push_back(row.at("record"));
        for (const CRow& row : List("0", test.m_vecArgs))
            vecListed.push_back(row.at("record"));
        EXPECT_EQ(vecExpected, vecListed);
        EXPECT_GE(vecListed.size(), 2u);
    }
    const CProcessResult json = Cli({"list", Image(), "-p", "NTFS Drive 0", "--format", "json"});
    ASSERT_EQ(0, json.m_nExitCode);
    std::istringstream lines(json.m_strOutput);
    std::string strLine;
    size_t nLine = 0;
    for (; std::getline(lines, strLine) && nLine < vecAll.size(); ++nLine)
    {
        const CRow& row = vecAll[nLine];
        EXPECT_EQ(0u, strLine.find("{\"record\":" + row.at("record") + ",\"name\":\"" + row.at("name") + "\""));
        EXPECT_NE(std::string::npos,
                  strLine.find(std::string("\"deleted\":") + (row.at("deleted") == "1" ? "true" : "false")));
    }
    EXPECT_EQ(vecAll.size(), nLine);
}

// Saved files hold what icat reads, live and deleted, under their names, or
// under their folders with --folders.
TEST_F(CliTest, SavedFilesMatchIcat)
{
    const std::map<std::string, CRow> mapRows = ByName(List("0"));
    const char* const ppszNames[] = {"季度报告.txt", "合同扫描件.pdf", "Lettre à Hélène.txt", "coucher de soleil.jpg"};
    std::string strRecords;
    for (const char* pszName : ppszNames)
        strRecords += (strRecords.empty() ? "" : ",") + mapRows.at(pszName).at("record");
    const std::string strFlat = s_pDir->File("flat");
    const CProcessResult flat = Cli({"save", Image(), "-p", "0", "--record", strRecords, "-o", strFlat});
    EXPECT_EQ(0, flat.m_nExitCode) << flat.m_strErrors;
    EXPECT_EQ(0u, flat.m_strOutput.find("已保存 4 个文件")) << flat.m_strOutput;
    for (const char* pszName : ppszNames)
    {
        Bytes vecIcat;
        ASSERT_TRUE(Icat(Image(), s_vecStarts[0], mapRows.at(pszName).at("record"), vecIcat));
        EXPECT_GT(vecIcat.size(), 0u) << pszName;
        EXPECT_EQ(vecIcat, ReadFileBytes(strFlat + "/" + pszName)) << pszName;
    }

    const std::string strTree = s_pDir->File("tree");
    const CProcessResult tree = Cli({"save", Image(), "-p", "0", "--match", "vacances", "--folders", "-o", strTree});
    EXPECT_EQ(0, tree.m_nExitCode) << tree.m_strErrors;
    int nFiles = 0;
    for (const auto& [strName, row] : mapRows)
    {
        if (row.at("path") != "\\Photos\\Vacances été")
            continue;
        Bytes vecIcat;
        ASSERT_TRUE(Icat(Image(), s_vecStarts[0], row.at("record"), vecIcat));
        EXPECT_EQ(vecIcat, ReadFileBytes(strTree + "/Photos/Vacances été/" + strName)) << strName;
        ++nFiles;
    }
    EXPECT_EQ(3, nFiles);
    EXPECT_EQ(0u, tree.m_strOutput.find("已保存 3 个文件")) << tree.m_strOutput;
}

// The FAT32 partition lists what fls names, numbered by the walk, and its
// deleted files save as icat reads them.
TEST_F(CliTest, Fat32ListsAndSavesLikeNtfs)
{
    ASSERT_EQ(3u, s_vecStarts.size());
    const std::vector<CRow> vecRows = List("FAT32 Drive 1");
    std::vector<CFlsEntry> vecFls;
    ASSERT_TRUE(FlsFatFiles(Image(), s_vecStarts[1], vecFls));
    ASSERT_EQ(vecFls.size(), vecRows.size());
    for (size_t n = 0; n < vecRows.size(); ++n)
        EXPECT_EQ(std::to_string(n), vecRows[n].at("record"));
    std::map<std::string, uint64_t> mapDeleted;
    for (const CFlsEntry& e : vecFls)
    {
        std::string strFolder = "\\" + e.m_strPath.substr(0, e.m_strPath.size() - std::min(e.m_strPath.size(), e.Name().size() + 1));
        std::replace(strFolder.begin(), strFolder.end(), '/', '\\');
        const auto it = std::find_if(vecRows.begin(), vecRows.end(), [&](const CRow& row) {
            return row.at("name") == e.Name() && row.at("path") == strFolder;
        });
        ASSERT_NE(it, vecRows.end()) << e.m_strPath;
        EXPECT_EQ(e.m_bDeleted ? "1" : "0", it->at("deleted")) << e.m_strPath;
        EXPECT_EQ(e.IsDirectory() ? "1" : "0", it->at("folder")) << e.m_strPath;
        if (e.m_bDeleted && !e.IsDirectory())
            mapDeleted[e.Name()] = e.m_n64Record;
    }
    ASSERT_GE(mapDeleted.size(), 2u);
    const std::string strOut = s_pDir->File("fat32-deleted");
    const CProcessResult saved = Cli({"save", Image(), "-p", "1", "--deleted", "-o", strOut});
    EXPECT_EQ(0, saved.m_nExitCode) << saved.m_strErrors;
    for (const auto& [strName, n64Inode] : mapDeleted)
    {
        Bytes vecIcat;
        ASSERT_TRUE(Icat(Image(), s_vecStarts[1], std::to_string(n64Inode), vecIcat));
        EXPECT_GT(vecIcat.size(), 0u) << strName;
        EXPECT_EQ(vecIcat, ReadFileBytes(strOut + "/" + strName)) << strName;
    }
}

// A file that cannot be saved is reported, the others are saved, the report
// is kept beside them, and the exit code says so.
TEST_F(CliTest, SaveWithAProblemExitsOne)
{
    const std::map<std::string, CRow> mapRows = ByName(List("0"));
    const std::string strOut = s_pDir->File("problem");
    std::filesystem::create_directories(strOut);
    ASSERT_TRUE(WriteFileBytes(strOut + "/plan.txt", Bytes{'x'}));
    std::filesystem::permissions(strOut + "/plan.txt", std::filesystem::perms::owner_read);
    const CProcessResult result = Cli({"save", Image(), "-p", "0", "--record",
                                       mapRows.at("plan.txt").at("record") + "," +
                                           mapRows.at("notes de réunion.txt").at("record"),
                                       "-o", strOut});
    EXPECT_EQ(1, result.m_nExitCode);
    EXPECT_NE(std::string::npos, result.m_strOutput.find("未保存：\\Documents\\Projets\\plan.txt"));
    EXPECT_EQ(Bytes{'x'}, ReadFileBytes(strOut + "/plan.txt"));
    EXPECT_TRUE(std::filesystem::is_regular_file(strOut + "/notes de réunion.txt"));
    const Bytes vecReport = ReadFileBytes(strOut + "/保存结果.txt");
    EXPECT_EQ(result.m_strOutput, std::string(vecReport.begin(), vecReport.end()));
}

// A partition whose boot sector is gone cannot be read (3); the other
// volume of the same disk still lists.
TEST_F(CliTest, UnreadablePartitionExitsThree)
{
    const std::string strDamaged = s_pDir->File("damaged.img");
    std::filesystem::copy_file(Image(), strDamaged);
    ASSERT_TRUE(PatchFile(strDamaged, s_vecStarts[0] * 512, 512, [](BYTE* p) { std::fill(p, p + 512, 0); }));
    const CProcessResult broken = Cli({"list", strDamaged, "-p", "0"});
    EXPECT_EQ(3, broken.m_nExitCode);
    EXPECT_EQ("", broken.m_strOutput);
    EXPECT_NE(std::string::npos, broken.m_strErrors.find("the partition cannot be read")) << broken.m_strErrors;
    EXPECT_EQ(0, Cli({"list", strDamaged, "-p", "2"}).m_nExitCode);
}

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
