// Names and times of FAT and exFAT entries.
#include "fat/FatNames.h"

#include "fs/Utf8.h"

#include <cstring>

namespace fat
{

namespace
{

// Code page 437 from 0x80 on.
const WORD kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4,
    0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0};

void AppendOemBytes(const BYTE* p, size_t n, bool bLower, std::string& str)
{
    for (size_t i = 0; i < n; ++i)
    {
        BYTE by = p[i];
        if (by >= 0x80)
            AppendCodePointAsUtf8(str, kCp437High[by - 0x80]);
        else
            str += static_cast<char>(bLower && by >= 'A' && by <= 'Z' ? by + ('a' - 'A') : by);
    }
}

// Days from 1601-01-01 to the given date of the proleptic Gregorian calendar.
ULONGLONG DaysSince1601(DWORD dwYear, DWORD dwMonth, DWORD dwDay)
{
    static const DWORD kBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    const DWORD dwYears = dwYear - 1601;
    ULONGLONG n64Days = 365ull * dwYears + dwYears / 4 - dwYears / 100 + dwYears / 400;
    const bool bLeap = (dwYear % 4 == 0 && dwYear % 100 != 0) || dwYear % 400 == 0;
    n64Days += kBefore[dwMonth - 1] + (bLeap && dwMonth > 2 ? 1 : 0);
    return n64Days + dwDay - 1;
}

bool ValidDate(DWORD dwYear, DWORD dwMonth, DWORD dwDay)
{
    static const DWORD kLength[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (dwMonth < 1 || dwMonth > 12 || dwDay < 1 || dwDay > kLength[dwMonth - 1])
        return false;
    const bool bLeap = (dwYear % 4 == 0 && dwYear % 100 != 0) || dwYear % 400 == 0;
    return !(dwMonth == 2 && dwDay == 29 && !bLeap);
}

const ULONGLONG kUnitsPerSecond = 10000000ull;

}  // namespace

void AppendUtf8(const WORD* pUnits, size_t nUnits, std::string& str)
{
    size_t nUsed = 0;
    while (nUsed < nUnits && pUnits[nUsed] != 0)
        ++nUsed;
    AppendUtf16UnitsAsUtf8(str, nUsed, [pUnits](size_t i) { return static_cast<DWORD>(pUnits[i]); });
}

void OemText(const BYTE* p, size_t nBytes, std::string& str)
{
    AppendOemBytes(p, nBytes, false, str);
}

void ShortNameText(const CDirEntry& entry, std::string& str)
{
    size_t nBase = 8, nExt = 3;
    while (nBase > 0 && entry.m_byName[nBase - 1] == ' ')
        --nBase;
    while (nExt > 0 && entry.m_byName[8 + nExt - 1] == ' ')
        --nExt;
    const bool bLowerBase = (entry.m_byCaseFlags & 0x08) != 0;
    if (entry.m_bDeleted && nBase > 0)
    {
        str += '_';  // the byte FAT overwrote
        AppendOemBytes(entry.m_byName + 1, nBase - 1, bLowerBase, str);
    }
    else
        AppendOemBytes(entry.m_byName, nBase, bLowerBase, str);
    if (nExt > 0)
    {
        str += '.';
        AppendOemBytes(entry.m_byName + 8, nExt, (entry.m_byCaseFlags & 0x10) != 0, str);
    }
}

void CLongNameCollector::Add(const CLongNameEntry& part)
{
    if (m_nParts > 0 && (part.m_byChecksum != m_parts[0].m_byChecksum || part.m_bDeleted != m_parts[0].m_bDeleted))
        m_nParts = 0;  // a part of another name: start over from it
    // A live name starts with its last part; a deleted one cannot tell.
    if (!part.m_bDeleted && part.m_bLast)
        m_nParts = 0;
    if (m_nParts == kMaxParts)
    {
        m_bBroken = true;
        return;
    }
    if (m_nParts == 0)
        m_bBroken = false;
    m_parts[m_nParts++] = part;
}

namespace
{

// The first byte a deleted short name had, found from the checksum its long
// name carries (exactly one byte value gives it); 0 when that byte could
// not start a short name.
BYTE FirstByteFor(const CDirEntry& entry, BYTE byChecksum)
{
    BYTE byName[11];
    memcpy(byName, entry.m_byStored, 11);
    for (DWORD dw = 0x20; dw < 0x100; ++dw)
    {
        byName[0] = static_cast<BYTE>(dw);
        if (ShortNameChecksum(byName) == byChecksum)
            return dw == kDeletedMark || dw == 0x2E || (dw >= 'a' && dw <= 'z') ? 0 : static_cast<BYTE>(dw);
    }
    return 0;
}

}  // namespace

bool CLongNameCollector::Take(const CDirEntry& shortEntry, std::string& strName)
{
    const size_t nParts = m_nParts;
    m_nParts = 0;
    if (nParts == 0 || m_bBroken || m_parts[0].m_bDeleted != shortEntry.m_bDeleted)
        return false;
    const BYTE byChecksum = m_parts[0].m_byChecksum;
    if (shortEntry.m_bDeleted)
    {
        if (FirstByteFor(shortEntry, byChecksum) == 0)
            return false;
    }
    else
    {
        if (ShortNameChecksum(shortEntry.m_byStored) != byChecksum || !m_parts[0].m_bLast ||
            m_parts[0].m_bySequence != nParts)
            return false;
        for (size_t i = 0; i < nParts; ++i)
            if (m_parts[i].m_bySequence != nParts - i)
                return false;
    }
    // The first part of the name is the last one stored.
    WORD wUnits[kMaxParts * 13];
    size_t nUnits = 0;
    for (size_t i = nParts; i-- > 0;)
        for (size_t j = 0; j < 13; ++j)
            wUnits[nUnits++] = m_parts[i].m_wUnits[j];
    if (wUnits[0] == 0)
        return false;
    AppendUtf8(wUnits, nUnits, strName);
    return true;
}

CFatTime FatTime(WORD wDate, WORD wTime, BYTE by10ms)
{
    CFatTime time;
    const DWORD dwYear = 1980 + (wDate >> 9), dwMonth = (wDate >> 5) & 15, dwDay = wDate & 31;
    const DWORD dwHour = wTime >> 11, dwMinute = (wTime >> 5) & 63, dwSecond = (wTime & 31) * 2;
    if (!ValidDate(dwYear, dwMonth, dwDay) || dwHour > 23 || dwMinute > 59 || dwSecond > 59 || by10ms > 199)
        return time;
    const ULONGLONG n64Seconds = DaysSince1601(dwYear, dwMonth, dwDay) * 86400ull + dwHour * 3600 +
                                 dwMinute * 60 + dwSecond;
    time.m_n64Value = n64Seconds * kUnitsPerSecond + by10ms * 100000ull;
    return time;
}

CFatTime ExfatTime(DWORD dwStamp, BYTE by10ms, BYTE byOffset)
{
    CFatTime time = FatTime(static_cast<WORD>(dwStamp >> 16), static_cast<WORD>(dwStamp), by10ms);
    if (time.m_n64Value == 0 || !(byOffset & 0x80))
        return time;
    // Signed 15-minute steps east of UTC: the stored time less the offset is UTC.
    const int nQuarters = (byOffset & 0x40) ? static_cast<int>(byOffset & 0x7F) - 128 : (byOffset & 0x7F);
    const LONGLONG n64Shift = static_cast<LONGLONG>(nQuarters) * 15 * 60 * static_cast<LONGLONG>(kUnitsPerSecond);
    time.m_n64Value = static_cast<ULONGLONG>(static_cast<LONGLONG>(time.m_n64Value) - n64Shift);
    time.m_bWallClock = false;
    return time;
}

}  // namespace fat
