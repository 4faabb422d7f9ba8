// The main window at any size (as the session's layout places its
// controls), the keys the search field and the tree keep for themselves,
// and the tips of the tree's partitions.
#include "session/PartitionTip.h"
#include "ui/common/ControlPlaces.h"
#include "ui/common/Resource.h"
#include "ui/win32/SalvixDlg.h"
#include "ui/win32/WideText.h"

#include <algorithm>

namespace
{

// The width of a control's text in its own font, in pixels.
int TextWidth(HWND hControl)
{
    wchar_t szText[256] = {};
    const int nLength = GetWindowTextW(hControl, szText, 256);
    HDC hDC = GetDC(hControl);
    if (!hDC)
        return 0;
    HGDIOBJ hOld = SelectObject(hDC, reinterpret_cast<HGDIOBJ>(SendMessageW(hControl, WM_GETFONT, 0, 0)));
    SIZE size = {};
    GetTextExtentPoint32W(hDC, szText, nLength, &size);
    SelectObject(hDC, hOld);
    ReleaseDC(hControl, hDC);
    return size.cx;
}

// Enter in the search field and the tree, Esc in the search field: the
// control keeps them, so that they do not close the window, and tells the
// dialog.
LRESULT CALLBACK ControlKeyProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, UINT_PTR uId, DWORD_PTR)
{
    auto keeps = [uId](WPARAM wKey) {
        return wKey == VK_RETURN || (uId == IDC_EDIT_FILTER && wKey == VK_ESCAPE);
    };
    switch (uMsg)
    {
    case WM_GETDLGCODE:
    {
        const MSG* pMsg = reinterpret_cast<const MSG*>(lParam);
        if (pMsg && (pMsg->message == WM_KEYDOWN || pMsg->message == WM_CHAR) && keeps(pMsg->wParam))
            return DefSubclassProc(hWnd, uMsg, wParam, lParam) | DLGC_WANTMESSAGE;
        break;
    }
    case WM_KEYDOWN:
        if (keeps(wParam))
        {
            SendMessageW(GetParent(hWnd), WM_SALVIX_CONTROL_KEY, uId, static_cast<LPARAM>(wParam));
            return 0;
        }
        break;
    case WM_CHAR:
        // Their characters (the same codes) would only beep.
        if (keeps(wParam))
            return 0;
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(hWnd, ControlKeyProc, uId);
        break;
    default:
        break;
    }
    return DefSubclassProc(hWnd, uMsg, wParam, lParam);
}

}  // namespace

void CSalvixDlg::MeasureLayout()
{
    RECT rcUnits = {0, 0, 4, 8};
    MapDialogRect(m_hWnd, &rcUnits);
    m_metrics.m_nBaseX = rcUnits.right;
    m_metrics.m_nBaseY = rcUnits.bottom;
    // The captions are as wide as their texts, so that none is cut.
    m_metrics.m_nCaptionWidth =
        std::max(TextWidth(Item(IDC_STATIC_TOTAL)), TextWidth(Item(IDC_STATIC_DELETED))) + 2;
}

void CSalvixDlg::LayOutControls()
{
    RECT rcClient = {};
    GetClientRect(m_hWnd, &rcClient);
    for (const CControlPlace& place : ControlPlaces(LayOutMainWindow(m_metrics, rcClient.right, rcClient.bottom)))
        SetWindowPos(Item(place.m_nId), nullptr, place.m_rect.m_nX, place.m_rect.m_nY, place.m_rect.m_nWidth,
                     place.m_rect.m_nHeight, SWP_NOZORDER | SWP_NOACTIVATE);
    // The texts and the frame between the controls are drawn anew.
    InvalidateRect(m_hWnd, nullptr, TRUE);
}

void CSalvixDlg::OnGetMinMaxInfo(MINMAXINFO* pInfo) const
{
    int nWidth = 0, nHeight = 0;
    MainWindowMinimumSize(m_metrics, nWidth, nHeight);
    RECT rcWindow = {0, 0, nWidth, nHeight};
    AdjustWindowRectEx(&rcWindow, static_cast<DWORD>(GetWindowLongW(m_hWnd, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongW(m_hWnd, GWL_EXSTYLE)));
    pInfo->ptMinTrackSize.x = rcWindow.right - rcWindow.left;
    pInfo->ptMinTrackSize.y = rcWindow.bottom - rcWindow.top;
}

void CSalvixDlg::FillTreeTip(NMTVGETINFOTIPW* pTip)
{
    // Only partitions have a tip; each is read from the disk once, when it is first asked for.
    const CScanTarget* pTarget = reinterpret_cast<const CScanTarget*>(pTip->lParam);
    if (!pTarget || !pTip->pszText || pTip->cchTextMax <= 0)
        return;
    auto it = m_mapTips.find(pTarget);
    if (it == m_mapTips.end())
    {
        std::wstring wstrTip;
        for (const wchar_t ch : WideFromUtf8(PartitionTip(*pTarget)))
            wstrTip += ch == L'\n' ? std::wstring(L"\r\n") : std::wstring(1, ch);
        it = m_mapTips.emplace(pTarget, wstrTip).first;
    }
    CopyToBuffer(it->second, pTip->pszText, pTip->cchTextMax);
}

void CSalvixDlg::HookControlKeys()
{
    SetWindowSubclass(Item(IDC_EDIT_FILTER), ControlKeyProc, IDC_EDIT_FILTER, 0);
    SetWindowSubclass(m_hTree, ControlKeyProc, IDC_TREE_DRIVES, 0);
    // A tip of two lines.
    if (HWND hTips = TreeView_GetToolTips(m_hTree))
        SendMessageW(hTips, TTM_SETMAXTIPWIDTH, 0, 400);
}

void CSalvixDlg::OnControlKey(int nId, WPARAM wKey)
{
    if (nId == IDC_TREE_DRIVES)
    {
        OnTreeEnter();
        return;
    }
    // The search field: Enter applies the text at once, Esc empties it.
    if (wKey == VK_ESCAPE)
        SetDlgItemTextW(m_hWnd, IDC_EDIT_FILTER, L"");
    OnFilterChanged();
}
