// One master-file-table record: its signature, in-use bit, standard
// information, file name and, on request, the values of its $DATA attributes,
// gathered from the record or from the disk through their data runs. A thin
// layer over the parse functions of ntfs/StructureParsers.h and CExtentReader.
#pragma once

#include "platform/Win32.h"

#include <atomic>

namespace ntfs
{
struct CAttribute;
}

class CMFTRecord
{
public:
    CMFTRecord();
    virtual ~CMFTRecord();

    CMFTRecord(const CMFTRecord&) = delete;
    CMFTRecord& operator=(const CMFTRecord&) = delete;

    void AttachDevice(HANDLE hDevice);
    DWORD Configure(ULONGLONG n64VolumeOffset, DWORD dwRecordSize, DWORD dwClusterSize);
    // Walks the record's attributes. $STANDARD_INFORMATION and $FILE_NAME are
    // always resident: one that is not, or whose value does not fit, is skipped
    // and the walk goes on. With bInfoOnly 0 every $DATA value is appended to
    // m_pData; a $DATA whose content cannot be read is an error, never a gap.
    DWORD Parse(const BYTE* pImage, DWORD dwLength, BYTE bInfoOnly);
    // The value of the attribute whose header is at pAttrHeader, inside the
    // image being parsed, in a new array the caller releases with delete[].
    DWORD ReadAttributeValue(const BYTE* pAttrHeader, BYTE*& pValue, DWORD& dwValueLength);
    DWORD ReadClusters(LONGLONG n64Cluster, BYTE* pDest, DWORD& dwLength);

    // A long read of non-resident data stops with ERROR_OPERATION_ABORTED once
    // *pStop is set.
    void SetStopFlag(const std::atomic<BYTE>* pStop) { m_pStop = pStop; }

    static constexpr DWORD kStandardInfoSize = 40;
    static constexpr DWORD kFileNameSize = 1090;  // 66-byte fixed part + 512 UTF-16 units

    HANDLE m_hDevice;
    const BYTE* m_pRecordImage;
    DWORD m_dwRecordSize;
    DWORD m_dwAttrOffset;
    DWORD m_dwClusterSize;
    ULONGLONG m_n64VolumeOffset;
    BYTE m_byStandardInfo[kStandardInfoSize];
    BYTE m_byFileName[kFileNameSize];
    BYTE* m_pData;
    DWORD m_dwDataLength;
    BYTE m_bRecordInUse;

private:
    // Keeps what a $STANDARD_INFORMATION or $FILE_NAME attribute says.
    void TakeDescription(const BYTE* pAttr, const ntfs::CAttribute& attr);
    void ReleaseData();
    DWORD AppendData(BYTE* pValue, DWORD dwValueLength);
    // The value of a non-resident attribute whose sound header, attr, is at
    // pAttrHeader, inside the image.
    DWORD ReadNonResident(const BYTE* pAttrHeader, const ntfs::CAttribute& attr,
                          BYTE*& pValue, DWORD& dwValueLength);

    const std::atomic<BYTE>* m_pStop = nullptr;
};
