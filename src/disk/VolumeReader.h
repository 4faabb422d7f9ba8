// Where a volume lies on its disk and how it is read: one geometry value and
// one reader of byte ranges inside the volume. Every file system reads its
// volume through these; parsing never sees a handle.
#pragma once

#include "platform/Win32.h"

#include <atomic>

// Where a volume lies on its disk, how the disk reads, and, once the volume's
// boot sector is parsed, its clusters.
struct CVolumeGeometry
{
    ULONGLONG m_n64Offset = 0;     // the volume's first byte on the disk
    DWORD m_dwSectorSize = 512;    // the disk's logical sector size
    DWORD m_dwClusterSize = 0;     // 0: not known yet
    ULONGLONG m_n64Clusters = 0;   // clusters the volume holds; 0: not known
};

// Byte reads at offsets inside the volume, through the disk layer's one
// positioned read. Reads the disk's whole sectors only: a range that does not
// start or end on a sector goes through a small buffer. Cheap to copy.
class CVolumeReader
{
public:
    CVolumeReader() = default;
    CVolumeReader(HANDLE hDevice, const CVolumeGeometry& geometry) { Reset(hDevice, geometry); }

    void Reset(HANDLE hDevice, const CVolumeGeometry& geometry);
    // Reads go through another handle on the same disk from now on.
    void SetDevice(HANDLE hDevice) { m_hDevice = hDevice; }
    // Reads stop between pieces with ERROR_OPERATION_ABORTED once *pStop is set.
    void SetStopFlag(const std::atomic<BYTE>* pStop) { m_pStop = pStop; }
    bool Stopped() const { return m_pStop && m_pStop->load(); }
    HANDLE Device() const { return m_hDevice; }
    bool HasDevice() const { return m_hDevice != INVALID_HANDLE_VALUE && m_hDevice != nullptr; }
    const CVolumeGeometry& Geometry() const { return m_geometry; }

    // All nCount bytes at n64Offset of the volume: 0; ERROR_INVALID_PARAMETER
    // for a range past 64-bit offsets; ERROR_OPERATION_ABORTED after a stop;
    // ERROR_HANDLE_EOF when the disk ends first; the system's code.
    DWORD ReadAt(ULONGLONG n64Offset, BYTE* pDest, size_t nCount) const;

    // One read of dwCount bytes at n64Offset of the volume, as the system
    // gives it: dwRead may fall short of the count at the end of the device
    // (or whenever the system hands over fewer); 0 or the system's code.
    // For the first structures of a volume, whose checks judge a short read.
    DWORD ReadOnce(ULONGLONG n64Offset, BYTE* pDest, DWORD dwCount, DWORD& dwRead) const;

    // Reads go to the disk in pieces of at most this many bytes.
    static const DWORD kPieceBytes = 1u << 20;

private:
    DWORD ReadAligned(ULONGLONG n64Disk, BYTE* pDest, DWORD dwCount) const;

    HANDLE m_hDevice = nullptr;
    CVolumeGeometry m_geometry;
    DWORD m_dwAlign = 512;  // the sector size reads are aligned to
    const std::atomic<BYTE>* m_pStop = nullptr;
};
