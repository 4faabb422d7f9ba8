// A volume's label: $VOLUME_NAME parsed from hand-made records, each damage
// refused, and read from volumes mkntfs labelled, against fsstat; a
// partition's tip gives its size and that label.
#include "support/DiskGuard.h"
#include "support/Files.h"
#include "support/NtfsImage.h"
#include "support/SleuthKit.h"

#include "Images.h"
#include "ntfs/VolumeLabel.h"
#include "session/PartitionTip.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace salvix_test;

namespace
{

const DWORD kVolumeName = 0x60;
const DWORD kVolumeInformation = 0x70;

struct CLabelCase
{
    const char* m_pszWhat;
    std::function<void(CRecordImage&)> m_fnBuild;
    DWORD m_dwCode;
    std::string m_strLabel;
};

}  // namespace

TEST(VolumeLabelTest, TheLabelIsParsedAsStoredAndDamageIsRefused)
{
    auto label = [](const std::u16string& str) {
        return [str](CRecordImage& image) {
            image.AddResident(0x10, StandardInfoValue());
            image.AddResident(kVolumeName, Utf16(str));
            image.AddResident(kVolumeInformation, std::vector<BYTE>(12, 0));
        };
    };
    // A label attribute whose header field at nField is given dwValue.
    auto damaged = [](DWORD dwField, DWORD dwValue, int nBytes) {
        return [=](CRecordImage& image) {
            const DWORD dwOffset = image.AddResident(kVolumeName, Utf16(u"Data"));
            PutLE(image.Bytes(), dwOffset + dwField, dwValue, nBytes);
        };
    };
    const CLabelCase kCases[] = {
        {"a plain label", label(u"System"), 0, "System"},
        {"Chinese and a surrogate pair", label(u"照片\U0001F4F7"), 0, "照片\xF0\x9F\x93\xB7"},
        {"an empty label", label(u""), 0, ""},
        {"128 units, the most NTFS keeps", label(std::u16string(128, u'x')), 0, std::string(128, 'x')},
        {"no label attribute",
         [](CRecordImage& image) { image.AddResident(kVolumeInformation, std::vector<BYTE>(12, 0)); }, 0, ""},
        {"129 units", label(std::u16string(129, u'x')), ERROR_FILE_CORRUPT, ""},
        {"an odd value length", damaged(0x10, 7, 4), ERROR_FILE_CORRUPT, ""},
        {"a value past its attribute", damaged(0x10, 400, 4), ERROR_FILE_CORRUPT, ""},
        {"a value offset past its attribute", damaged(0x14, 0xFFF0, 2), ERROR_FILE_CORRUPT, ""},
        {"marked non-resident", damaged(0x08, 1, 1), ERROR_FILE_CORRUPT, ""},
        {"an attribute of length 0 before it",
         [](CRecordImage& image) { image.AddRaw({0x10, 0, 0, 0, 0, 0, 0, 0}, 16); }, ERROR_FILE_CORRUPT, ""},
        {"an attribute running past the record",
         [](CRecordImage& image) { PutLE(image.Bytes(), image.AddResident(0x10, StandardInfoValue()) + 4, 0x10000, 4); },
         ERROR_FILE_CORRUPT, ""},
        {"the first attribute past the record",
         [](CRecordImage& image) { PutLE(image.Bytes(), 0x14, 0x2000, 2); }, ERROR_FILE_CORRUPT, ""},
        {"no \"FILE\"", [](CRecordImage& image) { image.Bytes()[0] = 'B'; }, ERROR_FILE_CORRUPT, ""},
    };
    for (const CLabelCase& c : kCases)
    {
        SCOPED_TRACE(c.m_pszWhat);
        CRecordImage image(1024);
        c.m_fnBuild(image);
        image.End();
        std::string strLabel = "left over";
        EXPECT_EQ(c.m_dwCode, ParseVolumeName(image.Bytes().data(), 1024, strLabel));
        EXPECT_EQ(c.m_strLabel, strLabel);
    }

    // Attributes that fill the record with no end marker: the walk stops at its end.
    CRecordImage full(1024);
    while (full.NextOffset() + 0x20 <= 1024)
        full.AddResident(0x10, std::vector<BYTE>(8, 0));
    std::string strLabel;
    EXPECT_EQ(ERROR_FILE_CORRUPT, ParseVolumeName(full.Bytes().data(), 1024, strLabel));
    EXPECT_EQ(ERROR_FILE_CORRUPT, ParseVolumeName(full.Bytes().data(), 0x10, strLabel));
    EXPECT_EQ(ERROR_FILE_CORRUPT, ParseVolumeName(nullptr, 1024, strLabel));
    CNTFSDrive closed;
    EXPECT_EQ(ERROR_INVALID_ACCESS, ReadVolumeLabel(closed, strLabel));
}

TEST(VolumeLabelTest, LabelsMkntfsWroteAreReadAsFsstatReadsThem)
{
    // mkntfs takes its label in the locale's encoding.
    setenv("LC_ALL", "C.UTF-8", 1);
    CTempDir dir;
    const std::string strDisk = dir.File("disk.img");
    struct CPart
    {
        uint32_t m_dwStart;
        uint32_t m_dwSectors;
        const char* m_pszLabel;  // null: no file system at all
    };
    const CPart kParts[] = {{2048, 16384, "SALVIX"},
                            {18432, 16384, "照片 2024"},
                            {34816, 16384, ""},
                            {51200, 2048, nullptr}};
    std::vector<PartitionSpec> vecSpecs;
    for (const CPart& part : kParts)
        vecSpecs.push_back({part.m_dwStart, part.m_dwSectors, 0x07});
    ASSERT_TRUE(MakePartitionedDisk(strDisk, (53248ull + 2048) * 512, vecSpecs));
    for (const CPart& part : kParts)
    {
        if (!part.m_pszLabel)
            continue;
        NtfsFormat format;
        format.dwPartitionStart = part.m_dwStart;
        format.strLabel = part.m_pszLabel;
        const std::string strVolume = dir.File("volume.img");
        ASSERT_TRUE(FormatNtfs(strVolume, uint64_t(part.m_dwSectors) * 512, format)) << part.m_pszLabel;
        ASSERT_TRUE(PlaceImage(strVolume, strDisk, uint64_t(part.m_dwStart) * 512));
    }

    CDiskGuard guard(strDisk);
    for (const CPart& part : kParts)
    {
        SCOPED_TRACE(part.m_pszLabel ? part.m_pszLabel : "no file system");
        CScanTarget target;
        target.m_partition.dwFirstSector = part.m_dwStart;
        target.m_partition.dwSectorCount = part.m_dwSectors;
        std::string strLabel;
        const DWORD dwCode = ReadPartitionLabel(target, strLabel);
        const std::string strSize = "Size: " + std::string(part.m_dwSectors == 16384 ? "8.4 MB" : "1 MB");
        if (!part.m_pszLabel)
        {
            EXPECT_EQ(ERROR_NOT_SUPPORTED, dwCode);
            EXPECT_EQ(strSize, PartitionTip(target));
            continue;
        }
        CFsstatInfo fsstat;
        ASSERT_TRUE(Fsstat(strDisk, part.m_dwStart, fsstat));
        EXPECT_EQ(0u, dwCode);
        EXPECT_EQ(fsstat.m_strVolumeName, strLabel);
        EXPECT_EQ(part.m_pszLabel, strLabel);
        EXPECT_EQ(strSize + "\nVolume label: " + (strLabel.empty() ? "none" : strLabel), PartitionTip(target));
    }

    // A partition past the disk's end, and a disk that is gone.
    CScanTarget past;
    past.m_partition.dwFirstSector = 1u << 30;
    past.m_partition.dwSectorCount = 2048;
    std::string strLabel;
    EXPECT_NE(0u, ReadPartitionLabel(past, strLabel));
    EXPECT_EQ("Size: 1 MB\nVolume label: could not be read", PartitionTip(past));
    guard.Set(strDisk + ".gone");
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadPartitionLabel(past, strLabel));
}

TEST(VolumeLabelTest, APartitionsSizeCountsItsSectorsInTheDisksSectorSize)
{
    PartitionRecord record = {};
    record.dwSectorCount = 131072;
    EXPECT_EQ(67108864ull, PartitionBytes(record));
    record.dwSectorSize = 4096;
    EXPECT_EQ(536870912ull, PartitionBytes(record));
    record.dwSectorCount = 0xFFFFFFFF;
    EXPECT_EQ(0xFFFFFFFFull * 4096, PartitionBytes(record)) << "no 32-bit overflow";
    EXPECT_EQ("Size: 18 TB", PartitionTipText(PartitionBytes(record), ERROR_NOT_SUPPORTED, ""));
    EXPECT_EQ("Size: 512 bytes\nVolume label: none", PartitionTipText(512, 0, ""));
}
