#include "RecordEditor.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

namespace
{
// Record header, beyond the fields named in the header file.
const size_t kRecUsaOffset = 0x04, kRecUsaCount = 0x06, kRecFirstAttribute = 0x14, kRecBytesInUse = 0x18,
             kRecBytesAllocated = 0x1C, kRecNumber = 0x2C, kRecUsa = 0x30;
const uint16_t kAttrCompressedOrSparse = 0x80FF;
const uint32_t kEndMarker = 0xFFFFFFFFu;
const uint32_t kTypeBitmap = 0xB0;
// Fixups protect each 512-byte stride of a record.
const size_t kStride = 512;
// The library hands out records from 64 on; below are its own reserves.
const uint64_t kFirstUserRecord = 64;
const int kMaxAttributes = 512;
const size_t kMaxRuns = 1 << 20;

size_t Align8(size_t n)
{
    return (n + 7) & ~static_cast<size_t>(7);
}

// Bytes needed for v as a signed little-endian number.
int SignedBytes(int64_t v)
{
    int n = 1;
    while (n < 8 && (v < -(int64_t(1) << (8 * n - 1)) || v >= (int64_t(1) << (8 * n - 1))))
        ++n;
    return n;
}
}  // namespace

uint64_t GetLE(const std::vector<uint8_t>& b, size_t off, int nBytes)
{
    uint64_t v = 0;
    for (int i = nBytes - 1; i >= 0; --i)
        v = (v << 8) | b[off + static_cast<size_t>(i)];
    return v;
}

void PutLE(std::vector<uint8_t>& b, size_t off, int nBytes, uint64_t v)
{
    for (int i = 0; i < nBytes; ++i, v >>= 8)
        b[off + static_cast<size_t>(i)] = static_cast<uint8_t>(v & 0xFF);
}

bool DecodeRuns(const std::vector<uint8_t>& bytes, size_t off, size_t end, std::vector<DataRun>& runs)
{
    runs.clear();
    int64_t n64Lcn = 0;
    if (end > bytes.size())
        return false;
    while (off < end && bytes[off] != 0 && runs.size() < kMaxRuns)
    {
        int nLen = bytes[off] & 0x0F, nOff = bytes[off] >> 4;
        if (nLen == 0 || nLen > 8 || nOff > 8 || static_cast<size_t>(nLen + nOff) >= end - off)
            return false;
        uint64_t n64Length = GetLE(bytes, off + 1, nLen);
        if (nOff == 0)
            runs.push_back({n64Length, -1});
        else
        {
            uint64_t v = GetLE(bytes, off + 1 + static_cast<size_t>(nLen), nOff);
            if (nOff < 8 && (v >> (8 * nOff - 1)) & 1)
                v |= ~uint64_t(0) << (8 * nOff);  // sign extension
            n64Lcn += static_cast<int64_t>(v);
            runs.push_back({n64Length, n64Lcn});
        }
        off += 1 + static_cast<size_t>(nLen + nOff);
    }
    return off < end && bytes[off] == 0;
}

std::vector<uint8_t> EncodeRuns(const std::vector<DataRun>& runs)
{
    std::vector<uint8_t> out;
    int64_t n64Prev = 0;
    for (const DataRun& run : runs)
    {
        // Lengths are stored as signed numbers too: never with the top bit set.
        int nLen = SignedBytes(static_cast<int64_t>(run.n64Length));
        int64_t n64Delta = run.n64Lcn - n64Prev;
        int nOff = run.n64Lcn < 0 ? 0 : SignedBytes(n64Delta);
        size_t pos = out.size();
        out.resize(pos + 1 + static_cast<size_t>(nLen + nOff));
        out[pos] = static_cast<uint8_t>((nOff << 4) | nLen);
        PutLE(out, pos + 1, nLen, run.n64Length);
        if (nOff)
        {
            PutLE(out, pos + 1 + static_cast<size_t>(nLen), nOff, static_cast<uint64_t>(n64Delta));
            n64Prev = run.n64Lcn;
        }
    }
    out.push_back(0);
    return out;
}

bool ParseAttributes(const std::vector<uint8_t>& record, std::vector<RecordAttribute>& attributes)
{
    attributes.clear();
    if (record.size() < kRecUsa)
        return false;
    size_t off = GetLE(record, kRecFirstAttribute, 2);
    size_t end = GetLE(record, kRecBytesInUse, 4);
    if (end > record.size())
        return false;
    for (int i = 0; i < kMaxAttributes; ++i)
    {
        if (off > end || end - off < 4)
            return false;
        uint32_t dwType = static_cast<uint32_t>(GetLE(record, off, 4));
        if (dwType == kEndMarker)
            return true;
        if (end - off < kResHeader)
            return false;
        size_t len = GetLE(record, off + kAttrLength, 4);
        if (len < kResHeader || len > end - off || len % 8 != 0)
            return false;
        RecordAttribute attr;
        attr.dwType = dwType;
        attr.offset = off;
        attr.bytes.assign(record.begin() + static_cast<long>(off), record.begin() + static_cast<long>(off + len));
        attr.bNonResident = record[off + kAttrNonResident] != 0;
        attr.wInstance = static_cast<uint16_t>(GetLE(record, off + kAttrInstance, 2));
        attr.n64LowestVcn = attr.bNonResident && len >= kNonResHeader ? GetLE(record, off + kNonResLowestVcn, 8) : 0;
        attributes.push_back(attr);
        off += len;
    }
    return false;
}

std::vector<uint8_t> BuildNonResident(const NonResidentFields& fields)
{
    size_t cbHeader = (fields.wFlags & kAttrCompressedOrSparse) ? kNonResHeaderCompressed : kNonResHeader;
    std::vector<uint8_t> runs = EncodeRuns(fields.runs);
    std::vector<uint8_t> a(Align8(cbHeader + runs.size()), 0);
    PutLE(a, 0, 4, fields.dwType);
    PutLE(a, kAttrLength, 4, a.size());
    a[kAttrNonResident] = 1;
    PutLE(a, kAttrNameOffset, 2, cbHeader);  // no name
    PutLE(a, kAttrFlags, 2, fields.wFlags);
    PutLE(a, kAttrInstance, 2, fields.wInstance);
    PutLE(a, kNonResLowestVcn, 8, fields.n64LowestVcn);
    PutLE(a, kNonResHighestVcn, 8, fields.n64HighestVcn);
    PutLE(a, kNonResRunsOffset, 2, cbHeader);
    a[kNonResCompressionUnit] = fields.byCompressionUnit;
    PutLE(a, kNonResAllocated, 8, fields.n64Allocated);
    PutLE(a, kNonResDataSize, 8, fields.n64DataSize);
    PutLE(a, kNonResInitialized, 8, fields.n64Initialized);
    if (cbHeader == kNonResHeaderCompressed)
        PutLE(a, kNonResCompressed, 8, fields.n64Compressed);
    std::copy(runs.begin(), runs.end(), a.begin() + static_cast<long>(cbHeader));
    return a;
}

std::vector<uint8_t> BuildResident(uint32_t dwType, uint16_t wInstance, const std::vector<uint8_t>& value)
{
    std::vector<uint8_t> a(Align8(kResHeader + value.size()), 0);
    PutLE(a, 0, 4, dwType);
    PutLE(a, kAttrLength, 4, a.size());
    PutLE(a, kAttrNameOffset, 2, kResHeader);  // no name
    PutLE(a, kAttrInstance, 2, wInstance);
    PutLE(a, kResValueLength, 4, value.size());
    PutLE(a, kResValueOffset, 2, kResHeader);
    std::copy(value.begin(), value.end(), a.begin() + kResHeader);
    return a;
}

bool PutAttributes(std::vector<uint8_t>& record, const std::vector<std::vector<uint8_t>>& attributes)
{
    size_t off = GetLE(record, kRecFirstAttribute, 2);
    if (off < kRecUsa || off > record.size())
        return false;
    std::vector<uint8_t> body;
    for (const std::vector<uint8_t>& attr : attributes)
        body.insert(body.end(), attr.begin(), attr.end());
    if (body.size() + 8 > record.size() - off)
        return false;
    std::fill(record.begin() + static_cast<long>(off), record.end(), 0);
    std::copy(body.begin(), body.end(), record.begin() + static_cast<long>(off));
    PutLE(record, off + body.size(), 4, kEndMarker);
    PutLE(record, kRecBytesInUse, 4, off + body.size() + 8);
    return true;
}

std::vector<uint8_t> NewRecord(uint32_t dwSize, uint64_t n64Number, uint16_t wSequence, uint64_t n64BaseRef)
{
    std::vector<uint8_t> r(dwSize, 0);
    const size_t nUsaCount = dwSize / kStride + 1;
    const size_t nFirst = Align8(kRecUsa + 2 * nUsaCount);
    memcpy(r.data(), "FILE", 4);
    PutLE(r, kRecUsaOffset, 2, kRecUsa);
    PutLE(r, kRecUsaCount, 2, nUsaCount);
    PutLE(r, kRecSequence, 2, wSequence);
    PutLE(r, kRecFirstAttribute, 2, nFirst);
    PutLE(r, kRecFlags, 2, kRecordInUse);
    PutLE(r, kRecBytesAllocated, 4, dwSize);
    PutLE(r, kRecBaseRef, 8, n64BaseRef);
    PutLE(r, kRecNumber, 4, n64Number);
    PutLE(r, kRecUsa, 2, 1);
    PutAttributes(r, {});
    return r;
}

CVolumeImage::~CVolumeImage()
{
    if (m_fd >= 0)
        close(m_fd);
}

bool CVolumeImage::ReadAt(uint64_t n64Offset, void* p, size_t cb)
{
    return pread(m_fd, p, cb, static_cast<off_t>(n64Offset)) == static_cast<ssize_t>(cb);
}

bool CVolumeImage::WriteAt(uint64_t n64Offset, const void* p, size_t cb)
{
    return pwrite(m_fd, p, cb, static_cast<off_t>(n64Offset)) == static_cast<ssize_t>(cb);
}

bool CVolumeImage::Open(const std::string& strImage)
{
    m_fd = open(strImage.c_str(), O_RDWR);
    std::vector<uint8_t> boot(512);
    if (m_fd < 0 || !ReadAt(0, boot.data(), boot.size()) || memcmp(&boot[3], "NTFS    ", 8) != 0)
        return false;
    uint32_t dwSector = static_cast<uint32_t>(GetLE(boot, 0x0B, 2));
    uint8_t bySectors = boot[0x0D];
    // Above 0x80 the count is a negative power of two.
    uint64_t n64PerCluster = bySectors <= 0x80 ? bySectors : uint64_t(1) << (256 - bySectors);
    int8_t chPerRecord = static_cast<int8_t>(boot[0x40]);
    if (dwSector < 512 || dwSector > 4096 || n64PerCluster == 0 || n64PerCluster > 4096)
        return false;
    m_dwClusterSize = static_cast<uint32_t>(dwSector * n64PerCluster);
    m_dwRecordSize = chPerRecord > 0 ? m_dwClusterSize * static_cast<uint32_t>(chPerRecord)
                                     : 1u << static_cast<unsigned>(-chPerRecord);
    m_n64ClusterCount = GetLE(boot, 0x28, 8) / n64PerCluster;
    if (m_dwRecordSize < kStride || m_dwRecordSize > 65536 || m_dwRecordSize % kStride != 0)
        return false;
    // Record 0 first, where the boot sector says; then the table through its runs.
    uint64_t n64MftLcn = GetLE(boot, 0x30, 8);
    m_vecMftRuns = {{(m_dwRecordSize + m_dwClusterSize - 1) / m_dwClusterSize, static_cast<int64_t>(n64MftLcn)}};
    m_n64RecordCount = 1;
    uint64_t n64MftSize = 0, n64Ignored = 0;
    std::vector<DataRun> mftRuns;
    if (!LoadRuns(0, kTypeData, mftRuns, n64MftSize))
        return false;
    m_vecMftRuns = mftRuns;
    m_n64RecordCount = n64MftSize / m_dwRecordSize;
    return LoadRuns(0, kTypeBitmap, m_vecMftBitmapRuns, n64Ignored) &&
           LoadRuns(6, kTypeData, m_vecBitmapRuns, n64Ignored);
}

bool CVolumeImage::LoadRuns(uint64_t n64Record, uint32_t dwType, std::vector<DataRun>& runs, uint64_t& n64Size)
{
    std::vector<uint8_t> record;
    std::vector<RecordAttribute> attributes;
    if (!ReadRecord(n64Record, record) || !ParseAttributes(record, attributes))
        return false;
    for (const RecordAttribute& attr : attributes)
    {
        if (attr.dwType != dwType || !attr.bNonResident || attr.n64LowestVcn != 0 ||
            attr.bytes[kAttrNameLength] != 0 || attr.bytes.size() < kNonResHeader)
            continue;
        n64Size = GetLE(attr.bytes, kNonResDataSize, 8);
        return DecodeRuns(attr.bytes, GetLE(attr.bytes, kNonResRunsOffset, 2), attr.bytes.size(), runs);
    }
    return false;
}

bool CVolumeImage::ByteOf(const std::vector<DataRun>& runs, uint64_t n64Offset, uint64_t& n64Disk) const
{
    uint64_t n64Vcn = n64Offset / m_dwClusterSize;
    for (const DataRun& run : runs)
    {
        if (n64Vcn < run.n64Length)
        {
            if (run.n64Lcn < 0)
                return false;
            n64Disk = (static_cast<uint64_t>(run.n64Lcn) + n64Vcn) * m_dwClusterSize + n64Offset % m_dwClusterSize;
            return true;
        }
        n64Vcn -= run.n64Length;
    }
    return false;
}

bool CVolumeImage::ReadRecord(uint64_t n64Record, std::vector<uint8_t>& record)
{
    if (n64Record >= m_n64RecordCount)
        return false;
    record.assign(m_dwRecordSize, 0);
    // Stride by stride: a record may straddle two runs of the table.
    for (size_t off = 0; off < m_dwRecordSize; off += kStride)
    {
        uint64_t n64Disk = 0;
        if (!ByteOf(m_vecMftRuns, n64Record * m_dwRecordSize + off, n64Disk) ||
            !ReadAt(n64Disk, &record[off], kStride))
            return false;
    }
    if (memcmp(record.data(), "FILE", 4) != 0)
        return true;  // never used: handed over as it is
    size_t nUsa = GetLE(record, kRecUsaOffset, 2), nCount = GetLE(record, kRecUsaCount, 2);
    if (nCount != m_dwRecordSize / kStride + 1 || nUsa < 8 || nUsa > m_dwRecordSize - 2 * nCount)
        return false;
    for (size_t i = 1; i < nCount; ++i)
    {
        size_t pos = i * kStride - 2;
        if (record[pos] != record[nUsa] || record[pos + 1] != record[nUsa + 1])
            return false;
        record[pos] = record[nUsa + 2 * i];
        record[pos + 1] = record[nUsa + 2 * i + 1];
    }
    return true;
}

bool CVolumeImage::WriteRecord(uint64_t n64Record, const std::vector<uint8_t>& record)
{
    if (n64Record >= m_n64RecordCount || record.size() != m_dwRecordSize)
        return false;
    std::vector<uint8_t> out = record;
    size_t nUsa = GetLE(out, kRecUsaOffset, 2), nCount = GetLE(out, kRecUsaCount, 2);
    if (nCount != m_dwRecordSize / kStride + 1 || nUsa < 8 || nUsa > m_dwRecordSize - 2 * nCount)
        return false;
    uint16_t wUsn = static_cast<uint16_t>(GetLE(out, nUsa, 2) + 1);
    if (wUsn == 0 || wUsn == 0xFFFF)
        wUsn = 1;
    PutLE(out, nUsa, 2, wUsn);
    for (size_t i = 1; i < nCount; ++i)
    {
        size_t pos = i * kStride - 2;
        out[nUsa + 2 * i] = out[pos];
        out[nUsa + 2 * i + 1] = out[pos + 1];
        PutLE(out, pos, 2, wUsn);
    }
    for (size_t off = 0; off < m_dwRecordSize; off += kStride)
    {
        uint64_t n64Disk = 0;
        if (!ByteOf(m_vecMftRuns, n64Record * m_dwRecordSize + off, n64Disk) ||
            !WriteAt(n64Disk, &out[off], kStride))
            return false;
    }
    return true;
}

bool CVolumeImage::GetBit(const std::vector<DataRun>& runs, uint64_t n64Bit, bool& bSet)
{
    uint64_t n64Disk = 0;
    uint8_t by = 0;
    if (!ByteOf(runs, n64Bit / 8, n64Disk) || !ReadAt(n64Disk, &by, 1))
        return false;
    bSet = (by >> (n64Bit % 8)) & 1;
    return true;
}

bool CVolumeImage::PutBit(const std::vector<DataRun>& runs, uint64_t n64Bit, bool bSet)
{
    uint64_t n64Disk = 0;
    uint8_t by = 0;
    if (!ByteOf(runs, n64Bit / 8, n64Disk) || !ReadAt(n64Disk, &by, 1))
        return false;
    uint8_t byMask = static_cast<uint8_t>(1u << (n64Bit % 8));
    by = static_cast<uint8_t>(bSet ? by | byMask : by & ~byMask);
    return WriteAt(n64Disk, &by, 1);
}

bool CVolumeImage::TakeFreeRecord(uint64_t& n64Record)
{
    for (uint64_t n = kFirstUserRecord; n < m_n64RecordCount; ++n)
    {
        bool bUsed = true;
        std::vector<uint8_t> record;
        if (m_setTaken.count(n) || !GetBit(m_vecMftBitmapRuns, n, bUsed) || bUsed || !ReadRecord(n, record))
            continue;
        if (memcmp(record.data(), "FILE", 4) == 0 && (GetLE(record, kRecFlags, 2) & kRecordInUse))
            continue;
        m_setTaken.insert(n);
        n64Record = n;
        return true;
    }
    return false;
}

bool CVolumeImage::SetRecordBit(uint64_t n64Record, bool bInUse)
{
    return n64Record < m_n64RecordCount && PutBit(m_vecMftBitmapRuns, n64Record, bInUse);
}

bool CVolumeImage::AllocateCluster(uint64_t& n64Lcn)
{
    // From the middle of the volume on, away from where the library writes.
    for (uint64_t i = 0; i < m_n64ClusterCount; ++i)
    {
        uint64_t n = (m_n64ClusterCount / 2 + i) % m_n64ClusterCount;
        bool bUsed = true;
        if (!GetBit(m_vecBitmapRuns, n, bUsed))
            return false;
        if (!bUsed)
        {
            n64Lcn = n;
            return PutBit(m_vecBitmapRuns, n, true);
        }
    }
    return false;
}

bool CVolumeImage::WriteCluster(uint64_t n64Lcn, const std::vector<uint8_t>& bytes)
{
    if (n64Lcn >= m_n64ClusterCount || bytes.size() > m_dwClusterSize)
        return false;
    std::vector<uint8_t> cluster(m_dwClusterSize, 0);
    std::copy(bytes.begin(), bytes.end(), cluster.begin());
    return WriteAt(n64Lcn * m_dwClusterSize, cluster.data(), cluster.size());
}
