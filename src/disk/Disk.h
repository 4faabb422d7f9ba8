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

// Disk dwDisk opened by OpenDisk for as long as the object lives;
// m_hDisk is INVALID_HANDLE_VALUE, GetLastError() telling why, when it could
// not be opened. Callers take their codes before it closes the handle, so
// closing never changes them.
class CDiskHandle
{
public:
    explicit CDiskHandle(DWORD dwDisk) : m_hDisk(OpenDisk(dwDisk)) {}
    ~CDiskHandle()
    {
        if (m_hDisk != INVALID_HANDLE_VALUE)
            CloseHandle(m_hDisk);
    }
    CDiskHandle(const CDiskHandle&) = delete;
    CDiskHandle& operator=(const CDiskHandle&) = delete;

    HANDLE m_hDisk;
};
