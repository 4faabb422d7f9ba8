#include "Expectations.h"

#include <cstdio>
#include <sstream>

namespace
{
const char kHeader[] = "salvix-expectations 4";

std::string HexBytes(const std::string& str)
{
    if (str.empty())
        return "-";
    std::string strHex;
    char sz[3];
    for (unsigned char c : str)
    {
        snprintf(sz, sizeof(sz), "%02x", c);
        strHex += sz;
    }
    return strHex;
}

bool FromHex(const std::string& strHex, std::string& str)
{
    str.clear();
    if (strHex == "-")
        return true;
    if (strHex.size() % 2 != 0)
        return false;
    for (size_t i = 0; i < strHex.size(); i += 2)
    {
        unsigned nByte = 0;
        if (sscanf(strHex.c_str() + i, "%2x", &nByte) != 1)
            return false;
        str += static_cast<char>(nByte);
    }
    return true;
}

std::string FormatRecord(const CExpectedRecord& record)
{
    std::ostringstream out;
    out << "record " << record.m_dwRecord << ' ';
    if (record.m_eKind == CExpectedRecord::eNotFile)
        out << "notfile";
    else if (record.m_eKind == CExpectedRecord::eUnread)
        out << "unread";
    else
    {
        out << "entry " << record.m_nNotInUse << ' ' << record.m_dwFlags << ' ' << record.m_n64Clusters
            << ' ' << HexBytes(record.m_strName) << ' ' << HexBytes(record.m_strWholeName) << ' ';
        if (record.m_bData)
            out << "data " << record.m_dwDataLength << ' ' << std::hex << record.m_n64DataHash << std::dec;
        else
            out << "nodata";
        if (!record.m_bListed)
            out << " norow";
    }
    return out.str();
}

std::string FormatFatEntry(const CExpectedFatEntry& entry)
{
    std::ostringstream out;
    out << "fatentry " << entry.m_dwFirstSector << ' ' << entry.m_bDeleted << ' ' << entry.m_bDirectory << ' '
        << HexBytes(entry.m_strPath) << ' ';
    if (entry.m_bData)
        out << "data " << entry.m_dwDataLength << ' ' << std::hex << entry.m_n64DataHash << std::dec;
    else
        out << "nodata";
    return out.str();
}

bool ParseFatEntry(std::istringstream& in, CExpectedFatEntry& entry)
{
    std::string strPath, strData;
    if (!(in >> entry.m_dwFirstSector >> entry.m_bDeleted >> entry.m_bDirectory >> strPath >> strData) ||
        !FromHex(strPath, entry.m_strPath))
        return false;
    entry.m_bData = strData == "data";
    if (entry.m_bData && !(in >> entry.m_dwDataLength >> std::hex >> entry.m_n64DataHash >> std::dec))
        return false;
    return entry.m_bData || strData == "nodata";
}

bool ParseRecord(std::istringstream& in, CExpectedRecord& record)
{
    std::string strKind;
    if (!(in >> record.m_dwRecord >> strKind))
        return false;
    if (strKind == "notfile" || strKind == "unread")
    {
        record.m_eKind = strKind == "notfile" ? CExpectedRecord::eNotFile : CExpectedRecord::eUnread;
        return true;
    }
    std::string strName, strWholeName, strData;
    record.m_eKind = CExpectedRecord::eEntry;
    if (strKind != "entry" ||
        !(in >> record.m_nNotInUse >> record.m_dwFlags >> record.m_n64Clusters >> strName >> strWholeName >>
          strData) ||
        !FromHex(strName, record.m_strName) || !FromHex(strWholeName, record.m_strWholeName))
        return false;
    record.m_bData = strData == "data";
    if (record.m_bData && !(in >> record.m_dwDataLength >> std::hex >> record.m_n64DataHash >> std::dec))
        return false;
    std::string strRow;
    record.m_bListed = !(in >> strRow) || strRow != "norow";
    return record.m_bData || strData == "nodata";
}
}  // namespace

uint64_t DataHash(const uint8_t* pData, size_t nLength)
{
    uint64_t n64Hash = 0xcbf29ce484222325ull;
    for (size_t i = 0; i < nLength; ++i)
        n64Hash = (n64Hash ^ pData[i]) * 0x100000001b3ull;
    return n64Hash;
}

std::string FormatExpectations(const CExpectedImage& image)
{
    std::ostringstream out;
    out << kHeader << '\n';
    for (const CExpectedPartition& partition : image.m_vecPartitions)
    {
        out << "partition " << partition.m_dwFirstSector << ' ' << partition.m_nType << ' '
            << partition.m_n64Sectors;
        if (partition.m_bLabel)
            out << ' ' << HexBytes(partition.m_strLabel);
        out << '\n';
    }
    for (const CExpectedFatEntry& entry : image.m_vecFatEntries)
        out << FormatFatEntry(entry) << '\n';
    for (const CExpectedVolume& volume : image.m_vecVolumes)
    {
        out << "volume " << volume.m_dwFirstSector << ' ' << volume.m_dwClusterSize << ' '
            << volume.m_dwRecordSize << ' ' << volume.m_n64Records << ' ' << HexBytes(volume.m_strLabel) << '\n';
        for (const CExpectedRecord& record : volume.m_vecRecords)
            out << FormatRecord(record) << '\n';
    }
    return out.str();
}

bool ParseExpectations(const std::string& strText, CExpectedImage& image, std::string& strError)
{
    image = CExpectedImage();
    std::istringstream lines(strText);
    std::string strLine;
    int nLine = 0;
    while (std::getline(lines, strLine))
    {
        ++nLine;
        if (!strLine.empty() && strLine.back() == '\r')
            strLine.pop_back();
        std::istringstream in(strLine);
        std::string strWord;
        in >> strWord;
        bool bGood = true;
        if (nLine == 1)
            bGood = strLine == kHeader;
        else if (strWord == "partition")
        {
            CExpectedPartition partition;
            bGood = static_cast<bool>(in >> partition.m_dwFirstSector >> partition.m_nType >> partition.m_n64Sectors);
            std::string strLabel;
            partition.m_bLabel = static_cast<bool>(in >> strLabel);
            bGood = bGood && (!partition.m_bLabel || FromHex(strLabel, partition.m_strLabel));
            image.m_vecPartitions.push_back(partition);
        }
        else if (strWord == "fatentry")
        {
            CExpectedFatEntry entry;
            bGood = ParseFatEntry(in, entry);
            image.m_vecFatEntries.push_back(entry);
        }
        else if (strWord == "volume")
        {
            CExpectedVolume volume;
            std::string strLabel;
            bGood = static_cast<bool>(in >> volume.m_dwFirstSector >> volume.m_dwClusterSize >>
                                      volume.m_dwRecordSize >> volume.m_n64Records >> strLabel) &&
                    FromHex(strLabel, volume.m_strLabel);
            image.m_vecVolumes.push_back(volume);
        }
        else if (strWord == "record" && !image.m_vecVolumes.empty())
        {
            CExpectedRecord record;
            bGood = ParseRecord(in, record);
            image.m_vecVolumes.back().m_vecRecords.push_back(record);
        }
        else
            bGood = false;
        if (!bGood)
        {
            strError = "line " + std::to_string(nLine) + ": " + strLine;
            return false;
        }
    }
    if (nLine == 0)
        strError = "empty";
    return nLine > 0;
}
