#include "session/RowView.h"

#include "fs/Utf8.h"
#include "session/RowText.h"

#include <algorithm>
#include <cstring>

namespace
{

DWORD FoldCodePoint(DWORD dwCode)
{
    if (dwCode >= 'A' && dwCode <= 'Z')
        return dwCode + 0x20;
    if (dwCode < 0xC0)
        return dwCode;
    if (dwCode <= 0xDE && dwCode != 0xD7)
        return dwCode + 0x20;                 // Latin-1 capitals
    if (dwCode == 0x178)
        return 0xFF;                          // Ÿ
    if (dwCode >= 0x100 && dwCode <= 0x17F && dwCode != 0x130 && dwCode != 0x138 && dwCode != 0x149)
        return (dwCode >= 0x139 && dwCode <= 0x148) || (dwCode >= 0x179 && dwCode <= 0x17E)
                   ? dwCode + (dwCode & 1)    // Latin Extended-A: capitals odd here
                   : dwCode | 1;              // and even there
    if (dwCode >= 0x391 && dwCode <= 0x3AB && dwCode != 0x3A2)
        return dwCode + 0x20;                 // Greek
    if (dwCode >= 0x410 && dwCode <= 0x42F)
        return dwCode + 0x20;                 // Cyrillic
    if (dwCode >= 0x400 && dwCode <= 0x40F)
        return dwCode + 0x50;
    return dwCode;
}

// Compares case-folded texts byte by byte: code point order.
int CompareFolded(const char* pA, size_t nA, const char* pB, size_t nB)
{
    const int n = memcmp(pA, pB, std::min(nA, nB));
    if (n != 0)
        return n;
    return nA == nB ? 0 : nA < nB ? -1 : 1;
}

// Rows without a size before every size, then by bytes.
int CompareSizes(const CScanRow& a, const CScanRow& b)
{
    const bool bA = (a.m_byRowFlags & CScanRow::kRowHasSize) != 0;
    const bool bB = (b.m_byRowFlags & CScanRow::kRowHasSize) != 0;
    if (bA != bB)
        return bA ? 1 : -1;
    return a.m_n64Size == b.m_n64Size ? 0 : a.m_n64Size < b.m_n64Size ? -1 : 1;
}

// What can come back first: recoverable, partly overwritten with the most
// still free first, overwritten, no data, unknown, then live files.
DWORD StateRank(const CScanRow& row)
{
    switch (row.m_eState)
    {
    case eRowStateRecoverable: return 0;
    case eRowStatePartial: return 1000 - row.m_byFreePercent;
    case eRowStateOverwritten: return 2000;
    case eRowStateNoData: return 3000;
    case eRowStateLive: return 5000;
    default: return 4000;
    }
}

}  // namespace

std::string FoldCase(const char* pText, size_t nLength)
{
    std::string str;
    str.reserve(nLength);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(pText);
    for (size_t i = 0; i < nLength;)
    {
        // Only two-byte sequences hold letters this folds; the rest is copied.
        if (p[i] >= 0xC0 && p[i] < 0xE0 && i + 1 < nLength && (p[i + 1] & 0xC0) == 0x80)
        {
            AppendCodePointAsUtf8(str, FoldCodePoint(((p[i] & 0x1Fu) << 6) | (p[i + 1] & 0x3Fu)));
            i += 2;
            continue;
        }
        str += static_cast<char>(p[i] >= 'A' && p[i] <= 'Z' ? p[i] + 0x20 : p[i]);
        ++i;
    }
    return str;
}

void CRowView::SetOrder(int nColumn, bool bDescending)
{
    m_nColumn = nColumn < eColumnCount ? nColumn : -1;
    m_bDescending = bDescending;
    if (m_nSeen == 0)
        m_bEveryRow = EveryRowShown();
}

void CRowView::SetFilter(const std::string& strText, bool bDeletedOnly, bool bRecoverableOnly)
{
    m_strFolded = FoldCase(strText.data(), strText.size());
    m_bDeletedOnly = bDeletedOnly;
    m_bRecoverableOnly = bRecoverableOnly;
    if (m_nSeen == 0)
        m_bEveryRow = EveryRowShown();
}

void CRowView::Clear()
{
    std::vector<DWORD>().swap(m_vecRows);
    m_nSeen = 0;
    m_nUpdatesSeen = 0;
    m_bEveryRow = EveryRowShown();
    m_vecFolderRank.clear();
    m_vecFolderMatch.clear();
    std::vector<std::string>().swap(m_vecFoldedNames);
}

void CRowView::PrepareFolders(const CRowStore& store)
{
    const size_t nOld = m_vecFolderMatch.size();
    if (nOld == store.FolderCount())
        return;
    for (size_t i = nOld; i < store.FolderCount(); ++i)
    {
        const std::string& strFolder = store.Folder(i);
        m_vecFolderMatch.push_back(!m_strFolded.empty() &&
                                   FoldCase(strFolder.data(), strFolder.size()).find(m_strFolded) !=
                                       std::string::npos);
    }
    // The folders' order, once, so that rows compare by a number.
    std::vector<std::string> vecFolded;
    for (size_t i = 0; i < store.FolderCount(); ++i)
        vecFolded.push_back(FoldCase(store.Folder(i).data(), store.Folder(i).size()));
    std::vector<DWORD> vecOrder(store.FolderCount());
    for (size_t i = 0; i < vecOrder.size(); ++i)
        vecOrder[i] = static_cast<DWORD>(i);
    std::sort(vecOrder.begin(), vecOrder.end(), [&](DWORD a, DWORD b) {
        const int n = CompareFolded(vecFolded[a].data(), vecFolded[a].size(), vecFolded[b].data(),
                                    vecFolded[b].size());
        return n != 0 ? n < 0 : a < b;
    });
    m_vecFolderRank.assign(vecOrder.size(), 0);
    for (size_t i = 0; i < vecOrder.size(); ++i)
        m_vecFolderRank[vecOrder[i]] = static_cast<DWORD>(i);
}

bool CRowView::Passes(const CRowStore& store, size_t nRow) const
{
    const CScanRow& row = store.Row(nRow);
    if (m_bDeletedOnly && !row.m_bNotInUse)
        return false;
    if (m_bRecoverableOnly && (!row.m_bNotInUse || row.m_eState != eRowStateRecoverable))
        return false;
    if (m_strFolded.empty())
        return true;
    if (row.m_dwFolder < m_vecFolderMatch.size() && m_vecFolderMatch[row.m_dwFolder])
        return true;
    const char* pName = FoldedName(row);
    return std::search(pName, pName + row.m_wNameLength, m_strFolded.begin(), m_strFolded.end()) !=
           pName + row.m_wNameLength;
}

bool CRowView::Less(const CRowStore& store, DWORD dwA, DWORD dwB) const
{
    const CScanRow& a = store.Row(dwA);
    const CScanRow& b = store.Row(dwB);
    auto rank = [&](const CScanRow& row) {
        return row.m_dwFolder < m_vecFolderRank.size() ? m_vecFolderRank[row.m_dwFolder] : ~0u;
    };
    int nOrder = 0;
    switch (m_nColumn)
    {
    case eColumnPath:
        if (rank(a) != rank(b))
        {
            nOrder = rank(a) < rank(b) ? -1 : 1;
            break;
        }
        // the same folder: by name
        // fall through
    case eColumnName:
        nOrder = CompareFolded(FoldedName(a), a.m_wNameLength, FoldedName(b), b.m_wNameLength);
        break;
    case eColumnAttributes:
        nOrder = a.m_dwFileFlags == b.m_dwFileFlags ? 0 : a.m_dwFileFlags < b.m_dwFileFlags ? -1 : 1;
        break;
    case eColumnDeleted:
        nOrder = a.m_bNotInUse == b.m_bNotInUse ? 0 : a.m_bNotInUse > b.m_bNotInUse ? -1 : 1;
        break;
    case eColumnClusters:
        nOrder = a.m_dwClusters == b.m_dwClusters ? 0 : a.m_dwClusters < b.m_dwClusters ? -1 : 1;
        break;
    case eColumnSize:
        nOrder = CompareSizes(a, b);
        break;
    case eColumnModified:
        nOrder = a.m_n64Modified == b.m_n64Modified ? 0 : a.m_n64Modified < b.m_n64Modified ? -1 : 1;
        break;
    case eColumnState:
        nOrder = StateRank(a) == StateRank(b) ? 0 : StateRank(a) < StateRank(b) ? -1 : 1;
        break;
    default:
        break;
    }
    if (nOrder == 0)
        nOrder = a.m_dwRecord == b.m_dwRecord ? 0 : a.m_dwRecord < b.m_dwRecord ? -1 : 1;
    return m_bDescending ? nOrder > 0 : nOrder < 0;
}

ULONGLONG CRowView::NumericKey(const CScanRow& row) const
{
    switch (m_nColumn)
    {
    case eColumnAttributes: return row.m_dwFileFlags;
    case eColumnDeleted: return row.m_bNotInUse ? 0 : 1;  // deleted first
    case eColumnClusters: return row.m_dwClusters;
    case eColumnSize:
        // Rows without a size before every size (0 bytes included).
        if (!(row.m_byRowFlags & CScanRow::kRowHasSize))
            return 0;
        return row.m_n64Size == ~0ull ? row.m_n64Size : row.m_n64Size + 1;
    case eColumnModified: return row.m_n64Modified;
    case eColumnState: return StateRank(row);
    default: return 0;  // the scan's order
    }
}

void CRowView::SortRange(const CRowStore& store, std::vector<DWORD>::iterator itFirst,
                         std::vector<DWORD>::iterator itLast) const
{
    if (m_nColumn < 0 && !m_bDescending)
        return;  // rows come in the scan's order
    if (m_nColumn == eColumnName || m_nColumn == eColumnPath)
    {
        std::sort(itFirst, itLast, [&](DWORD a, DWORD b) { return Less(store, a, b); });
        return;
    }
    // A number per row, taken once: sorting 400,000 rows then compares
    // values side by side instead of looking each row up in the store.
    struct CSortItem
    {
        ULONGLONG m_n64Key;
        DWORD m_dwRecord;
        DWORD m_dwRow;
    };
    std::vector<CSortItem> vecItems;
    vecItems.reserve(static_cast<size_t>(itLast - itFirst));
    for (auto it = itFirst; it != itLast; ++it)
    {
        const CScanRow& row = store.Row(*it);
        vecItems.push_back({NumericKey(row), row.m_dwRecord, *it});
    }
    std::sort(vecItems.begin(), vecItems.end(), [](const CSortItem& a, const CSortItem& b) {
        return a.m_n64Key != b.m_n64Key ? a.m_n64Key < b.m_n64Key : a.m_dwRecord < b.m_dwRecord;
    });
    // Ties are broken by the record, so the reverse order is the whole order reversed.
    if (m_bDescending)
        std::reverse(vecItems.begin(), vecItems.end());
    for (const CSortItem& item : vecItems)
        *itFirst++ = item.m_dwRow;
}

void CRowView::Rebuild(const CRowStore& store)
{
    // The names folded so far stay: the store's pool only ever grows.
    std::vector<std::string> vecFolded;
    vecFolded.swap(m_vecFoldedNames);
    Clear();
    vecFolded.swap(m_vecFoldedNames);
    Append(store);
}

size_t CRowView::CountNew(const CRowStore& store)
{
    if (m_bEveryRow)
        return store.Size() - m_nSeen;
    PrepareFolders(store);
    FoldNewNames(store);
    size_t nCount = 0;
    for (size_t i = m_nSeen; i < store.Size(); ++i)
        nCount += Passes(store, i) ? 1 : 0;
    return nCount;
}

void CRowView::FoldNewNames(const CRowStore& store)
{
    // Only a filter and an order by name or folder look at the folded names:
    // the list in the scan's order holds no copy of them.
    if (m_strFolded.empty() && m_nColumn != eColumnName && m_nColumn != eColumnPath)
        return;
    if (m_vecFoldedNames.size() > store.NameChunkCount() ||
        (!m_vecFoldedNames.empty() &&
         m_vecFoldedNames.back().size() > store.NameChunk(m_vecFoldedNames.size() - 1).size()))
        m_vecFoldedNames.clear();  // a store emptied and filled again
    m_vecFoldedNames.resize(store.NameChunkCount());
    for (size_t i = 0; i < m_vecFoldedNames.size(); ++i)
    {
        const std::string& strChunk = store.NameChunk(i);
        std::string& strFolded = m_vecFoldedNames[i];
        if (strFolded.size() < strChunk.size())
            strFolded += FoldCase(strChunk.data() + strFolded.size(), strChunk.size() - strFolded.size());
    }
}

bool CRowView::LooksAtStates() const
{
    return m_bRecoverableOnly || m_nColumn == eColumnState || m_nColumn == eColumnSize;
}

bool CRowView::StatesMoveRows(const CRowStore& store) const
{
    return !m_bEveryRow && store.UpdateCount() != m_nUpdatesSeen && LooksAtStates();
}

void CRowView::Append(const CRowStore& store)
{
    if (m_bEveryRow)
    {
        m_nSeen = store.Size();
        return;
    }
    if (StatesMoveRows(store))
    {
        // Rows shown before changed state: every row is placed anew.
        m_vecRows.clear();
        m_nSeen = 0;
    }
    m_nUpdatesSeen = store.UpdateCount();
    PrepareFolders(store);
    FoldNewNames(store);
    const size_t nOld = m_vecRows.size();
    for (; m_nSeen < store.Size(); ++m_nSeen)
        if (Passes(store, m_nSeen))
            m_vecRows.push_back(static_cast<DWORD>(m_nSeen));
    if (m_nColumn < 0 && !m_bDescending)
        return;
    SortRange(store, m_vecRows.begin() + static_cast<std::ptrdiff_t>(nOld), m_vecRows.end());
    std::inplace_merge(m_vecRows.begin(), m_vecRows.begin() + static_cast<std::ptrdiff_t>(nOld),
                       m_vecRows.end(), [&](DWORD a, DWORD b) { return Less(store, a, b); });
}
