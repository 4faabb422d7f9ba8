#include "ntfs/TableReader.h"

#include "platform/Platform.h"

#include <algorithm>
#include <cstring>

CTableReader::~CTableReader()
{
    StopReadAhead();
}

DWORD CTableReader::Reset(const CExtentReader& reader, DWORD dwRecordSize, std::vector<ntfs::CExtent> vecExtents,
                          ULONGLONG n64TableBytes)
{
    Clear();
    for (CBlock& block : m_blocks)
    {
        if (!block.m_pBytes)
            block.m_pBytes.reset(AllocBytes(kBlockBytes));
        if (!block.m_pBytes)
            return ERROR_NOT_ENOUGH_MEMORY;
    }
    m_reader = reader;
    m_reader.SetStopFlag(nullptr);
    m_dwRecordSize = dwRecordSize;
    m_vecExtents = std::move(vecExtents);
    m_n64TableBytes = n64TableBytes;
    return 0;
}

void CTableReader::ResetResident(DWORD dwRecordSize, std::vector<BYTE> vecBytes)
{
    Clear();
    m_dwRecordSize = dwRecordSize;
    m_n64TableBytes = vecBytes.size();
    m_vecResident = std::move(vecBytes);
    m_bResident = true;
}

void CTableReader::Clear()
{
    StopReadAhead();
    m_vecExtents.clear();
    m_vecResident.clear();
    m_bResident = false;
    m_n64TableBytes = 0;
    for (CBlock& block : m_blocks)
        block.m_n64Start = ~0ull;
    m_n64BadBlock = ~0ull;
    for (CWindow& window : m_windows)
        window.m_eState = CWindow::eFree;
}

size_t CTableReader::HeldBytes() const
{
    size_t nBytes = m_vecResident.capacity();
    for (const CBlock& block : m_blocks)
        nBytes += block.m_pBytes ? kBlockBytes : 0;
    if (!m_thread.joinable())
        for (const CWindow& window : m_windows)
            nBytes += window.m_pBytes ? kWindowBytes : 0;
    return nBytes;
}

void CTableReader::SetDevice(HANDLE hDevice)
{
    // Nothing may go on reading through a handle its owner is about to close.
    StopReadAhead();
    m_reader.SetDevice(hDevice);
}

DWORD CTableReader::ReadTable(ULONGLONG n64Offset, BYTE* pDest, DWORD dwCount) const
{
    CExtentReader reader(m_reader);  // the read-ahead's own, with its stop flag
    reader.SetStopFlag(m_pStop);
    return reader.Read(m_vecExtents, n64Offset, pDest, dwCount);
}

void CTableReader::StartReadAhead(ULONGLONG n64First, const std::atomic<BYTE>* pStop)
{
    StopReadAhead();
    if (m_bResident || m_dwRecordSize == 0 || n64First >= RecordCount())
        return;
    std::lock_guard<std::mutex> lock(m_lock);
    m_bQuit = false;
    m_pStop = pStop;
    m_n64Next = n64First * m_dwRecordSize;
    for (CWindow& window : m_windows)
        window.m_eState = CWindow::eFree;
    m_thread = std::thread([this] { ReadAheadLoop(); });
}

void CTableReader::StopReadAhead()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_bQuit = true;
    }
    m_cvChanged.notify_all();
    if (m_thread.joinable())
        m_thread.join();
    std::lock_guard<std::mutex> lock(m_lock);
    // The windows are only needed while a walk runs; between scans the
    // program holds no more than its block cache.
    for (CWindow& window : m_windows)
    {
        window.m_eState = CWindow::eFree;
        window.m_pBytes.reset();
    }
    m_pStop = nullptr;
}

void CTableReader::ReadAheadLoop()
{
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;)
    {
        CWindow* pFree = nullptr;
        m_cvChanged.wait(lock, [&] {
            pFree = nullptr;
            for (CWindow& window : m_windows)
                if (window.m_eState == CWindow::eFree)
                    pFree = &window;
            return m_bQuit || (m_pStop && m_pStop->load()) || pFree;
        });
        if (m_bQuit || (m_pStop && m_pStop->load()) || m_n64Next >= m_n64TableBytes)
            break;
        pFree->m_eState = CWindow::eReading;
        pFree->m_n64Start = m_n64Next;
        pFree->m_dwLength = static_cast<DWORD>(std::min<ULONGLONG>(kWindowBytes, m_n64TableBytes - m_n64Next));
        m_n64Next += pFree->m_dwLength;
        lock.unlock();
        if (!pFree->m_pBytes)
            pFree->m_pBytes.reset(AllocBytes(kWindowBytes));
        const DWORD dwError = pFree->m_pBytes ? ReadTable(pFree->m_n64Start, pFree->m_pBytes.get(), pFree->m_dwLength)
                                              : ERROR_NOT_ENOUGH_MEMORY;
        lock.lock();
        pFree->m_dwError = dwError;
        pFree->m_eState = CWindow::eReady;
        m_cvChanged.notify_all();
        // A window that failed is read again by the walk, by blocks and then
        // record by record; the read-ahead goes on past it, unless stopped.
        if (dwError == ERROR_OPERATION_ABORTED)
            break;
    }
    // The read-ahead is over: whoever waits for a window that will not come
    // reads the record by itself.
    m_n64Next = ~0ull;
    m_cvChanged.notify_all();
}

bool CTableReader::CopyFromWindows(ULONGLONG n64Offset, BYTE* pDest, DWORD& dwError)
{
    std::unique_lock<std::mutex> lock(m_lock);
    if (!m_thread.joinable())
        return false;
    for (;;)
    {
        CWindow* pHolder = nullptr;
        for (CWindow& window : m_windows)
            if (window.m_eState != CWindow::eFree && n64Offset >= window.m_n64Start &&
                n64Offset - window.m_n64Start < window.m_dwLength)
                pHolder = &window;
        // The windows before the record are done with: the read-ahead may go on.
        bool bReleased = false;
        for (CWindow& window : m_windows)
            if (window.m_eState == CWindow::eReady && window.m_n64Start + window.m_dwLength <= n64Offset)
            {
                window.m_eState = CWindow::eFree;
                bReleased = true;
            }
        if (bReleased)
            m_cvChanged.notify_all();
        if (pHolder && pHolder->m_eState == CWindow::eReady)
        {
            // A window that could not be read says nothing of this record:
            // it is read by itself, so the records before a bad spot still come.
            if (pHolder->m_dwError == ERROR_OPERATION_ABORTED && m_pStop && m_pStop->load())
            {
                dwError = ERROR_OPERATION_ABORTED;  // stopped: nothing more is read
                return true;
            }
            if (pHolder->m_dwError != 0)
                return false;
            memcpy(pDest, pHolder->m_pBytes.get() + (n64Offset - pHolder->m_n64Start), m_dwRecordSize);
            return true;
        }
        // Neither in a window nor close ahead of the read-ahead: read by itself.
        if (!pHolder && (n64Offset < m_n64Next || n64Offset - m_n64Next >= ULONGLONG(kWindows) * kWindowBytes))
            return false;
        if (m_pStop && m_pStop->load())
        {
            dwError = ERROR_OPERATION_ABORTED;
            return true;
        }
        m_cvChanged.wait(lock);
    }
}

DWORD CTableReader::CopyFromBlocks(ULONGLONG n64Offset, BYTE* pDest)
{
    const ULONGLONG n64Start = n64Offset / kBlockBytes * kBlockBytes;
    // In a block that could not be read whole, records are read one by one:
    // only those on a bad sector are lost, and the block is not tried again
    // for each of them.
    if (n64Start == m_n64BadBlock)
        return m_reader.Read(m_vecExtents, n64Offset, pDest, m_dwRecordSize);
    CBlock* pBlock = nullptr;
    for (CBlock& block : m_blocks)
        if (block.m_n64Start == n64Start)
            pBlock = &block;
    if (!pBlock)
    {
        pBlock = &m_blocks[0];
        for (CBlock& block : m_blocks)
            if (block.m_n64Used < pBlock->m_n64Used)
                pBlock = &block;
        if (!pBlock->m_pBytes)
            return ERROR_NOT_ENOUGH_MEMORY;
        pBlock->m_n64Start = ~0ull;
        const DWORD dwLength = static_cast<DWORD>(std::min<ULONGLONG>(kBlockBytes, m_n64TableBytes - n64Start));
        if (m_reader.Read(m_vecExtents, n64Start, pBlock->m_pBytes.get(), dwLength) != 0)
        {
            m_n64BadBlock = n64Start;
            return m_reader.Read(m_vecExtents, n64Offset, pDest, m_dwRecordSize);
        }
        pBlock->m_n64Start = n64Start;
        pBlock->m_dwLength = dwLength;
    }
    pBlock->m_n64Used = ++m_n64Clock;
    memcpy(pDest, pBlock->m_pBytes.get() + (n64Offset - n64Start), m_dwRecordSize);
    return 0;
}

DWORD CTableReader::CopyRecord(ULONGLONG n64Index, BYTE* pDest)
{
    if (m_dwRecordSize == 0 || n64Index >= RecordCount())
        return ERROR_NO_MORE_FILES;
    const ULONGLONG n64Offset = n64Index * m_dwRecordSize;
    if (m_bResident)
    {
        memcpy(pDest, m_vecResident.data() + n64Offset, m_dwRecordSize);
        return 0;
    }
    DWORD dwError = 0;
    if (CopyFromWindows(n64Offset, pDest, dwError))
        return dwError;
    return CopyFromBlocks(n64Offset, pDest);
}
