// Raw access to the first physical disk.
#pragma once

#include "platform/Win32.h"

// Opens the first physical disk for reading, sharing read and write, as every
// part of the program does; INVALID_HANDLE_VALUE and GetLastError() on failure.
HANDLE OpenFirstDisk();

// Positions the handle at an absolute 64-bit byte offset. Returns 0 or the
// system's code. A position whose low half is all ones is not taken for a
// failure unless the system says so.
DWORD SeekDevice(HANDLE hDevice, ULONGLONG n64Offset);
