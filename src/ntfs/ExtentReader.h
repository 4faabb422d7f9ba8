// Reads the bytes of a non-resident stream from the disk through its extents:
// the one reader behind the table, the record data and the saved files.
#pragma once

#include "disk/VolumeReader.h"
#include "ntfs/StructureParsers.h"
#include "platform/Win32.h"

#include <atomic>
#include <vector>

class CExtentReader
{
public:
    CExtentReader() = default;
    // Clusters of the volume reader's geometry (its cluster size and count).
    explicit CExtentReader(const CVolumeReader& volume) : m_volume(volume) {}

    // Reads go through another handle on the same disk from now on.
    void SetDevice(HANDLE hDevice) { m_volume.SetDevice(hDevice); }
    // Stops a long read between pieces with ERROR_OPERATION_ABORTED once *pStop is set.
    void SetStopFlag(const std::atomic<BYTE>* pStop) { m_volume.SetStopFlag(pStop); }
    // Every stored (not sparse) extent lies inside the volume. An extent
    // that reaches past the geometry's clusters (when they are known) is
    // outside it: Read refuses it with ERROR_DISK_CORRUPT rather than hand
    // over whatever lies there.
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

    DWORD ClusterSize() const { return m_volume.Geometry().m_dwClusterSize; }

    static const DWORD kPieceSize = CVolumeReader::kPieceBytes;

private:
    CVolumeReader m_volume;
};
