// Little-endian fields of on-disk structures (partition tables, the GPT, boot
// sectors, NTFS records), read byte by byte at an offset the caller has
// checked: the one set of such readers.
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

// The same at the pointer itself.
inline WORD ReadLE16(const BYTE* p) { return static_cast<WORD>(ReadLE16(p, 0)); }
inline DWORD ReadLE32(const BYTE* p) { return ReadLE32(p, 0); }
inline ULONGLONG ReadLE64(const BYTE* p) { return ReadLE64(p, 0); }
