// Raw access to the physical disks (or the disk images standing for them).
#pragma once

#include "platform/Win32.h"

#include <string>

// The most disks that are looked for; the numbers of more are never tried.
const DWORD kMaxDisks = 256;

// The name disk dwDisk is opened by: "\\.\PhysicalDriveN" for a drive (over
// POSIX the platform maps it to its path), an image's own path for the images
// that follow the drives on Windows. Empty past the last disk.
std::string DiskOpenName(DWORD dwDisk);

// Opens disk dwDisk (0 first) for reading, sharing read and write, as every
// part of the program does; INVALID_HANDLE_VALUE and GetLastError() on failure,
// ERROR_FILE_NOT_FOUND past the last disk.
HANDLE OpenDisk(DWORD dwDisk);

// OpenDisk(0).
HANDLE OpenFirstDisk();

// Positions the handle at an absolute 64-bit byte offset. Returns 0 or the
// system's code. A position whose low half is all ones is not taken for a
// failure unless the system says so.
DWORD SeekDevice(HANDLE hDevice, ULONGLONG n64Offset);

// Reads dwLength bytes at n64Offset: 0, the seek's or the read's own code, or
// ERROR_READ_FAULT when fewer bytes arrive.
DWORD ReadDeviceAt(HANDLE hDevice, ULONGLONG n64Offset, BYTE* pData, DWORD dwLength);
