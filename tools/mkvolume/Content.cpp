#include "Content.h"

#include "NtfsWriter.h"

#include <cstdio>
#include <cstring>

uint64_t ContentSeed(uint64_t n64VolumeSeed, const std::string& strKey)
{
    // FNV-1a over the key, then one PRNG step to spread the bits.
    uint64_t h = 0xCBF29CE484222325ull ^ n64VolumeSeed;
    for (unsigned char c : strKey)
    {
        h ^= c;
        h *= 0x100000001B3ull;
    }
    return CPrng(h).Next();
}

std::vector<uint8_t> RandomBytes(uint64_t n64Seed, size_t cbSize)
{
    std::vector<uint8_t> bytes(cbSize);
    CPrng prng(n64Seed);
    size_t i = 0;
    while (i < cbSize)
    {
        uint64_t v = prng.Next() | 0x0101010101010101ull;  // no zero byte at all
        for (int k = 0; k < 8 && i < cbSize; ++k, ++i)
            bytes[i] = static_cast<uint8_t>(v >> (8 * k));
    }
    return bytes;
}

std::vector<uint8_t> TextBytes(uint64_t n64Seed, size_t cbSize)
{
    static const char* const kWords[] = {
        "the", "disk", "record", "file", "report", "budget", "meeting", "notes",
        "summary", "année", "déjà", "über", "naïve", "café", "señor", "data",
        "cluster", "volume", "project", "draft", "final", "review", "plan",
        "quarter", "invoice", "letter", "contract", "photo", "backup", "archive",
    };
    const size_t nWords = sizeof(kWords) / sizeof(kWords[0]);
    std::vector<uint8_t> bytes;
    bytes.reserve(cbSize + 16);
    CPrng prng(n64Seed);
    size_t nLine = 0;
    while (bytes.size() < cbSize)
    {
        const char* pszWord = kWords[prng.Below(static_cast<uint32_t>(nWords))];
        bytes.insert(bytes.end(), pszWord, pszWord + std::strlen(pszWord));
        nLine += std::strlen(pszWord);
        if (nLine > 60 + prng.Below(15))
        {
            bytes.push_back(prng.Below(6) == 0 ? '.' : ',');
            bytes.push_back('\n');
            nLine = 0;
        }
        else
            bytes.push_back(' ');
    }
    bytes.resize(cbSize);
    return bytes;
}

std::vector<uint8_t> LogBytes(uint64_t n64Seed, size_t cbSize)
{
    static const char* const kLevels[] = {"INFO ", "INFO ", "INFO ", "DEBUG", "WARN ", "ERROR"};
    static const char* const kEvents[] = {
        "request served", "cache miss, loading record", "connection opened",
        "connection closed", "retrying write", "checkpoint written", "slow query",
    };
    std::vector<uint8_t> bytes;
    bytes.reserve(cbSize + 160);
    CPrng prng(n64Seed);
    uint64_t n64Millis = 1700000000000ull % 86400000ull;
    uint32_t dwRequest = 100000;
    while (bytes.size() < cbSize)
    {
        n64Millis += prng.Below(900);
        char szLine[160];
        int n = snprintf(szLine, sizeof(szLine), "2024-03-%02u %02u:%02u:%02u.%03u %s [worker-%u] %s id=%u took %u ms\n",
                         static_cast<unsigned>(1 + n64Millis / 86400000 % 28),
                         static_cast<unsigned>(n64Millis / 3600000 % 24),
                         static_cast<unsigned>(n64Millis / 60000 % 60),
                         static_cast<unsigned>(n64Millis / 1000 % 60),
                         static_cast<unsigned>(n64Millis % 1000), kLevels[prng.Below(6)],
                         prng.Below(8), kEvents[prng.Below(7)], dwRequest++, prng.Below(250));
        if (n > 0)
            bytes.insert(bytes.end(), szLine, szLine + (n < static_cast<int>(sizeof(szLine)) ? n : sizeof(szLine) - 1));
    }
    bytes.resize(cbSize);
    return bytes;
}

std::vector<uint8_t> PhotoBytes(uint64_t n64Seed, size_t cbSize)
{
    std::vector<uint8_t> bytes = RandomBytes(n64Seed, cbSize);
    static const uint8_t kHeader[] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00, 0x01};
    for (size_t i = 0; i < sizeof(kHeader) && i < cbSize; ++i)
        bytes[i] = kHeader[i];
    if (cbSize >= sizeof(kHeader) + 2)
    {
        bytes[cbSize - 2] = 0xFF;
        bytes[cbSize - 1] = 0xD9;
    }
    return bytes;
}

std::string NameOfLength(const std::string& strStem, size_t nUnits, const std::string& strSuffix)
{
    static const char* const kPattern[] = {"a", "b", "é", "c", "ü", "d", "ñ", "e", "_", "0", "ç", "1"};
    std::string strName = strStem;
    size_t nHave = Utf8ToUtf16(strStem).size() + Utf8ToUtf16(strSuffix).size();
    for (size_t i = 0; nHave < nUnits; ++i, ++nHave)
        strName += kPattern[i % (sizeof(kPattern) / sizeof(kPattern[0]))];
    return strName + strSuffix;
}
