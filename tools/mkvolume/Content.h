// Deterministic file content: every file's bytes follow from a seed and the
// file's own key, so a volume made twice holds the same files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CPrng
{
public:
    explicit CPrng(uint64_t n64Seed) : m_n64State(n64Seed) {}

    // splitmix64: small, fast, and the same on every platform.
    uint64_t Next()
    {
        uint64_t z = (m_n64State += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    uint32_t Below(uint32_t dwLimit) { return dwLimit ? static_cast<uint32_t>(Next() % dwLimit) : 0; }

private:
    uint64_t m_n64State;
};

// Seed for one file: mixes the volume seed with the file's key (its path).
uint64_t ContentSeed(uint64_t n64VolumeSeed, const std::string& strKey);

// Random bytes; never a run of zeros long enough to look like a hole.
std::vector<uint8_t> RandomBytes(uint64_t n64Seed, size_t cbSize);
// Readable text made of words, lines and paragraphs (UTF-8, some accents).
std::vector<uint8_t> TextBytes(uint64_t n64Seed, size_t cbSize);
// Log lines with time stamps, levels and request numbers: compresses well,
// like a real service's log.
std::vector<uint8_t> LogBytes(uint64_t n64Seed, size_t cbSize);
// Bytes that start like a JPEG picture and continue with random data.
std::vector<uint8_t> PhotoBytes(uint64_t n64Seed, size_t cbSize);
// A name of nUnits UTF-16 units: strStem, then a repeating pattern of Latin
// letters and accented ones (one unit each), then strSuffix.
std::string NameOfLength(const std::string& strStem, size_t nUnits, const std::string& strSuffix);
