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

// A scan of the bare volume at strImage as the front ends run it, each
// listed record's folder and name checked against fls's names for it.
struct CScanAndFls
{
    CScanSession m_session;
    CCollectingSink m_sink;
    std::map<DWORD, std::set<std::pair<std::string, std::string>>> m_mapFls;
    std::map<DWORD, size_t> m_mapRows;
};

void ScanAgainstFls(const std::string& strImage, CScanAndFls& run)
{
    ASSERT_EQ(0u, run.m_sink.Scan(run.m_session, 0));  // the bare volume: sector 0
    ASSERT_TRUE(run.m_sink.m_vecErrors.empty());

    std::vector<CFlsEntry> vecFls;
    ASSERT_TRUE(Fls(strImage, 0, vecFls));
    for (const CFlsEntry& e : vecFls)
        if (e.m_n64Record >= 30 && !e.m_strAttribute.empty() && e.m_strPath.find(':') == std::string::npos)
            run.m_mapFls[static_cast<DWORD>(e.m_n64Record)].insert(FolderAndName(e.m_strPath));
    ASSERT_GE(run.m_mapFls.size(), 20u);

    const CRowStore& store = run.m_sink.m_store;
    for (size_t i = 0; i < store.Size(); ++i)
        run.m_mapRows[store.Row(i).m_dwRecord] = i;
    for (const auto& [dwRecord, setNames] : run.m_mapFls)
    {
        ASSERT_TRUE(run.m_mapRows.count(dwRecord)) << "record " << dwRecord;
        const size_t nRow = run.m_mapRows[dwRecord];
        const std::pair<std::string, std::string> listed{store.FolderText(nRow), store.Name(nRow)};
        EXPECT_TRUE(setNames.count(listed)) << "record " << dwRecord << ": " << listed.first << " | "
                                            << listed.second << " not in fls, e.g. "
                                            << setNames.begin()->first << " | " << setNames.begin()->second;
    }
}

TEST(SleuthKitTools, WholeNamesAndFoldersAsFlsListsThem)
{
    const std::string strImage = std::string(SALVIX_LAYOUT_IMAGES) + "/unicode.vol";
    const auto disks = CDiskGuard::Given({strImage});
    CScanAndFls run;
    ASSERT_NO_FATAL_FAILURE(ScanAgainstFls(strImage, run));
    CScanSession& session = run.m_session;
    const CCollectingSink& sink = run.m_sink;
    const auto& mapFls = run.m_mapFls;
    auto& mapRows = run.m_mapRows;

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

// A table in some eighty pieces across the volume: the scan reads it through
// every piece, lists each record in order with fls's names, reports its
// progress up to the last record, and saves files whose records lie in the
// last pieces with icat's bytes.
TEST(SleuthKitTools, FragmentedTableScannedThroughEveryPiece)
{
    const std::string strImage = LayoutPath("fragmented-mft");
    const auto disks = CDiskGuard::Given({strImage});
    CScanAndFls run;
    ASSERT_NO_FATAL_FAILURE(ScanAgainstFls(strImage, run));
    const CRowStore& store = run.m_sink.m_store;
    const std::map<std::string, CNoted> noted = ReadManifest(strImage);
    const DWORD dwLast = noted.at("fragmented_mft.filler").m_dwRecord;
    // Rows keep their records' numbers, in order; records no file ever held
    // have none.
    ASSERT_GT(store.Size(), 0u);
    for (size_t i = 1; i < store.Size(); ++i)
        ASSERT_LT(store.Row(i - 1).m_dwRecord, store.Row(i).m_dwRecord);
    ASSERT_GE(store.Row(store.Size() - 1).m_dwRecord, dwLast);

    const auto& vecProgress = run.m_sink.m_vecProgress;
    ASSERT_FALSE(vecProgress.empty());
    for (size_t i = 1; i < vecProgress.size(); ++i)
        EXPECT_LE(vecProgress[i - 1].first, vecProgress[i].first);
    EXPECT_EQ(NtfsDrive(run.m_session).GetRecordCount(), vecProgress.back().first);
    EXPECT_EQ(NtfsDrive(run.m_session).GetRecordCount(), vecProgress.back().second);

    const CTempDir dir;
    for (const char* pszKey : {"fragmented_mft.first", "fragmented_mft.last", "fragmented_mft.filler"})
    {
        const DWORD dwRecord = noted.at(pszKey).m_dwRecord;
        ASSERT_EQ(0u, run.m_session.SaveEntry(dwRecord, dir.Path().c_str())) << pszKey;
        Bytes saved, icat;
        ASSERT_TRUE(ReadFileBytes(dir.File(store.Name(run.m_mapRows.at(dwRecord))), saved));
        ASSERT_TRUE(Icat(strImage, 0, std::to_string(dwRecord), icat));
        EXPECT_TRUE(saved == icat) << pszKey;
    }
}
}  // namespace
