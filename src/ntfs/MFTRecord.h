// One master-file-table record: its signature, in-use bit, standard
// information, file name and, on request, the values of its $DATA attributes,
// gathered from the record or from the disk through their data runs.
#pragma once

#include "platform/Win32.h"

class CMFTRecord
{
public:
    CMFTRecord();
    virtual ~CMFTRecord();

    CMFTRecord(const CMFTRecord&) = delete;
    CMFTRecord& operator=(const CMFTRecord&) = delete;

    void AttachDevice(HANDLE hDevice);
    DWORD Configure(ULONGLONG n64VolumeOffset, DWORD dwRecordSize, DWORD dwClusterSize);
    DWORD Parse(const BYTE* pImage, DWORD dwLength, BYTE bInfoOnly);
    DWORD ReadAttributeValue(const BYTE* pAttrHeader, BYTE*& pValue, DWORD& dwValueLength);
    DWORD ReadClusters(LONGLONG n64Cluster, BYTE* pDest, DWORD& dwLength);

    // Hands the gathered data over to the caller (release with delete[]) and
    // leaves the object empty; spares a copy of a table hundreds of MB long.
    BYTE* DetachData();

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
    void ReleaseData();
    DWORD AppendData(BYTE* pValue, DWORD dwValueLength);
    DWORD ReadNonResident(const BYTE* pAttrHeader, BYTE*& pValue, DWORD& dwValueLength);
};
