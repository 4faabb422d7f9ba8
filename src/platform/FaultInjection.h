// Test seam: faults injected into the platform layer, so tests can show what a
// failing device, a full destination or exhausted memory does to the program.
// Process-wide; every thread sees the same plan. Off unless a test sets it.
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
        eWriteError,   // a write to a file handle fails with dwError after the offset
    };
    EKind m_eKind = eNone;
    ULONGLONG m_n64Offset = 0;
    DWORD m_dwError = 0;
};

// Applies to handles opened for reading (the disk) or, for eWriteError, for writing.
void SetDeviceFault(const CDeviceFault& fault);
// Allocations through AllocBytes of at least n64MinSize bytes fail; after
// nSkip allocations of that size have succeeded. ~0ull switches it off.
void SetAllocationFault(ULONGLONG n64MinSize, unsigned nSkip = 0);
void ClearFaults();

// Counters, so tests can tell how the layer was used.
struct CIoCounters
{
    ULONGLONG m_n64Reads = 0;      // ReadFile calls on read handles
    ULONGLONG m_n64BytesRead = 0;  // bytes they delivered
    ULONGLONG m_n64Writes = 0;     // WriteFile calls
};
CIoCounters GetIoCounters();
void ResetIoCounters();
