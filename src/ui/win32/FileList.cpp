// The file list: a virtual report list that asks for the text of each cell
// it draws. Its rows are the session's view of the store: the scan's order
// or the column the user sorted by, narrowed by the filter.
#include "session/RowText.h"
#include "ui/common/Resource.h"
#include "ui/win32/SalvixDlg.h"
#include "ui/win32/WideText.h"

#include <algorithm>

namespace
{

// The list is told of new rows at most this often: telling it costs the
// same for 10 rows as for 10,000 (its scroll bar is redrawn).
const DWORD kRefreshMs = 100;
// What a heading takes beside its text: the header's margins on both sides.
const int kHeadingPadding = 16;

}  // namespace

void CSalvixDlg::CreateColumns()
{
    // A report list draws its first column's cells from the left in any case.
    for (int nColumn = 0; nColumn < eColumnCount; ++nColumn)
    {
        const std::wstring wstrHeading = WideFromUtf8(ColumnHeading(nColumn));
        LVCOLUMNW column = {};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = ColumnReadsFromLeft(nColumn)    ? LVCFMT_LEFT
                     : ColumnReadsFromRight(nColumn) ? LVCFMT_RIGHT
                                                     : LVCFMT_CENTER;
        // As wide as the list has them, or as the heading needs, if wider.
        column.cx = std::max(ColumnWidth(nColumn),
                             ListView_GetStringWidth(m_hList, wstrHeading.c_str()) + kHeadingPadding);
        column.pszText = const_cast<wchar_t*>(wstrHeading.c_str());
        column.iSubItem = nColumn;
        SendMessageW(m_hList, LVM_INSERTCOLUMNW, nColumn, reinterpret_cast<LPARAM>(&column));
    }
    // A row's tip tells its times (LVN_GETINFOTIP).
    SendMessageW(m_hList, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP);
    int anOrder[eColumnCount];
    for (int nVisual = 0; nVisual < eColumnCount; ++nVisual)
        anOrder[nVisual] = kColumnOrder[nVisual];
    SendMessageW(m_hList, LVM_SETCOLUMNORDERARRAY, eColumnCount, reinterpret_cast<LPARAM>(anOrder));
}

void CSalvixDlg::FillDisplayInfo(NMLVDISPINFOW* pInfo)
{
    LVITEMW& item = pInfo->item;
    if (!(item.mask & LVIF_TEXT) || !item.pszText || item.cchTextMax <= 0)
        return;
    if (item.iItem < 0 || static_cast<size_t>(item.iItem) >= m_view.Size())
    {
        item.pszText[0] = L'\0';
        return;
    }
    const size_t nRow = m_view.StoreRow(static_cast<size_t>(item.iItem));
    CopyToBuffer(WideFromUtf8(m_store.Text(nRow, item.iSubItem)), item.pszText, item.cchTextMax);
}

void CSalvixDlg::FillRowTip(NMLVGETINFOTIPW* pTip)
{
    if (!pTip->pszText || pTip->cchTextMax <= 0 || pTip->iItem < 0 ||
        static_cast<size_t>(pTip->iItem) >= m_view.Size())
        return;
    const DWORD dwRecord = m_store.Row(m_view.StoreRow(static_cast<size_t>(pTip->iItem))).m_dwRecord;
    std::wstring wstrTip;
    for (const wchar_t ch : WideFromUtf8(m_session.RowTip(dwRecord)))
        wstrTip += ch == L'\n' ? std::wstring(L"\r\n") : std::wstring(1, ch);
    // The list may hand over a buffer holding the cell's text: the tip replaces it.
    CopyToBuffer(wstrTip, pTip->pszText, pTip->cchTextMax);
}

void CSalvixDlg::ClearList()
{
    KillTimer(m_hWnd, kRefreshTimer);
    m_bRowsWaiting = false;
    m_bUpdatesWaiting = false;
    m_store.Clear();
    m_view.Clear();
    SendMessageW(m_hList, LVM_DELETEALLITEMS, 0, 0);
    UpdateShownRows();
}

void CSalvixDlg::ShowRows(CRowBatch&& batch, DWORD dwTotal, DWORD dwDeleted)
{
    m_bUpdatesWaiting = m_bUpdatesWaiting || !batch.m_vecUpdates.empty();
    m_store.Append(std::move(batch));
    m_bRowsWaiting = true;
    m_dwTotalWaiting = dwTotal;
    m_dwDeletedWaiting = dwDeleted;
    const ULONGLONG qwSince = GetTickCount64() - m_qwLastRefresh;
    if (qwSince >= kRefreshMs)
        ShowArrivedRows();
    else
        SetTimer(m_hWnd, kRefreshTimer, static_cast<UINT>(kRefreshMs - qwSince), nullptr);
}

void CSalvixDlg::ShowArrivedRows()
{
    KillTimer(m_hWnd, kRefreshTimer);
    if (!m_bRowsWaiting)
        return;
    m_bRowsWaiting = false;
    m_qwLastRefresh = GetTickCount64();
    if (m_view.SortColumn() >= 0 || m_view.Descending() || m_view.StatesMoveRows(m_store))
    {
        // Sorted, the new rows land among the old ones.
        Relayout([this] { m_view.Append(m_store); });
    }
    else
    {
        // In the scan's order they only ever go at the end: the list asks
        // for the texts of the rows it shows, and only those.
        m_view.Append(m_store);
        SendMessageW(m_hList, LVM_SETITEMCOUNT, static_cast<WPARAM>(m_view.Size()),
                     LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
        // Rows shown before may have learnt their size and state.
        if (m_bUpdatesWaiting)
            InvalidateRect(m_hList, nullptr, FALSE);
    }
    m_bUpdatesWaiting = false;
    // Shown as signed numbers, as the counters always have been. They count
    // what the scan found, whatever the filter shows.
    SetDlgItemInt(m_hWnd, IDC_EDIT_TOTAL, m_dwTotalWaiting, TRUE);
    SetDlgItemInt(m_hWnd, IDC_EDIT_DELETED, m_dwDeletedWaiting, TRUE);
    UpdateShownRows();
}

void CSalvixDlg::UpdateShownRows()
{
    // Nothing listed, nothing to count.
    const std::wstring wstrText =
        m_store.Size() == 0
            ? std::wstring()
            : WideFromUtf8(ShownRowsText(m_view.Size(), static_cast<size_t>(ListView_GetSelectedCount(m_hList))));
    SetDlgItemTextW(m_hWnd, IDC_STATIC_SHOWN, wstrText.c_str());
}

void CSalvixDlg::UpdateShownRowsSoon()
{
    // Selecting many rows one by one tells of each: the line is written once.
    if (!m_bShownRowsPosted)
        m_bShownRowsPosted = PostMessageW(m_hWnd, WM_SALVIX_SHOWN_ROWS, 0, 0) != FALSE;
}

std::vector<int> CSalvixDlg::SelectedRows() const
{
    std::vector<int> vecRows;
    const int nCount = static_cast<int>(m_view.Size());
    int nRow = -1;
    // In increasing order; a row at or past the end would be the list's mistake.
    for (;;)
    {
        const int nNext = ListView_GetNextItem(m_hList, nRow, LVNI_SELECTED);
        if (nNext <= nRow || nNext >= nCount)
            break;
        vecRows.push_back(nNext);
        nRow = nNext;
    }
    return vecRows;
}

void CSalvixDlg::Relayout(const std::function<void()>& fnChange)
{
    std::vector<size_t> vecSelected;
    for (const int nRow : SelectedRows())
        vecSelected.push_back(m_view.StoreRow(static_cast<size_t>(nRow)));
    const int nFocused = ListView_GetNextItem(m_hList, -1, LVNI_FOCUSED);
    const size_t nFocusedRow = nFocused >= 0 && static_cast<size_t>(nFocused) < m_view.Size()
                                   ? m_view.StoreRow(static_cast<size_t>(nFocused))
                                   : m_store.Size();
    fnChange();

    ListView_SetItemState(m_hList, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    SendMessageW(m_hList, LVM_SETITEMCOUNT, static_cast<WPARAM>(m_view.Size()), LVSICF_NOSCROLL);
    std::vector<int> vecViewRow(m_store.Size(), -1);
    for (size_t i = 0; i < m_view.Size(); ++i)
        vecViewRow[m_view.StoreRow(i)] = static_cast<int>(i);
    // The records stay selected where they went; those the filter hid are no longer.
    for (const size_t nStoreRow : vecSelected)
        if (vecViewRow[nStoreRow] >= 0)
            ListView_SetItemState(m_hList, vecViewRow[nStoreRow], LVIS_SELECTED, LVIS_SELECTED);
    if (nFocusedRow < m_store.Size() && vecViewRow[nFocusedRow] >= 0)
    {
        ListView_SetItemState(m_hList, vecViewRow[nFocusedRow], LVIS_FOCUSED, LVIS_FOCUSED);
        ListView_EnsureVisible(m_hList, vecViewRow[nFocusedRow], FALSE);
    }
    InvalidateRect(m_hList, nullptr, FALSE);
    UpdateShownRows();
}

void CSalvixDlg::OnColumnClick(int nColumn)
{
    if (nColumn < 0 || nColumn >= eColumnCount)
        return;
    // A click sorts by the column; a second click on it reverses the order.
    const bool bDescending = nColumn == m_view.SortColumn() && !m_view.Descending();
    Relayout([&] {
        m_view.SetOrder(nColumn, bDescending);
        m_view.Rebuild(m_store);
    });
    ShowSortArrow();
}

void CSalvixDlg::ShowSortArrow()
{
    HWND hHeader = ListView_GetHeader(m_hList);
    for (int nColumn = 0; nColumn < eColumnCount; ++nColumn)
    {
        HDITEMW item = {};
        item.mask = HDI_FORMAT;
        Header_GetItem(hHeader, nColumn, &item);
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (nColumn == m_view.SortColumn())
            item.fmt |= m_view.Descending() ? HDF_SORTDOWN : HDF_SORTUP;
        Header_SetItem(hHeader, nColumn, &item);
    }
}

void CSalvixDlg::OnFilterChanged()
{
    KillTimer(m_hWnd, kFilterTimer);
    wchar_t szFilter[256] = {};
    GetDlgItemTextW(m_hWnd, IDC_EDIT_FILTER, szFilter, 256);
    const bool bDeletedOnly = IsDlgButtonChecked(m_hWnd, IDC_CHECK_DELETED_ONLY) == BST_CHECKED;
    const bool bRecoverableOnly = IsDlgButtonChecked(m_hWnd, IDC_CHECK_RECOVERABLE_ONLY) == BST_CHECKED;
    Relayout([&] {
        m_view.SetFilter(Utf8FromWide(szFilter), bDeletedOnly, bRecoverableOnly);
        m_view.Rebuild(m_store);
    });
}
