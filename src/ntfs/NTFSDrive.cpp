#include "ntfs/NTFSDrive.h"

#include "disk/Disk.h"
#include "ntfs/EntryData.h"
#include "ntfs/ExtentReader.h"
#include "ntfs/Layout.h"
#include "ntfs/AttributeList.h"
#include "ntfs/MFTRecord.h"
#include "ntfs/Names.h"
#include "ntfs/Structures.h"
#include "platform/Platform.h"

#include <cstring>
#include <memory>

using namespace ntfs;

namespace
{

// The in-memory table as the stream reader sees it.
class CTableSource final : public IRecordSource
{
public:
    explicit CTableSource(const CNTFSDrive& drive) : m_drive(drive) {}
    DWORD RecordSize() const override { return m_drive.m_dwRecordSize; }
    DWORD ReadRecord(ULONGLONG n64Index, BYTE* pDest) override { return m_drive.GetRecordImage(n64Index, pDest); }

private:
    const CNTFSDrive& m_drive;
};

}  // namespace

CNTFSDrive::CNTFSDrive()
    : m_hDevice(nullptr),
      m_dwFirstSector(0),
      m_qwFirstSector(0),
      m_bOpened(false),
      m_dwClusterSize(0),
      m_dwSectorSize(0),
      m_pTable(nullptr),
      m_dwTableLength(0),
      m_pRecord(nullptr),
      m_dwRecordSize(0)
{
}

CNTFSDrive::~CNTFSDrive()
{
    delete[] m_pTable;
    delete[] m_pRecord;
}

void CNTFSDrive::AttachDevice(HANDLE hDevice)
{
    m_hDevice = hDevice;
    m_bOpened = false;
}

void CNTFSDrive::SetVolumeStart(DWORD dwFirstSector, DWORD dwSectorSize)
{
    SetVolumeStartEx(dwFirstSector, dwSectorSize);
}

void CNTFSDrive::SetVolumeStartEx(ULONGLONG qwFirstSector, DWORD dwSectorSize)
{
    m_qwFirstSector = qwFirstSector;
    m_dwFirstSector = static_cast<DWORD>(qwFirstSector);
    m_dwSectorSize = dwSectorSize;
}

ULONGLONG CNTFSDrive::VolumeOffset() const
{
    // A start past the end of 64-bit offsets stays there, so every seek to it fails.
    if (m_dwSectorSize != 0 && m_qwFirstSector > ~0ull / m_dwSectorSize)
        return ~0ull;
    return m_qwFirstSector * m_dwSectorSize;
}

DWORD CNTFSDrive::GetRecordCount() const
{
    if (!m_bOpened || m_dwRecordSize == 0)
        return 0;
    return m_dwTableLength / m_dwRecordSize;
}

void CNTFSDrive::DetachDevice()
{
    m_hDevice = INVALID_HANDLE_VALUE;
}

void CNTFSDrive::ResumeDevice(HANDLE hDevice)
{
    m_hDevice = hDevice;
}

DWORD CNTFSDrive::OpenVolume()
{
    BYTE byBoot[kBootSectorSize];
    DWORD dwRead = 0;
    DWORD dwError = SeekDevice(m_hDevice, VolumeOffset());
    if (dwError != 0)
        return dwError;
    if (!ReadDevice(m_hDevice, byBoot, kBootSectorSize, &dwRead))
        return GetLastError();
    CBootSector boot;
    if ((dwError = ParseBootSector(byBoot, dwRead, boot)) != 0)
        return dwError;
    if (boot.m_dwRecordSize == 0)
        return ERROR_INVALID_PARAMETER;

    m_dwClusterSize = boot.m_dwClusterSize;
    delete[] m_pRecord;
    m_pRecord = AllocBytes(boot.m_dwRecordSize);
    if (!m_pRecord)
    {
        m_dwRecordSize = 0;
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    m_dwRecordSize = boot.m_dwRecordSize;

    m_bOpened = true;
    dwError = LoadMasterFileTable(boot.m_n64MftCluster);
    if (dwError != 0)
    {
        m_bOpened = false;
        return dwError;
    }
    return 0;
}

DWORD CNTFSDrive::LoadMasterFileTable(ULONGLONG n64MFTCluster)
{
    if (!m_bOpened)
        return ERROR_INVALID_ACCESS;

    const ULONGLONG n64Position = static_cast<ULONGLONG>(m_dwClusterSize) * n64MFTCluster + VolumeOffset();
    DWORD dwError = SeekDevice(m_hDevice, n64Position);
    if (dwError != 0)
        return dwError;
    DWORD dwRead = 0;
    if (!ReadDevice(m_hDevice, m_pRecord, m_dwRecordSize, &dwRead))
        return GetLastError();
    if (dwRead == m_dwRecordSize)
        ApplyUpdateSequence(m_pRecord, m_dwRecordSize);

    CMFTRecord record;
    record.AttachDevice(m_hDevice);
    record.SetStopFlag(m_pStop);
    dwError = record.Configure(VolumeOffset(), m_dwRecordSize, m_dwClusterSize);
    if (dwError != 0)
        return dwError;
    dwError = record.Parse(m_pRecord, dwRead, 0);
    if (dwError != 0)
        return dwError;
    if (memcmp(record.m_byFileName + kNameUnits, "$\0M\0F\0T\0", 8) != 0)
        return ERROR_BAD_DEVICE;

    // The gathered data becomes the table as it is: a table hundreds of MB
    // long is held once, not copied.
    const DWORD dwLength = record.m_dwDataLength;
    BYTE* pTable = record.DetachData();
    if (!pTable)
    {
        pTable = AllocBytes(0);
        if (!pTable)
            return ERROR_NOT_ENOUGH_MEMORY;
    }
    delete[] m_pTable;
    m_pTable = pTable;
    m_dwTableLength = dwLength;
    return 0;
}

DWORD CNTFSDrive::PrepareRecord(DWORD dwIndex, CMFTRecord& record, BYTE bInfoOnly)
{
    if (!m_bOpened)
        return ERROR_INVALID_ACCESS;
    if (m_dwRecordSize == 0 || dwIndex >= m_dwTableLength / m_dwRecordSize)
        return ERROR_NO_MORE_FILES;
    // The table stays as read; the update sequence is applied to the copy.
    memcpy(m_pRecord, m_pTable + static_cast<size_t>(dwIndex) * m_dwRecordSize, m_dwRecordSize);
    ApplyUpdateSequence(m_pRecord, m_dwRecordSize);

    record.AttachDevice(m_hDevice);
    DWORD dwError = record.Configure(VolumeOffset(), m_dwRecordSize, m_dwClusterSize);
    if (dwError != 0)
        return dwError;
    return record.Parse(m_pRecord, m_dwRecordSize, bInfoOnly);
}

namespace
{

void FillEntryInfo(const CMFTRecord& record, DWORD dwClusterSize, MFTEntryInfo& info)
{
    memset(&info, 0, sizeof(info));
    // Units 1..255 become the byte of the same value; the name ends before
    // the first unit above 255, and always leaves room for the terminator.
    const BYTE* pUnits = record.m_byFileName + kNameUnits;
    const DWORD dwMaxUnits = (CMFTRecord::kFileNameSize - kNameUnits) / 2;
    for (DWORD i = 0; i < dwMaxUnits && i < sizeof(info.szName) - 1; ++i)
    {
        const WORD wUnit = ReadLE16(pUnits + 2 * i);
        if (wUnit == 0 || wUnit > 255)
            break;
        info.szName[i] = static_cast<char>(wUnit);
    }
    info.n64CreationTime = static_cast<LONGLONG>(ReadLE64(record.m_byStandardInfo + 0x00));
    info.n64AlteredTime = static_cast<LONGLONG>(ReadLE64(record.m_byStandardInfo + 0x08));
    info.n64MFTChangedTime = static_cast<LONGLONG>(ReadLE64(record.m_byStandardInfo + 0x10));
    info.n64ReadTime = static_cast<LONGLONG>(ReadLE64(record.m_byStandardInfo + 0x18));
    info.dwFileFlags = ReadLE32(record.m_byFileName + kNameFlags);
    const LONGLONG n64Allocated = static_cast<LONGLONG>(ReadLE64(record.m_byFileName + kNameAllocatedSize));
    LONGLONG n64Clusters = n64Allocated / static_cast<LONGLONG>(static_cast<ULONGLONG>(dwClusterSize));
    info.n64Clusters = n64Clusters == 0 ? 1 : n64Clusters;
    info.bNotInUse = record.m_bRecordInUse == 0 ? 1 : 0;
}

}  // namespace

DWORD CNTFSDrive::GetEntryInfo(DWORD dwIndex, MFTEntryInfo& info)
{
    CMFTRecord record;
    DWORD dwError = PrepareRecord(dwIndex, record, 1);
    if (dwError != 0)
        return dwError;
    FillEntryInfo(record, m_dwClusterSize, info);
    return 0;
}

DWORD CNTFSDrive::GetEntryDetails(DWORD dwIndex, MFTEntryInfo& info, MFTEntryDetails& details,
                                  bool bMayReadDisk)
{
    CMFTRecord record;
    DWORD dwError = PrepareRecord(dwIndex, record, 1);
    if (dwError != 0)
        return dwError;
    // A record that moved all its names into extension records keeps their
    // places in its attribute list: the name is taken from there.
    CMFTRecord extension;
    std::unique_ptr<BYTE[]> pExtension;
    std::vector<BYTE> vecList;
    if (!record.m_pOwnerName && !record.m_pAttrList && record.m_pAttrListHeader && bMayReadDisk &&
        ReadAttributeListFromDisk(record, vecList) == 0)
    {
        record.m_pAttrList = vecList.data();
        record.m_dwAttrListLength = static_cast<DWORD>(vecList.size());
    }
    if (!record.m_pOwnerName && record.m_pAttrList)
        FindNameInExtension(dwIndex, record, extension, pExtension);
    FillEntryInfo(record, m_dwClusterSize, info);
    details.strName.clear();
    details.n64ParentRef = 0;
    details.bHasName = false;
    CFileName name;
    if (record.m_pOwnerName && ParseFileName(record.m_pOwnerName, record.m_dwOwnerNameLength, name) == 0)
    {
        AppendUtf16AsUtf8(details.strName, name.m_pUnits, name.m_dwUnits);
        details.n64ParentRef = name.m_n64ParentRef;
        details.bHasName = true;
    }
    details.wSequence = record.m_wSequence;
    details.bDirectory = record.m_bDirectory;
    details.n64BaseRef = record.m_n64BaseRef;
    return 0;
}

DWORD CNTFSDrive::ReadAttributeListFromDisk(const CMFTRecord& record, std::vector<BYTE>& vecList) const
{
    const DWORD dwLeft = m_dwRecordSize - static_cast<DWORD>(record.m_pAttrListHeader - m_pRecord);
    CAttribute attr;
    std::vector<CExtent> vecExtents;
    if (!ParseAttributeHeader(record.m_pAttrListHeader, dwLeft, attr) || !attr.m_bSound ||
        !attr.m_bNonResident || attr.m_n64RealSize > kMaxAttributeListSize)
        return ERROR_INVALID_PARAMETER;
    if (DWORD dwError = DecodeRunList(record.m_pAttrListHeader + attr.m_dwRunListOffset,
                                      dwLeft - attr.m_dwRunListOffset, 0, vecExtents))
        return dwError;
    vecList.resize(static_cast<size_t>(attr.m_n64RealSize));
    CExtentReader reader(m_hDevice, VolumeOffset(), m_dwClusterSize);
    return reader.Read(vecExtents, 0, vecList.data(), vecList.size());
}

void CNTFSDrive::FindNameInExtension(DWORD dwIndex, CMFTRecord& record, CMFTRecord& extension,
                                     std::unique_ptr<BYTE[]>& pImage)
{
    std::vector<CAttrListEntry> vecEntries;
    if (ParseAttributeList(record.m_pAttrList, record.m_dwAttrListLength, vecEntries) != 0)
        return;
    pImage.reset(AllocBytes(m_dwRecordSize));
    if (!pImage || extension.Configure(VolumeOffset(), m_dwRecordSize, m_dwClusterSize) != 0)
        return;
    for (const CAttrListEntry& entry : vecEntries)
    {
        const ULONGLONG n64Record = RefRecord(entry.m_n64Reference);
        if (entry.m_dwType != kTypeFileName || n64Record == dwIndex ||
            GetRecordImage(n64Record, pImage.get()) != 0 ||
            extension.Parse(pImage.get(), m_dwRecordSize, 1) != 0 || !extension.m_pOwnerName ||
            RefRecord(extension.m_n64BaseRef) != dwIndex ||
            RefSequence(extension.m_n64BaseRef) != record.m_wSequence)
            continue;
        // The description takes the name from there, as if the record held it.
        memcpy(record.m_byFileName, extension.m_byFileName, CMFTRecord::kFileNameSize);
        record.m_pOwnerName = extension.m_pOwnerName;
        record.m_dwOwnerNameLength = extension.m_dwOwnerNameLength;
        return;
    }
}

DWORD CNTFSDrive::GetRecordImage(ULONGLONG n64Index, BYTE* pDest) const
{
    if (!m_bOpened)
        return ERROR_INVALID_ACCESS;
    if (m_dwRecordSize == 0 || n64Index >= m_dwTableLength / m_dwRecordSize)
        return ERROR_NO_MORE_FILES;
    if (!pDest)
        return ERROR_INVALID_PARAMETER;
    memcpy(pDest, m_pTable + static_cast<size_t>(n64Index) * m_dwRecordSize, m_dwRecordSize);
    ApplyUpdateSequence(pDest, m_dwRecordSize);
    return 0;
}

DWORD CNTFSDrive::OpenEntryData(DWORD dwIndex, CEntryData& data)
{
    data.Close();
    if (!m_bOpened)
        return ERROR_INVALID_ACCESS;
    if (m_dwRecordSize == 0 || dwIndex >= m_dwTableLength / m_dwRecordSize)
        return ERROR_NO_MORE_FILES;
    CTableSource source(*this);
    return data.Open(source, CExtentReader(m_hDevice, VolumeOffset(), m_dwClusterSize), dwIndex);
}

DWORD CNTFSDrive::ReadEntryData(DWORD dwIndex, BYTE*& pData, DWORD& dwLength)
{
    CEntryData data;
    if (DWORD dwError = OpenEntryData(dwIndex, data))
        return dwError;
    if (data.Size() > 0xFFFFFFFFull)
        return ERROR_FILE_TOO_LARGE;
    std::unique_ptr<BYTE[]> pBuffer(AllocBytes(data.Size()));
    if (!pBuffer)
        return ERROR_NOT_ENOUGH_MEMORY;
    if (DWORD dwError = data.Read(0, pBuffer.get(), static_cast<size_t>(data.Size())))
        return dwError;
    dwLength = static_cast<DWORD>(data.Size());
    pData = pBuffer.release();
    return 0;
}
