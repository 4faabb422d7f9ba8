// One NTFS partition of the disk: its boot sector, its whole master file table
// in memory, and, by record number, a description of any record and its data.
#pragma once

#include "platform/Win32.h"

struct MFTEntryInfo
{
    char szName[260];
    LONGLONG n64CreationTime;
    LONGLONG n64AlteredTime;
    LONGLONG n64MFTChangedTime;
    LONGLONG n64ReadTime;
    DWORD dwFileFlags;
    LONGLONG n64Clusters;
    BYTE bNotInUse;
};

class CNTFSDrive
{
public:
    CNTFSDrive();
    virtual ~CNTFSDrive();

    CNTFSDrive(const CNTFSDrive&) = delete;
    CNTFSDrive& operator=(const CNTFSDrive&) = delete;

    void AttachDevice(HANDLE hDevice);
    void SetVolumeStart(DWORD dwFirstSector, DWORD dwSectorSize);
    // The same for a first sector of any size, as a GPT disk may need.
    void SetVolumeStartEx(ULONGLONG qwFirstSector, DWORD dwSectorSize);
    DWORD OpenVolume();
    DWORD LoadMasterFileTable(ULONGLONG n64MFTCluster);
    DWORD GetEntryInfo(DWORD dwIndex, MFTEntryInfo& info);
    // On success pData is a new array the caller releases with delete[].
    DWORD ReadEntryData(DWORD dwIndex, BYTE*& pData, DWORD& dwLength);

    // Number of whole records in the loaded table; 0 when none is open.
    DWORD GetRecordCount() const;

    HANDLE m_hDevice;
    DWORD m_dwFirstSector;    // low 32 bits of m_qwFirstSector
    ULONGLONG m_qwFirstSector;
    bool m_bOpened;
    DWORD m_dwClusterSize;
    DWORD m_dwSectorSize;
    BYTE* m_pTable;
    DWORD m_dwTableLength;
    BYTE* m_pRecord;
    DWORD m_dwRecordSize;

private:
    ULONGLONG VolumeOffset() const;
    DWORD PrepareRecord(DWORD dwIndex, class CMFTRecord& record, BYTE bInfoOnly);
};
