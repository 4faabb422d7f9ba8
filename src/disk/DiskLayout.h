// How big a disk is and how long its sectors are, and the list of disks the
// program offers, one node each.
#pragma once

#include "platform/Win32.h"

#include <string>
#include <vector>

// The sector sizes the partition walk knows.
const DWORD kSmallSectorSize = 512;
const DWORD kLargeSectorSize = 4096;

// What the device says of itself, without reading it: its logical sector size
// and length when it is a disk (bImage false), or, for an image file, its
// length and 512 bytes a sector (bImage true: the content may still tell a
// 4096-byte sector, see ImageSectorSize). Returns 0 or the system's code.
DWORD QueryDiskGeometry(HANDLE hDisk, DWORD& dwSectorSize, ULONGLONG& qwDiskBytes, bool& bImage);

// The sector size of a disk image of qwDiskBytes: 4096 when a valid GPT
// header stands at byte 4096 (or at the last 4096-byte sector) and none at
// byte 512 (nor the last 512-byte sector), else 512. Reads the image.
DWORD ImageSectorSize(HANDLE hDisk, ULONGLONG qwDiskBytes);

// The disk's logical sector size (512 or 4096; a device may also say 1024 or
// 2048) and its length in bytes: the
// device's geometry when it answers, else the image's size and the sector
// size its content shows. Returns 0 or the system's code; may move the handle.
DWORD GetDiskLayout(HANDLE hDisk, DWORD& dwSectorSize, ULONGLONG& qwDiskBytes);

// One disk the program offers.
struct CDiskSummary
{
    DWORD m_dwDisk;            // what OpenDisk and WalkPartitionTables take
    std::string m_strName;     // device or file name: "/dev/sdb", "\\.\PhysicalDrive1", "D:\disk.img"
    DWORD m_dwError;           // 0, or why it could not be opened or measured
    DWORD m_dwSectorSize;      // when m_dwError is 0
    ULONGLONG m_qwDiskBytes;   // when m_dwError is 0
};

// Every disk, in order: the drives, then (on Windows) the images given on the
// command line. Each is opened briefly to measure it; one that cannot be
// still stands in the list with its error.
std::vector<CDiskSummary> ListDisks();

// A size in decimal units, rounded to the nearest: "64 GB", "2 TB", "100 MB",
// "512 KB", "900 bytes"; below 10 of a unit with one decimal ("1.5 TB").
std::string FormatDiskSize(ULONGLONG qwBytes);

// The text of a disk's node: "Disk 1: /dev/sdb, 64 GB"; without the size
// ("Disk 1: /dev/sdb") when the disk could not be measured.
std::string DiskNodeText(const CDiskSummary& disk);
