// The bytes of one $DATA stream, as small stream types that stack:
// - CResidentStream: a value held in the record;
// - CExtentStream: runs of clusters on the disk, sparse ones read as zeros;
// - CCompressedStream: LZNT1 compression units over an extent stream;
// - CInitializedStream: any of those up to the initialized size, and past it
//   a trailing stretch of zeros nothing on the disk stands for.
// CEntryData (ntfs/EntryData.h) builds one stack per stream once it has
// gathered and checked where the bytes lie; each type only reads.
#pragma once

#include "fs/StreamRead.h"
#include "ntfs/ExtentReader.h"
#include "ntfs/StructureParsers.h"
#include "platform/Win32.h"

#include <memory>
#include <vector>

namespace ntfs
{

// The bytes of one stream from offset 0; callers keep reads inside it.
class IStreamPart
{
public:
    virtual ~IStreamPart() = default;
    // nCount bytes at n64Offset: 0 or the disk's and the decoder's codes.
    virtual DWORD Read(ULONGLONG n64Offset, BYTE* pDest, size_t nCount) = 0;
    // From n64Offset: how many bytes are all a hole (bHole) or all data;
    // may stop short, never past the stretch, and is never 0 inside the stream.
    virtual ULONGLONG Stretch(ULONGLONG n64Offset, bool& bHole) const = 0;
};

class CResidentStream final : public IStreamPart
{
public:
    explicit CResidentStream(const std::vector<BYTE>& vecValue) : m_vecValue(vecValue) {}
    DWORD Read(ULONGLONG n64Offset, BYTE* pDest, size_t nCount) override;
    ULONGLONG Stretch(ULONGLONG n64Offset, bool& bHole) const override;

private:
    const std::vector<BYTE>& m_vecValue;
};

class CExtentStream final : public IStreamPart
{
public:
    // The extents are joined from VCN 0 without gaps; the reader is the
    // owner's, so a later change of its device or stop flag applies here.
    CExtentStream(const std::vector<CExtent>& vecExtents, const CExtentReader& reader)
        : m_vecExtents(vecExtents), m_reader(reader)
    {
    }
    DWORD Read(ULONGLONG n64Offset, BYTE* pDest, size_t nCount) override;
    ULONGLONG Stretch(ULONGLONG n64Offset, bool& bHole) const override;

    const std::vector<CExtent>& Extents() const { return m_vecExtents; }
    DWORD ClusterSize() const { return m_reader.ClusterSize(); }

private:
    const std::vector<CExtent>& m_vecExtents;
    const CExtentReader& m_reader;
};

// The last compression unit expanded, shared by the streams of one file:
// memory for one unit, whatever the file's size.
struct CUnitCache
{
    std::unique_ptr<BYTE[]> m_pIn;
    std::unique_ptr<BYTE[]> m_pOut;
    DWORD m_dwBytes = 0;               // what the buffers hold
    const void* m_pOwner = nullptr;    // the stream whose unit is kept; null: none
    ULONGLONG m_n64Unit = 0;
};

// Units of dwUnitClusters clusters: one whose clusters are all stored is
// taken as it is, one with fewer stored clusters than its length is LZNT1,
// one without any is zeros.
class CCompressedStream final : public IStreamPart
{
public:
    CCompressedStream(const CExtentStream& extents, DWORD dwUnitClusters, ULONGLONG n64Vcns, CUnitCache& cache)
        : m_extents(extents), m_dwUnitClusters(dwUnitClusters), m_n64Vcns(n64Vcns), m_cache(cache)
    {
    }
    DWORD Read(ULONGLONG n64Offset, BYTE* pDest, size_t nCount) override;
    ULONGLONG Stretch(ULONGLONG n64Offset, bool& bHole) const override;

private:
    // Stored clusters in unit n64Unit, and the unit's length in clusters.
    void CountUnit(ULONGLONG n64Unit, ULONGLONG& n64Stored, ULONGLONG& n64Length) const;
    DWORD ExpandUnit(ULONGLONG n64Unit);
    ULONGLONG UnitBytes() const { return static_cast<ULONGLONG>(m_dwUnitClusters) * m_extents.ClusterSize(); }

    CExtentStream m_extents;  // the stored clusters below
    DWORD m_dwUnitClusters;
    ULONGLONG m_n64Vcns;
    CUnitCache& m_cache;
};

// The stream's bytes up to the initialized size from the part below; past
// it, up to the real size, zeros never read.
class CInitializedStream final : public IStreamPart
{
public:
    CInitializedStream(std::unique_ptr<IStreamPart> pStored, ULONGLONG n64Initialized, ULONGLONG n64Size)
        : m_pStored(std::move(pStored))
    {
        m_tail.m_n64Stored = n64Initialized;
        m_tail.m_n64Size = n64Size;
    }
    DWORD Read(ULONGLONG n64Offset, BYTE* pDest, size_t nCount) override;
    ULONGLONG Stretch(ULONGLONG n64Offset, bool& bHole) const override;

private:
    std::unique_ptr<IStreamPart> m_pStored;
    CZeroTail m_tail;
};

}  // namespace ntfs
