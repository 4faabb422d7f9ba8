// Reads the bytes of a non-resident stream from the disk through its extents:
// the one reader behind the table, the record data and the saved files.
#pragma once

#include "ntfs/Structures.h"
#include "platform/Win32.h"

#include <atomic>
#include <vector>

class CExtentReader
{
public:
    CExtentReader(HANDLE hDevice, ULONGLONG n64VolumeOffset, DWORD dwClusterSize)
        : m_hDevice(hDevice), m_n64VolumeOffset(n64VolumeOffset), m_dwClusterSize(dwClusterSize)
    {
    }

    // Reads go through another handle on the same disk from now on.
    void SetDevice(HANDLE hDevice) { m_hDevice = hDevice; }
    // Stops a long read between pieces with ERROR_OPERATION_ABORTED once *pStop is set.
    void SetStopFlag(const std::atomic<BYTE>* pStop) { m_pStop = pStop; }
    // The volume holds n64Clusters clusters (0: not known). An extent that
    // reaches past them is outside the volume: Read refuses it with
    // ERROR_DISK_CORRUPT rather than hand over whatever lies there.
    void SetVolumeClusters(ULONGLONG n64Clusters) { m_n64VolumeClusters = n64Clusters; }
    // Every stored (not sparse) extent lies inside the volume.
    bool InsideVolume(const std::vector<ntfs::CExtent>& vecExtents) const;

    // Reads nCount bytes at byte n64Offset of the stream the extents describe
    // into pDest. Sparse extents read as zeros without touching the disk.
    // Contiguous clusters are read in pieces of up to kPieceSize bytes.
    // 0; ERROR_INVALID_PARAMETER for bytes no extent describes;
    // ERROR_DISK_CORRUPT for clusters past the volume; ERROR_HANDLE_EOF
    // when the disk ends first; the system's code for a failed read.
    DWORD Read(const std::vector<ntfs::CExtent>& vecExtents, ULONGLONG n64Offset, BYTE* pDest,
               size_t nCount) const;

    // Bytes the extents describe from VCN 0 without a gap.
    ULONGLONG CoveredBytes(const std::vector<ntfs::CExtent>& vecExtents) const;

    DWORD ClusterSize() const { return m_dwClusterSize; }

    static const DWORD kPieceSize = 1024 * 1024;

private:
    HANDLE m_hDevice;
    ULONGLONG m_n64VolumeOffset;
    DWORD m_dwClusterSize;
    ULONGLONG m_n64VolumeClusters = 0;
    const std::atomic<BYTE>* m_pStop = nullptr;
};
