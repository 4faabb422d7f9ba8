// Opening the disks the program reads. Reads go through disk/DeviceIo.h.
#pragma once

#include "disk/DeviceIo.h"
#include "platform/Win32.h"

// Opens the first physical disk for reading, sharing read and write, as every
// part of the program does; INVALID_HANDLE_VALUE and GetLastError() on failure.
HANDLE OpenFirstDisk();
