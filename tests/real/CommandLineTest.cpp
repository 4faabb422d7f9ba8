// The Sleuth Kit's own programs on the same images: ils for the allocation
// state of every record, fls for the names in the directories, icat for the
// data of single-stream files. A second look, through other code paths of
// the oracle, at what the record-by-record comparison checks.
#include "RealTestSupport.h"
#include "support/Process.h"

#include "NtfsWriter.h"
#include "ntfs/NTFSDrive.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

using namespace salvix_test;

namespace
{
void CompareWithTools(const char* pszImage, DWORD dwStart, int nMinNames, int nMinData)
{
    const std::string strImage = ImagePath(pszImage);
    CHandle device(OpenImage(strImage));
    ASSERT_NE(INVALID_HANDLE_VALUE, static_cast<HANDLE>(device)) << strImage;
    CNTFSDrive drive;
    ASSERT_EQ(0u, OpenVolumeOn(drive, device, dwStart));
    CSleuthVolume sleuth;
    std::string strError;
    ASSERT_TRUE(sleuth.Open(strImage, dwStart, strError)) << strError;
    const DWORD dwCount = drive.GetRecordCount();

    // Allocation state of every record.
    const CProcessResult ils = RunProcess({"ils", "-e", "-o", std::to_string(dwStart), strImage});
    ASSERT_TRUE(ils.Ok()) << ils.m_strErrors;
    std::map<uint64_t, char> alloc;
    std::istringstream ilsLines(ils.m_strOutput);
    std::string strLine;
    while (std::getline(ilsLines, strLine))
    {
        size_t nBar = strLine.find('|');
        if (nBar == std::string::npos || nBar + 1 >= strLine.size() || strLine[0] < '0' || strLine[0] > '9')
            continue;
        alloc[std::stoull(strLine.substr(0, nBar))] = strLine[nBar + 1];
    }
    for (DWORD n = 30; n < dwCount; ++n)
    {
        MFTEntryInfo info;
        ASSERT_EQ(0u, drive.GetEntryInfo(n, info)) << "record " << n;
        if (!alloc.count(n))
        {
            // ils leaves out the extension records of files listed elsewhere.
            EXPECT_NE(0u, sleuth.Record(n).n64BaseRecord) << "ils does not list record " << n;
            continue;
        }
        EXPECT_EQ(alloc[n] == 'a' ? 0 : 1, info.bNotInUse) << "record " << n;
    }

    // Names from the directories, where a record has one name only; data of
    // records with one $DATA attribute.
    std::vector<CFlsEntry> vecFls;
    ASSERT_TRUE(Fls(strImage, dwStart, vecFls));
    int nNames = 0, nData = 0;
    for (const CFlsEntry& e : vecFls)
    {
        if (e.m_n64Record < 30 || e.m_n64Record >= dwCount || e.m_bReallocated || e.m_strAttribute.empty() ||
            e.m_strPath.find(':') != std::string::npos)
            continue;
        const DWORD dwRecord = static_cast<DWORD>(e.m_n64Record);
        SleuthRecord r = sleuth.Record(dwRecord);
        if (!r.bOpened || r.nFileNames != 1 || r.bAttributeList)
            continue;
        MFTEntryInfo info;
        ASSERT_EQ(0u, drive.GetEntryInfo(dwRecord, info));
        EXPECT_EQ(NameBytes(Utf8ToUtf16(e.Name())), std::string(info.szName))
            << "record " << dwRecord << ", fls name " << e.m_strPath;
        ++nNames;

        if (e.m_strType[2] != 'r' || e.m_strAttribute.compare(0, 4, "128-") != 0 ||
            r.nDataAttributes != 1 || !r.strDataCaveat.empty())
            continue;
        std::vector<uint8_t> vecIcat;
        ASSERT_TRUE(Icat(strImage, dwStart, std::to_string(dwRecord) + "-" + e.m_strAttribute, vecIcat))
            << "record " << dwRecord;
        BYTE* pData = nullptr;
        DWORD dwLength = 0;
        ASSERT_EQ(0u, drive.ReadEntryData(dwRecord, pData, dwLength)) << "record " << dwRecord;
        std::unique_ptr<BYTE[]> data(pData);
        EXPECT_TRUE(dwLength == vecIcat.size() && std::equal(vecIcat.begin(), vecIcat.end(), data.get()))
            << "record " << dwRecord << " (" << e.m_strPath << "): " << dwLength << " bytes, icat gives "
            << vecIcat.size();
        ++nData;
    }
    EXPECT_GE(nNames, nMinNames);
    EXPECT_GE(nData, nMinData);
}

TEST(SleuthKitTools, MadeVolume)
{
    CompareWithTools("c4096.img", 2048, 150, 120);
}

TEST(SleuthKitTools, SampleDiskFirstVolume)
{
    CompareWithTools("sample.img", 2048, 25, 20);
}
}  // namespace
