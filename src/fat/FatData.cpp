// Reading a row's data once its clusters are known.
#include "fat/FatVolume.h"

#include <algorithm>

namespace fat
{

DWORD CFatData::Read(ULONGLONG n64Offset, BYTE* pDest, size_t nCount)
{
    if (DWORD dwError = CheckStreamRead(m_bOpen, m_tail.m_n64Size, n64Offset, pDest, nCount))
        return dwError;
    if (nCount == 0)
        return 0;
    // Past the stored bytes: zeros, unread.
    size_t nStored = m_tail.SplitRead(n64Offset, pDest, nCount);
    // The run that holds the offset, then the ones after it; a save reads
    // in order, so the search starts at the run the last read ended in.
    ULONGLONG n64RunStart = 0;
    size_t nRun = 0;
    if (m_nLastRun < m_vecRuns.size() && m_n64LastRunStart <= n64Offset)
    {
        nRun = m_nLastRun;
        n64RunStart = m_n64LastRunStart;
    }
    while (nRun < m_vecRuns.size() && n64RunStart + m_vecRuns[nRun].m_n64Length <= n64Offset)
        n64RunStart += m_vecRuns[nRun++].m_n64Length;
    while (nStored > 0 && nRun < m_vecRuns.size())
    {
        const CByteRun& run = m_vecRuns[nRun];
        const ULONGLONG n64In = n64Offset - n64RunStart;
        const size_t nPart = static_cast<size_t>(std::min<ULONGLONG>(nStored, run.m_n64Length - n64In));
        if (DWORD dwError = m_reader.ReadAt(run.m_n64Offset + n64In, pDest, nPart))
            return dwError;
        pDest += nPart;
        n64Offset += nPart;
        nStored -= nPart;
        m_nLastRun = nRun;
        m_n64LastRunStart = n64RunStart;
        n64RunStart += run.m_n64Length;
        ++nRun;
    }
    return 0;
}

ULONGLONG CFatData::HoleLength(ULONGLONG n64Offset) const
{
    return m_bOpen ? m_tail.HoleLength(n64Offset) : 0;
}

ULONGLONG CFatData::DataLength(ULONGLONG n64Offset) const
{
    return m_bOpen ? m_tail.DataLength(n64Offset) : 0;
}

}  // namespace fat
