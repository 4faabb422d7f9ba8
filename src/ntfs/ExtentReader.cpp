#include "ntfs/ExtentReader.h"

#include "disk/DeviceIo.h"

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
    if (m_n64VolumeClusters == 0)
        return true;
    for (const CExtent& extent : vecExtents)
        if (!extent.m_bSparse && (extent.m_n64Lcn >= m_n64VolumeClusters ||
                                  extent.m_n64Clusters > m_n64VolumeClusters - extent.m_n64Lcn))
            return false;
    return true;
}

ULONGLONG CExtentReader::CoveredBytes(const std::vector<CExtent>& vecExtents) const
{
    ULONGLONG n64Vcn = 0;
    for (const CExtent& extent : vecExtents)
    {
        if (extent.m_n64Vcn != n64Vcn)
            break;
        n64Vcn += extent.m_n64Clusters;
    }
    if (m_dwClusterSize == 0 || n64Vcn > ~0ull / m_dwClusterSize)
        return ~0ull;
    return n64Vcn * m_dwClusterSize;
}

DWORD CExtentReader::Read(const std::vector<CExtent>& vecExtents, ULONGLONG n64Offset, BYTE* pDest,
                          size_t nCount) const
{
    if (m_dwClusterSize == 0 || (!pDest && nCount))
        return ERROR_INVALID_PARAMETER;
    while (nCount > 0)
    {
        if (m_pStop && m_pStop->load())
            return ERROR_OPERATION_ABORTED;
        const ULONGLONG n64Vcn = n64Offset / m_dwClusterSize;
        const DWORD dwInCluster = static_cast<DWORD>(n64Offset % m_dwClusterSize);
        auto it = FindExtent(vecExtents, n64Vcn);
        if (it == vecExtents.end())
            return ERROR_INVALID_PARAMETER;
        // Bytes of this extent from the offset on; never more than a piece.
        const ULONGLONG n64ClustersLeft = it->m_n64Clusters - (n64Vcn - it->m_n64Vcn);
        ULONGLONG n64Avail = n64ClustersLeft >= (~0ull / m_dwClusterSize)
                                 ? ~0ull
                                 : n64ClustersLeft * m_dwClusterSize - dwInCluster;
        const DWORD dwPiece =
            static_cast<DWORD>(std::min<ULONGLONG>({n64Avail, nCount, kPieceSize}));
        if (it->m_bSparse)
        {
            memset(pDest, 0, dwPiece);
        }
        else
        {
            const ULONGLONG n64Lcn = it->m_n64Lcn + (n64Vcn - it->m_n64Vcn);
            // The last cluster this piece touches must lie inside the volume.
            const ULONGLONG n64LastOfPiece = (static_cast<ULONGLONG>(dwInCluster) + dwPiece - 1) / m_dwClusterSize;
            if (m_n64VolumeClusters != 0 &&
                (n64Lcn >= m_n64VolumeClusters || n64LastOfPiece >= m_n64VolumeClusters - n64Lcn))
                return ERROR_DISK_CORRUPT;
            if (n64Lcn >= (~0ull - m_n64VolumeOffset) / m_dwClusterSize)
                return ERROR_INVALID_PARAMETER;
            const ULONGLONG n64Position = n64Lcn * m_dwClusterSize + dwInCluster + m_n64VolumeOffset;
            DWORD dwGot = 0;
            if (DWORD dwError = ReadDeviceAt(m_hDevice, n64Position, pDest, dwPiece, dwGot))
                return dwError;
            if (dwGot < dwPiece)
                return ERROR_HANDLE_EOF;
        }
        pDest += dwPiece;
        n64Offset += dwPiece;
        nCount -= dwPiece;
    }
    return 0;
}
