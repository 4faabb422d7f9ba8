// The walk from the root: folders in stacks (live ones first), each read
// cluster by cluster, rows handed to the sink in batches.
#include "fat/FatWalk.h"

#include <algorithm>

namespace fat
{

namespace
{

// The fixed root of FAT12/16 is read in pieces of this size.
const DWORD kRootPiece = 64u << 10;

bool IsExfatType(BYTE byType)
{
    switch (byType | kExfatInUse)
    {
    case 0x81: case 0x82: case 0x83: case 0x85: case 0xA0: case 0xA1: case 0xA2:
    case 0xC0: case 0xC1: case 0xE0: case 0xE1:
        return true;
    default:
        return false;
    }
}

// A short entry's name and attributes could have been written by FAT.
bool PlausibleShortEntry(const BYTE* p)
{
    static const char kIllegal[] = "\"*+,/:;<=>?[\\]|";
    if (p[11] & 0xC0)
        return false;
    for (int i = 0; i < 11; ++i)
    {
        const BYTE by = p[i];
        if (i == 0 && (by == 0x05 || by == kDeletedMark))
            continue;
        if (by < 0x20 || by == 0x7F || (by < 0x80 && std::find(kIllegal, kIllegal + 15, by) != kIllegal + 15))
            return false;
    }
    return true;
}

}  // namespace

// ---- the bytes of a directory ----------------------------------------------------

CDirCursor::CDirCursor(CFatVolume& volume, CFatTable& fat, const CDirJob& job, std::unordered_set<DWORD>& setRead)
    : m_volume(volume), m_fat(fat), m_job(job), m_setRead(setRead)
{
    const CFatBoot& boot = volume.Boot();
    const bool bExfat = boot.m_eKind == eKindExfat;
    if (job.m_dwFirstCluster == 0)
    {
        // FAT12/16's root: a fixed region.
        m_n64Limit = boot.m_eKind == eKindFat32 || bExfat ? 0 : static_cast<ULONGLONG>(boot.m_dwRootEntries) * kDirEntrySize;
        return;
    }
    m_n64Limit = bExfat ? CFatVolume::kMaxExfatDirBytes : CFatVolume::kMaxFatDirBytes;
    if (bExfat && job.m_n64Size != 0)
        m_n64Limit = std::min<ULONGLONG>(m_n64Limit, job.m_n64Size);
    m_dwCluster = volume.ValidCluster(job.m_dwFirstCluster) && !setRead.count(job.m_dwFirstCluster)
                      ? job.m_dwFirstCluster
                      : 0;
}

bool CDirCursor::Next(std::vector<BYTE>& vecData, DWORD& dwError)
{
    dwError = 0;
    if (m_n64Done >= m_n64Limit)
        return false;
    const CFatBoot& boot = m_volume.Boot();
    if (m_job.m_dwFirstCluster == 0)
    {
        const DWORD dwPiece = static_cast<DWORD>(std::min<ULONGLONG>(kRootPiece, m_n64Limit - m_n64Done));
        vecData.resize(dwPiece);
        dwError = m_volume.m_reader.ReadAt(boot.m_n64RootSector * boot.m_dwBytesPerSector + m_n64Done,
                                           vecData.data(), dwPiece);
        m_n64Done += dwPiece;
        return dwError == 0;
    }
    if (m_dwCluster == 0)
        return false;
    m_setRead.insert(m_dwCluster);
    vecData.resize(boot.m_dwClusterSize);
    dwError = m_volume.m_reader.ReadAt(m_volume.ClusterOffset(m_dwCluster), vecData.data(), vecData.size());
    if (dwError != 0)
        return false;
    if (m_n64Limit - m_n64Done < vecData.size())
        vecData.resize(static_cast<size_t>(m_n64Limit - m_n64Done));
    m_n64Done += vecData.size();
    DWORD dwNextError = 0;
    if (!NextCluster(dwNextError))
        m_dwCluster = 0;
    return true;
}

bool CDirCursor::NextCluster(DWORD& dwError)
{
    const DWORD dwCluster = m_dwCluster;
    DWORD dwNext = dwCluster + 1;
    if (m_job.m_bDeleted || m_job.m_bNoFatChain)
    {
        // Contiguous; a deleted folder ends before a cluster in use now.
        if (m_job.m_bDeleted && m_volume.ClusterInUse(dwNext))
            return false;
    }
    else if ((dwError = m_fat.Entry(dwCluster, dwNext)) != 0 || dwNext >= ChainEndValue(m_volume.Kind()))
        return false;
    // A damaged link, a loop, or another folder's cluster.
    if (!m_volume.ValidCluster(dwNext) || m_setRead.count(dwNext))
        return false;
    m_dwCluster = dwNext;
    return true;
}

// ---- the walk ------------------------------------------------------------------

DWORD CFatVolume::Walk(IFatSink& sink, const std::atomic<BYTE>& bStop)
{
    if (!m_bOpen)
        return ERROR_INVALID_ACCESS;
    CFatWalk walk(*this, sink, bStop);
    return walk.Run();
}

DWORD CFatWalk::Run()
{
    // A walk again on the same volume starts a new table (twins keep the one
    // of the walk before); the first walk after Open fills the table Open
    // made, so that a twin taken meanwhile on another thread shares it.
    if (m_volume.m_pTable->Count() != 0 || m_volume.m_pTable->FolderCount() != 1)
        m_volume.m_pTable = std::make_shared<CFatEntryTable>();
    m_volume.m_dwUnreadFolders = 0;
    m_timeBatch = std::chrono::steady_clock::now();
    m_volume.m_reader.SetStopFlag(&m_bStop);
    CDirJob root;
    root.m_dwFirstCluster = m_volume.Kind() == eKindFat12 || m_volume.Kind() == eKindFat16 ? 0 : m_volume.Boot().m_dwRootCluster;
    m_dwFoldersRead = 1;
    DWORD dwError = WalkDirectory(root);
    while (dwError == 0 && (!m_vecLive.empty() || !m_vecDeleted.empty()))
    {
        std::vector<CDirJob>& vecFrom = m_vecLive.empty() ? m_vecDeleted : m_vecLive;
        const CDirJob job = vecFrom.back();
        vecFrom.pop_back();
        ++m_dwFoldersRead;
        // A folder that points to itself, to its parent or into another
        // is not walked again.
        if (m_setRead.count(job.m_dwFirstCluster))
            continue;
        dwError = WalkDirectory(job);
    }
    if (dwError == 0 && m_bStop.load())
        dwError = ERROR_OPERATION_ABORTED;
    const DWORD dwFlush = Flush();
    m_volume.m_reader.SetStopFlag(nullptr);
    return dwError ? dwError : dwFlush;
}

DWORD CFatWalk::WalkDirectory(const CDirJob& job)
{
    if (m_bStop.load())
        return ERROR_OPERATION_ABORTED;
    CDirCursor cursor(m_volume, m_volume.m_fat, job, m_setRead);
    m_longName.Reset();
    m_dwSetEntries = 0;
    m_vecChildren.clear();
    const bool bExfat = m_volume.Kind() == eKindExfat;
    std::vector<BYTE> vecData;
    DWORD dwError = 0;
    bool bGoOn = true;
    size_t nPiece = 0;
    while (bGoOn && cursor.Next(vecData, dwError))
    {
        if (m_bStop.load())
            return ERROR_OPERATION_ABORTED;
        // A deleted folder, read as contiguous, ends where another folder
        // starts ("." first) or the clusters hold no directory entries.
        if (job.m_bDeleted && ((nPiece > 0 && StartsFolder(vecData)) || !Plausible(vecData)))
            break;
        ++nPiece;
        // A slow disk still shows its first rows soon.
        if (!m_batch.m_vecRows.empty() &&
            std::chrono::steady_clock::now() - m_timeBatch >= std::chrono::milliseconds(kBatchMs))
            if ((dwError = Flush()) != 0)
                return dwError;
        for (size_t nOff = 0; bGoOn && vecData.size() - nOff >= kDirEntrySize; nOff += kDirEntrySize)
        {
            DWORD dwRowError = 0;
            bGoOn = bExfat ? ExfatEntry(job, vecData.data() + nOff, dwRowError)
                           : FatEntry(job, vecData.data() + nOff, dwRowError);
            if (dwRowError != 0)
                return dwRowError;
        }
    }
    // A folder that cannot be read is left out, and counted, unless it is the root.
    if (dwError != 0 && dwError != ERROR_OPERATION_ABORTED && job.m_dwDepth > 0)
    {
        ++m_volume.m_dwUnreadFolders;
        dwError = 0;
    }
    // Folders met here go on the stacks so that they are walked in order.
    for (auto it = m_vecChildren.rbegin(); it != m_vecChildren.rend(); ++it)
        (it->m_bDeleted ? m_vecDeleted : m_vecLive).push_back(*it);
    m_vecChildren.clear();
    return dwError;
}

bool CFatWalk::StartsFolder(const std::vector<BYTE>& vecData) const
{
    CDirEntry e;
    return m_volume.Kind() != eKindExfat && ParseDirEntry(vecData.data(), vecData.size(), false, e) &&
           e.m_eKind == eDirShort && !e.m_bDeleted && e.IsDirectory() && e.IsDotEntry();
}

bool CFatWalk::Plausible(const std::vector<BYTE>& vecData) const
{
    const bool bExfat = m_volume.Kind() == eKindExfat;
    size_t nEntries = 0;
    for (size_t nOff = 0; vecData.size() - nOff >= kDirEntrySize; nOff += kDirEntrySize)
    {
        const BYTE* p = vecData.data() + nOff;
        if (p[0] == 0)
            break;
        CLongNameEntry part;
        if (bExfat ? !IsExfatType(p[0])
                   : (p[11] & 0x3F) == kAttrLongName ? !ParseLongNameEntry(p, kDirEntrySize, part)
                                                     : !PlausibleShortEntry(p))
            return false;
        ++nEntries;
    }
    return nEntries > 0;
}

DWORD CFatWalk::NewFolder(DWORD dwParent, const char* pName, size_t nName, bool bUncertain)
{
    CFatEntryTable& table = *m_volume.m_pTable;
    if (table.FolderCount() >= 0xFFFFFFFFu)
        return 0;
    std::string strPath = table.Folder(dwParent);
    if (strPath.empty())
        strPath = "\\";
    if (bUncertain && strPath[0] != '?')
        strPath.insert(0, "?");
    if (strPath.back() != '\\')
        strPath += '\\';
    strPath.append(pName, nName);
    return table.AddFolder(std::move(strPath));
}

DWORD CFatWalk::AddRow(const CDirJob& job, CFatRow& row, const CWalkedEntry& entry, size_t nNameStart)
{
    if (DWORD dwError = m_volume.AddEntry(entry, m_batch.m_strNames.data() + nNameStart,
                                          m_batch.m_strNames.size() - nNameStart, row.m_dwEntry))
        return dwError;
    row.m_dwFolder = job.m_dwFolder;
    row.m_dwNameOffset = static_cast<DWORD>(nNameStart);
    row.m_wNameLength = static_cast<WORD>(std::min<size_t>(m_batch.m_strNames.size() - nNameStart, 0xFFFF));
    m_batch.m_vecRows.push_back(row);
    if (row.m_bDirectory && m_volume.ValidCluster(row.m_dwFirstCluster) && job.m_dwDepth < CFatVolume::kMaxDepth)
    {
        CDirJob child;
        child.m_dwFirstCluster = row.m_dwFirstCluster;
        child.m_dwDepth = job.m_dwDepth + 1;
        child.m_bDeleted = row.m_bDeleted;
        child.m_bNoFatChain = row.m_bNoFatChain;
        child.m_n64Size = entry.m_n64Size;
        const bool bUncertain = row.m_bDeleted && m_volume.ClusterInUse(row.m_dwFirstCluster);
        child.m_dwFolder = NewFolder(job.m_dwFolder, m_batch.m_strNames.data() + nNameStart, row.m_wNameLength,
                                     bUncertain);
        m_vecChildren.push_back(child);
    }
    return m_batch.m_vecRows.size() >= kBatchRows ? Flush() : 0;
}

DWORD CFatWalk::Flush()
{
    m_batch.m_dwFirstNewFolder = static_cast<DWORD>(m_nFoldersSent);
    m_batch.m_vecNewFolders.clear();
    m_volume.m_pTable->FoldersFrom(m_nFoldersSent, m_batch.m_vecNewFolders);
    m_nFoldersSent += m_batch.m_vecNewFolders.size();
    m_timeBatch = std::chrono::steady_clock::now();
    if (m_batch.m_vecRows.empty() && m_batch.m_vecNewFolders.empty())
        return 0;
    m_batch.m_dwFoldersRead = m_dwFoldersRead;
    const size_t nKnown = m_dwFoldersRead + m_vecLive.size() + m_vecDeleted.size() + m_vecChildren.size();
    m_batch.m_dwFoldersKnown = static_cast<DWORD>(std::min<size_t>(nKnown, 0xFFFFFFFFu));
    CFatRowBatch batch;
    std::swap(batch, m_batch);
    return m_sink.OnRows(std::move(batch));
}

ULONGLONG CFatWalk::ChainLength(DWORD dwFirst)
{
    const CFatBoot& boot = m_volume.Boot();
    const ULONGLONG n64Bound = std::min<ULONGLONG>(boot.m_dwClusterCount, CFatVolume::kMaxFatDirBytes / boot.m_dwClusterSize + 1);
    ULONGLONG n64Count = 0;
    DWORD dwCluster = dwFirst;
    while (m_volume.ValidCluster(dwCluster) && n64Count < n64Bound)
    {
        ++n64Count;
        if (m_volume.m_fat.Entry(dwCluster, dwCluster) != 0)
            break;
    }
    return n64Count;
}

}  // namespace fat
