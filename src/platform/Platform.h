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

// Which disks a saved file would land on, so that a save onto the disk being
// recovered from can be warned of. A disk is named by an id that both calls
// give alike: "MAJOR:MINOR" of the whole disk on Linux, "PhysicalDriveN" on
// Windows. A mapped or RAID device counts with the disks beneath it.
// The disks holding the file system a folder lies on; empty when that cannot
// be told (a network or memory file system, a folder that is not there).
std::vector<std::string> DisksHoldingFolder(const std::string& strFolder);
// The whole disk a source is when it is a disk or a partition device; empty
// for an image file.
std::vector<std::string> DisksOfDevice(const std::string& strPath);
#ifndef _WIN32
// The disks behind the block device of these numbers, as above.
std::vector<std::string> DisksOfDeviceNumber(unsigned nMajor, unsigned nMinor);
// Where sysfs is read ("/sys"), for tests that lay out a tree of their own.
void SetSysfsRoot(const std::string& strRoot);
#endif

// The longest name and path the system takes in a folder: in bytes on POSIX
// (the folder's file system's NAME_MAX, and PATH_MAX less its terminator),
// in UTF-16 units on Windows (the volume's longest component, and a path
// written with the "\\?\" prefix).
void FolderLimits(const std::string& strFolder, size_t& nNameMax, size_t& nPathMax);

// The time the computer's clock showed, in its own zone with its summer
// time, at a time given in 100-ns units since 1601 UTC. False, n64Local
// untouched, when the system cannot say for that time.
bool LocalClockTime(ULONGLONG n64Utc, ULONGLONG& n64Local);
