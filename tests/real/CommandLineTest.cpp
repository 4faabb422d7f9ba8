// The Sleuth Kit's own programs on the same images: ils for the allocation
// state of every record, fls for the names in the directories, icat for the
// data of single-stream files. A second look, through other code paths of
// the oracle, at what the record-by-record comparison checks.
#include "RealTestSupport.h"
#include "SleuthKit.h"

#include "ntfs/NTFSDrive.h"
#include "platform/Platform.h"
#include "session/ScanSession.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sys/stat.h>
#include <map>
#include <set>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace
{
std::string Quoted(const std::string& str)
{
    std::string out = "'";
    for (char c : str)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Runs a command line and returns what it wrote on standard output.
bool Capture(const std::string& strCommand, std::string& strOutput)
{
    strOutput.clear();
    FILE* pPipe = popen(strCommand.c_str(), "r");
    if (!pPipe)
        return false;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), pPipe)) > 0)
        strOutput.append(buffer, n);
    return pclose(pPipe) == 0;
}

struct FlsEntry
{
    std::string strType;    // "r/r", "d/d", "-/r", ...
    bool bDeleted = false;
    bool bReallocated = false;
    uint64_t n64Record = 0;
    std::string strAttribute;  // "128-2" and the like; empty for virtual entries
    std::string strPath;
};

// Lines like "r/r * 216-128-2 (realloc):\tTrash/deleted_tiny.txt".
std::vector<FlsEntry> ParseFls(const std::string& strText)
{
    std::vector<FlsEntry> entries;
    std::istringstream lines(strText);
    std::string strLine;
    while (std::getline(lines, strLine))
    {
        size_t nTab = strLine.find(":\t");
        if (nTab == std::string::npos)
            continue;
        FlsEntry e;
        e.strPath = strLine.substr(nTab + 2);
        std::istringstream head(strLine.substr(0, nTab));
        std::string strWord;
        head >> e.strType;
        while (head >> strWord)
        {
            if (strWord == "*")
                e.bDeleted = true;
            else if (strWord == "(realloc)")
                e.bReallocated = true;
            else
            {
                size_t nDash = strWord.find('-');
                e.n64Record = std::stoull(strWord.substr(0, nDash));
                if (nDash != std::string::npos)
                    e.strAttribute = strWord.substr(nDash + 1);
            }
        }
        entries.push_back(e);
    }
    return entries;
}

void CompareWithTools(const char* pszImage, DWORD dwStart, int nMinNames, int nMinData)
{
    const std::string strImage = ImagePath(pszImage);
    const std::string strWhere = " -o " + std::to_string(dwStart) + " " + Quoted(strImage);
    HandleCloser device{OpenImage(strImage)};
    ASSERT_NE(INVALID_HANDLE_VALUE, device.m_h) << strImage;
    CNTFSDrive drive;
    drive.AttachDevice(device.m_h);
    drive.SetVolumeStart(dwStart, 512);
    ASSERT_EQ(0u, drive.OpenVolume());
    CSleuthVolume sleuth;
    std::string strError;
    ASSERT_TRUE(sleuth.Open(strImage, dwStart, strError)) << strError;
    const DWORD dwCount = drive.GetRecordCount();

    // Allocation state of every record.
    std::string strIls;
    ASSERT_TRUE(Capture("ils -e" + strWhere, strIls));
    std::map<uint64_t, char> alloc;
    std::istringstream ilsLines(strIls);
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
    std::string strFls;
    ASSERT_TRUE(Capture("fls -r -p" + strWhere, strFls));
    int nNames = 0, nData = 0;
    for (const FlsEntry& e : ParseFls(strFls))
    {
        if (e.n64Record < 30 || e.n64Record >= dwCount || e.bReallocated || e.strAttribute.empty() ||
            e.strPath.find(':') != std::string::npos)
            continue;
        const DWORD dwRecord = static_cast<DWORD>(e.n64Record);
        SleuthRecord r = sleuth.Record(dwRecord);
        if (!r.bOpened || r.nFileNames != 1 || r.bAttributeList)
            continue;
        MFTEntryInfo info;
        ASSERT_EQ(0u, drive.GetEntryInfo(dwRecord, info));
        const std::string strBase = e.strPath.substr(e.strPath.rfind('/') + 1);
        EXPECT_EQ(NameBytes(Utf8ToUnits(strBase)), std::string(info.szName))
            << "record " << dwRecord << ", fls name " << e.strPath;
        ++nNames;

        if (e.strType[2] != 'r' || e.strAttribute.compare(0, 4, "128-") != 0 ||
            r.nDataAttributes != 1 || !r.strDataCaveat.empty())
            continue;
        std::string strIcat;
        ASSERT_TRUE(Capture("icat" + strWhere + " " + std::to_string(dwRecord) + "-" + e.strAttribute, strIcat))
            << "record " << dwRecord;
        BYTE* pData = nullptr;
        DWORD dwLength = 0;
        ASSERT_EQ(0u, drive.ReadEntryData(dwRecord, pData, dwLength)) << "record " << dwRecord;
        std::unique_ptr<BYTE[]> data(pData);
        EXPECT_TRUE(dwLength == strIcat.size() && std::equal(strIcat.begin(), strIcat.end(), data.get(),
                                                             [](char a, BYTE b) { return static_cast<BYTE>(a) == b; }))
            << "record " << dwRecord << " (" << e.strPath << "): " << dwLength << " bytes, icat gives "
            << strIcat.size();
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

class CRowSink : public IScanSink
{
public:
    void OnCleared() override {}
    void OnRows(CRowBatch&& batch, DWORD, DWORD) override { m_store.Append(std::move(batch)); }
    void OnError(DWORD dwCode) override { m_vecErrors.push_back(dwCode); }
    CRowStore m_store;
    std::vector<DWORD> m_vecErrors;
};

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
    SetDiskPaths({strImage});
    CScanSession session;
    CRowSink sink;
    std::atomic<BYTE> bStop{0};
    CScanTarget target;  // the bare volume: sector 0
    ASSERT_EQ(0u, session.RunScan(&target, bStop, sink));
    SetDiskPaths(std::vector<std::string>());
    ASSERT_TRUE(sink.m_vecErrors.empty());

    std::string strFls;
    ASSERT_TRUE(Capture("fls -r -p " + Quoted(strImage), strFls));
    std::map<DWORD, std::set<std::pair<std::string, std::string>>> mapFls;
    for (const FlsEntry& e : ParseFls(strFls))
        if (e.n64Record >= 30 && !e.strAttribute.empty() && e.strPath.find(':') == std::string::npos)
            mapFls[static_cast<DWORD>(e.n64Record)].insert(FolderAndName(e.strPath));
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
    SetDiskPaths({strImage});
    char szFolder[] = "/tmp/salvix-names-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(szFolder));
    int nSaved = 0;
    for (const auto& [dwRecord, setNames] : mapFls)
    {
        const size_t nRow = mapRows[dwRecord];
        if (sink.m_store.Row(nRow).m_dwFileFlags & 0x10000000u)
            continue;  // a folder
        const std::string strFolder = std::string(szFolder) + "/" + std::to_string(dwRecord);
        ASSERT_EQ(0, mkdir(strFolder.c_str(), 0700));
        ASSERT_EQ(0u, session.SaveEntry(dwRecord, strFolder.c_str())) << "record " << dwRecord;
        std::string strSaved, strIcat;
        ASSERT_TRUE(Capture("cat " + Quoted(strFolder + "/" + sink.m_store.Name(nRow)), strSaved));
        ASSERT_TRUE(Capture("icat " + Quoted(strImage) + " " + std::to_string(dwRecord), strIcat));
        EXPECT_TRUE(strSaved == strIcat) << "record " << dwRecord;
        ++nSaved;
    }
    SetDiskPaths(std::vector<std::string>());
    EXPECT_GE(nSaved, 15);
    ASSERT_TRUE(Capture("rm -rf " + Quoted(szFolder), strFls));
}
}  // namespace
