// Saving entries of real volumes, compared byte for byte with what The Sleuth
// Kit's icat reads from the same image.
#include "ExtractVolume.h"
#include "support/DiskGuard.h"

#include "disk/Disk.h"
#include "session/SaveEntry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <chrono>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace extract_test;

namespace
{

class SaveEntryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const CExtractVolume& volume = CExtractVolume::Get();
        ASSERT_EQ(volume.m_strError, "");
        ASSERT_EQ(m_drive.Open(volume.m_strDisk, CExtractVolume::kStartSector), 0u);
        m_strOut = NewOutputFolder();
        ASSERT_NE(m_strOut, "");
    }

    const CExtractVolume& Volume() const { return CExtractVolume::Get(); }

    DWORD Save(DWORD dwIndex, const std::string& strFolder)
    {
        return SaveEntry(m_drive.m_drive, m_drive.m_lock, dwIndex, strFolder.c_str());
    }

    // What icat gives for the record: the file's own bytes, its unnamed stream.
    Bytes Expected(DWORD dwIndex) const
    {
        Bytes data;
        EXPECT_TRUE(IcatFileStream(Volume().m_strDisk, CExtractVolume::kStartSector, dwIndex, data))
            << "icat of record " << dwIndex;
        return data;
    }

    static Bytes Saved(const std::string& strPath)
    {
        Bytes data;
        EXPECT_TRUE(ReadFileBytes(strPath, data)) << strPath;
        return data;
    }

    CTestDrive m_drive;
    std::string m_strOut;
};

// A saved file is the file's own bytes: its named streams (a download's
// Zone.Identifier and the like) are never glued to it.
TEST_F(SaveEntryTest, NamedStreamsAreLeftOut)
{
    const DWORD dwIndex = Volume().Index("notes.txt");
    ASSERT_EQ(Save(dwIndex, m_strOut), 0u);
    CIstatInfo info;
    ASSERT_TRUE(Istat(Volume().m_strDisk, CExtractVolume::kStartSector, dwIndex, info));
    ASSERT_EQ(info.m_vecStreams.size(), 3u);
    Bytes unnamed, all;
    ASSERT_TRUE(Icat(Volume().m_strDisk, CExtractVolume::kStartSector,
                     std::to_string(dwIndex) + "-" + info.m_vecStreams[0].m_strId, unnamed));
    ASSERT_TRUE(IcatAllStreams(Volume().m_strDisk, CExtractVolume::kStartSector, dwIndex, all));
    EXPECT_EQ(unnamed.size(), 200u);
    EXPECT_EQ(all.size(), 200u + 6000u + 40u);
    EXPECT_TRUE(Saved(m_strOut + "/notes.txt") == unnamed);
    EXPECT_TRUE(Expected(dwIndex) == unnamed);
}

TEST_F(SaveEntryTest, Latin1NamesBecomeUtf8Names)
{
    ASSERT_EQ(Save(Volume().Index("caf\xE9.txt"), m_strOut), 0u);
    ASSERT_EQ(Save(Volume().Index("M\xFCller \xDF.doc"), m_strOut), 0u);
    EXPECT_EQ(ListFolder(m_strOut), (std::vector<std::string>{u8"Müller ß.doc", u8"café.txt"}));
    EXPECT_TRUE(Saved(m_strOut + u8"/café.txt") == Expected(Volume().Index("caf\xE9.txt")));
}

TEST_F(SaveEntryTest, ALaterSaveOfTheSameNameReplacesTheFileOfAnEarlierOne)
{
    const DWORD dwFirst = Volume().Index("twinA.txt");
    const DWORD dwSecond = Volume().Index("twinB.txt");
    MFTEntryInfo first, second;
    ASSERT_EQ(m_drive.m_drive.GetEntryInfo(dwFirst, first), 0u);
    ASSERT_EQ(m_drive.m_drive.GetEntryInfo(dwSecond, second), 0u);
    ASSERT_STREQ(first.szName, second.szName);

    ASSERT_EQ(Save(dwFirst, m_strOut), 0u);
    EXPECT_EQ(Saved(m_strOut + "/twinA.txt").size(), 100u);
    ASSERT_EQ(Save(dwSecond, m_strOut), 0u);
    EXPECT_EQ(ListFolder(m_strOut), std::vector<std::string>{"twinA.txt"});
    const Bytes saved = Saved(m_strOut + "/twinA.txt");
    EXPECT_EQ(saved.size(), 7000u);
    EXPECT_TRUE(saved == Expected(dwSecond));
}

TEST_F(SaveEntryTest, ReadOnlyEntryIsNotReplacedBySavingItAgain)
{
    const DWORD dwIndex = Volume().Index("readonly.txt");
    const std::string strPath = m_strOut + "/readonly.txt";
    ASSERT_EQ(Save(dwIndex, m_strOut), 0u);
    struct stat st;
    ASSERT_EQ(stat(strPath.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0222, 0u) << "the file keeps write permission";
    const Bytes first = Saved(strPath);
    EXPECT_TRUE(first == Expected(dwIndex));

    EXPECT_EQ(Save(dwIndex, m_strOut), ERROR_ACCESS_DENIED);
    struct stat stAfter;
    ASSERT_EQ(stat(strPath.c_str(), &stAfter), 0);
    EXPECT_EQ(stAfter.st_mode, st.st_mode);
    EXPECT_TRUE(Saved(strPath) == first);
    EXPECT_EQ(ListFolder(m_strOut), std::vector<std::string>{"readonly.txt"});
}

TEST_F(SaveEntryTest, ReplacingAWritableFileWithAReadOnlyEntryMakesItReadOnly)
{
    const DWORD dwIndex = Volume().Index("readonly.txt");
    const std::string strPath = m_strOut + "/readonly.txt";
    ASSERT_TRUE(WriteFileBytes(strPath, Bytes(5000, 'x')));
    ASSERT_EQ(Save(dwIndex, m_strOut), 0u);
    struct stat st;
    ASSERT_EQ(stat(strPath.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0222, 0u) << "the replaced file must carry the entry's read-only flag";
    EXPECT_TRUE(Saved(strPath) == Expected(dwIndex));
}

TEST_F(SaveEntryTest, CreationFlagBitsInTheEntryDoNotLoseTheFile)
{
    // Delete-on-close, no-buffering and overlapped in the entry's flags.
    const DWORD dwIndex = Volume().Index("flagged.txt");
    MFTEntryInfo info;
    ASSERT_EQ(m_drive.m_drive.GetEntryInfo(dwIndex, info), 0u);
    ASSERT_NE(info.dwFileFlags & FILE_FLAG_DELETE_ON_CLOSE, 0u);
    ASSERT_EQ(Save(dwIndex, m_strOut), 0u);
    struct stat st;
    ASSERT_EQ(stat((m_strOut + "/flagged.txt").c_str(), &st), 0);
    EXPECT_NE(st.st_mode & 0200, 0u);
    EXPECT_TRUE(Saved(m_strOut + "/flagged.txt") == Expected(dwIndex));
}

TEST_F(SaveEntryTest, AnEmptyFileIsMadeAFolderIsNot)
{
    ASSERT_EQ(Save(Volume().Index("empty.dat"), m_strOut), 0u);
    // Record 11 is the $Extend folder: a directory, never written as a file.
    MFTEntryInfo info;
    ASSERT_EQ(m_drive.m_drive.GetEntryInfo(11, info), 0u);
    ASSERT_STREQ(info.szName, "$Extend");
    EXPECT_EQ(Save(11, m_strOut), DWORD(ERROR_DIRECTORY_NOT_SUPPORTED));
    EXPECT_EQ(ListFolder(m_strOut), std::vector<std::string>{"empty.dat"});
    EXPECT_TRUE(Saved(m_strOut + "/empty.dat").empty());
}

// A folder of exactly nLength bytes below strBase, made of nested folders.
std::string FolderOfLength(const std::string& strBase, size_t nLength)
{
    std::string strFolder = strBase;
    while (strFolder.size() + 1 < nLength)
    {
        const size_t nLeft = nLength - strFolder.size();
        // a separator and at least one byte; never leave a single byte over
        const size_t nPart = nLeft <= 101 ? nLeft - 1 : std::min<size_t>(100, nLeft - 3);
        strFolder += "/" + std::string(nPart, 'd');
    }
    return strFolder;
}

TEST_F(SaveEntryTest, ANameIsCutToFitThePathKeepingItsExtension)
{
    // "small.txt" is 9 bytes: 4085 + 1 + 9 = 4095, the longest path the system takes.
    const std::string strFits = FolderOfLength(m_strOut, 4085);
    ASSERT_EQ(strFits.size(), 4085u);
    ASSERT_TRUE(std::filesystem::create_directories(strFits));
    EXPECT_EQ(Save(Volume().Index("small.txt"), strFits), 0u);
    EXPECT_EQ(ListFolder(strFits), std::vector<std::string>{"small.txt"});

    // One byte less room: the stem gives it up.
    const std::string strShorter = FolderOfLength(m_strOut + "/x", 4086);
    ASSERT_TRUE(std::filesystem::create_directories(strShorter));
    EXPECT_EQ(Save(Volume().Index("small.txt"), strShorter), 0u);
    EXPECT_EQ(ListFolder(strShorter), std::vector<std::string>{"smal.txt"});
    EXPECT_TRUE(Saved(strShorter + "/smal.txt") == Expected(Volume().Index("small.txt")));

    // No room for even a short name: refused, nothing written.
    const std::string strNoRoom = FolderOfLength(m_strOut + "/y", 4089);
    ASSERT_TRUE(std::filesystem::create_directories(strNoRoom));
    EXPECT_EQ(Save(Volume().Index("small.txt"), strNoRoom), DWORD(ERROR_FILENAME_EXCED_RANGE));
    EXPECT_TRUE(ListFolder(strNoRoom).empty());
}

TEST_F(SaveEntryTest, WhatStandsInTheWayIsNeverWrittenThrough)
{
    const DWORD dwIndex = Volume().Index("victim.txt");
    const std::string strSandbox = m_strOut;
    const std::string strFolder = strSandbox + "/chosen";
    const std::string strTarget = strFolder + "/victim.txt";
    const std::string strAside = strFolder + "/victim (2).txt";
    ASSERT_TRUE(std::filesystem::create_directory(strFolder));
    const Bytes outside = PseudoRandomBytes(333, 99);
    ASSERT_TRUE(WriteFileBytes(strSandbox + "/outside.txt", outside));

    // Each thing in the way stays as it is; the file goes beside it.
    struct CCase
    {
        const char* m_pszWhat;
        std::function<bool()> m_fnMake;
    };
    const CCase kCases[] = {
        {"a link to a file outside", [&] { return symlink("../outside.txt", strTarget.c_str()) == 0; }},
        {"a link to nothing yet", [&] { return symlink("../created.txt", strTarget.c_str()) == 0; }},
        {"a pipe, which would block the write", [&] { return mkfifo(strTarget.c_str(), 0644) == 0; }},
        {"a folder", [&] { return std::filesystem::create_directory(strTarget); }},
    };
    for (const CCase& test : kCases)
    {
        SCOPED_TRACE(test.m_pszWhat);
        ASSERT_TRUE(test.m_fnMake());
        struct stat stBefore;
        ASSERT_EQ(lstat(strTarget.c_str(), &stBefore), 0);
        EXPECT_EQ(Save(dwIndex, strFolder), 0u);
        EXPECT_TRUE(Saved(strAside) == Expected(dwIndex));
        struct stat stAfter;
        ASSERT_EQ(lstat(strTarget.c_str(), &stAfter), 0);
        EXPECT_EQ(stBefore.st_mode, stAfter.st_mode);
        EXPECT_TRUE(Saved(strSandbox + "/outside.txt") == outside);
        EXPECT_FALSE(std::filesystem::exists(strSandbox + "/created.txt"));
        std::error_code ec;
        std::filesystem::remove(strTarget, ec);
        std::filesystem::remove(strAside, ec);
    }
    EXPECT_EQ(ListFolder(strSandbox), (std::vector<std::string>{"chosen", "outside.txt"}));
    // With the way clear the same entry is saved under its own name.
    EXPECT_EQ(Save(dwIndex, strFolder), 0u);
    EXPECT_TRUE(Saved(strTarget) == Expected(dwIndex));
}

TEST_F(SaveEntryTest, MissingFolderIsReportedAndNotCreated)
{
    const std::string strMissing = m_strOut + "/not-there";
    EXPECT_EQ(Save(Volume().Index("small.txt"), strMissing), ERROR_PATH_NOT_FOUND);
    EXPECT_TRUE(ListFolder(m_strOut).empty());
    EXPECT_EQ(Save(Volume().Index("small.txt"), ""), ERROR_PATH_NOT_FOUND);
}

TEST_F(SaveEntryTest, SaveWaitsForTheDriveLock)
{
    // While another user of the drive holds the lock, the save does not touch it.
    std::unique_lock<std::mutex> holder(m_drive.m_lock);
    std::atomic<bool> bDone{false};
    DWORD dwResult = 0xFFFFFFFF;
    std::thread saver([&] {
        dwResult = Save(Volume().Index("photo.jpg"), m_strOut);
        bDone = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_FALSE(bDone.load());
    EXPECT_TRUE(ListFolder(m_strOut).empty());
    holder.unlock();
    saver.join();
    EXPECT_EQ(dwResult, 0u);
    EXPECT_EQ(ListFolder(m_strOut), std::vector<std::string>{"photo.jpg"});
}

TEST_F(SaveEntryTest, SavingWhileAScanWalksTheSameDrive)
{
    // A walker like the scan's, taking the lock for each question.
    std::atomic<bool> bStop{false};
    std::atomic<unsigned> nWalked{0};
    std::thread walker([&] {
        while (!bStop)
        {
            for (DWORD dwIndex = 30; !bStop; ++dwIndex)
            {
                MFTEntryInfo info;
                std::lock_guard<std::mutex> lock(m_drive.m_lock);
                if (m_drive.m_drive.GetEntryInfo(dwIndex, info) == ERROR_NO_MORE_FILES)
                    break;
                ++nWalked;
            }
        }
    });
    while (nWalked == 0)
        std::this_thread::yield();
    const char* const kNames[] = {"photo.jpg", "notes.txt", "small.txt", "M\xFCller \xDF.doc"};
    for (int nRound = 0; nRound < 5; ++nRound)
        for (const char* pszName : kNames)
            EXPECT_EQ(Save(Volume().Index(pszName), m_strOut), 0u) << pszName;
    const unsigned nDuring = nWalked.load();
    bStop = true;
    walker.join();
    EXPECT_GT(nDuring, 1u);
    EXPECT_TRUE(Saved(m_strOut + "/photo.jpg") == Expected(Volume().Index("photo.jpg")));
    EXPECT_TRUE(Saved(m_strOut + "/notes.txt") == Expected(Volume().Index("notes.txt")));
    EXPECT_TRUE(Saved(m_strOut + u8"/Müller ß.doc") ==
                Expected(Volume().Index("M\xFCller \xDF.doc")));
}

TEST(SaveEntrySource, TheDiskIsNeverWritten)
{
    const CExtractVolume& volume = CExtractVolume::Get();
    ASSERT_EQ(volume.m_strError, "");
    Bytes before;
    ASSERT_TRUE(ReadFileBytes(volume.m_strDisk, before));
    // An old time stamp, so that any write would show.
    ASSERT_TRUE(AgeFile(volume.m_strDisk));
    const long long n64MTime = FileWriteTime(volume.m_strDisk);

    CDiskGuard disk(volume.m_strDisk);
    CTestDrive drive;
    HANDLE hDisk = OpenFirstDisk();
    ASSERT_NE(hDisk, INVALID_HANDLE_VALUE);
    ASSERT_EQ(drive.OpenOn(hDisk, CExtractVolume::kStartSector), 0u);
    const std::string strOut = NewOutputFolder();
    for (const std::string& strName : volume.m_vecPlainNames)
        EXPECT_EQ(SaveEntry(drive.m_drive, drive.m_lock, volume.Index(strName), strOut.c_str()), 0u)
            << strName;
    // Saved into the image's own folder, the entry named like the image goes beside it.
    EXPECT_EQ(SaveEntry(drive.m_drive, drive.m_lock, volume.Index("disk.img"), volume.m_strFolder.c_str()), 0u);
    EXPECT_EQ(ReadFileBytes(volume.m_strFolder + "/disk (2).img").size(), 64u);
    std::filesystem::remove(volume.m_strFolder + "/disk (2).img");

    Bytes after;
    ASSERT_TRUE(ReadFileBytes(volume.m_strDisk, after));
    EXPECT_TRUE(before == after);
    EXPECT_EQ(FileWriteTime(volume.m_strDisk), n64MTime);
}

}  // namespace
