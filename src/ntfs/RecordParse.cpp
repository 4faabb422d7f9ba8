// The record header with its update sequence, attribute headers, resident
// values and the $STANDARD_INFORMATION and $FILE_NAME values.
#include "ntfs/FieldOffsets.h"
#include "ntfs/StructureParsers.h"

#include <algorithm>
#include <cstring>

namespace ntfs
{

bool ApplyUpdateSequence(BYTE* pRecord, DWORD dwRecordSize)
{
    if (!pRecord || dwRecordSize < kUsaStride || dwRecordSize % kUsaStride != 0)
        return false;
    const DWORD dwOffset = ReadLE16(pRecord + kRecordUsaOffset);
    const DWORD dwCount = ReadLE16(pRecord + kRecordUsaCount);
    const DWORD dwStretches = dwRecordSize / kUsaStride;
    if (dwCount != dwStretches + 1 || (dwOffset & 1) != 0 || dwOffset < kUsaMinOffset ||
        dwOffset > dwRecordSize || dwCount * 2 > dwRecordSize - dwOffset)
        return false;
    const BYTE* pArray = pRecord + dwOffset;
    for (DWORD i = 0; i < dwStretches; ++i)
    {
        const BYTE* pTail = pRecord + (i + 1) * kUsaStride - 2;
        if (pTail[0] != pArray[0] || pTail[1] != pArray[1])
            return false;
    }
    // Copy the saved words out first: the array may itself lie over a stretch end.
    BYTE bySaved[2 * 128];
    memcpy(bySaved, pArray + 2, dwStretches * 2);
    for (DWORD i = 0; i < dwStretches; ++i)
        memcpy(pRecord + (i + 1) * kUsaStride - 2, bySaved + 2 * i, 2);
    return true;
}

DWORD ParseRecordHeader(const BYTE* pRecord, size_t nSize, CRecordHeader& header)
{
    if (!pRecord || nSize < kRecordHeaderSize || memcmp(pRecord + kRecordSignature, "FILE", 4) != 0)
        return ERROR_INVALID_PARAMETER;
    header.m_bInUse = (pRecord[kRecordFlags] & 1) != 0;
    header.m_bDirectory = (pRecord[kRecordFlags] & 2) != 0;
    header.m_wSequence = ReadLE16(pRecord + kRecordSequence);
    header.m_dwFirstAttr = ReadLE16(pRecord + kRecordFirstAttr);
    header.m_n64BaseRef = nSize >= kRecordFullHeaderSize ? ReadLE64(pRecord + kRecordBaseRef) : 0;
    return 0;
}

bool ParseAttributeHeader(const BYTE* pAttr, DWORD dwLeft, CAttribute& attr)
{
    attr = CAttribute();
    if (dwLeft < 8)
        return false;
    attr.m_dwType = ReadLE32(pAttr + kAttrType);
    attr.m_dwLength = ReadLE32(pAttr + kAttrLength);
    if (attr.m_dwLength > dwLeft)
        return false;
    if (dwLeft <= kAttrNonResident)
        return true;  // the walk can go on, but nothing of it can be used
    attr.m_bNonResident = pAttr[kAttrNonResident] != 0;
    if (!attr.m_bNonResident)
    {
        if (dwLeft < kResidentHeaderSize)
            return true;
        attr.m_dwValueLength = ReadLE32(pAttr + kAttrValueLength);
        attr.m_dwValueOffset = ReadLE16(pAttr + kAttrValueOffset);
        // The value must lie in the record; a value past it is not the record's.
        attr.m_bSound = attr.m_dwValueOffset <= dwLeft &&
                        attr.m_dwValueLength <= dwLeft - attr.m_dwValueOffset;
    }
    else
    {
        if (dwLeft < kNonResidentHeaderSize)
            return true;
        attr.m_n64FirstVcn = ReadLE64(pAttr + kAttrFirstVcn);
        attr.m_n64LastVcn = ReadLE64(pAttr + kAttrLastVcn);
        attr.m_dwRunListOffset = ReadLE16(pAttr + kAttrRunListOffset);
        attr.m_wCompressionUnit = ReadLE16(pAttr + kAttrCompressionUnit);
        attr.m_n64AllocatedSize = ReadLE64(pAttr + kAttrAllocatedSize);
        attr.m_n64RealSize = ReadLE64(pAttr + kAttrRealSize);
        attr.m_n64InitializedSize = dwLeft >= kNonResidentFullHeaderSize
                                        ? ReadLE64(pAttr + kAttrInitializedSize)
                                        : attr.m_n64RealSize;
        // The run list lies inside the attribute, as a resident value must.
        attr.m_bSound = attr.m_dwRunListOffset < attr.m_dwLength;
    }
    attr.m_byNameLength = pAttr[kAttrNameLength];
    attr.m_wNameOffset = ReadLE16(pAttr + kAttrNameOffset);
    attr.m_wFlags = ReadLE16(pAttr + kAttrFlags);
    attr.m_wId = ReadLE16(pAttr + kAttrId);
    return true;
}

bool CAttributeWalk::Next(CAttribute& attr, const BYTE*& pAttr)
{
    if (m_bEnded || !m_pRecord)
        return false;
    m_bEnded = true;  // until an attribute is handed out below
    // An offset equal to the record size still enters, and ends at once.
    if (m_dwOffset > m_dwSize || m_dwSize - m_dwOffset < 4)
    {
        m_bBroken = true;
        return false;
    }
    const DWORD dwLeft = m_dwSize - m_dwOffset;
    const BYTE* p = m_pRecord + m_dwOffset;
    const DWORD dwType = ReadLE32(p + kAttrType);
    if (dwType == kTypeIndexRoot || dwType == kTypeIndexAllocation || dwType == kTypeEnd)
        return false;
    if (!ParseAttributeHeader(p, dwLeft, attr))
    {
        m_dwDamagedType = dwType;
        m_bBroken = true;
        return false;
    }
    attr.m_dwOffset = m_dwOffset;
    pAttr = p;
    m_dwOffset += attr.m_dwLength;
    // An attribute of length 0 is handled, and nothing can follow it.
    m_bEnded = attr.m_dwLength == 0;
    m_bBroken = m_bEnded;
    return true;
}

bool ResidentValue(const BYTE* pAttr, const CAttribute& attr, const BYTE*& pValue, DWORD& dwLength)
{
    if (attr.m_bNonResident || !attr.m_bSound)
        return false;
    pValue = pAttr + attr.m_dwValueOffset;
    dwLength = attr.m_dwValueLength;
    return true;
}

bool RunListBytes(const BYTE* pAttr, const CAttribute& attr, const BYTE*& pList, DWORD& dwSize)
{
    if (!attr.m_bNonResident || !attr.m_bSound)
        return false;
    pList = pAttr + attr.m_dwRunListOffset;
    dwSize = attr.m_dwLength - attr.m_dwRunListOffset;
    return true;
}

bool AttributeName(const BYTE* pAttr, const CAttribute& attr, const BYTE*& pUnits, DWORD& dwUnits)
{
    pUnits = nullptr;
    dwUnits = 0;
    if (attr.m_byNameLength == 0 || attr.m_wNameOffset > attr.m_dwLength ||
        attr.m_byNameLength * 2u > attr.m_dwLength - attr.m_wNameOffset)
        return false;
    pUnits = pAttr + attr.m_wNameOffset;
    dwUnits = attr.m_byNameLength;
    return true;
}

void ParseStandardInfo(const BYTE* pValue, DWORD dwLength, CStandardInfo& info)
{
    BYTE by[kStdFileFlags + 4] = {};
    memcpy(by, pValue, std::min<DWORD>(dwLength, sizeof(by)));
    info.m_n64CreationTime = ReadLE64(by + kStdCreationTime);
    info.m_n64AlteredTime = ReadLE64(by + kStdAlteredTime);
    info.m_n64RecordChangedTime = ReadLE64(by + kStdRecordChangedTime);
    info.m_n64ReadTime = ReadLE64(by + kStdReadTime);
    info.m_dwFileFlags = ReadLE32(by + kStdFileFlags);
}

WORD NextSequence(WORD wSequence)
{
    return wSequence == 0 ? 0 : (wSequence == 0xFFFF ? 1 : static_cast<WORD>(wSequence + 1));
}

bool SequenceFits(WORD wNamed, WORD wFound, bool bFreed)
{
    return wFound == wNamed || (bFreed && wFound == NextSequence(wNamed));
}

bool ExtensionBelongs(ULONGLONG n64Base, const CRecordHeader& base, ULONGLONG n64Reference,
                      const CRecordHeader& extension)
{
    const bool bFreed = !base.m_bInUse;
    return extension.m_bInUse != bFreed && RefRecord(extension.m_n64BaseRef) == n64Base &&
           SequenceFits(RefSequence(extension.m_n64BaseRef), base.m_wSequence, bFreed) &&
           SequenceFits(RefSequence(n64Reference), extension.m_wSequence, bFreed);
}

DWORD ParseFileName(const BYTE* pValue, DWORD dwLength, CFileName& name)
{
    if (!pValue || dwLength < kNameUnits)
        return ERROR_INVALID_PARAMETER;
    name.m_n64ParentRef = ReadLE64(pValue + kNameParentRef);
    name.m_n64AllocatedSize = ReadLE64(pValue + kNameAllocatedSize);
    name.m_n64RealSize = ReadLE64(pValue + kNameRealSize);
    name.m_dwFileFlags = ReadLE32(pValue + kNameFlags);
    name.m_byNameSpace = pValue[kNameSpace];
    name.m_pUnits = pValue + kNameUnits;
    name.m_dwUnits = std::min<DWORD>(pValue[kNameLength], (dwLength - kNameUnits) / 2);
    return 0;
}

}  // namespace ntfs
