// What a walk makes of each slot of the table (never used, damaged, a file),
// the cluster size a boot sector states, the run list kept inside its
// attribute, one rule for an extension record that still belongs to its
// file, and reads that would leave the volume.
#include "support/FaultFreeTest.h"
#include "support/NtfsImage.h"

#include "ntfs/ExtentReader.h"
#include "ntfs/FieldOffsets.h"
#include "ntfs/RecordDescription.h"
#include "ntfs/StructureParsers.h"

#include <gtest/gtest.h>

using namespace salvix_test;
using ntfs::ERecordKind;

namespace
{

const char* KindName(ERecordKind eKind)
{
    switch (eKind)
    {
    case ERecordKind::eFile: return "file";
    case ERecordKind::eNeverUsed: return "never used";
    case ERecordKind::eDamaged: return "damaged";
    default: return "unreadable";
    }
}

// A record as a disk stores it (update sequence written), then read back as
// the walk reads it: the update sequence applied, then classified.
ERecordKind Classify(std::vector<BYTE> vecStored)
{
    const bool bFits = ntfs::ApplyUpdateSequence(vecStored.data(), static_cast<DWORD>(vecStored.size()));
    return ntfs::ClassifyRecord(vecStored.data(), static_cast<DWORD>(vecStored.size()), bFits);
}

std::vector<BYTE> Stored(CRecordImage& image)
{
    return image.End().Protect().Bytes();
}

}  // namespace

TEST(RecordKindTest, EachSlotOfTheTableIsNeverUsedDamagedOrAFile)
{
    struct CCase
    {
        const char* m_pszWhat;
        std::vector<BYTE> m_vecStored;
        ERecordKind m_eWant;
    };
    std::vector<CCase> vecCases;
    vecCases.push_back({"all zeros, as Windows leaves records 16 to 23", std::vector<BYTE>(1024, 0),
                        ERecordKind::eNeverUsed});
    {
        CRecordImage image(1024, false);
        vecCases.push_back({"formatted, free, holding nothing (mkntfs' 24 to 63)", Stored(image),
                            ERecordKind::eNeverUsed});
    }
    {
        CRecordImage image(1024, false);
        image.AddResident(0x10, StandardInfoValue());
        vecCases.push_back({"free, only standard information", Stored(image), ERecordKind::eNeverUsed});
    }
    {
        CRecordImage image(1024, false);
        image.AddResident(0x30, FileNameValue(u"gone.txt"));
        vecCases.push_back({"free with a name: a deleted file", Stored(image), ERecordKind::eFile});
    }
    {
        CRecordImage image(1024, false);
        image.AddResident(0x80, {1, 2, 3});
        vecCases.push_back({"free with data only", Stored(image), ERecordKind::eFile});
    }
    {
        CRecordImage image(1024, false);
        image.AddResident(0x20, ListEntry(0x30, 0, 31, 1));
        vecCases.push_back({"free whose names lie in other records", Stored(image), ERecordKind::eFile});
    }
    {
        CRecordImage image(1024, true);
        vecCases.push_back({"in use, holding nothing", Stored(image), ERecordKind::eFile});
    }
    {
        CRecordImage image;
        image.AddResident(0x30, FileNameValue(u"torn.txt"));
        std::vector<BYTE> vec = Stored(image);
        vec[1022] ^= 0xFF;  // the second sector was not written with the first
        vecCases.push_back({"torn: an update sequence that does not match", vec, ERecordKind::eDamaged});
    }
    {
        CRecordImage image;
        image.AddResident(0x30, FileNameValue(u"baad.txt"));
        std::vector<BYTE> vec = Stored(image);
        memcpy(vec.data(), "BAAD", 4);
        vecCases.push_back({"BAAD, as NTFS marks a torn write", vec, ERecordKind::eDamaged});
    }
    {
        CRecordImage image;
        image.AddResident(0x30, FileNameValue(u"raw.txt"));
        std::vector<BYTE> vec = Stored(image);
        PutLE(vec, 0x06, 0, 2);
        vecCases.push_back({"no update sequence array", vec, ERecordKind::eDamaged});
    }
    {
        CRecordImage image;
        image.AddResident(0x30, FileNameValue(u"cut.txt"));
        const DWORD dwOffset = image.AddResident(0x80, {7});
        PutLE(image.Bytes(), dwOffset + 4, 5000, 4);
        vecCases.push_back({"an attribute that runs past the record", Stored(image), ERecordKind::eDamaged});
    }
    {
        CRecordImage image;
        image.AddRaw({0x80, 0, 0, 0, 0, 0, 0, 0}, 8);
        vecCases.push_back({"an attribute of length 0", Stored(image), ERecordKind::eDamaged});
    }
    {
        CRecordImage image;
        image.AddResident(0x30, FileNameValue(u"far.txt"));
        std::vector<BYTE> vec = Stored(image);
        PutLE(vec, 0x14, 0x500, 2);
        vecCases.push_back({"a first attribute past the record", vec, ERecordKind::eDamaged});
    }
    {
        std::vector<BYTE> vec(1024, 0);
        for (size_t i = 0; i < vec.size(); ++i)
            vec[i] = static_cast<BYTE>(i * 7 + 1);
        vecCases.push_back({"bytes without a signature", vec, ERecordKind::eDamaged});
    }
    {
        CRecordImage image;
        image.AddResident(0x10, StandardInfoValue());
        image.AddResident(0x30, FileNameValue(u"sound.txt"));
        image.AddResident(0x80, {1});
        vecCases.push_back({"a sound file record", Stored(image), ERecordKind::eFile});
    }
    for (const CCase& test : vecCases)
        EXPECT_STREQ(KindName(test.m_eWant), KindName(Classify(test.m_vecStored))) << test.m_pszWhat;
}

TEST(RecordKindTest, ClusterSizeFromTheSectorsPerClusterByte)
{
    struct CCase
    {
        WORD m_wBytesPerSector;
        BYTE m_bySectorsPerCluster;
        DWORD m_dwWant;  // 0: no usable cluster size
    };
    const CCase cases[] = {
        {512, 8, 4096},       {512, 0x80, 65536},   {4096, 16, 65536},
        {512, 0xF8, 131072},  // 2^8 sectors: what mkntfs -c 131072 writes
        {512, 0xF4, 2u << 20}, {4096, 0xF7, 2u << 20},
        {512, 0xF3, 0},        // 4 MiB: larger than NTFS formats
        {512, 0x81, 0},        // 2^127 sectors
    };
    for (const CCase& test : cases)
    {
        std::vector<BYTE> vecBoot(512, 0);
        memcpy(vecBoot.data() + 3, "NTFS    ", 8);
        PutLE(vecBoot, 0x0B, test.m_wBytesPerSector, 2);
        vecBoot[0x0D] = test.m_bySectorsPerCluster;
        PutLE(vecBoot, 0x28, 1000000, 8);
        ntfs::CBootSector boot;
        ASSERT_EQ(0u, ntfs::ParseBootSector(vecBoot.data(), vecBoot.size(), boot));
        SCOPED_TRACE(std::to_string(test.m_wBytesPerSector) + " x " + std::to_string(test.m_bySectorsPerCluster));
        EXPECT_EQ(test.m_dwWant, boot.m_dwClusterSize);
        EXPECT_EQ(test.m_dwWant ? 1000000ull * test.m_wBytesPerSector / test.m_dwWant : 0ull,
                  boot.m_n64VolumeClusters);
        // The volume's geometry takes the clusters and keeps where it lies.
        CVolumeGeometry geometry;
        geometry.m_n64Offset = 1u << 20;
        geometry.m_dwSectorSize = 4096;
        ntfs::ApplyBootSector(boot, geometry);
        EXPECT_EQ(boot.m_dwClusterSize, geometry.m_dwClusterSize);
        EXPECT_EQ(boot.m_n64VolumeClusters, geometry.m_n64Clusters);
        EXPECT_EQ(1u << 20, geometry.m_n64Offset);
        EXPECT_EQ(4096u, geometry.m_dwSectorSize);
    }
}

// A run list offset past the attribute's end, though inside the record: the
// list is not the attribute's, and nothing past the record is read.
TEST(RecordKindTest, RunListOffsetPastTheAttributeIsNotSound)
{
    CRecordImage image;
    const DWORD dwOffset = image.AddNonResident(0x80, Runs({{1, 2}}), 4096, 100);
    const DWORD dwLength = static_cast<DWORD>(GetLE(image.Bytes().data() + dwOffset + 4, 4));
    for (const DWORD dwListOffset : {dwLength - 1, dwLength, dwLength + 0x40})
    {
        PutLE(image.Bytes(), dwOffset + 0x20, dwListOffset, 2);
        ntfs::CAttribute attr;
        ASSERT_TRUE(ntfs::ParseAttributeHeader(image.Bytes().data() + dwOffset, 1024 - dwOffset, attr));
        const BYTE* pList = nullptr;
        DWORD dwList = 0;
        const bool bInside = dwListOffset < dwLength;
        EXPECT_EQ(bInside, ntfs::RunListBytes(image.Bytes().data() + dwOffset, attr, pList, dwList)) << dwListOffset;
        if (bInside)
        {
            EXPECT_EQ(dwLength - dwListOffset, dwList);
        }
    }
}

// Deleting a file moves its records' sequences on by one: its extension
// records still belong to it then; reused or lost ones never do.
TEST(RecordKindTest, AnExtensionRecordBelongsToItsFileOnlyByOneRule)
{
    struct CCase
    {
        const char* m_pszWhat;
        bool m_bBaseInUse;
        WORD m_wBaseSequence;
        bool m_bExtensionInUse;
        WORD m_wExtensionSequence;
        bool m_bWant;
    };
    // The list names extension record 31 with sequence 4; the extension names
    // base record 30 with sequence 7.
    const CCase cases[] = {
        {"in use, as written", true, 7, true, 4, true},
        {"deleted: both stepped on", false, 8, false, 5, true},
        {"deleted, the extension not stepped", false, 8, false, 4, true},
        {"in use with a stepped base", true, 8, true, 4, false},
        {"deleted, extension reused by another file", false, 8, true, 5, false},
        {"in use, extension freed: lost", true, 7, false, 4, false},
        {"deleted twice over", false, 9, false, 5, false},
    };
    for (const CCase& test : cases)
    {
        ntfs::CRecordHeader base, extension;
        base.m_bInUse = test.m_bBaseInUse;
        base.m_wSequence = test.m_wBaseSequence;
        extension.m_bInUse = test.m_bExtensionInUse;
        extension.m_wSequence = test.m_wExtensionSequence;
        extension.m_n64BaseRef = 30 | (7ull << 48);
        EXPECT_EQ(test.m_bWant, ntfs::ExtensionBelongs(30, base, 31 | (4ull << 48), extension)) << test.m_pszWhat;
    }
    EXPECT_EQ(1, ntfs::NextSequence(0xFFFF)) << "0 is skipped";
}

// The volume holds 100 clusters: an extent that reaches past them is read
// from nowhere, whatever lies on the disk there.
TEST(RecordKindTest, ReadsNeverLeaveTheVolume)
{
    CScratchFile file;
    file.Write(0, std::vector<BYTE>(200 * 512, 0x5A));
    CHandle device(OpenImage(file.Path()));
    CVolumeGeometry geometry;
    geometry.m_dwClusterSize = 512;
    geometry.m_n64Clusters = 100;
    CExtentReader reader(CVolumeReader(device, geometry));
    std::vector<BYTE> vec(2 * 512);
    struct CCase
    {
        ULONGLONG m_n64Lcn;
        ULONGLONG m_n64Clusters;
        DWORD m_dwWant;
    };
    for (const CCase& test : {CCase{98, 2, 0u}, CCase{99, 2, ERROR_DISK_CORRUPT}, CCase{100, 1, ERROR_DISK_CORRUPT},
                              CCase{~0ull - 1, 2, ERROR_DISK_CORRUPT}})
    {
        ntfs::CExtent extent;
        extent.m_n64Clusters = test.m_n64Clusters;
        extent.m_n64Lcn = test.m_n64Lcn;
        const std::vector<ntfs::CExtent> vecExtents{extent};
        EXPECT_EQ(test.m_dwWant == 0, reader.InsideVolume(vecExtents)) << test.m_n64Lcn;
        EXPECT_EQ(test.m_dwWant, reader.Read(vecExtents, 0, vec.data(), test.m_n64Clusters * 512)) << test.m_n64Lcn;
    }
}
