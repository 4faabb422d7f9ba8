// The scan session on a real volume with one damaged byte: every row is
// listed, nothing is shown, and files are saved after the scan as icat reads them.
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
    ASSERT_EQ(sink.m_store.Size(), session.Drive().GetRecordCount() - kFirstListedRecord)
        << "every record of the table is listed";

    const DWORD dwDamaged = volume.Index("damagedsi.bin");
    ASSERT_GE(dwDamaged, kFirstListedRecord);
    EXPECT_EQ(sink.m_store.Name(dwDamaged - kFirstListedRecord), "damagedsi.bin");

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
            ASSERT_TRUE(IcatAllStreams(volume.m_strDisk, CExtractVolume::kStartSector, dwIndex, expected));
        }
        EXPECT_TRUE(saved == expected) << pszName;
    }
}
