// The volume's allocation map ($Bitmap, record 6): one bit per cluster, set
// while a file holds the cluster. Held in memory for a scan (32 MiB for a
// 1 TiB volume of 4 KiB clusters), filled through Bytes() by whoever reads
// the stream, in pieces, straight into place: there is never a second copy.
// Counting only: nothing here reads the disk.
#pragma once

#include "ntfs/StructureParsers.h"
#include "platform/Win32.h"

#include <memory>
#include <vector>

class CClusterBitmap
{
public:
    // Makes room for a volume of n64Clusters clusters, all bits clear, and
    // marks the map not yet usable. 0; ERROR_FILE_TOO_LARGE for a volume
    // whose map would pass kMaxBytes; ERROR_NOT_ENOUGH_MEMORY.
    DWORD Reset(ULONGLONG n64Clusters);
    // Forgets the map: nothing is usable until the next Reset and SetUsable.
    void Clear();
    // The bytes to fill, ByteCount() of them, cluster 0 in bit 0 of byte 0.
    BYTE* Bytes() { return m_pBytes.get(); }
    size_t ByteCount() const { return m_nBytes; }
    // The reader says the whole map was read and checks out.
    void SetUsable(bool bUsable) { m_bUsable = bUsable && m_pBytes != nullptr; }
    bool Usable() const { return m_bUsable; }
    ULONGLONG Clusters() const { return m_n64Clusters; }
    size_t MemoryBytes() const { return m_nBytes; }

    bool InUse(ULONGLONG n64Cluster) const;
    // How many of the clusters n64First to n64First + n64Count - 1 are in
    // use; clusters past the volume count as in use (they hold nothing of
    // the file any more).
    ULONGLONG CountInUse(ULONGLONG n64First, ULONGLONG n64Count) const;

    // A volume of more clusters than this (16 Gi clusters: 64 TiB at 4 KiB)
    // gets no map: its states stay unknown.
    static const ULONGLONG kMaxBytes = 2ull << 30;

private:
    std::unique_ptr<BYTE[]> m_pBytes;
    size_t m_nBytes = 0;
    ULONGLONG m_n64Clusters = 0;
    bool m_bUsable = false;
};

// What the map says of a file's clusters now.
struct CClusterTally
{
    ULONGLONG m_n64Stored = 0;  // clusters its extents store (sparse extents hold none)
    ULONGLONG m_n64Free = 0;    // of them, free now: nothing else was written there
    void Add(const CClusterTally& other)
    {
        m_n64Stored += other.m_n64Stored;
        m_n64Free += other.m_n64Free;
    }
};

// Tallies the stored extents against the map. An extent that leaves the
// volume counts as lost whole: none of its clusters as free.
CClusterTally TallyExtents(const std::vector<ntfs::CExtent>& vecExtents, const CClusterBitmap& bitmap);
