// Saving the files of the feature layouts through the scan session, as the
// program does: compressed files expanded, files spread over several records
// joined, a sparse file of 5 GiB written as a sparse file of 5 GiB; each
// saved file against the checksum the manifest holds (what icat reads), the
// damaged ones refused with nothing left behind, and a cancel that removes
// the file it did not finish.
#include "RealTestSupport.h"
#include "support/DiskGuard.h"
#include "support/ScanSink.h"

#include "session/SafeName.h"
#include "session/SaveRun.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <set>
#include <sys/stat.h>

using namespace salvix_test;

namespace
{

// The checksum of a saved file, read in pieces; or of its bytes in
// [n64From, n64To) only.
std::string FileCksum(const std::string& strPath, uint64_t n64From = 0, uint64_t n64To = ~0ull)
{
    FILE* pFile = fopen(strPath.c_str(), "rb");
    if (!pFile)
        return "missing";
    CCksum sum;
    std::vector<uint8_t> vec(1 << 20);
    fseeko(pFile, static_cast<off_t>(n64From), SEEK_SET);
    uint64_t n64At = n64From;
    size_t n;
    while (n64At < n64To && (n = fread(vec.data(), 1, std::min<uint64_t>(vec.size(), n64To - n64At), pFile)) > 0)
    {
        sum.Update(vec.data(), n);
        n64At += n;
    }
    fclose(pFile);
    return CksumText(sum);
}

std::string LeafOf(const std::string& strPath)
{
    return strPath.substr(strPath.rfind('/') + 1);
}

class LayoutSaveTest : public ::testing::Test
{
protected:
    // The session opened on the bare volume of a layout, and a new output folder.
    void Open(const char* pszLayout)
    {
        m_strVolume = LayoutPath(pszLayout);
        m_disk.Set(m_strVolume);
        CCollectingSink sink;
        ASSERT_EQ(0u, sink.Scan(m_session, 0));
        EXPECT_TRUE(sink.m_vecErrors.empty());
        m_pOut = std::make_unique<CTempDir>();
        m_strOut = m_pOut->Path();
    }
    // A folder of its own for record dwRecord, as names repeat across records.
    std::string FolderFor(DWORD dwRecord)
    {
        const std::string strFolder = m_strOut + "/" + std::to_string(dwRecord);
        std::filesystem::create_directory(strFolder);
        return strFolder;
    }

    CDiskGuard m_disk{std::string()};
    CScanSession m_session;
    std::string m_strVolume;
    std::unique_ptr<CTempDir> m_pOut;
    std::string m_strOut;
};

}  // namespace

TEST_F(LayoutSaveTest, CompressedAndListedFilesComeBackWhole)
{
    int nSaved = 0;
    for (const char* pszLayout : {"compressed", "attrlist", "hardlinks"})
    {
        SCOPED_TRACE(pszLayout);
        Open(pszLayout);
        // A stream's bytes follow its file's in the save, so files with named
        // streams are left to the reader's tests, which compare stream by stream.
        std::set<DWORD> setWithStreams;
        for (const auto& [strKey, note] : ReadManifest(m_strVolume))
            if (note.m_strPath.find(':') != std::string::npos || strKey.find("stream") != std::string::npos)
                setWithStreams.insert(note.m_dwRecord);
        for (const auto& [strKey, note] : ReadManifest(m_strVolume))
        {
            if (note.m_strCksum == "-" || setWithStreams.count(note.m_dwRecord) ||
                strKey.find(".ext") != std::string::npos)
                continue;
            const std::string strFolder = FolderFor(note.m_dwRecord);
            // A long NTFS name of accented letters is more than the 255
            // bytes a name may have here: it is cut to fit.
            const std::string strName = SafeFileName(LeafOf(note.m_strPath), note.m_dwRecord, 255);
            EXPECT_LE(strName.size(), 255u);
            ASSERT_EQ(0u, m_session.SaveEntry(note.m_dwRecord, strFolder)) << strKey;
            EXPECT_EQ(note.m_strCksum, FileCksum(strFolder + "/" + strName)) << strKey;
            ++nSaved;
        }
    }
    EXPECT_GE(nSaved, 10);
}

TEST_F(LayoutSaveTest, BrokenAttributeListsAreRefusedAndLeaveNothing)
{
    Open("attrlist");
    for (const char* pszKey : {"attrlist.bad_backref", "attrlist.bad_sequence", "attrlist.bad_unused",
                               "attrlist.bad_beyond", "attrlist.bad_loop"})
    {
        const CNoted note = ReadManifest(m_strVolume).at(pszKey);
        const std::string strFolder = FolderFor(note.m_dwRecord);
        EXPECT_EQ(ERROR_FILE_CORRUPT, m_session.SaveEntry(note.m_dwRecord, strFolder)) << pszKey;
        EXPECT_EQ("missing", FileCksum(strFolder + "/" + LeafOf(note.m_strPath))) << pszKey;
    }
}

TEST_F(LayoutSaveTest, FiveGiBSparseFileIsSavedWholeAsASparseFile)
{
    Open("large");
    const CNoted note = ReadManifest(m_strVolume).at("large.sparse_5g");
    const std::string strFolder = FolderFor(note.m_dwRecord);
    ASSERT_EQ(0u, m_session.SaveEntry(note.m_dwRecord, strFolder));
    const std::string strSaved = strFolder + "/" + LeafOf(note.m_strPath);
    struct stat st;
    ASSERT_EQ(0, stat(strSaved.c_str(), &st));
    EXPECT_EQ(5368709120, st.st_size);
    EXPECT_LT(static_cast<uint64_t>(st.st_blocks) * 512, 64ull << 20) << "the holes stay holes";
    // Its data at both ends and in the middle: the allocated clusters, in order.
    CCksum sum;
    std::vector<uint8_t> vec;
    for (const auto& [n64From, n64Length] : std::vector<std::pair<uint64_t, uint64_t>>{
             {0, 1 << 20}, {2684354560ull, 256 << 10}, {5368709120ull - (1 << 20), 1 << 20}})
    {
        FILE* pFile = fopen(strSaved.c_str(), "rb");
        ASSERT_NE(nullptr, pFile);
        vec.resize(n64Length);
        fseeko(pFile, static_cast<off_t>(n64From), SEEK_SET);
        ASSERT_EQ(n64Length, fread(vec.data(), 1, vec.size(), pFile));
        fclose(pFile);
        sum.Update(vec);
    }
    EXPECT_EQ(ReadManifest(m_strVolume).at("large.sparse_5g.allocated").m_strCksum, CksumText(sum));
}

TEST_F(LayoutSaveTest, CancelRemovesTheUnfinishedFileAndKeepsTheFinishedOnes)
{
    Open("large");
    const CNoted big = ReadManifest(m_strVolume).at("large.sparse_5g");
    // A small file of the volume's own ($Boot, record 7), then the big one.
    CSaveRun run(m_session, CSavePlan({7, big.m_dwRecord}, ESaveMode::eFlat), m_strOut);
    CSaveRun::EStep eStep = CSaveRun::EStep::eMore;
    while (eStep == CSaveRun::EStep::eMore && run.Report().Saved() == 0)
        eStep = run.Step(1000);
    // Between the two the one just finished is shown, never an empty name.
    EXPECT_EQ("$Boot", run.Name());
    EXPECT_NE(std::string::npos, run.ProgressText().find("$Boot (1/2)"));
    EXPECT_GT(run.BytesDone(), 0u);
    while (eStep == CSaveRun::EStep::eMore && (run.Name() != LeafOf(big.m_strPath) || run.BytesDone() == 0))
        eStep = run.Step(1000);
    ASSERT_EQ(CSaveRun::EStep::eMore, eStep);
    EXPECT_EQ(1u, run.Report().Saved());
    EXPECT_EQ(LeafOf(big.m_strPath), run.Name());
    EXPECT_NE(std::string::npos, run.ProgressText().find(LeafOf(big.m_strPath)));
    const std::string strPartial = m_strOut + "/" + LeafOf(big.m_strPath);
    EXPECT_NE("missing", FileCksum(strPartial, 0, 1));
    run.Cancel();
    EXPECT_EQ(CSaveRun::EStep::eCancelled, run.Step(1000));
    EXPECT_EQ("missing", FileCksum(strPartial));
    EXPECT_NE("missing", FileCksum(m_strOut + "/$Boot"));
}
