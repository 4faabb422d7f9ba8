// Where the main window's controls go at any size, the same for every
// window toolkit: at the size it opens with, the places of its template (in
// dialog units); as it grows or shrinks, the list and the tree take the
// difference, the controls of the bottom row and of the right-hand side
// follow those edges. Nothing leaves the window down to its smallest size,
// which fits a 640 x 480 screen. Pixels throughout.
#pragma once

struct CWindowRect
{
    int m_nX = 0;
    int m_nY = 0;
    int m_nWidth = 0;
    int m_nHeight = 0;
    int Right() const { return m_nX + m_nWidth; }
    int Bottom() const { return m_nY + m_nHeight; }
};

// What the layout needs of the window's font: the dialog base units, and the
// widths the counters' captions take as it draws them.
struct CLayoutMetrics
{
    int m_nBaseX = 6;          // average character width
    int m_nBaseY = 13;         // character height
    int m_nCaptionWidth = 0;   // the wider of the two captions
};

struct CMainWindowLayout
{
    CWindowRect m_rcExit;            // "退出"
    CWindowRect m_rcTree;
    CWindowRect m_rcFilter;          // the search field
    CWindowRect m_rcDeletedOnly;     // "只显示已删除"
    CWindowRect m_rcRecoverableOnly; // "只显示可恢复", under it
    CWindowRect m_rcList;
    CWindowRect m_rcScan;            // "扫描文件"
    CWindowRect m_rcTotalCaption;
    CWindowRect m_rcDeletedCaption;
    CWindowRect m_rcTotal;           // the counters
    CWindowRect m_rcDeleted;
    CWindowRect m_rcShown;           // "显示 N 条，已选 M 条"
    CWindowRect m_rcHint;
};

// The client area's size the window opens with, and the least it may have.
void MainWindowDefaultSize(const CLayoutMetrics& metrics, int& nWidth, int& nHeight);
void MainWindowMinimumSize(const CLayoutMetrics& metrics, int& nWidth, int& nHeight);

// The controls' places in a client area of this size (below the least size,
// they are placed as at the least size).
CMainWindowLayout LayOutMainWindow(const CLayoutMetrics& metrics, int nWidth, int nHeight);
