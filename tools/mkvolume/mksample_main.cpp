// salvix_mksample OUTPUT.img: the sample disk. An MBR with an NTFS primary
// partition and an extended partition holding a FAT32 and a second NTFS
// logical partition; every volume holds a small tree of ordinary files and a
// few deleted ones worth recovering (the FAT32 one written with mtools).
#include "Images.h"
#include "Layouts.h"
#include "NtfsWriter.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
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
// A file's bytes that depend on its name, so that no two files agree.
std::string SampleBytes(const std::string& strName, size_t nSize)
{
    std::string strBytes(nSize, '\0');
    uint32_t dwState = 2166136261u;
    for (unsigned char c : strName)
        dwState = (dwState ^ c) * 16777619u;
    for (size_t i = 0; i < nSize; ++i)
    {
        dwState = dwState * 1103515245u + 12345u;
        strBytes[i] = static_cast<char>(dwState >> 16);
    }
    return strBytes;
}

// mtools on the volume image at strImage, with long names in UTF-8.
bool Mtool(const std::string& strTool, const std::string& strImage, std::vector<std::string> vecArgs)
{
    std::vector<std::string> vecCommand = {"env", "LC_ALL=C.UTF-8", "MTOOLS_SKIP_CHECK=1", strTool, "-i", strImage};
    vecCommand.insert(vecCommand.end(), vecArgs.begin(), vecArgs.end());
    return RunTool(vecCommand);
}

// Folders and files with long names in several scripts, two of them deleted
// afterwards.
bool FillSampleFat(const std::string& strImage)
{
    struct CFile
    {
        const char* m_pszPath;  // on the volume
        size_t m_nSize;
        bool m_bDelete;
    };
    const CFile kFiles[] = {
        {"/readme.txt", 310, false},
        {"/照片/海边日落.jpg", 5000, false},
        {"/已删除的照片.jpg", 4000, true},
        {"/文档/购物清单.txt", 900, false},
        {"/文档/旧报告 2023.txt", 1700, true},
        {"/Résumé — final.txt", 1200, false},
    };
    const std::string strSource = strImage + ".src";
    bool bOk = Mtool("mmd", strImage, {"::/照片", "::/文档"});
    for (const CFile& file : kFiles)
    {
        {
            std::ofstream out(strSource, std::ios::binary | std::ios::trunc);
            out << SampleBytes(file.m_pszPath, file.m_nSize);
        }
        bOk = bOk && Mtool("mcopy", strImage, {"-o", strSource, std::string("::") + file.m_pszPath});
    }
    for (const CFile& file : kFiles)
        if (file.m_bDelete)
            bOk = bOk && Mtool("mdel", strImage, {std::string("::") + file.m_pszPath});
    unlink(strSource.c_str());
    return bOk;
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
               FormatFat32(strFat, uint64_t(kFatSectors) * 512, kFatStart, "SAMPLEFAT") && FillSampleFat(strFat) &&
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
