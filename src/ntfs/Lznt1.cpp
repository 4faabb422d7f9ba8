#include "ntfs/Lznt1.h"

#include "ntfs/FieldOffsets.h"

#include <cstring>

namespace ntfs
{

namespace
{

const WORD kChunkLengthMask = 0x0FFF;  // bytes after the header, minus 1
const WORD kChunkCompressed = 0x8000;
const size_t kTokenSize = 2;
const size_t kMinCopy = 3;
// While a chunk has produced up to this many bytes, a copy token spends 4
// bits on the displacement and 12 on the length; each doubling of the
// position moves one bit from the length to the displacement.
const size_t kFirstSplit = 16;
const unsigned kFirstLengthBits = 12;

// Copies nLen bytes that start nDisp bytes back; the source may overlap the
// destination (a displacement of 1 repeats one byte). nRoom is what the chunk
// may still be written, at least nLen.
inline void CopyBack(BYTE* pDst, size_t nDisp, size_t nLen, size_t nRoom)
{
    const BYTE* pSrc = pDst - nDisp;
    // Whole blocks no longer than the displacement: each block reads only
    // bytes written before it, and the few bytes past nLen land in room that
    // later tokens or the chunk's zero fill overwrite.
    if (nDisp >= 16 && nLen + 16 <= nRoom)
    {
        for (size_t k = 0; k < nLen; k += 16)
            memcpy(pDst + k, pSrc + k, 16);
    }
    else if (nDisp >= 8 && nLen + 8 <= nRoom)
    {
        for (size_t k = 0; k < nLen; k += 8)
            memcpy(pDst + k, pSrc + k, 8);
    }
    else if (nDisp == 1)
        memset(pDst, *pSrc, nLen);
    else
    {
        for (size_t k = 0; k < nLen; ++k)
            pDst[k] = pSrc[k];
    }
}

// Trailing zero bits of a flag byte: the literals before its next copy token.
struct CLiteralRuns
{
    BYTE m_byRun[256];
    constexpr CLiteralRuns() : m_byRun()
    {
        for (unsigned n = 0; n < 256; ++n)
        {
            BYTE byRun = 0;
            while (byRun < 8 && (n & (1u << byRun)) == 0)
                ++byRun;
            m_byRun[n] = byRun;
        }
    }
};
constexpr CLiteralRuns kLiteralRuns;

// Copies nRun literals (at most 8), or fewer where the input (nAvail) or the
// room ends, and says how many. Eight bytes are moved at once where both
// sides have them: the extra ones are overwritten later.
inline size_t CopyLiterals(BYTE* pDst, size_t nRoom, const BYTE* pSrc, size_t nAvail, size_t nRun)
{
    if (nAvail >= 8 && nRoom >= 8)
    {
        memcpy(pDst, pSrc, 8);
        return nRun;
    }
    nRun = nRun < nAvail ? nRun : nAvail;
    nRun = nRun < nRoom ? nRun : nRoom;
    for (size_t k = 0; k < nRun; ++k)
        pDst[k] = pSrc[k];
    return nRun;
}

// Expands the data of one compressed chunk, pIn[0..nIn), into
// pChunk[0..nLimit). nProduced tells how far the output got, also on error.
DWORD ExpandChunk(const BYTE* pIn, size_t nIn, BYTE* pChunk, size_t nLimit, size_t& nProduced)
{
    const BYTE* p = pIn;
    const BYTE* const pEnd = pIn + nIn;
    size_t nPos = 0;
    size_t nSplit = kFirstSplit;
    unsigned nLengthBits = kFirstLengthBits;
    DWORD dwError = 0;
    while (p < pEnd && dwError == 0)
    {
        unsigned nFlags = *p++;
        // A flag byte always announces at least one token.
        if (p == pEnd)
            dwError = ERROR_INVALID_DATA;
        for (size_t nLeft = 8; nLeft > 0 && p < pEnd && dwError == 0;)
        {
            if ((nFlags & 1) == 0)
            {
                size_t nWant = kLiteralRuns.m_byRun[nFlags];
                nWant = nWant < nLeft ? nWant : nLeft;
                const size_t nAvail = static_cast<size_t>(pEnd - p);
                const size_t nDone = CopyLiterals(pChunk + nPos, nLimit - nPos, p, nAvail, nWant);
                // Fewer than wanted while the input has more: the chunk is full.
                if (nDone < nWant && nDone < nAvail)
                    dwError = ERROR_INVALID_DATA;
                p += nDone;
                nPos += nDone;
                nFlags >>= nDone;
                nLeft -= nDone;
                continue;
            }
            if (static_cast<size_t>(pEnd - p) < kTokenSize)
            {
                dwError = ERROR_INVALID_DATA;
                break;
            }
            const unsigned nToken = ReadLE16(p);
            p += kTokenSize;
            while (nPos > nSplit)
            {
                nSplit <<= 1;
                --nLengthBits;
            }
            const size_t nDisp = (nToken >> nLengthBits) + 1;
            const size_t nLen = (nToken & ((1u << nLengthBits) - 1)) + kMinCopy;
            if (nDisp > nPos || nLen > nLimit - nPos)
            {
                dwError = ERROR_INVALID_DATA;
                break;
            }
            CopyBack(pChunk + nPos, nDisp, nLen, nLimit - nPos);
            nPos += nLen;
            nFlags >>= 1;
            --nLeft;
        }
    }
    nProduced = nPos;
    return dwError;
}

}  // namespace

DWORD Lznt1DecompressUnit(const BYTE* pIn, size_t nIn, BYTE* pOut, size_t nOut)
{
    size_t nInPos = 0;
    size_t nOutPos = 0;
    DWORD dwError = 0;
    while (nOutPos < nOut && nInPos < nIn)
    {
        if (nIn - nInPos < 2)
        {
            // Half a header: the end of the stream only if it is zero.
            if (pIn[nInPos] != 0)
                dwError = ERROR_INVALID_DATA;
            break;
        }
        const WORD wHeader = ReadLE16(pIn + nInPos);
        if (wHeader == 0)
            break;
        nInPos += 2;
        const size_t nData = static_cast<size_t>(wHeader & kChunkLengthMask) + 1;
        if (nData > nIn - nInPos)
        {
            dwError = ERROR_INVALID_DATA;
            break;
        }
        const size_t nLimit = nOut - nOutPos < kLznt1ChunkSize ? nOut - nOutPos : kLznt1ChunkSize;
        size_t nProduced = 0;
        if (wHeader & kChunkCompressed)
            dwError = ExpandChunk(pIn + nInPos, nData, pOut + nOutPos, nLimit, nProduced);
        else if (nData > nLimit)
            dwError = ERROR_INVALID_DATA;
        else
        {
            memcpy(pOut + nOutPos, pIn + nInPos, nData);
            nProduced = nData;
        }
        if (dwError != 0)
        {
            nOutPos += nProduced;
            break;
        }
        memset(pOut + nOutPos + nProduced, 0, nLimit - nProduced);
        nOutPos += nLimit;
        nInPos += nData;
    }
    if (nOutPos < nOut)
        memset(pOut + nOutPos, 0, nOut - nOutPos);
    return dwError;
}

}  // namespace ntfs
