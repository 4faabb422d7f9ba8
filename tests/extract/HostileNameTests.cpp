// Names patched into the volume's records that must never reach the file
// system as they are: each entry is saved under a safe name made from its own,
// with icat's bytes, and nothing appears outside the chosen folder.
#include "ExtractVolume.h"
#include "session/SaveEntry.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace extract_test;

namespace
{

TEST(HostileNames, AreSavedUnderSafeNamesInsideTheFolder)
{
    const CExtractVolume& volume = CExtractVolume::Get();
    ASSERT_EQ(volume.m_strError, "");
    CTestDrive drive;
    ASSERT_EQ(drive.Open(volume.m_strDisk, CExtractVolume::kStartSector), 0u);
    ASSERT_EQ(volume.m_mapHostile.size(), 11u);
    // What each name becomes: separators, controls and lone dots made '_'.
    const std::map<std::string, std::string> mapSafe = {
        {"hostile01.txt", "__"},       {"hostile02.txt", "_"},         {"hostile03.txt", "a_b"},
        {"hostile04.txt", ".._x"},     {"hostile05.txt", "a_b"},       {"hostile07.txt", ".._up.txt"},
        {"hostile08.txt", "a_b"},      {"hostile09.txt", "a_b"},       {"hostile10.txt", u8"中_.._x"},
        {"hostile11.txt", ".._up.txt"},
        {"hostile06.txt", u8"记录_" + std::to_string(volume.Index("hostile06.txt"))},
    };
    for (const auto& hostile : volume.m_mapHostile)
    {
        SCOPED_TRACE(hostile.first);
        const DWORD dwIndex = volume.Index(hostile.first);
        MFTEntryInfo info;
        ASSERT_EQ(drive.m_drive.GetEntryInfo(dwIndex, info), 0u);
        ASSERT_EQ(std::string(info.szName), NameBytes(hostile.second));

        const std::string strSandbox = NewOutputFolder();
        const std::string strFolder = strSandbox + "/chosen";
        ASSERT_TRUE(std::filesystem::create_directories(strFolder + "/a"));  // so "a/b" would have somewhere to go
        EXPECT_EQ(SaveEntry(drive.m_drive, drive.m_lock, dwIndex, strFolder.c_str()), 0u);
        EXPECT_EQ(ListFolder(strSandbox), std::vector<std::string>{"chosen"});
        std::vector<std::string> vecWanted = {"a", mapSafe.at(hostile.first)};
        std::sort(vecWanted.begin(), vecWanted.end());
        EXPECT_EQ(ListFolder(strFolder), vecWanted);
        EXPECT_TRUE(ListFolder(strFolder + "/a").empty());
        Bytes saved, expected;
        ASSERT_TRUE(ReadFileBytes(strFolder + "/" + mapSafe.at(hostile.first), saved));
        ASSERT_TRUE(IcatFileStream(volume.m_strDisk, CExtractVolume::kStartSector, dwIndex, expected));
        EXPECT_TRUE(saved == expected);
    }
}

TEST(HostileNames, AFolderIsNoFileAndANamelessRecordGetsItsNumber)
{
    const CExtractVolume& volume = CExtractVolume::Get();
    ASSERT_EQ(volume.m_strError, "");
    CTestDrive drive;
    ASSERT_EQ(drive.Open(volume.m_strDisk, CExtractVolume::kStartSector), 0u);
    const std::string strFolder = NewOutputFolder();

    // Record 5 is the root folder, named "."; record 30 is formatted but
    // holds no file, so it has no name at all.
    MFTEntryInfo info;
    ASSERT_EQ(drive.m_drive.GetEntryInfo(5, info), 0u);
    ASSERT_STREQ(info.szName, ".");
    EXPECT_EQ(SaveEntry(drive.m_drive, drive.m_lock, 5, strFolder.c_str()), DWORD(ERROR_DIRECTORY_NOT_SUPPORTED));
    ASSERT_EQ(drive.m_drive.GetEntryInfo(30, info), 0u);
    ASSERT_STREQ(info.szName, "");
    EXPECT_EQ(SaveEntry(drive.m_drive, drive.m_lock, 30, strFolder.c_str()), 0u);
    EXPECT_EQ(ListFolder(strFolder), std::vector<std::string>{u8"记录_30"});
}

}  // namespace
