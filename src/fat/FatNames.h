// Names and times as FAT and exFAT store them, turned into what the program
// shows: UTF-8 names and 100-ns units since 1601.
#pragma once

#include "fat/FatStructures.h"

#include <string>

namespace fat
{

// Appends UTF-16 units as UTF-8, up to the first 0 unit; a unit of a broken
// surrogate pair becomes U+FFFD.
void AppendUtf8(const WORD* pUnits, size_t nUnits, std::string& strOut);

// Bytes of the OEM code page, which the volume does not name, taken as
// code page 437 (a volume label, a short name).
void OemText(const BYTE* p, size_t nBytes, std::string& strOut);

// The short name as a name: "README.TXT", "readme.txt" with the lower-case
// flags, no dot without an extension. A deleted entry's first byte, which
// FAT overwrote, shows as '_'. Bytes above 0x7F (the OEM code page, which
// the volume does not name) are taken as code page 437.
void ShortNameText(const CDirEntry& entry, std::string& strOut);

// Gathers the parts of a long name in the order they are stored (last part
// first) and hands the name to the short entry they belong to.
class CLongNameCollector
{
public:
    void Reset() { m_nParts = 0; }
    // A long-name part as it comes in the directory.
    void Add(const CLongNameEntry& part);
    // The whole name for the short entry that follows the parts, when they
    // belong to it: the same checksum, the same state (live or deleted), and
    // for a live name every sequence number from the last part down to 1.
    // Resets the collector.
    bool Take(const CDirEntry& shortEntry, std::string& strName);

private:
    static const size_t kMaxParts = 20;
    CLongNameEntry m_parts[kMaxParts];
    size_t m_nParts = 0;
    bool m_bBroken = false;
};

// A point in time: 100-ns units since 1601-01-01, 0 for none.
struct CFatTime
{
    ULONGLONG m_n64Value = 0;
    // True when the value is the wall clock of wherever the volume was
    // written, with no zone (show it as it stands); false when it is UTC.
    bool m_bWallClock = true;
};

// A FAT date and time (and 10-ms units, 0..199); none when the date is not a
// date (month or day 0, day past the month).
CFatTime FatTime(WORD wDate, WORD wTime, BYTE by10ms = 0);

// An exFAT timestamp with its 10-ms units and its UTC offset byte: UTC when
// the offset is valid, else the wall clock.
CFatTime ExfatTime(DWORD dwStamp, BYTE by10ms, BYTE byOffset);

}  // namespace fat
