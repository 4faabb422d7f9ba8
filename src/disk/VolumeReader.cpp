// Positioned reads inside a volume, in whole sectors of the disk.
#include "disk/VolumeReader.h"

#include "disk/DeviceIo.h"

#include <algorithm>
#include <cstring>
#include <vector>

void CVolumeReader::Reset(HANDLE hDevice, const CVolumeGeometry& geometry)
{
    m_hDevice = hDevice;
    m_geometry = geometry;
    const DWORD dwSector = geometry.m_dwSectorSize;
    // A sector size the disk layer would not give is taken as 512.
    m_dwAlign = dwSector >= 512 && dwSector <= 65536 && !(dwSector & (dwSector - 1)) ? dwSector : 512;
}

DWORD CVolumeReader::ReadAligned(ULONGLONG n64Disk, BYTE* pDest, DWORD dwCount) const
{
    if (Stopped())
        return ERROR_OPERATION_ABORTED;
    DWORD dwGot = 0;
    if (DWORD dwError = ReadDeviceAt(m_hDevice, n64Disk, pDest, dwCount, dwGot))
        return dwError;
    return dwGot < dwCount ? ERROR_HANDLE_EOF : 0;
}

DWORD CVolumeReader::ReadAt(ULONGLONG n64Offset, BYTE* pDest, size_t nCount) const
{
    const ULONGLONG n64Start = m_geometry.m_n64Offset;
    if (n64Offset > ~0ull - n64Start || nCount > ~0ull - n64Start - n64Offset)
        return ERROR_INVALID_PARAMETER;
    ULONGLONG n64Disk = n64Start + n64Offset;
    std::vector<BYTE> vecBounce;
    while (nCount > 0)
    {
        const DWORD dwHead = static_cast<DWORD>(n64Disk % m_dwAlign);
        if (dwHead == 0 && nCount >= m_dwAlign)
        {
            // Whole sectors straight into the caller's buffer.
            const DWORD dwPiece = static_cast<DWORD>(std::min<size_t>(nCount, kPieceBytes)) / m_dwAlign * m_dwAlign;
            if (DWORD dwError = ReadAligned(n64Disk, pDest, dwPiece))
                return dwError;
            n64Disk += dwPiece;
            pDest += dwPiece;
            nCount -= dwPiece;
            continue;
        }
        // A part of one sector: an image that ends inside the sector still
        // gives the bytes it holds.
        vecBounce.resize(m_dwAlign);
        const size_t nPart = std::min<size_t>(nCount, m_dwAlign - dwHead);
        DWORD dwGot = 0;
        if (Stopped())
            return ERROR_OPERATION_ABORTED;
        if (DWORD dwError = ReadDeviceAt(m_hDevice, n64Disk - dwHead, vecBounce.data(), m_dwAlign, dwGot))
            return dwError;
        if (dwGot < dwHead + nPart)
            return ERROR_HANDLE_EOF;
        memcpy(pDest, vecBounce.data() + dwHead, nPart);
        n64Disk += nPart;
        pDest += nPart;
        nCount -= nPart;
    }
    return 0;
}

DWORD CVolumeReader::ReadOnce(ULONGLONG n64Offset, BYTE* pDest, DWORD dwCount, DWORD& dwRead) const
{
    dwRead = 0;
    // An offset past the end of 64-bit offsets stays there, so the seek fails.
    const ULONGLONG n64Start = m_geometry.m_n64Offset;
    const ULONGLONG n64Disk = n64Offset > ~0ull - n64Start ? ~0ull : n64Start + n64Offset;
    if (DWORD dwError = SeekDevice(m_hDevice, n64Disk))
        return dwError;
    if (!ReadDevice(m_hDevice, pDest, dwCount, &dwRead))
        return GetLastError();
    return 0;
}
