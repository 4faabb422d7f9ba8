#include "ntfs/AttributeList.h"

#include "ntfs/Layout.h"

namespace ntfs
{

DWORD ParseAttributeList(const BYTE* pList, size_t nSize, std::vector<CAttrListEntry>& vecEntries)
{
    vecEntries.clear();
    if (nSize > kMaxAttributeListSize || (!pList && nSize))
        return ERROR_FILE_CORRUPT;
    // Each entry takes at least a header, so this is also the cap on the count.
    vecEntries.reserve(nSize / kListEntryHeaderSize);
    size_t nPos = 0;
    while (nSize - nPos >= kListEntryHeaderSize)
    {
        const BYTE* p = pList + nPos;
        CAttrListEntry entry;
        entry.m_dwType = ReadLE32(p + kListType);
        entry.m_wLength = ReadLE16(p + kListEntryLength);
        entry.m_n64FirstVcn = ReadLE64(p + kListFirstVcn);
        entry.m_n64Reference = ReadLE64(p + kListReference);
        entry.m_wAttrId = ReadLE16(p + kListAttrId);
        entry.m_dwNameUnits = p[kListNameLength];
        const DWORD dwNameOffset = p[kListNameOffset];
        // A zero type or length would hold the walk in place: damage, not an end.
        if (entry.m_dwType == 0 || entry.m_wLength < kListEntryHeaderSize ||
            entry.m_wLength > nSize - nPos)
            return ERROR_FILE_CORRUPT;
        if (entry.m_dwNameUnits > 0)
        {
            if (dwNameOffset > entry.m_wLength ||
                entry.m_dwNameUnits * 2 > entry.m_wLength - dwNameOffset)
                return ERROR_FILE_CORRUPT;
            entry.m_pName = p + dwNameOffset;
        }
        vecEntries.push_back(entry);
        nPos += entry.m_wLength;
    }
    return 0;
}

}  // namespace ntfs
