// What the file list shows, decided once for every front end: the columns
// and the texts of their cells (the rows themselves: RowStore.h). No
// toolkit here.
#pragma once

#include "fs/FileSystem.h"
#include "fs/Rows.h"
#include "platform/Win32.h"

#include <string>

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
