// What a walk found of each entry, kept so that a row's id finds it again:
// what its data needs, its name, its times, and the folders' texts. One walk
// appends while saves of the walked volume's twins read, so every call takes
// the table's own lock; entries and names sit in blocks that never move.
#pragma once

#include "platform/Win32.h"

#include <mutex>
#include <string>
#include <vector>

namespace fat
{

// What the walk keeps per entry: what its data and its description need.
struct CWalkedEntry
{
    ULONGLONG m_n64Size = 0;
    ULONGLONG m_n64ValidLength = 0;
    ULONGLONG m_n64Created = 0;   // 100-ns units since 1601, 0 for none
    ULONGLONG m_n64Modified = 0;
    DWORD m_dwFirstCluster = 0;
    DWORD m_dwFolder = 0;
    DWORD m_dwNameOffset = 0;     // in the table's names
    WORD m_wNameLength = 0;
    BYTE m_byAttributes = 0;      // FILE_ATTRIBUTE_* bits as the entry has them
    BYTE m_byFlags = 0;

    static const BYTE kDeleted = 1;
    static const BYTE kDirectory = 2;
    static const BYTE kNoFatChain = 4;
    static const BYTE kCreatedWallClock = 8;   // the times are the wall clock, not UTC
    static const BYTE kModifiedWallClock = 16;
};

class CFatEntryTable
{
public:
    CFatEntryTable() { m_vecFolders.assign(1, "\\"); }

    // Keeps the entry and its name (UTF-8); its id in dwId. ERROR_FILE_TOO_LARGE
    // past 2^32 - 1 entries or 4 GiB of names.
    DWORD Add(const CWalkedEntry& entry, const char* pName, size_t nName, DWORD& dwId);
    // False for an id the table does not hold.
    bool Get(DWORD dwId, CWalkedEntry& entry, std::string* pName = nullptr) const;
    size_t Count() const;

    // Folder 0 is the root, "\".
    DWORD AddFolder(std::string strText);
    std::string Folder(size_t nFolder) const;
    size_t FolderCount() const;
    // Folders nFrom, ... appended to vecOut.
    void FoldersFrom(size_t nFrom, std::vector<std::string>& vecOut) const;

    static const size_t kBlock = 1u << 16;
    static const size_t kNameChunk = 1u << 22;

private:
    mutable std::mutex m_lock;
    std::vector<std::vector<CWalkedEntry>> m_vecBlocks;
    size_t m_nEntries = 0;
    std::vector<std::string> m_vecNameChunks;  // offset: chunk * kNameChunk + place
    std::vector<std::string> m_vecFolders;
};

}  // namespace fat
