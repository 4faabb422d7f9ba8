#include "session/SavePlan.h"

#include "fs/Rows.h"

#include <algorithm>
#include <unordered_set>

namespace
{

// Whether a folder text is strPath itself or lies below it.
bool UnderAny(const std::string& strFolder, const std::unordered_set<std::string>& setPaths)
{
    if (setPaths.count(strFolder))
        return true;
    // Every shorter prefix that ends before a separator.
    for (size_t nCut = strFolder.rfind('\\'); nCut != std::string::npos && nCut > 0;
         nCut = strFolder.rfind('\\', nCut - 1))
        if (setPaths.count(strFolder.substr(0, nCut)))
            return true;
    return false;
}

}  // namespace

bool IsFolderRow(const CScanRow& row)
{
    return (row.m_byRowFlags & CScanRow::kRowDirectory) != 0;
}

CSavePlan::CSavePlan(const CRowStore& store, const std::vector<size_t>& vecStoreRows, ESaveMode eMode)
    : m_eMode(eMode)
{
    std::vector<bool> vecTaken(store.Size(), false);
    std::vector<size_t> vecFolderRows;
    for (size_t nRow : vecStoreRows)
    {
        if (nRow >= store.Size() || vecTaken[nRow])
            continue;
        vecTaken[nRow] = true;
        const bool bFolder = IsFolderRow(store.Row(nRow));
        if (bFolder && eMode == ESaveMode::eFlat)
        {
            ++m_nFoldersPassedOver;
            continue;
        }
        Add(store.Row(nRow).m_dwRecord, bFolder, &store.Row(nRow));
        if (bFolder)
            vecFolderRows.push_back(nRow);
    }
    if (!vecFolderRows.empty())
        AddTrees(store, vecFolderRows, vecTaken);
}

CSavePlan::CSavePlan(const std::vector<DWORD>& vecRecords, ESaveMode eMode) : m_eMode(eMode)
{
    for (DWORD dwRecord : vecRecords)
        Add(dwRecord, false);
}

void CSavePlan::Add(DWORD dwRecord, bool bFolder, const CScanRow* pRow)
{
    if (pRow && !bFolder && (pRow->m_eState == eRowStatePartial || pRow->m_eState == eRowStateOverwritten))
        m_vecOverwritten.push_back({static_cast<DWORD>(m_vecRecords.size()), pRow->m_eState, pRow->m_byFreePercent});
    m_vecRecords.push_back(dwRecord);
    m_vecFolder.push_back(bFolder);
    m_nFiles += bFolder ? 0 : 1;
}

void CSavePlan::AddTrees(const CRowStore& store, const std::vector<size_t>& vecFolderRows,
                         std::vector<bool>& vecTaken)
{
    // The paths the selected folders stand for, as their rows' folder texts
    // would show them.
    std::unordered_set<std::string> setPaths;
    for (size_t nRow : vecFolderRows)
        if (!store.FolderText(nRow).empty())
            setPaths.insert(ChildPath(store.FolderText(nRow), store.Name(nRow)));
    // Which of the store's folders lie under them: once a folder, not once a row.
    std::vector<bool> vecUnder(store.FolderCount(), false);
    for (size_t nFolder = 0; nFolder < store.FolderCount(); ++nFolder)
        vecUnder[nFolder] = UnderAny(store.Folder(nFolder), setPaths);
    for (size_t nRow = 0; nRow < store.Size(); ++nRow)
    {
        const DWORD dwFolder = store.Row(nRow).m_dwFolder;
        if (vecTaken[nRow] || dwFolder >= vecUnder.size() || !vecUnder[dwFolder])
            continue;
        vecTaken[nRow] = true;
        Add(store.Row(nRow).m_dwRecord, IsFolderRow(store.Row(nRow)), &store.Row(nRow));
    }
}

ERowState CSavePlan::Overwritten(size_t nItem, BYTE& byFreePercent) const
{
    // Items were added in order: found by halving.
    const auto it = std::lower_bound(m_vecOverwritten.begin(), m_vecOverwritten.end(), nItem,
                                     [](const COverwritten& item, size_t n) { return item.m_dwItem < n; });
    if (it == m_vecOverwritten.end() || it->m_dwItem != nItem)
        return eRowStateUnknown;
    byFreePercent = it->m_byFreePercent;
    return it->m_eState;
}

size_t CSavePlan::MemoryBytes() const
{
    return m_vecRecords.capacity() * sizeof(DWORD) + m_vecFolder.capacity() / 8 +
           m_vecOverwritten.capacity() * sizeof(COverwritten) + sizeof(*this);
}
