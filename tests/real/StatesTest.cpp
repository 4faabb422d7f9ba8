// Deleted files whose clusters later files took (the overwritten layout):
// every deleted file's state against ntfs-3g's ntfsundelete, every file's
// size and modification time against The Sleuth Kit, and a save of the
// overwritten ones that says so.
#include "RealTestSupport.h"

#include "session/SaveRun.h"
#include "session/ScanSession.h"
#include "support/DiskGuard.h"
#include "support/ScanSink.h"
#include "support/ZoneGuard.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <map>
#include <set>

using namespace salvix_test;

namespace
{

class StatesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_strVolume = LayoutPath("overwritten");
        m_disk.Set(m_strVolume);
        ASSERT_EQ(0u, m_sink.Scan(m_session, 0)) << m_strVolume << ": the volume_layouts test makes it";
        ASSERT_TRUE(m_sink.m_vecErrors.empty());
        ASSERT_EQ(0u, m_session.ClusterMapCode());
        for (size_t n = 0; n < m_sink.m_store.Size(); ++n)
            m_mapRows[m_sink.m_store.Row(n).m_dwRecord] = n;
    }
    const CScanRow& RowOf(uint64_t n64Record) { return m_sink.m_store.Row(m_mapRows.at(static_cast<DWORD>(n64Record))); }

    CDiskGuard m_disk{std::string()};
    CScanSession m_session;
    CCollectingSink m_sink;
    std::string m_strVolume;
    std::map<DWORD, size_t> m_mapRows;
};

}  // namespace

TEST_F(StatesTest, EveryDeletedFileHasTheStateNtfsundeleteGivesIt)
{
    std::vector<CUndeleteRow> vecUndelete;
    ASSERT_TRUE(NtfsUndeleteScan(m_strVolume, vecUndelete));
    CSleuthVolume sleuth;
    std::string strError;
    ASSERT_TRUE(sleuth.Open(m_strVolume, 0, strError)) << strError;
    std::set<ERowState> setSeen;
    size_t nCompared = 0;
    for (const CUndeleteRow& undelete : vecUndelete)
    {
        // Records before the listed ones are the volume's own; folders and
        // files without bytes say "无数据", which no share stands for.
        if (undelete.m_n64Record < kFirstListedRecord || !undelete.m_bFile || undelete.m_n64Size == 0)
            continue;
        SCOPED_TRACE("record " + std::to_string(undelete.m_n64Record));
        const CScanRow& row = RowOf(undelete.m_n64Record);
        ASSERT_TRUE(row.m_bNotInUse);
        const ERowState eExpected = undelete.m_nPercent == 100 ? eRowStateRecoverable
                                    : undelete.m_nPercent == 0 ? eRowStateOverwritten
                                                               : eRowStatePartial;
        EXPECT_EQ(eExpected, row.m_eState) << undelete.m_nPercent << "%";
        // The share agrees where no sparse extent is counted differently:
        // ntfsundelete counts holes as free, they count for nothing here.
        const SleuthRecord record = sleuth.Record(undelete.m_n64Record);
        if (!record.bSparse)
        {
            EXPECT_EQ(undelete.m_nPercent, row.m_byFreePercent);
        }
        setSeen.insert(row.m_eState);
        ++nCompared;
    }
    EXPECT_GE(nCompared, 12u);
    // The layout leaves some whole, some in part and some wholly overwritten.
    EXPECT_EQ((std::set<ERowState>{eRowStateRecoverable, eRowStatePartial, eRowStateOverwritten}), setSeen);
    // The file in extension records (which ntfsundelete does not list) was
    // put together from them: its size is the one it was written with, its
    // state known; the empty one has no data.
    const auto mapNoted = ReadManifest(m_strVolume);
    const CScanRow& fragmented = RowOf(mapNoted.at("overwritten.fragmented").m_dwRecord);
    EXPECT_EQ(0, fragmented.m_byRowFlags & CScanRow::kRowStatePending);
    EXPECT_NE(eRowStateUnknown, fragmented.m_eState);
    const std::string& strNoted = mapNoted.at("overwritten.fragmented").m_strCksum;  // "CKSUM SIZE"
    EXPECT_EQ(strNoted.substr(strNoted.find(' ') + 1), std::to_string(fragmented.m_n64Size));
    EXPECT_EQ(eRowStateNoData, RowOf(mapNoted.at("overwritten.empty").m_dwRecord).m_eState);
    EXPECT_EQ(eRowStateLive, RowOf(mapNoted.at("overwritten.partner").m_dwRecord).m_eState);
}

TEST_F(StatesTest, SizesAndTimesAgreeWithTheSleuthKit)
{
    CSleuthVolume sleuth;
    std::string strError;
    ASSERT_TRUE(sleuth.Open(m_strVolume, 0, strError)) << strError;
    // A zone east of UTC without summer time, given as TZ gives it.
    CZoneGuard zone("CST-8");
    size_t nFiles = 0, nTimes = 0;
    for (size_t n = 0; n < m_sink.m_store.Size(); ++n)
    {
        const CScanRow& row = m_sink.m_store.Row(n);
        SCOPED_TRACE("record " + std::to_string(row.m_dwRecord));
        const SleuthRecord record = sleuth.Record(row.m_dwRecord);
        if (!record.bOpened || record.n64BaseRecord != 0)
            continue;
        // The size is the unnamed stream's; a folder and a file without one show none.
        const bool bHasSize = (row.m_byRowFlags & CScanRow::kRowHasSize) != 0;
        EXPECT_EQ(record.bHasFileData && !record.bDirectory, bHasSize);
        if (bHasSize && record.bHasFileData)
        {
            EXPECT_EQ(record.n64FileSize, row.m_n64Size);
            ++nFiles;
        }
        // Seconds since 1970 and the nanoseconds, from the same field.
        const ULONGLONG n64Ticks = (static_cast<ULONGLONG>(record.n64Modified) + 11644473600ull) * 10000000ull +
                                   record.nModifiedNano / 100;
        EXPECT_EQ(n64Ticks, row.m_n64Modified);
        // The first rows only: istat is run once for each.
        std::string strIstat;
        if (nTimes < 8 && IstatModifiedText(m_strVolume, 0, row.m_dwRecord, "CST-8", strIstat))
        {
            EXPECT_EQ(strIstat, m_sink.m_store.Text(n, eColumnModified));
            ++nTimes;
        }
    }
    EXPECT_GE(nFiles, 20u);
    EXPECT_EQ(8u, nTimes);
}

TEST_F(StatesTest, SavingOverwrittenFilesWorksAndTheReportSaysWhich)
{
    // The deleted files the layout noted, but the one in extension records:
    // its attribute list lay in clusters a new file took, so it cannot be
    // put together for a save (the report says so).
    std::vector<size_t> vecRows;
    std::map<ERowState, size_t> mapCount;
    for (const auto& [strKey, note] : ReadManifest(m_strVolume))
    {
        if (strKey == "overwritten.fragmented")
            continue;
        const size_t nRow = m_mapRows.at(note.m_dwRecord);
        const ERowState eState = m_sink.m_store.Row(nRow).m_eState;
        if (m_sink.m_store.Row(nRow).m_bNotInUse && (eState == eRowStatePartial || eState == eRowStateOverwritten ||
                                                     eState == eRowStateRecoverable))
        {
            vecRows.push_back(nRow);
            ++mapCount[eState];
        }
    }
    CTempDir out;
    CSaveRun run(m_session, CSavePlan(m_sink.m_store, vecRows, ESaveMode::eFlat), out.Path());
    CSaveRun::EStep eStep;
    while ((eStep = run.Step(CSaveRun::kStepWaitMs)) == CSaveRun::EStep::eMore)
    {
    }
    ASSERT_EQ(CSaveRun::EStep::eDone, eStep);
    const CSaveReport& report = run.Report();
    EXPECT_EQ(vecRows.size(), report.Saved());
    EXPECT_EQ(mapCount[eRowStatePartial] + mapCount[eRowStateOverwritten], report.Overwritten());
    size_t nWhole = 0, nPart = 0;
    for (const std::string& strLine : report.Lines())
    {
        nWhole += strLine.rfind("已覆盖：", 0) == 0 ? 1 : 0;
        nPart += strLine.rfind("部分覆盖（", 0) == 0 ? 1 : 0;
    }
    EXPECT_EQ(mapCount[eRowStateOverwritten], nWhole);
    EXPECT_EQ(mapCount[eRowStatePartial], nPart);
    // Something went wrong for those files: the report is kept beside them.
    EXPECT_FALSE(run.ReportPath().empty());
    EXPECT_EQ(CSaveOutcome::eReportBox, run.Outcome().m_eKind);
}
