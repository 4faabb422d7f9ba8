// Edits the records of an NTFS volume image in place, by hand: for
// structures the library never writes itself (attribute lists made to
// order, sound or damaged). Nothing here goes through the library; the
// volume must not be open in it.
//
// A record is read with its update sequence undone and written back with a
// new one. Records are kept as plain byte vectors; CRecordBuilder lays out
// attributes into one.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

// Record header fields that callers edit.
const size_t kRecSequence = 0x10, kRecFlags = 0x16, kRecBaseRef = 0x20, kRecNextInstance = 0x28;
const uint16_t kRecordInUse = 0x0001;
// Attribute header: common part, then resident or non-resident fields.
const size_t kAttrLength = 0x04, kAttrNonResident = 0x08, kAttrNameLength = 0x09, kAttrNameOffset = 0x0A,
             kAttrFlags = 0x0C, kAttrInstance = 0x0E;
const size_t kResValueLength = 0x10, kResValueOffset = 0x14, kResHeader = 0x18;
const size_t kNonResLowestVcn = 0x10, kNonResHighestVcn = 0x18, kNonResRunsOffset = 0x20,
             kNonResCompressionUnit = 0x22, kNonResAllocated = 0x28, kNonResDataSize = 0x30,
             kNonResInitialized = 0x38, kNonResCompressed = 0x40, kNonResHeader = 0x40,
             kNonResHeaderCompressed = 0x48;
// Attribute types.
const uint32_t kTypeAttributeList = 0x20, kTypeData = 0x80;

// Little-endian access inside a byte vector; the caller checks bounds.
uint64_t GetLE(const std::vector<uint8_t>& b, size_t off, int nBytes);
void PutLE(std::vector<uint8_t>& b, size_t off, int nBytes, uint64_t v);

struct DataRun
{
    uint64_t n64Length;  // clusters
    int64_t n64Lcn;      // -1 for a hole
};

// Run list bytes <-> runs; the first offset of every run list is absolute.
bool DecodeRuns(const std::vector<uint8_t>& bytes, size_t off, size_t end, std::vector<DataRun>& runs);
std::vector<uint8_t> EncodeRuns(const std::vector<DataRun>& runs);

// One attribute of a record, as stored.
struct RecordAttribute
{
    uint32_t dwType;
    size_t offset;              // in the record
    std::vector<uint8_t> bytes;  // the whole attribute
    bool bNonResident;
    uint16_t wInstance;
    uint64_t n64LowestVcn;      // 0 for resident ones
};

bool ParseAttributes(const std::vector<uint8_t>& record, std::vector<RecordAttribute>& attributes);

// A non-resident attribute with the given extent of runs; sizes of zero
// are what NTFS stores in every extent but the first.
struct NonResidentFields
{
    uint32_t dwType = 0;
    uint16_t wFlags = 0;
    uint16_t wInstance = 0;
    uint8_t byCompressionUnit = 0;
    uint64_t n64LowestVcn = 0;
    uint64_t n64HighestVcn = 0;
    uint64_t n64Allocated = 0, n64DataSize = 0, n64Initialized = 0, n64Compressed = 0;
    std::vector<DataRun> runs;
};
std::vector<uint8_t> BuildNonResident(const NonResidentFields& fields);
std::vector<uint8_t> BuildResident(uint32_t dwType, uint16_t wInstance, const std::vector<uint8_t>& value);

// Replaces the record's attributes with the given ones (laid out in the
// order given), keeping its header; false when they do not fit.
bool PutAttributes(std::vector<uint8_t>& record, const std::vector<std::vector<uint8_t>>& attributes);
// A fresh record in use holding nothing yet: extension record of n64BaseRef
// when that is non-zero.
std::vector<uint8_t> NewRecord(uint32_t dwSize, uint64_t n64Number, uint16_t wSequence, uint64_t n64BaseRef);

class CVolumeImage
{
public:
    CVolumeImage() = default;
    ~CVolumeImage();
    CVolumeImage(const CVolumeImage&) = delete;
    CVolumeImage& operator=(const CVolumeImage&) = delete;

    bool Open(const std::string& strImage);
    uint32_t RecordSize() const { return m_dwRecordSize; }
    uint32_t ClusterSize() const { return m_dwClusterSize; }
    uint64_t RecordCount() const { return m_n64RecordCount; }

    bool ReadRecord(uint64_t n64Record, std::vector<uint8_t>& record);
    bool WriteRecord(uint64_t n64Record, const std::vector<uint8_t>& record);
    // A record that neither the table's bitmap nor its own header marks in
    // use and that no earlier call handed out.
    bool TakeFreeRecord(uint64_t& n64Record);
    bool SetRecordBit(uint64_t n64Record, bool bInUse);
    // A free cluster, marked used in the volume's bitmap.
    bool AllocateCluster(uint64_t& n64Lcn);
    bool WriteCluster(uint64_t n64Lcn, const std::vector<uint8_t>& bytes);

private:
    bool ReadAt(uint64_t n64Offset, void* p, size_t cb);
    bool WriteAt(uint64_t n64Offset, const void* p, size_t cb);
    bool LoadRuns(uint64_t n64Record, uint32_t dwType, std::vector<DataRun>& runs, uint64_t& n64Size);
    bool ByteOf(const std::vector<DataRun>& runs, uint64_t n64Offset, uint64_t& n64Disk) const;
    bool GetBit(const std::vector<DataRun>& runs, uint64_t n64Bit, bool& bSet);
    bool PutBit(const std::vector<DataRun>& runs, uint64_t n64Bit, bool bSet);

    int m_fd = -1;
    uint32_t m_dwClusterSize = 0;
    uint32_t m_dwRecordSize = 0;
    uint64_t m_n64RecordCount = 0;
    uint64_t m_n64ClusterCount = 0;
    std::vector<DataRun> m_vecMftRuns;
    std::vector<DataRun> m_vecMftBitmapRuns;
    std::vector<DataRun> m_vecBitmapRuns;
    std::set<uint64_t> m_setTaken;
};
