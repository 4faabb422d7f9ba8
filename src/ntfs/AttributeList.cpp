#include "ntfs/AttributeList.h"

#include "ntfs/FieldOffsets.h"

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

DWORD ReadAttributeListValue(const BYTE* pAttr, const CAttribute& attr, const CExtentReader& reader,
                             std::vector<BYTE>& vecList)
{
    if (!attr.m_bSound)
        return ERROR_FILE_CORRUPT;
    if (!attr.m_bNonResident)
    {
        const BYTE* pValue = nullptr;
        DWORD dwLength = 0;
        if (!ResidentValue(pAttr, attr, pValue, dwLength) || dwLength > kMaxAttributeListSize)
            return ERROR_FILE_CORRUPT;
        vecList.assign(pValue, pValue + dwLength);
        return 0;
    }
    if (attr.m_n64RealSize > kMaxAttributeListSize)
        return ERROR_FILE_CORRUPT;
    std::vector<CExtent> vecExtents;
    const BYTE* pList = nullptr;
    DWORD dwList = 0;
    if (!RunListBytes(pAttr, attr, pList, dwList) || DecodeRunList(pList, dwList, 0, vecExtents) != 0 ||
        reader.CoveredBytes(vecExtents) < attr.m_n64RealSize)
        return ERROR_FILE_CORRUPT;
    vecList.resize(static_cast<size_t>(attr.m_n64RealSize));
    return reader.Read(vecExtents, 0, vecList.data(), vecList.size());
}

}  // namespace ntfs
