// The Sleuth Kit's own programs on the same images: ils for the allocation
// state of every record, fls for the names in the directories, icat for the
// data of single-stream files. A second look, through other code paths of
// the oracle, at what the record-by-record comparison checks.
#include "RealTestSupport.h"
#include "support/DiskGuard.h"
#include "support/Process.h"
#include "support/ScanSink.h"

#include "NtfsWriter.h"
#include "ntfs/NTFSDrive.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
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

// fls's path of a name as the list shows it: the folder from the root joined
// with "\\", then the name; a file whose folder is gone is under "?\\".
std::pair<std::string, std::string> FolderAndName(const std::string& strFlsPath)
{
    const size_t nSlash = strFlsPath.rfind('/');
    std::string strFolder = nSlash == std::string::npos ? "" : strFlsPath.substr(0, nSlash);
    const std::string strName = strFlsPath.substr(nSlash == std::string::npos ? 0 : nSlash + 1);
    if (strFolder == "$OrphanFiles")
        return {"?\\", strName};
    for (char& c : strFolder)
        c = c == '/' ? '\\' : c;
    return {"\\" + strFolder, strName};
}

TEST(SleuthKitTools, WholeNamesAndFoldersAsFlsListsThem)
{
    const std::string strImage = std::string(SALVIX_LAYOUT_IMAGES) + "/unicode.vol";
    const auto disks = CDiskGuard::Given({strImage});
    CScanSession session;
    CCollectingSink sink;
    ASSERT_EQ(0u, sink.Scan(session, 0));  // the bare volume: sector 0
    ASSERT_TRUE(sink.m_vecErrors.empty());

    std::vector<CFlsEntry> vecFls;
    ASSERT_TRUE(Fls(strImage, 0, vecFls));
    std::map<DWORD, std::set<std::pair<std::string, std::string>>> mapFls;
    for (const CFlsEntry& e : vecFls)
        if (e.m_n64Record >= 30 && !e.m_strAttribute.empty() && e.m_strPath.find(':') == std::string::npos)
            mapFls[static_cast<DWORD>(e.m_n64Record)].insert(FolderAndName(e.m_strPath));
    ASSERT_GE(mapFls.size(), 20u);

    std::map<DWORD, size_t> mapRows;
    for (size_t i = 0; i < sink.m_store.Size(); ++i)
        mapRows[sink.m_store.Row(i).m_dwRecord] = i;
    for (const auto& [dwRecord, setNames] : mapFls)
    {
        ASSERT_TRUE(mapRows.count(dwRecord)) << "record " << dwRecord;
        const size_t nRow = mapRows[dwRecord];
        const std::pair<std::string, std::string> listed{sink.m_store.FolderText(nRow), sink.m_store.Name(nRow)};
        EXPECT_TRUE(setNames.count(listed)) << "record " << dwRecord << ": " << listed.first << " | "
                                            << listed.second << " not in fls, e.g. "
                                            << setNames.begin()->first << " | " << setNames.begin()->second;
    }
    // The file with a DOS name as well shows the name its owner gave it.
    bool bLongName = false;
    for (size_t i = 0; i < sink.m_store.Size(); ++i)
        bLongName = bLongName || sink.m_store.Name(i) == u8"LongFileName_会议记录.txt";
    EXPECT_TRUE(bLongName);

    // Every file, deleted ones included, is saved under its whole name with
    // icat's bytes; each into a folder of its own, as names repeat.
    const CTempDir dir;
    int nSaved = 0;
    for (const auto& [dwRecord, setNames] : mapFls)
    {
        const size_t nRow = mapRows[dwRecord];
        if (sink.m_store.Row(nRow).m_dwFileFlags & 0x10000000u)
            continue;  // a folder
        const std::string strFolder = dir.File(std::to_string(dwRecord));
        ASSERT_TRUE(std::filesystem::create_directory(strFolder));
        ASSERT_EQ(0u, session.SaveEntry(dwRecord, strFolder.c_str())) << "record " << dwRecord;
        Bytes saved, icat;
        ASSERT_TRUE(ReadFileBytes(strFolder + "/" + sink.m_store.Name(nRow), saved));
        ASSERT_TRUE(Icat(strImage, 0, std::to_string(dwRecord), icat));
        EXPECT_TRUE(saved == icat) << "record " << dwRecord;
        ++nSaved;
    }
    EXPECT_GE(nSaved, 15);
}
}  // namespace
