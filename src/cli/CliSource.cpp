#include "cli/Cli.h"

#include "cli/ListColumns.h"
#include "disk/Disk.h"
#include "disk/DiskLayout.h"
#include "platform/Platform.h"
#include "session/Messages.h"

#include <algorithm>
#include <cstdlib>

const char kExitCodesHelp[] =
    "Exit codes: 0 all done (every file saved), 1 some files could not be saved or not whole,\n"
    "2 bad usage (an unknown option, no such partition or record), 3 the disk or the\n"
    "partition cannot be read.";

namespace
{

// The disks a partition is looked for on: the images named on the command
// line when there are any (on Windows they follow the drives), else all.
bool IsNamedImage(DWORD dwDisk)
{
    const std::vector<std::string> vecImages = ImageDiskPaths();
    return vecImages.empty() ||
           std::find(vecImages.begin(), vecImages.end(), DiskOpenName(dwDisk)) != vecImages.end();
}

// "2" or "NTFS Drive 2": true for that partition of its disk.
bool NamesPartition(const std::string& strName, const CTreePartition& partition, size_t nIndex)
{
    if (!strName.empty() && strName.find_first_not_of("0123456789") == std::string::npos)
        return strName.size() < 10 && std::strtoul(strName.c_str(), nullptr, 10) == nIndex;
    return strName == partition.m_strText;
}

void PrintTextTree(std::FILE* pOut, const CDiskTree& tree)
{
    std::fprintf(pOut, "Drives\n");
    for (const CTreeDisk& disk : tree.m_vecDisks)
    {
        const char* pszIndent = "  ";
        if (!tree.SingleDisk())
        {
            std::fprintf(pOut, "  %s\n", disk.m_strText.c_str());
            pszIndent = "    ";
        }
        for (const CTreePartition& partition : disk.m_vecPartitions)
            std::fprintf(pOut, "%s%s\n", pszIndent, partition.m_strText.c_str());
    }
}

void PrintJsonTree(std::FILE* pOut, const CDiskTree& tree)
{
    const std::vector<CDiskSummary> vecDisks = ListDisks();
    std::string strOut = "{\"disks\":[";
    for (size_t i = 0; i < tree.m_vecDisks.size(); ++i)
    {
        const CTreeDisk& disk = tree.m_vecDisks[i];
        const DWORD dwError = tree.SingleDisk() ? tree.m_dwError : disk.m_dwError;
        strOut += i ? ",{" : "{";
        if (i < vecDisks.size())
            strOut += "\"disk\":" + std::to_string(vecDisks[i].m_dwDisk) + ",\"name\":" +
                      JsonString(vecDisks[i].m_strName) + ",\"bytes\":" +
                      (vecDisks[i].m_dwError ? std::string("null") : std::to_string(vecDisks[i].m_qwDiskBytes)) + ",";
        strOut += "\"error\":" + (dwError ? JsonString(ErrorSentence(dwError)) : std::string("null"));
        strOut += ",\"partitions\":[";
        for (size_t n = 0; n < disk.m_vecPartitions.size(); ++n)
        {
            const PartitionRecord& record = disk.m_vecPartitions[n].m_target.m_partition;
            strOut += (n ? ",{\"number\":" : "{\"number\":") + std::to_string(n) +
                      ",\"text\":" + JsonString(disk.m_vecPartitions[n].m_strText) +
                      ",\"first_sector\":" + std::to_string(record.qwFirstSector) +
                      ",\"sector_size\":" + std::to_string(record.dwSectorSize ? record.dwSectorSize : 512) + "}";
        }
        strOut += "]}";
    }
    std::fprintf(pOut, "%s]}\n", strOut.c_str());
}

// The first reason a disk of the tree could not be read, with the disk's
// name, or 0. Drives that came along with images named are not counted:
// the images are what was asked for.
DWORD TreeError(const CDiskTree& tree, std::string& strDisk)
{
    const std::vector<CDiskSummary> vecDisks = ListDisks();
    for (size_t i = 0; i < tree.m_vecDisks.size(); ++i)
    {
        const DWORD dwError = tree.SingleDisk() ? tree.m_dwError : tree.m_vecDisks[i].m_dwError;
        const DWORD dwDisk = i < vecDisks.size() ? vecDisks[i].m_dwDisk : 0;
        if (dwError && IsNamedImage(dwDisk))
        {
            strDisk = i < vecDisks.size() ? vecDisks[i].m_strName : DiskPath(0);
            return dwError;
        }
    }
    return 0;
}

}  // namespace

void PrintError(const std::string& strText)
{
    std::fprintf(stderr, "salvix-cli: %s\n", strText.c_str());
}

std::string ErrorSentence(DWORD dwCode)
{
    std::string strText = SystemErrorText(dwCode);
    while (!strText.empty() && (strText.back() == '\n' || strText.back() == '\r'))
        strText.pop_back();
    return strText;
}

void UseImages(const std::vector<std::string>& vecImages)
{
    if (!vecImages.empty())
        SetDiskPaths(vecImages);
}

int PrintDisks(std::FILE* pOut, bool bJson)
{
    const CDiskTree tree = BuildDiskTree();
    if (bJson)
        PrintJsonTree(pOut, tree);
    else
        PrintTextTree(pOut, tree);
    std::string strDisk;
    if (const DWORD dwError = TreeError(tree, strDisk))
    {
        PrintError(strDisk + ": " + ErrorSentence(dwError));
        return eExitUnreadable;
    }
    return eExitOk;
}

int FindPartition(const CSourceOptions& source, CScanTarget& target)
{
    const CDiskTree tree = BuildDiskTree();
    std::vector<const CTreePartition*> vecFound;
    for (const CTreeDisk& disk : tree.m_vecDisks)
        for (size_t n = 0; n < disk.m_vecPartitions.size(); ++n)
        {
            const CTreePartition& partition = disk.m_vecPartitions[n];
            const DWORD dwDisk = partition.m_target.m_dwDisk;
            const bool bDisk = source.m_nDisk >= 0 ? static_cast<long>(dwDisk) == source.m_nDisk
                                                   : IsNamedImage(dwDisk);
            if (bDisk && NamesPartition(source.m_strPartition, partition, n))
                vecFound.push_back(&partition);
        }
    if (vecFound.size() == 1)
    {
        target = vecFound[0]->m_target;
        return eExitOk;
    }
    std::string strDisk;
    if (const DWORD dwError = TreeError(tree, strDisk); dwError && vecFound.empty())
    {
        PrintError(strDisk + ": " + ErrorSentence(dwError));
        return eExitUnreadable;
    }
    if (vecFound.empty())
        PrintError("there is no partition \"" + source.m_strPartition +
                   "\" on the disks read (salvix-cli disks lists them).");
    else
        PrintError("\"" + source.m_strPartition + "\" is on several disks: say which with --disk N.");
    return eExitUsage;
}
