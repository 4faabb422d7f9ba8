// Image files: formatting with the system's tools, partition tables, and
// placing a volume inside a disk image.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Runs a program (no shell) with strInput on its standard input; its standard
// output is dropped. True when it exited with status 0.
bool RunTool(const std::vector<std::string>& args, const std::string& strInput = std::string());

// A sparse file of exactly n64Size bytes, replacing any file of that name.
bool MakeEmptyFile(const std::string& strPath, uint64_t n64Size);

struct NtfsFormat
{
    uint32_t dwClusterSize = 0;      // 0: mkntfs chooses
    uint32_t dwSectorSize = 0;       // 0: 512
    uint32_t dwPartitionStart = 0;   // written into the boot sector as hidden sectors
    std::string strLabel;
};

// Formats a new file of n64Size bytes as NTFS with mkntfs.
bool FormatNtfs(const std::string& strPath, uint64_t n64Size, const NtfsFormat& format);
// Formats a new file of n64Size bytes as FAT32 with mkfs.fat.
bool FormatFat32(const std::string& strPath, uint64_t n64Size, uint32_t dwPartitionStart,
                 const std::string& strLabel);

struct PartitionSpec
{
    uint32_t dwStart;   // in 512-byte sectors
    uint32_t dwSectors;
    uint8_t byType;     // 7 NTFS, 0x0C FAT32 (LBA), 0x0F extended (LBA), ...
};

// A new disk image of n64Size bytes whose partition tables sfdisk writes.
// An entry that lies inside the extended partition listed before it becomes a
// logical one; each needs 2048 free sectors before it for its extended boot record.
bool MakePartitionedDisk(const std::string& strPath, uint64_t n64Size,
                         const std::vector<PartitionSpec>& partitions);

// Copies strSource into strDisk at n64Offset bytes, leaving all-zero blocks
// as holes and the rest of the disk as it was.
bool PlaceImage(const std::string& strSource, const std::string& strDisk, uint64_t n64Offset);

// A unique temporary file name next to strNear (same file system, so copies stay sparse).
std::string TempPathNear(const std::string& strNear, const std::string& strTag);
