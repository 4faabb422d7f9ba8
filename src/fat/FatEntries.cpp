// Directory entries: FAT's short and long-name entries, exFAT's entry sets.
#include "fat/FatStructures.h"

#include "disk/ByteOrder.h"

#include <cstring>

namespace fat
{

namespace
{

// Where a long-name part keeps its 13 UTF-16 units.
const size_t kLongNameUnitOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};

// exFAT file entry fields.
const size_t kFileSecondary = 1;
const size_t kFileChecksum = 2;
const size_t kFileAttributes = 4;
const size_t kFileCreate = 8;
const size_t kFileModify = 12;
const size_t kFileCreate10ms = 20;
const size_t kFileModify10ms = 21;
const size_t kFileCreateOffset = 22;
const size_t kFileModifyOffset = 23;
// Stream extension entry fields.
const size_t kStreamFlags = 1;
const size_t kStreamNameLength = 3;
const size_t kStreamValidLength = 8;
const size_t kStreamFirstCluster = 20;
const size_t kStreamLength = 24;
const BYTE kFlagNoFatChain = 0x02;
const size_t kNameUnitsPerEntry = 15;

}  // namespace

bool CDirEntry::IsDotEntry() const
{
    return m_byName[0] == '.' && (m_byName[1] == ' ' || (m_byName[1] == '.' && m_byName[2] == ' '));
}

bool ParseDirEntry(const BYTE* p, size_t nSize, bool bFat32, CDirEntry& entry)
{
    if (!p || nSize < kDirEntrySize)
        return false;
    CDirEntry e;
    e.m_byAttributes = p[11];
    if (p[0] == 0)
    {
        entry = e;
        return true;
    }
    e.m_bDeleted = p[0] == kDeletedMark;
    memcpy(e.m_byName, p, 11);
    memcpy(e.m_byStored, p, 11);
    if (e.m_byName[0] == 0x05)
        e.m_byName[0] = kDeletedMark;  // a name that starts with the byte 0xE5
    if ((e.m_byAttributes & 0x3F) == kAttrLongName)
        e.m_eKind = eDirLongName;
    else if (e.m_byAttributes & kAttrVolume)
        e.m_eKind = e.m_bDeleted ? eDirFree : eDirLabel;
    else
        e.m_eKind = eDirShort;
    e.m_byCaseFlags = p[12] & 0x18;
    e.m_byCreateTenths = p[13];
    e.m_wCreateTime = static_cast<WORD>(ReadLE16(p, 14));
    e.m_wCreateDate = static_cast<WORD>(ReadLE16(p, 16));
    e.m_wWriteTime = static_cast<WORD>(ReadLE16(p, 22));
    e.m_wWriteDate = static_cast<WORD>(ReadLE16(p, 24));
    e.m_dwFirstCluster = ReadLE16(p, 26);
    if (bFat32)
        e.m_dwFirstCluster |= ReadLE16(p, 20) << 16;
    e.m_dwSize = ReadLE32(p, 28);
    entry = e;
    return true;
}

bool ParseLongNameEntry(const BYTE* p, size_t nSize, CLongNameEntry& entry)
{
    if (!p || nSize < kDirEntrySize || p[0] == 0 || (p[11] & 0x3F) != kAttrLongName ||
        p[12] != 0 || ReadLE16(p, 26) != 0)
        return false;
    CLongNameEntry e;
    e.m_bDeleted = p[0] == kDeletedMark;
    if (!e.m_bDeleted)
    {
        e.m_bySequence = p[0] & 0x1F;
        e.m_bLast = (p[0] & 0x40) != 0;
        if (e.m_bySequence == 0 || e.m_bySequence > 20 || (p[0] & 0xA0))
            return false;
    }
    e.m_byChecksum = p[13];
    for (size_t i = 0; i < 13; ++i)
        e.m_wUnits[i] = static_cast<WORD>(ReadLE16(p, kLongNameUnitOffsets[i]));
    entry = e;
    return true;
}

BYTE ShortNameChecksum(const BYTE* pName11)
{
    BYTE bySum = 0;
    for (int i = 0; i < 11; ++i)
        bySum = static_cast<BYTE>(((bySum & 1) << 7) + (bySum >> 1) + pName11[i]);
    return bySum;
}

// ---- exFAT -----------------------------------------------------------------------

bool ParseExfatSpecial(const BYTE* p, size_t nSize, CExfatSpecial& entry)
{
    if (!p || nSize < kDirEntrySize || (p[0] != kExfatBitmap && p[0] != kExfatUpcase))
        return false;
    entry.m_byFlags = p[1];
    entry.m_dwFirstCluster = ReadLE32(p, 20);
    entry.m_n64Length = ReadLE64(p, 24);
    return true;
}

bool ParseExfatLabel(const BYTE* p, size_t nSize, WORD* pUnits, DWORD& dwUnits)
{
    if (!p || nSize < kDirEntrySize || p[0] != kExfatLabel || p[1] > 11)
        return false;
    dwUnits = p[1];
    for (DWORD i = 0; i < dwUnits; ++i)
        pUnits[i] = static_cast<WORD>(ReadLE16(p, 2 + 2 * i));
    return true;
}

bool ExfatSetLength(const BYTE* p, size_t nSize, DWORD& dwSecondary)
{
    if (!p || nSize < kDirEntrySize || (p[0] | kExfatInUse) != kExfatFile)
        return false;
    dwSecondary = p[kFileSecondary];
    return dwSecondary >= 2;  // a stream entry and at least one name entry
}

WORD ExfatSetChecksum(const BYTE* pSet, size_t nEntries, bool bInUse)
{
    WORD wSum = 0;
    const size_t nBytes = nEntries * kDirEntrySize;
    for (size_t i = 0; i < nBytes; ++i)
    {
        if (i == kFileChecksum || i == kFileChecksum + 1)
            continue;
        BYTE by = pSet[i];
        if (bInUse && i % kDirEntrySize == 0)
            by |= kExfatInUse;
        wSum = static_cast<WORD>(((wSum & 1) ? 0x8000 : 0) + (wSum >> 1) + by);
    }
    return wSum;
}

namespace
{

void ParseStream(const BYTE* p, CExfatFile& f)
{
    f.m_bNoFatChain = (p[kStreamFlags] & kFlagNoFatChain) != 0;
    f.m_byNameLength = p[kStreamNameLength];
    f.m_n64ValidLength = ReadLE64(p, kStreamValidLength);
    f.m_dwFirstCluster = ReadLE32(p, kStreamFirstCluster);
    f.m_n64Length = ReadLE64(p, kStreamLength);
}

void AppendName(const BYTE* p, CExfatFile& f)
{
    for (size_t i = 0; i < kNameUnitsPerEntry && f.m_dwNameUnits < f.m_byNameLength; ++i)
        f.m_wName[f.m_dwNameUnits++] = static_cast<WORD>(ReadLE16(p, 2 + 2 * i));
}

}  // namespace

bool ParseExfatSet(const BYTE* pSet, size_t nEntries, CExfatFile& file)
{
    DWORD dwSecondary = 0;
    if (!pSet || nEntries < 3 || !ExfatSetLength(pSet, nEntries * kDirEntrySize, dwSecondary) ||
        dwSecondary + 1 != nEntries)
        return false;
    CExfatFile f;
    f.m_bDeleted = (pSet[0] & kExfatInUse) == 0;
    const BYTE byState = pSet[0] & kExfatInUse;
    // The stream entry comes first, then the names; other secondary entries
    // (vendor extensions) may follow and are left alone.
    for (size_t i = 1; i < nEntries; ++i)
    {
        const BYTE* p = pSet + i * kDirEntrySize;
        if ((p[0] & kExfatInUse) != byState || (p[0] & 0x40) == 0)
            return false;  // not a secondary entry of a set in this state
        const BYTE byType = p[0] | kExfatInUse;
        if (i == 1 && byType != kExfatStream)
            return false;
        if (byType == kExfatName && f.m_dwNameUnits < f.m_byNameLength)
            AppendName(p, f);
        else if (byType == kExfatStream && i == 1)
            ParseStream(p, f);
    }
    if (f.m_byNameLength == 0 || f.m_dwNameUnits < f.m_byNameLength)
        return false;
    f.m_bChecksumOk = ExfatSetChecksum(pSet, nEntries, true) == ReadLE16(pSet, kFileChecksum);
    if (!f.m_bChecksumOk)
        return false;
    f.m_wAttributes = static_cast<WORD>(ReadLE16(pSet, kFileAttributes));
    f.m_dwCreate = ReadLE32(pSet, kFileCreate);
    f.m_dwModify = ReadLE32(pSet, kFileModify);
    f.m_byCreate10ms = pSet[kFileCreate10ms];
    f.m_byModify10ms = pSet[kFileModify10ms];
    f.m_byCreateOffset = pSet[kFileCreateOffset];
    f.m_byModifyOffset = pSet[kFileModifyOffset];
    file = f;
    return true;
}

}  // namespace fat
