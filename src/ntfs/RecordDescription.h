// What a record says of itself, found in one walk over its image without a
// copy: where its standard information, its names and its attribute list
// lie. Describing a record this way reads nothing and allocates nothing.
#pragma once

#include "ntfs/Structures.h"

namespace ntfs
{

struct CRecordDescription
{
    CRecordHeader m_header;
    // The last sound $STANDARD_INFORMATION value.
    const BYTE* m_pStandardInfo = nullptr;
    DWORD m_dwStandardInfoLength = 0;
    // The last sound $FILE_NAME value: the one the record's name is kept from.
    const BYTE* m_pFileName = nullptr;
    DWORD m_dwFileNameLength = 0;
    // The name its owner wrote: the last outside the DOS namespace, a DOS
    // name only when there is no other.
    const BYTE* m_pOwnerName = nullptr;
    DWORD m_dwOwnerNameLength = 0;
    // The $ATTRIBUTE_LIST: its header, and its value when resident.
    const BYTE* m_pAttrListHeader = nullptr;
    const BYTE* m_pAttrList = nullptr;
    DWORD m_dwAttrListLength = 0;
};

// 0, or ERROR_INVALID_PARAMETER for an image without the "FILE" signature.
// $STANDARD_INFORMATION and $FILE_NAME are always resident: one that is not,
// or whose value does not fit, is passed over.
DWORD DescribeRecord(const BYTE* pRecord, DWORD dwSize, CRecordDescription& desc);

}  // namespace ntfs
