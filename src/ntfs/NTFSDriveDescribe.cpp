// Describing records: GetEntryInfo and GetEntryDetails, from the record
// image alone (and, when a name lies in an extension record, that record).
#include "ntfs/NTFSDrive.h"

#include "ntfs/AttributeList.h"
#include "ntfs/ExtentReader.h"
#include "ntfs/FieldOffsets.h"
#include "ntfs/MFTRecord.h"
#include "ntfs/Names.h"
#include "ntfs/RecordDescription.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cstring>

using namespace ntfs;

namespace
{

// The description the documented parse gives: the record's name kept from
// its last $FILE_NAME (at most CMFTRecord::kFileNameSize bytes of it, the
// rest zero) and the four times of its standard information.
void FillEntryInfo(const CRecordDescription& desc, DWORD dwClusterSize, MFTEntryInfo& info)
{
    memset(&info, 0, sizeof(info));
    CStandardInfo standard;
    if (desc.m_pStandardInfo)
        ParseStandardInfo(desc.m_pStandardInfo, desc.m_dwStandardInfoLength, standard);
    info.n64CreationTime = static_cast<LONGLONG>(standard.m_n64CreationTime);
    info.n64AlteredTime = static_cast<LONGLONG>(standard.m_n64AlteredTime);
    info.n64MFTChangedTime = static_cast<LONGLONG>(standard.m_n64RecordChangedTime);
    info.n64ReadTime = static_cast<LONGLONG>(standard.m_n64ReadTime);
    info.bNotInUse = desc.m_header.m_bInUse ? 0 : 1;

    CFileName name;
    if (!desc.m_pFileName || ParseFileName(desc.m_pFileName, desc.m_dwFileNameLength, name) != 0)
    {
        info.n64Clusters = 1;
        return;
    }
    // Units 1..255 become the byte of the same value; the name ends before
    // the first unit above 255 (or a zero unit), and always leaves room for
    // the terminator.
    for (DWORD i = 0; i < name.m_dwUnits && i < sizeof(info.szName) - 1; ++i)
    {
        const WORD wUnit = ReadLE16(name.m_pUnits + 2 * i);
        if (wUnit == 0 || wUnit > 255)
            break;
        info.szName[i] = static_cast<char>(wUnit);
    }
    info.dwFileFlags = name.m_dwFileFlags;
    const LONGLONG n64Clusters = static_cast<LONGLONG>(name.m_n64AllocatedSize) /
                                 static_cast<LONGLONG>(static_cast<ULONGLONG>(dwClusterSize));
    info.n64Clusters = n64Clusters == 0 ? 1 : n64Clusters;
}

}  // namespace

DWORD CNTFSDrive::DescribeImage(DWORD dwIndex, CRecordDescription& desc)
{
    if (!m_bOpened)
        return ERROR_INVALID_ACCESS;
    if (m_dwRecordSize == 0 || m_dwClusterSize == 0 || (m_dwClusterSize & 1) != 0)
        return m_dwRecordSize == 0 ? ERROR_NO_MORE_FILES : ERROR_INVALID_PARAMETER;
    // The table stays as read; the update sequence is applied to the copy.
    if (DWORD dwError = GetRecordImage(dwIndex, m_pRecord.get()))
        return dwError;
    return DescribeRecord(m_pRecord.get(), m_dwRecordSize, desc);
}

DWORD CNTFSDrive::GetEntryInfo(DWORD dwIndex, MFTEntryInfo& info)
{
    CRecordDescription desc;
    if (DWORD dwError = DescribeImage(dwIndex, desc))
        return dwError;
    FillEntryInfo(desc, m_dwClusterSize, info);
    return 0;
}

DWORD CNTFSDrive::GetEntryDetails(DWORD dwIndex, MFTEntryInfo& info, MFTEntryDetails& details)
{
    return DescribeEntry(dwIndex, info, details, false);
}

DWORD CNTFSDrive::GetEntryDetailsReadingDisk(DWORD dwIndex, MFTEntryInfo& info, MFTEntryDetails& details)
{
    return DescribeEntry(dwIndex, info, details, true);
}

DWORD CNTFSDrive::DescribeEntry(DWORD dwIndex, MFTEntryInfo& info, MFTEntryDetails& details, bool bMayReadDisk)
{
    CRecordDescription desc;
    if (DWORD dwError = DescribeImage(dwIndex, desc))
        return dwError;
    FillDetails(dwIndex, desc, info, details, bMayReadDisk);
    return 0;
}

ERecordKind CNTFSDrive::ExamineRecord(DWORD dwIndex, MFTEntryInfo& info, MFTEntryDetails& details)
{
    if (!m_bOpened || m_dwRecordSize == 0 || m_dwClusterSize == 0 || (m_dwClusterSize & 1) != 0 ||
        m_table.CopyRecord(dwIndex, m_pRecord.get()) != 0)
        return ERecordKind::eUnreadable;
    CRecordDescription desc;
    const bool bSequenceFits = ApplyUpdateSequence(m_pRecord.get(), m_dwRecordSize);
    const ERecordKind eKind = ClassifyRecord(m_pRecord.get(), m_dwRecordSize, bSequenceFits, desc);
    if (eKind == ERecordKind::eFile)
    {
        FillDetails(dwIndex, desc, info, details, false);
        FillFileState(dwIndex, desc, details);
    }
    return eKind;
}

void CNTFSDrive::FillDetails(DWORD dwIndex, CRecordDescription& desc, MFTEntryInfo& info,
                             MFTEntryDetails& details, bool bMayReadDisk)
{
    // A record that moved all its names into extension records keeps their
    // places in its attribute list: the name is taken from there.
    std::vector<BYTE> vecList;
    std::unique_ptr<BYTE[]> pExtension;
    if (!desc.m_pOwnerName && !desc.m_pAttrList && desc.m_pAttrListHeader && bMayReadDisk &&
        ReadAttributeListFromDisk(desc.m_pAttrListHeader, vecList) == 0)
    {
        desc.m_pAttrList = vecList.data();
        desc.m_dwAttrListLength = static_cast<DWORD>(vecList.size());
    }
    if (!desc.m_pOwnerName && desc.m_pAttrList)
        FindNameInExtension(dwIndex, desc, pExtension);
    FillEntryInfo(desc, m_dwClusterSize, info);
    details.strName.clear();
    details.n64ParentRef = 0;
    details.bHasName = false;
    CFileName name;
    if (desc.m_pOwnerName && ParseFileName(desc.m_pOwnerName, desc.m_dwOwnerNameLength, name) == 0)
    {
        AppendUtf16AsUtf8(details.strName, name.m_pUnits, name.m_dwUnits);
        details.n64ParentRef = name.m_n64ParentRef;
        details.bHasName = true;
    }
    details.wSequence = desc.m_header.m_wSequence;
    details.bDirectory = desc.m_header.m_bDirectory;
    details.n64BaseRef = desc.m_header.m_n64BaseRef;
}

DWORD CNTFSDrive::ReadAttributeListFromDisk(const BYTE* pHeader, std::vector<BYTE>& vecList) const
{
    const DWORD dwLeft = m_dwRecordSize - static_cast<DWORD>(pHeader - m_pRecord.get());
    CAttribute attr;
    if (!ParseAttributeHeader(pHeader, dwLeft, attr) || !attr.m_bNonResident)
        return ERROR_INVALID_PARAMETER;
    return ReadAttributeListValue(pHeader, attr, Reader(), vecList);
}

void CNTFSDrive::FindNameInExtension(DWORD dwIndex, CRecordDescription& desc, std::unique_ptr<BYTE[]>& pImage)
{
    std::vector<CAttrListEntry> vecEntries;
    if (ParseAttributeList(desc.m_pAttrList, desc.m_dwAttrListLength, vecEntries) != 0)
        return;
    pImage.reset(AllocBytes(m_dwRecordSize));
    if (!pImage)
        return;
    for (const CAttrListEntry& entry : vecEntries)
    {
        const ULONGLONG n64Record = RefRecord(entry.m_n64Reference);
        CRecordDescription extension;
        // The same rule as a save's: a deleted file's extension records were
        // freed with it, each sequence one step on.
        if (entry.m_dwType != kTypeFileName || n64Record == dwIndex ||
            GetRecordImage(n64Record, pImage.get()) != 0 ||
            DescribeRecord(pImage.get(), m_dwRecordSize, extension) != 0 || !extension.m_pOwnerName ||
            !ExtensionBelongs(dwIndex, desc.m_header, entry.m_n64Reference, extension.m_header))
            continue;
        // The description takes the names from there, as if the record held them.
        desc.m_pFileName = extension.m_pFileName;
        desc.m_dwFileNameLength = extension.m_dwFileNameLength;
        desc.m_pOwnerName = extension.m_pOwnerName;
        desc.m_dwOwnerNameLength = extension.m_dwOwnerNameLength;
        return;
    }
}
