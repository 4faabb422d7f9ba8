// What the file list shows, decided once for every front end: the columns,
// the rows a scan lists and the texts of their cells. No toolkit here.
#pragma once

#include "fs/FileSystem.h"
#include "fs/Rows.h"
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
    eColumnPath = 5,
    eColumnSize = 6,      // "大小": bytes, grouped by thousands
    eColumnModified = 7,  // "修改时间": local time
    eColumnState = 8,     // "状态": whether the data can still come back
    eColumnCount = 9
};

const char* ColumnHeading(int nColumn);  // UTF-8
int ColumnWidth(int nColumn);            // pixels
// Cells are centred; the name (the first column of a report list) and the
// folder read from the left.
bool ColumnReadsFromLeft(int nColumn);
// The size reads from the right, as numbers do.
bool ColumnReadsFromRight(int nColumn);
// Column indices from left to right: "#" first, then the name, then the rest.
extern const int kColumnOrder[eColumnCount];

// The labels of a flags value, in the fixed order of the bits (UTF-8).
std::string AttributeLabels(DWORD dwFileFlags);
// "是" for a record no longer in use, else empty.
const char* DeletedMark(BYTE bNotInUse);
// The line under the counters, which count what the scan found: how many
// rows the list shows under the filter, and how many of them are selected.
std::string ShownRowsText(size_t nShown, size_t nSelected);

// The cells' texts (UTF-8). "185,900"; empty without kRowHasSize.
std::string SizeText(const CScanRow& row);
std::string GroupedNumber(ULONGLONG n64Value);
// "yyyy-MM-dd HH:mm:ss" in the computer's zone, or as stored for a
// wall-clock time and for one outside 1601 to 2500; empty for 0.
std::string TimeText(ULONGLONG n64Time, bool bWallClock);
// "正常", "可恢复", "部分覆盖 53%", "已覆盖", "无数据", "未知".
std::string StateText(ERowState eState, BYTE byFreePercent);
// The tip of a row: its creation, modification and (NTFS) MFT-change
// times, each on a line.
std::string EntryTimesTip(const CEntryDescription& desc);

// The attribute column of a damaged record's row.
extern const char* const kDamagedRecordText;

class CRowStore
{
public:
    void Clear();
    // Adds the batch's rows, then applies its updates.
    void Append(CRowBatch&& batch);
    size_t Size() const { return m_nRows; }
    // How many updates were applied since the store was last emptied.
    size_t UpdateCount() const { return m_nUpdates; }
    const CScanRow& Row(size_t nRow) const { return m_vecBlocks[nRow / kBlockRows][nRow % kBlockRows]; }
    std::string Name(size_t nRow) const;
    // The name's bytes, without a copy.
    const char* NameData(size_t nRow) const { return NameAt(Row(nRow).m_dwNameOffset); }
    // The names live in chunks of at most kNameChunk bytes that never move,
    // one name after the other; a row's m_dwNameOffset holds its chunk in the
    // bits above kNameChunkBits and its place in the chunk below them.
    static constexpr DWORD kNameChunkBits = 22;
    static constexpr size_t kNameChunk = size_t(1) << kNameChunkBits;
    size_t NameChunkCount() const { return m_vecNameChunks.size(); }
    const std::string& NameChunk(size_t nChunk) const { return m_vecNameChunks[nChunk]; }
    // The text of the folder a row was in; empty when it names none.
    const std::string& FolderText(size_t nRow) const;
    size_t FolderCount() const { return m_vecFolders.size(); }
    const std::string& Folder(size_t nFolder) const { return m_vecFolders[nFolder]; }
    // The cell's text, UTF-8.
    std::string Text(size_t nRow, int nColumn) const;
    // What "#" shows is a row's id minus this, as the batches said.
    DWORD NumberBase() const { return m_dwNumberBase; }

private:
    // Rows live in blocks of a fixed size that never move: millions of rows
    // grow the store without a copy of all of them held beside the old.
    static constexpr size_t kBlockRows = 1u << 16;
    const char* NameAt(DWORD dwOffset) const
    {
        return m_vecNameChunks[dwOffset >> kNameChunkBits].data() + (dwOffset & (kNameChunk - 1));
    }
    DWORD KeepName(const char* pName, WORD wLength);
    // Rows of a scan come in the order of their records: found by halving.
    void ApplyUpdate(const CRowUpdate& update);

    std::vector<std::string> m_vecNameChunks;
    std::vector<std::vector<CScanRow>> m_vecBlocks;
    size_t m_nRows = 0;
    size_t m_nUpdates = 0;
    std::vector<std::string> m_vecFolders;
    DWORD m_dwNumberBase = 0;
};
