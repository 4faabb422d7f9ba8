#include "session/RowText.h"

#include "ntfs/Names.h"

#include <algorithm>
#include <cstring>

namespace
{

struct CAttributeLabel
{
    DWORD m_dwBit;
    const char* m_pszLabel;
};

// Tested in this order; 0x4000 sits between 0x20 and 0x80, and 0x10000000
// gives two labels.
const CAttributeLabel kAttributeLabels[] = {
    {0x1, "只读-"},    {0x2, "隐藏-"},          {0x4, "系统-"},        {0x10, "文件夹-"},
    {0x20, "归档-"},   {0x4000, "加密-"},       {0x80, "正常-"},       {0x100, "零时-"},
    {0x200, "稀疏-"},  {0x400, "ReSp-"},        {0x800, "压缩-"},      {0x1000, "O-"},
    {0x2000, "受损-"}, {0x10000000, "文件夹-"}, {0x10000000, "索引-"},
};

const char* const kColumnHeadings[eColumnCount] = {"文件名", "#",    "文件属性", "是否删除", "簇",
                                                   "路径",   "大小", "修改时间", "状态"};
const int kColumnWidths[eColumnCount] = {190, 60, 80, 50, 70, 160, 90, 130, 100};
const ULONGLONG kTicksPerSecond = 10000000ull;
// 2501-01-01 00:00:00 in 100-ns units since 1601: past it no zone is applied.
const ULONGLONG kLastZonedTime = 28436601600ull * kTicksPerSecond;
const std::string kNoFolderText;

void AppendLatin1AsUtf8(std::string& str, const char* pszBytes)
{
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(pszBytes); *p; ++p)
        AppendCodePointAsUtf8(str, *p);
}

}  // namespace

const char* const kDamagedRecordText = "损坏的记录";

const int kColumnOrder[eColumnCount] = {eColumnNumber, eColumnName, eColumnAttributes,
                                        eColumnDeleted, eColumnClusters, eColumnPath,
                                        eColumnSize, eColumnModified, eColumnState};

const char* ColumnHeading(int nColumn)
{
    return nColumn >= 0 && nColumn < eColumnCount ? kColumnHeadings[nColumn] : "";
}

int ColumnWidth(int nColumn)
{
    return nColumn >= 0 && nColumn < eColumnCount ? kColumnWidths[nColumn] : 0;
}

bool ColumnReadsFromLeft(int nColumn)
{
    return nColumn == eColumnName || nColumn == eColumnPath;
}

bool ColumnReadsFromRight(int nColumn)
{
    return nColumn == eColumnSize;
}

std::string AttributeLabels(DWORD dwFileFlags)
{
    std::string strLabels;
    for (const CAttributeLabel& label : kAttributeLabels)
        if (dwFileFlags & label.m_dwBit)
            strLabels += label.m_pszLabel;
    return strLabels;
}

const char* DeletedMark(BYTE bNotInUse)
{
    return bNotInUse ? "是" : "";
}

void CRowBatch::Add(DWORD dwRecord, const MFTEntryInfo& info, const std::string& strName, DWORD dwFolder,
                    BYTE byRowFlags)
{
    CScanRow row;
    row.m_dwRecord = dwRecord;
    row.m_dwNameOffset = static_cast<DWORD>(m_strNames.size());
    // Names are at most 255 UTF-16 units, so 765 bytes; anything longer is cut, not trusted.
    row.m_wNameLength = static_cast<WORD>(std::min<size_t>(strName.size(), 0xFFFF));
    m_strNames.append(strName, 0, row.m_wNameLength);
    row.m_bNotInUse = info.bNotInUse ? 1 : 0;
    row.m_dwFileFlags = info.dwFileFlags;
    row.m_dwClusters = static_cast<DWORD>(static_cast<ULONGLONG>(info.n64Clusters));
    row.m_dwFolder = dwFolder;
    row.m_byRowFlags = byRowFlags;
    m_vecRows.push_back(row);
}

void CRowBatch::Add(const CScanRow& row, const std::string& strName)
{
    m_vecRows.push_back(row);
    CScanRow& added = m_vecRows.back();
    added.m_dwNameOffset = static_cast<DWORD>(m_strNames.size());
    // Names are at most 255 UTF-16 units, so 765 bytes; anything longer is cut, not trusted.
    added.m_wNameLength = static_cast<WORD>(std::min<size_t>(strName.size(), 0xFFFF));
    m_strNames.append(strName, 0, added.m_wNameLength);
}

void CRowBatch::AddUpdate(DWORD dwRecord, const ntfs::CFileState& state)
{
    CRowUpdate update;
    update.m_dwRecord = dwRecord;
    update.m_eState = RowStateOf(state.m_eState);
    update.m_byFreePercent = state.m_byFreePercent;
    update.m_bHasSize = state.m_bHasSize;
    update.m_n64Size = state.m_n64Size;
    m_vecUpdates.push_back(update);
}

ERowState RowStateOf(ntfs::EFileState eState)
{
    switch (eState)
    {
    case ntfs::EFileState::eLive: return eRowStateLive;
    case ntfs::EFileState::eRecoverable: return eRowStateRecoverable;
    case ntfs::EFileState::ePartial: return eRowStatePartial;
    case ntfs::EFileState::eOverwritten: return eRowStateOverwritten;
    case ntfs::EFileState::eNoData: return eRowStateNoData;
    default: return eRowStateUnknown;
    }
}

CScanRow RecordRow(DWORD dwRecord, const MFTEntryInfo& info, const MFTEntryDetails& details, DWORD dwFolder)
{
    CScanRow row;
    row.m_dwRecord = dwRecord;
    row.m_bNotInUse = info.bNotInUse ? 1 : 0;
    row.m_dwFileFlags = info.dwFileFlags;
    row.m_dwClusters = static_cast<DWORD>(static_cast<ULONGLONG>(info.n64Clusters));
    row.m_dwFolder = dwFolder;
    row.m_byRowFlags = (details.bDirectory ? CScanRow::kRowDirectory : 0) |
                       (details.state.m_bHasSize ? CScanRow::kRowHasSize : 0) |
                       (details.state.m_bPending ? CScanRow::kRowStatePending : 0);
    row.m_eState = RowStateOf(details.state.m_eState);
    row.m_byFreePercent = details.state.m_byFreePercent;
    row.m_n64Size = details.state.m_n64Size;
    row.m_n64Modified = static_cast<ULONGLONG>(info.n64AlteredTime);
    return row;
}

void CRowBatch::AddDamaged(DWORD dwRecord)
{
    CScanRow row;
    row.m_dwRecord = dwRecord;
    row.m_dwNameOffset = static_cast<DWORD>(m_strNames.size());
    row.m_byRowFlags = CScanRow::kRowDamaged;
    m_vecRows.push_back(row);
}

void CRowBatch::Add(DWORD dwRecord, const MFTEntryInfo& info)
{
    std::string strName;
    AppendLatin1AsUtf8(strName, info.szName);
    Add(dwRecord, info, strName);
}

void CRowStore::Clear()
{
    std::vector<std::vector<CScanRow>>().swap(m_vecBlocks);
    m_nRows = 0;
    m_nUpdates = 0;
    std::vector<std::string>().swap(m_vecNameChunks);
    std::vector<std::string>().swap(m_vecFolders);
}

DWORD CRowStore::KeepName(const char* pName, WORD wLength)
{
    if (m_vecNameChunks.empty() || m_vecNameChunks.back().size() + wLength > kNameChunk)
    {
        // Past the last chunk the offsets can name, a name is not kept.
        if (m_vecNameChunks.size() >> (32 - kNameChunkBits))
            return ~0u;
        m_vecNameChunks.emplace_back();
        m_vecNameChunks.back().reserve(kNameChunk);
    }
    std::string& strChunk = m_vecNameChunks.back();
    const DWORD dwOffset = static_cast<DWORD>(((m_vecNameChunks.size() - 1) << kNameChunkBits) | strChunk.size());
    strChunk.append(pName, wLength);
    return dwOffset;
}

void CRowStore::Append(CRowBatch&& batch)
{
    for (const CScanRow& row : batch.m_vecRows)
    {
        if (m_nRows % kBlockRows == 0)
        {
            m_vecBlocks.emplace_back();
            m_vecBlocks.back().reserve(kBlockRows);
        }
        m_vecBlocks.back().push_back(row);
        CScanRow& kept = m_vecBlocks.back().back();
        kept.m_dwNameOffset = KeepName(batch.m_strNames.data() + row.m_dwNameOffset, row.m_wNameLength);
        if (kept.m_dwNameOffset == ~0u)
        {
            kept.m_dwNameOffset = 0;
            kept.m_wNameLength = 0;
        }
        ++m_nRows;
    }
    // Folders arrive once, in order, with the first batch that needs them.
    for (size_t i = 0; i < batch.m_vecNewFolders.size(); ++i)
        if (batch.m_dwFirstNewFolder + i == m_vecFolders.size())
            m_vecFolders.push_back(std::move(batch.m_vecNewFolders[i]));
    for (const CRowUpdate& update : batch.m_vecUpdates)
        ApplyUpdate(update);
}

void CRowStore::ApplyUpdate(const CRowUpdate& update)
{
    size_t nLow = 0, nHigh = m_nRows;
    while (nLow < nHigh)
    {
        const size_t nMiddle = nLow + (nHigh - nLow) / 2;
        if (Row(nMiddle).m_dwRecord < update.m_dwRecord)
            nLow = nMiddle + 1;
        else
            nHigh = nMiddle;
    }
    if (nLow == m_nRows || Row(nLow).m_dwRecord != update.m_dwRecord)
        return;
    CScanRow& row = m_vecBlocks[nLow / kBlockRows][nLow % kBlockRows];
    row.m_eState = update.m_eState;
    row.m_byFreePercent = update.m_byFreePercent;
    row.m_n64Size = update.m_bHasSize ? update.m_n64Size : 0;
    row.m_byRowFlags = static_cast<BYTE>((row.m_byRowFlags & ~(CScanRow::kRowStatePending | CScanRow::kRowHasSize)) |
                                         (update.m_bHasSize ? CScanRow::kRowHasSize : 0));
    ++m_nUpdates;
}

const std::string& CRowStore::FolderText(size_t nRow) const
{
    const DWORD dwFolder = Row(nRow).m_dwFolder;
    return dwFolder < m_vecFolders.size() ? m_vecFolders[dwFolder] : kNoFolderText;
}

std::string CRowStore::Name(size_t nRow) const
{
    const CScanRow& row = Row(nRow);
    return row.m_wNameLength ? std::string(NameAt(row.m_dwNameOffset), row.m_wNameLength) : std::string();
}

std::string CRowStore::Text(size_t nRow, int nColumn) const
{
    const CScanRow& row = Row(nRow);
    switch (nColumn)
    {
    case eColumnName: return Name(nRow);
    case eColumnNumber: return std::to_string(static_cast<LONG>(row.m_dwRecord - kFirstListedRecord));
    case eColumnAttributes:
        return row.m_byRowFlags & CScanRow::kRowDamaged ? kDamagedRecordText : AttributeLabels(row.m_dwFileFlags);
    case eColumnDeleted: return DeletedMark(row.m_bNotInUse);
    case eColumnClusters:
        return row.m_byRowFlags & CScanRow::kRowDamaged ? std::string() : std::to_string(row.m_dwClusters);
    case eColumnPath: return FolderText(nRow);
    case eColumnSize: return SizeText(row);
    case eColumnModified: return TimeText(row.m_n64Modified, (row.m_byRowFlags & CScanRow::kRowWallClock) != 0);
    case eColumnState:
        return row.m_byRowFlags & CScanRow::kRowDamaged ? std::string() : StateText(row.m_eState, row.m_byFreePercent);
    default: return std::string();
    }
}

std::string ShownRowsText(size_t nShown, size_t nSelected)
{
    return "显示 " + std::to_string(nShown) + " 条，已选 " + std::to_string(nSelected) + " 条";
}
