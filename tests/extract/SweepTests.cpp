// Every record of volumes made by the project's volume tools and of a public
// image, saved one by one and compared with The Sleuth Kit's reading of the
// same record: resident, non-resident, fragmented, sparse, deleted, named
// streams, directories, long, Latin-1 and wider names.
#include "ExtractVolume.h"
#include "support/Process.h"
#include "support/TestData.h"

#include "session/SafeName.h"
#include "session/SaveEntry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <unistd.h>

using namespace extract_test;

namespace
{

// What the records saved and compared with icat's bytes were.
struct CSweepCounts
{
    unsigned m_nCompared = 0;
    unsigned m_nDeleted = 0;         // not in use
    unsigned m_nDeletedOutside = 0;  // not in use, data outside the record
    unsigned m_nResident = 0;        // one stream, inside the record
    unsigned m_nFragmented = 0;      // first outside stream in several pieces
    unsigned m_nSparse = 0;          // first outside stream with a hole
    unsigned m_nStreams = 0;         // more than one stream
    unsigned m_nFolders = 0;         // directories: never saved as files
    unsigned m_nLatin1 = 0;          // names with bytes above 0x7F
    unsigned m_nSafeName = 0;        // saved under a safe name made from their own
    std::vector<std::string> m_vecCompared;  // names saved and compared
};

void Count(const CIstatInfo& info, const MFTEntryInfo& entry, CSweepCounts& counts)
{
    ++counts.m_nCompared;
    const bool bOutside = std::any_of(info.m_vecStreams.begin(), info.m_vecStreams.end(),
                                      [](const CDataStream& s) { return !s.m_bResident; });
    counts.m_nDeleted += entry.bNotInUse;
    counts.m_nDeletedOutside += entry.bNotInUse && bOutside;
    counts.m_nResident += info.m_vecStreams.size() == 1 && !bOutside;
    counts.m_nFragmented += info.m_nRuns >= 2;
    // Cluster 0 holds the boot sector: the Sleuth Kit lists a hole as 0.
    counts.m_nSparse += std::count(info.m_vecClusters.begin(), info.m_vecClusters.end(), 0ull) > 0;
    counts.m_nStreams += info.m_vecStreams.size() > 1;
    for (const char* p = entry.szName; *p; ++p)
        if (static_cast<unsigned char>(*p) >= 0x80)
        {
            ++counts.m_nLatin1;
            break;
        }
}

// Saves records [dwFirst, dwEnd) (to the end of the table when dwEnd is 0)
// one at a time into an empty folder and checks each result.
void Sweep(const std::string& strImage, DWORD dwStartSector, DWORD dwFirst, DWORD dwEnd,
           CSweepCounts& counts)
{
    CTestDrive drive;
    ASSERT_EQ(drive.Open(strImage, dwStartSector), 0u);
    if (dwEnd == 0)
        dwEnd = drive.m_drive.GetRecordCount();
    ASSERT_GT(dwEnd, dwFirst);

    // A short folder, so that long names still fit in the path.
    const CTempDir folder;
    const std::string& strFolder = folder.Path();
    ASSERT_FALSE(strFolder.empty());

    for (DWORD dwIndex = dwFirst; dwIndex < dwEnd; ++dwIndex)
    {
        SCOPED_TRACE("record " + std::to_string(dwIndex));
        MFTEntryInfo info;
        MFTEntryDetails details;
        const DWORD dwInfo = drive.m_drive.GetEntryDetails(dwIndex, info, details);
        const DWORD dwSaved = SaveEntry(drive.m_drive, drive.m_lock, dwIndex, strFolder.c_str());
        const std::vector<std::string> vecFiles = ListFolder(strFolder);
        if (dwInfo != 0)
        {
            EXPECT_EQ(dwSaved, dwInfo);
            EXPECT_TRUE(vecFiles.empty());
            continue;
        }
        if (details.bDirectory)
        {
            EXPECT_EQ(dwSaved, DWORD(ERROR_DIRECTORY_NOT_SUPPORTED)) << details.strName;
            EXPECT_TRUE(vecFiles.empty());
            ++counts.m_nFolders;
            continue;
        }
        // A name no file may have is saved under one made from it.
        const std::string strName = SafeFileName(details.strName, dwIndex, 255);
        counts.m_nSafeName += strName != details.strName;
        EXPECT_EQ(dwSaved, 0u) << strName;
        ASSERT_EQ(vecFiles, std::vector<std::string>{strName});
        Bytes saved, expected;
        CIstatInfo istat;
        ASSERT_TRUE(ReadFileBytes(strFolder + "/" + strName, saved));
        ASSERT_TRUE(Istat(strImage, dwStartSector, dwIndex, istat));
        ASSERT_TRUE(IcatFileStream(strImage, dwStartSector, dwIndex, expected));
        EXPECT_EQ(saved.size(), expected.size()) << strName;
        EXPECT_TRUE(saved == expected) << strName;
        Count(istat, info, counts);
        counts.m_vecCompared.push_back(strName);
        ASSERT_EQ(unlink((strFolder + "/" + strName).c_str()), 0);
    }
}

std::string WorkFolder()
{
    const CExtractVolume& volume = CExtractVolume::Get();
    return volume.m_strFolder.empty() ? std::string() : MakeTempFolder(volume.m_strFolder + "/sweep");
}

TEST(SaveSweep, TestVolumeOfTheVolumeTool)
{
    const std::string strWork = WorkFolder();
    ASSERT_NE(strWork, "");
    const std::string strDisk = strWork + "/test.img";
    ASSERT_TRUE(RunProcess({SALVIX_MKVOLUME, "--disk", "2048", strDisk}).Ok());

    CSweepCounts counts;
    Sweep(strDisk, 2048, 30, 0, counts);
    // Every kind of record was among those compared.
    EXPECT_GE(counts.m_nCompared, 150u);
    EXPECT_GE(counts.m_nDeleted, 10u);
    EXPECT_GE(counts.m_nDeletedOutside, 3u);
    EXPECT_GE(counts.m_nResident, 10u);
    EXPECT_GE(counts.m_nFragmented, 3u);
    EXPECT_GE(counts.m_nSparse, 2u);
    EXPECT_GE(counts.m_nStreams, 2u);
    EXPECT_GE(counts.m_nFolders, 5u);
    EXPECT_GE(counts.m_nLatin1, 3u);
    EXPECT_GE(counts.m_nSafeName, 30u);  // the formatted, unnamed records 30 to 63
}

TEST(SaveSweep, DeletedFilesOfTheSampleDisk)
{
    const std::string strWork = WorkFolder();
    ASSERT_NE(strWork, "");
    const std::string strDisk = strWork + "/sample.img";
    ASSERT_TRUE(RunProcess({SALVIX_MKSAMPLE, strDisk}).Ok());

    // The NTFS partitions, where mmls sees them.
    std::vector<CMmlsRow> vecRows;
    ASSERT_TRUE(Mmls(strDisk, {}, vecRows));
    std::vector<DWORD> vecStarts;
    for (const CMmlsRow& row : vecRows)
        if (row.m_strDescription.find("NTFS") != std::string::npos)
            vecStarts.push_back(static_cast<DWORD>(row.m_n64Start));
    ASSERT_EQ(vecStarts.size(), 2u);

    unsigned nDeleted = 0;
    for (DWORD dwStart : vecStarts)
    {
        SCOPED_TRACE("partition at " + std::to_string(dwStart));
        CSweepCounts counts;
        Sweep(strDisk, dwStart, 30, 0, counts);
        EXPECT_GE(counts.m_nCompared, 5u);
        nDeleted += counts.m_nDeleted;
    }
    EXPECT_GE(nDeleted, 8u);
}

TEST(SaveSweep, PublicImageWithASparseFile)
{
    const std::string strWork = WorkFolder();
    ASSERT_NE(strWork, "");
    SALVIX_SKIP_WITHOUT_TESTDATA(SALVIX_TESTDATA_DIR "/testfs1.bin.gz");
    const std::string strImage = strWork + "/testfs1.img";
    const CProcessResult gzip = RunProcess({"gzip", "-dc", SALVIX_TESTDATA_DIR "/testfs1.bin.gz"});
    ASSERT_TRUE(gzip.Ok()) << gzip.m_strErrors;
    ASSERT_TRUE(WriteFileBytes(strImage, Bytes(gzip.m_strOutput.begin(), gzip.m_strOutput.end())));

    // 64 empty-file, 65 file-with-12345, 66 1000-bytes-file, 67 sparse-file,
    // 68 many_subdirs (a folder).
    CSweepCounts counts;
    Sweep(strImage, 0, 64, 69, counts);
    EXPECT_EQ(counts.m_vecCompared,
              (std::vector<std::string>{"empty-file", "file-with-12345", "1000-bytes-file", "sparse-file"}));
    EXPECT_EQ(counts.m_nFolders, 1u);
    EXPECT_EQ(counts.m_nSparse, 1u);
    Bytes sparse;
    ASSERT_TRUE(Icat(strImage, 0, "67", sparse));
    EXPECT_EQ(sparse.size(), 500005u);
}

}  // namespace
