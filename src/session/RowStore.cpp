#include "session/RowStore.h"

#include "session/RowText.h"

namespace
{

const std::string kNoFolderText;

}  // namespace

void CRowStore::Clear()
{
    std::vector<std::vector<CScanRow>>().swap(m_vecBlocks);
    m_nRows = 0;
    m_nUpdates = 0;
    std::vector<std::string>().swap(m_vecNameChunks);
    std::vector<std::string>().swap(m_vecFolders);
    m_dwNumberBase = 0;
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
    if (!batch.m_vecRows.empty())
        m_dwNumberBase = batch.m_dwNumberBase;
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
    case eColumnNumber: return std::to_string(static_cast<LONG>(row.m_dwRecord - m_dwNumberBase));
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
