// salvix_mkvolume: makes an NTFS volume image, or a disk image holding one,
// filled with deterministic content, without root or mounting.
#include "GptWriter.h"
#include "Images.h"
#include "Layouts.h"
#include "NtfsWriter.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace
{
void Usage()
{
    fprintf(stderr,
            "usage: salvix_mkvolume [options] OUTPUT\n"
            "  --layout test|big   what to put on the volume (default test)\n"
            "  --cluster BYTES     cluster size given to mkntfs\n"
            "  --sector BYTES      sector size given to mkntfs (512 or 4096)\n"
            "  --size MIB          volume size (default 32, big: 1536)\n"
            "  --count N           files on a big volume (default 400000)\n"
            "  --seed N            content seed (default 1)\n"
            "  --disk START        write a disk image with an MBR whose one NTFS\n"
            "                      partition starts at 512-byte sector START\n"
            "  --gpt               with --disk: a GPT disk of --sector byte sectors\n"
            "                      instead, START counting those sectors\n"
            "  --from VOLUME       with --disk: place this existing volume image\n"
            "                      instead of making one\n"
            "  --progress          report progress on standard error\n");
}

bool ParseNumber(const char* psz, unsigned long long& n)
{
    char* pEnd = nullptr;
    errno = 0;
    n = strtoull(psz, &pEnd, 0);
    return psz[0] != '\0' && psz[0] != '-' && *pEnd == '\0' && errno == 0;
}
}  // namespace

int main(int argc, char** argv)
{
    std::string strLayout = "test";
    std::string strOutput;
    std::string strFrom;
    unsigned long long nCluster = 0, nSector = 0, nSizeMiB = 0, nCount = 400000, nSeed = 1, nDisk = 0;
    bool bDisk = false, bProgress = false, bGpt = false;
    for (int i = 1; i < argc; ++i)
    {
        std::string strArg = argv[i];
        bool bHasValue = i + 1 < argc;
        unsigned long long* pValue = nullptr;
        if (strArg == "--layout" && bHasValue)
            strLayout = argv[++i];
        else if (strArg == "--from" && bHasValue)
            strFrom = argv[++i];
        else if (strArg == "--progress")
            bProgress = true;
        else if (strArg == "--gpt")
            bGpt = true;
        else if (strArg == "--cluster") pValue = &nCluster;
        else if (strArg == "--sector") pValue = &nSector;
        else if (strArg == "--size") pValue = &nSizeMiB;
        else if (strArg == "--count") pValue = &nCount;
        else if (strArg == "--seed") pValue = &nSeed;
        else if (strArg == "--disk") { pValue = &nDisk; bDisk = true; }
        else if (strArg == "-h" || strArg == "--help") { Usage(); return 0; }
        else if (strArg[0] != '-' && strOutput.empty())
            strOutput = strArg;
        else
        {
            fprintf(stderr, "salvix_mkvolume: unexpected argument %s\n", strArg.c_str());
            Usage();
            return 2;
        }
        if (pValue && (!bHasValue || !ParseNumber(argv[++i], *pValue)))
        {
            fprintf(stderr, "salvix_mkvolume: %s needs a number\n", strArg.c_str());
            return 2;
        }
    }
    if (strOutput.empty() || (strLayout != "test" && strLayout != "big") ||
        nDisk > 0xFFFFFFFFull || nCount > 0xFFFFFFFFull || (bDisk && nDisk == 0) ||
        (!strFrom.empty() && !bDisk) || (bGpt && !bDisk))
    {
        Usage();
        return 2;
    }
    if (nSizeMiB == 0)
        nSizeMiB = strLayout == "big" ? 1536 : 32;
    uint64_t n64Size = nSizeMiB << 20;
    if (!strFrom.empty())
    {
        struct stat st;
        if (stat(strFrom.c_str(), &st) != 0 || st.st_size <= 0)
        {
            fprintf(stderr, "salvix_mkvolume: cannot read %s\n", strFrom.c_str());
            return 1;
        }
        // A partition of whole sectors that covers the whole volume.
        n64Size = (static_cast<uint64_t>(st.st_size) + 511) / 512 * 512;
    }

    const bool bMake = strFrom.empty();
    std::string strVolume = !bMake ? strFrom : bDisk ? TempPathNear(strOutput, "volume") : strOutput;
    NtfsFormat format;
    format.dwClusterSize = static_cast<uint32_t>(nCluster);
    format.dwSectorSize = static_cast<uint32_t>(nSector);
    const uint64_t n64DiskSector = bGpt && nSector ? nSector : 512;
    format.dwPartitionStart = static_cast<uint32_t>(nDisk * n64DiskSector / 512);
    format.strLabel = "SALVIX";

    bool bOk = !bMake || FormatNtfs(strVolume, n64Size, format);
    if (bOk && bMake)
    {
        CNtfsWriter writer;
        bOk = writer.Mount(strVolume);
        if (bOk && strLayout == "test")
            bOk = FillTestVolume(writer, nSeed);
        else if (bOk)
            bOk = FillBigVolume(writer, static_cast<uint32_t>(nCount), nSeed, bProgress);
        bOk = writer.Unmount() && bOk;
    }
    if (bOk && bGpt)
    {
        // The partition, then room for the backup table after it.
        const uint64_t n64Sectors = (n64Size + n64DiskSector - 1) / n64DiskSector;
        GptLayout layout;
        layout.dwSectorSize = static_cast<uint32_t>(n64DiskSector);
        layout.partitions = {{nDisk, nDisk + n64Sectors - 1, kGptTypeBasicData, "Basic data partition"}};
        bOk = MakeEmptyFile(strOutput, (nDisk + n64Sectors + 2048) * n64DiskSector) &&
              WriteGpt(strOutput, layout) && PlaceImage(strVolume, strOutput, nDisk * n64DiskSector);
    }
    else if (bOk && bDisk)
    {
        // One partition, then room to spare after it.
        uint64_t n64Sectors = n64Size / 512;
        uint64_t n64Disk = (nDisk + n64Sectors + 2048) * 512;
        bOk = MakePartitionedDisk(strOutput, n64Disk, {{static_cast<uint32_t>(nDisk),
                                                        static_cast<uint32_t>(n64Sectors), 0x07}}) &&
              PlaceImage(strVolume, strOutput, nDisk * 512);
    }
    if (bDisk && bMake)
        unlink(strVolume.c_str());
    if (!bOk)
    {
        unlink(strOutput.c_str());
        fprintf(stderr, "salvix_mkvolume: %s was not made\n", strOutput.c_str());
        return 1;
    }
    return 0;
}
