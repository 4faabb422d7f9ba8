// Opening a FAT or exFAT volume: the boot sector, the FAT and the map of
// clusters in use.
#include "fat/FatVolume.h"

#include "disk/ByteOrder.h"

#include <algorithm>
#include <cstring>

namespace fat
{

namespace
{

// The exFAT boot region: 11 sectors under the checksum, the 12th holds it.
const DWORD kBootRegionSectors = 12;
// Entries of the exFAT root looked at for the bitmap and the label.
const DWORD kRootEntriesLooked = 4096;

}  // namespace

void CFatVolume::Close()
{
    m_bOpen = false;
    m_boot = CFatBoot();
    // Twins may hold the map and the entries: they are let go, not cleared.
    m_pMap = std::make_shared<CClusterMap>();
    m_strLabel.clear();
    m_pTable = std::make_shared<CFatEntryTable>();
    m_dwUnreadFolders = 0;
}

DWORD CFatVolume::Open(HANDLE hDevice, ULONGLONG n64VolumeOffset, DWORD dwSectorSize,
                       const std::atomic<BYTE>* pStop)
{
    Close();
    m_n64VolumeOffset = n64VolumeOffset;
    m_dwSectorSize = dwSectorSize;
    m_reader.Reset(hDevice, CVolumeGeometry{n64VolumeOffset, dwSectorSize, 0, 0});
    m_reader.SetStopFlag(pStop);
    DWORD dwError = ReadBoot();
    if (dwError == 0)
    {
        m_fat.Reset(&m_reader, m_boot);
        if (m_boot.m_eKind != eKindExfat)
        {
            if (m_pMap->Reset(m_boot.m_dwClusterCount))
                dwError = m_fat.FillMap(*m_pMap, pStop);
            ReadFatLabel();
        }
        else
            dwError = ReadExfatRoot(pStop, true);
    }
    m_reader.SetStopFlag(nullptr);
    if (dwError != 0)
    {
        Close();
        return dwError;
    }
    m_bOpen = true;
    return 0;
}

DWORD CFatVolume::ReadLabelOnly(HANDLE hDevice, ULONGLONG n64VolumeOffset, DWORD dwSectorSize, std::string& strLabel)
{
    Close();
    m_reader.Reset(hDevice, CVolumeGeometry{n64VolumeOffset, dwSectorSize, 0, 0});
    DWORD dwError = ReadBoot();
    if (dwError == 0 && m_boot.m_eKind != eKindExfat)
        ReadFatLabel();
    else if (dwError == 0)
        dwError = ReadExfatRoot(nullptr, false);
    strLabel = dwError == 0 ? m_strLabel : std::string();
    Close();
    return dwError;
}

CFatVolume::CShare CFatVolume::Share() const
{
    CShare share;
    share.m_bOpen = m_bOpen;
    share.m_boot = m_boot;
    share.m_n64VolumeOffset = m_n64VolumeOffset;
    share.m_dwSectorSize = m_dwSectorSize;
    share.m_strLabel = m_strLabel;
    share.m_pMap = m_pMap;
    share.m_pTable = m_pTable;
    return share;
}

DWORD CFatVolume::OpenTwin(const CShare& share, HANDLE hDevice)
{
    if (!share.m_bOpen || !share.m_pMap || !share.m_pTable)
        return ERROR_INVALID_ACCESS;
    Close();
    m_n64VolumeOffset = share.m_n64VolumeOffset;
    m_dwSectorSize = share.m_dwSectorSize;
    m_reader.Reset(hDevice, CVolumeGeometry{m_n64VolumeOffset, m_dwSectorSize, 0, 0});
    // The disk still answers, and still holds the same volume.
    if (DWORD dwError = ReadBoot())
    {
        Close();
        return dwError;
    }
    const CFatBoot& b = share.m_boot;
    if (m_boot.m_eKind != b.m_eKind || m_boot.m_dwClusterCount != b.m_dwClusterCount ||
        m_boot.m_dwClusterSize != b.m_dwClusterSize || m_boot.m_n64DataSector != b.m_n64DataSector ||
        m_boot.m_n64FatSector != b.m_n64FatSector)
    {
        Close();
        return ERROR_INVALID_DRIVE;
    }
    m_boot = b;
    m_fat.Reset(&m_reader, m_boot);
    m_pMap = share.m_pMap;
    m_pTable = share.m_pTable;
    m_strLabel = share.m_strLabel;
    m_bOpen = true;
    return 0;
}

DWORD CFatVolume::ReadBoot()
{
    std::vector<BYTE> vecSector(4096);
    if (DWORD dwError = m_reader.ReadAt(0, vecSector.data(), 512))
        return dwError;
    if (DWORD dwError = ParseBootSector(vecSector.data(), 512, m_boot))
        return dwError;
    if (m_boot.m_eKind == eKindExfat)
    {
        // The boot region's checksum: a mismatch is noted, not fatal, as
        // the rest of the volume may still be whole.
        const size_t nRegion = static_cast<size_t>(m_boot.m_dwBytesPerSector) * kBootRegionSectors;
        std::vector<BYTE> vecRegion(nRegion);
        if (m_reader.ReadAt(0, vecRegion.data(), nRegion) == 0)
        {
            const DWORD dwSum = ExfatBootChecksum(vecRegion.data(), nRegion - m_boot.m_dwBytesPerSector);
            m_boot.m_bChecksumOk = ReadLE32(vecRegion.data(), nRegion - m_boot.m_dwBytesPerSector) == dwSum;
        }
        else
            m_boot.m_bChecksumOk = false;
    }
    return 0;
}

// The label: the root's label entry (what Windows writes), else the boot
// sector's. A root that cannot be read leaves the boot sector's.
void CFatVolume::ReadFatLabel()
{
    m_strLabel = m_boot.m_szLabel;
    const bool bFixedRoot = m_boot.m_eKind != eKindFat32;
    const ULONGLONG n64Root = bFixedRoot ? m_boot.m_n64RootSector * m_boot.m_dwBytesPerSector
                                         : ClusterOffset(m_boot.m_dwRootCluster);
    const size_t nBytes = bFixedRoot ? std::min<size_t>(m_boot.m_dwRootEntries * kDirEntrySize, 4096)
                                     : std::min<size_t>(m_boot.m_dwClusterSize, 4096);
    std::vector<BYTE> vecRoot(nBytes);
    if (m_reader.ReadAt(n64Root, vecRoot.data(), nBytes) == 0)
    {
        for (size_t nOff = 0; nOff + kDirEntrySize <= nBytes; nOff += kDirEntrySize)
        {
            CDirEntry e;
            ParseDirEntry(vecRoot.data() + nOff, kDirEntrySize, false, e);
            if (e.m_eKind == eDirEnd)
                break;
            if (e.m_eKind == eDirLabel)
            {
                size_t nLength = 11;
                while (nLength > 0 && e.m_byName[nLength - 1] == ' ')
                    --nLength;
                m_strLabel.clear();
                OemText(e.m_byName, nLength, m_strLabel);
                break;
            }
        }
    }
    if (m_strLabel == "NO NAME")
        m_strLabel.clear();
}

// The label and (with bBitmap) the allocation bitmap, from the root's first cluster.
DWORD CFatVolume::ReadExfatRoot(const std::atomic<BYTE>* pStop, bool bBitmap)
{
    std::vector<BYTE> vecCluster(m_boot.m_dwClusterSize);
    if (DWORD dwError = m_reader.ReadAt(ClusterOffset(m_boot.m_dwRootCluster), vecCluster.data(), vecCluster.size()))
        return dwError;
    const size_t nEntries = std::min<size_t>(vecCluster.size() / kDirEntrySize, kRootEntriesLooked);
    CExfatSpecial bitmap;
    bool bFound = false;
    for (size_t i = 0; i < nEntries; ++i)
    {
        const BYTE* p = vecCluster.data() + i * kDirEntrySize;
        if (p[0] == kExfatEnd)
            break;
        CExfatSpecial special;
        WORD wLabel[11];
        DWORD dwUnits = 0;
        // The first bitmap serves the first FAT; with TexFAT's two, the one
        // of the active FAT would matter, and no common writer makes two.
        if (!bFound && p[0] == kExfatBitmap && ParseExfatSpecial(p, kDirEntrySize, special))
        {
            bitmap = special;
            bFound = true;
        }
        else if (p[0] == kExfatLabel && ParseExfatLabel(p, kDirEntrySize, wLabel, dwUnits))
            AppendUtf8(wLabel, dwUnits, m_strLabel);
    }
    const ULONGLONG n64Need = (static_cast<ULONGLONG>(m_boot.m_dwClusterCount) + 7) / 8;
    if (!bBitmap || !bFound || !ValidCluster(bitmap.m_dwFirstCluster) || bitmap.m_n64Length < n64Need ||
        !m_pMap->Reset(m_boot.m_dwClusterCount))
        return 0;  // states stay unknown
    // The bitmap's clusters: its FAT chain, else contiguous.
    std::vector<CByteRun> vecRuns;
    const ULONGLONG n64Clusters = (n64Need + m_boot.m_dwClusterSize - 1) / m_boot.m_dwClusterSize;
    ULONGLONG n64Chained = 0;
    if (ChainRuns(bitmap.m_dwFirstCluster, n64Clusters, vecRuns, n64Chained) != 0)
    {
        vecRuns.clear();
        if (!ContiguousRuns(bitmap.m_dwFirstCluster, n64Clusters, vecRuns))
        {
            m_pMap->Clear();
            return 0;
        }
    }
    DWORD dwError = 0;
    size_t nDone = 0;
    for (const CByteRun& run : vecRuns)
    {
        const size_t nPart = static_cast<size_t>(std::min<ULONGLONG>(run.m_n64Length, m_pMap->ByteCount() - nDone));
        if ((dwError = m_reader.ReadAt(run.m_n64Offset, m_pMap->Bytes() + nDone, nPart)) != 0)
            break;
        nDone += nPart;
    }
    if (dwError == ERROR_OPERATION_ABORTED || (pStop && pStop->load()))
        return ERROR_OPERATION_ABORTED;
    if (dwError != 0)
        m_pMap->Clear();
    return 0;
}

ULONGLONG CFatVolume::ClusterOffset(DWORD dwCluster) const
{
    return (m_boot.m_n64DataSector * m_boot.m_dwBytesPerSector) +
           static_cast<ULONGLONG>(dwCluster - kFirstCluster) * m_boot.m_dwClusterSize;
}

DWORD CFatVolume::AddEntry(const CWalkedEntry& entry, const char* pName, size_t nName, DWORD& dwId)
{
    return m_pTable->Add(entry, pName, nName, dwId);
}

// ---- clusters of a file --------------------------------------------------------

void CFatVolume::AddRun(std::vector<CByteRun>& vecRuns, DWORD dwCluster) const
{
    const ULONGLONG n64Offset = ClusterOffset(dwCluster);
    if (!vecRuns.empty() && vecRuns.back().m_n64Offset + vecRuns.back().m_n64Length == n64Offset)
        vecRuns.back().m_n64Length += m_boot.m_dwClusterSize;
    else
        vecRuns.push_back({n64Offset, m_boot.m_dwClusterSize});
}

DWORD CFatVolume::ChainRuns(DWORD dwFirst, ULONGLONG n64Max, std::vector<CByteRun>& vecRuns,
                            ULONGLONG& n64Clusters)
{
    n64Clusters = 0;
    DWORD dwCluster = dwFirst;
    // A chain longer than the volume's clusters loops.
    const ULONGLONG n64Bound = std::min<ULONGLONG>(n64Max, m_boot.m_dwClusterCount);
    while (n64Clusters < n64Bound)
    {
        if (!ValidCluster(dwCluster))
            return ERROR_FILE_CORRUPT;
        if (vecRuns.size() >= CFatData::kMaxRuns)
            return ERROR_FILE_TOO_LARGE;
        AddRun(vecRuns, dwCluster);
        ++n64Clusters;
        DWORD dwNext = 0;
        if (DWORD dwError = m_fat.Entry(dwCluster, dwNext))
            return dwError;
        if (dwNext >= ChainEndValue(m_boot.m_eKind))
            break;
        dwCluster = dwNext;
    }
    return n64Clusters < n64Max ? ERROR_FILE_CORRUPT : 0;
}

namespace
{

// A chain that comes back to a cluster it passed (a loop the length bound
// alone would not see) gives runs that overlap.
bool RunsOverlap(std::vector<CByteRun> vecRuns)
{
    std::sort(vecRuns.begin(), vecRuns.end(),
              [](const CByteRun& a, const CByteRun& b) { return a.m_n64Offset < b.m_n64Offset; });
    for (size_t i = 1; i < vecRuns.size(); ++i)
        if (vecRuns[i - 1].m_n64Offset + vecRuns[i - 1].m_n64Length > vecRuns[i].m_n64Offset)
            return true;
    return false;
}

}  // namespace

bool CFatVolume::ContiguousRuns(DWORD dwFirst, ULONGLONG n64Count, std::vector<CByteRun>& vecRuns) const
{
    if (n64Count == 0)
        return true;
    if (!ValidCluster(dwFirst) || n64Count > m_boot.m_dwClusterCount - (dwFirst - kFirstCluster))
        return false;
    vecRuns.push_back({ClusterOffset(dwFirst), n64Count * m_boot.m_dwClusterSize});
    return true;
}

void CFatVolume::DeletedRuns(DWORD dwFirst, ULONGLONG n64Count, std::vector<CByteRun>& vecRuns) const
{
    if (m_pMap->Known() && !m_pMap->InUse(dwFirst))
    {
        // Around the clusters other files hold now, as far as the volume goes.
        ULONGLONG n64Found = 0;
        const DWORD dwEnd = kFirstCluster + m_boot.m_dwClusterCount;
        for (DWORD dw = dwFirst; dw < dwEnd && n64Found < n64Count && vecRuns.size() < CFatData::kMaxRuns; ++dw)
        {
            if (m_pMap->InUse(dw))
                continue;
            AddRun(vecRuns, dw);
            ++n64Found;
        }
        if (n64Found == n64Count)
            return;
        vecRuns.clear();
    }
    // Contiguous, as far as the volume goes.
    const ULONGLONG n64Left = m_boot.m_dwClusterCount - (dwFirst - kFirstCluster);
    ContiguousRuns(dwFirst, std::min(n64Count, n64Left), vecRuns);
}

void CFatVolume::DeletedState(DWORD dwFirst, ULONGLONG n64Count, CFatRow& row) const
{
    if (n64Count == 0 || !ValidCluster(dwFirst))
    {
        row.m_eState = eRowStateNoData;
        row.m_byFreePercent = 0;
        return;
    }
    if (!m_pMap->Known())
    {
        row.m_eState = eRowStateUnknown;
        row.m_byFreePercent = 0;
        return;
    }
    // The clusters from the first on that the size needs; those past the
    // volume's end count as lost.
    const ULONGLONG n64Left = m_boot.m_dwClusterCount - (dwFirst - kFirstCluster);
    const ULONGLONG n64Inside = std::min(n64Count, n64Left);
    ULONGLONG n64Free = 0;
    for (ULONGLONG n = 0; n < n64Inside; ++n)
        if (!m_pMap->InUse(static_cast<DWORD>(dwFirst + n)))
            ++n64Free;
    row.m_byFreePercent = static_cast<BYTE>(n64Free * 100 / n64Count);
    row.m_eState = n64Free == n64Count ? eRowStateRecoverable : n64Free == 0 ? eRowStateOverwritten : eRowStatePartial;
}

DWORD CFatVolume::DataRuns(const CWalkedEntry& e, ULONGLONG n64Clusters, std::vector<CByteRun>& vecRuns)
{
    // No file is larger than the volume.
    if (!ValidCluster(e.m_dwFirstCluster) || n64Clusters > m_boot.m_dwClusterCount)
        return ERROR_FILE_CORRUPT;
    if (e.m_byFlags & CWalkedEntry::kNoFatChain)
        return ContiguousRuns(e.m_dwFirstCluster, n64Clusters, vecRuns) ? 0 : ERROR_FILE_CORRUPT;
    if (e.m_byFlags & CWalkedEntry::kDeleted)
    {
        DeletedRuns(e.m_dwFirstCluster, n64Clusters, vecRuns);
        return 0;
    }
    ULONGLONG n64Got = 0;
    if (DWORD dwError = ChainRuns(e.m_dwFirstCluster, n64Clusters, vecRuns, n64Got))
        return dwError;
    return RunsOverlap(vecRuns) ? ERROR_FILE_CORRUPT : 0;
}

DWORD CFatVolume::OpenData(DWORD dwEntry, CFatData& data)
{
    data = CFatData();
    if (!m_bOpen)
        return ERROR_INVALID_ACCESS;
    CWalkedEntry e;
    if (!m_pTable->Get(dwEntry, e))
        return ERROR_NO_MORE_FILES;
    data.m_reader = m_reader;
    data.m_reader.SetStopFlag(nullptr);
    if (e.m_byFlags & CWalkedEntry::kDirectory)
    {
        data.m_bOpen = true;
        return 0;
    }
    const bool bExfat = m_boot.m_eKind == eKindExfat;
    const ULONGLONG n64Stored = bExfat ? std::min(e.m_n64ValidLength, e.m_n64Size) : e.m_n64Size;
    const ULONGLONG n64Clusters =
        n64Stored / m_boot.m_dwClusterSize + (n64Stored % m_boot.m_dwClusterSize ? 1 : 0);
    if (DWORD dwError = n64Clusters ? DataRuns(e, n64Clusters, data.m_vecRuns) : 0)
    {
        data = CFatData();
        return dwError;
    }
    ULONGLONG n64Covered = 0;
    for (const CByteRun& run : data.m_vecRuns)
        n64Covered += run.m_n64Length;
    data.m_tail.m_n64Size = e.m_n64Size;
    data.m_tail.m_n64Stored = std::min(n64Stored, n64Covered);
    data.m_bOpen = true;
    return 0;
}

}  // namespace fat
