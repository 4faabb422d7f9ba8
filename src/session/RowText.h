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

// Row n of a scan describes record n + 30: the records before it are the
// volume's own.
const DWORD kFirstListedRecord = 30;

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
    DWORD m_dwRecord = 0;      // what the volume finds the row again by (NTFS: the record number)
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
    // data lies in records the scan had not reached yet.
    static const BYTE kRowStatePending = 0x10;
};

// The size and state of a row sent before, found by its m_dwRecord.
struct CRowUpdate
{
    DWORD m_dwRecord = 0;
    ERowState m_eState = eRowStateUnknown;
    BYTE m_byFreePercent = 0;
    bool m_bHasSize = false;
    ULONGLONG m_n64Size = 0;
};

// The row of an NTFS record as ExamineRecord described it: its name's bytes
// are left for the batch to add.
CScanRow RecordRow(DWORD dwRecord, const MFTEntryInfo& info, const MFTEntryDetails& details,
                   DWORD dwFolder = CScanRow::kNoFolder);
ERowState RowStateOf(ntfs::EFileState eState);

// The cells' texts (UTF-8). "185,900"; empty without kRowHasSize.
std::string SizeText(const CScanRow& row);
std::string GroupedNumber(ULONGLONG n64Value);
// "yyyy-MM-dd HH:mm:ss" in the computer's zone, or as stored for a
// wall-clock time and for one outside 1601 to 2500; empty for 0.
std::string TimeText(ULONGLONG n64Time, bool bWallClock);
// "正常", "可恢复", "部分覆盖 53%", "已覆盖", "无数据", "未知".
std::string StateText(ERowState eState, BYTE byFreePercent);
// The tip of a record's row: its creation, modification and MFT-change
// times, each on a line.
std::string RecordTimesTip(const MFTEntryInfo& info);

// The attribute column of a damaged record's row.
extern const char* const kDamagedRecordText;

// Rows on their way from the scan to the list, with their names and the
// folders first met since the batch before.
struct CRowBatch
{
    std::string m_strNames;
    std::vector<CScanRow> m_vecRows;
    std::vector<std::string> m_vecNewFolders;  // folders m_dwFirstNewFolder, ... in order
    DWORD m_dwFirstNewFolder = 0;

    std::vector<CRowUpdate> m_vecUpdates;  // rows sent before, in this or an earlier batch

    // A filled row under its name (UTF-8); m_dwNameOffset is set here.
    void Add(const CScanRow& row, const std::string& strName);
    // The size and state of a record listed before, now known.
    void AddUpdate(DWORD dwRecord, const ntfs::CFileState& state);
    // The row of a described record, under its owner's name (UTF-8).
    void Add(DWORD dwRecord, const MFTEntryInfo& info, const std::string& strName,
             DWORD dwFolder = CScanRow::kNoFolder, BYTE byRowFlags = 0);
    // The row of a described record as it names itself in szName: its bytes
    // are UTF-16 units below 256 each, so Latin-1, and become UTF-8 here.
    void Add(DWORD dwRecord, const MFTEntryInfo& info);
    // The row of a record that cannot be read as it stands.
    void AddDamaged(DWORD dwRecord);
    bool Empty() const { return m_vecRows.empty() && m_vecUpdates.empty(); }
    size_t Size() const { return m_vecRows.size(); }
};

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
};
