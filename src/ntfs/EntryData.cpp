// Reading a record's data once it is open: plain extents through the extent
// reader, compressed ones a unit at a time, and where the holes are.
#include "ntfs/EntryData.h"

#include "ntfs/Lznt1.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cstring>

using ntfs::CExtent;

namespace
{

// How far HoleLength and DataLength look ahead: they may stop short, and the
// caller asks again from there.
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

CEntryData::CEntryData() = default;

CEntryData::~CEntryData() = default;

void CEntryData::Close()
{
    m_bOpen = false;
    m_vecStreams.clear();
    m_vecStreams.shrink_to_fit();
    m_n64Size = 0;
    m_pUnitIn.reset();
    m_pUnitOut.reset();
    m_dwUnitBytes = 0;
    m_bUnitCached = false;
}

size_t CEntryData::StreamAt(ULONGLONG n64Offset) const
{
    // The last stream starting at or before the offset; empty streams that
    // start there too come before it.
    auto it = std::upper_bound(m_vecStreams.begin(), m_vecStreams.end(), n64Offset,
                               [](ULONGLONG n64, const CEntryStream& s) { return n64 < s.m_n64Start; });
    return static_cast<size_t>(it - m_vecStreams.begin()) - 1;
}

DWORD CEntryData::Read(ULONGLONG n64Offset, BYTE* pDest, size_t nCount)
{
    if (!m_bOpen)
        return ERROR_INVALID_ACCESS;
    if (nCount == 0)
        return 0;
    if (!pDest)
        return ERROR_INVALID_PARAMETER;
    if (n64Offset > m_n64Size || nCount > m_n64Size - n64Offset)
        return ERROR_HANDLE_EOF;
    while (nCount > 0)
    {
        const size_t nStream = StreamAt(n64Offset);
        const CEntryStream& stream = m_vecStreams[nStream];
        const ULONGLONG n64In = n64Offset - stream.m_n64Start;
        const size_t nPart = static_cast<size_t>(std::min<ULONGLONG>(nCount, stream.m_n64Size - n64In));
        if (DWORD dwError = ReadStream(nStream, n64In, pDest, nPart))
            return dwError;
        pDest += nPart;
        n64Offset += nPart;
        nCount -= nPart;
    }
    return 0;
}

DWORD CEntryData::ReadStream(size_t nStream, ULONGLONG n64Offset, BYTE* pDest, size_t nCount)
{
    const CEntryStream& stream = m_vecStreams[nStream];
    if (stream.m_bResident)
    {
        memcpy(pDest, stream.m_vecValue.data() + n64Offset, nCount);
        return 0;
    }
    // Past the initialized size nothing was ever written: zeros, unread.
    size_t nStored = 0;
    if (n64Offset < stream.m_n64Initialized)
        nStored = static_cast<size_t>(std::min<ULONGLONG>(nCount, stream.m_n64Initialized - n64Offset));
    memset(pDest + nStored, 0, nCount - nStored);
    if (nStored == 0)
        return 0;
    if (stream.m_dwUnitClusters == 0)
        return m_reader.Read(stream.m_vecExtents, n64Offset, pDest, nStored);
    return ReadCompressed(nStream, n64Offset, pDest, nStored);
}

void CEntryData::CountUnit(const CEntryStream& stream, ULONGLONG n64Unit, ULONGLONG& n64Stored,
                           ULONGLONG& n64Length) const
{
    const ULONGLONG n64First = n64Unit * stream.m_dwUnitClusters;
    const ULONGLONG n64End = std::min<ULONGLONG>(n64First + stream.m_dwUnitClusters, stream.m_n64Vcns);
    n64Length = n64End - n64First;
    n64Stored = 0;
    for (auto it = ExtentAt(stream.m_vecExtents, n64First);
         it != stream.m_vecExtents.end() && it->m_n64Vcn < n64End; ++it)
    {
        if (it->m_bSparse)
            continue;
        const ULONGLONG n64From = std::max(it->m_n64Vcn, n64First);
        const ULONGLONG n64To = std::min(it->m_n64Vcn + it->m_n64Clusters, n64End);
        n64Stored += n64To - n64From;
    }
}

DWORD CEntryData::ReadCompressed(size_t nStream, ULONGLONG n64Offset, BYTE* pDest, size_t nCount)
{
    const CEntryStream& stream = m_vecStreams[nStream];
    const ULONGLONG n64UnitBytes = static_cast<ULONGLONG>(stream.m_dwUnitClusters) * m_reader.ClusterSize();
    while (nCount > 0)
    {
        const ULONGLONG n64Unit = n64Offset / n64UnitBytes;
        const size_t nIn = static_cast<size_t>(n64Offset % n64UnitBytes);
        const size_t nPart = static_cast<size_t>(std::min<ULONGLONG>(nCount, n64UnitBytes - nIn));
        ULONGLONG n64Stored = 0, n64Length = 0;
        CountUnit(stream, n64Unit, n64Stored, n64Length);
        if (n64Stored == 0)
            memset(pDest, 0, nPart);
        else if (n64Stored == n64Length)
        {
            // Every cluster stored, the short last unit too: kept as it is.
            if (DWORD dwError = m_reader.Read(stream.m_vecExtents, n64Offset, pDest, nPart))
                return dwError;
        }
        else
        {
            if (!m_bUnitCached || m_nCachedStream != nStream || m_n64CachedUnit != n64Unit)
                if (DWORD dwError = ExpandUnit(nStream, n64Unit))
                    return dwError;
            memcpy(pDest, m_pUnitOut.get() + nIn, nPart);
        }
        pDest += nPart;
        n64Offset += nPart;
        nCount -= nPart;
    }
    return 0;
}

DWORD CEntryData::ExpandUnit(size_t nStream, ULONGLONG n64Unit)
{
    const CEntryStream& stream = m_vecStreams[nStream];
    const DWORD dwCluster = m_reader.ClusterSize();
    const DWORD dwUnitBytes = stream.m_dwUnitClusters * dwCluster;  // at most kMaxUnitBytes
    m_bUnitCached = false;
    if (m_dwUnitBytes < dwUnitBytes)
    {
        m_pUnitIn.reset(AllocBytes(dwUnitBytes));
        m_pUnitOut.reset(AllocBytes(dwUnitBytes));
        m_dwUnitBytes = m_pUnitIn && m_pUnitOut ? dwUnitBytes : 0;
        if (m_dwUnitBytes == 0)
            return ERROR_NOT_ENOUGH_MEMORY;
    }
    // The stored clusters, in VCN order, are the compressed stream.
    const ULONGLONG n64First = n64Unit * stream.m_dwUnitClusters;
    const ULONGLONG n64End = std::min<ULONGLONG>(n64First + stream.m_dwUnitClusters, stream.m_n64Vcns);
    size_t nIn = 0;
    for (auto it = ExtentAt(stream.m_vecExtents, n64First);
         it != stream.m_vecExtents.end() && it->m_n64Vcn < n64End; ++it)
    {
        if (it->m_bSparse)
            continue;
        const ULONGLONG n64From = std::max(it->m_n64Vcn, n64First);
        const size_t nBytes = static_cast<size_t>(std::min(it->m_n64Vcn + it->m_n64Clusters, n64End) - n64From) * dwCluster;
        if (DWORD dwError = m_reader.Read(stream.m_vecExtents, n64From * dwCluster, m_pUnitIn.get() + nIn, nBytes))
            return dwError;
        nIn += nBytes;
    }
    if (ntfs::Lznt1DecompressUnit(m_pUnitIn.get(), nIn, m_pUnitOut.get(), dwUnitBytes) != 0)
        return ERROR_INVALID_DATA;
    m_bUnitCached = true;
    m_nCachedStream = nStream;
    m_n64CachedUnit = n64Unit;
    return 0;
}

ULONGLONG CEntryData::Stretch(ULONGLONG n64Offset, bool bHole) const
{
    if (!m_bOpen || n64Offset >= m_n64Size)
        return 0;
    const CEntryStream& stream = m_vecStreams[StreamAt(n64Offset)];
    const ULONGLONG n64In = n64Offset - stream.m_n64Start;
    ULONGLONG n64Length = stream.m_n64Size - n64In;
    bool bIsHole = false;
    if (stream.m_bResident)
        bIsHole = false;
    else if (n64In >= stream.m_n64Initialized)
        bIsHole = true;
    else
    {
        n64Length = stream.m_dwUnitClusters ? UnitStretch(stream, n64In, bIsHole)
                                            : ExtentStretch(stream, n64In, bIsHole);
        // Data ends where the initialized bytes do; a hole that reaches them
        // goes on to the stream's end.
        const ULONGLONG n64Initialized = stream.m_n64Initialized - n64In;
        if (n64Length >= n64Initialized)
            n64Length = bIsHole ? stream.m_n64Size - n64In : n64Initialized;
    }
    return bIsHole == bHole ? n64Length : 0;
}

ULONGLONG CEntryData::ExtentStretch(const CEntryStream& stream, ULONGLONG n64Offset, bool& bHole) const
{
    const ULONGLONG n64Cluster = m_reader.ClusterSize();
    auto it = ExtentAt(stream.m_vecExtents, n64Offset / n64Cluster);
    bHole = it->m_bSparse;
    ULONGLONG n64End = it->m_n64Vcn + it->m_n64Clusters;
    for (size_t n = 0; ++it != stream.m_vecExtents.end() && it->m_bSparse == bHole && n < kLookAheadExtents; ++n)
        n64End = it->m_n64Vcn + it->m_n64Clusters;
    return n64End * n64Cluster - n64Offset;
}

ULONGLONG CEntryData::UnitStretch(const CEntryStream& stream, ULONGLONG n64Offset, bool& bHole) const
{
    const ULONGLONG n64UnitBytes = static_cast<ULONGLONG>(stream.m_dwUnitClusters) * m_reader.ClusterSize();
    const ULONGLONG n64Units = (stream.m_n64Vcns + stream.m_dwUnitClusters - 1) / stream.m_dwUnitClusters;
    ULONGLONG n64Unit = n64Offset / n64UnitBytes;
    ULONGLONG n64Stored = 0, n64Length = 0;
    CountUnit(stream, n64Unit, n64Stored, n64Length);
    bHole = n64Stored == 0;
    for (ULONGLONG n = 0; ++n64Unit < n64Units && n < kLookAheadUnits; ++n)
    {
        CountUnit(stream, n64Unit, n64Stored, n64Length);
        if ((n64Stored == 0) != bHole)
            break;
    }
    return n64Unit * n64UnitBytes - n64Offset;
}
