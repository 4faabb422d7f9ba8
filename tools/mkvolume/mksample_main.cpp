// salvix_mksample OUTPUT.img: the sample disk. An MBR with an NTFS primary
// partition and an extended partition holding a FAT32 and a second NTFS
// logical partition; both NTFS volumes hold a small tree of ordinary files
// and a few deleted ones worth recovering.
#include "Images.h"
#include "Layouts.h"
#include "NtfsWriter.h"

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace
{
const uint32_t kMiB = 2048;  // sectors

// Partition layout, in 512-byte sectors.
const uint32_t kNtfs1Start = 2048, kNtfs1Sectors = 64 * kMiB;
const uint32_t kExtStart = kNtfs1Start + kNtfs1Sectors, kExtSectors = 100 * kMiB;
const uint32_t kFatStart = kExtStart + 2048, kFatSectors = 40 * kMiB;
const uint32_t kNtfs2Start = kFatStart + kFatSectors + 2048, kNtfs2Sectors = kExtStart + kExtSectors - kNtfs2Start;
const uint64_t kDiskBytes = (uint64_t(kExtStart) + kExtSectors + 2048) * 512;

bool MakeNtfs(const std::string& strPath, uint32_t dwStart, uint32_t dwSectors, int nWhich)
{
    NtfsFormat format;
    format.dwPartitionStart = dwStart;
    format.strLabel = nWhich == 0 ? "System" : "Data";
    if (!FormatNtfs(strPath, uint64_t(dwSectors) * 512, format))
        return false;
    CNtfsWriter writer;
    bool bOk = writer.Mount(strPath) && FillSampleVolume(writer, nWhich);
    return writer.Unmount() && bOk;
}
}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2 || argv[1][0] == '-')
    {
        fprintf(stderr, "usage: salvix_mksample OUTPUT.img\n");
        return 2;
    }
    const std::string strOutput = argv[1];
    const std::string strNtfs1 = TempPathNear(strOutput, "ntfs1");
    const std::string strFat = TempPathNear(strOutput, "fat");
    const std::string strNtfs2 = TempPathNear(strOutput, "ntfs2");

    bool bOk = MakeNtfs(strNtfs1, kNtfs1Start, kNtfs1Sectors, 0) &&
               FormatFat32(strFat, uint64_t(kFatSectors) * 512, kFatStart, "SAMPLEFAT") &&
               MakeNtfs(strNtfs2, kNtfs2Start, kNtfs2Sectors, 1) &&
               MakePartitionedDisk(strOutput, kDiskBytes,
                                   {{kNtfs1Start, kNtfs1Sectors, 0x07},
                                    {kExtStart, kExtSectors, 0x0F},
                                    {kFatStart, kFatSectors, 0x0C},
                                    {kNtfs2Start, kNtfs2Sectors, 0x07}}) &&
               PlaceImage(strNtfs1, strOutput, uint64_t(kNtfs1Start) * 512) &&
               PlaceImage(strFat, strOutput, uint64_t(kFatStart) * 512) &&
               PlaceImage(strNtfs2, strOutput, uint64_t(kNtfs2Start) * 512);
    for (const std::string& strTemp : {strNtfs1, strFat, strNtfs2})
        unlink(strTemp.c_str());
    if (!bOk)
    {
        unlink(strOutput.c_str());
        fprintf(stderr, "salvix_mksample: %s was not made\n", strOutput.c_str());
        return 1;
    }
    return 0;
}
