// What The Sleuth Kit (through its library, the code behind istat and icat)
// says about the records of an NTFS volume inside an image file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TSK_IMG_INFO;
struct TSK_FS_INFO;
struct TSK_FS_FILE;
struct TSK_FS_ATTR;

struct SleuthRecord
{
    bool bOpened = false;          // The Sleuth Kit could read the record
    std::string strError;          // its complaint when it could not
    bool bAllocated = false;
    bool bDirectory = false;
    uint64_t n64BaseRecord = 0;    // non-zero for an extension record
    bool bAttributeList = false;

    // The last $FILE_NAME value stored in the record itself, and how many
    // such values the record holds.
    std::vector<uint8_t> fileName;
    int nFileNames = 0;

    // The record's data as the program reads it: its $DATA streams in record
    // order, or, with an attribute list, in the order the list names them,
    // each whole wherever its extents lie; compressed ones expanded.
    std::vector<uint8_t> data;
    // Why the bytes cannot be compared with a reader that hands over stored
    // clusters of this record alone; empty when they can.
    std::string strDataCaveat;

    // What the record exercises.
    int nDataAttributes = 0;
    int nNamedStreams = 0;
    int nNonResident = 0;
    int nMaxRuns = 0;
    bool bSparse = false;
    bool bCompressed = false;
};

class CSleuthVolume
{
public:
    CSleuthVolume() = default;
    ~CSleuthVolume();
    CSleuthVolume(const CSleuthVolume&) = delete;
    CSleuthVolume& operator=(const CSleuthVolume&) = delete;

    // Opens the NTFS volume that starts at sector n64Start of dwSectorSize bytes.
    bool Open(const std::string& strImage, uint64_t n64Start, std::string& strError,
              uint32_t dwSectorSize = 512);

    uint64_t RecordCount() const { return m_n64RecordCount; }
    uint32_t ClusterSize() const { return m_dwClusterSize; }
    uint32_t RecordSize() const { return m_dwRecordSize; }

    // The record's bytes as stored in $MFT (no update sequence applied).
    bool RawRecord(uint64_t n64Record, std::vector<uint8_t>& bytes);
    SleuthRecord Record(uint64_t n64Record);

private:
    static bool ReadAttribute(const TSK_FS_ATTR* pAttr, std::vector<uint8_t>& bytes);
    static std::u16string NameOf(const TSK_FS_ATTR* pAttr);
    static void AppendData(const TSK_FS_ATTR* pAttr, SleuthRecord& r);

    TSK_IMG_INFO* m_pImage = nullptr;
    TSK_FS_INFO* m_pFs = nullptr;
    TSK_FS_FILE* m_pMft = nullptr;
    const TSK_FS_ATTR* m_pMftData = nullptr;
    uint64_t m_n64RecordCount = 0;
    uint32_t m_dwClusterSize = 0;
    uint32_t m_dwRecordSize = 0;
};
