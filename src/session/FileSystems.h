// The one place that knows which file systems there are: it reads a volume's
// boot sector and hands back the file system that sector shows, opened.
#pragma once

#include "fs/FileSystem.h"

#include <memory>

// A new, unopened file system for the boot sector at pBoot (nSize bytes):
// NTFS, FAT12/16/32 or exFAT; null for anything else.
std::unique_ptr<IFileSystem> NewFileSystemFor(const BYTE* pBoot, size_t nSize);

// Reads the volume's boot sector at geometry and opens the file system it
// shows into pFs. 0; ERROR_INVALID_DRIVE when it is none this program
// reads; the read's and the file system's codes (pFs then null).
DWORD OpenFileSystem(HANDLE hDevice, const CVolumeGeometry& geometry, const std::atomic<BYTE>* pStop,
                     std::unique_ptr<IFileSystem>& pFs);

// The volume's label, read through hDevice with a few small reads.
// ERROR_INVALID_DRIVE when the volume is none this program reads.
DWORD ReadFileSystemLabel(HANDLE hDevice, const CVolumeGeometry& geometry, std::string& strLabel);
