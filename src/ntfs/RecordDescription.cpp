#include "ntfs/RecordDescription.h"

#include "ntfs/Layout.h"

namespace ntfs
{

DWORD DescribeRecord(const BYTE* pRecord, DWORD dwSize, CRecordDescription& desc)
{
    desc = CRecordDescription();
    if (DWORD dwError = ParseRecordHeader(pRecord, dwSize, desc.m_header))
        return dwError;
    bool bOwnerIsDos = false;
    CAttributeWalk walk(pRecord, dwSize, desc.m_header.m_dwFirstAttr);
    CAttribute attr;
    const BYTE* pAttr = nullptr;
    while (walk.Next(attr, pAttr))
    {
        const BYTE* pValue = nullptr;
        DWORD dwLength = 0;
        if (attr.m_dwType == kTypeAttributeList && attr.m_bSound)
        {
            desc.m_pAttrListHeader = pAttr;
            ResidentValue(pAttr, attr, desc.m_pAttrList, desc.m_dwAttrListLength);
        }
        if ((attr.m_dwType != kTypeStandardInfo && attr.m_dwType != kTypeFileName) ||
            !ResidentValue(pAttr, attr, pValue, dwLength))
            continue;
        if (attr.m_dwType == kTypeStandardInfo)
        {
            desc.m_pStandardInfo = pValue;
            desc.m_dwStandardInfoLength = dwLength;
            continue;
        }
        desc.m_pFileName = pValue;
        desc.m_dwFileNameLength = dwLength;
        // The 8.3 name is what Windows made up, not what the owner wrote.
        const bool bDos = dwLength > kNameSpace && pValue[kNameSpace] == kNameSpaceDos;
        if (!desc.m_pOwnerName || !bDos || bOwnerIsDos)
        {
            desc.m_pOwnerName = pValue;
            desc.m_dwOwnerNameLength = dwLength;
            bOwnerIsDos = bDos;
        }
    }
    return 0;
}

}  // namespace ntfs
