// What The Sleuth Kit says of a disk image, written down on Linux, where it
// runs, for the Windows tests, which run under Wine with no Linux tool at hand.
// One text file per image, one fact a line:
//
//   salvix-expectations 4
//   partition <first sector> <type byte> <sectors> [<label>]   every partition, in table order;
//                                             a FAT volume's label as fsstat gives it (hex, "-" when empty)
//   fatentry <first sector> <deleted> <folder> <path> data <length> <hash>
//   fatentry <first sector> <deleted> <folder> <path> nodata
//   volume <first sector> <cluster size> <record size> <records> <label>
//   record <n> notfile                        no FILE signature
//   record <n> unread                         The Sleuth Kit could not open it
//   record <n> entry <not in use> <flags> <clusters> <name> <whole name> data <length> <hash>
//   record <n> entry <not in use> <flags> <clusters> <name> <whole name> nodata
//
// An entry line ends in "norow" for a record the scan lists no row for: one
// not in use that holds no $FILE_NAME, no $DATA and no attribute list (what
// formatting leaves).
//
// A fatentry line is an entry of the FAT or exFAT volume at that sector as
// fls -r -p names it (its path from the root, "a/b.txt", in hex), with what
// icat gives for a file; a folder has no data.
//
// A volume's label is fsstat's "Volume Name" in UTF-8 (hex, "-" when empty).
// Records are those the program lists (30 on) of the volume above them. The
// entry values are what GetEntryInfo must give: the name as it gives it (hex
// bytes, "-" when empty), the flags and the clusters from the record's
// $FILE_NAME, and the not-in-use mark; the whole name is that $FILE_NAME's
// name in UTF-8 (hex, "-" when empty), as the file list shows it. "data" holds the length and the hash
// of what ReadEntryData must give; "nodata" says the bytes cannot be compared
// (compressed, continued in other records, unreadable to The Sleuth Kit).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct CExpectedRecord
{
    enum EKind
    {
        eNotFile,
        eUnread,
        eEntry,
    };
    uint32_t m_dwRecord = 0;
    EKind m_eKind = eNotFile;
    std::string m_strName;
    std::string m_strWholeName;  // UTF-8
    uint32_t m_dwFlags = 0;
    int64_t m_n64Clusters = 0;
    int m_nNotInUse = 0;
    bool m_bData = false;
    uint32_t m_dwDataLength = 0;
    uint64_t m_n64DataHash = 0;
    bool m_bListed = true;  // the scan lists a row for it
};

struct CExpectedVolume
{
    uint32_t m_dwFirstSector = 0;
    uint32_t m_dwClusterSize = 0;
    uint32_t m_dwRecordSize = 0;
    uint64_t m_n64Records = 0;
    std::string m_strLabel;  // UTF-8
    std::vector<CExpectedRecord> m_vecRecords;
};

struct CExpectedPartition
{
    uint32_t m_dwFirstSector = 0;
    unsigned m_nType = 0;
    uint64_t m_n64Sectors = 0;
    bool m_bLabel = false;   // a FAT volume's label was written down
    std::string m_strLabel;  // UTF-8
};

struct CExpectedFatEntry
{
    uint32_t m_dwFirstSector = 0;
    bool m_bDeleted = false;
    bool m_bDirectory = false;
    std::string m_strPath;  // UTF-8, "a/b.txt"
    bool m_bData = false;
    uint32_t m_dwDataLength = 0;
    uint64_t m_n64DataHash = 0;
};

struct CExpectedImage
{
    std::vector<CExpectedPartition> m_vecPartitions;
    std::vector<CExpectedFatEntry> m_vecFatEntries;
    std::vector<CExpectedVolume> m_vecVolumes;
};

// FNV-1a, 64 bits: enough to tell two files' bytes apart, the same on both systems.
uint64_t DataHash(const uint8_t* pData, size_t nLength);

std::string FormatExpectations(const CExpectedImage& image);
// False, with the line and what is wrong with it in strError, on a malformed file.
bool ParseExpectations(const std::string& strText, CExpectedImage& image, std::string& strError);
