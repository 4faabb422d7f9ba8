// Test seam: faults injected into the program's I/O, so tests can show what a
// failing device, a full destination or exhausted memory does to the program.
// Process-wide; every thread sees the same plan. Off unless a test sets it.
// The disk layer's reads and seeks, the saved files' writes and AllocBytes
// consult it, on every system.
#pragma once

#include "platform/Win32.h"

struct CDeviceFault
{
    enum EKind
    {
        eNone,
        eReadError,    // a read whose range covers the offset fails with dwError
        eShortRead,    // the first read that covers the offset stops just before it
        eEndOfDevice,  // the device ends at the offset: nothing at or past it is read
        eSeekError,    // a seek to the offset or beyond fails with dwError
        eWriteError,   // a write to an output file fails with dwError after the offset
        eSlowRead,     // every read at or past the offset first waits dwError milliseconds
        eDeviceGone,   // every read that reaches the offset or beyond fails with dwError
    };
    EKind m_eKind = eNone;
    ULONGLONG m_n64Offset = 0;
    DWORD m_dwError = 0;
};

void SetDeviceFault(const CDeviceFault& fault);
// Allocations through AllocBytes of at least n64MinSize bytes fail; after
// nSkip allocations of that size have succeeded. ~0ull switches it off.
void SetAllocationFault(ULONGLONG n64MinSize, unsigned nSkip = 0);
void ClearFaults();

// Counters, so tests can tell how the disk and the output files were used.
struct CIoCounters
{
    ULONGLONG m_n64Reads = 0;      // reads of the disk
    ULONGLONG m_n64BytesRead = 0;  // bytes they delivered
    ULONGLONG m_n64Writes = 0;     // writes of output files
};
CIoCounters GetIoCounters();
void ResetIoCounters();

// What the I/O paths ask of the plan. Each is one atomic load while no fault is set.
namespace faultseam
{
// For a read of dwCount bytes at n64Pos: the count to ask the system for, or
// a code in dwError when the read must fail instead.
DWORD ShapeRead(ULONGLONG n64Pos, DWORD dwCount, DWORD& dwError);
// 0, or the code a seek to n64Pos must fail with.
DWORD SeekError(ULONGLONG n64Pos);
// For a write of dwCount bytes at n64Pos: the count to write, and in dwError
// the code the write must then fail with (0 when it succeeds).
DWORD ShapeWrite(ULONGLONG n64Pos, DWORD dwCount, DWORD& dwError);
bool Active();
bool AllocationRefused(ULONGLONG n64Count);
void CountRead(DWORD dwBytes);
void CountWrite();
}  // namespace faultseam
