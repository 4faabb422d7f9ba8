// Hand-made FAT and exFAT structures for the tests: boot sectors with chosen
// geometry, directory entries, long-name parts and exFAT entry sets.
#pragma once

#include "fat/FatStructures.h"
#include "support/NtfsImage.h"

#include <string>
#include <vector>

namespace salvix_test
{

// A FAT boot sector: 512-byte sectors, one sector per cluster, two FATs;
// FAT12/16 with a 512-entry root, FAT32 with its root at cluster 2. The FAT
// is made long enough for dwClusters unless dwFatSectors says otherwise.
inline Bytes FatBootSector(DWORD dwClusters, bool bFat32, DWORD dwFatSectors = 0)
{
    Bytes vec(512, 0);
    vec[0] = 0xEB;
    vec[1] = 0x3C;
    vec[2] = 0x90;
    PutLE(vec, 11, 512, 2);
    vec[13] = 1;
    PutLE(vec, 14, bFat32 ? 32 : 1, 2);
    vec[16] = 2;
    PutLE(vec, 17, bFat32 ? 0 : 512, 2);
    vec[21] = 0xF8;
    const DWORD dwBits = bFat32 ? 32 : dwClusters < 4085 ? 12 : 16;
    if (dwFatSectors == 0)
        dwFatSectors = static_cast<DWORD>(((static_cast<ULONGLONG>(dwClusters) + 2) * dwBits / 8 + 511) / 512);
    const DWORD dwRootSectors = bFat32 ? 0 : 32;
    const DWORD dwTotal = (bFat32 ? 32 : 1) + 2 * dwFatSectors + dwRootSectors + dwClusters;
    if (bFat32)
    {
        PutLE(vec, 32, dwTotal, 4);
        PutLE(vec, 36, dwFatSectors, 4);
        PutLE(vec, 44, 2, 4);
    }
    else
    {
        if (dwTotal < 0x10000)
            PutLE(vec, 19, dwTotal, 2);
        else
            PutLE(vec, 32, dwTotal, 4);
        PutLE(vec, 22, dwFatSectors, 2);
    }
    memcpy(vec.data() + (bFat32 ? 71 : 43), "MY CARD    ", 11);
    PutLE(vec, 510, 0xAA55, 2);
    return vec;
}

// An exFAT boot sector: 512-byte sectors, 8 per cluster, the FAT at sector
// 24, the heap after it, the root at cluster 4.
inline Bytes ExfatBootSector(DWORD dwClusters)
{
    Bytes vec(512, 0);
    vec[0] = 0xEB;
    vec[1] = 0x76;
    vec[2] = 0x90;
    memcpy(vec.data() + 3, "EXFAT   ", 8);
    const DWORD dwFatSectors = (dwClusters + 2) * 4 / 512 + 1;
    const DWORD dwHeap = 24 + dwFatSectors;
    PutLE(vec, 72, dwHeap + static_cast<ULONGLONG>(dwClusters) * 8, 8);
    PutLE(vec, 80, 24, 4);
    PutLE(vec, 84, dwFatSectors, 4);
    PutLE(vec, 88, dwHeap, 4);
    PutLE(vec, 92, dwClusters, 4);
    PutLE(vec, 96, 4, 4);
    PutLE(vec, 104, 0x0100, 2);
    vec[108] = 9;
    vec[109] = 3;
    vec[110] = 1;
    PutLE(vec, 510, 0xAA55, 2);
    return vec;
}

// A short entry: 11 name bytes as stored, attributes, first cluster, size.
inline Bytes ShortEntry(const std::string& strName11, BYTE byAttributes = 0x20, DWORD dwCluster = 0,
                        DWORD dwSize = 0)
{
    Bytes vec(32, 0);
    memcpy(vec.data(), strName11.data(), 11);
    vec[11] = byAttributes;
    PutLE(vec, 20, dwCluster >> 16, 2);
    PutLE(vec, 26, dwCluster & 0xFFFF, 2);
    PutLE(vec, 28, dwSize, 4);
    return vec;
}

// The long-name parts of a name for the short name strName11, in the order
// a directory stores them (the last part first).
inline std::vector<Bytes> LongNameParts(const std::u16string& strName, const std::string& strName11)
{
    static const size_t kOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    const BYTE byChecksum = fat::ShortNameChecksum(reinterpret_cast<const BYTE*>(strName11.data()));
    const size_t nParts = (strName.size() + 12) / 13;
    std::vector<Bytes> vecParts;
    for (size_t nPart = nParts; nPart-- > 0;)
    {
        Bytes vec(32, 0);
        vec[0] = static_cast<BYTE>((nPart + 1) | (nPart + 1 == nParts ? 0x40 : 0));
        vec[11] = 0x0F;
        vec[13] = byChecksum;
        for (size_t i = 0; i < 13; ++i)
        {
            const size_t nAt = nPart * 13 + i;
            const WORD wUnit = nAt < strName.size() ? strName[nAt] : nAt == strName.size() ? 0 : 0xFFFF;
            PutLE(vec, kOffsets[i], wUnit, 2);
        }
        vecParts.push_back(vec);
    }
    return vecParts;
}

// An exFAT entry set (file, stream, names) for a name, with its checksum.
inline Bytes ExfatSet(const std::u16string& strName, DWORD dwCluster, ULONGLONG n64Length, bool bNoFatChain = true,
                      WORD wAttributes = 0x20)
{
    const size_t nNames = (strName.size() + 14) / 15;
    Bytes vec(32 * (2 + nNames), 0);
    vec[0] = 0x85;
    vec[1] = static_cast<BYTE>(1 + nNames);
    PutLE(vec, 4, wAttributes, 2);
    PutLE(vec, 12, (44u << 25) | (2u << 21) | (29u << 16) | (12u << 11) | (34u << 5) | 28u, 4);  // 2024-02-29 12:34:56
    vec[21] = 150;                                                                            // +1.5 s
    vec[32] = 0xC0;
    vec[33] = static_cast<BYTE>(0x01 | (bNoFatChain ? 0x02 : 0));
    vec[35] = static_cast<BYTE>(strName.size());
    PutLE(vec, 40, n64Length, 8);
    PutLE(vec, 52, dwCluster, 4);
    PutLE(vec, 56, n64Length, 8);
    for (size_t i = 0; i < nNames; ++i)
    {
        vec[64 + 32 * i] = 0xC1;
        for (size_t j = 0; j < 15 && i * 15 + j < strName.size(); ++j)
            PutLE(vec, 64 + 32 * i + 2 + 2 * j, strName[i * 15 + j], 2);
    }
    PutLE(vec, 2, fat::ExfatSetChecksum(vec.data(), vec.size() / 32, true), 2);
    return vec;
}

}  // namespace salvix_test
