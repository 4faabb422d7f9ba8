// What the tree of disks and partitions shows, decided once for every front
// end. With one disk the partitions hang under "Drives" as they always have;
// with several, "Drives" holds a node per disk ("Disk 1: /dev/sdb, 64 GB"),
// each holding its partitions, numbered per disk, and a disk that cannot be
// read shows its node with the reason while the others still list.
#pragma once

#include "session/ScanSession.h"

#include <string>
#include <vector>

struct CTreePartition
{
    std::string m_strText;  // "NTFS Drive 0"
    CScanTarget m_target;   // the disk and the partition a scan of it reads
};

struct CTreeDisk
{
    std::string m_strText;  // the node's text; empty with one disk (no node)
    DWORD m_dwError = 0;    // why the disk could not be read, or 0
    std::vector<CTreePartition> m_vecPartitions;
};

struct CDiskTree
{
    std::vector<CTreeDisk> m_vecDisks;
    // With one disk: the walk's code, shown in the error box as it always
    // was (the partitions before the failure stay). Several disks put their
    // reasons in their nodes instead, so this stays 0.
    DWORD m_dwError = 0;
    bool SingleDisk() const { return m_vecDisks.size() <= 1; }
};

// Lists every disk the program offers and walks its partition tables.
CDiskTree BuildDiskTree();
