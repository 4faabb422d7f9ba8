// Names patched into the volume's records that must never reach the file
// system: each save is refused and nothing appears inside or outside the
// chosen folder.
#include "ExtractVolume.h"
#include "session/SaveEntry.h"

#include <gtest/gtest.h>

using namespace extract_test;

namespace
{

TEST(HostileNames, AreRefusedAndNothingIsWritten)
{
    const CExtractVolume& volume = CExtractVolume::Get();
    ASSERT_EQ(volume.m_strError, "");
    CTestDrive drive;
    ASSERT_EQ(drive.Open(volume.m_strDisk, CExtractVolume::kStartSector), 0u);
    ASSERT_EQ(volume.m_mapHostile.size(), 11u);

    for (const auto& hostile : volume.m_mapHostile)
    {
        SCOPED_TRACE(hostile.first);
        const DWORD dwIndex = volume.Index(hostile.first);
        MFTEntryInfo info;
        ASSERT_EQ(drive.m_drive.GetEntryInfo(dwIndex, info), 0u);
        // The drive hands over the patched name as far as its rule goes.
        ASSERT_EQ(std::string(info.szName), NameBytes(hostile.second));

        const std::string strSandbox = NewOutputFolder();
        const std::string strFolder = strSandbox + "/chosen";
        ASSERT_TRUE(std::filesystem::create_directories(strFolder + "/a"));  // so "a/b" would have somewhere to go
        EXPECT_EQ(SaveEntry(drive.m_drive, drive.m_lock, dwIndex, strFolder.c_str()),
                  ERROR_INVALID_NAME);
        EXPECT_EQ(ListFolder(strSandbox), std::vector<std::string>{"chosen"});
        EXPECT_EQ(ListFolder(strFolder), std::vector<std::string>{"a"});
        EXPECT_TRUE(ListFolder(strFolder + "/a").empty());
    }
}

TEST(HostileNames, RecordsWithoutANameAreRefused)
{
    const CExtractVolume& volume = CExtractVolume::Get();
    ASSERT_EQ(volume.m_strError, "");
    CTestDrive drive;
    ASSERT_EQ(drive.Open(volume.m_strDisk, CExtractVolume::kStartSector), 0u);
    const std::string strSandbox = NewOutputFolder();
    const std::string strFolder = strSandbox + "/chosen";
    ASSERT_TRUE(std::filesystem::create_directory(strFolder));

    // Record 5 is the root folder, named "."; record 30 is formatted but
    // holds no file, so it has no name at all.
    MFTEntryInfo info;
    ASSERT_EQ(drive.m_drive.GetEntryInfo(5, info), 0u);
    ASSERT_STREQ(info.szName, ".");
    EXPECT_EQ(SaveEntry(drive.m_drive, drive.m_lock, 5, strFolder.c_str()), ERROR_INVALID_NAME);
    ASSERT_EQ(drive.m_drive.GetEntryInfo(30, info), 0u);
    ASSERT_STREQ(info.szName, "");
    EXPECT_EQ(SaveEntry(drive.m_drive, drive.m_lock, 30, strFolder.c_str()), ERROR_INVALID_NAME);

    EXPECT_EQ(ListFolder(strSandbox), std::vector<std::string>{"chosen"});
    EXPECT_TRUE(ListFolder(strFolder).empty());
}

}  // namespace
