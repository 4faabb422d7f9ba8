#include "ntfs/ExtentReader.h"

#include <algorithm>
#include <cstring>

using ntfs::CExtent;

namespace
{

// The extent holding VCN n64Vcn, or end() when none does.
std::vector<CExtent>::const_iterator FindExtent(const std::vector<CExtent>& vecExtents,
                                                ULONGLONG n64Vcn)
{
    auto it = std::upper_bound(vecExtents.begin(), vecExtents.end(), n64Vcn,
                               [](ULONGLONG n64, const CExtent& e) { return n64 < e.m_n64Vcn; });
    if (it == vecExtents.begin())
        return vecExtents.end();
    --it;
    if (n64Vcn - it->m_n64Vcn >= it->m_n64Clusters)
        return vecExtents.end();
    return it;
}

}  // namespace

bool CExtentReader::InsideVolume(const std::vector<CExtent>& vecExtents) const
{
    const ULONGLONG n64VolumeClusters = m_volume.Geometry().m_n64Clusters;
    if (n64VolumeClusters == 0)
        return true;
    for (const CExtent& extent : vecExtents)
        if (!extent.m_bSparse && (extent.m_n64Lcn >= n64VolumeClusters ||
                                  extent.m_n64Clusters > n64VolumeClusters - extent.m_n64Lcn))
            return false;
    return true;
}

ULONGLONG CExtentReader::CoveredBytes(const std::vector<CExtent>& vecExtents) const
{
    const DWORD dwCluster = ClusterSize();
    ULONGLONG n64Vcn = 0;
    for (const CExtent& extent : vecExtents)
    {
        if (extent.m_n64Vcn != n64Vcn)
            break;
        n64Vcn += extent.m_n64Clusters;
    }
    if (dwCluster == 0 || n64Vcn > ~0ull / dwCluster)
        return ~0ull;
    return n64Vcn * dwCluster;
}

DWORD CExtentReader::Read(const std::vector<CExtent>& vecExtents, ULONGLONG n64Offset, BYTE* pDest,
                          size_t nCount) const
{
    const DWORD dwCluster = ClusterSize();
    const ULONGLONG n64VolumeClusters = m_volume.Geometry().m_n64Clusters;
    if (dwCluster == 0 || (!pDest && nCount))
        return ERROR_INVALID_PARAMETER;
    while (nCount > 0)
    {
        if (m_volume.Stopped())
            return ERROR_OPERATION_ABORTED;
        const ULONGLONG n64Vcn = n64Offset / dwCluster;
        const DWORD dwInCluster = static_cast<DWORD>(n64Offset % dwCluster);
        auto it = FindExtent(vecExtents, n64Vcn);
        if (it == vecExtents.end())
            return ERROR_INVALID_PARAMETER;
        // Bytes of this extent from the offset on; never more than a piece.
        const ULONGLONG n64ClustersLeft = it->m_n64Clusters - (n64Vcn - it->m_n64Vcn);
        const ULONGLONG n64Avail =
            n64ClustersLeft >= (~0ull / dwCluster) ? ~0ull : n64ClustersLeft * dwCluster - dwInCluster;
        const DWORD dwPiece = static_cast<DWORD>(std::min<ULONGLONG>({n64Avail, nCount, kPieceSize}));
        if (it->m_bSparse)
        {
            memset(pDest, 0, dwPiece);
        }
        else
        {
            const ULONGLONG n64Lcn = it->m_n64Lcn + (n64Vcn - it->m_n64Vcn);
            // The last cluster this piece touches must lie inside the volume.
            const ULONGLONG n64LastOfPiece = (static_cast<ULONGLONG>(dwInCluster) + dwPiece - 1) / dwCluster;
            if (n64VolumeClusters != 0 &&
                (n64Lcn >= n64VolumeClusters || n64LastOfPiece >= n64VolumeClusters - n64Lcn))
                return ERROR_DISK_CORRUPT;
            if (n64Lcn >= ~0ull / dwCluster)
                return ERROR_INVALID_PARAMETER;
            if (DWORD dwError = m_volume.ReadAt(n64Lcn * dwCluster + dwInCluster, pDest, dwPiece))
                return dwError;
        }
        pDest += dwPiece;
        n64Offset += dwPiece;
        nCount -= dwPiece;
    }
    return 0;
}
