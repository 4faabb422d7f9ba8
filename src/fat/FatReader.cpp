// The FAT in windows and the map of clusters in use.
#include "fat/FatReader.h"

#include <algorithm>
#include <cstring>

namespace fat
{

bool CClusterMap::Reset(DWORD dwClusters)
{
    const size_t nBytes = (static_cast<size_t>(dwClusters) + 7) / 8;
    m_vecBits.clear();
    m_dwClusters = 0;
    if (nBytes > kMaxBytes)
        return false;
    m_vecBits.assign(nBytes, 0);
    m_dwClusters = dwClusters;
    return true;
}

void CFatTable::Reset(const CVolumeReader* pReader, const CFatBoot& boot)
{
    m_pReader = pReader;
    m_eKind = boot.m_eKind;
    m_n64FatOffset = boot.m_n64FatSector * boot.m_dwBytesPerSector;
    m_dwClusterCount = boot.m_dwClusterCount;
    // The entries of clusters 0 to count + 1 (the boot sector checked that
    // the FAT holds them), the 16-bit word of a FAT12's last odd entry too.
    m_n64FatBytes = std::min<ULONGLONG>(FatEntryOffset(m_eKind, m_dwClusterCount + kFirstCluster) + 4,
                                        boot.m_n64FatSectors * boot.m_dwBytesPerSector);
    m_vecWindow.clear();
    m_bLoaded = false;
}

DWORD CFatTable::Load(ULONGLONG n64Offset, size_t nBytes)
{
    m_bLoaded = false;
    m_vecWindow.resize(nBytes);
    if (DWORD dwError = m_pReader->ReadAt(m_n64FatOffset + n64Offset, m_vecWindow.data(), nBytes))
        return dwError;
    m_n64WindowStart = n64Offset;
    m_bLoaded = true;
    return 0;
}

DWORD CFatTable::Entry(DWORD dwCluster, DWORD& dwValue)
{
    if (!m_pReader || dwCluster < kFirstCluster || dwCluster - kFirstCluster >= m_dwClusterCount)
        return ERROR_INVALID_PARAMETER;
    const ULONGLONG n64Off = FatEntryOffset(m_eKind, dwCluster);
    const ULONGLONG n64Width = m_eKind == eKindFat12 || m_eKind == eKindFat16 ? 2 : 4;
    if (!m_bLoaded || n64Off < m_n64WindowStart || n64Off + n64Width > m_n64WindowStart + m_vecWindow.size())
    {
        // The whole FAT when it is small; else the window around the entry,
        // on a boundary that is a whole number of FAT12 entry pairs.
        ULONGLONG n64Start = 0;
        size_t nBytes = static_cast<size_t>(m_n64FatBytes);
        if (m_n64FatBytes > kWholeBytes)
        {
            n64Start = n64Off / kWindowBytes * kWindowBytes;
            nBytes = static_cast<size_t>(std::min<ULONGLONG>(kWindowBytes + 4, m_n64FatBytes - n64Start));
        }
        if (DWORD dwError = Load(n64Start, nBytes))
            return dwError;
    }
    // The window starts at an entry: cluster m_n64WindowStart / width.
    const DWORD dwBase = m_eKind == eKindFat12 ? static_cast<DWORD>(m_n64WindowStart / 3 * 2)
                         : m_eKind == eKindFat16 ? static_cast<DWORD>(m_n64WindowStart / 2)
                                                 : static_cast<DWORD>(m_n64WindowStart / 4);
    if (!ReadFatEntry(m_vecWindow.data(), m_vecWindow.size(), m_eKind, dwBase, dwCluster, dwValue))
        return ERROR_INVALID_PARAMETER;
    return 0;
}

DWORD CFatTable::FillMap(CClusterMap& map, const std::atomic<BYTE>* pStop)
{
    if (!map.Known())
        return 0;
    for (DWORD dw = 0; dw < m_dwClusterCount; ++dw)
    {
        if ((dw & 0xFFFF) == 0 && pStop && pStop->load())
            return ERROR_OPERATION_ABORTED;
        DWORD dwValue = 0;
        if (DWORD dwError = Entry(dw + kFirstCluster, dwValue))
            return dwError;
        if (dwValue != 0)
            map.Set(dw + kFirstCluster);
    }
    return 0;
}

}  // namespace fat
