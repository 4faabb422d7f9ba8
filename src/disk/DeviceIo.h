// Every read of a disk passes here: positioned, bounded, and through the test
// seam, the same on every system.
#pragma once

#include "platform/Win32.h"

// Positions the handle at an absolute 64-bit byte offset. Returns 0 or the
// system's code. A position whose low half is all ones is not taken for a
// failure unless the system says so.
DWORD SeekDevice(HANDLE hDevice, ULONGLONG n64Offset);

// ReadFile of the disk at the handle's position, as the system does it:
// FALSE and GetLastError() on failure, the count read (possibly fewer than
// asked at the end of the device) in *pdwRead.
BOOL ReadDevice(HANDLE hDevice, LPVOID pBuffer, DWORD dwCount, LPDWORD pdwRead);

// Reads dwCount bytes at n64Offset: a seek, then reads until the count, the
// end of the device (dwRead tells how many arrived; the code is 0) or an
// error (its code). Two threads reading one handle this way never mix their
// positions. Not for handles another thread seeks on its own.
DWORD ReadDeviceAt(HANDLE hDevice, ULONGLONG n64Offset, BYTE* pBuffer, DWORD dwCount, DWORD& dwRead);

// All dwCount bytes at n64Offset: 0, the system's code, or ERROR_READ_FAULT
// when the device ends first.
DWORD ReadDeviceAt(HANDLE hDevice, ULONGLONG n64Offset, BYTE* pBuffer, DWORD dwCount);
