// What The Sleuth Kit says about an image file: through its library (the
// code behind istat and icat), record by record, and through its programs
// (fls, icat, istat, mmls), run as a user would run them. The one oracle of
// every test folder.
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
    // $STANDARD_INFORMATION's modification time: seconds since 1970, and the nanoseconds.
    int64_t n64Modified = 0;
    uint32_t nModifiedNano = 0;
    // The unnamed $DATA stream's size, wherever its extents lie.
    bool bHasFileData = false;
    uint64_t n64FileSize = 0;

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

    // What the program must show of the record, from fileName: the name as
    // its bytes, the whole name, the flags, and the clusters of the allocated size (at least one).
    std::string ShownName() const;
    std::string WholeName() const;  // UTF-8; a unit of a broken pair becomes U+FFFD
    uint32_t FileFlags() const;
    int64_t Clusters(uint32_t dwClusterSize) const;
};

// The UTF-16 units of the name in a $FILE_NAME value, as far as the value holds them.
std::vector<uint16_t> FileNameUnits(const std::vector<uint8_t>& fileName);

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
    // The bytes icat gives for the record: its default attribute, the
    // unnamed $DATA of a file. False when The Sleuth Kit cannot read them.
    bool FileData(uint64_t n64Record, std::vector<uint8_t>& bytes);

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

// ---- The programs ------------------------------------------------------------
// n64Start is the volume's first sector (512 bytes) in the image; each call
// is false when the program fails.

namespace salvix_test
{

// One $DATA attribute as istat lists it.
struct CDataStream
{
    std::string m_strId;    // "128-2"
    std::string m_strName;  // empty for the unnamed stream
    bool m_bResident = false;
};

// The $DATA attributes of a record in the order istat lists them (the
// record's own order), and the clusters of its first non-resident one.
struct CIstatInfo
{
    std::vector<CDataStream> m_vecStreams;
    std::vector<uint64_t> m_vecClusters;  // of the first non-resident $DATA; 0 for a hole
    unsigned m_nRuns = 0;                 // contiguous pieces among them
};

bool Istat(const std::string& strImage, uint64_t n64Start, uint64_t n64Record, CIstatInfo& info);
// strAddress: "67" for the record's default data, "67-128-4" for one
// attribute. vecData holds what icat wrote, even when it failed.
bool Icat(const std::string& strImage, uint64_t n64Start, const std::string& strAddress,
          std::vector<uint8_t>& vecData);
// What a reader of the record's data sees: every $DATA stream, in record order.
bool IcatAllStreams(const std::string& strImage, uint64_t n64Start, uint64_t n64Record,
                    std::vector<uint8_t>& vecData);
// What a saved file holds: the record's unnamed $DATA stream; nothing for a
// record without one (a folder).
bool IcatFileStream(const std::string& strImage, uint64_t n64Start, uint64_t n64Record,
                    std::vector<uint8_t>& vecData);

// One line of fls -r -p, like "r/r * 216-128-2(realloc):\tTrash/deleted.txt".
struct CFlsEntry
{
    std::string m_strType;  // "r/r", "d/d", "-/r", ...
    bool m_bDeleted = false;
    bool m_bReallocated = false;
    uint64_t m_n64Record = 0;
    std::string m_strAttribute;  // "128-2" and the like; empty for virtual entries
    std::string m_strPath;       // from the root, without a leading '/'

    std::string Name() const { return m_strPath.substr(m_strPath.rfind('/') + 1); }
    bool IsDirectory() const { return m_strType.size() == 3 && m_strType[2] == 'd'; }
};
bool Fls(const std::string& strImage, uint64_t n64Start, std::vector<CFlsEntry>& vecEntries);
// The lines of fls -r -p that name the files and folders of a FAT or exFAT
// volume: not its label, its metadata files ("$FAT1") or virtual entries.
bool FlsFatFiles(const std::string& strImage, uint64_t n64Start, std::vector<CFlsEntry>& vecEntries);

// One row of mmls, like "002:  000:001   0000052416   ...   DOS FAT16 (0x04)".
struct CMmlsRow
{
    bool m_bPartition = false;  // a slot number, not "Meta" or "-------"
    unsigned m_nTable = 0;      // "table:slot" of a DOS table; 0 on GPT
    unsigned m_nSlot = 0;
    uint64_t m_n64Start = 0;
    uint64_t m_n64Length = 0;
    std::string m_strDescription;
};
// vecOptions go before the image: {"-t", "gpt", "-b", "4096"}.
bool Mmls(const std::string& strImage, const std::vector<std::string>& vecOptions, std::vector<CMmlsRow>& vecRows);

// What fsstat says of a volume: its label (NTFS: "Volume Name:"; FAT and
// exFAT: the root folder's label; UTF-8, empty for none) and the last number
// of its metadata range (NTFS: "Range: 0 - 99" gives 99, the records of its
// table, the last number a folder The Sleuth Kit adds for orphan files).
struct CFsstatInfo
{
    std::string m_strVolumeName;
    uint64_t m_n64Records = 0;
};
bool Fsstat(const std::string& strImage, uint64_t n64Start, CFsstatInfo& info);

// istat's "File Modified:" time of the record's $STANDARD_INFORMATION in the
// zone strZone (istat -z, as TZ names zones: "CST-8"), to the second:
// "2024-05-01 20:00:00".
bool IstatModifiedText(const std::string& strImage, uint64_t n64Start, uint64_t n64Record,
                       const std::string& strZone, std::string& strTime);

// One row of ntfs-3g's `ntfsundelete -s -p 0` on a bare volume: a deleted
// record and the share of its data it finds still free.
struct CUndeleteRow
{
    uint64_t m_n64Record = 0;
    bool m_bFile = false;      // "F" rather than "D"
    bool m_bResident = false;  // "R": its data in the record
    int m_nPercent = 0;
    uint64_t m_n64Size = 0;
};
bool NtfsUndeleteScan(const std::string& strVolume, std::vector<CUndeleteRow>& vecRows);

}  // namespace salvix_test
