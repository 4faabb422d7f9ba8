// Hand-made disks for the tests: little-endian fields, record images with
// chosen attributes, run lists, the one writer of partition table sectors,
// and whole small disks with a boot sector and a master file table, written
// to a scratch file the platform layer reads as the disk. Builds on Windows too.
#pragma once

#include "support/Files.h"

#include "ntfs/NTFSDrive.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace salvix_test
{

inline ULONGLONG GetLE(const BYTE* p, int nBytes)
{
    ULONGLONG n64Value = 0;
    for (int i = nBytes - 1; i >= 0; --i)
        n64Value = (n64Value << 8) | p[i];
    return n64Value;
}

inline void PutLE(BYTE* p, ULONGLONG n64Value, int nBytes)
{
    for (int i = 0; i < nBytes; ++i)
        p[i] = static_cast<BYTE>(n64Value >> (8 * i));
}


// Grows the vector as needed.
inline void PutLE(std::vector<BYTE>& vec, size_t nOffset, ULONGLONG n64Value, int nBytes)
{
    if (vec.size() < nOffset + nBytes)
        vec.resize(nOffset + nBytes);
    PutLE(vec.data() + nOffset, n64Value, nBytes);
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

// A name as the program shows it: each UTF-16 unit from 1 to 255 becomes
// the byte of the same value; the name ends before the first unit above 255.
template <class Units>
std::string NameBytes(const Units& units)
{
    std::string str;
    for (auto unit : units)
    {
        if (unit == 0 || unit > 255)
            break;
        str += static_cast<char>(unit);
    }
    return str;
}

// Latin-1 bytes (names as the program shows them) as UTF-8.
inline std::string Latin1ToUtf8(const std::string& strLatin1)
{
    std::string strUtf8;
    for (unsigned char ch : strLatin1)
    {
        if (ch >= 0x80)
            strUtf8 += static_cast<char>(0xC0 | (ch >> 6));
        strUtf8 += static_cast<char>(ch < 0x80 ? ch : 0x80 | (ch & 0x3F));
    }
    return strUtf8;
}

// Bytes for a failure message: control and high bytes escaped.
inline std::string Printable(const std::string& str)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string strOut;
    for (unsigned char ch : str)
    {
        if (ch >= 0x20 && ch < 0x7F)
            strOut += static_cast<char>(ch);
        else
            strOut += std::string("\\x") + kHex[ch >> 4] + kHex[ch & 15];
    }
    return strOut;
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

    // Names the attribute at dwOffset, the last one added: the name goes
    // where its value or run list began, which moves up behind it.
    void Name(DWORD dwOffset, const std::u16string& strName)
    {
        const std::vector<BYTE> vecName = Utf16(strName);
        const DWORD dwNameBytes = Align8(static_cast<DWORD>(vecName.size()));
        const bool bNonResident = m_vec[dwOffset + 0x08] != 0;
        const DWORD dwField = bNonResident ? 0x20 : 0x14;
        const DWORD dwStart = m_vec[dwOffset + dwField] | (m_vec[dwOffset + dwField + 1] << 8);
        const DWORD dwLength = m_vec[dwOffset + 4] | (m_vec[dwOffset + 5] << 8);
        std::vector<BYTE> vecRest(m_vec.begin() + dwOffset + dwStart, m_vec.begin() + dwOffset + dwLength);
        std::copy(vecName.begin(), vecName.end(), m_vec.begin() + dwOffset + dwStart);
        std::copy(vecRest.begin(), vecRest.end(), m_vec.begin() + dwOffset + dwStart + dwNameBytes);
        m_vec[dwOffset + 0x09] = static_cast<BYTE>(strName.size());
        PutLE(m_vec, dwOffset + 0x0A, dwStart, 2);
        PutLE(m_vec, dwOffset + dwField, dwStart + dwNameBytes, 2);
        PutLE(m_vec, dwOffset + 4, dwLength + dwNameBytes, 4);
        m_dwNext += dwNameBytes;
    }

    // Header fields NTFS sets on records of files spread over several.
    CRecordImage& SetSequence(WORD wSequence)
    {
        PutLE(m_vec, 0x10, wSequence, 2);
        return *this;
    }
    CRecordImage& SetBaseRecord(ULONGLONG n64Record, WORD wSequence)
    {
        PutLE(m_vec, 0x20, n64Record | (static_cast<ULONGLONG>(wSequence) << 48), 8);
        return *this;
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

// One $ATTRIBUTE_LIST entry: the attribute of dwType (and name) whose
// extent starting at n64FirstVcn lies in record n64Record of wSequence.
inline std::vector<BYTE> ListEntry(DWORD dwType, ULONGLONG n64FirstVcn, ULONGLONG n64Record, WORD wSequence,
                                   WORD wId = 0, const std::u16string& strName = u"")
{
    std::vector<BYTE> vec(0x1A, 0);
    PutLE(vec, 0x00, dwType, 4);
    vec[0x06] = static_cast<BYTE>(strName.size());
    vec[0x07] = 0x1A;
    PutLE(vec, 0x08, n64FirstVcn, 8);
    PutLE(vec, 0x10, n64Record | (static_cast<ULONGLONG>(wSequence) << 48), 8);
    PutLE(vec, 0x18, wId, 2);
    std::vector<BYTE> vecName = Utf16(strName);
    vec.insert(vec.end(), vecName.begin(), vecName.end());
    vec.resize((vec.size() + 7) & ~size_t(7), 0);
    PutLE(vec, 0x04, vec.size(), 2);
    return vec;
}

// Marks a run without clusters (a hole) in Runs().
const LONGLONG kHole = INT64_MIN;

// Run list with one run per (length, absolute cluster) pair, negative
// clusters included (they are where a hostile list points); kHole for a hole.
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
        if (run.second != kHole)
        {
            LONGLONG n64Delta = static_cast<LONGLONG>(static_cast<ULONGLONG>(run.second) -
                                                      static_cast<ULONGLONG>(n64Previous));
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

// One entry of a partition table sector.
struct CEntry
{
    BYTE m_byType = 0;
    DWORD m_dwFirst = 0;
    DWORD m_dwCount = 0;
    BYTE m_byHead = 0;
    BYTE m_bySectorByte = 0;
    BYTE m_byCylinderLow = 0;
};

// An entry of nCount sectors with no CHS fields.
inline CEntry Part(BYTE byType, DWORD dwFirst, DWORD dwCount = 1000)
{
    CEntry entry;
    entry.m_byType = byType;
    entry.m_dwFirst = dwFirst;
    entry.m_dwCount = dwCount;
    return entry;
}

// Writes a partition table sector (a master or an extended boot record) at
// 512-byte sector n64Sector of the file: up to four entries, the rest
// empty, and the boot signature.
inline bool WritePartitionTable(const std::string& strPath, ULONGLONG n64Sector, const std::vector<CEntry>& vecEntries)
{
    std::vector<BYTE> vec(512, 0);
    for (size_t i = 0; i < vecEntries.size() && i < 4; ++i)
    {
        BYTE* p = vec.data() + 446 + 16 * i;
        const CEntry& entry = vecEntries[i];
        p[1] = entry.m_byHead;
        p[2] = entry.m_bySectorByte;
        p[3] = entry.m_byCylinderLow;
        p[4] = entry.m_byType;
        PutLE(p + 8, entry.m_dwFirst, 4);
        PutLE(p + 12, entry.m_dwCount, 4);
    }
    vec[510] = 0x55;
    vec[511] = 0xAA;
    return WriteFileAt(strPath, n64Sector * 512, vec);
}

// Opens the volume that starts at dwFirstSector of the device, as the
// program opens a partition; 0 or the code.
inline DWORD OpenVolumeOn(CNTFSDrive& drive, HANDLE hDevice, DWORD dwFirstSector, DWORD dwSectorSize = 512)
{
    drive.AttachDevice(hDevice);
    drive.SetVolumeStart(dwFirstSector, dwSectorSize);
    return drive.OpenVolume();
}

// One record's answers, asked the way the scan and the save ask them.
struct CRecordResult
{
    DWORD m_dwInfo = ~0u;  // GetEntryInfo's code
    MFTEntryInfo m_info = {};
    std::string m_strName;  // szName up to its terminator (or its end), when m_dwInfo is 0
    DWORD m_dwData = ~0u;  // ReadEntryData's code
    std::vector<BYTE> m_vecData;  // when m_dwData is 0
};

// GetEntryInfo and ReadEntryData of one record of an open volume. The
// description is filled with 0xA5 first, so a field left unset shows.
inline CRecordResult AskRecord(CNTFSDrive& drive, DWORD dwRecord)
{
    CRecordResult result;
    memset(&result.m_info, 0xA5, sizeof(result.m_info));
    result.m_dwInfo = drive.GetEntryInfo(dwRecord, result.m_info);
    if (result.m_dwInfo == 0)
        result.m_strName.assign(result.m_info.szName, strnlen(result.m_info.szName, sizeof(result.m_info.szName)));
    BYTE* pData = nullptr;
    DWORD dwLength = 0;
    result.m_dwData = drive.ReadEntryData(dwRecord, pData, dwLength);
    const std::unique_ptr<BYTE[]> data(pData);
    if (result.m_dwData == 0)
        result.m_vecData.assign(pData, pData + dwLength);
    return result;
}

// Where a boot sector puts the volume's clusters and its master file table.
struct CBootGeometry
{
    DWORD m_dwClusterSize = 0;  // 0 when no boot sector could be read
    DWORD m_dwRecordSize = 0;
    ULONGLONG m_n64Table = 0;  // byte offset of the table's record 0 in the file
};

inline CBootGeometry ReadBootGeometry(const std::string& strPath, ULONGLONG n64VolumeOffset)
{
    CBootGeometry geometry;
    std::vector<BYTE> vecBoot(512);
    std::ifstream file(strPath, std::ios::binary);
    file.seekg(static_cast<std::streamoff>(n64VolumeOffset));
    if (!file.read(reinterpret_cast<char*>(vecBoot.data()), 512))
        return geometry;
    geometry.m_dwClusterSize = static_cast<DWORD>(GetLE(&vecBoot[0x0B], 2) * vecBoot[0x0D]);
    const signed char chCode = static_cast<signed char>(vecBoot[0x40]);
    geometry.m_dwRecordSize = chCode < 0 ? 1u << -chCode : chCode * geometry.m_dwClusterSize;
    geometry.m_n64Table = n64VolumeOffset + GetLE(&vecBoot[0x30], 8) * geometry.m_dwClusterSize;
    return geometry;
}

// Fills a cluster with a pattern that names it, so a read shows where it came from.
inline std::vector<BYTE> ClusterPattern(ULONGLONG n64Cluster, DWORD dwClusterSize)
{
    std::vector<BYTE> vec(dwClusterSize);
    for (DWORD i = 0; i < dwClusterSize; ++i)
        vec[i] = static_cast<BYTE>((n64Cluster * 131 + i * 7 + (i >> 8)) & 0xFF);
    return vec;
}

// A whole disk: a master boot record, an NTFS volume with its boot sector and
// a master file table of hand-made records, in a scratch file.
struct CDiskSpec
{
    ULONGLONG m_n64FirstSector = 2048;
    WORD m_wBytesPerSector = 512;
    BYTE m_bySectorsPerCluster = 8;
    signed char m_chRecordCode = -10;
    DWORD m_dwRecordSize = 1024;
    // Runs of the table's data as (clusters, first cluster); empty for one
    // run at cluster 4. The table's bytes fill them in order.
    std::vector<std::pair<ULONGLONG, LONGLONG>> m_vecMftRuns;
    bool m_bMbr = true;  // a master boot record listing the volume as NTFS
    std::u16string m_strMftName = u"$MFT";  // record 0's file name
    bool m_bMftData = true;                 // record 0 describes the table's data
    ULONGLONG m_n64TableRealSize = 0;       // the data's real size; 0: its whole clusters
};

class CTestDisk
{
public:
    explicit CTestDisk(const CDiskSpec& spec = CDiskSpec()) : m_spec(spec)
    {
        if (m_spec.m_vecMftRuns.empty())
            m_spec.m_vecMftRuns.push_back({0, 4});  // length set by Build
    }

    CRecordImage& Record(DWORD dwIndex)
    {
        auto it = m_records.find(dwIndex);
        if (it == m_records.end())
            it = m_records.emplace(dwIndex, CRecordImage(m_spec.m_dwRecordSize)).first;
        return it->second;
    }
    // A record stored exactly as given: no end marker, no update sequence.
    void SetRaw(DWORD dwIndex, std::vector<BYTE> vec) { m_raw[dwIndex] = std::move(vec); }

    DWORD ClusterSize() const { return static_cast<DWORD>(m_spec.m_wBytesPerSector) * m_spec.m_bySectorsPerCluster; }
    ULONGLONG VolumeOffset() const { return m_spec.m_n64FirstSector * 512; }
    ULONGLONG ClusterPosition(ULONGLONG n64Cluster) const { return VolumeOffset() + n64Cluster * ClusterSize(); }
    ULONGLONG MftPosition() const { return ClusterPosition(m_spec.m_vecMftRuns.front().second); }

    // Writes the master boot record, the boot sector and a table of
    // dwRecords records (record 0 made here unless set).
    void Build(DWORD dwRecords)
    {
        const DWORD dwCluster = ClusterSize();
        const DWORD dwTableLength = static_cast<DWORD>(
            std::max<ULONGLONG>(static_cast<ULONGLONG>(dwRecords) * m_spec.m_dwRecordSize,
                                m_spec.m_n64TableRealSize));
        if (m_spec.m_vecMftRuns.size() == 1 && m_spec.m_vecMftRuns[0].first == 0)
            m_spec.m_vecMftRuns[0].first = (dwTableLength + dwCluster - 1) / dwCluster;
        ULONGLONG n64Clusters = 0;
        for (const auto& run : m_spec.m_vecMftRuns)
            n64Clusters += run.first;

        if (!m_raw.count(0))
        {
            CRecordImage mft(m_spec.m_dwRecordSize);
            mft.AddResident(0x10, StandardInfoValue());
            mft.AddResident(0x30, FileNameValue(m_spec.m_strMftName, n64Clusters * dwCluster, 6));
            if (m_spec.m_bMftData)
                mft.AddNonResident(0x80, Runs(m_spec.m_vecMftRuns), n64Clusters * dwCluster,
                                   m_spec.m_n64TableRealSize ? m_spec.m_n64TableRealSize
                                                             : n64Clusters * dwCluster);
            m_raw[0] = mft.End().Protect().Bytes();
        }
        for (auto& entry : m_records)
            if (!m_raw.count(entry.first))
                m_raw[entry.first] = entry.second.End().Protect(static_cast<WORD>(entry.first + 1)).Bytes();

        if (m_spec.m_bMbr)
            WritePartitionTable(Path(), 0, {Part(7, static_cast<DWORD>(m_spec.m_n64FirstSector), 1u << 20)});

        std::vector<BYTE> vecBoot(512, 0);
        vecBoot[0] = 0xEB;
        memcpy(vecBoot.data() + 3, "NTFS    ", 8);
        PutLE(vecBoot, 0x0B, m_spec.m_wBytesPerSector, 2);
        vecBoot[0x0D] = m_spec.m_bySectorsPerCluster;
        PutLE(vecBoot, 0x30, static_cast<ULONGLONG>(m_spec.m_vecMftRuns.front().second), 8);
        vecBoot[0x40] = static_cast<BYTE>(m_spec.m_chRecordCode);
        vecBoot[510] = 0x55;
        vecBoot[511] = 0xAA;
        m_file.Write(VolumeOffset(), vecBoot);

        // Whole clusters: the runs describe that many bytes.
        std::vector<BYTE> vecTable((dwTableLength + dwCluster - 1) / dwCluster * dwCluster, 0);
        for (auto& entry : m_raw)
            if (entry.first < dwRecords)
                std::copy(entry.second.begin(), entry.second.begin() + std::min<size_t>(entry.second.size(), m_spec.m_dwRecordSize),
                          vecTable.begin() + static_cast<size_t>(entry.first) * m_spec.m_dwRecordSize);
        // The table's bytes go into the runs in order, as far as they reach.
        size_t nDone = 0;
        LONGLONG n64Cluster = 0;
        for (const auto& run : m_spec.m_vecMftRuns)
        {
            n64Cluster = run.second;
            const size_t nRun = std::min<size_t>(run.first * dwCluster, vecTable.size() - nDone);
            if (nRun)
                m_file.Write(ClusterPosition(n64Cluster), vecTable.data() + nDone, nRun);
            nDone += nRun;
        }
    }

    HANDLE Open() const { return OpenImage(Path()); }
    CScratchFile& File() { return m_file; }
    const std::string& Path() const { return m_file.Path(); }
    DWORD FirstSector() const { return static_cast<DWORD>(m_spec.m_n64FirstSector); }

private:
    CDiskSpec m_spec;
    CScratchFile m_file;
    std::map<DWORD, CRecordImage> m_records;
    std::map<DWORD, std::vector<BYTE>> m_raw;
};

}  // namespace salvix_test
