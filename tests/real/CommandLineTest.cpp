// The Sleuth Kit's own programs on the same images: ils for the allocation
// state of every record, fls for the names in the directories, icat for the
// data of single-stream files. A second look, through other code paths of
// the oracle, at what the record-by-record comparison checks.
#include "RealTestSupport.h"
#include "SleuthKit.h"

#include "ntfs/NTFSDrive.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
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
}  // namespace
