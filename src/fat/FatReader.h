// Reading a FAT or exFAT volume: the FAT (whole when small, else in windows)
// and which clusters are in use now; bytes come through disk/VolumeReader.h.
#pragma once

#include "disk/VolumeReader.h"
#include "fat/FatStructures.h"
#include "platform/Win32.h"

#include <atomic>
#include <memory>
#include <vector>

namespace fat
{

// One bit per cluster: in use now or not.
class CClusterMap
{
public:
    // False when the map would need more than kMaxBytes.
    bool Reset(DWORD dwClusters);
    void Clear() { m_vecBits.clear(); m_vecBits.shrink_to_fit(); m_dwClusters = 0; }
    bool Known() const { return m_dwClusters != 0; }
    DWORD Clusters() const { return m_dwClusters; }
    // Cluster numbers as the volume names them (from 2).
    bool InUse(DWORD dwCluster) const
    {
        const DWORD dw = dwCluster - kFirstCluster;
        return dwCluster >= kFirstCluster && dw < m_dwClusters && (m_vecBits[dw >> 3] >> (dw & 7)) & 1;
    }
    void Set(DWORD dwCluster)
    {
        const DWORD dw = dwCluster - kFirstCluster;
        m_vecBits[dw >> 3] |= static_cast<BYTE>(1u << (dw & 7));
    }
    BYTE* Bytes() { return m_vecBits.data(); }
    size_t ByteCount() const { return m_vecBits.size(); }

    // 32 MiB: every cluster a FAT32 volume can have, and an exFAT volume of
    // 1 TiB at 4 KiB clusters (larger ones at larger clusters).
    static const size_t kMaxBytes = 32u << 20;

private:
    std::vector<BYTE> m_vecBits;
    DWORD m_dwClusters = 0;
};

// The FAT of the volume: one copy, held whole up to kWholeBytes, else read
// in windows of kWindowBytes as entries are asked for.
class CFatTable
{
public:
    void Reset(const CVolumeReader* pReader, const CFatBoot& boot);
    // The entry of dwCluster: 0 or a read's code; ERROR_INVALID_PARAMETER for
    // a cluster outside the volume.
    DWORD Entry(DWORD dwCluster, DWORD& dwValue);
    // FAT12/16/32: marks every cluster whose entry is not 0, reading the FAT
    // once from start to end. Stops with ERROR_OPERATION_ABORTED on *pStop.
    DWORD FillMap(CClusterMap& map, const std::atomic<BYTE>* pStop);

    static const size_t kWholeBytes = 16u << 20;
    static const size_t kWindowBytes = 1u << 20;

private:
    DWORD Load(ULONGLONG n64Offset, size_t nBytes);

    const CVolumeReader* m_pReader = nullptr;
    EFatKind m_eKind = eKindNone;
    ULONGLONG m_n64FatOffset = 0;   // bytes from the volume's start
    ULONGLONG m_n64FatBytes = 0;    // what holds entries of clusters 0 .. count + 1
    DWORD m_dwClusterCount = 0;
    std::vector<BYTE> m_vecWindow;  // the FAT from m_n64WindowStart on
    ULONGLONG m_n64WindowStart = 0;
    bool m_bLoaded = false;
};

}  // namespace fat
