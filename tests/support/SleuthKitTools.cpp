// The Sleuth Kit's programs, run and read.
#include "support/Process.h"
#include "support/SleuthKit.h"

#include <cctype>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace salvix_test
{

namespace
{

// Runs a program of The Sleuth Kit on the volume at n64Start; its output.
bool RunOnVolume(const char* pszProgram, const std::vector<std::string>& vecOptions, const std::string& strImage,
                 uint64_t n64Start, const std::string& strAfter, std::string& strOutput)
{
    std::vector<std::string> vecArgs = {pszProgram};
    vecArgs.insert(vecArgs.end(), vecOptions.begin(), vecOptions.end());
    vecArgs.insert(vecArgs.end(), {"-o", std::to_string(n64Start), strImage});
    if (!strAfter.empty())
        vecArgs.push_back(strAfter);
    CProcessResult result = RunProcess(vecArgs);
    strOutput.swap(result.m_strOutput);
    return result.Ok();
}

// "Type: $DATA (128-4)   Name: extra   Non-Resident   size: 100 ..."
CDataStream ParseStreamLine(const std::string& strLine)
{
    CDataStream stream;
    const size_t nOpen = strLine.find('(');
    const size_t nClose = strLine.find(')', nOpen);
    stream.m_strId = strLine.substr(nOpen + 1, nClose - nOpen - 1);
    const size_t nName = strLine.find("Name: ", nClose);
    const std::string strName = nName == std::string::npos
                                    ? std::string("N/A")
                                    : strLine.substr(nName + 6, strLine.find("   ", nName) - nName - 6);
    stream.m_strName = strName == "N/A" ? std::string() : strName;
    stream.m_bResident = strLine.find("Non-Resident") == std::string::npos;
    return stream;
}

}  // namespace

bool Istat(const std::string& strImage, uint64_t n64Start, uint64_t n64Record, CIstatInfo& info)
{
    std::string strOutput;
    if (!RunOnVolume("istat", {}, strImage, n64Start, std::to_string(n64Record), strOutput))
        return false;
    info = CIstatInfo();
    std::istringstream lines(strOutput);
    std::string strLine;
    bool bInAttributes = false, bCollecting = false;
    while (std::getline(lines, strLine))
    {
        bInAttributes = bInAttributes || strLine.rfind("Attributes:", 0) == 0;
        if (!bInAttributes)
            continue;
        if (strLine.rfind("Type: ", 0) == 0)
        {
            bCollecting = false;
            if (strLine.rfind("Type: $DATA (", 0) != 0)
                continue;
            info.m_vecStreams.push_back(ParseStreamLine(strLine));
            bCollecting = !info.m_vecStreams.back().m_bResident && info.m_vecClusters.empty();
            continue;
        }
        std::istringstream numbers(strLine);
        uint64_t n64Cluster;
        while (bCollecting && numbers >> n64Cluster)
        {
            if (info.m_vecClusters.empty() || n64Cluster != info.m_vecClusters.back() + 1)
                ++info.m_nRuns;
            info.m_vecClusters.push_back(n64Cluster);
        }
    }
    return true;
}

bool Icat(const std::string& strImage, uint64_t n64Start, const std::string& strAddress,
          std::vector<uint8_t>& vecData)
{
    std::string strOutput;
    const bool bOk = RunOnVolume("icat", {}, strImage, n64Start, strAddress, strOutput);
    vecData.assign(strOutput.begin(), strOutput.end());
    return bOk;
}

bool IcatAllStreams(const std::string& strImage, uint64_t n64Start, uint64_t n64Record,
                    std::vector<uint8_t>& vecData)
{
    CIstatInfo info;
    if (!Istat(strImage, n64Start, n64Record, info))
        return false;
    vecData.clear();
    for (const CDataStream& stream : info.m_vecStreams)
    {
        std::vector<uint8_t> vecStream;
        if (!Icat(strImage, n64Start, std::to_string(n64Record) + "-" + stream.m_strId, vecStream))
            return false;
        vecData.insert(vecData.end(), vecStream.begin(), vecStream.end());
    }
    return true;
}

bool IcatFileStream(const std::string& strImage, uint64_t n64Start, uint64_t n64Record,
                    std::vector<uint8_t>& vecData)
{
    CIstatInfo info;
    if (!Istat(strImage, n64Start, n64Record, info))
        return false;
    vecData.clear();
    for (const CDataStream& stream : info.m_vecStreams)
        if (stream.m_strName.empty())
            return Icat(strImage, n64Start, std::to_string(n64Record) + "-" + stream.m_strId, vecData);
    return true;
}

bool Fls(const std::string& strImage, uint64_t n64Start, std::vector<CFlsEntry>& vecEntries)
{
    std::string strOutput;
    if (!RunOnVolume("fls", {"-r", "-p"}, strImage, n64Start, std::string(), strOutput))
        return false;
    vecEntries.clear();
    std::istringstream lines(strOutput);
    std::string strLine;
    while (std::getline(lines, strLine))
    {
        const size_t nTab = strLine.find(":\t");
        if (nTab == std::string::npos)
            continue;
        CFlsEntry entry;
        entry.m_strPath = strLine.substr(nTab + 2);
        std::string strHead = strLine.substr(0, nTab);
        const size_t nRealloc = strHead.find("(realloc)");
        entry.m_bReallocated = nRealloc != std::string::npos;
        if (entry.m_bReallocated)
            strHead.replace(nRealloc, 9, " ");
        std::istringstream words(strHead);
        std::string strWord;
        words >> entry.m_strType;
        while (words >> strWord)
        {
            if (strWord == "*")
            {
                entry.m_bDeleted = true;
                continue;
            }
            const size_t nDash = strWord.find('-');
            entry.m_n64Record = std::stoull(strWord.substr(0, nDash));
            if (nDash != std::string::npos)
                entry.m_strAttribute = strWord.substr(nDash + 1);
        }
        vecEntries.push_back(entry);
    }
    return true;
}

bool Mmls(const std::string& strImage, const std::vector<std::string>& vecOptions, std::vector<CMmlsRow>& vecRows)
{
    std::vector<std::string> vecArgs = {"mmls"};
    vecArgs.insert(vecArgs.end(), vecOptions.begin(), vecOptions.end());
    vecArgs.push_back(strImage);
    const CProcessResult result = RunProcess(vecArgs);
    vecRows.clear();
    std::istringstream lines(result.m_strOutput);
    std::string strLine;
    while (std::getline(lines, strLine))
    {
        // "002:  000:001   0000052416   0000104831   0000052416   DOS FAT16 (0x04)"
        char szSlot[32] = {};
        unsigned long long n64Start = 0, n64End = 0, n64Length = 0;
        int nUsed = 0;
        if (sscanf(strLine.c_str(), "%*u: %31s %llu %llu %llu %n", szSlot, &n64Start, &n64End, &n64Length,
                   &nUsed) != 4)
            continue;
        CMmlsRow row;
        row.m_bPartition = isdigit(static_cast<unsigned char>(szSlot[0])) &&
                           (strchr(szSlot, ':') ? sscanf(szSlot, "%u:%u", &row.m_nTable, &row.m_nSlot) == 2
                                                : sscanf(szSlot, "%u", &row.m_nSlot) == 1);
        row.m_n64Start = n64Start;
        row.m_n64Length = n64Length;
        row.m_strDescription = strLine.substr(static_cast<size_t>(nUsed));
        vecRows.push_back(row);
    }
    return result.Ok();
}

bool FlsFatFiles(const std::string& strImage, uint64_t n64Start, std::vector<CFlsEntry>& vecEntries)
{
    std::vector<CFlsEntry> vecAll;
    vecEntries.clear();
    if (!Fls(strImage, n64Start, vecAll))
        return false;
    for (const CFlsEntry& e : vecAll)
        if (e.m_strType != "v/v" && e.m_strType != "V/V" && !e.m_strPath.empty() && e.m_strPath[0] != '$' &&
            e.m_strPath.find("(Volume Label Entry)") == std::string::npos)
            vecEntries.push_back(e);
    return true;
}

bool Fsstat(const std::string& strImage, uint64_t n64Start, CFsstatInfo& info)
{
    std::string strOutput;
    if (!RunOnVolume("fsstat", {}, strImage, n64Start, std::string(), strOutput))
        return false;
    info = CFsstatInfo();
    // A volume without a label has no "Volume Name:" line (NTFS) or no root
    // folder's label (FAT, whose labels are padded with spaces, and exFAT).
    bool bRange = false;
    std::istringstream lines(strOutput);
    std::string strLine;
    const std::string strNameKeys[] = {"Volume Name:", "Volume Label (Root Directory):",
                                       "Volume Label (from root directory):"};
    const std::string strRangeKey = "Range: ";
    while (std::getline(lines, strLine))
    {
        for (const std::string& strNameKey : strNameKeys)
        {
            if (strLine.rfind(strNameKey, 0) != 0)
                continue;
            info.m_strVolumeName = strLine.substr(strNameKey.size());
            const size_t nFirst = info.m_strVolumeName.find_first_not_of(' ');
            const size_t nLast = info.m_strVolumeName.find_last_not_of(' ');
            info.m_strVolumeName =
                nFirst == std::string::npos ? std::string() : info.m_strVolumeName.substr(nFirst, nLast - nFirst + 1);
        }
        if (strLine.rfind(strRangeKey, 0) == 0 && strLine.find(" - ") != std::string::npos)
        {
            // The last number is the folder of orphan files The Sleuth Kit adds.
            info.m_n64Records = std::stoull(strLine.substr(strLine.find(" - ") + 3));
            bRange = true;
        }
    }
    return bRange;
}

bool IstatModifiedText(const std::string& strImage, uint64_t n64Start, uint64_t n64Record,
                       const std::string& strZone, std::string& strTime)
{
    std::string strOutput;
    if (!RunOnVolume("istat", {"-z", strZone}, strImage, n64Start, std::to_string(n64Record), strOutput))
        return false;
    // The first "File Modified:" is $STANDARD_INFORMATION's; $FILE_NAME's follow.
    const std::string strLabel = "File Modified:\t";
    const size_t nAt = strOutput.find(strLabel);
    if (nAt == std::string::npos || strOutput.size() < nAt + strLabel.size() + 19)
        return false;
    strTime = strOutput.substr(nAt + strLabel.size(), 19);
    return true;
}

bool NtfsUndeleteScan(const std::string& strVolume, std::vector<CUndeleteRow>& vecRows)
{
    // It exits 1 when nothing is wholly recoverable: its listing says whether it ran.
    const CProcessResult result = RunProcess({"ntfsundelete", "-s", "-p", "0", strVolume});
    if (result.m_strOutput.find("Inode    Flags  %age") == std::string::npos)
        return false;
    vecRows.clear();
    std::istringstream lines(result.m_strOutput);
    std::string strLine;
    // "66       FN..   100%  2026-12-08 08:55     12288  file_0.bin"
    while (std::getline(lines, strLine))
    {
        std::istringstream fields(strLine);
        CUndeleteRow row;
        std::string strFlags, strPercent, strDate, strTime;
        if (!(fields >> row.m_n64Record >> strFlags >> strPercent >> strDate >> strTime >> row.m_n64Size) ||
            strFlags.size() < 2 || strPercent.empty() || strPercent.back() != '%')
            continue;
        row.m_bFile = strFlags[0] == 'F';
        row.m_bResident = strFlags[1] == 'R';
        row.m_nPercent = std::atoi(strPercent.c_str());
        vecRows.push_back(row);
    }
    return true;
}

}  // namespace salvix_test
