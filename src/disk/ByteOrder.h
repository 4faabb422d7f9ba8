// Little-endian fields of the disk's own structures (partition tables, the
// GPT, boot sectors), read byte by byte at an offset the caller has checked.
#pragma once

#include "platform/Win32.h"

#include <cstddef>

inline DWORD ReadLE16(const BYTE* p, size_t nOffset)
{
    return static_cast<DWORD>(p[nOffset]) | static_cast<DWORD>(p[nOffset + 1]) << 8;
}

inline DWORD ReadLE32(const BYTE* p, size_t nOffset)
{
    return ReadLE16(p, nOffset) | ReadLE16(p, nOffset + 2) << 16;
}

inline ULONGLONG ReadLE64(const BYTE* p, size_t nOffset)
{
    return static_cast<ULONGLONG>(ReadLE32(p, nOffset)) |
           static_cast<ULONGLONG>(ReadLE32(p, nOffset + 4)) << 32;
}
