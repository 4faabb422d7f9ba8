// The LZNT1 decompressor: the input is the stored bytes of one compression
// unit, expanded into a 64 KiB unit and into a small odd-sized output.
#include "FuzzDisk.h"

#include "ntfs/FieldOffsets.h"
#include "ntfs/Lznt1.h"

#include <algorithm>
#include <cstring>
#include <memory>

using ntfs::kLznt1ChunkSize;
using ntfs::Lznt1DecompressUnit;

namespace
{

const size_t kUnit = 65536;

// Expands into an output of exactly nOut bytes (so the sanitizer sees any
// write past it) that held byFill before.
DWORD Expand(const uint8_t* pData, size_t nSize, size_t nOut, BYTE byFill, std::unique_ptr<BYTE[]>& pOut)
{
    pOut.reset(new BYTE[nOut]);
    memset(pOut.get(), byFill, nOut);
    const DWORD dwError = Lznt1DecompressUnit(pData, nSize, pOut.get(), nOut);
    FUZZ_CHECK(dwError == 0 || dwError == ERROR_INVALID_DATA);
    return dwError;
}

// One comparison rather than a loop: the harness's own loops are traced too.
bool AllZero(const BYTE* p, size_t n)
{
    static const BYTE s_byZero[kUnit] = {};
    return n == 0 || memcmp(p, s_byZero, n) == 0;
}

// What the chunk headers alone promise about a unit of nOut bytes: past the
// chunks the headers can reach, and past the bytes of a stored chunk within
// its 4096, the output is zero.
void CheckZeroPastChunks(const uint8_t* pData, size_t nSize, const BYTE* pOut, size_t nOut)
{
    size_t nPos = 0, nChunkOut = 0;
    while (nChunkOut < nOut && nSize - nPos >= 2)
    {
        const WORD wHeader = ntfs::ReadLE16(pData + nPos);
        const size_t nData = static_cast<size_t>(wHeader & 0x0FFF) + 1;
        if (wHeader == 0 || nData > nSize - nPos - 2)
            break;
        const size_t nRoom = std::min(kLznt1ChunkSize, nOut - nChunkOut);
        if ((wHeader & 0x8000) == 0 && nData < nRoom)
            FUZZ_CHECK(AllZero(pOut + nChunkOut + nData, nRoom - nData));
        nPos += 2 + nData;
        nChunkOut += nRoom;
    }
    FUZZ_CHECK(AllZero(pOut + nChunkOut, nOut - nChunkOut));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    if (nSize > 2 * kUnit)
        return 0;
    std::unique_ptr<BYTE[]> pUnit, pAgain, pSmall;
    const DWORD dwError = Expand(pData, nSize, kUnit, 0xA5, pUnit);
    // Every output byte is set by the call, whatever the buffer held.
    FUZZ_CHECK(Expand(pData, nSize, kUnit, 0x5A, pAgain) == dwError);
    FUZZ_CHECK(memcmp(pUnit.get(), pAgain.get(), kUnit) == 0);
    CheckZeroPastChunks(pData, nSize, pUnit.get(), kUnit);

    // A smaller output sees the same chunks, cut short: when it expands
    // cleanly it holds the unit's first bytes.
    const size_t nSmall = 1 + 2 * (nSize % 4500);
    const DWORD dwSmall = Expand(pData, nSize, nSmall, 0xA5, pSmall);
    CheckZeroPastChunks(pData, nSize, pSmall.get(), nSmall);
    if (dwSmall == 0)
        FUZZ_CHECK(memcmp(pSmall.get(), pUnit.get(), nSmall) == 0);
    // No room at all is not an error.
    FUZZ_CHECK(Lznt1DecompressUnit(pData, nSize, pSmall.get(), 0) == 0);
    return 0;
}
