// What the session needs of a file system, and all it knows of one: a volume
// opened on a disk, walked into rows, a row described and its data opened by
// the id the walk gave it, the volume's label. NTFS (ntfs/NtfsFileSystem.h)
// and FAT12/16/32 and exFAT (fat/FatFileSystem.h) implement it; one factory
// (session/FileSystems.h) picks the one a volume's boot sector shows, and
// nothing above asks which it got.
//
// Contract:
// - Open reads what a walk needs (the boot sector and what it points to)
//   through hDevice, which the caller keeps open until DetachDevice or the
//   object goes. 0; ERROR_INVALID_DRIVE when the volume is none of this file
//   system's; ERROR_OPERATION_ABORTED once *pStop is set; the disk's codes.
// - Walk lists every file and folder, deleted ones included, into the sink in
//   batches until the end or bStop: an entry whose bytes cannot be read is
//   counted in dwUnread (the walk goes on), a damaged one gets a row that
//   says so. Returns 0, a stop included, or the code of a failure that left
//   nothing more to list. The walk holds lockShared while it uses what
//   Describe and Twin also use, so that another thread may call those two
//   under the same lock meanwhile.
// - Ids: a row's id finds it again in Describe and OpenStream, on this object
//   and on its twins (NTFS: the record number, on any opening; FAT: the
//   entry's place in the walk, known to the walked volume and its twins).
// - Describe and OpenStream may read the disk; OpenStream gives the file's
//   own bytes (NTFS: the unnamed data stream), an empty stream for a folder.
//   Codes: 0; ERROR_INVALID_ACCESS before Open; ERROR_NO_MORE_FILES for an id
//   the volume does not know; the parse's and the disk's codes.
// - Twin gives a new object for the same volume, not open, which shares what
//   the walk found: a save opens it on a handle of its own.
// - ReadLabel needs no Open: it reads the few sectors the label needs.
// - Otherwise one thread uses an object at a time.
#pragma once

#include "disk/PartitionTable.h"
#include "disk/VolumeReader.h"
#include "fs/Rows.h"
#include "platform/Win32.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

// A partition's geometry: its 64-bit first sector in the disk's sector size,
// or, for a record without a sector size, its 32-bit one in 512-byte sectors.
// False when the offset does not fit 64 bits.
bool GeometryOf(const PartitionRecord& partition, CVolumeGeometry& geometry);

// What a walk hands on besides its return code.
class IRowSink
{
public:
    // Rows in walk order, with the folders they name first met since the
    // batch before.
    virtual void OnRows(CRowBatch&& batch) = 0;
    // How far the walk got: dwDone of dwTotal (NTFS: records of the table;
    // FAT: folders read of those known so far). Follows a batch.
    virtual void OnProgress(DWORD dwDone, DWORD dwTotal) = 0;
    // Before each record (NTFS) or folder (FAT) is read: a seam for tests.
    virtual void BeforeItem(DWORD /*dwItem*/) {}

protected:
    ~IRowSink() = default;
};

// A row's data, read in pieces of any size at any offset.
class IDataStream
{
public:
    virtual ~IDataStream() = default;
    virtual ULONGLONG Size() const = 0;
    // nCount bytes at n64Offset: 0; ERROR_HANDLE_EOF past Size(); the
    // stream's and the disk's codes.
    virtual DWORD Read(ULONGLONG n64Offset, BYTE* pDest, size_t nCount) = 0;
    // From n64Offset on: how many bytes are zeros that nothing on the disk
    // stands for (a hole), or how many are not; 0 where the other applies.
    virtual ULONGLONG HoleLength(ULONGLONG n64Offset) const = 0;
    virtual ULONGLONG DataLength(ULONGLONG n64Offset) const = 0;
};

// A file system's own data object (Size, Read, HoleLength, DataLength, as
// IDataStream states them) handed out as an IDataStream.
template <class TData>
class CDataStreamOf final : public IDataStream
{
public:
    TData m_data;
    ULONGLONG Size() const override { return m_data.Size(); }
    DWORD Read(ULONGLONG n64Offset, BYTE* pDest, size_t nCount) override { return m_data.Read(n64Offset, pDest, nCount); }
    ULONGLONG HoleLength(ULONGLONG n64Offset) const override { return m_data.HoleLength(n64Offset); }
    ULONGLONG DataLength(ULONGLONG n64Offset) const override { return m_data.DataLength(n64Offset); }
};

// Opens a data object through fnOpen(TData&) and, on success, hands it over
// as pStream; on failure pStream is left alone and fnOpen's code returned.
template <class TData, class FOpen>
DWORD OpenDataStream(FOpen fnOpen, std::unique_ptr<IDataStream>& pStream)
{
    auto pData = std::make_unique<CDataStreamOf<TData>>();
    if (DWORD dwError = fnOpen(pData->m_data))
        return dwError;
    pStream = std::move(pData);
    return 0;
}

// One row, by its id, as a save and a tooltip name it.
struct CEntryDescription
{
    std::string m_strName;    // UTF-8, whole; empty when none can be had
    std::string m_strFolder;  // "\", "\a\b"; "?\..." where the way up is not sure
    DWORD m_dwFileFlags = 0;  // FILE_ATTRIBUTE_* bits
    bool m_bDirectory = false;
    bool m_bDeleted = false;
    // UTC, 100-ns units since 1601; 0 when not known.
    ULONGLONG m_n64Created = 0;
    ULONGLONG m_n64Modified = 0;
    ULONGLONG m_n64Changed = 0;
};

class IFileSystem
{
public:
    virtual ~IFileSystem() = default;

    virtual DWORD Open(HANDLE hDevice, const CVolumeGeometry& geometry, const std::atomic<BYTE>* pStop) = 0;
    virtual DWORD Walk(IRowSink& sink, const std::atomic<BYTE>& bStop, std::mutex& lockShared,
                       DWORD& dwUnread) = 0;
    virtual DWORD Describe(DWORD dwId, CEntryDescription& desc) = 0;
    virtual DWORD OpenStream(DWORD dwId, std::unique_ptr<IDataStream>& pStream) = 0;
    virtual std::unique_ptr<IFileSystem> Twin() const = 0;
    // 0 and the label (UTF-8, empty when the volume has none), or the code.
    virtual DWORD ReadLabel(HANDLE hDevice, const CVolumeGeometry& geometry, std::string& strLabel) = 0;

    // The handle reads go through, and forgetting it before its owner closes
    // it: later reads of the disk fail, nothing reads a closed handle.
    virtual HANDLE Device() const = 0;
    virtual void DetachDevice() = 0;
    virtual const CVolumeGeometry& Geometry() const = 0;
    // Why the last walk could not read the volume's allocation map (the
    // rows' states that need it are unknown); 0 when it was read.
    virtual DWORD AllocationMapCode() const = 0;
};
