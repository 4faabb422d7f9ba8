#include "GptWriter.h"

#include <algorithm>
#include <fstream>
#include <sys/stat.h>

const char* const kGptTypeEfi = "C12A7328-F81F-11D2-BA4B-00A0C93EC93B";
const char* const kGptTypeMsr = "E3C9E316-0B5C-4DB8-817D-F92DF00215AE";
const char* const kGptTypeBasicData = "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7";
const char* const kGptTypeRecovery = "DE94BBA4-06D1-4D40-A16A-BFD50179D6AC";
const char* const kGptTypeLinux = "0FC63DAF-8483-4772-8E79-3D69D8477DE4";
const char* const kGptTypeLinuxSwap = "0657FD6D-A4AB-43C4-84E5-0933C84B4F4F";

namespace
{
void Put(uint8_t* p, uint64_t n64Value, int nBytes)
{
    for (int i = 0; i < nBytes; ++i)
        p[i] = static_cast<uint8_t>(n64Value >> (8 * i));
}

uint32_t Get32(const uint8_t* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

bool WriteAt(std::fstream& file, uint64_t n64Offset, const std::vector<uint8_t>& bytes)
{
    file.seekp(static_cast<std::streamoff>(n64Offset));
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return file.good();
}

std::vector<uint8_t> ProtectiveMbr(uint64_t n64Sectors)
{
    std::vector<uint8_t> mbr(512, 0);
    uint8_t* pEntry = mbr.data() + 446;
    pEntry[2] = 0x02;  // CHS of LBA 1
    pEntry[4] = 0xEE;
    pEntry[5] = pEntry[6] = pEntry[7] = 0xFF;
    Put(pEntry + 8, 1, 4);
    Put(pEntry + 12, n64Sectors - 1 > 0xFFFFFFFFull ? 0xFFFFFFFFull : n64Sectors - 1, 4);
    mbr[510] = 0x55;
    mbr[511] = 0xAA;
    return mbr;
}

std::vector<uint8_t> EntryArray(const GptLayout& layout)
{
    std::vector<uint8_t> array(static_cast<size_t>(layout.dwEntryCount) * layout.dwEntrySize, 0);
    for (size_t i = 0; i < layout.partitions.size() && i < layout.dwEntryCount; ++i)
    {
        const GptPartition& part = layout.partitions[i];
        uint8_t* p = array.data() + i * layout.dwEntrySize;
        const std::vector<uint8_t> type = GuidBytes(part.strTypeGuid);
        std::copy(type.begin(), type.end(), p);
        for (int k = 0; k < 16; ++k)
            p[16 + k] = static_cast<uint8_t>(0x50 + i + k);  // unique GUID
        Put(p + 32, part.n64FirstLba, 8);
        Put(p + 40, part.n64LastLba, 8);
        for (size_t c = 0; c < part.strName.size() && c < 36; ++c)
            p[56 + 2 * c] = static_cast<uint8_t>(part.strName[c]);
    }
    return array;
}

std::vector<uint8_t> Header(const GptLayout& layout, uint64_t n64My, uint64_t n64Alternate,
                            uint64_t n64Entries, uint64_t n64FirstUsable, uint64_t n64LastUsable,
                            uint32_t dwArrayCrc)
{
    std::vector<uint8_t> header(layout.dwSectorSize, 0);
    uint8_t* p = header.data();
    std::copy_n("EFI PART", 8, p);
    Put(p + 8, 0x00010000, 4);
    Put(p + 12, 92, 4);
    Put(p + 24, n64My, 8);
    Put(p + 32, n64Alternate, 8);
    Put(p + 40, n64FirstUsable, 8);
    Put(p + 48, n64LastUsable, 8);
    for (int k = 0; k < 16; ++k)
        p[56 + k] = static_cast<uint8_t>(0xA0 + k);  // disk GUID
    Put(p + 72, n64Entries, 8);
    Put(p + 80, layout.dwEntryCount, 4);
    Put(p + 84, layout.dwEntrySize, 4);
    Put(p + 88, dwArrayCrc, 4);
    SealGptHeader(p, header.size());
    return header;
}
}  // namespace

uint32_t GptCrc32(const uint8_t* pData, size_t nSize)
{
    uint32_t dwCrc = 0xFFFFFFFFu;
    for (size_t i = 0; i < nSize; ++i)
    {
        dwCrc ^= pData[i];
        for (int nBit = 0; nBit < 8; ++nBit)
            dwCrc = (dwCrc >> 1) ^ (0xEDB88320u & (0u - (dwCrc & 1)));
    }
    return ~dwCrc;
}

void SealGptHeader(uint8_t* pHeader, size_t nAvailable)
{
    const size_t nSize = Get32(pHeader + 12) < nAvailable ? Get32(pHeader + 12) : nAvailable;
    Put(pHeader + 16, 0, 4);
    Put(pHeader + 16, GptCrc32(pHeader, nSize), 4);
}

std::vector<uint8_t> GuidBytes(const std::string& strGuid)
{
    std::vector<uint8_t> text;
    for (char c : strGuid)
        if (c != '-')
            text.push_back(static_cast<uint8_t>(std::stoul(std::string(1, c), nullptr, 16)));
    std::vector<uint8_t> bytes(16, 0);
    if (text.size() != 32)
        return bytes;
    auto byteAt = [&](int n) { return static_cast<uint8_t>(text[2 * n] << 4 | text[2 * n + 1]); };
    // The first three fields are stored little-endian, the last two as written.
    const int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    for (int i = 0; i < 16; ++i)
        bytes[i] = byteAt(kOrder[i]);
    return bytes;
}

bool WriteGpt(const std::string& strPath, const GptLayout& layout)
{
    struct stat st;
    if (stat(strPath.c_str(), &st) != 0 || layout.dwSectorSize < 512)
        return false;
    const uint64_t n64Sectors = static_cast<uint64_t>(st.st_size) / layout.dwSectorSize;
    const std::vector<uint8_t> array = EntryArray(layout);
    const uint64_t n64ArraySectors = (array.size() + layout.dwSectorSize - 1) / layout.dwSectorSize;
    if (n64Sectors < 3 + 2 * n64ArraySectors)
        return false;
    const uint64_t n64Last = n64Sectors - 1;
    const uint64_t n64FirstUsable = 2 + n64ArraySectors;
    const uint64_t n64LastUsable = n64Last - 1 - n64ArraySectors;
    const uint32_t dwArrayCrc = GptCrc32(array.data(), array.size());

    std::fstream file(strPath, std::ios::binary | std::ios::in | std::ios::out);
    const uint64_t s = layout.dwSectorSize;
    const bool bPrimary =
        !layout.bPrimary ||
        (WriteAt(file, 0, ProtectiveMbr(n64Sectors)) &&
         WriteAt(file, s, Header(layout, 1, n64Last, 2, n64FirstUsable, n64LastUsable, dwArrayCrc)) &&
         WriteAt(file, 2 * s, array));
    const bool bBackup =
        !layout.bBackup ||
        (WriteAt(file, (n64LastUsable + 1) * s, array) &&
         WriteAt(file, n64Last * s,
                 Header(layout, n64Last, 1, n64LastUsable + 1, n64FirstUsable, n64LastUsable,
                        dwArrayCrc)));
    return bPrimary && bBackup;
}
