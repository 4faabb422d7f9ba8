// The fault plan and the I/O counters: plain data, the same on every system.
#include "platform/FaultInjection.h"
#include "platform/Platform.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <new>
#include <thread>

namespace
{

std::mutex g_faultLock;
CDeviceFault g_fault;
std::atomic<bool> g_bFaultSet{false};
std::atomic<ULONGLONG> g_n64AllocMin{~0ull};
std::atomic<unsigned> g_nAllocSkip{0};
std::atomic<ULONGLONG> g_n64Reads{0}, g_n64BytesRead{0}, g_n64Writes{0};

bool CurrentFault(CDeviceFault& fault)
{
    if (!g_bFaultSet.load(std::memory_order_acquire))
        return false;
    std::lock_guard<std::mutex> lock(g_faultLock);
    fault = g_fault;
    return fault.m_eKind != CDeviceFault::eNone;
}

void SpendShortRead()
{
    std::lock_guard<std::mutex> lock(g_faultLock);
    if (g_fault.m_eKind == CDeviceFault::eShortRead)
    {
        g_fault.m_eKind = CDeviceFault::eNone;
        g_bFaultSet.store(false, std::memory_order_release);
    }
}

}  // namespace

namespace faultseam
{

bool Active()
{
    return g_bFaultSet.load(std::memory_order_acquire);
}

DWORD ShapeRead(ULONGLONG n64Pos, DWORD dwCount, DWORD& dwError)
{
    dwError = 0;
    CDeviceFault fault;
    if (dwCount == 0 || !CurrentFault(fault))
        return dwCount;
    const ULONGLONG n64Off = fault.m_n64Offset;
    const bool bCovers = n64Off >= n64Pos && n64Off - n64Pos < dwCount;
    switch (fault.m_eKind)
    {
    case CDeviceFault::eReadError:
        if (bCovers)
            dwError = fault.m_dwError;
        return dwCount;
    case CDeviceFault::eEndOfDevice:
        if (n64Pos >= n64Off)
            return 0;
        return bCovers ? static_cast<DWORD>(n64Off - n64Pos) : dwCount;
    case CDeviceFault::eShortRead:
        if (!bCovers)
            return dwCount;
        SpendShortRead();
        return static_cast<DWORD>(n64Off - n64Pos);
    case CDeviceFault::eDeviceGone:
        if (n64Pos + dwCount > n64Off)
            dwError = fault.m_dwError;
        return dwCount;
    case CDeviceFault::eSlowRead:
        if (n64Pos + dwCount > n64Off)
            std::this_thread::sleep_for(std::chrono::milliseconds(fault.m_dwError));
        return dwCount;
    default:
        return dwCount;
    }
}

DWORD SeekError(ULONGLONG n64Pos)
{
    CDeviceFault fault;
    if (CurrentFault(fault) && fault.m_eKind == CDeviceFault::eSeekError && n64Pos >= fault.m_n64Offset)
        return fault.m_dwError;
    return 0;
}

DWORD ShapeWrite(ULONGLONG n64Pos, DWORD dwCount, DWORD& dwError)
{
    dwError = 0;
    CDeviceFault fault;
    if (!CurrentFault(fault) || fault.m_eKind != CDeviceFault::eWriteError ||
        n64Pos + dwCount <= fault.m_n64Offset)
        return dwCount;
    dwError = fault.m_dwError;
    return n64Pos >= fault.m_n64Offset ? 0 : static_cast<DWORD>(fault.m_n64Offset - n64Pos);
}

bool AllocationRefused(ULONGLONG n64Count)
{
    if (n64Count < g_n64AllocMin.load(std::memory_order_relaxed))
        return false;
    unsigned nSkip = g_nAllocSkip.load();
    while (nSkip > 0 && !g_nAllocSkip.compare_exchange_weak(nSkip, nSkip - 1))
    {
    }
    return nSkip == 0;
}

void CountRead(DWORD dwBytes)
{
    g_n64Reads.fetch_add(1, std::memory_order_relaxed);
    g_n64BytesRead.fetch_add(dwBytes, std::memory_order_relaxed);
}

void CountWrite()
{
    g_n64Writes.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace faultseam

BYTE* AllocBytes(ULONGLONG n64Count)
{
    if (faultseam::AllocationRefused(n64Count) || n64Count > SIZE_MAX)
        return nullptr;
    return new (std::nothrow) BYTE[static_cast<size_t>(n64Count)];
}

void SetDeviceFault(const CDeviceFault& fault)
{
    std::lock_guard<std::mutex> lock(g_faultLock);
    g_fault = fault;
    g_bFaultSet.store(fault.m_eKind != CDeviceFault::eNone, std::memory_order_release);
}

void SetAllocationFault(ULONGLONG n64MinSize, unsigned nSkip)
{
    g_nAllocSkip.store(nSkip);
    g_n64AllocMin.store(n64MinSize);
}

void ClearFaults()
{
    SetDeviceFault(CDeviceFault());
    SetAllocationFault(~0ull, 0);
}

CIoCounters GetIoCounters()
{
    CIoCounters counters;
    counters.m_n64Reads = g_n64Reads.load();
    counters.m_n64BytesRead = g_n64BytesRead.load();
    counters.m_n64Writes = g_n64Writes.load();
    return counters;
}

void ResetIoCounters()
{
    g_n64Reads = 0;
    g_n64BytesRead = 0;
    g_n64Writes = 0;
}
