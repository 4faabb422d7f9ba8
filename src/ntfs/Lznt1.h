// The LZNT1 decompressor behind compressed $DATA: expands the stored bytes of
// one compression unit into the unit's plain bytes.
//
// The stream is a row of chunks. Each starts with a 2-byte little-endian
// header: bits 0-11 hold the number of bytes that follow minus 1, bit 15 is
// set for a compressed chunk, bits 12-14 carry a signature (3 as written).
// The signature bits are not checked: other readers ignore them too, and the
// length is bounds-checked either way, so a damaged signature alone costs no
// data. An uncompressed chunk holds its bytes as they are; a compressed one is
// groups of a flag byte and up to 8 tokens (a literal byte, or a 2-byte copy
// of earlier output of the same chunk). Every chunk stands for 4096 bytes.
//
// Contract:
// - Chunks are expanded in order until a header of 0, the end of the input or
//   nOut bytes of output. A chunk that yields fewer than 4096 bytes is
//   followed by zeros up to its 4096; what the stream does not reach of pOut
//   is zero-filled. A single zero byte left at the end of the input ends it.
// - Returns 0, or ERROR_INVALID_DATA when a header, a flag byte, a token or a
//   copy does not fit its chunk, the input or the output: a header whose
//   length runs past the input, a lone non-zero last byte, a flag byte that
//   ends its chunk, a copy token cut by the chunk's end, a copy reaching
//   before the chunk's first byte, output running past the chunk's 4096 bytes
//   or past nOut.
// - On ERROR_INVALID_DATA, pOut holds what was expanded before the fault and
//   zeros after it, so a caller may keep what was good.
// - Nothing is read or written outside pIn[0..nIn) and pOut[0..nOut); no
//   memory is allocated.
#pragma once

#include "platform/Win32.h"

#include <cstddef>

namespace ntfs
{

const size_t kLznt1ChunkSize = 4096;

DWORD Lznt1DecompressUnit(const BYTE* pIn, size_t nIn, BYTE* pOut, size_t nOut);

}  // namespace ntfs
