// The LZNT1 decompressor on hand-built chunks, damaged streams and round trips.
#include "Lznt1Pack.h"

#include "ntfs/Lznt1.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

using lznt1pack::CChunkWriter;
using lznt1pack::CopyToken;
using ntfs::Lznt1DecompressUnit;

namespace
{

const size_t kUnit = 65536;
const size_t kChunk = 4096;
const BYTE kFill = 0xCC;   // what the output holds before the call
const size_t kGuard = 64;  // bytes on each side of the output that must stay kFill

struct Expanded
{
    DWORD dwError;
    std::vector<BYTE> vecOut;
};

// Runs the decompressor on a copy of the input that has exactly its size
// (so the sanitizer sees any read past it) into a prefilled output between
// two guard zones.
Expanded Expand(const std::vector<BYTE>& vecIn, size_t nOut = kUnit, BYTE byFill = kFill)
{
    std::unique_ptr<BYTE[]> pIn(new BYTE[vecIn.size()]);
    std::copy(vecIn.begin(), vecIn.end(), pIn.get());
    std::vector<BYTE> vecBuffer(nOut + 2 * kGuard, byFill);
    Expanded result;
    result.dwError = Lznt1DecompressUnit(pIn.get(), vecIn.size(), vecBuffer.data() + kGuard, nOut);
    for (size_t i = 0; i < kGuard; ++i)
    {
        EXPECT_EQ(byFill, vecBuffer[i]) << "written before the output at -" << (kGuard - i);
        EXPECT_EQ(byFill, vecBuffer[kGuard + nOut + i]) << "written past the output at +" << i;
    }
    result.vecOut.assign(vecBuffer.begin() + kGuard, vecBuffer.begin() + kGuard + nOut);
    return result;
}

std::vector<BYTE> Bytes(const std::string& str) { return std::vector<BYTE>(str.begin(), str.end()); }

// The first bytes given, zeros up to nOut.
std::vector<BYTE> Padded(std::vector<BYTE> vec, size_t nOut = kUnit)
{
    vec.resize(nOut, 0);
    return vec;
}

// Bytes without short repeats, so that a wrong displacement shows.
std::vector<BYTE> Noise(size_t n, uint32_t nSeed)
{
    std::vector<BYTE> vec(n);
    for (BYTE& by : vec)
    {
        nSeed = nSeed * 1103515245u + 12345u;
        by = static_cast<BYTE>(nSeed >> 16);
    }
    return vec;
}

// What a copy means: each byte repeats the one nDisp bytes before it.
std::vector<BYTE> WithCopy(std::vector<BYTE> vec, size_t nDisp, size_t nLen)
{
    for (size_t i = 0; i < nLen; ++i)
        vec.push_back(vec[vec.size() - nDisp]);
    return vec;
}

// Words in random order, like a log file.
std::string TextLike(size_t n)
{
    const char* const words[] = {"record ", "cluster ", "run ", "the ", "of ", "deleted ", "file ", "\r\n"};
    std::string str;
    for (uint32_t nSeed = 1; str.size() < n; nSeed = nSeed * 1103515245u + 12345u)
        str += words[(nSeed >> 16) % 8];
    str.resize(n);
    return str;
}

std::vector<BYTE> Stream(const CChunkWriter& chunk)
{
    std::vector<BYTE> vec;
    chunk.AppendTo(vec);
    return vec;
}

}  // namespace

TEST(Lznt1, LiteralsAreCopiedAndTheRestOfTheUnitIsZero)
{
    // Two groups: eight literals, then three.
    const std::vector<BYTE> vecIn = {0x0C, 0xB0, 0x00, 'S', 'a', 'l', 'v', 'i', 'x', ' ', 'r',
                                     0x00, 'e',  'a',  'd'};
    Expanded r = Expand(vecIn);
    EXPECT_EQ(0u, r.dwError);
    EXPECT_EQ(Padded(Bytes("Salvix read")), r.vecOut);

    // The signature bits (12-14) are not looked at.
    std::vector<BYTE> vecOddSignature = vecIn;
    vecOddSignature[1] = 0x80;
    EXPECT_EQ(r.vecOut, Expand(vecOddSignature).vecOut);
}

// Windows stores 64 KiB of one letter as sixteen 6-byte chunks: the letter,
// then one copy of 4095 bytes at displacement 1.
TEST(Lznt1, RunOfOneLetterAsWindowsWritesIt)
{
    std::vector<BYTE> vecIn;
    for (int i = 0; i < 16; ++i)
        vecIn.insert(vecIn.end(), {0x03, 0xB0, 0x02, 'A', 0xFC, 0x0F});
    vecIn.resize(4096, 0);  // the rest of the cluster
    Expanded r = Expand(vecIn);
    EXPECT_EQ(0u, r.dwError);
    EXPECT_EQ(std::vector<BYTE>(kUnit, 'A'), r.vecOut);
}

// At 16 bytes a token still has 4 displacement bits; at 17 it has 5.
TEST(Lznt1, TokensOnBothSidesOfTheFirstSplit)
{
    const std::vector<BYTE> vecPrefix = Noise(17, 1);
    CChunkWriter at16;
    at16.Literals(vecPrefix.data(), 16).Token(0xF001);  // displacement 16, length 4
    EXPECT_EQ(Padded(WithCopy(std::vector<BYTE>(vecPrefix.begin(), vecPrefix.begin() + 16), 16, 4)),
              Expand(Stream(at16)).vecOut);

    CChunkWriter at17;
    at17.Literals(vecPrefix.data(), 17).Token(0x8001);  // displacement 17, length 4
    EXPECT_EQ(Padded(WithCopy(vecPrefix, 17, 4)), Expand(Stream(at17)).vecOut);
}

// On each side of every split (16/17, 32/33, ... 2048/2049) a copy from the
// chunk's first byte, as long as the length bits allow and the chunk has room.
TEST(Lznt1, CopyAtEveryDisplacementWidth)
{
    for (size_t nSplit = 16; nSplit <= 2048; nSplit <<= 1)
    {
        for (size_t nPos : {nSplit, nSplit + 1})
        {
            SCOPED_TRACE("position " + std::to_string(nPos));
            const unsigned nLengthBits = 16 - lznt1pack::DisplacementBits(nPos);
            const size_t nLen = std::min((size_t(1) << nLengthBits) + 2, kChunk - nPos);
            const std::vector<BYTE> vecPrefix = Noise(nPos, static_cast<uint32_t>(nPos));
            CChunkWriter chunk;
            chunk.Literals(vecPrefix.data(), nPos).Token(CopyToken(nPos, nPos, nLen));
            Expanded r = Expand(Stream(chunk));
            EXPECT_EQ(0u, r.dwError);
            EXPECT_EQ(Padded(WithCopy(vecPrefix, nPos, nLen)), r.vecOut);
        }
    }
}

TEST(Lznt1, OverlappingCopiesRepeatTheirSource)
{
    const std::vector<BYTE> vecPrefix = Bytes("abcdefghij");
    for (size_t nDisp : {1, 2, 3, 7, 8, 9, 10})
    {
        SCOPED_TRACE("displacement " + std::to_string(nDisp));
        CChunkWriter chunk;
        chunk.Literals(vecPrefix.data(), 10).Token(CopyToken(10, nDisp, 37));
        EXPECT_EQ(Padded(WithCopy(vecPrefix, nDisp, 37)), Expand(Stream(chunk)).vecOut);
    }
    // Copies up to the chunk's last byte, the last with no room to spare.
    CChunkWriter full;
    full.Literals(vecPrefix.data(), 10).Token(CopyToken(10, 9, 4000));
    std::vector<BYTE> vecExpected = WithCopy(vecPrefix, 9, 4000);
    for (size_t nLen : {18, 18, 18, 18, 14})
    {
        full.Token(CopyToken(vecExpected.size(), 100, nLen));
        vecExpected = WithCopy(vecExpected, 100, nLen);
    }
    ASSERT_EQ(kChunk, vecExpected.size());
    Expanded r = Expand(Stream(full));
    EXPECT_EQ(0u, r.dwError);
    EXPECT_EQ(Padded(vecExpected), r.vecOut);
}

TEST(Lznt1, ChunksFillTheirOwn4096Bytes)
{
    // A stored chunk, then a compressed one that starts at 4096.
    const std::vector<BYTE> vecStored = Noise(kChunk, 7);
    std::vector<BYTE> vecIn;
    lznt1pack::AppendStoredChunk(vecIn, vecStored.data(), kChunk);
    CChunkWriter().Literals(vecStored.data(), 3).Token(CopyToken(3, 2, 5)).AppendTo(vecIn);
    std::vector<BYTE> vecExpected = vecStored;
    std::vector<BYTE> vecSecond = WithCopy(std::vector<BYTE>(vecStored.begin(), vecStored.begin() + 3), 2, 5);
    vecExpected.insert(vecExpected.end(), vecSecond.begin(), vecSecond.end());
    Expanded r = Expand(vecIn);
    EXPECT_EQ(0u, r.dwError);
    EXPECT_EQ(Padded(vecExpected), r.vecOut);

    // Short chunks, compressed and stored, are followed by zeros up to their 4096.
    vecIn.clear();
    CChunkWriter().Literals(vecStored.data(), 7).AppendTo(vecIn);
    lznt1pack::AppendStoredChunk(vecIn, vecStored.data() + 5, 6);
    CChunkWriter().Literal('z').AppendTo(vecIn);
    vecExpected.assign(3 * kChunk, 0);
    std::copy(vecStored.begin(), vecStored.begin() + 7, vecExpected.begin());
    std::copy(vecStored.begin() + 5, vecStored.begin() + 11, vecExpected.begin() + kChunk);
    vecExpected[2 * kChunk] = 'z';
    r = Expand(vecIn);
    EXPECT_EQ(0u, r.dwError);
    EXPECT_EQ(Padded(vecExpected), r.vecOut);
}

TEST(Lznt1, StreamEndsAtZeroHeaderEndOfInputOrFullOutput)
{
    std::vector<BYTE> vecIn = Stream(CChunkWriter().Literal('x'));
    const std::vector<BYTE> vecExpected = Padded({'x'});
    // A zero header: what follows is not read, even a valid chunk.
    std::vector<BYTE> vecAfterZero = vecIn;
    vecAfterZero.insert(vecAfterZero.end(), {0x00, 0x00, 0x00, 0xB0, 0x00, 'y'});
    EXPECT_EQ(0u, Expand(vecAfterZero).dwError);
    EXPECT_EQ(vecExpected, Expand(vecAfterZero).vecOut);
    // The input ends after a chunk, or after a lone zero byte.
    EXPECT_EQ(vecExpected, Expand(vecIn).vecOut);
    vecIn.push_back(0);
    EXPECT_EQ(0u, Expand(vecIn).dwError);
    EXPECT_EQ(vecExpected, Expand(vecIn).vecOut);
    // No input at all: a unit of zeros.
    EXPECT_EQ(0u, Expand({}).dwError);
    EXPECT_EQ(Padded({}), Expand({}).vecOut);
    // Output full: the bytes that follow are never looked at.
    vecIn.insert(vecIn.end(), {0xFF, 0xFF, 0xFF});
    Expanded r = Expand(vecIn, kChunk);
    EXPECT_EQ(0u, r.dwError);
    EXPECT_EQ(Padded({'x'}, kChunk), r.vecOut);
}

TEST(Lznt1, DamagedStreamsGiveInvalidDataAndKeepWhatCameBefore)
{
    const std::vector<BYTE> vecAbc = Bytes("abc");
    const std::vector<BYTE> vecEight = Bytes("abcdefgh");
    const std::vector<BYTE> vecWindows = {0x03, 0xB0, 0x02, 'A', 0xFC, 0x0F};
    auto afterAbc = [&](std::vector<BYTE> vecMore) {
        std::vector<BYTE> vec = Stream(CChunkWriter().Literals(vecAbc.data(), 3));
        vec.insert(vec.end(), vecMore.begin(), vecMore.end());
        return vec;
    };
    std::vector<BYTE> vecStoredPastOutput;
    lznt1pack::AppendStoredChunk(vecStoredPastOutput, vecWindows.data(), 6);
    std::vector<BYTE> vecAbcThenD = Padded(vecAbc, kChunk);
    vecAbcThenD.push_back('d');
    struct Case
    {
        const char* pszWhat;
        std::vector<BYTE> vecIn;
        size_t nOut;
        std::vector<BYTE> vecKept;  // the output before the fault
    } const cases[] = {
        {"length past the input", {0x03, 0xB0, 0x00, 'a', 'b'}, kUnit, {}},
        {"length past the input, second chunk", afterAbc({0x05, 0xB0, 0x00, 'd'}), kUnit, vecAbc},
        {"lone non-zero last byte", afterAbc({0x07}), kUnit, vecAbc},
        {"copy before the chunk", Stream(CChunkWriter().Literals(vecAbc.data(), 3).Token(CopyToken(3, 4, 3))),
         kUnit, vecAbc},
        {"copy into the previous chunk", afterAbc(Stream(CChunkWriter().Literal('d').Token(CopyToken(1, 2, 3)))),
         kUnit, vecAbcThenD},
        {"copy at the chunk's first byte", Stream(CChunkWriter().Token(CopyToken(0, 1, 3))), kUnit, {}},
        {"copy past 4096", Stream(CChunkWriter().Literal('A').Token(0x0FFD)), kUnit, {'A'}},
        {"literal past 4096", Stream(CChunkWriter().Literal('A').Token(0x0FFC).Literal('B')), kUnit,
         std::vector<BYTE>(kChunk, 'A')},
        {"copy past the output", vecWindows, 1000, {'A'}},
        {"stored chunk past the output", vecStoredPastOutput, 5, {}},
        {"token cut by the chunk's end", {0x02, 0xB0, 0x02, 'a', 0x00, 0x02, 0xB0, 0x00, 'x', 'y'}, kUnit, {'a'}},
        {"literal past the output", Stream(CChunkWriter().Literals(vecEight.data(), 8)), 7, Bytes("abcdefg")},
        {"flag byte ending the chunk", Stream(CChunkWriter().Literals(vecEight.data(), 8).Bytes({0x00})), kUnit,
         vecEight},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.pszWhat);
        Expanded r = Expand(c.vecIn, c.nOut);
        EXPECT_EQ(ERROR_INVALID_DATA, r.dwError);
        EXPECT_EQ(Padded(c.vecKept, c.nOut), r.vecOut);
    }
}

// Random bytes, random bytes behind a plausible header, and a packed unit
// with one byte changed, into outputs of many sizes: a known code, and every
// output byte set by the call (the same result whatever the buffer held).
TEST(Lznt1, GarbageNeverLeavesItsBuffers)
{
    const std::string strText = TextLike(kUnit);
    const std::vector<BYTE> vecPacked = lznt1pack::Pack(reinterpret_cast<const BYTE*>(strText.data()), kUnit);
    uint32_t nSeed = 2024;
    int nClean = 0, nDamaged = 0;
    for (int nTrial = 0; nTrial < 3000; ++nTrial)
    {
        nSeed = nSeed * 1103515245u + 12345u;
        std::vector<BYTE> vecIn = Noise(nSeed % 700, nSeed);
        if (nTrial % 3 == 1 && vecIn.size() >= 3)
        {
            vecIn[0] = static_cast<BYTE>(vecIn.size() - 3);
            vecIn[1] = static_cast<BYTE>(0xB0 | ((vecIn.size() - 3) >> 8));
        }
        else if (nTrial % 3 == 2)
        {
            vecIn = vecPacked;
            vecIn[(nSeed >> 4) % vecIn.size()] ^= static_cast<BYTE>(1u << (nSeed % 8));
        }
        const size_t nOut = nTrial % 4 == 0 ? (nSeed >> 8) % 9000 : kUnit;
        Expanded r = Expand(vecIn, nOut);
        ASSERT_TRUE(r.dwError == 0 || r.dwError == ERROR_INVALID_DATA) << r.dwError;
        ASSERT_EQ(r.vecOut, Expand(vecIn, nOut, 0x33).vecOut);
        nClean += r.dwError == 0;
        nDamaged += r.dwError != 0;
    }
    // Both outcomes were reached.
    EXPECT_GT(nClean, 100);
    EXPECT_GT(nDamaged, 100);
}

// Self-consistency only: what the test's compressor packs comes back whole.
TEST(Lznt1, RoundTripThroughASimpleCompressor)
{
    const std::string strText = TextLike(kUnit);
    std::vector<BYTE> vecRepeats;
    while (vecRepeats.size() < kUnit)
        vecRepeats.insert(vecRepeats.end(), {1, 2, 3, 1, 2, 3, 0, 0, 0, 0, 9});
    const std::vector<std::vector<BYTE>> inputs = {
        Bytes(strText), std::vector<BYTE>(vecRepeats.begin(), vecRepeats.begin() + kUnit),
        Noise(kUnit, 99), Bytes(strText.substr(0, 5000))};
    for (const std::vector<BYTE>& vecPlain : inputs)
    {
        const std::vector<BYTE> vecPacked = lznt1pack::Pack(vecPlain.data(), vecPlain.size());
        Expanded r = Expand(vecPacked);
        EXPECT_EQ(0u, r.dwError);
        EXPECT_EQ(Padded(vecPlain), r.vecOut);
    }
}
