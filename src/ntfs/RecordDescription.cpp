#include "ntfs/RecordDescription.h"

#include "ntfs/FieldOffsets.h"

#include <cstring>

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

DWORD CheckTableRecord(const BYTE* pRecord, DWORD dwRead, DWORD dwRecordSize, DWORD dwClusterSize,
                       bool& bNameElsewhere)
{
    bNameElsewhere = false;
    // Even sizes other than 0, and the whole record read: nothing less can be walked.
    if (dwRecordSize == 0 || (dwRecordSize & 1) != 0 || dwClusterSize == 0 || (dwClusterSize & 1) != 0 ||
        dwRead < dwRecordSize)
        return ERROR_INVALID_PARAMETER;
    CRecordDescription desc;
    if (DWORD dwError = DescribeRecord(pRecord, dwRecordSize, desc))
        return dwError;
    // Only the first four units are compared: a longer name that begins so passes.
    CFileName name;
    if (desc.m_pFileName && ParseFileName(desc.m_pFileName, desc.m_dwFileNameLength, name) == 0 &&
        name.m_dwUnits >= 4 && memcmp(name.m_pUnits, "$\0M\0F\0T\0", 8) == 0)
        return 0;
    if ((!desc.m_pAttrList && !desc.m_pAttrListHeader) || desc.m_pOwnerName)
        return ERROR_BAD_DEVICE;
    bNameElsewhere = true;
    return 0;
}

}  // namespace ntfs
