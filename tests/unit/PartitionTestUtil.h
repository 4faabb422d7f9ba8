// Helpers for the partition table tests: disk images with hand-written
// tables, the first disk pointed at an image, and the outside tools.
#pragma once

#include "GptWriter.h"
#include "disk/PartitionTable.h"
#include "platform/FaultInjection.h"
#include "support/DiskGuard.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace salvix_test
{

// One partition entry as it stands in a table sector.
struct CEntry
{
    BYTE m_byType = 0;
    DWORD m_dwFirst = 0;
    DWORD m_dwCount = 0;
    BYTE m_byHead = 0;
    BYTE m_bySectorByte = 0;
    BYTE m_byCylinderLow = 0;
};

inline void PutLE32(BYTE* p, DWORD dwValue)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<BYTE>(dwValue >> (8 * i));
}

// A temporary folder, removed with everything in it.
class CTempDir
{
public:
    CTempDir()
    {
        const char* pszBase = getenv("TMPDIR");
        std::string strTemplate = std::string(pszBase && *pszBase ? pszBase : "/tmp") +
                                  "/salvix-part-XXXXXX";
        std::vector<char> vecName(strTemplate.begin(), strTemplate.end());
        vecName.push_back('\0');
        if (mkdtemp(vecName.data()))
            m_strPath = vecName.data();
    }
    ~CTempDir()
    {
        std::error_code ec;
        if (!m_strPath.empty())
            std::filesystem::remove_all(m_strPath, ec);
    }
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    std::string File(const std::string& strName) const { return m_strPath + "/" + strName; }

    std::string m_strPath;
};

// A disk image file, sparse, with table sectors written where asked.
class CDiskImage
{
public:
    CDiskImage(const std::string& strPath, ULONGLONG n64Size) : m_strPath(strPath)
    {
        std::ofstream(strPath, std::ios::binary | std::ios::trunc);
        std::filesystem::resize_file(strPath, n64Size);
    }

    // Writes a table sector at n64Sector: up to four entries, the rest empty,
    // and the boot signature.
    void WriteTable(ULONGLONG n64Sector, const std::vector<CEntry>& vecEntries) const
    {
        BYTE abySector[512] = {};
        for (size_t i = 0; i < vecEntries.size() && i < 4; ++i)
        {
            BYTE* p = abySector + 446 + 16 * i;
            const CEntry& entry = vecEntries[i];
            p[1] = entry.m_byHead;
            p[2] = entry.m_bySectorByte;
            p[3] = entry.m_byCylinderLow;
            p[4] = entry.m_byType;
            PutLE32(p + 8, entry.m_dwFirst);
            PutLE32(p + 12, entry.m_dwCount);
        }
        abySector[510] = 0x55;
        abySector[511] = 0xAA;
        std::fstream file(m_strPath, std::ios::binary | std::ios::in | std::ios::out);
        file.seekp(static_cast<std::streamoff>(n64Sector * 512));
        file.write(reinterpret_cast<const char*>(abySector), sizeof(abySector));
        ASSERT_TRUE(file.good()) << "cannot write sector " << n64Sector << " of " << m_strPath;
    }

    // Writes a GUID partition table (see GptWriter.h).
    void WriteGpt(const GptLayout& layout) const
    {
        ASSERT_TRUE(::WriteGpt(m_strPath, layout)) << "cannot write a GPT into " << m_strPath;
    }

    // Lets fnChange edit nBytes at n64Offset, then writes them back.
    template <class F>
    void Patch(ULONGLONG n64Offset, size_t nBytes, F fnChange) const
    {
        std::vector<BYTE> vecBytes(nBytes);
        std::fstream file(m_strPath, std::ios::binary | std::ios::in | std::ios::out);
        file.seekg(static_cast<std::streamoff>(n64Offset));
        file.read(reinterpret_cast<char*>(vecBytes.data()), static_cast<std::streamsize>(nBytes));
        fnChange(vecBytes.data());
        file.seekp(static_cast<std::streamoff>(n64Offset));
        file.write(reinterpret_cast<const char*>(vecBytes.data()), static_cast<std::streamsize>(nBytes));
        ASSERT_TRUE(file.good()) << "cannot patch " << m_strPath << " at " << n64Offset;
    }

    std::string m_strPath;
};

// Points the first disk at an image for the life of the object.
// The walk reads "the first disk": the one guard of tests/support points it at an image.
using CFirstDiskIs = CDiskGuard;

// What one walk listed.
struct CListed
{
    std::string m_strText;
    PartitionRecord m_record;
};

struct CWalkResult
{
    DWORD m_dwResult = 0;
    std::vector<CListed> m_vecItems;
    ULONGLONG m_n64Reads = 0;  // ReadFile calls the walk made

    std::vector<std::string> Texts() const
    {
        std::vector<std::string> vecTexts;
        for (const CListed& item : m_vecItems)
            vecTexts.push_back(item.m_strText);
        return vecTexts;
    }
    std::vector<DWORD> FirstSectors() const
    {
        std::vector<DWORD> vecSectors;
        for (const CListed& item : m_vecItems)
            vecSectors.push_back(item.m_record.dwFirstSector);
        return vecSectors;
    }
    std::vector<ULONGLONG> FirstSectors64() const
    {
        std::vector<ULONGLONG> vecSectors;
        for (const CListed& item : m_vecItems)
            vecSectors.push_back(item.m_record.qwFirstSector);
        return vecSectors;
    }
};

// Walks the tables of the image at strPath as the first disk.
inline CWalkResult WalkImage(const std::string& strPath)
{
    CFirstDiskIs disk(strPath);
    CWalkResult result;
    ResetIoCounters();
    result.m_dwResult = WalkPartitionTables([&](const char* pszText, const PartitionRecord& record) {
        result.m_vecItems.push_back({pszText, record});
    });
    result.m_n64Reads = GetIoCounters().m_n64Reads;
    return result;
}

// The number of open file descriptors of this process, or -1 where that
// cannot be told.
inline int OpenDescriptorCount()
{
    std::error_code ec;
    std::filesystem::directory_iterator it("/proc/self/fd", ec);
    if (ec)
        return -1;
    int nCount = 0;
    for (; it != std::filesystem::directory_iterator(); it.increment(ec))
        ++nCount;
    return nCount;
}

// The full path of an outside tool, looked for on PATH and in the system
// folders that are not on an ordinary user's PATH; empty when missing.
inline std::string FindTool(const std::string& strName)
{
    std::vector<std::string> vecDirs;
    if (const char* pszPath = getenv("PATH"))
    {
        std::string strPath = pszPath;
        size_t nStart = 0;
        while (nStart <= strPath.size())
        {
            size_t nEnd = strPath.find(':', nStart);
            if (nEnd == std::string::npos)
                nEnd = strPath.size();
            if (nEnd > nStart)
                vecDirs.push_back(strPath.substr(nStart, nEnd - nStart));
            nStart = nEnd + 1;
        }
    }
    for (const char* pszDir : {"/usr/sbin", "/sbin", "/usr/bin", "/bin"})
        vecDirs.push_back(pszDir);
    for (const std::string& strDir : vecDirs)
    {
        std::string strCandidate = strDir + "/" + strName;
        std::error_code ec;
        if (std::filesystem::is_regular_file(strCandidate, ec))
            return strCandidate;
    }
    return std::string();
}

// Quotes a word for the shell.
inline std::string ShellQuote(const std::string& strWord)
{
    std::string strQuoted = "'";
    for (char c : strWord)
        strQuoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return strQuoted + "'";
}

// Runs a shell command; its standard output, and its exit status in nStatus.
inline std::string RunCommand(const std::string& strCommand, int& nStatus)
{
    std::string strOutput;
    nStatus = -1;
    FILE* pPipe = popen(strCommand.c_str(), "r");
    if (!pPipe)
        return strOutput;
    char szBuffer[4096];
    size_t n;
    while ((n = fread(szBuffer, 1, sizeof(szBuffer), pPipe)) > 0)
        strOutput.append(szBuffer, n);
    nStatus = pclose(pPipe);
    return strOutput;
}

}  // namespace salvix_test
