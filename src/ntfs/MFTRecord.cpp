#include "ntfs/MFTRecord.h"

#include "disk/DeviceIo.h"
#include "ntfs/ExtentReader.h"
#include "ntfs/FieldOffsets.h"
#include "ntfs/StructureParsers.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

using namespace ntfs;

CMFTRecord::CMFTRecord()
    : m_hDevice(nullptr),
      m_pRecordImage(nullptr),
      m_dwRecordSize(1023),
      m_dwAttrOffset(0),
      m_dwClusterSize(0),
      m_n64VolumeOffset(0),
      m_byStandardInfo(),
      m_byFileName(),
      m_pData(nullptr),
      m_dwDataLength(0),
      m_bRecordInUse(0)
{
}

CMFTRecord::~CMFTRecord()
{
    ReleaseData();
}

void CMFTRecord::ReleaseData()
{
    delete[] m_pData;
    m_pData = nullptr;
    m_dwDataLength = 0;
}

void CMFTRecord::AttachDevice(HANDLE hDevice)
{
    m_hDevice = hDevice;
}

DWORD CMFTRecord::Configure(ULONGLONG n64VolumeOffset, DWORD dwRecordSize, DWORD dwClusterSize)
{
    if (dwRecordSize == 0 || (dwRecordSize & 1) != 0)
        return ERROR_INVALID_PARAMETER;
    if (dwClusterSize == 0 || (dwClusterSize & 1) != 0)
        return ERROR_INVALID_PARAMETER;
    m_n64VolumeOffset = n64VolumeOffset;
    m_dwRecordSize = dwRecordSize;
    m_dwClusterSize = dwClusterSize;
    return 0;
}

// Takes ownership of pValue. The first value is kept as it is; each later
// one makes a buffer of both.
DWORD CMFTRecord::AppendData(BYTE* pValue, DWORD dwValueLength)
{
    if (!m_pData)
    {
        m_pData = pValue;
        m_dwDataLength = dwValueLength;
        return 0;
    }
    std::unique_ptr<BYTE[]> pOwned(pValue);
    if (dwValueLength > 0xFFFFFFFFu - m_dwDataLength)
        return ERROR_FILE_TOO_LARGE;
    BYTE* pJoined = AllocBytes(static_cast<ULONGLONG>(m_dwDataLength) + dwValueLength);
    if (!pJoined)
        return ERROR_NOT_ENOUGH_MEMORY;
    memcpy(pJoined, m_pData, m_dwDataLength);
    memcpy(pJoined + m_dwDataLength, pValue, dwValueLength);
    delete[] m_pData;
    m_pData = pJoined;
    m_dwDataLength += dwValueLength;
    return 0;
}

DWORD CMFTRecord::Parse(const BYTE* pImage, DWORD dwLength, BYTE bInfoOnly)
{
    if (m_dwRecordSize > dwLength)
        return ERROR_INVALID_PARAMETER;
    if (!pImage)
        return ERROR_INVALID_PARAMETER;

    m_pRecordImage = pImage;
    m_dwAttrOffset = 0;
    ReleaseData();

    // The record size bounds every read below; it is never more than the image.
    CRecordHeader header;
    if (DWORD dwError = ParseRecordHeader(pImage, m_dwRecordSize, header))
        return dwError;
    m_bRecordInUse = header.m_bInUse ? 1 : 0;
    m_dwAttrOffset = header.m_dwFirstAttr;

    CAttributeWalk walk(pImage, m_dwRecordSize, header.m_dwFirstAttr);
    CAttribute attr;
    const BYTE* pAttr = nullptr;
    while (walk.Next(attr, pAttr))
    {
        m_dwAttrOffset = attr.m_dwOffset;
        if (attr.m_dwType == kTypeStandardInfo || attr.m_dwType == kTypeFileName)
        {
            TakeDescription(pAttr, attr);
        }
        else if (attr.m_dwType == kTypeData && bInfoOnly == 0)
        {
            BYTE* pData = nullptr;
            DWORD dwDataLength = 0;
            DWORD dwError = ReadAttributeValue(pAttr, pData, dwDataLength);
            if (dwError != 0)
            {
                delete[] pData;
                return dwError;
            }
            if ((dwError = AppendData(pData, dwDataLength)) != 0)
                return dwError;
        }
    }
    m_dwAttrOffset = walk.Offset();
    // A $DATA header cut off by damage hides the data: never a file with a hole.
    if (bInfoOnly == 0 && walk.DamagedType() == kTypeData)
        return ERROR_INVALID_PARAMETER;
    return 0;
}

void CMFTRecord::TakeDescription(const BYTE* pAttr, const CAttribute& attr)
{
    // Always resident: one that is not, or whose value does not fit, is damaged and passed over.
    const BYTE* pValue = nullptr;
    DWORD dwValueLength = 0;
    if (!ResidentValue(pAttr, attr, pValue, dwValueLength))
        return;
    if (attr.m_dwType == kTypeStandardInfo)
    {
        const DWORD dwCopy = std::min<DWORD>(dwValueLength, kStandardInfoSize);
        memcpy(m_byStandardInfo, pValue, dwCopy);
        memset(m_byStandardInfo + dwCopy, 0, kStandardInfoSize - dwCopy);
        return;
    }
    // One value alone names the record: nothing of an earlier, longer name
    // may survive behind a shorter one.
    const DWORD dwCopy = std::min<DWORD>(dwValueLength, kFileNameSize);
    memcpy(m_byFileName, pValue, dwCopy);
    memset(m_byFileName + dwCopy, 0, kFileNameSize - dwCopy);
}

DWORD CMFTRecord::ReadAttributeValue(const BYTE* pAttrHeader, BYTE*& pValue, DWORD& dwValueLength)
{
    // Only an attribute inside the image being parsed can be read: its bounds are the record's.
    if (!m_pRecordImage || !pAttrHeader || pAttrHeader < m_pRecordImage ||
        static_cast<size_t>(pAttrHeader - m_pRecordImage) >= m_dwRecordSize)
        return ERROR_INVALID_PARAMETER;
    const DWORD dwLeft = m_dwRecordSize - static_cast<DWORD>(pAttrHeader - m_pRecordImage);
    CAttribute attr;
    if (!ParseAttributeHeader(pAttrHeader, dwLeft, attr) || !attr.m_bSound)
        return ERROR_INVALID_PARAMETER;
    if (attr.m_bNonResident)
        return ReadNonResident(pAttrHeader, attr, pValue, dwValueLength);

    BYTE* pBuffer = AllocBytes(attr.m_dwValueLength);
    if (!pBuffer)
        return ERROR_NOT_ENOUGH_MEMORY;
    memcpy(pBuffer, pAttrHeader + attr.m_dwValueOffset, attr.m_dwValueLength);
    pValue = pBuffer;
    dwValueLength = attr.m_dwValueLength;
    return 0;
}

DWORD CMFTRecord::ReadNonResident(const BYTE* pAttrHeader, const CAttribute& attr,
                                  BYTE*& pValue, DWORD& dwValueLength)
{
    if (m_dwClusterSize == 0)
        return ERROR_INVALID_PARAMETER;

    ULONGLONG n64BufferSize = attr.m_n64AllocatedSize;
    if (n64BufferSize == 0)
    {
        // An extent without sizes spans its VCNs; an empty one is stored as 0..-1.
        const ULONGLONG n64Vcns = attr.m_n64LastVcn - attr.m_n64FirstVcn + 1;
        if (n64Vcns > 0xFFFFFFFFull / m_dwClusterSize)
            return ERROR_FILE_TOO_LARGE;
        n64BufferSize = n64Vcns * m_dwClusterSize;
    }
    // Lengths are 32-bit here: a larger value is refused, never cut short.
    if (n64BufferSize > 0xFFFFFFFFull || attr.m_n64RealSize > 0xFFFFFFFFull)
        return ERROR_FILE_TOO_LARGE;
    if (attr.m_n64RealSize > n64BufferSize)
        return ERROR_INVALID_PARAMETER;

    // The runs are decoded and checked once, before memory is reserved: they
    // must fit the buffer and describe the whole value.
    std::vector<CExtent> vecExtents;
    const BYTE* pList = nullptr;
    DWORD dwList = 0;
    if (!RunListBytes(pAttrHeader, attr, pList, dwList))
        return ERROR_INVALID_PARAMETER;
    if (DWORD dwError = DecodeRunList(pList, dwList, 0, vecExtents))
        return dwError;
    ULONGLONG n64Covered = 0;
    for (const CExtent& extent : vecExtents)
    {
        if (extent.m_n64Clusters > (n64BufferSize - n64Covered) / m_dwClusterSize)
            return ERROR_INVALID_PARAMETER;
        n64Covered += extent.m_n64Clusters * m_dwClusterSize;
    }
    // A value whose runs stop short of its size is not all in this record;
    // handing it over padded would pass off a damaged file as whole.
    if (n64Covered < attr.m_n64RealSize)
        return ERROR_INVALID_PARAMETER;

    BYTE* pBuffer = AllocBytes(n64Covered);
    if (!pBuffer)
        return ERROR_NOT_ENOUGH_MEMORY;
    pValue = pBuffer;
    dwValueLength = static_cast<DWORD>(attr.m_n64RealSize);

    CVolumeGeometry geometry;
    geometry.m_n64Offset = m_n64VolumeOffset;
    geometry.m_dwClusterSize = m_dwClusterSize;
    CExtentReader reader(CVolumeReader(m_hDevice, geometry));
    reader.SetStopFlag(m_pStop);
    return reader.Read(vecExtents, 0, pBuffer, static_cast<size_t>(n64Covered));
}

DWORD CMFTRecord::ReadClusters(LONGLONG n64Cluster, BYTE* pDest, DWORD& dwLength)
{
    const ULONGLONG n64Position =
        static_cast<ULONGLONG>(n64Cluster) * m_dwClusterSize + m_n64VolumeOffset;
    DWORD dwError = SeekDevice(m_hDevice, n64Position);
    if (dwError != 0)
        return dwError;
    if (dwLength == 0)
        return 0;
    if (m_dwClusterSize == 0 || !pDest)
        return ERROR_INVALID_PARAMETER;

    // Never read past the clusters that cover the request: that is all the
    // destination is known to hold.
    const ULONGLONG n64Cover =
        (static_cast<ULONGLONG>(dwLength) + m_dwClusterSize - 1) / m_dwClusterSize * m_dwClusterSize;
    ULONGLONG n64Done = 0;
    while (n64Done < dwLength)
    {
        const DWORD dwAsk = static_cast<DWORD>(std::min<ULONGLONG>(m_dwClusterSize, n64Cover - n64Done));
        DWORD dwGot = 0;
        if (!ReadDevice(m_hDevice, pDest + n64Done, dwAsk, &dwGot))
            return GetLastError();
        if (dwGot == 0)
            return ERROR_HANDLE_EOF;
        n64Done += dwGot;
    }
    dwLength = static_cast<DWORD>(std::min<ULONGLONG>(n64Done, 0xFFFFFFFFull));
    return 0;
}
