// Directory entries: the first byte picks FAT12/16, FAT32 or exFAT, the rest
// is a directory's bytes, parsed entry by entry as the walk parses them:
// short entries with their long names, exFAT entry sets, names and times.
#include "FuzzDisk.h"

#include "fat/FatNames.h"

#include <string>

namespace
{

void CheckUtf8(const std::string& str)
{
    // Whatever the units, the text is valid UTF-8 of bounded length.
    FUZZ_CHECK(str.size() <= 20 * 13 * 3 + 16);
    for (size_t i = 0; i < str.size();)
    {
        const unsigned char ch = static_cast<unsigned char>(str[i]);
        const size_t nLength = ch < 0x80 ? 1 : ch >= 0xF0 ? 4 : ch >= 0xE0 ? 3 : 2;
        FUZZ_CHECK(ch < 0x80 || ch >= 0xC2);
        FUZZ_CHECK(i + nLength <= str.size());
        for (size_t j = 1; j < nLength; ++j)
            FUZZ_CHECK((static_cast<unsigned char>(str[i + j]) & 0xC0) == 0x80);
        i += nLength;
    }
}

void FatDirectory(const BYTE* p, size_t nSize, bool bFat32)
{
    fat::CLongNameCollector collector;
    for (size_t nOff = 0; nSize - nOff >= fat::kDirEntrySize; nOff += fat::kDirEntrySize)
    {
        fat::CDirEntry e;
        FUZZ_CHECK(fat::ParseDirEntry(p + nOff, nSize - nOff, bFat32, e));
        fat::CLongNameEntry part;
        if (fat::ParseLongNameEntry(p + nOff, nSize - nOff, part))
        {
            FUZZ_CHECK(part.m_bDeleted || (part.m_bySequence >= 1 && part.m_bySequence <= 20));
            collector.Add(part);
            continue;
        }
        if (e.m_eKind != fat::eDirShort)
        {
            collector.Reset();
            continue;
        }
        std::string strName;
        if (!collector.Take(e, strName))
            fat::ShortNameText(e, strName);
        CheckUtf8(strName);
        const fat::CFatTime time = fat::FatTime(e.m_wWriteDate, e.m_wWriteTime, e.m_byCreateTenths);
        FUZZ_CHECK(time.m_n64Value == 0 || time.m_n64Value >= 0x01A8E79FE1D58000ull);  // 1980
    }
}

void ExfatDirectory(const BYTE* p, size_t nSize)
{
    for (size_t nOff = 0; nSize - nOff >= fat::kDirEntrySize; nOff += fat::kDirEntrySize)
    {
        DWORD dwSecondary = 0;
        if (!fat::ExfatSetLength(p + nOff, nSize - nOff, dwSecondary))
            continue;
        const size_t nEntries = dwSecondary + 1;
        if (nEntries > (nSize - nOff) / fat::kDirEntrySize)
            continue;
        fat::CExfatFile f;
        if (!fat::ParseExfatSet(p + nOff, nEntries, f))
            continue;
        FUZZ_CHECK(f.m_bChecksumOk && f.m_dwNameUnits == f.m_byNameLength && f.m_dwNameUnits > 0);
        std::string strName;
        fat::AppendUtf8(f.m_wName, f.m_dwNameUnits, strName);
        CheckUtf8(strName);
        (void)fat::ExfatTime(f.m_dwModify, f.m_byModify10ms, f.m_byModifyOffset);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    if (nSize < 1 || nSize > (1u << 20))
        return 0;
    switch (pData[0] % 3)
    {
    case 0: FatDirectory(pData + 1, nSize - 1, false); break;
    case 1: FatDirectory(pData + 1, nSize - 1, true); break;
    default: ExfatDirectory(pData + 1, nSize - 1); break;
    }
    // The same bytes as a piece of each kind of FAT.
    for (fat::EFatKind eKind : {fat::eKindFat12, fat::eKindFat16, fat::eKindFat32, fat::eKindExfat})
        for (DWORD dw = 0; dw < 64; ++dw)
        {
            DWORD dwValue = 0;
            if (fat::ReadFatEntry(pData, nSize, eKind, 0, dw, dwValue))
                FUZZ_CHECK(fat::FatEntryOffset(eKind, dw) < nSize);
        }
    return 0;
}
