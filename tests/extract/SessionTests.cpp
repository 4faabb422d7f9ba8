// The scan session on a real volume with one damaged byte: every file record
// is listed, nothing is shown, and files are saved after the scan as icat
// reads them.
#include "ExtractVolume.h"
#include "support/DiskGuard.h"
#include "support/ScanSink.h"

#include <gtest/gtest.h>

using namespace extract_test;

TEST(SessionOnVolumeTest, DamagedStandardInformationListsEveryRowAndSavesAfterTheScan)
{
    const CExtractVolume& volume = CExtractVolume::Get();
    ASSERT_EQ(volume.m_strError, "");
    CDiskGuard guard(volume.m_strDisk);
    CScanSession session;
    CCollectingSink sink;
    ASSERT_EQ(sink.Scan(session, CExtractVolume::kStartSector), 0u);
    EXPECT_TRUE(sink.m_vecErrors.empty());
    EXPECT_EQ(std::vector<DWORD>{0}, sink.m_vecUnread);
    // mkntfs formats records up to 63 and leaves them free and empty: no row.
    ASSERT_GT(sink.m_store.Size(), 0u);
    EXPECT_GE(sink.m_store.Row(0).m_dwRecord, 64u);
    EXPECT_EQ(sink.m_store.Row(sink.m_store.Size() - 1).m_dwRecord, NtfsDrive(session).GetRecordCount() - 1);

    const DWORD dwDamaged = volume.Index("damagedsi.bin");
    bool bListed = false;
    for (size_t i = 0; i < sink.m_store.Size(); ++i)
        if (sink.m_store.Row(i).m_dwRecord == dwDamaged)
            bListed = sink.m_store.Name(i) == "damagedsi.bin";
    EXPECT_TRUE(bListed) << "a damaged $STANDARD_INFORMATION keeps the row and its name";

    // The damaged record is beyond The Sleuth Kit (icat gives nothing for
    // it); its bytes are those written into it. The other file is read by icat.
    const std::string strOut = NewOutputFolder();
    for (const char* pszName : {"damagedsi.bin", "photo.jpg"})
    {
        const DWORD dwIndex = volume.Index(pszName);
        ASSERT_EQ(session.SaveEntry(dwIndex, strOut.c_str()), 0u) << pszName;
        Bytes saved, expected = volume.m_mapContent.at(pszName);
        ASSERT_TRUE(ReadFileBytes(strOut + "/" + pszName, saved));
        if (std::string(pszName) == "photo.jpg")
        {
            ASSERT_TRUE(IcatFileStream(volume.m_strDisk, CExtractVolume::kStartSector, dwIndex, expected));
        }
        EXPECT_TRUE(saved == expected) << pszName;
    }
}
