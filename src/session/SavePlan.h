// What a save of selected rows writes, decided before the first byte: the
// records in order and which of them are folders, built from the scan's rows
// and the user's selection. Compact (a record number and a bit a row), so a
// selection of a million rows costs a few MiB; nothing of the store is kept,
// so a new scan may empty the list while the save goes on.
//
// - Each file row keeps what the list said of its data: a row whose
//   clusters now hold other data in part or whole is still saved, and the
//   report says so.
// - A flat save writes each selected file row into the chosen folder; a
//   folder row is passed over (it is no file, and no failure either).
// - A save with folders writes each row under the chosen folder at its own
//   folder path; a selected folder row stands for every row whose folder
//   lies under its path (its whole tree, deleted or not), and is made as a
//   folder itself. Rows come in the order given, then the rows a folder
//   brought in, in the scan's order; none comes twice.
#pragma once

#include "session/RowStore.h"

#include <vector>

enum class ESaveMode
{
    eFlat,
    eFolders,
};

// Whether a listed row is a folder, from its attribute flags.
bool IsFolderRow(const CScanRow& row);

class CSavePlan
{
public:
    CSavePlan() = default;
    // vecStoreRows: the selected rows of the store, in the list's order.
    CSavePlan(const CRowStore& store, const std::vector<size_t>& vecStoreRows, ESaveMode eMode);
    // A plan of records given by number, each a file (what a command line knows).
    CSavePlan(const std::vector<DWORD>& vecRecords, ESaveMode eMode);

    ESaveMode Mode() const { return m_eMode; }
    size_t Count() const { return m_vecRecords.size(); }
    DWORD Record(size_t nItem) const { return m_vecRecords[nItem]; }
    bool IsFolder(size_t nItem) const { return m_vecFolder[nItem]; }
    // The item's state as its row had it: eRowStatePartial (with the share
    // still free) or eRowStateOverwritten; eRowStateUnknown for any other.
    ERowState Overwritten(size_t nItem, BYTE& byFreePercent) const;
    // The files among the items (what a progress window counts).
    size_t FileCount() const { return m_nFiles; }
    // Folder rows of a flat save, passed over.
    size_t FoldersPassedOver() const { return m_nFoldersPassedOver; }
    // What the plan holds in memory, in bytes.
    size_t MemoryBytes() const;

private:
    void Add(DWORD dwRecord, bool bFolder, const CScanRow* pRow = nullptr);
    void AddTrees(const CRowStore& store, const std::vector<size_t>& vecFolderRows,
                  std::vector<bool>& vecTaken);

    ESaveMode m_eMode = ESaveMode::eFlat;
    std::vector<DWORD> m_vecRecords;
    std::vector<bool> m_vecFolder;
    // Only the items whose data was overwritten, by item: a plan of a
    // million sound rows costs nothing more.
    struct COverwritten
    {
        DWORD m_dwItem;
        ERowState m_eState;
        BYTE m_byFreePercent;
    };
    std::vector<COverwritten> m_vecOverwritten;
    size_t m_nFiles = 0;
    size_t m_nFoldersPassedOver = 0;
};
