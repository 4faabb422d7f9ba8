#include "ntfs/ClusterBitmap.h"

#include "platform/Platform.h"

#include <cstring>

namespace
{

int PopCount(ULONGLONG n64)
{
    return __builtin_popcountll(n64);
}

}  // namespace

DWORD CClusterBitmap::Reset(ULONGLONG n64Clusters)
{
    Clear();
    const ULONGLONG n64Bytes = n64Clusters / 8 + (n64Clusters % 8 ? 1 : 0);
    if (n64Bytes > kMaxBytes)
        return ERROR_FILE_TOO_LARGE;
    m_pBytes.reset(AllocBytes(n64Bytes ? n64Bytes : 1));
    if (!m_pBytes)
        return ERROR_NOT_ENOUGH_MEMORY;
    m_nBytes = static_cast<size_t>(n64Bytes);
    memset(m_pBytes.get(), 0, m_nBytes);
    m_n64Clusters = n64Clusters;
    return 0;
}

void CClusterBitmap::Clear()
{
    m_pBytes.reset();
    m_nBytes = 0;
    m_n64Clusters = 0;
    m_bUsable = false;
}

bool CClusterBitmap::InUse(ULONGLONG n64Cluster) const
{
    if (n64Cluster >= m_n64Clusters)
        return true;
    return (m_pBytes[n64Cluster / 8] >> (n64Cluster % 8)) & 1;
}

ULONGLONG CClusterBitmap::CountInUse(ULONGLONG n64First, ULONGLONG n64Count) const
{
    if (n64First >= m_n64Clusters)
        return n64Count;
    // What lies past the volume counts as in use.
    const ULONGLONG n64Inside = n64Count > m_n64Clusters - n64First ? m_n64Clusters - n64First : n64Count;
    ULONGLONG n64Used = n64Count - n64Inside;
    ULONGLONG n64Cluster = n64First;
    const ULONGLONG n64End = n64First + n64Inside;
    // Bit by bit to a byte's start, eight bytes at a time, then bit by bit.
    for (; n64Cluster < n64End && n64Cluster % 8 != 0; ++n64Cluster)
        n64Used += InUse(n64Cluster) ? 1 : 0;
    for (; n64End - n64Cluster >= 64; n64Cluster += 64)
    {
        ULONGLONG n64Word;
        memcpy(&n64Word, m_pBytes.get() + n64Cluster / 8, sizeof(n64Word));
        n64Used += static_cast<ULONGLONG>(PopCount(n64Word));
    }
    for (; n64End - n64Cluster >= 8; n64Cluster += 8)
        n64Used += static_cast<ULONGLONG>(PopCount(m_pBytes[n64Cluster / 8]));
    for (; n64Cluster < n64End; ++n64Cluster)
        n64Used += InUse(n64Cluster) ? 1 : 0;
    return n64Used;
}

CClusterTally TallyExtents(const std::vector<ntfs::CExtent>& vecExtents, const CClusterBitmap& bitmap)
{
    CClusterTally tally;
    for (const ntfs::CExtent& extent : vecExtents)
    {
        if (extent.m_bSparse)
            continue;
        tally.m_n64Stored += extent.m_n64Clusters;
        const bool bLeaves = extent.m_n64Lcn >= bitmap.Clusters() ||
                             extent.m_n64Clusters > bitmap.Clusters() - extent.m_n64Lcn;
        if (!bLeaves)
            tally.m_n64Free += extent.m_n64Clusters - bitmap.CountInUse(extent.m_n64Lcn, extent.m_n64Clusters);
    }
    return tally;
}
