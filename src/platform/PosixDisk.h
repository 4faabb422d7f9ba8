// Shared by the POSIX file functions and the disk list beside them.
#pragma once

#ifndef _WIN32

#include "platform/Win32.h"

// True when pszName names a physical drive ("\\.\PhysicalDrive" in any case,
// then anything). dwDisk is its number, or kNoSuchDisk when the rest is not a
// plain decimal number that a disk could have.
const DWORD kNoSuchDisk = 0xFFFFFFFFu;
bool ParseDiskName(const char* pszName, DWORD& dwDisk);

// The descriptor behind an open file handle, or -1 for anything else.
int DescriptorOf(HANDLE hFile);

// The Win32 code the same failure gives on Windows.
DWORD ErrnoToWin32(int nErrno);

#endif  // !_WIN32
