#include "ntfs/MFTRecord.h"

#include "disk/Disk.h"
#include "ntfs/Layout.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cstring>

using namespace ntfs;

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

}  // namespace ntfs

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

BYTE* CMFTRecord::DetachData()
{
    BYTE* pData = m_pData;
    m_pData = nullptr;
    m_dwDataLength = 0;
    return pData;
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
    if (dwValueLength > 0xFFFFFFFFu - m_dwDataLength)
    {
        delete[] pValue;
        return ERROR_FILE_TOO_LARGE;
    }
    BYTE* pJoined = AllocBytes(static_cast<ULONGLONG>(m_dwDataLength) + dwValueLength);
    if (!pJoined)
    {
        delete[] pValue;
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    memcpy(pJoined, m_pData, m_dwDataLength);
    memcpy(pJoined + m_dwDataLength, pValue, dwValueLength);
    delete[] pValue;
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
    const DWORD dwSize = m_dwRecordSize;
    if (dwSize < kRecordHeaderSize || memcmp(pImage + kRecordSignature, "FILE", 4) != 0)
        return ERROR_INVALID_PARAMETER;

    m_bRecordInUse = pImage[kRecordFlags] & 1;
    m_dwAttrOffset = ReadLE16(pImage + kRecordFirstAttr);

    // A damaged attribute ends the walk with what came before it: the record
    // still describes itself as far as it can.
    while (m_dwAttrOffset <= dwSize)
    {
        const DWORD dwLeft = dwSize - m_dwAttrOffset;
        const BYTE* pAttr = pImage + m_dwAttrOffset;
        if (dwLeft < 4)
            return 0;
        const DWORD dwType = ReadLE32(pAttr + kAttrType);
        if (dwType == kTypeIndexRoot || dwType == kTypeIndexAllocation || dwType == kTypeEnd)
            return 0;
        if (dwLeft < 8)
            return 0;
        const DWORD dwAttrLength = ReadLE32(pAttr + kAttrLength);
        if (dwAttrLength > dwLeft)
            return 0;

        const bool bTake = dwType == kTypeStandardInfo || dwType == kTypeFileName ||
                           (dwType == kTypeData && bInfoOnly == 0);
        if (bTake)
        {
            if (dwLeft <= kAttrNonResident)
                return 0;
            const bool bResident = pAttr[kAttrNonResident] == 0;
            if (dwLeft < (bResident ? kResidentHeaderSize : kNonResidentHeaderSize))
                return 0;
            if (bResident)
            {
                const DWORD dwValueOffset = ReadLE16(pAttr + kAttrValueOffset);
                const DWORD dwValueLength = ReadLE32(pAttr + kAttrValueLength);
                if (dwValueOffset > dwLeft || dwValueLength > dwLeft - dwValueOffset)
                    return 0;
            }

            BYTE* pValue = nullptr;
            DWORD dwValueLength = 0;
            DWORD dwError = ReadAttributeValue(pAttr, pValue, dwValueLength);
            if (dwError != 0)
            {
                delete[] pValue;
                return dwError;
            }
            if (dwType == kTypeStandardInfo)
            {
                const DWORD dwCopy = std::min<DWORD>(dwValueLength, kStandardInfoSize);
                memcpy(m_byStandardInfo, pValue, dwCopy);
                memset(m_byStandardInfo + dwCopy, 0, kStandardInfoSize - dwCopy);
                delete[] pValue;
            }
            else if (dwType == kTypeFileName)
            {
                // One value alone names the record: nothing of an earlier,
                // longer name may survive behind a shorter one.
                const DWORD dwCopy = std::min<DWORD>(dwValueLength, kFileNameSize);
                memcpy(m_byFileName, pValue, dwCopy);
                memset(m_byFileName + dwCopy, 0, kFileNameSize - dwCopy);
                delete[] pValue;
            }
            else
            {
                dwError = AppendData(pValue, dwValueLength);
                if (dwError != 0)
                    return dwError;
            }
        }

        m_dwAttrOffset += dwAttrLength;
        if (dwAttrLength == 0)
            return 0;
    }
    return 0;
}

DWORD CMFTRecord::ReadAttributeValue(const BYTE* pAttrHeader, BYTE*& pValue, DWORD& dwValueLength)
{
    // Only the attribute the walk stands on can be read: its bounds are the record's.
    if (!m_pRecordImage || m_dwAttrOffset > m_dwRecordSize ||
        pAttrHeader != m_pRecordImage + m_dwAttrOffset)
        return ERROR_INVALID_PARAMETER;
    const DWORD dwLeft = m_dwRecordSize - m_dwAttrOffset;
    if (dwLeft <= kAttrNonResident)
        return ERROR_INVALID_PARAMETER;

    if (pAttrHeader[kAttrNonResident] != 0)
        return ReadNonResident(pAttrHeader, pValue, dwValueLength);

    if (dwLeft < kResidentHeaderSize)
        return ERROR_INVALID_PARAMETER;
    const DWORD dwOffset = ReadLE16(pAttrHeader + kAttrValueOffset);
    const DWORD dwLength = ReadLE32(pAttrHeader + kAttrValueLength);
    if (dwOffset > dwLeft || dwLength > dwLeft - dwOffset)
        return ERROR_INVALID_PARAMETER;
    BYTE* pBuffer = AllocBytes(dwLength);
    if (!pBuffer)
        return ERROR_NOT_ENOUGH_MEMORY;
    memcpy(pBuffer, pAttrHeader + dwOffset, dwLength);
    pValue = pBuffer;
    dwValueLength = dwLength;
    return 0;
}

namespace
{

struct CDataRun
{
    ULONGLONG m_n64Length;  // clusters
    LONGLONG m_n64Offset;   // relative to the previous run's start
    bool m_bSparse;         // no offset field: no clusters on the disk
};

// Decodes one run at dwPos of a run list that may use dwLimit bytes. Returns
// 0 with bEnd at the terminating 0 byte, or 87 for a run that does not fit.
DWORD DecodeRun(const BYTE* pList, DWORD dwLimit, DWORD& dwPos, CDataRun& run, bool& bEnd)
{
    bEnd = false;
    if (dwPos >= dwLimit)
        return ERROR_INVALID_PARAMETER;
    const BYTE byHeader = pList[dwPos++];
    if (byHeader == 0)
    {
        bEnd = true;
        return 0;
    }
    const DWORD dwL = byHeader & 0x0F;
    const DWORD dwF = byHeader >> 4;
    if (dwL > 8 || dwF > 8 || dwL + dwF > dwLimit - dwPos)
        return ERROR_INVALID_PARAMETER;
    ULONGLONG n64Length = 0;
    for (DWORD i = 0; i < dwL; ++i)
        n64Length |= static_cast<ULONGLONG>(pList[dwPos + i]) << (8 * i);
    dwPos += dwL;
    ULONGLONG n64Offset = 0;
    for (DWORD i = 0; i < dwF; ++i)
        n64Offset |= static_cast<ULONGLONG>(pList[dwPos + i]) << (8 * i);
    if (dwF > 0 && dwF < 8 && (pList[dwPos + dwF - 1] & 0x80) != 0)
        n64Offset |= ~0ull << (8 * dwF);
    dwPos += dwF;
    run.m_n64Length = n64Length;
    run.m_n64Offset = static_cast<LONGLONG>(n64Offset);
    run.m_bSparse = dwF == 0;
    return 0;
}

}  // namespace

DWORD CMFTRecord::ReadNonResident(const BYTE* pAttrHeader, BYTE*& pValue, DWORD& dwValueLength)
{
    const DWORD dwLeft = m_dwRecordSize - m_dwAttrOffset;
    if (dwLeft < kNonResidentHeaderSize || m_dwClusterSize == 0)
        return ERROR_INVALID_PARAMETER;

    const ULONGLONG n64Allocated = ReadLE64(pAttrHeader + kAttrAllocatedSize);
    const ULONGLONG n64RealSize = ReadLE64(pAttrHeader + kAttrRealSize);
    ULONGLONG n64BufferSize = n64Allocated;
    if (n64BufferSize == 0)
    {
        // An extent without sizes spans its VCNs; an empty one is stored as 0..-1.
        const ULONGLONG n64Vcns = ReadLE64(pAttrHeader + kAttrLastVcn) -
                                  ReadLE64(pAttrHeader + kAttrFirstVcn) + 1;
        if (n64Vcns > 0xFFFFFFFFull / m_dwClusterSize)
            return ERROR_FILE_TOO_LARGE;
        n64BufferSize = n64Vcns * m_dwClusterSize;
    }
    // Lengths are 32-bit here: a larger value is refused, never cut short.
    if (n64BufferSize > 0xFFFFFFFFull || n64RealSize > 0xFFFFFFFFull)
        return ERROR_FILE_TOO_LARGE;
    if (n64RealSize > n64BufferSize)
        return ERROR_INVALID_PARAMETER;

    // First pass: the runs must lie in the record, fit the buffer and
    // describe the whole value; only then is memory reserved for it.
    const DWORD dwRunList = ReadLE16(pAttrHeader + kAttrRunListOffset);
    if (dwRunList >= dwLeft)
        return ERROR_INVALID_PARAMETER;
    ULONGLONG n64Covered = 0;
    {
        DWORD dwPos = dwRunList;
        LONGLONG n64Cluster = 0;
        for (;;)
        {
            CDataRun run;
            bool bEnd = false;
            DWORD dwError = DecodeRun(pAttrHeader, dwLeft, dwPos, run, bEnd);
            if (dwError != 0)
                return dwError;
            if (bEnd)
                break;
            if (run.m_n64Length > (n64BufferSize - n64Covered) / m_dwClusterSize)
                return ERROR_INVALID_PARAMETER;
            n64Covered += run.m_n64Length * m_dwClusterSize;
            // A run before the volume's first cluster would hand over whatever
            // lies in front of the partition as the file's data.
            if (!run.m_bSparse)
            {
                n64Cluster = static_cast<LONGLONG>(static_cast<ULONGLONG>(n64Cluster) +
                                                   static_cast<ULONGLONG>(run.m_n64Offset));
                if (n64Cluster < 0)
                    return ERROR_INVALID_PARAMETER;
            }
        }
    }
    // A value whose runs stop short of its size is not all in this record;
    // handing it over padded would pass off a damaged file as whole.
    if (n64Covered < n64RealSize)
        return ERROR_INVALID_PARAMETER;

    BYTE* pBuffer = AllocBytes(n64Covered);
    if (!pBuffer)
        return ERROR_NOT_ENOUGH_MEMORY;
    pValue = pBuffer;
    dwValueLength = static_cast<DWORD>(n64RealSize);

    DWORD dwPos = dwRunList;
    DWORD dwWritten = 0;
    LONGLONG n64Cluster = 0;
    for (;;)
    {
        CDataRun run;
        bool bEnd = false;
        DecodeRun(pAttrHeader, dwLeft, dwPos, run, bEnd);
        if (bEnd)
            break;
        DWORD dwCount = static_cast<DWORD>(run.m_n64Length * m_dwClusterSize);
        if (run.m_bSparse)
        {
            // A hole has no clusters: it reads as zeros.
            memset(pBuffer + dwWritten, 0, dwCount);
        }
        else
        {
            n64Cluster = static_cast<LONGLONG>(static_cast<ULONGLONG>(n64Cluster) +
                                               static_cast<ULONGLONG>(run.m_n64Offset));
            DWORD dwError = ReadClusters(n64Cluster, pBuffer + dwWritten, dwCount);
            if (dwError != 0)
                return dwError;
        }
        dwWritten += dwCount;
    }
    return 0;
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
    ULONGLONG n64Prepared = 0;
    while (n64Done < dwLength)
    {
        if (n64Done >= n64Prepared)
        {
            n64Prepared = std::min<ULONGLONG>(n64Cover, n64Done + 1024 * 1024);
            PrepareForWrite(pDest + n64Done, n64Prepared - n64Done);
        }
        const DWORD dwAsk = static_cast<DWORD>(std::min<ULONGLONG>(m_dwClusterSize, n64Cover - n64Done));
        DWORD dwGot = 0;
        if (!ReadFile(m_hDevice, pDest + n64Done, dwAsk, &dwGot, nullptr))
            return GetLastError();
        if (dwGot == 0)
            return ERROR_HANDLE_EOF;
        n64Done += dwGot;
    }
    dwLength = static_cast<DWORD>(std::min<ULONGLONG>(n64Done, 0xFFFFFFFFull));
    return 0;
}
