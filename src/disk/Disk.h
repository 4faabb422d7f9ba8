// Opening the disks the program reads (or the disk images standing for them).
// Reads go through disk/DeviceIo.h.
#pragma once

#include "disk/DeviceIo.h"
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
