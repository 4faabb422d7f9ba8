// The walk behind CFatVolume::Walk: folders in a stack, each read cluster by
// cluster, its entries turned into rows. Inside the FAT layer only.
#pragma once

#include "fat/FatVolume.h"

#include <chrono>
#include <unordered_set>

namespace fat
{

struct CDirJob
{
    DWORD m_dwFirstCluster = 0;  // 0: the fixed root of FAT12/16
    DWORD m_dwFolder = 0;        // the folder its entries are in
    DWORD m_dwDepth = 0;
    bool m_bDeleted = false;
    bool m_bNoFatChain = false;
    ULONGLONG m_n64Size = 0;     // exFAT: its data length; 0 when not stored
};

// The bytes of one directory, a cluster (or a piece of the fixed root) at a time.
class CDirCursor
{
public:
    // setRead: every cluster read as a folder's so far; the cursor adds its
    // own and stops before one that is in it already.
    CDirCursor(CFatVolume& volume, CFatTable& fat, const CDirJob& job, std::unordered_set<DWORD>& setRead);
    // The next piece in pData; false at the directory's end, with dwError set
    // when a read failed.
    bool Next(std::vector<BYTE>& vecData, DWORD& dwError);

private:
    bool NextCluster(DWORD& dwError);

    CFatVolume& m_volume;
    CFatTable& m_fat;
    CDirJob m_job;
    ULONGLONG m_n64Done = 0;     // bytes handed out
    ULONGLONG m_n64Limit = 0;    // bytes at most
    DWORD m_dwCluster = 0;       // the next cluster to hand out; 0 at the end
    std::unordered_set<DWORD>& m_setRead;
};

class CFatWalk
{
public:
    CFatWalk(CFatVolume& volume, IFatSink& sink, const std::atomic<BYTE>& bStop)
        : m_volume(volume), m_sink(sink), m_bStop(bStop)
    {
    }
    DWORD Run();

    static const size_t kBatchRows = 4096;
    // A batch in hand this old leaves after the cluster being read.
    static constexpr DWORD kBatchMs = 25;

private:
    DWORD WalkDirectory(const CDirJob& job);
    // FAT: one 32-byte entry; false at the directory's end.
    bool FatEntry(const CDirJob& job, const BYTE* pEntry, DWORD& dwError);
    // exFAT: one 32-byte entry, with the entry set being gathered.
    bool ExfatEntry(const CDirJob& job, const BYTE* pEntry, DWORD& dwError);
    DWORD ExfatSet(const CDirJob& job);
    // Whether a cluster begins with a folder's "." entry.
    bool StartsFolder(const std::vector<BYTE>& vecData) const;
    // Whether a cluster of a deleted folder holds directory entries.
    bool Plausible(const std::vector<BYTE>& vecData) const;

    // Lists a row: its name is the last nNameBytes of the batch's names.
    DWORD AddRow(const CDirJob& job, CFatRow& row, const CWalkedEntry& entry, size_t nNameStart);
    // A new folder below dwParent, for a row that is a folder.
    DWORD NewFolder(DWORD dwParent, const char* pName, size_t nName, bool bUncertain);
    void PushJob(const CDirJob& job);
    DWORD Flush();
    // The clusters of a live FAT chain, counted up to the volume's bound.
    ULONGLONG ChainLength(DWORD dwFirst);

    CFatVolume& m_volume;
    IFatSink& m_sink;
    const std::atomic<BYTE>& m_bStop;
    CFatRowBatch m_batch;
    size_t m_nFoldersSent = 0;
    std::vector<CDirJob> m_vecLive;     // live folders still to walk
    std::vector<CDirJob> m_vecDeleted;  // deleted ones, walked after every live one
    std::vector<CDirJob> m_vecChildren; // the folders met in the directory in hand
    // The clusters read as folders': a folder is walked once, a chain that
    // loops or runs into another folder ends there, and no cluster is read
    // as a folder's twice, which bounds the whole walk by the volume's size.
    std::unordered_set<DWORD> m_setRead;
    CLongNameCollector m_longName;
    std::vector<BYTE> m_vecSet;         // the exFAT entry set being gathered
    DWORD m_dwSetEntries = 0;           // how many entries it needs
    DWORD m_dwFoldersRead = 0;          // folders taken from the stacks, the root included
    std::chrono::steady_clock::time_point m_timeBatch;
};

}  // namespace fat
