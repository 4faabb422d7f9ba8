// salvix_mkvolume: makes an NTFS volume image, or a disk image holding one,
// filled with deterministic content, without root or mounting.
#include "GptWriter.h"
#include "Images.h"
#include "Layouts.h"
#include "Manifest.h"
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
            "  --layout NAME       what to put on the volume (default test):\n"
            "                        test            every kind of record, 32 MiB\n"
            "                        big             --count files for benchmarks\n"
            "                        unicode         names in many scripts, DOS names,\n"
            "                                        deleted folders, a reused parent\n"
            "                        compressed      LZNT1-compressed files (clusters of\n"
            "                                        4 KiB at most)\n"
            "                        compressed-big  a 200 MiB compressed log (benchmark)\n"
            "                        large           a 5 GiB sparse file, 6 GiB volume\n"
            "                        large-big       and a 1 GiB random file (benchmark)\n"
            "                        hardlinks       names, streams and runs that spill\n"
            "                                        into extension records\n"
            "                        attrlist        attribute lists written by hand,\n"
            "                                        sound and damaged\n"
            "                        fragmented-mft  a table in many pieces\n"
            "                        overwritten     deleted files whose clusters later\n"
            "                                        files took in part or whole\n"
            "                      every layout but test and big also writes\n"
            "                      OUTPUT.manifest, naming its interesting records\n"
            "  --cluster BYTES     cluster size given to mkntfs\n"
            "  --sector BYTES      sector size given to mkntfs (512 or 4096)\n"
            "  --size MIB          volume size (default: the layout's)\n"
            "  --count N           files on a big volume (default 400000)\n"
            "  --seed N            content seed (default 1)\n"
            "  --disk START        write a disk image with an MBR whose one NTFS\n"
            "                      partition starts at 512-byte sector START\n"
            "  --gpt               with --disk: a GPT disk of --sector byte sectors\n"
            "  --from VOLUME       with --disk: place this existing volume image\n"
            "                      instead of making one\n"
            "  --progress          report progress on standard error\n");
}

struct LayoutInfo
{
    const char* pszName;
    unsigned long long nSizeMiB;  // default volume size
    bool bManifest;
};

const LayoutInfo kLayouts[] = {
    {"test", 32, false},      {"big", 1536, false},           {"unicode", 32, true},
    {"compressed", 32, true}, {"compressed-big", 320, true},  {"large", 6144, true},
    {"large-big", 7168, true}, {"hardlinks", 32, true},        {"attrlist", 32, true},
    {"fragmented-mft", 64, true}, {"overwritten", 16, true},
};

const LayoutInfo* FindLayout(const std::string& strName)
{
    for (const LayoutInfo& layout : kLayouts)
        if (strName == layout.pszName)
            return &layout;
    return nullptr;
}

struct Options
{
    std::string strLayout = "test";
    std::string strOutput;
    std::string strFrom;
    unsigned long long nCluster = 0, nSector = 0, nSizeMiB = 0, nCount = 400000, nSeed = 1, nDisk = 0;
    bool bDisk = false, bProgress = false, bGpt = false;
    // The disk's sector size: a GPT disk counts in the volume's sectors.
    uint64_t DiskSector() const { return bGpt && nSector ? nSector : 512; }
};

// Puts the layout's files on the mounted volume.
bool Fill(CNtfsWriter& writer, const Options& opt, CManifest& manifest)
{
    const std::string& s = opt.strLayout;
    if (s == "test")
        return FillTestVolume(writer, opt.nSeed);
    if (s == "big")
        return FillBigVolume(writer, static_cast<uint32_t>(opt.nCount), opt.nSeed, opt.bProgress);
    if (s == "unicode")
        return FillUnicodeVolume(writer, opt.nSeed, manifest);
    if (s == "compressed" || s == "compressed-big")
        return FillCompressedVolume(writer, opt.nSeed, s == "compressed-big", manifest);
    if (s == "large" || s == "large-big")
        return FillLargeVolume(writer, opt.nSeed, s == "large-big", manifest);
    if (s == "hardlinks")
        return FillHardLinkVolume(writer, opt.nSeed, manifest);
    if (s == "attrlist")
        return FillAttrListVolume(writer, opt.nSeed, manifest);
    if (s == "overwritten")
        return FillOverwrittenVolume(writer, opt.nSeed, manifest);
    return FillFragmentedMftVolume(writer, opt.nSeed, manifest);
}

// Formats and fills a new volume image; attrlist's records are then edited
// in the image itself, with the volume closed.
bool MakeVolume(const std::string& strVolume, uint64_t n64Size, const Options& opt, CManifest& manifest)
{
    NtfsFormat format;
    format.dwClusterSize = static_cast<uint32_t>(opt.nCluster);
    format.dwSectorSize = static_cast<uint32_t>(opt.nSector);
    format.dwPartitionStart = static_cast<uint32_t>(opt.nDisk * opt.DiskSector() / 512);
    format.strLabel = "SALVIX";
    if (!FormatNtfs(strVolume, n64Size, format))
        return false;
    CNtfsWriter writer;
    bool bOk = writer.Mount(strVolume);
    bOk = bOk && Fill(writer, opt, manifest);
    bOk = writer.Unmount() && bOk;
    if (bOk && opt.strLayout == "attrlist")
        bOk = EditAttrListVolume(strVolume, manifest);
    return bOk;
}

bool ParseNumber(const char* psz, unsigned long long& n)
{
    char* pEnd = nullptr;
    errno = 0;
    n = strtoull(psz, &pEnd, 0);
    return psz[0] != '\0' && psz[0] != '-' && *pEnd == '\0' && errno == 0;
}

bool ParseArguments(int argc, char** argv, Options& opt)
{
    for (int i = 1; i < argc; ++i)
    {
        std::string strArg = argv[i];
        bool bHasValue = i + 1 < argc;
        unsigned long long* pValue = nullptr;
        if (strArg == "--layout" && bHasValue)
            opt.strLayout = argv[++i];
        else if (strArg == "--from" && bHasValue)
            opt.strFrom = argv[++i];
        else if (strArg == "--progress")
            opt.bProgress = true;
        else if (strArg == "--gpt")
            opt.bGpt = true;
        else if (strArg == "--cluster") pValue = &opt.nCluster;
        else if (strArg == "--sector") pValue = &opt.nSector;
        else if (strArg == "--size") pValue = &opt.nSizeMiB;
        else if (strArg == "--count") pValue = &opt.nCount;
        else if (strArg == "--seed") pValue = &opt.nSeed;
        else if (strArg == "--disk") { pValue = &opt.nDisk; opt.bDisk = true; }
        else if (strArg[0] != '-' && opt.strOutput.empty())
            opt.strOutput = strArg;
        else
        {
            fprintf(stderr, "salvix_mkvolume: unexpected argument %s\n", strArg.c_str());
            return false;
        }
        if (pValue && (!bHasValue || !ParseNumber(argv[++i], *pValue)))
        {
            fprintf(stderr, "salvix_mkvolume: %s needs a number\n", strArg.c_str());
            return false;
        }
    }
    return !opt.strOutput.empty() && FindLayout(opt.strLayout) && opt.nDisk <= 0xFFFFFFFFull &&
           opt.nCount <= 0xFFFFFFFFull && (!opt.bDisk || opt.nDisk != 0) &&
           (opt.strFrom.empty() || opt.bDisk) && (!opt.bGpt || opt.bDisk);
}
// Writes the disk image around the volume: one partition behind an MBR, or
// in a GPT, then room to spare after it.
bool WriteDisk(const Options& opt, const std::string& strVolume, uint64_t n64Size)
{
    const uint64_t n64Sector = opt.DiskSector();
    const uint64_t n64Sectors = (n64Size + n64Sector - 1) / n64Sector;
    if (opt.bGpt)
    {
        GptLayout layout;
        layout.dwSectorSize = static_cast<uint32_t>(n64Sector);
        layout.partitions = {{opt.nDisk, opt.nDisk + n64Sectors - 1, kGptTypeBasicData, "Basic data partition"}};
        return MakeEmptyFile(opt.strOutput, (opt.nDisk + n64Sectors + 2048) * n64Sector) &&
               WriteGpt(opt.strOutput, layout) && PlaceImage(strVolume, opt.strOutput, opt.nDisk * n64Sector);
    }
    return MakePartitionedDisk(opt.strOutput, (opt.nDisk + n64Sectors + 2048) * 512,
                               {{static_cast<uint32_t>(opt.nDisk), static_cast<uint32_t>(n64Sectors), 0x07}}) &&
           PlaceImage(strVolume, opt.strOutput, opt.nDisk * 512);
}
}  // namespace

int main(int argc, char** argv)
{
    Options opt;
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "-h" || std::string(argv[i]) == "--help")
        {
            Usage();
            return 0;
        }
    if (!ParseArguments(argc, argv, opt))
    {
        Usage();
        return 2;
    }
    const LayoutInfo* pLayout = FindLayout(opt.strLayout);
    uint64_t n64Size = (opt.nSizeMiB ? opt.nSizeMiB : pLayout->nSizeMiB) << 20;
    if (!opt.strFrom.empty())
    {
        struct stat st;
        if (stat(opt.strFrom.c_str(), &st) != 0 || st.st_size <= 0)
        {
            fprintf(stderr, "salvix_mkvolume: cannot read %s\n", opt.strFrom.c_str());
            return 1;
        }
        // A partition of whole sectors that covers the whole volume.
        n64Size = (static_cast<uint64_t>(st.st_size) + 511) / 512 * 512;
    }

    const bool bMake = opt.strFrom.empty();
    const std::string strManifest = opt.strOutput + ".manifest";
    std::string strVolume = !bMake ? opt.strFrom : opt.bDisk ? TempPathNear(opt.strOutput, "volume") : opt.strOutput;
    CManifest manifest;
    manifest.Comment("salvix_mkvolume --layout " + opt.strLayout + " --seed " + std::to_string(opt.nSeed));
    bool bOk = !bMake || MakeVolume(strVolume, n64Size, opt, manifest);
    if (bOk && bMake && pLayout->bManifest)
        bOk = manifest.Write(strManifest);
    if (bOk && opt.bDisk)
        bOk = WriteDisk(opt, strVolume, n64Size);
    if (opt.bDisk && bMake)
        unlink(strVolume.c_str());
    if (!bOk)
    {
        unlink(opt.strOutput.c_str());
        unlink(strManifest.c_str());
        fprintf(stderr, "salvix_mkvolume: %s was not made\n", opt.strOutput.c_str());
        return 1;
    }
    return 0;
}
