// A disk this project did not make: the Digital Forensics Tool Testing image
// of six FAT16 volumes formatted by Windows ("MSDOS5.0" in their boot
// sectors), three primaries and three logicals behind an extended boot
// record edited by hand. Each volume lists what fls names, under its name,
// folder and mark, and saves what icat reads.
#include "SleuthFat.h"

#include "session/SaveRun.h"
#include "support/DiskGuard.h"
#include "support/Files.h"
#include "support/Process.h"
#include "support/SaveRunner.h"
#include "support/ScanSink.h"
#include "support/SleuthKit.h"
#include "support/TestData.h"

using namespace salvix_test;

TEST(PublicFatDisk, EveryVolumeListsWhatFlsNamesAndSavesWhatIcatReads)
{
    const std::string strZip = std::string(SALVIX_TESTDATA_DIR) + "/dftt1-extend-part.zip";
    SALVIX_SKIP_WITHOUT_TESTDATA(strZip);
    CTempDir dir;
    const CProcessResult unzip =
        RunProcess({"unzip", "-q", "-o", "-j", strZip, "1-extend-part/ext-part-test-2.dd", "-d", dir.Path()});
    ASSERT_TRUE(unzip.Ok()) << unzip.m_strErrors;
    const std::string strImage = dir.File("ext-part-test-2.dd");
    CDiskGuard guard(strImage);

    size_t nSaved = 0;
    for (const DWORD dwSector : {63u, 52416u, 104832u, 157311u, 209727u, 262143u})
    {
        SCOPED_TRACE(dwSector);
        std::vector<CFlsEntry> vecFls;
        ASSERT_TRUE(FlsFatFiles(strImage, dwSector, vecFls));
        CScanSession session;
        CCollectingSink sink;
        ASSERT_EQ(sink.Scan(session, dwSector), 0u);
        const CRowStore& store = sink.m_store;
        ASSERT_FALSE(vecFls.empty());
        ASSERT_EQ(store.Size(), vecFls.size());
        CSleuthFat sleuth;
        ASSERT_TRUE(sleuth.Open(strImage, static_cast<uint64_t>(dwSector) * 512));

        std::vector<size_t> vecRows;
        for (const CFlsEntry& e : vecFls)
        {
            const size_t nRow = RowOfPath(store, "\\" + e.m_strPath);
            ASSERT_LT(nRow, store.Size()) << e.m_strPath;
            EXPECT_EQ(store.Row(nRow).m_bNotInUse != 0, e.m_bDeleted) << e.m_strPath;
            vecRows.push_back(nRow);
        }
        CTempDir out;
        CSaveRun run(session, CSavePlan(store, vecRows, ESaveMode::eFolders), out.Path());
        ASSERT_EQ(RunToEnd(run), CSaveRun::EStep::eDone);
        EXPECT_EQ(run.Report().NotSaved(), 0u);
        for (const CFlsEntry& e : vecFls)
        {
            if (e.IsDirectory())
                continue;
            Bytes vecSaved, vecIcat;
            ASSERT_TRUE(ReadFileBytes(out.Path() + "/" + e.m_strPath, vecSaved)) << e.m_strPath;
            ASSERT_TRUE(sleuth.Data(e.m_n64Record, vecIcat)) << e.m_strPath;
            EXPECT_TRUE(vecSaved == vecIcat) << e.m_strPath;
            ++nSaved;
        }
    }
    EXPECT_GE(nSaved, 6u);
}
