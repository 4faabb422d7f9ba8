#include "ntfs/NTFSDrive.h"

#include "disk/Disk.h"
#include "ntfs/EntryData.h"
#include "ntfs/ExtentReader.h"
#include "ntfs/FieldOffsets.h"
#include "ntfs/RecordDescription.h"
#include "ntfs/StructureParsers.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cstring>
#include <memory>

using namespace ntfs;

namespace
{

// The in-memory table as the stream reader sees it.
class CTableSource final : public IRecordSource
{
public:
    explicit CTableSource(CNTFSDrive& drive) : m_drive(drive) {}
    DWORD RecordSize() const override { return m_drive.m_dwRecordSize; }
    DWORD ReadRecord(ULONGLONG n64Index, BYTE* pDest) override { return m_drive.GetRecordImage(n64Index, pDest); }

private:
    CNTFSDrive& m_drive;
};

// Record 0 as read, and the records its own $DATA reaches: where the
// extension records of a table that outgrew its first record are found.
class CRecordZeroSource final : public IRecordSource
{
public:
    CRecordZeroSource(const BYTE* pRecordZero, DWORD dwRecordSize, const CExtentReader& reader)
        : m_pRecordZero(pRecordZero), m_dwRecordSize(dwRecordSize), m_reader(reader)
    {
        CRecordHeader header;
        if (ParseRecordHeader(pRecordZero, dwRecordSize, header) != 0)
            return;
        CAttributeWalk walk(pRecordZero, dwRecordSize, header.m_dwFirstAttr);
        CAttribute attr;
        const BYTE* pAttr = nullptr;
        const BYTE* pList = nullptr;
        DWORD dwList = 0;
        while (walk.Next(attr, pAttr))
            if (attr.m_dwType == kTypeData && attr.m_byNameLength == 0 && attr.m_n64FirstVcn == 0 &&
                RunListBytes(pAttr, attr, pList, dwList))
            {
                DecodeRunList(pList, dwList, 0, m_vecExtents);
                return;
            }
    }
    DWORD RecordSize() const override { return m_dwRecordSize; }
    DWORD ReadRecord(ULONGLONG n64Index, BYTE* pDest) override
    {
        if (n64Index == 0)
        {
            memcpy(pDest, m_pRecordZero, m_dwRecordSize);
            return 0;
        }
        const ULONGLONG n64Bytes = m_reader.CoveredBytes(m_vecExtents);
        if (n64Index >= n64Bytes / m_dwRecordSize)
            return ERROR_NO_MORE_FILES;
        if (DWORD dwError = m_reader.Read(m_vecExtents, n64Index * m_dwRecordSize, pDest, m_dwRecordSize))
            return dwError;
        ApplyUpdateSequence(pDest, m_dwRecordSize);
        return 0;
    }

private:
    const BYTE* m_pRecordZero;
    DWORD m_dwRecordSize;
    CExtentReader m_reader;
    std::vector<CExtent> m_vecExtents;
};

}  // namespace

CNTFSDrive::CNTFSDrive() : m_bOpened(false), m_dwClusterSize(0), m_dwRecordSize(0) {}

CNTFSDrive::~CNTFSDrive()
{
    m_table.StopReadAhead();
}

void CNTFSDrive::AttachDevice(HANDLE hDevice)
{
    m_table.SetDevice(hDevice);
    m_volume.SetDevice(hDevice);
    m_bOpened = false;
    ForgetClusterBitmap();
}

void CNTFSDrive::SetVolumeStart(DWORD dwFirstSector, DWORD dwSectorSize)
{
    SetVolumeStartEx(dwFirstSector, dwSectorSize);
}

void CNTFSDrive::SetVolumeStartEx(ULONGLONG qwFirstSector, DWORD dwSectorSize)
{
    CVolumeGeometry geometry;
    // A start past the end of 64-bit offsets stays there, so every read of it fails.
    const bool bFits = dwSectorSize == 0 || qwFirstSector <= ~0ull / dwSectorSize;
    geometry.m_n64Offset = bFits ? qwFirstSector * dwSectorSize : ~0ull;
    geometry.m_dwSectorSize = dwSectorSize;
    SetGeometry(geometry);
}

void CNTFSDrive::SetGeometry(const CVolumeGeometry& geometry)
{
    CVolumeGeometry where;
    where.m_n64Offset = geometry.m_n64Offset;
    where.m_dwSectorSize = geometry.m_dwSectorSize;
    m_volume.Reset(m_volume.Device(), where);
}

DWORD CNTFSDrive::GetRecordCount() const
{
    if (!m_bOpened || m_dwRecordSize == 0)
        return 0;
    // Record numbers are 32-bit: a table of more is counted to the last one named.
    return static_cast<DWORD>(std::min<ULONGLONG>(m_table.RecordCount(), 0xFFFFFFFFull));
}

void CNTFSDrive::DetachDevice()
{
    // The read-ahead stops before the handle goes.
    m_table.SetDevice(INVALID_HANDLE_VALUE);
    m_volume.SetDevice(INVALID_HANDLE_VALUE);
}

void CNTFSDrive::StartReadAhead(DWORD dwFirstRecord, const std::atomic<BYTE>* pStop)
{
    if (m_bOpened)
        m_table.StartReadAhead(dwFirstRecord, pStop);
}

void CNTFSDrive::StopReadAhead()
{
    m_table.StopReadAhead();
}

ULONGLONG CNTFSDrive::TableBytes() const
{
    return m_bOpened ? m_table.TableBytes() : 0;
}

DWORD CNTFSDrive::OpenVolume()
{
    BYTE byBoot[kBootSectorSize];
    DWORD dwRead = 0;
    if (DWORD dwError = m_volume.ReadOnce(0, byBoot, kBootSectorSize, dwRead))
        return dwError;
    CBootSector boot;
    if (DWORD dwError = ParseBootSector(byBoot, dwRead, boot))
        return dwError;
    if (boot.m_dwRecordSize == 0)
        return ERROR_INVALID_PARAMETER;

    CVolumeGeometry geometry = m_volume.Geometry();
    ApplyBootSector(boot, geometry);
    m_volume.Reset(m_volume.Device(), geometry);
    m_dwClusterSize = boot.m_dwClusterSize;
    m_pRecord.reset(AllocBytes(boot.m_dwRecordSize));
    m_dwRecordSize = m_pRecord ? boot.m_dwRecordSize : 0;
    if (!m_pRecord)
        return ERROR_NOT_ENOUGH_MEMORY;

    m_bOpened = true;
    if (DWORD dwError = LoadMasterFileTable(boot.m_n64MftCluster))
    {
        m_bOpened = false;
        return dwError;
    }
    return 0;
}

DWORD CNTFSDrive::ReadTableRecord(ULONGLONG n64Cluster, DWORD& dwRead)
{
    const ULONGLONG n64Offset = m_dwClusterSize == 0 || n64Cluster <= ~0ull / m_dwClusterSize
                                    ? n64Cluster * m_dwClusterSize
                                    : ~0ull;
    if (DWORD dwError = m_volume.ReadOnce(n64Offset, m_pRecord.get(), m_dwRecordSize, dwRead))
        return dwError;
    if (dwRead == m_dwRecordSize)
        ApplyUpdateSequence(m_pRecord.get(), m_dwRecordSize);
    return 0;
}

DWORD CNTFSDrive::LoadMasterFileTable(ULONGLONG n64MFTCluster)
{
    if (!m_bOpened)
        return ERROR_INVALID_ACCESS;
    DWORD dwRead = 0;
    if (DWORD dwError = ReadTableRecord(n64MFTCluster, dwRead))
        return dwError;
    bool bNameElsewhere = false;
    if (DWORD dwError = CheckTableRecord(m_pRecord.get(), dwRead, m_dwRecordSize, m_dwClusterSize, bNameElsewhere))
        return dwError;
    // Where the table lies, not the table: it is read as it is used.
    if (DWORD dwError = LocateTable())
        return dwError;
    if (!bNameElsewhere)
        return 0;
    MFTEntryInfo info;
    MFTEntryDetails details;
    if (GetEntryDetailsReadingDisk(0, info, details) != 0 || memcmp(info.szName, "$MFT", 4) != 0)
        return ERROR_BAD_DEVICE;
    return 0;
}

DWORD CNTFSDrive::LocateTable()
{
    CRecordZeroSource source(m_pRecord.get(), m_dwRecordSize, Reader());
    CEntryData data;
    if (DWORD dwError = data.Open(source, Reader(), 0, CEntryData::EStreams::eUnnamed))
        return dwError;
    if (data.StreamCount() == 0)
    {
        m_table.Clear();  // a table without data: every record is past its end
    }
    else
    {
        const CEntryStream& stream = data.Stream(0);
        // A table stored compressed is no table this program can read.
        if (stream.m_dwUnitClusters != 0)
            return ERROR_INVALID_PARAMETER;
        // The table ends where its written part does: past the initialized
        // size no record was ever made.
        if (stream.m_bResident)
            m_table.ResetResident(m_dwRecordSize, stream.m_vecValue);
        else if (DWORD dwError = m_table.Reset(Reader(), m_dwRecordSize, stream.m_vecExtents,
                                               stream.m_n64Initialized))
            return dwError;
    }
    return 0;
}

DWORD CNTFSDrive::GetRecordImage(ULONGLONG n64Index, BYTE* pDest)
{
    if (!m_bOpened)
        return ERROR_INVALID_ACCESS;
    if (m_dwRecordSize == 0 || n64Index >= m_table.RecordCount())
        return ERROR_NO_MORE_FILES;
    if (!pDest)
        return ERROR_INVALID_PARAMETER;
    if (DWORD dwError = m_table.CopyRecord(n64Index, pDest))
        return dwError;
    ApplyUpdateSequence(pDest, m_dwRecordSize);
    return 0;
}

DWORD CNTFSDrive::OpenStreams(DWORD dwIndex, CEntryData& data, CEntryData::EStreams eStreams)
{
    data.Close();
    if (!m_bOpened)
        return ERROR_INVALID_ACCESS;
    if (m_dwRecordSize == 0 || dwIndex >= m_table.RecordCount())
        return ERROR_NO_MORE_FILES;
    CTableSource source(*this);
    return data.Open(source, Reader(), dwIndex, eStreams);
}

DWORD CNTFSDrive::OpenEntryData(DWORD dwIndex, CEntryData& data)
{
    return OpenStreams(dwIndex, data, CEntryData::EStreams::eAll);
}

DWORD CNTFSDrive::OpenFileStream(DWORD dwIndex, CEntryData& data)
{
    return OpenStreams(dwIndex, data, CEntryData::EStreams::eUnnamed);
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
