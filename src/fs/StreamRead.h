// What every data stream of a file system checks before a read, and the
// stretch past the bytes ever written: zeros that nothing on the disk
// stands for. NTFS (its initialized size) and FAT (exFAT's valid data
// length) read such a tail alike.
#pragma once

#include "platform/Win32.h"

#include <algorithm>
#include <cstring>

// The codes a read of nCount bytes at n64Offset of a stream of n64Size bytes
// gives before anything is read: ERROR_INVALID_ACCESS when the stream is not
// open, 0 for a read of nothing, ERROR_INVALID_PARAMETER without a
// destination, ERROR_HANDLE_EOF past the end; else 0.
inline DWORD CheckStreamRead(bool bOpen, ULONGLONG n64Size, ULONGLONG n64Offset, const BYTE* pDest, size_t nCount)
{
    if (!bOpen)
        return ERROR_INVALID_ACCESS;
    if (nCount == 0)
        return 0;
    if (!pDest)
        return ERROR_INVALID_PARAMETER;
    if (n64Offset > n64Size || nCount > n64Size - n64Offset)
        return ERROR_HANDLE_EOF;
    return 0;
}

// A stream of m_n64Size bytes whose first m_n64Stored are on the disk and the
// rest zeros, never read.
struct CZeroTail
{
    ULONGLONG m_n64Stored = 0;
    ULONGLONG m_n64Size = 0;

    // Zeros the part of the nCount bytes at n64Offset that lies in the tail;
    // the count before it, which the caller reads from the disk.
    size_t SplitRead(ULONGLONG n64Offset, BYTE* pDest, size_t nCount) const
    {
        size_t nStored = 0;
        if (n64Offset < m_n64Stored)
            nStored = static_cast<size_t>(std::min<ULONGLONG>(nCount, m_n64Stored - n64Offset));
        memset(pDest + nStored, 0, nCount - nStored);
        return nStored;
    }
    // From n64Offset: the tail's length when the offset lies in it, else 0.
    ULONGLONG HoleLength(ULONGLONG n64Offset) const
    {
        return n64Offset >= m_n64Stored && n64Offset < m_n64Size ? m_n64Size - n64Offset : 0;
    }
    // From n64Offset: the stored bytes before the tail, else 0.
    ULONGLONG DataLength(ULONGLONG n64Offset) const
    {
        const ULONGLONG n64End = std::min(m_n64Stored, m_n64Size);
        return n64Offset < n64End ? n64End - n64Offset : 0;
    }
};
