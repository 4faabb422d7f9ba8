// The master file table read from the disk in windows, never held whole.
//
// A scan walks the table in order: a second thread reads the next windows
// ahead (a few MiB each, a handful in flight) while the walk parses the
// current one, so reading and parsing overlap. Any other record (a save, a
// folder's name, an extension record) is read by itself through a small
// cache of blocks. Memory stays the windows in flight and the cache,
// whatever the table's size; sizes and offsets are 64-bit throughout.
//
// A stretch that cannot be read costs only the records on its bad sectors:
// a window that fails is read again by blocks, and a block that fails record
// by record, so every other record still comes and the read-ahead goes on
// past it. A record that cannot be read gives the read's code.
#pragma once

#include "ntfs/ExtentReader.h"
#include "ntfs/StructureParsers.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class CTableReader
{
public:
    CTableReader() = default;
    ~CTableReader();
    CTableReader(const CTableReader&) = delete;
    CTableReader& operator=(const CTableReader&) = delete;

    // A table whose bytes lie in these extents of the volume, read through
    // reader. The cache of blocks is made here, so that reading records later
    // allocates nothing: 0, or ERROR_NOT_ENOUGH_MEMORY.
    DWORD Reset(const CExtentReader& reader, DWORD dwRecordSize, std::vector<ntfs::CExtent> vecExtents,
                ULONGLONG n64TableBytes);
    // A table held in the record itself (a resident value): tiny, kept as it is.
    void ResetResident(DWORD dwRecordSize, std::vector<BYTE> vecBytes);
    // No table: every record is past its end.
    void Clear();
    // Reads go through another handle on the same disk (or none) from now on.
    void SetDevice(HANDLE hDevice);

    ULONGLONG TableBytes() const { return m_n64TableBytes; }
    ULONGLONG RecordCount() const { return m_dwRecordSize ? m_n64TableBytes / m_dwRecordSize : 0; }

    // Copies record n64Index as stored into pDest (one record's bytes). 0,
    // ERROR_NO_MORE_FILES past the table's last whole record, or the code of
    // the read that failed.
    DWORD CopyRecord(ULONGLONG n64Index, BYTE* pDest);

    // Reads the table ahead from record n64First on, on a second thread,
    // until the end, StopReadAhead, or *pStop.
    void StartReadAhead(ULONGLONG n64First, const std::atomic<BYTE>* pStop);
    void StopReadAhead();
    // The memory that holds table bytes now, while no read-ahead runs: the
    // block cache, and a resident table's value. Never more than
    // kMaxHeldBytes, whatever the table's size.
    size_t HeldBytes() const;

    static constexpr DWORD kWindowBytes = 4u << 20;
    static constexpr int kWindows = 3;
    static constexpr DWORD kBlockBytes = 64u << 10;
    static constexpr int kBlocks = 16;
    static constexpr size_t kMaxHeldBytes = size_t(kWindows) * kWindowBytes + size_t(kBlocks) * kBlockBytes;

private:
    struct CWindow
    {
        enum EState { eFree, eReading, eReady };
        EState m_eState = eFree;
        ULONGLONG m_n64Start = 0;  // table byte offset
        DWORD m_dwLength = 0;
        DWORD m_dwError = 0;
        std::unique_ptr<BYTE[]> m_pBytes;
    };
    struct CBlock
    {
        ULONGLONG m_n64Start = ~0ull;
        DWORD m_dwLength = 0;
        ULONGLONG m_n64Used = 0;  // for choosing the one to replace
        std::unique_ptr<BYTE[]> m_pBytes;
    };

    void ReadAheadLoop();
    // Copies from a ready window, or waits for one on its way; false when no
    // window holds or will soon hold the record.
    bool CopyFromWindows(ULONGLONG n64Offset, BYTE* pDest, DWORD& dwError);
    DWORD CopyFromBlocks(ULONGLONG n64Offset, BYTE* pDest);
    DWORD ReadTable(ULONGLONG n64Offset, BYTE* pDest, DWORD dwCount) const;

    CExtentReader m_reader;
    DWORD m_dwRecordSize = 0;
    std::vector<ntfs::CExtent> m_vecExtents;
    ULONGLONG m_n64TableBytes = 0;
    std::vector<BYTE> m_vecResident;
    bool m_bResident = false;

    std::mutex m_lock;
    std::condition_variable m_cvChanged;
    CWindow m_windows[kWindows];
    std::thread m_thread;
    bool m_bQuit = false;
    const std::atomic<BYTE>* m_pStop = nullptr;
    ULONGLONG m_n64Next = 0;  // table byte offset the read-ahead reads next

    CBlock m_blocks[kBlocks];
    ULONGLONG m_n64Clock = 0;
    ULONGLONG m_n64BadBlock = ~0ull;  // the last block that could not be read whole
};
