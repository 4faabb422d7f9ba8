// The partition walk over an image given as the first disk, with what it
// listed and how many reads it took.
#pragma once

#include "support/DiskGuard.h"
#include "support/NtfsImage.h"

#include "disk/PartitionTable.h"
#include "platform/FaultInjection.h"

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace salvix_test
{

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
    double m_dSeconds = 0;

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
    CDiskGuard disk(strPath);
    CWalkResult result;
    ResetIoCounters();
    const auto start = std::chrono::steady_clock::now();
    result.m_dwResult = WalkPartitionTables([&](const char* pszText, const PartitionRecord& record) {
        result.m_vecItems.push_back({pszText, record});
    });
    result.m_dSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
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

}  // namespace salvix_test
