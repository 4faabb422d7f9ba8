#include "Manifest.h"

#include <cstdio>

namespace
{
const uint32_t kCrcPolynomial = 0x04C11DB7u;

struct CCrcTable
{
    uint32_t m_adwEntries[256];
    CCrcTable()
    {
        for (uint32_t i = 0; i < 256; ++i)
        {
            uint32_t c = i << 24;
            for (int k = 0; k < 8; ++k)
                c = (c & 0x80000000u) ? (c << 1) ^ kCrcPolynomial : c << 1;
            m_adwEntries[i] = c;
        }
    }
};

const CCrcTable g_crcTable;

uint32_t CrcByte(uint32_t dwCrc, uint8_t by)
{
    return (dwCrc << 8) ^ g_crcTable.m_adwEntries[((dwCrc >> 24) ^ by) & 0xFF];
}

// a * b modulo the CRC polynomial, both as polynomials over GF(2).
uint32_t MulMod(uint32_t a, uint32_t b)
{
    uint32_t r = 0;
    for (int i = 31; i >= 0; --i)
    {
        r = (r & 0x80000000u) ? (r << 1) ^ kCrcPolynomial : r << 1;
        if (b & (1u << i))
            r ^= a;
    }
    return r;
}
}  // namespace

void CCksum::Update(const uint8_t* p, size_t cb)
{
    for (size_t i = 0; i < cb; ++i)
        m_dwCrc = CrcByte(m_dwCrc, p[i]);
    m_n64Length += cb;
}

void CCksum::UpdateZeros(uint64_t n64Count)
{
    // A zero byte multiplies the CRC by x^8, so n of them by x^(8n):
    // square-and-multiply instead of a loop over gigabytes of holes.
    uint32_t dwFactor = 1;
    uint32_t dwPower = 0x100;
    for (uint64_t n = n64Count; n != 0; n >>= 1)
    {
        if (n & 1)
            dwFactor = MulMod(dwFactor, dwPower);
        dwPower = MulMod(dwPower, dwPower);
    }
    m_dwCrc = MulMod(m_dwCrc, dwFactor);
    m_n64Length += n64Count;
}

uint32_t CCksum::Value() const
{
    uint32_t dwCrc = m_dwCrc;
    for (uint64_t n = m_n64Length; n != 0; n >>= 8)
        dwCrc = CrcByte(dwCrc, static_cast<uint8_t>(n & 0xFF));
    return ~dwCrc;
}

void CManifest::Add(const std::string& strKey, uint64_t n64Record, const std::string& strPath)
{
    ManifestEntry entry;
    entry.strKey = strKey;
    entry.n64Record = n64Record;
    entry.strPath = strPath;
    m_vecEntries.push_back(entry);
}

void CManifest::Add(const std::string& strKey, uint64_t n64Record, const std::string& strPath,
                    const CCksum& sum)
{
    Add(strKey, n64Record, strPath);
    m_vecEntries.back().bHasBytes = true;
    m_vecEntries.back().n64Size = sum.Length();
    m_vecEntries.back().dwCksum = sum.Value();
}

int64_t CManifest::RecordOf(const std::string& strKey) const
{
    for (const ManifestEntry& entry : m_vecEntries)
        if (entry.strKey == strKey)
            return static_cast<int64_t>(entry.n64Record);
    return -1;
}

bool CManifest::Write(const std::string& strFile) const
{
    FILE* pFile = fopen(strFile.c_str(), "w");
    if (!pFile)
        return false;
    for (const std::string& strComment : m_vecComments)
        fprintf(pFile, "# %s\n", strComment.c_str());
    fprintf(pFile, "# key\trecord\tsize\tcksum\tpath\n");
    for (const ManifestEntry& e : m_vecEntries)
    {
        if (e.bHasBytes)
            fprintf(pFile, "%s\t%llu\t%llu\t%u\t%s\n", e.strKey.c_str(),
                    static_cast<unsigned long long>(e.n64Record),
                    static_cast<unsigned long long>(e.n64Size), e.dwCksum, e.strPath.c_str());
        else
            fprintf(pFile, "%s\t%llu\t-\t-\t%s\n", e.strKey.c_str(),
                    static_cast<unsigned long long>(e.n64Record), e.strPath.c_str());
    }
    return fclose(pFile) == 0;
}
