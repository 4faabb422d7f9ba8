// The decisions of a save that need no volume: the safe name of an entry,
// a free name beside another, where a folder text goes, which rows a plan
// holds, and which disk a folder lies on.
#include "support/DiskGuard.h"
#include "ntfs/NtfsFileSystem.h"
#include "support/Files.h"
#include "support/NtfsImage.h"

#include "platform/Platform.h"
#include "session/SafeName.h"
#include "session/SavePlan.h"
#include "session/SaveRun.h"
#include "session/SaveTargets.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <sys/sysmacros.h>

using namespace salvix_test;

namespace
{

struct CNameCase
{
    const char* m_pszName;
    ETargetSystem m_eSystem;
    size_t m_nMax;
    const char* m_pszSafe;
};

TEST(SafeName, EveryNameBecomesOneThatCanBeAFile)
{
    const CNameCase kCases[] = {
        {"report.txt", eTargetPosix, 255, "report.txt"},
        {"", eTargetPosix, 255, u8"记录_42"},
        {".", eTargetPosix, 255, "_"},
        {"..", eTargetWindows, 255, "__"},
        {"a/b\\c", eTargetPosix, 255, "a_b_c"},
        {"tab\there\x7F", eTargetPosix, 255, "tab_here_"},
        {"c1\xC2\x85.txt", eTargetPosix, 255, "c1_.txt"},
        // A right-to-left override would show "photo\u202Egnp.exe" as "photoexe.png".
        {u8"photo\u202Egnp.exe", eTargetPosix, 255, "photo_gnp.exe"},
        {u8"a\u2066b\u200Fc", eTargetPosix, 255, "a_b_c"},
        {"a:b?*\"<>|", eTargetPosix, 255, "a:b?*\"<>|"},
        {"a:b?*\"<>|", eTargetWindows, 255, "a_b______"},
        {"CON", eTargetWindows, 255, "_CON"},
        {"nul.txt", eTargetWindows, 255, "_nul.txt"},
        {"COM1", eTargetPosix, 255, "COM1"},
        {"name. ", eTargetWindows, 255, "name__"},
        // Cut to fit, the extension kept; a wide character is never split.
        {"abcdefghij.jpeg", eTargetPosix, 10, "abcde.jpeg"},
        {u8"文件文件.txt", eTargetPosix, 11, u8"文件.txt"},
        {u8"文件文件.txt", eTargetPosix, 12, u8"文件.txt"},
        {u8"文件文件.txt", eTargetWindows, 7, u8"文件文.txt"},
        {"noextension", eTargetPosix, 4, "noex"},
        {"x.averyveryveryverylongextensionthatisnotkept", eTargetPosix, 8, "x.averyv"},
    };
    for (const CNameCase& test : kCases)
    {
        const std::string strSafe = SafeFileName(test.m_pszName, 42, test.m_nMax, test.m_eSystem);
        EXPECT_EQ(strSafe, test.m_pszSafe) << Printable(test.m_pszName);
        EXPECT_EQ(CheckEntryName(strSafe, test.m_eSystem), 0u) << Printable(test.m_pszName);
        EXPECT_LE(NameLength(strSafe, test.m_eSystem), test.m_nMax);
    }
}

TEST(SafeName, NumbersGoBeforeTheExtensionAndFit)
{
    EXPECT_EQ(NumberedName("report.txt", 2, 255), "report (2).txt");
    EXPECT_EQ(NumberedName("archive.tar.gz", 3, 255), "archive.tar (3).gz");
    EXPECT_EQ(NumberedName(".bashrc", 2, 255), ".bashrc (2)");
    EXPECT_EQ(NumberedName("abcdefgh.txt", 12, 14), "abcde (12).txt");
    EXPECT_EQ(NumberedName(u8"季度报告.txt", 2, 14), u8"季度 (2).txt");
}

class SaveTargetsTest : public ::testing::Test
{
protected:
    CTempDir m_dir;
};

TEST_F(SaveTargetsTest, NoNameIsGivenTwiceAndNothingIsReplacedByAMadeUpName)
{
    CSaveTargets targets(m_dir.Path(), 255, 4095, eTargetPosix);
    // A file from before the save: its own name may replace it, a made-up one never.
    ASSERT_TRUE(WriteFileBytes(m_dir.File("a (2).txt"), Bytes(3, 'x')));
    ASSERT_TRUE(WriteFileBytes(m_dir.File("old.txt"), Bytes(3, 'x')));
    ASSERT_TRUE(std::filesystem::create_directory(m_dir.File("dir.txt")));
    struct CCase
    {
        const char* m_pszName;
        const char* m_pszFinal;
    };
    const CCase kCases[] = {
        // "A (2).TXT" is free here, where names keep their case on the disk;
        // "a (2).txt" then counts as given.
        {"a.txt", "a.txt"}, {"A.TXT", "A (2).TXT"}, {"a.txt", "a (3).txt"},
        {"old.txt", "old.txt"}, {"dir.txt", "dir (2).txt"}, {"a/b", "a_b"}, {"a_b", "a_b (2)"},
    };
    for (const CCase& test : kCases)
    {
        std::string strTarget, strFinal;
        ASSERT_EQ(targets.FileTarget(CSaveTargets::kChosen, test.m_pszName, 7, strTarget, strFinal), 0u);
        EXPECT_EQ(strFinal, test.m_pszFinal) << test.m_pszName;
        EXPECT_EQ(strTarget, m_dir.Path() + "/" + test.m_pszFinal);
    }
    // What is never to replace anything passes over a file from before too.
    std::string strTarget, strFinal;
    ASSERT_EQ(targets.FileTarget(CSaveTargets::kChosen, "old.txt", 7, strTarget, strFinal, true), 0u);
    EXPECT_EQ(strFinal, "old (2).txt");
}

TEST_F(SaveTargetsTest, FolderTextsBecomeFoldersMadeSafe)
{
    CSaveTargets targets(m_dir.Path(), 255, 4095, eTargetPosix);
    ASSERT_TRUE(WriteFileBytes(m_dir.File("taken"), Bytes(1, 'x')));
    const std::pair<const char*, const char*> kCases[] = {
        {"\\", ""},
        {u8"\\文档\\2024年", u8"/文档/2024年"},
        {u8"\\文档", u8"/文档"},
        {"?\\", "/_unknown_folder"},
        {"?\\x\\..", "/_unknown_folder/x/__"},
        {"\\taken\\in", "/taken (2)/in"},  // a file of the name is in the way
        {"\\Docs", "/Docs"},
        {"\\docs", "/Docs"},  // one folder where case is ignored
    };
    for (const auto& test : kCases)
    {
        DWORD dwFolder = 0;
        ASSERT_EQ(targets.Folder(test.first, dwFolder), 0u) << test.first;
        EXPECT_EQ(targets.FolderPath(dwFolder), m_dir.Path() + test.second) << test.first;
        EXPECT_TRUE(std::filesystem::is_directory(targets.FolderPath(dwFolder)));
    }
    // A file of a folder's name in the same save goes beside it.
    DWORD dwFolder = 0;
    ASSERT_EQ(targets.Folder("\\", dwFolder), 0u);
    std::string strTarget, strFinal;
    ASSERT_EQ(targets.FileTarget(dwFolder, "Docs", 1, strTarget, strFinal), 0u);
    EXPECT_EQ(strFinal, "Docs (2)");
}

// A store of rows as a scan would hand them over: name, folder, flags.
CRowStore StoreOf(const std::vector<std::tuple<const char*, const char*, DWORD>>& vecRows)
{
    CRowBatch batch;
    std::vector<std::string> vecFolders;
    for (const auto& [pszName, pszFolder, dwFlags] : vecRows)
    {
        auto it = std::find(vecFolders.begin(), vecFolders.end(), pszFolder);
        if (it == vecFolders.end())
            it = vecFolders.insert(vecFolders.end(), pszFolder);
        MFTEntryInfo info = {};
        info.dwFileFlags = dwFlags;
        // A folder's record says so as NTFS's $FILE_NAME flags do.
        AddRecordRow(batch, static_cast<DWORD>(kFirstListedRecord + batch.Size()), info, pszName,
                  static_cast<DWORD>(it - vecFolders.begin()), (dwFlags & 0x10000000u) ? CScanRow::kRowDirectory : 0);
    }
    batch.m_vecNewFolders = vecFolders;
    CRowStore store;
    store.Append(std::move(batch));
    return store;
}

TEST(SavePlan, AFolderRowStandsForItsTreeOnlyWithFolders)
{
    const DWORD kFolder = 0x10000000u;
    const CRowStore store = StoreOf({
        {"Beach", "\\", kFolder},           // 30
        {"sea.jpg", "\\Beach", 0},          // 31
        {"2024", "\\Beach", kFolder},       // 32
        {"sand.jpg", "\\Beach\\2024", 0},   // 33
        {"Beachball.txt", "\\", 0},         // 34: a name that starts alike is not below
        {"other.jpg", "\\Beaches", 0},      // 35: nor is a folder that starts alike
        {"lost.txt", "?\\", 0},             // 36
    });
    const CSavePlan flat(store, {4, 0, 1}, ESaveMode::eFlat);
    EXPECT_EQ(flat.Count(), 2u);
    EXPECT_EQ(flat.Record(0), 34u);
    EXPECT_EQ(flat.Record(1), 31u);
    EXPECT_EQ(flat.FoldersPassedOver(), 1u);

    const CSavePlan folders(store, {3, 0}, ESaveMode::eFolders);
    std::vector<DWORD> vecRecords;
    for (size_t i = 0; i < folders.Count(); ++i)
        vecRecords.push_back(folders.Record(i));
    EXPECT_EQ(vecRecords, (std::vector<DWORD>{33, 30, 31, 32}));
    EXPECT_EQ(folders.FileCount(), 2u);
    EXPECT_TRUE(folders.IsFolder(1));
    EXPECT_FALSE(folders.IsFolder(0));
}

TEST(SavePlan, AMillionRowsCostAFewBytesEach)
{
    CRowBatch batch;
    MFTEntryInfo info = {};
    for (DWORD i = 0; i < 1000000; ++i)
        AddRecordRow(batch, kFirstListedRecord + i, info, "IMG_0001.JPG", 0);
    batch.m_vecNewFolders = {"\\DCIM"};
    CRowStore store;
    store.Append(std::move(batch));
    std::vector<size_t> vecRows(store.Size());
    for (size_t i = 0; i < vecRows.size(); ++i)
        vecRows[i] = i;
    const CSavePlan plan(store, vecRows, ESaveMode::eFlat);
    EXPECT_EQ(plan.Count(), 1000000u);
    EXPECT_LT(plan.MemoryBytes(), 5u * 1000000u);
}

// A sysfs of its own: sda with a partition sda1, and a mapped device over sda2.
class SysfsTree
{
public:
    SysfsTree()
    {
        const std::string strRoot = m_dir.Path();
        Folder("/devices/sda/sda1", {{"dev", "8:1"}, {"partition", "1"}});
        Folder("/devices/sda/sda2", {{"dev", "8:2"}, {"partition", "2"}});
        Folder("/devices/sda", {{"dev", "8:0"}});
        Folder("/devices/sdb", {{"dev", "8:16"}});
        Folder("/devices/dm-0", {{"dev", "253:0"}});
        std::filesystem::create_directories(strRoot + "/devices/dm-0/slaves");
        std::filesystem::create_directory_symlink(strRoot + "/devices/sda/sda2", strRoot + "/devices/dm-0/slaves/sda2");
        std::filesystem::create_directories(strRoot + "/dev/block");
        for (const auto& link : std::vector<std::pair<const char*, const char*>>{
                 {"8:1", "sda/sda1"}, {"8:2", "sda/sda2"}, {"8:0", "sda"}, {"8:16", "sdb"}, {"253:0", "dm-0"}})
            std::filesystem::create_directory_symlink(strRoot + "/devices/" + link.second,
                                                      strRoot + "/dev/block/" + link.first);
        SetSysfsRoot(strRoot);
    }
    ~SysfsTree() { SetSysfsRoot("/sys"); }

private:
    void Folder(const std::string& strPath, const std::vector<std::pair<const char*, const char*>>& vecFiles)
    {
        std::filesystem::create_directories(m_dir.Path() + strPath);
        for (const auto& file : vecFiles)
            WriteFileBytes(m_dir.Path() + strPath + "/" + file.first, Bytes(file.second, file.second + strlen(file.second)));
    }
    CTempDir m_dir;
};

TEST(SameDisk, APartitionAndAMappedDeviceLeadToTheirWholeDisks)
{
    SysfsTree tree;
    const std::pair<std::pair<unsigned, unsigned>, std::vector<std::string>> kCases[] = {
        {{8, 1}, {"8:0"}},            // a partition: its disk
        {{8, 0}, {"8:0"}},            // the disk itself
        {{8, 16}, {"8:16"}},          // another disk
        {{253, 0}, {"253:0", "8:0"}},  // a mapped device, and the disk beneath it
        {{9, 9}, {}},                 // nothing sysfs knows: nothing to tell
    };
    for (const auto& test : kCases)
        EXPECT_EQ(DisksOfDeviceNumber(test.first.first, test.first.second), test.second)
            << test.first.first << ":" << test.first.second;
}

TEST(SameDisk, TheFolderOfTheseTestsAndTheDiskItLiesOn)
{
    // On a machine whose files lie on a block device, that device's disk
    // holds this folder; an image file is never a disk.
    CTempDir folder;
    CScratchFile image;
    EXPECT_TRUE(DisksOfDevice(image.Path()).empty());
    const std::vector<std::string> vecDisks = DisksHoldingFolder(folder.Path());
    if (vecDisks.empty())
        GTEST_SKIP() << "this folder's file system is on no block device";
    const Bytes uevent = ReadFileBytes("/sys/dev/block/" + vecDisks[0] + "/uevent");
    const std::string strUevent(uevent.begin(), uevent.end());
    const size_t nAt = strUevent.find("DEVNAME=");
    if (nAt == std::string::npos || !std::filesystem::exists("/dev/" + strUevent.substr(nAt + 8, strUevent.find('\n', nAt) - nAt - 8)))
        GTEST_SKIP() << "no device node for " << vecDisks[0];
    const std::string strDevice = "/dev/" + strUevent.substr(nAt + 8, strUevent.find('\n', nAt) - nAt - 8);
    EXPECT_EQ(DisksOfDevice(strDevice)[0], vecDisks[0]) << strDevice;
    // The session's first disk is that device: a save into the folder is
    // warned of; the same disk as an image file is not.
    CScanSession session;
    {
        CDiskGuard disk(strDevice);
        EXPECT_TRUE(DestinationOnSourceDisk(session, folder.Path()));
    }
    CDiskGuard disk(image.Path());
    EXPECT_FALSE(DestinationOnSourceDisk(session, folder.Path()));
}

}  // namespace
