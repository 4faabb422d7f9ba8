// What a layout made, written next to the image so that tests find the
// records they need by name instead of guessing numbers.
//
// The manifest is UTF-8 text. Lines starting with '#' are comments; every
// other line is one entry of five fields separated by tabs:
//
//   KEY  RECORD  SIZE  CKSUM  PATH
//
// KEY is a stable name such as "unicode.deleted_pdf" (keys never repeat),
// RECORD the decimal record number, SIZE the file's size in bytes and CKSUM
// the checksum that `cksum` prints for its bytes (the POSIX CRC), both "-"
// where there are no bytes to check (directories, damaged files). PATH is the
// path the record was created under, or a short note for records that no
// path names (extension records).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The POSIX cksum CRC, fed in pieces; runs of zeros (holes) cost nothing.
class CCksum
{
public:
    void Update(const uint8_t* p, size_t cb);
    void Update(const std::vector<uint8_t>& bytes) { Update(bytes.data(), bytes.size()); }
    void UpdateZeros(uint64_t n64Count);
    uint64_t Length() const { return m_n64Length; }
    // The value `cksum` prints: the length folded in, then inverted.
    uint32_t Value() const;

private:
    uint32_t m_dwCrc = 0;
    uint64_t m_n64Length = 0;
};

struct ManifestEntry
{
    std::string strKey;
    uint64_t n64Record = 0;
    bool bHasBytes = false;
    uint64_t n64Size = 0;
    uint32_t dwCksum = 0;
    std::string strPath;
};

class CManifest
{
public:
    void Comment(const std::string& strText) { m_vecComments.push_back(strText); }
    void Add(const std::string& strKey, uint64_t n64Record, const std::string& strPath);
    void Add(const std::string& strKey, uint64_t n64Record, const std::string& strPath, const CCksum& sum);
    // The record of an entry added before, or -1.
    int64_t RecordOf(const std::string& strKey) const;
    bool Write(const std::string& strFile) const;

private:
    std::vector<std::string> m_vecComments;
    std::vector<ManifestEntry> m_vecEntries;
};
