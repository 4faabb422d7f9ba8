// What the platform layer offers beyond the Win32 names: allocation that
// reports failure instead of throwing, and where the first disk lives.
#pragma once

#include "platform/Win32.h"

#include <string>
#include <vector>

// A new heap array of n64Count bytes, released with delete[]; null when the
// memory cannot be had (or a test asked for the allocation to fail). The
// count is 64-bit so that a size read from disk is never truncated on its way.
BYTE* AllocBytes(ULONGLONG n64Count);

// The disks given to the program on its command line, in order; an empty list
// forgets them. Where the system has no drives of its own to open by number
// (POSIX), these are the disks "\\.\PhysicalDriveN" opens, in place of
// SALVIX_DISK; on Windows they are images that come after the physical drives
// (UTF-8 paths).
// A path may hold ':' here.
void SetDiskPaths(const std::vector<std::string>& vecPaths);

// The path that stands behind "\\.\PhysicalDriveN", or empty when there is no
// such disk. POSIX: the N-th path given to SetDiskPaths, else the N-th entry of
// SALVIX_DISK split at ':' (empty entries skipped), else the N-th whole disk
// under /sys/block in name order. Windows: the drive's own name, while it
// exists (any other failure to open it still counts as a disk).
std::string DiskPath(DWORD dwDisk);

// The disks listed after the physical drives: on Windows the paths given to
// SetDiskPaths; elsewhere none, as the given paths are the drives themselves.
std::vector<std::string> ImageDiskPaths();

// DiskPath(0).
std::string FirstDiskPath();

#ifdef _WIN32
// Text between the program, which speaks UTF-8, and the wide-character
// calls, which take any name and show any text whatever the system's code
// page (the paths given to SetDiskPaths are UTF-8 too). Invalid input gives
// an empty result.
std::wstring WideFromUtf8(const std::string& str);
std::string Utf8FromWide(const std::wstring& wstr);
#endif
