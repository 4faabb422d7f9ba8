#include "session/DiskTree.h"

#include "disk/DiskLayout.h"
#include "disk/PartitionTable.h"
#include "session/Messages.h"

namespace
{

DWORD WalkDisk(DWORD dwDisk, CTreeDisk& node)
{
    return WalkPartitionTables(dwDisk, [&](const char* pszText, const PartitionRecord& record) {
        CTreePartition partition;
        partition.m_strText = pszText;
        partition.m_target.m_dwDisk = dwDisk;
        partition.m_target.m_partition = record;
        node.m_vecPartitions.push_back(partition);
    });
}

// The reason in a node's text: the program's sentence without its full stop.
std::string Reason(DWORD dwError)
{
    std::string strText = SystemErrorText(dwError);
    while (!strText.empty() && (strText.back() == '\n' || strText.back() == '.'))
        strText.pop_back();
    return strText;
}

}  // namespace

CDiskTree BuildDiskTree()
{
    CDiskTree tree;
    const std::vector<CDiskSummary> vecDisks = ListDisks();
    if (vecDisks.size() <= 1)
    {
        // One disk, or none found: the tree is what it always was.
        tree.m_vecDisks.resize(1);
        tree.m_dwError = WalkDisk(0, tree.m_vecDisks[0]);
        return tree;
    }
    for (const CDiskSummary& disk : vecDisks)
    {
        CTreeDisk node;
        node.m_dwError = disk.m_dwError ? disk.m_dwError : WalkDisk(disk.m_dwDisk, node);
        node.m_strText = DiskNodeText(disk);
        if (node.m_dwError)
            node.m_strText += " (" + Reason(node.m_dwError) + ")";
        tree.m_vecDisks.push_back(std::move(node));
    }
    return tree;
}
