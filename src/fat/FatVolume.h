// A FAT12, FAT16, FAT32 or exFAT volume: opened from its boot sector, walked
// from the root into rows (live and deleted files and folders), and a row's
// data opened as a stream.
//
// Contract:
// - Open(device, volume offset, sector size) reads the boot sector, keeps the
//   geometry and reads which clusters are in use now: the FAT once (FAT12/16/
//   32: a cluster is in use when its entry is not 0) or exFAT's allocation
//   bitmap. Codes: 0; ERROR_INVALID_DRIVE when the boot sector is no FAT or
//   exFAT one, or its fields do not fit together; ERROR_OPERATION_ABORTED
//   after a stop; the disk's codes. A map that would need more than
//   CClusterMap::kMaxBytes, or an exFAT bitmap that cannot be read, is left
//   out: the volume still opens and deleted rows say eRowStateUnknown.
// - Walk lists every entry from the root down, one row per file or folder,
//   live ones first in folder order, then the deleted folders' contents; a
//   deleted folder's entries are listed under its path and are deleted rows
//   themselves. Rows reach the sink in batches, each with the folder texts
//   first met since the batch before. The walk checks bStop between
//   clusters and then returns ERROR_OPERATION_ABORTED; a damaged
//   directory, entry set or long name is skipped (the short entry still
//   listed) and the walk goes on. Only the stop, the sink's own code and a
//   failed read of the root end it.
// - Bounds: folders at most kMaxDepth deep; a directory read as at most
//   kMaxFatDirBytes (FAT) or kMaxExfatDirBytes (exFAT); no cluster read as a
//   folder's twice (a chain that loops or runs into another folder ends
//   there, a folder that points to itself or its parent is not walked again),
//   so the whole walk reads at most the volume's clusters once.
// - A deleted FAT folder's size is not stored: its clusters are read from its
//   first on, as contiguous, until a cluster in use now (after the first), a
//   cluster that starts another folder (a "." entry first), one that holds
//   anything but plausible directory entries, the end of the volume or the
//   cap. A deleted exFAT folder has its length stored and is read as far. A
//   deleted folder whose first cluster is in use now may hold another's
//   entries: its path then starts with "?\".
// - OpenData(entry) gives a row's data (see CFatData); folders give an empty
//   stream.
// - Memory: the geometry, the cluster map (at most CClusterMap::kMaxBytes),
//   one FAT window (CFatTable); during a walk the numbers of the clusters
//   read as folders'; per walked entry 48 bytes and its name, per folder its
//   text once (CFatEntryTable), so that a row's id finds it again.
// - One thread uses an object at a time.
#pragma once

#include "fat/FatEntryTable.h"
#include "fat/FatNames.h"
#include "fat/FatReader.h"
#include "fat/FatStructures.h"
#include "fs/Rows.h"
#include "fs/StreamRead.h"
#include "platform/Win32.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace fat
{

struct CFatRow
{
    DWORD m_dwEntry = 0;         // the row's id: its index in the volume's table of walked entries
    DWORD m_dwNameOffset = 0;    // the name in the batch's m_strNames, UTF-8
    WORD m_wNameLength = 0;
    DWORD m_dwFolder = 0;        // the folder it is in: CFatVolume::Folder(m_dwFolder)
    DWORD m_dwFileFlags = 0;     // FILE_ATTRIBUTE_READONLY, _HIDDEN, _SYSTEM, _DIRECTORY, _ARCHIVE
    bool m_bDeleted = false;
    bool m_bDirectory = false;
    bool m_bNoFatChain = false;  // exFAT: the clusters are contiguous, the FAT unused
    ERowState m_eState = eRowStateLive;
    BYTE m_byFreePercent = 100;  // of its clusters, the share not in use now
    DWORD m_dwFirstCluster = 0;
    ULONGLONG m_n64Size = 0;     // bytes; folders: 0
    ULONGLONG m_n64Clusters = 0; // the clusters its size needs; a live folder: its chain's length
    CFatTime m_creation;
    CFatTime m_modification;
};

struct CFatRowBatch
{
    std::string m_strNames;
    std::vector<CFatRow> m_vecRows;
    std::vector<std::string> m_vecNewFolders;  // folders m_dwFirstNewFolder, ... in order
    DWORD m_dwFirstNewFolder = 0;
    // How far the walk got when the batch left: folders read, of those known.
    DWORD m_dwFoldersRead = 0;
    DWORD m_dwFoldersKnown = 0;
    std::string Name(const CFatRow& row) const { return m_strNames.substr(row.m_dwNameOffset, row.m_wNameLength); }
};

class IFatSink
{
public:
    // Rows in walk order; a non-zero code ends the walk with that code.
    virtual DWORD OnRows(CFatRowBatch&& batch) = 0;

protected:
    ~IFatSink() = default;
};

// One stretch of the volume, in bytes from its start.
struct CByteRun
{
    ULONGLONG m_n64Offset = 0;
    ULONGLONG m_n64Length = 0;
};

// A row's data, read in pieces of any size at any offset.
// - Live FAT file: its FAT chain, as long as its size needs; a chain that
//   ends early, loops or leaves the volume is ERROR_FILE_CORRUPT at open.
// - Live exFAT file: contiguous with NoFatChain, else its chain; bytes past
//   the valid data length read as zeros.
// - Deleted exFAT file with NoFatChain: contiguous, exact.
// - Deleted FAT file (and deleted exFAT file without NoFatChain): the FAT
//   no longer holds its chain. From its first cluster on, the clusters in
//   use now by other files are passed over, as a file written around them
//   lay, until its size is covered. When the first cluster is in use now
//   itself, or the volume ends before the size is covered, or the map of
//   clusters is unknown, the clusters are read as they come, contiguous.
// - Codes of Read: 0; ERROR_HANDLE_EOF past Size(); ERROR_INVALID_ACCESS
//   before Open; the disk's codes.
class CFatData
{
public:
    ULONGLONG Size() const { return m_tail.m_n64Size; }
    bool IsOpen() const { return m_bOpen; }
    DWORD Read(ULONGLONG n64Offset, BYTE* pDest, size_t nCount);
    // Bytes from the offset that are zeros nothing on the disk stands for
    // (past the valid data length), or that are not; 0 where the other applies.
    ULONGLONG HoleLength(ULONGLONG n64Offset) const;
    ULONGLONG DataLength(ULONGLONG n64Offset) const;
    // Later reads go through another handle on the same disk.
    void SetDevice(HANDLE hDevice) { m_reader.SetDevice(hDevice); }
    void SetStopFlag(const std::atomic<BYTE>* pStop) { m_reader.SetStopFlag(pStop); }
    const std::vector<CByteRun>& Runs() const { return m_vecRuns; }

    static const size_t kMaxRuns = 1u << 20;

private:
    friend class CFatVolume;
    bool m_bOpen = false;
    CVolumeReader m_reader;
    std::vector<CByteRun> m_vecRuns;  // together they cover the tail's stored bytes
    CZeroTail m_tail;                 // the size, and zeros past what is stored
    size_t m_nLastRun = 0;            // where the last read ended
    ULONGLONG m_n64LastRunStart = 0;
};

class CFatVolume
{
public:
    DWORD Open(HANDLE hDevice, ULONGLONG n64VolumeOffset, DWORD dwSectorSize,
               const std::atomic<BYTE>* pStop = nullptr);
    // Reads the boot sector and the label alone (a few sectors); the volume
    // stays closed. Open's codes.
    DWORD ReadLabelOnly(HANDLE hDevice, ULONGLONG n64VolumeOffset, DWORD dwSectorSize, std::string& strLabel);
    // What a twin of this volume shares with it (see OpenTwin).
    struct CShare
    {
        bool m_bOpen = false;
        CFatBoot m_boot;
        ULONGLONG m_n64VolumeOffset = 0;
        DWORD m_dwSectorSize = 512;
        std::string m_strLabel;
        std::shared_ptr<CClusterMap> m_pMap;
        std::shared_ptr<CFatEntryTable> m_pTable;
    };
    CShare Share() const;
    // Opens, through another handle on the same disk, the volume a share was
    // taken of: the boot sector is read again and must be the same; the map
    // of clusters in use and the entries of its walk (the one in hand too)
    // are shared, so the ids of its rows find them here. 0;
    // ERROR_INVALID_ACCESS when that volume was not open; ERROR_INVALID_DRIVE
    // when the boot sector is another's now; the disk's codes.
    DWORD OpenTwin(const CShare& share, HANDLE hDevice);
    void Close();
    bool IsOpen() const { return m_bOpen; }

    DWORD Walk(IFatSink& sink, const std::atomic<BYTE>& bStop);
    DWORD OpenData(DWORD dwEntry, CFatData& data);

    EFatKind Kind() const { return m_boot.m_eKind; }
    const CFatBoot& Boot() const { return m_boot; }
    // The volume label (UTF-8): the root's label entry, else the boot sector's.
    const std::string& Label() const { return m_strLabel; }
    bool MapKnown() const { return m_pMap->Known(); }
    bool ClusterInUse(DWORD dwCluster) const { return m_pMap->InUse(dwCluster); }
    // A later walk or read goes through another handle on the same disk.
    void SetDevice(HANDLE hDevice) { m_reader.SetDevice(hDevice); }

    size_t EntryCount() const { return m_pTable->Count(); }
    // The entry of a row by its id, with its name: false for an id no walk gave.
    bool Entry(DWORD dwEntry, CWalkedEntry& entry, std::string* pName = nullptr) const
    {
        return m_pTable->Get(dwEntry, entry, pName);
    }
    // "\" for the root, "\Photos\2024" deeper; "?\..." below a folder whose
    // clusters may hold another's entries.
    size_t FolderCount() const { return m_pTable->FolderCount(); }
    std::string Folder(size_t nFolder) const { return m_pTable->Folder(nFolder); }
    // Folders of the last walk that could not be read (their entries are not listed).
    DWORD UnreadFolders() const { return m_dwUnreadFolders; }
    ULONGLONG VolumeOffset() const { return m_n64VolumeOffset; }
    DWORD SectorSize() const { return m_dwSectorSize; }

    static const DWORD kMaxDepth = 128;
    static const DWORD kMaxFatDirBytes = 2u << 20;     // 65,536 entries, FAT's own limit
    static const DWORD kMaxExfatDirBytes = 256u << 20; // exFAT's own limit

private:
    friend class CFatWalk;
    friend class CDirCursor;
    DWORD ReadBoot();
    DWORD ReadExfatRoot(const std::atomic<BYTE>* pStop, bool bBitmap);
    void ReadFatLabel();
    DWORD AddEntry(const CWalkedEntry& entry, const char* pName, size_t nName, DWORD& dwId);
    ULONGLONG ClusterOffset(DWORD dwCluster) const;
    bool ValidCluster(DWORD dwCluster) const
    {
        return dwCluster >= kFirstCluster && dwCluster - kFirstCluster < m_boot.m_dwClusterCount;
    }
    // The clusters of a chain from dwFirst, at most n64Max of them, as runs.
    DWORD ChainRuns(DWORD dwFirst, ULONGLONG n64Max, std::vector<CByteRun>& vecRuns, ULONGLONG& n64Clusters);
    // Contiguous clusters from dwFirst, n64Count of them inside the volume.
    bool ContiguousRuns(DWORD dwFirst, ULONGLONG n64Count, std::vector<CByteRun>& vecRuns) const;
    // The runs of an entry's first n64Clusters clusters, by the rules CFatData states.
    DWORD DataRuns(const CWalkedEntry& e, ULONGLONG n64Clusters, std::vector<CByteRun>& vecRuns);
    // A deleted file's clusters by the rule CFatData states.
    void DeletedRuns(DWORD dwFirst, ULONGLONG n64Count, std::vector<CByteRun>& vecRuns) const;
    void AddRun(std::vector<CByteRun>& vecRuns, DWORD dwCluster) const;
    // The state of a deleted row with n64Count clusters from dwFirst.
    void DeletedState(DWORD dwFirst, ULONGLONG n64Count, CFatRow& row) const;

    bool m_bOpen = false;
    CVolumeReader m_reader;
    CFatBoot m_boot;
    CFatTable m_fat;
    // Never changed once open, so twins share it.
    std::shared_ptr<CClusterMap> m_pMap = std::make_shared<CClusterMap>();
    std::string m_strLabel;
    ULONGLONG m_n64VolumeOffset = 0;
    DWORD m_dwSectorSize = 512;
    // The last walk's entries, shared with twins; a new walk starts a new one.
    std::shared_ptr<CFatEntryTable> m_pTable = std::make_shared<CFatEntryTable>();
    DWORD m_dwUnreadFolders = 0;
};

}  // namespace fat
