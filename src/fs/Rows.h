// The rows a walk of any file system lists: one per file or folder, small
// and alike whatever the file system, with the names and folder texts they
// point to travelling beside them in batches.
#pragma once

#include "platform/Win32.h"

#include <string>
#include <vector>

// Whether a row's data can still come back whole, from what the volume's
// allocation map says of its clusters now.
enum ERowState : BYTE
{
    eRowStateUnknown = 0,  // not known: no allocation map, or not worked out
    eRowStateLive,         // in use: a live file
    eRowStateRecoverable,  // deleted, none of its clusters in use now (or its data in the record)
    eRowStatePartial,      // deleted, some of its clusters in use now
    eRowStateOverwritten,  // deleted, every cluster of its data in use now
    eRowStateNoData,       // deleted, with no data to come back (empty, or none)
};

// One listed file or folder. Its name lives in the name pool of the store (or
// of the batch that carries the row there), so a row costs a few bytes and no
// allocation of its own.
struct CScanRow
{
    DWORD m_dwRecord = 0;      // the id the volume finds the row again by (NTFS: the record number)
    DWORD m_dwNameOffset = 0;  // UTF-8
    WORD m_wNameLength = 0;
    BYTE m_bNotInUse = 0;
    BYTE m_byRowFlags = 0;     // kRowDamaged, kRowDirectory, kRowHasSize, kRowWallClock
    DWORD m_dwFileFlags = 0;
    DWORD m_dwClusters = 0;    // low 32 bits of the cluster count
    DWORD m_dwFolder = kNoFolder;  // the folder it was in, an index of the store's folders
    ERowState m_eState = eRowStateUnknown;
    BYTE m_byFreePercent = 0;  // share of the data's clusters free now, 0 to 100
    ULONGLONG m_n64Size = 0;   // bytes of the file's own data (kRowHasSize)
    // Last written, in 100-ns units since 1601 (0: not known); UTC unless
    // kRowWallClock says the volume kept a local clock time without a zone.
    ULONGLONG m_n64Modified = 0;

    static const DWORD kNoFolder = 0xFFFFFFFFu;
    // A record that cannot be read as it stands: no name, no flags, not deleted.
    static const BYTE kRowDamaged = 0x01;
    // The record holds a folder.
    static const BYTE kRowDirectory = 0x02;
    // m_n64Size holds the size of the row's data (folders and rows without data have none).
    static const BYTE kRowHasSize = 0x04;
    // m_n64Modified is a wall-clock time as the volume stored it (FAT), not UTC.
    static const BYTE kRowWallClock = 0x08;
    // The size and state come with a later batch (CRowUpdate): the file's
    // data lies in records the walk had not reached yet.
    static const BYTE kRowStatePending = 0x10;
};

// The size and state of a row sent before, found by its id.
struct CRowUpdate
{
    DWORD m_dwRecord = 0;
    ERowState m_eState = eRowStateUnknown;
    BYTE m_byFreePercent = 0;
    bool m_bHasSize = false;
    ULONGLONG m_n64Size = 0;
};

// Rows on their way from a walk to the list, with their names and the
// folders first met since the batch before.
struct CRowBatch
{
    std::string m_strNames;
    std::vector<CScanRow> m_vecRows;
    std::vector<std::string> m_vecNewFolders;  // folders m_dwFirstNewFolder, ... in order
    DWORD m_dwFirstNewFolder = 0;
    // The "#" a row shows is its id minus this: the file system's choice
    // (NTFS numbers rows from record 30 on, FAT by their place in the walk).
    DWORD m_dwNumberBase = 0;
    std::vector<CRowUpdate> m_vecUpdates;  // rows sent before, in this or an earlier batch

    // A row of id dwId under the name at pName (UTF-8, cut at 65,535 bytes);
    // the caller fills in the rest.
    CScanRow& Add(DWORD dwId, const char* pName, size_t nName, DWORD dwFolder = CScanRow::kNoFolder,
                  BYTE byRowFlags = 0);
    // The row of an entry that cannot be read as it stands.
    void AddDamaged(DWORD dwId);
    bool Empty() const { return m_vecRows.empty() && m_vecUpdates.empty(); }
    size_t Size() const { return m_vecRows.size(); }
};

// The text of a folder inside the folder whose text is strParent: folder
// texts run from the root, "\" for the root, "\文档\2024年" two folders down.
std::string ChildPath(const std::string& strParent, const std::string& strName);
