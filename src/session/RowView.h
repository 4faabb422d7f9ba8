// The rows a list shows of a store, in the order and with the filter the
// user chose: sorted by a column (clicking again reverses), narrowed to names
// or folders holding a text (case folded) and, if asked, to deleted records,
// or to deleted records whose data can still come back whole ("可恢复").
// No toolkit; a front end maps its rows through StoreRow. Sorting or
// filtering 400,000 rows takes a small fraction of a second.
#pragma once

#include "session/RowStore.h"

#include <string>
#include <vector>

class CRowView
{
public:
    // nColumn < 0: the scan's order. Once rows are shown, a new order or
    // filter takes effect at the next Rebuild.
    void SetOrder(int nColumn, bool bDescending);
    void SetFilter(const std::string& strText, bool bDeletedOnly, bool bRecoverableOnly = false);
    // Builds the view anew over every row of the store.
    void Rebuild(const CRowStore& store);
    // Adds the rows the store gained since the view last saw it, each at its
    // place in the order; when rows it holds changed state (the store's
    // updates) and the order or the filter looks at states, all anew.
    void Append(const CRowStore& store);
    // Append would place rows already shown anew: a front end tells its
    // list that the whole layout changes, not only that rows were added.
    bool StatesMoveRows(const CRowStore& store) const;
    // How many of the rows Append would add pass the filter (in the scan's
    // order they all go at the end, which a front end announces first).
    size_t CountNew(const CRowStore& store);
    void Clear();

    size_t Size() const { return m_bEveryRow ? m_nSeen : m_vecRows.size(); }
    size_t StoreRow(size_t nViewRow) const { return m_bEveryRow ? nViewRow : m_vecRows[nViewRow]; }
    int SortColumn() const { return m_nColumn; }
    bool Descending() const { return m_bDescending; }
    bool Filtered() const { return !m_strFolded.empty() || m_bDeletedOnly || m_bRecoverableOnly; }
    // Whether row nRow of the store passes the filter (after Append or CountNew).
    bool Passes(const CRowStore& store, size_t nRow) const;

private:
    bool EveryRowShown() const { return m_nColumn < 0 && !m_bDescending && !Filtered(); }
    bool LooksAtStates() const;
    void PrepareFolders(const CRowStore& store);
    void FoldNewNames(const CRowStore& store);
    void SortRange(const CRowStore& store, std::vector<DWORD>::iterator itFirst,
                   std::vector<DWORD>::iterator itLast) const;
    bool Less(const CRowStore& store, DWORD dwA, DWORD dwB) const;
    // What a column other than the name and the folder sorts by, as one number.
    ULONGLONG NumericKey(const CScanRow& row) const;

    std::vector<DWORD> m_vecRows;   // rows of the store, in view order
    size_t m_nSeen = 0;             // rows of the store looked at so far
    // Every row in the scan's order, as a list mostly is: row n of the view
    // is row n of the store, and m_vecRows stays empty. Decided while the
    // view is empty, so that rows already shown keep their places until the
    // next Rebuild.
    bool m_bEveryRow = true;
    int m_nColumn = -1;
    bool m_bDescending = false;
    std::string m_strFolded;        // the filter text, case folded
    bool m_bDeletedOnly = false;
    bool m_bRecoverableOnly = false;
    size_t m_nUpdatesSeen = 0;      // the store's updates the rows were placed after
    std::vector<DWORD> m_vecFolderRank;    // folders in sorted order, for the path column
    std::vector<BYTE> m_vecFolderMatch;    // 1: the folder's text holds the filter text
    // The store's name chunks case folded; folding keeps every byte where it
    // was, so a row's offset and length serve both.
    std::vector<std::string> m_vecFoldedNames;
    const char* FoldedName(const CScanRow& row) const
    {
        return m_vecFoldedNames[row.m_dwNameOffset >> CRowStore::kNameChunkBits].data() +
               (row.m_dwNameOffset & (CRowStore::kNameChunk - 1));
    }
};

// The text with letters of the common scripts (Latin, Greek, Cyrillic) in
// lower case, so "ФОТО" and "фото", "Résumé" and "rÉSUMÉ" meet. Every
// character keeps its length in bytes.
std::string FoldCase(const char* pText, size_t nLength);
