// The GUID partition table: its header, its entry array and their checksums.
// Everything here parses bytes already read; reading is the walk's business.
#pragma once

#include "platform/Win32.h"

#include <cstddef>
#include <string>

// CRC-32 as GPT (and zip, and Ethernet) uses it: reflected polynomial
// 0xEDB88320, starting from all ones, inverted at the end. dwCrc chains a
// previous result, so a buffer may be summed in pieces.
DWORD Crc32(const BYTE* pData, size_t nSize, DWORD dwCrc = 0);

// Limits on what a header may ask for: the array is read whole into memory.
const DWORD kGptMinHeaderSize = 92;
const DWORD kGptMinEntrySize = 128;
const DWORD kGptMaxEntrySize = 4096;
const DWORD kGptMaxEntryCount = 16384;
const DWORD kGptMaxArrayBytes = 4u << 20;

// The fields of a header that passed every check.
struct CGptHeader
{
    ULONGLONG m_qwMyLba;
    ULONGLONG m_qwAlternateLba;
    ULONGLONG m_qwFirstUsableLba;
    ULONGLONG m_qwLastUsableLba;
    ULONGLONG m_qwEntryLba;
    DWORD m_dwEntryCount;
    DWORD m_dwEntrySize;
    DWORD m_dwEntryArrayCrc;
    DWORD m_dwArrayBytes;    // m_dwEntryCount * m_dwEntrySize
    DWORD m_dwArraySectors;  // the array's length in whole sectors
};

// Checks a header read from sector qwLba of a disk of qwDiskSectors sectors of
// dwSectorSize bytes (dwSize bytes at pData, usually one sector): signature
// "EFI PART", revision 1.x, header size from 92 to the sector size, header
// CRC, MyLBA = qwLba, a usable range inside the disk, an entry size of at least
// 128 bytes (a multiple of 8, at most 4096), an entry count of at most 16384,
// an array of at most 4 MiB lying inside the disk and not over the header.
// True and the header filled when all hold.
bool ParseGptHeader(const BYTE* pData, DWORD dwSize, DWORD dwSectorSize, ULONGLONG qwLba,
                    ULONGLONG qwDiskSectors, CGptHeader& header);

// True when the first header.m_dwArrayBytes bytes of the array (nSize bytes
// at pArray) hold the CRC the header names.
bool CheckGptEntryArray(const CGptHeader& header, const BYTE* pArray, size_t nSize);

// One entry of the array, as stored.
struct CGptEntry
{
    BYTE m_abyTypeGuid[16];
    BYTE m_abyUniqueGuid[16];
    ULONGLONG m_qwFirstLba;
    ULONGLONG m_qwLastLba;  // inclusive
    ULONGLONG m_qwAttributes;
    WORD m_awName[36];      // UTF-16, not necessarily terminated
};

// Parses the entry at pEntry, of which nSize bytes may be read. False when
// fewer than 128 bytes are there.
bool ParseGptEntry(const BYTE* pEntry, size_t nSize, CGptEntry& entry);

// An entry is in use when its type GUID is not all zeros.
bool IsGptEntryUsed(const CGptEntry& entry);

// A GUID as stored (the first three fields little-endian) in its usual text
// form, upper case: "C12A7328-F81F-11D2-BA4B-00A0C93EC93B".
std::string GuidText(const BYTE* pGuid);

// A short name of a partition type GUID: "EFI", "MSR", "Linux", "Linux swap";
// null for every other type.
const char* GptTypeShortName(const BYTE* pTypeGuid);
