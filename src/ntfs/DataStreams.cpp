// Reading one $DATA stream: a resident value, extents, compression units
// over them, and the zeros past the initialized size.
#include "ntfs/DataStreams.h"

#include "ntfs/Lznt1.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cstring>

namespace ntfs
{

namespace
{

// How far Stretch looks ahead: it may stop short, and the caller asks again
// from there.
const size_t kLookAheadExtents = 4096;
const ULONGLONG kLookAheadUnits = 4096;

// The extent holding VCN n64Vcn; the extents are joined from VCN 0 without gaps.
std::vector<CExtent>::const_iterator ExtentAt(const std::vector<CExtent>& vecExtents, ULONGLONG n64Vcn)
{
    auto it = std::upper_bound(vecExtents.begin(), vecExtents.end(), n64Vcn,
                               [](ULONGLONG n64, const CExtent& e) { return n64 < e.m_n64Vcn; });
    return it == vecExtents.begin() ? vecExtents.end() : it - 1;
}

}  // namespace

DWORD CResidentStream::Read(ULONGLONG n64Offset, BYTE* pDest, size_t nCount)
{
    memcpy(pDest, m_vecValue.data() + n64Offset, nCount);
    return 0;
}

ULONGLONG CResidentStream::Stretch(ULONGLONG n64Offset, bool& bHole) const
{
    bHole = false;
    return m_vecValue.size() - n64Offset;
}

DWORD CExtentStream::Read(ULONGLONG n64Offset, BYTE* pDest, size_t nCount)
{
    return m_reader.Read(m_vecExtents, n64Offset, pDest, nCount);
}

ULONGLONG CExtentStream::Stretch(ULONGLONG n64Offset, bool& bHole) const
{
    const ULONGLONG n64Cluster = m_reader.ClusterSize();
    auto it = ExtentAt(m_vecExtents, n64Offset / n64Cluster);
    bHole = it->m_bSparse;
    ULONGLONG n64End = it->m_n64Vcn + it->m_n64Clusters;
    for (size_t n = 0; ++it != m_vecExtents.end() && it->m_bSparse == bHole && n < kLookAheadExtents; ++n)
        n64End = it->m_n64Vcn + it->m_n64Clusters;
    return n64End * n64Cluster - n64Offset;
}

void CCompressedStream::CountUnit(ULONGLONG n64Unit, ULONGLONG& n64Stored, ULONGLONG& n64Length) const
{
    const std::vector<CExtent>& vecExtents = m_extents.Extents();
    const ULONGLONG n64First = n64Unit * m_dwUnitClusters;
    const ULONGLONG n64End = std::min<ULONGLONG>(n64First + m_dwUnitClusters, m_n64Vcns);
    n64Length = n64End - n64First;
    n64Stored = 0;
    for (auto it = ExtentAt(vecExtents, n64First); it != vecExtents.end() && it->m_n64Vcn < n64End; ++it)
    {
        if (it->m_bSparse)
            continue;
        const ULONGLONG n64From = std::max(it->m_n64Vcn, n64First);
        const ULONGLONG n64To = std::min(it->m_n64Vcn + it->m_n64Clusters, n64End);
        n64Stored += n64To - n64From;
    }
}

DWORD CCompressedStream::Read(ULONGLONG n64Offset, BYTE* pDest, size_t nCount)
{
    const ULONGLONG n64UnitBytes = UnitBytes();
    while (nCount > 0)
    {
        const ULONGLONG n64Unit = n64Offset / n64UnitBytes;
        const size_t nIn = static_cast<size_t>(n64Offset % n64UnitBytes);
        const size_t nPart = static_cast<size_t>(std::min<ULONGLONG>(nCount, n64UnitBytes - nIn));
        ULONGLONG n64Stored = 0, n64Length = 0;
        CountUnit(n64Unit, n64Stored, n64Length);
        if (n64Stored == 0)
            memset(pDest, 0, nPart);
        else if (n64Stored == n64Length)
        {
            // Every cluster stored, the short last unit too: kept as it is.
            if (DWORD dwError = m_extents.Read(n64Offset, pDest, nPart))
                return dwError;
        }
        else
        {
            if (m_cache.m_pOwner != this || m_cache.m_n64Unit != n64Unit)
                if (DWORD dwError = ExpandUnit(n64Unit))
                    return dwError;
            memcpy(pDest, m_cache.m_pOut.get() + nIn, nPart);
        }
        pDest += nPart;
        n64Offset += nPart;
        nCount -= nPart;
    }
    return 0;
}

DWORD CCompressedStream::ExpandUnit(ULONGLONG n64Unit)
{
    const DWORD dwCluster = m_extents.ClusterSize();
    const DWORD dwUnitBytes = m_dwUnitClusters * dwCluster;  // at most CEntryData::kMaxUnitBytes
    m_cache.m_pOwner = nullptr;
    if (m_cache.m_dwBytes < dwUnitBytes)
    {
        m_cache.m_pIn.reset(AllocBytes(dwUnitBytes));
        m_cache.m_pOut.reset(AllocBytes(dwUnitBytes));
        m_cache.m_dwBytes = m_cache.m_pIn && m_cache.m_pOut ? dwUnitBytes : 0;
        if (m_cache.m_dwBytes == 0)
            return ERROR_NOT_ENOUGH_MEMORY;
    }
    // The stored clusters, in VCN order, are the compressed stream.
    const std::vector<CExtent>& vecExtents = m_extents.Extents();
    const ULONGLONG n64First = n64Unit * m_dwUnitClusters;
    const ULONGLONG n64End = std::min<ULONGLONG>(n64First + m_dwUnitClusters, m_n64Vcns);
    size_t nIn = 0;
    for (auto it = ExtentAt(vecExtents, n64First); it != vecExtents.end() && it->m_n64Vcn < n64End; ++it)
    {
        if (it->m_bSparse)
            continue;
        const ULONGLONG n64From = std::max(it->m_n64Vcn, n64First);
        const size_t nBytes = static_cast<size_t>(std::min(it->m_n64Vcn + it->m_n64Clusters, n64End) - n64From) * dwCluster;
        if (DWORD dwError = m_extents.Read(n64From * dwCluster, m_cache.m_pIn.get() + nIn, nBytes))
            return dwError;
        nIn += nBytes;
    }
    if (Lznt1DecompressUnit(m_cache.m_pIn.get(), nIn, m_cache.m_pOut.get(), dwUnitBytes) != 0)
        return ERROR_INVALID_DATA;
    m_cache.m_pOwner = this;
    m_cache.m_n64Unit = n64Unit;
    return 0;
}

ULONGLONG CCompressedStream::Stretch(ULONGLONG n64Offset, bool& bHole) const
{
    const ULONGLONG n64UnitBytes = UnitBytes();
    const ULONGLONG n64Units = (m_n64Vcns + m_dwUnitClusters - 1) / m_dwUnitClusters;
    ULONGLONG n64Unit = n64Offset / n64UnitBytes;
    ULONGLONG n64Stored = 0, n64Length = 0;
    CountUnit(n64Unit, n64Stored, n64Length);
    bHole = n64Stored == 0;
    for (ULONGLONG n = 0; ++n64Unit < n64Units && n < kLookAheadUnits; ++n)
    {
        CountUnit(n64Unit, n64Stored, n64Length);
        if ((n64Stored == 0) != bHole)
            break;
    }
    return n64Unit * n64UnitBytes - n64Offset;
}

DWORD CInitializedStream::Read(ULONGLONG n64Offset, BYTE* pDest, size_t nCount)
{
    // Past the initialized size nothing was ever written: zeros, unread.
    const size_t nStored = m_tail.SplitRead(n64Offset, pDest, nCount);
    return nStored == 0 ? 0 : m_pStored->Read(n64Offset, pDest, nStored);
}

ULONGLONG CInitializedStream::Stretch(ULONGLONG n64Offset, bool& bHole) const
{
    if (n64Offset >= m_tail.m_n64Stored)
    {
        bHole = true;
        return m_tail.m_n64Size - n64Offset;
    }
    const ULONGLONG n64Length = m_pStored->Stretch(n64Offset, bHole);
    // Data ends where the initialized bytes do; a hole that reaches them
    // goes on to the stream's end.
    const ULONGLONG n64Initialized = m_tail.m_n64Stored - n64Offset;
    if (n64Length < n64Initialized)
        return n64Length;
    return bHole ? m_tail.m_n64Size - n64Offset : n64Initialized;
}

}  // namespace ntfs
