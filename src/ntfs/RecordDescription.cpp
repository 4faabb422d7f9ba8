#include "ntfs/RecordDescription.h"

#include "ntfs/Layout.h"

namespace ntfs
{

namespace
{

bool AllZero(const BYTE* p, DWORD dwSize)
{
    for (DWORD i = 0; i < dwSize; ++i)
        if (p[i] != 0)
            return false;
    return true;
}

}  // namespace

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
        desc.m_bHasData = desc.m_bHasData || attr.m_dwType == kTypeData;
        desc.m_bHasName = desc.m_bHasName || attr.m_dwType == kTypeFileName;
        desc.m_bHasList = desc.m_bHasList || attr.m_dwType == kTypeAttributeList;
        if (attr.m_dwType == kTypeData && attr.m_byNameLength == 0)
        {
            if (desc.m_nUnnamedData < CRecordDescription::kMaxUnnamedData)
                desc.m_adwUnnamedData[desc.m_nUnnamedData] = attr.m_dwOffset;
            ++desc.m_nUnnamedData;
        }
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
        CFileName name;
        const bool bDos = ParseFileName(pValue, dwLength, name) == 0 && name.m_byNameSpace == kNameSpaceDos;
        if (!desc.m_pOwnerName || !bDos || bOwnerIsDos)
        {
            desc.m_pOwnerName = pValue;
            desc.m_dwOwnerNameLength = dwLength;
            bOwnerIsDos = bDos;
        }
    }
    desc.m_bBroken = walk.Broken();
    return 0;
}

ERecordKind ClassifyRecord(const BYTE* pRecord, DWORD dwSize, bool bSequenceFits, CRecordDescription& desc)
{
    desc = CRecordDescription();
    if (!pRecord || dwSize == 0)
        return ERecordKind::eDamaged;
    if (AllZero(pRecord, dwSize))
        return ERecordKind::eNeverUsed;
    if (!bSequenceFits || DescribeRecord(pRecord, dwSize, desc) != 0 || desc.m_bBroken)
        return ERecordKind::eDamaged;
    if (!desc.m_header.m_bInUse && !desc.m_bHasName && !desc.m_bHasData && !desc.m_bHasList)
        return ERecordKind::eNeverUsed;
    return ERecordKind::eFile;
}

ERecordKind ClassifyRecord(const BYTE* pRecord, DWORD dwSize, bool bSequenceFits)
{
    CRecordDescription desc;
    return ClassifyRecord(pRecord, dwSize, bSequenceFits, desc);
}

}  // namespace ntfs
