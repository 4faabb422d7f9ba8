// Reading a record's data once it is open: each stream through its stack of
// readers (ntfs/DataStreams.h), one after the other.
#include "ntfs/EntryData.h"

#include <algorithm>

CEntryData::CEntryData() = default;

CEntryData::~CEntryData() = default;

void CEntryData::Close()
{
    m_bOpen = false;
    m_vecStreams.clear();
    m_vecStreams.shrink_to_fit();
    m_vecParts.clear();
    m_vecParts.shrink_to_fit();
    m_n64Size = 0;
    m_unitCache = ntfs::CUnitCache();
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
    if (DWORD dwError = CheckStreamRead(m_bOpen, m_n64Size, n64Offset, pDest, nCount))
        return dwError;
    while (nCount > 0)
    {
        const size_t nStream = StreamAt(n64Offset);
        const CEntryStream& stream = m_vecStreams[nStream];
        const ULONGLONG n64In = n64Offset - stream.m_n64Start;
        const size_t nPart = static_cast<size_t>(std::min<ULONGLONG>(nCount, stream.m_n64Size - n64In));
        if (DWORD dwError = m_vecParts[nStream]->Read(n64In, pDest, nPart))
            return dwError;
        pDest += nPart;
        n64Offset += nPart;
        nCount -= nPart;
    }
    return 0;
}

void CEntryData::BuildParts()
{
    using namespace ntfs;
    m_vecParts.clear();
    m_vecParts.reserve(m_vecStreams.size());
    for (const CEntryStream& stream : m_vecStreams)
    {
        std::unique_ptr<IStreamPart> pPart;
        if (stream.m_bResident)
        {
            m_vecParts.push_back(std::make_unique<CResidentStream>(stream.m_vecValue));
            continue;
        }
        const CExtentStream extents(stream.m_vecExtents, m_reader);
        if (stream.m_dwUnitClusters == 0)
            pPart = std::make_unique<CExtentStream>(extents);
        else
            pPart = std::make_unique<CCompressedStream>(extents, stream.m_dwUnitClusters, stream.m_n64Vcns, m_unitCache);
        m_vecParts.push_back(
            std::make_unique<CInitializedStream>(std::move(pPart), stream.m_n64Initialized, stream.m_n64Size));
    }
}

ULONGLONG CEntryData::Stretch(ULONGLONG n64Offset, bool bHole) const
{
    if (!m_bOpen || n64Offset >= m_n64Size)
        return 0;
    const size_t nStream = StreamAt(n64Offset);
    bool bIsHole = false;
    const ULONGLONG n64Length = m_vecParts[nStream]->Stretch(n64Offset - m_vecStreams[nStream].m_n64Start, bIsHole);
    return bIsHole == bHole ? n64Length : 0;
}
