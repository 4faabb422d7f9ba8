// What the file list shows, decided once for every front end: the columns,
// the rows a scan lists and the texts of their cells. No toolkit here.
#pragma once

#include "ntfs/NTFSDrive.h"
#include "platform/Win32.h"

#include <string>
#include <vector>

// Column indices of the list, as created; shown in the order kColumnOrder.
enum EFileColumn
{
    eColumnName = 0,
    eColumnNumber = 1,
    eColumnAttributes = 2,
    eColumnDeleted = 3,
    eColumnClusters = 4,
    eColumnCount = 5
};

const char* ColumnHeading(int nColumn);  // UTF-8
int ColumnWidth(int nColumn);            // pixels
// Column indices from left to right: "#" first, then the name, then the rest.
extern const int kColumnOrder[eColumnCount];

// The labels of a flags value, in the fixed order of the bits (UTF-8).
std::string AttributeLabels(DWORD dwFileFlags);
// "是" for a record no longer in use, else empty.
const char* DeletedMark(BYTE bNotInUse);

// Row n of a scan describes record n + 30: the records before it are the
// volume's own.
const DWORD kFirstListedRecord = 30;

// One listed record. Its name lives in the name pool of the store (or of the
// batch that carries the row there), so a row costs a few bytes and no
// allocation of its own.
struct CScanRow
{
    DWORD m_dwRecord = 0;
    DWORD m_dwNameOffset = 0;  // UTF-8
    WORD m_wNameLength = 0;
    BYTE m_bNotInUse = 0;
    DWORD m_dwFileFlags = 0;
    DWORD m_dwClusters = 0;    // low 32 bits of the cluster count
};

// Rows on their way from the scan to the list, with their names.
struct CRowBatch
{
    std::string m_strNames;
    std::vector<CScanRow> m_vecRows;

    // The row of a described record. szName's bytes are UTF-16 units below
    // 256 each, so they are Latin-1 and become UTF-8 here.
    void Add(DWORD dwRecord, const MFTEntryInfo& info);
    bool Empty() const { return m_vecRows.empty(); }
    size_t Size() const { return m_vecRows.size(); }
};

class CRowStore
{
public:
    void Clear();
    void Append(CRowBatch&& batch);
    size_t Size() const { return m_vecRows.size(); }
    const CScanRow& Row(size_t nRow) const { return m_vecRows[nRow]; }
    std::string Name(size_t nRow) const;
    // The cell's text, UTF-8.
    std::string Text(size_t nRow, int nColumn) const;

private:
    std::string m_strNames;
    std::vector<CScanRow> m_vecRows;
};
