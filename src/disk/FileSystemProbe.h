// What file system a partition holds, as its first sector shows it.
#pragma once

#include "platform/Win32.h"

#include <cstddef>

// "NTFS" for an NTFS boot sector ("NTFS    " at 3), "exFAT" for an exFAT one
// ("EXFAT   " at 3), "FAT12", "FAT16" or "FAT32" for a FAT boot sector whose
// parameters are sane, by the count of its data clusters (below 4085 FAT12,
// below 65525 FAT16, else FAT32, which must then have a FAT32 parameter
// block); null for anything else. nSize bytes at pSector may be read.
const char* ProbeFileSystem(const BYTE* pSector, size_t nSize);
