// The walk's entries: FAT short entries with their long names, exFAT entry
// sets, each made into one row.
#include "fat/FatWalk.h"

#include <cstring>

namespace fat
{

namespace
{

// The attribute bits a row shows: read-only, hidden, system, directory,
// archive; the same bits as Windows' FILE_ATTRIBUTE_* values.
const DWORD kShownAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                               FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_ARCHIVE;

ULONGLONG ClustersFor(ULONGLONG n64Bytes, DWORD dwClusterSize)
{
    return n64Bytes / dwClusterSize + (n64Bytes % dwClusterSize ? 1 : 0);
}

// What a row's description needs that its data does not.
void KeepDescription(const CFatRow& row, CWalkedEntry& entry)
{
    entry.m_n64Created = row.m_creation.m_n64Value;
    entry.m_n64Modified = row.m_modification.m_n64Value;
    entry.m_byAttributes = static_cast<BYTE>(row.m_dwFileFlags);
    entry.m_byFlags |= static_cast<BYTE>((row.m_creation.m_bWallClock ? CWalkedEntry::kCreatedWallClock : 0) |
                                         (row.m_modification.m_bWallClock ? CWalkedEntry::kModifiedWallClock : 0));
}

}  // namespace

bool CFatWalk::FatEntry(const CDirJob& job, const BYTE* p, DWORD& dwError)
{
    CDirEntry e;
    ParseDirEntry(p, kDirEntrySize, m_volume.Kind() == eKindFat32, e);
    CLongNameEntry part;
    switch (e.m_eKind)
    {
    case eDirEnd:
        return false;
    case eDirLongName:
        if (ParseLongNameEntry(p, kDirEntrySize, part))
            m_longName.Add(part);
        else
            m_longName.Reset();
        return true;
    case eDirShort:
        break;
    default:
        m_longName.Reset();
        return true;
    }
    if (e.IsDotEntry())
    {
        m_longName.Reset();
        return true;
    }
    std::string& strNames = m_batch.m_strNames;
    const size_t nNameStart = strNames.size();
    if (!m_longName.Take(e, strNames))
        ShortNameText(e, strNames);
    const DWORD dwClusterSize = m_volume.Boot().m_dwClusterSize;
    CFatRow row;
    CWalkedEntry entry;
    row.m_bDeleted = e.m_bDeleted || job.m_bDeleted;
    row.m_bDirectory = e.IsDirectory();
    row.m_dwFileFlags = e.m_byAttributes & kShownAttributes;
    row.m_dwFirstCluster = e.m_dwFirstCluster;
    row.m_creation = FatTime(e.m_wCreateDate, e.m_wCreateTime, e.m_byCreateTenths);
    row.m_modification = FatTime(e.m_wWriteDate, e.m_wWriteTime);
    if (row.m_bDirectory)
        row.m_n64Clusters = row.m_bDeleted ? (m_volume.ValidCluster(e.m_dwFirstCluster) ? 1 : 0)
                                           : ChainLength(e.m_dwFirstCluster);
    else
    {
        row.m_n64Size = e.m_dwSize;
        row.m_n64Clusters = ClustersFor(e.m_dwSize, dwClusterSize);
    }
    if (row.m_bDeleted)
        m_volume.DeletedState(e.m_dwFirstCluster, row.m_n64Clusters, row);
    else
        row.m_byFreePercent = 0;
    entry.m_n64Size = entry.m_n64ValidLength = row.m_n64Size;
    entry.m_dwFirstCluster = row.m_dwFirstCluster;
    entry.m_dwFolder = job.m_dwFolder;
    entry.m_byFlags = static_cast<BYTE>((row.m_bDeleted ? CWalkedEntry::kDeleted : 0) |
                                        (row.m_bDirectory ? CWalkedEntry::kDirectory : 0));
    KeepDescription(row, entry);
    dwError = AddRow(job, row, entry, nNameStart);
    return true;
}

bool CFatWalk::ExfatEntry(const CDirJob& job, const BYTE* p, DWORD& dwError)
{
    const BYTE byType = p[0];
    if (m_dwSetEntries != 0)
    {
        // A primary entry or the end before the set is whole: the set is
        // damaged, and this entry is taken on its own.
        if (byType != kExfatEnd && (byType & 0x40))
        {
            m_vecSet.insert(m_vecSet.end(), p, p + kDirEntrySize);
            if (m_vecSet.size() == static_cast<size_t>(m_dwSetEntries) * kDirEntrySize)
            {
                m_dwSetEntries = 0;
                dwError = ExfatSet(job);
            }
            return true;
        }
        m_dwSetEntries = 0;
    }
    if (byType == kExfatEnd)
        return false;
    DWORD dwSecondary = 0;
    if (ExfatSetLength(p, kDirEntrySize, dwSecondary))
    {
        m_vecSet.assign(p, p + kDirEntrySize);
        m_dwSetEntries = dwSecondary + 1;
    }
    return true;
}

DWORD CFatWalk::ExfatSet(const CDirJob& job)
{
    CExfatFile f;
    if (!ParseExfatSet(m_vecSet.data(), m_vecSet.size() / kDirEntrySize, f))
        return 0;  // a damaged set is left out; the walk goes on
    std::string& strNames = m_batch.m_strNames;
    const size_t nNameStart = strNames.size();
    AppendUtf8(f.m_wName, f.m_dwNameUnits, strNames);
    CFatRow row;
    CWalkedEntry entry;
    row.m_bDeleted = f.m_bDeleted || job.m_bDeleted;
    row.m_bDirectory = (f.m_wAttributes & kAttrDirectory) != 0;
    row.m_bNoFatChain = f.m_bNoFatChain;
    row.m_dwFileFlags = f.m_wAttributes & kShownAttributes;
    row.m_dwFirstCluster = f.m_dwFirstCluster;
    row.m_creation = ExfatTime(f.m_dwCreate, f.m_byCreate10ms, f.m_byCreateOffset);
    row.m_modification = ExfatTime(f.m_dwModify, f.m_byModify10ms, f.m_byModifyOffset);
    row.m_n64Clusters = ClustersFor(f.m_n64Length, m_volume.Boot().m_dwClusterSize);
    row.m_n64Size = row.m_bDirectory ? 0 : f.m_n64Length;
    if (row.m_bDeleted)
        m_volume.DeletedState(f.m_dwFirstCluster, row.m_n64Clusters, row);
    else
        row.m_byFreePercent = 0;
    entry.m_n64Size = f.m_n64Length;
    entry.m_n64ValidLength = f.m_n64ValidLength;
    entry.m_dwFirstCluster = f.m_dwFirstCluster;
    entry.m_dwFolder = job.m_dwFolder;
    entry.m_byFlags = static_cast<BYTE>((row.m_bDeleted ? CWalkedEntry::kDeleted : 0) |
                                        (row.m_bDirectory ? CWalkedEntry::kDirectory : 0) |
                                        (row.m_bNoFatChain ? CWalkedEntry::kNoFatChain : 0));
    KeepDescription(row, entry);
    return AddRow(job, row, entry, nNameStart);
}

}  // namespace fat
