#include "disk/Gpt.h"

#include "disk/ByteOrder.h"

#include <cstdio>
#include <cstring>

namespace
{

// Header fields, by offset.
const DWORD kHeaderSignature = 0;       // 8 bytes "EFI PART"
const DWORD kHeaderRevision = 8;        // 4
const DWORD kHeaderSize = 12;           // 4
const DWORD kHeaderCrc = 16;            // 4, computed with this field zeroed
const DWORD kHeaderMyLba = 24;          // 8
const DWORD kHeaderAlternateLba = 32;   // 8
const DWORD kHeaderFirstUsable = 40;    // 8
const DWORD kHeaderLastUsable = 48;     // 8
const DWORD kHeaderEntryLba = 72;       // 8
const DWORD kHeaderEntryCount = 80;     // 4
const DWORD kHeaderEntrySize = 84;      // 4
const DWORD kHeaderEntryArrayCrc = 88;  // 4

// Entry fields, by offset.
const DWORD kEntryTypeGuid = 0;     // 16
const DWORD kEntryUniqueGuid = 16;  // 16
const DWORD kEntryFirstLba = 32;    // 8
const DWORD kEntryLastLba = 40;     // 8
const DWORD kEntryAttributes = 48;  // 8
const DWORD kEntryName = 56;        // 72: 36 UTF-16 units

const DWORD kRevisionMajor = 1;

struct CCrcTable
{
    CCrcTable()
    {
        for (DWORD i = 0; i < 256; ++i)
        {
            DWORD dwValue = i;
            for (int nBit = 0; nBit < 8; ++nBit)
                dwValue = (dwValue & 1) ? (dwValue >> 1) ^ 0xEDB88320u : dwValue >> 1;
            m_adwTable[i] = dwValue;
        }
    }
    DWORD m_adwTable[256];
};

// The header's CRC field reads as zero while the header is summed.
DWORD HeaderCrc(const BYTE* pData, DWORD dwHeaderSize)
{
    static const BYTE kZeros[4] = {};
    DWORD dwCrc = Crc32(pData, kHeaderCrc);
    dwCrc = Crc32(kZeros, sizeof(kZeros), dwCrc);
    return Crc32(pData + kHeaderCrc + 4, dwHeaderSize - kHeaderCrc - 4, dwCrc);
}

// The sizes and counts of a header, and the array's place on the disk.
bool CheckArray(DWORD dwSectorSize, ULONGLONG qwDiskSectors, CGptHeader& header)
{
    if (header.m_dwEntrySize < kGptMinEntrySize || header.m_dwEntrySize > kGptMaxEntrySize ||
        header.m_dwEntrySize % 8 != 0 || header.m_dwEntryCount > kGptMaxEntryCount)
        return false;
    // Both factors are bounded above, so the product fits in 64 bits easily.
    const ULONGLONG qwBytes =
        static_cast<ULONGLONG>(header.m_dwEntryCount) * header.m_dwEntrySize;
    if (qwBytes > kGptMaxArrayBytes)
        return false;
    header.m_dwArrayBytes = static_cast<DWORD>(qwBytes);
    header.m_dwArraySectors = static_cast<DWORD>((qwBytes + dwSectorSize - 1) / dwSectorSize);
    // Inside the disk, past the protective MBR, and not over the header itself.
    const ULONGLONG qwFirst = header.m_qwEntryLba;
    if (qwFirst == 0 || qwFirst >= qwDiskSectors ||
        header.m_dwArraySectors > qwDiskSectors - qwFirst)
        return false;
    const ULONGLONG qwEnd = qwFirst + header.m_dwArraySectors;
    return header.m_qwMyLba < qwFirst || header.m_qwMyLba >= qwEnd;
}

struct CTypeName
{
    const char* m_pszGuid;
    const char* m_pszName;
};

const CTypeName kTypeNames[] = {
    {"C12A7328-F81F-11D2-BA4B-00A0C93EC93B", "EFI"},
    {"E3C9E316-0B5C-4DB8-817D-F92DF00215AE", "MSR"},
    {"0FC63DAF-8483-4772-8E79-3D69D8477DE4", "Linux"},
    {"0657FD6D-A4AB-43C4-84E5-0933C84B4F4F", "Linux swap"},
};

}  // namespace

DWORD Crc32(const BYTE* pData, size_t nSize, DWORD dwCrc)
{
    static const CCrcTable s_table;
    dwCrc = ~dwCrc;
    for (size_t i = 0; i < nSize; ++i)
        dwCrc = s_table.m_adwTable[(dwCrc ^ pData[i]) & 0xFF] ^ (dwCrc >> 8);
    return ~dwCrc;
}

bool ParseGptHeader(const BYTE* pData, DWORD dwSize, DWORD dwSectorSize, ULONGLONG qwLba,
                    ULONGLONG qwDiskSectors, CGptHeader& header)
{
    if (!pData || dwSize < kGptMinHeaderSize || dwSectorSize < kGptMinHeaderSize ||
        memcmp(pData + kHeaderSignature, "EFI PART", 8) != 0 ||
        ReadLE32(pData, kHeaderRevision) >> 16 != kRevisionMajor)
        return false;
    const DWORD dwHeaderSize = ReadLE32(pData, kHeaderSize);
    if (dwHeaderSize < kGptMinHeaderSize || dwHeaderSize > dwSectorSize || dwHeaderSize > dwSize ||
        HeaderCrc(pData, dwHeaderSize) != ReadLE32(pData, kHeaderCrc))
        return false;

    header.m_qwMyLba = ReadLE64(pData, kHeaderMyLba);
    header.m_qwAlternateLba = ReadLE64(pData, kHeaderAlternateLba);
    header.m_qwFirstUsableLba = ReadLE64(pData, kHeaderFirstUsable);
    header.m_qwLastUsableLba = ReadLE64(pData, kHeaderLastUsable);
    header.m_qwEntryLba = ReadLE64(pData, kHeaderEntryLba);
    header.m_dwEntryCount = ReadLE32(pData, kHeaderEntryCount);
    header.m_dwEntrySize = ReadLE32(pData, kHeaderEntrySize);
    header.m_dwEntryArrayCrc = ReadLE32(pData, kHeaderEntryArrayCrc);
    header.m_dwArrayBytes = 0;
    header.m_dwArraySectors = 0;
    if (header.m_qwMyLba != qwLba || qwLba >= qwDiskSectors)
        return false;
    if (header.m_qwFirstUsableLba == 0 || header.m_qwFirstUsableLba > header.m_qwLastUsableLba ||
        header.m_qwLastUsableLba >= qwDiskSectors)
        return false;
    return CheckArray(dwSectorSize, qwDiskSectors, header);
}

bool CheckGptEntryArray(const CGptHeader& header, const BYTE* pArray, size_t nSize)
{
    if (!pArray || nSize < header.m_dwArrayBytes)
        return false;
    return Crc32(pArray, header.m_dwArrayBytes) == header.m_dwEntryArrayCrc;
}

bool ParseGptEntry(const BYTE* pEntry, size_t nSize, CGptEntry& entry)
{
    if (!pEntry || nSize < kGptMinEntrySize)
        return false;
    memcpy(entry.m_abyTypeGuid, pEntry + kEntryTypeGuid, 16);
    memcpy(entry.m_abyUniqueGuid, pEntry + kEntryUniqueGuid, 16);
    entry.m_qwFirstLba = ReadLE64(pEntry, kEntryFirstLba);
    entry.m_qwLastLba = ReadLE64(pEntry, kEntryLastLba);
    entry.m_qwAttributes = ReadLE64(pEntry, kEntryAttributes);
    for (DWORD i = 0; i < 36; ++i)
        entry.m_awName[i] = static_cast<WORD>(pEntry[kEntryName + 2 * i] |
                                              pEntry[kEntryName + 2 * i + 1] << 8);
    return true;
}

bool IsGptEntryUsed(const CGptEntry& entry)
{
    for (BYTE by : entry.m_abyTypeGuid)
        if (by != 0)
            return true;
    return false;
}

std::string GuidText(const BYTE* pGuid)
{
    char szText[40];
    snprintf(szText, sizeof(szText),
             "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
             static_cast<unsigned>(ReadLE32(pGuid, 0)),
             static_cast<unsigned>(pGuid[4] | pGuid[5] << 8),
             static_cast<unsigned>(pGuid[6] | pGuid[7] << 8), pGuid[8], pGuid[9], pGuid[10],
             pGuid[11], pGuid[12], pGuid[13], pGuid[14], pGuid[15]);
    return szText;
}

const char* GptTypeShortName(const BYTE* pTypeGuid)
{
    const std::string strGuid = GuidText(pTypeGuid);
    for (const CTypeName& type : kTypeNames)
        if (strGuid == type.m_pszGuid)
            return type.m_pszName;
    return nullptr;
}
