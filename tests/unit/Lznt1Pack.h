// An LZNT1 writer for tests and the benchmark (the program itself never
// compresses): hand-built chunks token by token, and a plain greedy
// compressor that finds matches through a short hash chain.
#pragma once

#include "platform/Win32.h"

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <vector>

namespace lznt1pack
{

const size_t kChunk = 4096;

// Bits of a copy token spent on the displacement once a chunk has produced
// nPos bytes: 4 up to 16 bytes, one more for each doubling after that.
inline unsigned DisplacementBits(size_t nPos)
{
    unsigned nBits = 4;
    while ((size_t(1) << nBits) < nPos)
        ++nBits;
    return nBits;
}

inline WORD CopyToken(size_t nPos, size_t nDisp, size_t nLen)
{
    const unsigned nLengthBits = 16 - DisplacementBits(nPos);
    return static_cast<WORD>(((nDisp - 1) << nLengthBits) | (nLen - 3));
}

// The tokens of one compressed chunk, grouped under flag bytes.
class CChunkWriter
{
public:
    CChunkWriter& Literal(BYTE by)
    {
        Flag(false);
        m_vecData.push_back(by);
        return *this;
    }
    CChunkWriter& Literals(const BYTE* p, size_t n)
    {
        for (size_t i = 0; i < n; ++i)
            Literal(p[i]);
        return *this;
    }
    CChunkWriter& Token(WORD wToken)
    {
        Flag(true);
        m_vecData.push_back(static_cast<BYTE>(wToken));
        m_vecData.push_back(static_cast<BYTE>(wToken >> 8));
        return *this;
    }
    // Raw token bytes, for chunks that end inside a group or a token.
    CChunkWriter& Bytes(std::initializer_list<BYTE> bytes)
    {
        m_vecData.insert(m_vecData.end(), bytes);
        return *this;
    }
    const std::vector<BYTE>& Data() const { return m_vecData; }
    // Header and data, appended to vecStream.
    void AppendTo(std::vector<BYTE>& vecStream) const
    {
        const size_t nHeader = 0xB000 | (m_vecData.size() - 1);
        vecStream.push_back(static_cast<BYTE>(nHeader));
        vecStream.push_back(static_cast<BYTE>(nHeader >> 8));
        vecStream.insert(vecStream.end(), m_vecData.begin(), m_vecData.end());
    }

private:
    void Flag(bool bCopy)
    {
        if (m_nTokens % 8 == 0)
        {
            m_nFlagPos = m_vecData.size();
            m_vecData.push_back(0);
        }
        if (bCopy)
            m_vecData[m_nFlagPos] |= static_cast<BYTE>(1u << (m_nTokens % 8));
        ++m_nTokens;
    }

    std::vector<BYTE> m_vecData;
    size_t m_nFlagPos = 0;
    size_t m_nTokens = 0;
};

// An uncompressed chunk: header 0x3000 | (n - 1), then the bytes.
inline void AppendStoredChunk(std::vector<BYTE>& vecStream, const BYTE* p, size_t n)
{
    const size_t nHeader = 0x3000 | (n - 1);
    vecStream.push_back(static_cast<BYTE>(nHeader));
    vecStream.push_back(static_cast<BYTE>(nHeader >> 8));
    vecStream.insert(vecStream.end(), p, p + n);
}

// Compresses one chunk of 1 to 4096 bytes; keeps it as it is when that is shorter.
inline void AppendChunk(std::vector<BYTE>& vecStream, const BYTE* p, size_t n)
{
    const size_t kHashSize = 4096, kDepth = 16;
    const int kNone = -1;
    std::vector<int> vecHead(kHashSize, kNone), vecPrev(n, kNone);
    auto hash = [&](size_t i) { return ((p[i] << 8) ^ (p[i + 1] << 4) ^ p[i + 2]) % kHashSize; };
    auto insert = [&](size_t i) {
        if (i + 3 <= n)
        {
            vecPrev[i] = vecHead[hash(i)];
            vecHead[hash(i)] = static_cast<int>(i);
        }
    };
    CChunkWriter writer;
    for (size_t i = 0; i < n;)
    {
        const unsigned nDispBits = DisplacementBits(i);
        const size_t nMaxDisp = size_t(1) << nDispBits;
        const size_t nMaxLen = std::min(n - i, (size_t(1) << (16 - nDispBits)) + 2);
        size_t nBestLen = 0, nBestDisp = 0;
        int j = i + 3 <= n ? vecHead[hash(i)] : kNone;
        for (size_t nTried = 0; j != kNone && nTried < kDepth && i - j <= nMaxDisp; ++nTried, j = vecPrev[j])
        {
            size_t nLen = 0;
            while (nLen < nMaxLen && p[j + nLen] == p[i + nLen])
                ++nLen;
            if (nLen > nBestLen)
            {
                nBestLen = nLen;
                nBestDisp = i - j;
            }
        }
        if (nBestLen >= 3)
        {
            writer.Token(CopyToken(i, nBestDisp, nBestLen));
            for (size_t k = 0; k < nBestLen; ++k)
                insert(i + k);
            i += nBestLen;
        }
        else
        {
            writer.Literal(p[i]);
            insert(i);
            ++i;
        }
    }
    if (writer.Data().size() < n)
        writer.AppendTo(vecStream);
    else
        AppendStoredChunk(vecStream, p, n);
}

// The stream of a whole unit, chunk after chunk.
inline std::vector<BYTE> Pack(const BYTE* p, size_t n)
{
    std::vector<BYTE> vecStream;
    for (size_t nDone = 0; nDone < n; nDone += kChunk)
        AppendChunk(vecStream, p + nDone, std::min(kChunk, n - nDone));
    return vecStream;
}

}  // namespace lznt1pack
