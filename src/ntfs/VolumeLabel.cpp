#include "ntfs/VolumeLabel.h"

#include "ntfs/FieldOffsets.h"
#include "ntfs/NTFSDrive.h"
#include "ntfs/Names.h"
#include "platform/Platform.h"

#include <cstring>
#include <memory>

using namespace ntfs;

namespace
{

const DWORD kVolumeRecord = 3;
const DWORD kTypeVolumeName = 0x60;
// The smallest attribute: its type, its length and the header fields after them.
const DWORD kMinAttrLength = 0x10;
// NTFS keeps a label of at most 128 UTF-16 units in this attribute.
const DWORD kMaxLabelBytes = 256;

DWORD ParseLabelAttribute(const BYTE* pAttr, DWORD dwLength, std::string& strLabel)
{
    if (dwLength < kResidentHeaderSize || pAttr[kAttrNonResident] != 0)
        return ERROR_FILE_CORRUPT;
    const DWORD dwValueLength = ReadLE32(pAttr + kAttrValueLength);
    const DWORD dwValueOffset = ReadLE16(pAttr + kAttrValueOffset);
    if (dwValueOffset > dwLength || dwValueLength > dwLength - dwValueOffset ||
        dwValueLength > kMaxLabelBytes || dwValueLength % 2 != 0)
        return ERROR_FILE_CORRUPT;
    strLabel = Utf16ToUtf8(pAttr + dwValueOffset, dwValueLength / 2);
    return 0;
}

}  // namespace

DWORD ParseVolumeName(const BYTE* pRecord, DWORD dwSize, std::string& strLabel)
{
    strLabel.clear();
    if (!pRecord || dwSize < kRecordHeaderSize || memcmp(pRecord + kRecordSignature, "FILE", 4) != 0)
        return ERROR_FILE_CORRUPT;
    DWORD dwOffset = ReadLE16(pRecord + kRecordFirstAttr);
    if (dwOffset < kRecordHeaderSize || dwOffset > dwSize)
        return ERROR_FILE_CORRUPT;
    // Every attribute takes at least kMinAttrLength bytes: this bounds the walk.
    for (DWORD dwLeft = dwSize / kMinAttrLength; dwLeft > 0; --dwLeft)
    {
        // The end marker needs only its four bytes.
        if (4 > dwSize - dwOffset)
            return ERROR_FILE_CORRUPT;
        const DWORD dwType = ReadLE32(pRecord + dwOffset + kAttrType);
        if (dwType == kTypeEnd)
            return 0;
        if (kMinAttrLength > dwSize - dwOffset)
            return ERROR_FILE_CORRUPT;
        const DWORD dwLength = ReadLE32(pRecord + dwOffset + kAttrLength);
        if (dwLength < kMinAttrLength || dwLength > dwSize - dwOffset)
            return ERROR_FILE_CORRUPT;
        if (dwType == kTypeVolumeName)
            return ParseLabelAttribute(pRecord + dwOffset, dwLength, strLabel);
        dwOffset += dwLength;
    }
    return ERROR_FILE_CORRUPT;
}

DWORD ReadVolumeLabel(CNTFSDrive& drive, std::string& strLabel)
{
    strLabel.clear();
    if (!drive.m_bOpened || drive.m_dwRecordSize == 0)
        return ERROR_INVALID_ACCESS;
    std::unique_ptr<BYTE[]> pRecord(AllocBytes(drive.m_dwRecordSize));
    if (!pRecord)
        return ERROR_NOT_ENOUGH_MEMORY;
    if (DWORD dwError = drive.GetRecordImage(kVolumeRecord, pRecord.get()))
        return dwError;
    return ParseVolumeName(pRecord.get(), drive.m_dwRecordSize, strLabel);
}
