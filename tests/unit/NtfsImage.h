// Hand-made NTFS structures for the unit tests: record images with chosen
// attributes, and whole small disks with a boot sector and a master file
// table, written to a scratch file the platform layer reads as the disk.
#pragma once

#include "platform/Win32.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace testimg
{

inline void PutLE(std::vector<BYTE>& vec, size_t nOffset, ULONGLONG n64Value, int nBytes)
{
    if (vec.size() < nOffset + nBytes)
        vec.resize(nOffset + nBytes);
    for (int i = 0; i < nBytes; ++i)
        vec[nOffset + i] = static_cast<BYTE>(n64Value >> (8 * i));
}

inline std::vector<BYTE> Utf16(const std::u16string& str)
{
    std::vector<BYTE> vec;
    for (char16_t ch : str)
    {
        vec.push_back(static_cast<BYTE>(ch));
        vec.push_back(static_cast<BYTE>(ch >> 8));
    }
    return vec;
}

// A $FILE_NAME value: allocated size, flags and name.
inline std::vector<BYTE> FileNameValue(const std::u16string& strName, ULONGLONG n64Allocated = 0,
                                       DWORD dwFlags = 0x20)
{
    std::vector<BYTE> vec(0x42, 0);
    PutLE(vec, 0x00, 5, 8);  // parent: the root folder
    PutLE(vec, 0x28, n64Allocated, 8);
    PutLE(vec, 0x30, n64Allocated, 8);
    PutLE(vec, 0x38, dwFlags, 4);
    vec[0x40] = static_cast<BYTE>(strName.size());
    vec[0x41] = 1;
    std::vector<BYTE> vecName = Utf16(strName);
    vec.insert(vec.end(), vecName.begin(), vecName.end());
    return vec;
}

inline std::vector<BYTE> StandardInfoValue(ULONGLONG n64Base = 0x01D0000000000000ull, DWORD dwLength = 72)
{
    std::vector<BYTE> vec(dwLength, 0);
    for (int i = 0; i < 4 && 8 * i + 8 <= static_cast<int>(dwLength); ++i)
        PutLE(vec, 8 * i, n64Base + i, 8);
    return vec;
}

// One record image, attributes appended in order.
class CRecordImage
{
public:
    // The first attribute follows the update sequence array unless given.
    explicit CRecordImage(DWORD dwSize = 1024, bool bInUse = true, WORD wFirstAttr = 0)
        : m_vec(dwSize, 0), m_dwNext(wFirstAttr ? wFirstAttr : Align8(0x30 + 2 * (dwSize / 512 + 1)))
    {
        wFirstAttr = static_cast<WORD>(m_dwNext);
        memcpy(m_vec.data(), "FILE", 4);
        PutLE(m_vec, 0x04, 0x30, 2);               // update sequence offset
        PutLE(m_vec, 0x06, dwSize / 512 + 1, 2);   // and count
        PutLE(m_vec, 0x14, wFirstAttr, 2);
        PutLE(m_vec, 0x16, bInUse ? 1 : 0, 2);
        PutLE(m_vec, 0x18, 0, 4);                  // bytes in use: set by End()
        PutLE(m_vec, 0x1C, dwSize, 4);
    }

    // Appends a resident attribute; returns its offset.
    DWORD AddResident(DWORD dwType, const std::vector<BYTE>& vecValue)
    {
        DWORD dwOffset = m_dwNext;
        DWORD dwLength = Align8(0x18 + static_cast<DWORD>(vecValue.size()));
        PutLE(m_vec, dwOffset + 0x00, dwType, 4);
        PutLE(m_vec, dwOffset + 0x04, dwLength, 4);
        m_vec[dwOffset + 0x08] = 0;
        PutLE(m_vec, dwOffset + 0x10, vecValue.size(), 4);
        PutLE(m_vec, dwOffset + 0x14, 0x18, 2);
        std::copy(vecValue.begin(), vecValue.end(), m_vec.begin() + dwOffset + 0x18);
        m_dwNext += dwLength;
        return dwOffset;
    }

    // Appends a non-resident attribute with the given run list; returns its offset.
    DWORD AddNonResident(DWORD dwType, const std::vector<BYTE>& vecRuns, ULONGLONG n64Allocated,
                         ULONGLONG n64Real, ULONGLONG n64FirstVcn = 0, ULONGLONG n64LastVcn = 0)
    {
        DWORD dwOffset = m_dwNext;
        DWORD dwLength = Align8(0x40 + static_cast<DWORD>(vecRuns.size()));
        PutLE(m_vec, dwOffset + 0x00, dwType, 4);
        PutLE(m_vec, dwOffset + 0x04, dwLength, 4);
        m_vec[dwOffset + 0x08] = 1;
        PutLE(m_vec, dwOffset + 0x10, n64FirstVcn, 8);
        PutLE(m_vec, dwOffset + 0x18, n64LastVcn, 8);
        PutLE(m_vec, dwOffset + 0x20, 0x40, 2);
        PutLE(m_vec, dwOffset + 0x28, n64Allocated, 8);
        PutLE(m_vec, dwOffset + 0x30, n64Real, 8);
        PutLE(m_vec, dwOffset + 0x38, n64Real, 8);
        std::copy(vecRuns.begin(), vecRuns.end(), m_vec.begin() + dwOffset + 0x40);
        m_dwNext += dwLength;
        return dwOffset;
    }

    // Appends raw bytes as an attribute (for damaged headers).
    DWORD AddRaw(const std::vector<BYTE>& vecBytes, DWORD dwAdvance)
    {
        DWORD dwOffset = m_dwNext;
        std::copy(vecBytes.begin(), vecBytes.end(), m_vec.begin() + dwOffset);
        m_dwNext += dwAdvance;
        return dwOffset;
    }

    CRecordImage& End()
    {
        PutLE(m_vec, m_dwNext, 0xFFFFFFFF, 4);
        PutLE(m_vec, 0x18, m_dwNext + 8, 4);
        return *this;
    }

    // Writes the update sequence the way a disk stores the record: each
    // 512-byte stretch ends with the sequence number, its bytes saved in the array.
    CRecordImage& Protect(WORD wSequence = 0x0007)
    {
        DWORD dwUsa = 0x30;
        PutLE(m_vec, dwUsa, wSequence, 2);
        for (size_t i = 0; i < m_vec.size() / 512; ++i)
        {
            size_t nTail = (i + 1) * 512 - 2;
            m_vec[dwUsa + 2 + 2 * i] = m_vec[nTail];
            m_vec[dwUsa + 3 + 2 * i] = m_vec[nTail + 1];
            PutLE(m_vec, nTail, wSequence, 2);
        }
        return *this;
    }

    DWORD NextOffset() const { return m_dwNext; }
    std::vector<BYTE>& Bytes() { return m_vec; }

private:
    static DWORD Align8(DWORD dw) { return (dw + 7) & ~7u; }
    std::vector<BYTE> m_vec;
    DWORD m_dwNext;
};

// Run list with one run per (length, absolute cluster) pair; cluster -1 marks a hole.
inline std::vector<BYTE> Runs(const std::vector<std::pair<ULONGLONG, LONGLONG>>& vecRuns)
{
    std::vector<BYTE> vec;
    LONGLONG n64Previous = 0;
    for (const auto& run : vecRuns)
    {
        std::vector<BYTE> vecLength, vecOffset;
        ULONGLONG n64Length = run.first;
        do
        {
            vecLength.push_back(static_cast<BYTE>(n64Length));
            n64Length >>= 8;
        } while (n64Length);
        if (run.second >= 0)
        {
            LONGLONG n64Delta = run.second - n64Previous;
            n64Previous = run.second;
            // Smallest two's-complement form that keeps the sign.
            for (;;)
            {
                BYTE by = static_cast<BYTE>(n64Delta);
                vecOffset.push_back(by);
                LONGLONG n64Rest = n64Delta >> 8;
                if ((n64Rest == 0 && !(by & 0x80)) || (n64Rest == -1 && (by & 0x80)))
                    break;
                n64Delta = n64Rest;
            }
        }
        vec.push_back(static_cast<BYTE>(vecLength.size() | (vecOffset.size() << 4)));
        vec.insert(vec.end(), vecLength.begin(), vecLength.end());
        vec.insert(vec.end(), vecOffset.begin(), vecOffset.end());
    }
    vec.push_back(0);
    return vec;
}

// A scratch file that is removed with the object.
class CScratchFile
{
public:
    CScratchFile()
    {
        char szPath[] = "/tmp/salvix-test-XXXXXX";
        int nFd = mkstemp(szPath);
        if (nFd >= 0)
            close(nFd);
        m_strPath = szPath;
    }
    ~CScratchFile() { unlink(m_strPath.c_str()); }
    CScratchFile(const CScratchFile&) = delete;
    CScratchFile& operator=(const CScratchFile&) = delete;

    // Writes bytes at an offset, leaving holes elsewhere.
    void Write(ULONGLONG n64Offset, const void* pBytes, size_t nLength)
    {
        FILE* pFile = fopen(m_strPath.c_str(), "r+b");
        if (!pFile)
            return;
        fseeko(pFile, static_cast<off_t>(n64Offset), SEEK_SET);
        fwrite(pBytes, 1, nLength, pFile);
        fclose(pFile);
    }
    void Write(ULONGLONG n64Offset, const std::vector<BYTE>& vec) { Write(n64Offset, vec.data(), vec.size()); }
    void Truncate(ULONGLONG n64Size) { (void)truncate(m_strPath.c_str(), static_cast<off_t>(n64Size)); }
    const std::string& Path() const { return m_strPath; }

private:
    std::string m_strPath;
};

// Fills a cluster with a pattern that names it, so a read shows where it came from.
inline std::vector<BYTE> ClusterPattern(ULONGLONG n64Cluster, DWORD dwClusterSize)
{
    std::vector<BYTE> vec(dwClusterSize);
    for (DWORD i = 0; i < dwClusterSize; ++i)
        vec[i] = static_cast<BYTE>((n64Cluster * 131 + i * 7 + (i >> 8)) & 0xFF);
    return vec;
}

}  // namespace testimg
