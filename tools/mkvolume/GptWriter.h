// Writes a GUID partition table into a disk image, for any sector size: the
// protective master boot record, the primary header and entry array, and the
// backup array and header at the end of the disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct GptPartition
{
    uint64_t n64FirstLba;
    uint64_t n64LastLba;      // inclusive
    std::string strTypeGuid;  // "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7"
    std::string strName;      // ASCII, at most 36 characters
};

struct GptLayout
{
    uint32_t dwSectorSize = 512;
    uint32_t dwEntryCount = 128;
    uint32_t dwEntrySize = 128;
    std::vector<GptPartition> partitions;  // entries 0, 1, ...; the rest unused
    bool bPrimary = true;                  // write the protective MBR and the primary copy
    bool bBackup = true;                   // write the backup copy
};

// Type GUIDs the tests use.
extern const char* const kGptTypeEfi;
extern const char* const kGptTypeMsr;
extern const char* const kGptTypeBasicData;
extern const char* const kGptTypeRecovery;
extern const char* const kGptTypeLinux;
extern const char* const kGptTypeLinuxSwap;

// Writes the table into the existing file strPath, whose size is the disk's.
bool WriteGpt(const std::string& strPath, const GptLayout& layout);

// The CRC-32 a GPT carries (bit by bit, the slow way).
uint32_t GptCrc32(const uint8_t* pData, size_t nSize);

// Recomputes the CRC of the header at pHeader (its size field says how much
// it covers, at most nAvailable bytes), after a test has changed a field on purpose.
void SealGptHeader(uint8_t* pHeader, size_t nAvailable);

// The 16 bytes of a GUID as a GPT stores it.
std::vector<uint8_t> GuidBytes(const std::string& strGuid);
