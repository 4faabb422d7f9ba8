#include "ExtractTestUtil.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace extract_test
{

std::string Quote(const std::string& str)
{
    std::string strQuoted = "'";
    for (char ch : str)
        strQuoted += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
    return strQuoted + "'";
}

bool RunCommand(const std::string& strCommand, std::string* pOutput)
{
    // In a group, so that the command's own redirections win over these.
    std::string strFull = "{ " + strCommand + "\n} 2>/dev/null";
    if (!pOutput)
        strFull += " >/dev/null";
    FILE* pPipe = popen(strFull.c_str(), "r");
    if (!pPipe)
        return false;
    if (pOutput)
    {
        pOutput->clear();
        char buffer[65536];
        size_t n;
        while ((n = fread(buffer, 1, sizeof(buffer), pPipe)) > 0)
            pOutput->append(buffer, n);
    }
    int nStatus = pclose(pPipe);
    return nStatus != -1 && WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0;
}

bool ReadWholeFile(const std::string& strPath, Bytes& data)
{
    std::ifstream file(strPath, std::ios::binary | std::ios::ate);
    if (!file)
        return false;
    const std::streamoff nLength = file.tellg();
    if (nLength < 0)
        return false;
    data.resize(static_cast<size_t>(nLength));
    file.seekg(0);
    file.read(reinterpret_cast<char*>(data.data()), nLength);
    return static_cast<bool>(file) || (nLength == 0 && !file.bad());
}

bool WriteWholeFile(const std::string& strPath, const Bytes& data)
{
    std::ofstream file(strPath, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    return static_cast<bool>(file);
}

bool PathExists(const std::string& strPath)
{
    struct stat st;
    return lstat(strPath.c_str(), &st) == 0;
}

std::vector<std::string> ListFolder(const std::string& strFolder)
{
    std::vector<std::string> vecNames;
    if (DIR* pDir = opendir(strFolder.c_str()))
    {
        while (dirent* pEntry = readdir(pDir))
            if (strcmp(pEntry->d_name, ".") != 0 && strcmp(pEntry->d_name, "..") != 0)
                vecNames.push_back(pEntry->d_name);
        closedir(pDir);
    }
    std::sort(vecNames.begin(), vecNames.end());
    return vecNames;
}

bool MakeFolders(const std::string& strPath)
{
    return RunCommand("mkdir -p " + Quote(strPath));
}

void RemoveTree(const std::string& strPath)
{
    // Read-only files inside do not stop rm; a leftover folder is harmless.
    RunCommand("rm -rf " + Quote(strPath));
}

std::string MakeTempFolder(const std::string& strParent)
{
    MakeFolders(strParent);
    std::string strTemplate = strParent + "/XXXXXX";
    std::vector<char> vecName(strTemplate.begin(), strTemplate.end());
    vecName.push_back('\0');
    if (!mkdtemp(vecName.data()))
        return std::string();
    return vecName.data();
}

Bytes PseudoRandomBytes(size_t nLength, unsigned long long n64Seed)
{
    // splitmix64
    Bytes data(nLength);
    unsigned long long n64State = n64Seed;
    for (size_t i = 0; i < nLength; i += 8)
    {
        unsigned long long z = (n64State += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        for (size_t j = 0; j < 8 && i + j < nLength; ++j)
            data[i + j] = static_cast<BYTE>(z >> (8 * j));
    }
    return data;
}

// ---- Sleuth Kit ---------------------------------------------------------------

namespace
{

std::string OffsetOption(unsigned long long n64StartSector)
{
    return n64StartSector ? " -o " + std::to_string(n64StartSector) : std::string();
}

}  // namespace

bool Istat(const std::string& strImage, unsigned long long n64StartSector, DWORD dwInode,
           CIstatInfo& info)
{
    std::string strOutput;
    if (!RunCommand("istat" + OffsetOption(n64StartSector) + " " + Quote(strImage) + " " +
                 std::to_string(dwInode),
             &strOutput))
        return false;
    info = CIstatInfo();
    std::istringstream lines(strOutput);
    std::string strLine;
    bool bInAttributes = false;
    bool bCollecting = false;
    while (std::getline(lines, strLine))
    {
        if (strLine.rfind("Attributes:", 0) == 0)
        {
            bInAttributes = true;
            continue;
        }
        if (!bInAttributes)
            continue;
        if (strLine.rfind("Type: ", 0) == 0)
        {
            bCollecting = false;
            // Type: $DATA (128-4)   Name: extra   Resident   size: 100
            if (strLine.rfind("Type: $DATA (", 0) != 0)
                continue;
            CDataStream stream;
            size_t nOpen = strLine.find('(');
            size_t nClose = strLine.find(')', nOpen);
            stream.m_strId = strLine.substr(nOpen + 1, nClose - nOpen - 1);
            size_t nName = strLine.find("Name: ", nClose);
            size_t nNameEnd = strLine.find("   ", nName);
            std::string strName = strLine.substr(nName + 6, nNameEnd - nName - 6);
            stream.m_strName = strName == "N/A" ? std::string() : strName;
            stream.m_bResident = strLine.find("Non-Resident") == std::string::npos;
            if (!stream.m_bResident && info.m_vecClusters.empty())
                bCollecting = true;
            info.m_vecStreams.push_back(stream);
            continue;
        }
        if (bCollecting)
        {
            std::istringstream numbers(strLine);
            unsigned long long n64Cluster;
            while (numbers >> n64Cluster)
            {
                if (info.m_vecClusters.empty() || n64Cluster != info.m_vecClusters.back() + 1)
                    ++info.m_nRuns;
                info.m_vecClusters.push_back(n64Cluster);
            }
        }
    }
    return true;
}

bool Icat(const std::string& strImage, unsigned long long n64StartSector,
          const std::string& strAddress, Bytes& data)
{
    std::string strOutput;
    if (!RunCommand("icat" + OffsetOption(n64StartSector) + " " + Quote(strImage) + " " + strAddress,
             &strOutput))
        return false;
    data.assign(strOutput.begin(), strOutput.end());
    return true;
}

bool IcatAllStreams(const std::string& strImage, unsigned long long n64StartSector,
                    DWORD dwInode, Bytes& data)
{
    CIstatInfo info;
    if (!Istat(strImage, n64StartSector, dwInode, info))
        return false;
    data.clear();
    for (const CDataStream& stream : info.m_vecStreams)
    {
        Bytes streamData;
        if (!Icat(strImage, n64StartSector, std::to_string(dwInode) + "-" + stream.m_strId,
                  streamData))
            return false;
        data.insert(data.end(), streamData.begin(), streamData.end());
    }
    return true;
}

// ---- images -----------------------------------------------------------------

namespace
{

DWORD Le16(const BYTE* p) { return p[0] | (p[1] << 8); }
DWORD Le32(const BYTE* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<DWORD>(p[3]) << 24);
}
void Put16(BYTE* p, DWORD v)
{
    p[0] = static_cast<BYTE>(v);
    p[1] = static_cast<BYTE>(v >> 8);
}
void Put32(BYTE* p, DWORD v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<BYTE>(v >> (8 * i));
}

const DWORD kSectorSize = 512;
const DWORD kAttrFileName = 0x30;
const DWORD kAttrEnd = 0xFFFFFFFF;

// Undoes (bUndo false: redoes) the update sequence of a record; false when
// the record's sequence is not consistent.
bool FixUp(BYTE* pRecord, DWORD dwRecordSize, bool bUndo)
{
    const DWORD dwOffset = Le16(pRecord + 0x04);
    const DWORD dwCount = Le16(pRecord + 0x06);
    if (dwCount < 2 || dwCount - 1 != dwRecordSize / kSectorSize || dwOffset > dwRecordSize ||
        dwCount * 2 > dwRecordSize - dwOffset)
        return false;
    BYTE* pArray = pRecord + dwOffset;
    for (DWORD i = 1; i < dwCount; ++i)
    {
        BYTE* pTail = pRecord + i * kSectorSize - 2;
        if (bUndo)
        {
            if (memcmp(pTail, pArray, 2) != 0)
                return false;
            memcpy(pTail, pArray + 2 * i, 2);
        }
        else
        {
            memcpy(pArray + 2 * i, pTail, 2);
            memcpy(pTail, pArray, 2);
        }
    }
    return true;
}

// Offsets of the $FILE_NAME values in a record whose update sequence is undone.
std::vector<DWORD> FileNameValues(const BYTE* pRecord, DWORD dwRecordSize)
{
    std::vector<DWORD> vecValues;
    DWORD dwOffset = Le16(pRecord + 0x14);
    while (dwOffset <= dwRecordSize - 8)
    {
        const DWORD dwType = Le32(pRecord + dwOffset);
        const DWORD dwLength = Le32(pRecord + dwOffset + 4);
        if (dwType == kAttrEnd || dwLength < 0x18 || dwLength > dwRecordSize - dwOffset)
            break;
        if (dwType == kAttrFileName && pRecord[dwOffset + 8] == 0)
        {
            const DWORD dwValueLength = Le32(pRecord + dwOffset + 0x10);
            const DWORD dwValueOffset = Le16(pRecord + dwOffset + 0x14);
            if (dwValueOffset <= dwLength && dwValueLength <= dwLength - dwValueOffset &&
                dwValueLength >= 0x42)
                vecValues.push_back(dwOffset + dwValueOffset);
        }
        dwOffset += dwLength;
    }
    return vecValues;
}

bool NameMatches(const BYTE* pValue, DWORD dwValueRoom, const std::string& strName)
{
    const DWORD dwUnits = pValue[0x40];
    if (dwUnits != strName.size() || 0x42 + 2 * dwUnits > dwValueRoom)
        return false;
    for (DWORD i = 0; i < dwUnits; ++i)
        if (Le16(pValue + 0x42 + 2 * i) != static_cast<unsigned char>(strName[i]))
            return false;
    return true;
}

}  // namespace

bool MakeDiskImage(const std::string& strDisk, const std::string& strVolume,
                   DWORD dwStartSector, unsigned long long n64Bytes)
{
    Bytes volume;
    if (!ReadWholeFile(strVolume, volume))
        return false;
    const unsigned long long n64Start = static_cast<unsigned long long>(dwStartSector) * 512;
    if (n64Start + volume.size() > n64Bytes)
        return false;
    if (!RunCommand("truncate -s 0 " + Quote(strDisk) + " && truncate -s " + std::to_string(n64Bytes) +
             " " + Quote(strDisk)))
        return false;
    BYTE mbr[512] = {};
    BYTE* pEntry = mbr + 446;
    pEntry[0] = 0x00;
    pEntry[4] = 0x07;  // NTFS
    Put32(pEntry + 8, dwStartSector);
    Put32(pEntry + 12, static_cast<DWORD>(volume.size() / 512));
    // CHS fields: "beyond addressing", as partitioning tools write for LBA disks
    pEntry[1] = pEntry[5] = 0xFE;
    pEntry[2] = pEntry[3] = pEntry[6] = pEntry[7] = 0xFF;
    mbr[510] = 0x55;
    mbr[511] = 0xAA;
    std::fstream disk(strDisk, std::ios::binary | std::ios::in | std::ios::out);
    disk.write(reinterpret_cast<const char*>(mbr), sizeof(mbr));
    disk.seekp(static_cast<std::streamoff>(n64Start));
    disk.write(reinterpret_cast<const char*>(volume.data()), static_cast<std::streamsize>(volume.size()));
    return static_cast<bool>(disk);
}

bool EditRecordByName(const std::string& strVolume, const std::string& strName,
                      const RecordEditor& fnEdit, DWORD* pdwIndex)
{
    Bytes volume;
    if (!ReadWholeFile(strVolume, volume))
        return false;
    // Records start on sector boundaries; the header says how long each is.
    for (size_t nOffset = 0; nOffset + kSectorSize <= volume.size(); nOffset += kSectorSize)
    {
        BYTE* pRecord = volume.data() + nOffset;
        if (memcmp(pRecord, "FILE", 4) != 0)
            continue;
        const DWORD dwRecordSize = Le32(pRecord + 0x1C);
        if ((dwRecordSize != 1024 && dwRecordSize != 4096) || dwRecordSize > volume.size() - nOffset)
            continue;
        Bytes record(pRecord, pRecord + dwRecordSize);
        if (!FixUp(record.data(), dwRecordSize, true))
            continue;
        std::vector<DWORD> vecValues = FileNameValues(record.data(), dwRecordSize);
        bool bMatch = false;
        for (DWORD dwValue : vecValues)
            bMatch = bMatch || NameMatches(record.data() + dwValue, dwRecordSize - dwValue, strName);
        if (!bMatch)
            continue;
        if (!fnEdit(record.data(), dwRecordSize, vecValues) ||
            !FixUp(record.data(), dwRecordSize, false))
            return false;
        memcpy(pRecord, record.data(), dwRecordSize);
        if (pdwIndex)
            *pdwIndex = Le32(record.data() + 0x2C);
        return WriteWholeFile(strVolume, volume);
    }
    return false;
}

RecordEditor RenameTo(const std::u16string& strNewName)
{
    return [strNewName](BYTE* pRecord, DWORD, const std::vector<DWORD>& vecValues) {
        for (DWORD dwValue : vecValues)
        {
            BYTE* pValue = pRecord + dwValue;
            const DWORD dwOldUnits = pValue[0x40];
            if (strNewName.size() > dwOldUnits)
                return false;
            for (DWORD i = 0; i < dwOldUnits; ++i)
                Put16(pValue + 0x42 + 2 * i, i < strNewName.size() ? strNewName[i] : 0);
            pValue[0x40] = static_cast<BYTE>(strNewName.size());
        }
        return true;
    };
}

RecordEditor SetNameFlags(DWORD dwFlags)
{
    return [dwFlags](BYTE* pRecord, DWORD, const std::vector<DWORD>& vecValues) {
        for (DWORD dwValue : vecValues)
            Put32(pRecord + dwValue + 0x38, dwFlags);
        return true;
    };
}

RecordEditor MarkNonResident(DWORD dwType)
{
    return [dwType](BYTE* pRecord, DWORD dwRecordSize, const std::vector<DWORD>&) {
        DWORD dwOffset = Le32(pRecord + 0x14) & 0xFFFF;
        while (dwOffset + 16 <= dwRecordSize)
        {
            const DWORD dwLength = Le32(pRecord + dwOffset + 4);
            if (Le32(pRecord + dwOffset) == dwType)
            {
                pRecord[dwOffset + 8] = 1;
                return true;
            }
            if (dwLength == 0 || Le32(pRecord + dwOffset) == 0xFFFFFFFF)
                break;
            dwOffset += dwLength;
        }
        return false;
    };
}

unsigned long long FileMTimeNs(const std::string& strPath)
{
    struct stat st;
    if (stat(strPath.c_str(), &st) != 0)
        return 0;
    return static_cast<unsigned long long>(st.st_mtim.tv_sec) * 1000000000ull +
           static_cast<unsigned long long>(st.st_mtim.tv_nsec);
}

}  // namespace extract_test
