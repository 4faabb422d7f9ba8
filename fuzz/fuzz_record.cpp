// One master-file-table record image: classified as a walk over the table
// classifies it, and parsed in both modes by CMFTRecord.
//
// The input is the record followed by whatever its data runs may read: the
// whole input is also the disk, volume offset 0, so cluster 0 is where the
// record starts. The record header's bytes 0x08-0x0F (the log sequence
// number, which the parser never reads) choose the geometry:
//   bit 0: record size 4096 instead of 1024
//   bit 1: cluster size 4096 instead of 512
//   bit 2: apply the update sequence first, as the volume does for every copy
#include "FuzzDisk.h"

#include "ntfs/FieldOffsets.h"
#include "ntfs/MFTRecord.h"
#include "ntfs/RecordDescription.h"

#include <cstring>
#include <memory>

using fuzzdisk::CFuzzDisk;

namespace
{

void ParseOnce(HANDLE hDisk, const BYTE* pImage, DWORD dwLength, DWORD dwRecordSize,
               DWORD dwClusterSize, BYTE bInfoOnly, CMFTRecord& record)
{
    record.AttachDevice(hDisk);
    FUZZ_CHECK(record.Configure(0, dwRecordSize, dwClusterSize) == 0);
    const DWORD dwError = record.Parse(pImage, dwLength, bInfoOnly);
    if (bInfoOnly)
        FUZZ_CHECK(record.m_pData == nullptr && record.m_dwDataLength == 0);
    if (dwLength < dwRecordSize)
        FUZZ_CHECK(dwError == ERROR_INVALID_PARAMETER);
    // Whatever was gathered, also after a failure, must be as long as it says.
    if (record.m_pData)
        fuzzdisk::TouchAll(record.m_pData, record.m_dwDataLength);
    else
        FUZZ_CHECK(record.m_dwDataLength == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    static CFuzzDisk s_disk;
    if (nSize > 1u << 20)
        return 0;
    const BYTE byConfig = nSize > 8 ? pData[8] : 0;
    const DWORD dwRecordSize = (byConfig & 1) ? 4096 : 1024;
    const DWORD dwClusterSize = (byConfig & 2) ? 4096 : 512;

    s_disk.Load(pData, nSize);
    HANDLE hDisk = s_disk.Open();

    // The image is a heap copy of exactly the input's length, so a read past
    // its end is caught.
    std::unique_ptr<BYTE[]> pImage(new BYTE[nSize ? nSize : 1]);
    if (nSize)
        memcpy(pImage.get(), pData, nSize);
    bool bSequenceFits = false;
    if ((byConfig & 4) && nSize >= dwRecordSize)
        bSequenceFits = ntfs::ApplyUpdateSequence(pImage.get(), dwRecordSize);
    if (nSize >= dwRecordSize)
    {
        // The walk's decision: a file record is one the description walks
        // to its end, with a header; anything else names no file.
        ntfs::CRecordDescription desc;
        const ntfs::ERecordKind eKind = ntfs::ClassifyRecord(pImage.get(), dwRecordSize, bSequenceFits, desc);
        FUZZ_CHECK(eKind != ntfs::ERecordKind::eUnreadable);
        if (eKind == ntfs::ERecordKind::eFile)
            FUZZ_CHECK(bSequenceFits && !desc.m_bBroken && memcmp(pImage.get(), "FILE", 4) == 0);
        FUZZ_CHECK(eKind == ntfs::ClassifyRecord(pImage.get(), dwRecordSize, bSequenceFits));
    }

    const DWORD dwLength = static_cast<DWORD>(nSize);
    {
        CMFTRecord record;
        ParseOnce(hDisk, pImage.get(), dwLength, dwRecordSize, dwClusterSize, 1, record);
        // The same object again, gathering data: the earlier results give way.
        ParseOnce(hDisk, pImage.get(), dwLength, dwRecordSize, dwClusterSize, 0, record);
    }
    {
        CMFTRecord record;
        ParseOnce(hDisk, pImage.get(), dwLength, dwRecordSize, dwClusterSize, 0, record);
    }
    CloseHandle(hDisk);
    return 0;
}
