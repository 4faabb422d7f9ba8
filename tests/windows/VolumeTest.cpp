// Volumes made on Linux, read by the core through the real Win32 API under
// Wine, every listed record checked against The Sleuth Kit's word for it.
#include "VolumeCheck.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

namespace
{
struct CImageCase
{
    const char* m_pszName;
    int m_nMinDataCompared;  // so that a comparison of next to nothing cannot pass
    const char* m_pszArchive = nullptr;  // a public test image it is made from
};

void PrintTo(const CImageCase& test, std::ostream* pOut)
{
    *pOut << test.m_pszName;
}

class WindowsVolumeTest : public ::testing::TestWithParam<CImageCase>
{
};

TEST_P(WindowsVolumeTest, EveryRecordAgreesWithTheSleuthKit)
{
    const CImageCase& test = GetParam();
    if (test.m_pszArchive)
        SALVIX_SKIP_WITHOUT_TESTDATA(WindowsPath(std::string(SALVIX_TESTDATA_DIR) + "/" + test.m_pszArchive));
    CExpectedImage expected;
    std::string strError;
    ASSERT_TRUE(LoadExpectations(ImagePath(std::string(test.m_pszName) + ".expected"), expected, strError))
        << strError;
    ASSERT_EQ(1u, expected.m_vecVolumes.size());

    const std::string strImage = ImagePath(std::string(test.m_pszName) + ".img");
    HANDLE hImage = OpenImage(strImage);
    ASSERT_NE(INVALID_HANDLE_VALUE, hImage) << strImage << ": error " << GetLastError();
    const CVolumeTally tally = CompareVolume(hImage, expected.m_vecVolumes[0]);
    CloseHandle(hImage);
    EXPECT_GE(tally.m_nDataCompared, test.m_nMinDataCompared);
    printf("%s: %d records, %d compared byte for byte (%llu bytes), %d deleted with data\n", test.m_pszName,
           tally.m_nRecords, tally.m_nDataCompared, tally.m_n64BytesCompared, tally.m_nDeletedWithData);
}

// The geometries the made volumes come in: clusters of 4096 and 512 bytes,
// a volume past the first 4 GiB of its disk, 4096-byte sectors; and two
// volumes of other makers, one of them formatted by Windows.
INSTANTIATE_TEST_SUITE_P(Images, WindowsVolumeTest,
                         ::testing::Values(CImageCase{"c4096", 150}, CImageCase{"c512", 150},
                                           CImageCase{"c1024", 150}, CImageCase{"s4096", 150},
                                           CImageCase{"testfs1", 500, "testfs1.bin.gz"},
                                           CImageCase{"dissect", 2000, "dissect-ntfs.bin.gz"}),
                         [](const ::testing::TestParamInfo<CImageCase>& info) {
                             return std::string(info.param.m_pszName);
                         });
}  // namespace
