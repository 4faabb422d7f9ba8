// The $ATTRIBUTE_LIST value: where each attribute of a file lies when the
// file needs more than its base record. One entry per attribute extent.
#pragma once

#include "ntfs/ExtentReader.h"
#include "platform/Win32.h"

#include <vector>

namespace ntfs
{

struct CAttrListEntry
{
    DWORD m_dwType = 0;
    WORD m_wLength = 0;            // bytes the entry spans in the list
    ULONGLONG m_n64FirstVcn = 0;   // first VCN of the extent it names; 0 for resident ones
    ULONGLONG m_n64Reference = 0;  // the record holding the extent: number and sequence
    WORD m_wAttrId = 0;
    const BYTE* m_pName = nullptr; // UTF-16LE units, inside the list; null when unnamed
    DWORD m_dwNameUnits = 0;
};

// Parses the entries of a list value of nSize bytes, in the list's order.
// Every length is checked against what is left of the list; fewer bytes than
// an entry header at the end are padding. 0, or ERROR_FILE_CORRUPT for a list
// over kMaxAttributeListSize, an entry shorter than its header or its name,
// or one that runs past the list.
DWORD ParseAttributeList(const BYTE* pList, size_t nSize, std::vector<CAttrListEntry>& vecEntries);

// The value of the $ATTRIBUTE_LIST attribute attr, whose header is at pAttr
// inside the record: copied when resident, read
// through reader when not. 0; ERROR_FILE_CORRUPT for a header whose content
// cannot be used, a value over kMaxAttributeListSize, or runs that do not
// decode or stop short of it; reader's codes for the read.
DWORD ReadAttributeListValue(const BYTE* pAttr, const CAttribute& attr, const CExtentReader& reader,
                             std::vector<BYTE>& vecList);

}  // namespace ntfs
