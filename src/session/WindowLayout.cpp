#include "session/WindowLayout.h"

#include <algorithm>

namespace
{

// The template, in dialog units: the size it opens with, its margin, and the
// band at the bottom that holds the buttons, the counters and the line of
// shown and selected rows.
const int kDefaultWidth = 520;
const int kDefaultHeight = 223;
const int kMargin = 7;
const int kBandHeight = 47;
const int kButtonWidth = 86;
const int kButtonHeight = 25;
const int kListLeft = 96;
const int kListTop = 27;
const int kCountersLeft = 100;
const int kCounterWidth = 64;
const int kGap = 4;
const int kCheckWidth = 71;
// The least: the bottom band with some list above it, and a width that keeps
// the search field, the hint and the check box apart.
const int kMinimumWidth = 390;
const int kMinimumHeight = 140;

int UnitsX(const CLayoutMetrics& metrics, int nUnits)
{
    return nUnits * metrics.m_nBaseX / 4;
}

int UnitsY(const CLayoutMetrics& metrics, int nUnits)
{
    return nUnits * metrics.m_nBaseY / 8;
}

CWindowRect Rect(int nX, int nY, int nWidth, int nHeight)
{
    CWindowRect rect;
    rect.m_nX = nX;
    rect.m_nY = nY;
    rect.m_nWidth = std::max(0, nWidth);
    rect.m_nHeight = std::max(0, nHeight);
    return rect;
}

// The bottom band: buttons at its ends, the counters and the line under them between.
void LayOutBand(const CLayoutMetrics& m, int nWidth, int nBandTop, CMainWindowLayout& layout)
{
    auto x = [&](int n) { return UnitsX(m, n); };
    auto y = [&](int n) { return UnitsY(m, n); };
    layout.m_rcScan = Rect(x(kMargin), nBandTop + y(6), x(kButtonWidth), y(kButtonHeight));
    layout.m_rcExit = Rect(nWidth - x(kMargin) - x(kButtonWidth), nBandTop + y(6), x(kButtonWidth),
                           y(kButtonHeight));
    const int nCaptionX = x(kCountersLeft);
    const int nCounterX = nCaptionX + m.m_nCaptionWidth + x(kGap);
    layout.m_rcTotalCaption = Rect(nCaptionX, nBandTop + y(3), m.m_nCaptionWidth, y(8));
    layout.m_rcTotal = Rect(nCounterX, nBandTop + y(1), x(kCounterWidth), y(12));
    layout.m_rcDeletedCaption = Rect(nCaptionX, nBandTop + y(16), m.m_nCaptionWidth, y(8));
    layout.m_rcDeleted = Rect(nCounterX, nBandTop + y(14), x(kCounterWidth), y(12));
    layout.m_rcShown =
        Rect(nCaptionX, nBandTop + y(29), layout.m_rcExit.m_nX - x(kGap) - nCaptionX, y(9));
}

}  // namespace

void MainWindowDefaultSize(const CLayoutMetrics& metrics, int& nWidth, int& nHeight)
{
    nWidth = UnitsX(metrics, kDefaultWidth);
    nHeight = UnitsY(metrics, kDefaultHeight);
}

void MainWindowMinimumSize(const CLayoutMetrics& metrics, int& nWidth, int& nHeight)
{
    // The bottom row: a button, the counters with their captions, a button.
    const int nRow = UnitsX(metrics, kCountersLeft + kGap + kCounterWidth + kGap + kButtonWidth + kMargin) +
                     metrics.m_nCaptionWidth;
    nWidth = std::max(UnitsX(metrics, kMinimumWidth), nRow);
    nHeight = UnitsY(metrics, kMinimumHeight);
}

CMainWindowLayout LayOutMainWindow(const CLayoutMetrics& metrics, int nWidth, int nHeight)
{
    int nMinWidth = 0;
    int nMinHeight = 0;
    MainWindowMinimumSize(metrics, nMinWidth, nMinHeight);
    nWidth = std::max(nWidth, nMinWidth);
    nHeight = std::max(nHeight, nMinHeight);
    auto x = [&](int n) { return UnitsX(metrics, n); };
    auto y = [&](int n) { return UnitsY(metrics, n); };

    CMainWindowLayout layout;
    // The top row: the search field, the hint beside it, the check boxes at
    // the right, one above the other.
    layout.m_rcFilter = Rect(x(kListLeft), y(kMargin), x(118), y(13));
    layout.m_rcDeletedOnly = Rect(nWidth - x(kMargin) - x(kCheckWidth), y(2), x(kCheckWidth), y(11));
    layout.m_rcRecoverableOnly = Rect(layout.m_rcDeletedOnly.m_nX, y(14), x(kCheckWidth), y(11));
    const int nHintX = x(219);
    // Two lines: how the scan ended, and whether its states are known.
    layout.m_rcHint = Rect(nHintX, y(4), layout.m_rcDeletedOnly.m_nX - x(kGap) - nHintX, y(20));

    const int nBandTop = nHeight - y(kBandHeight);
    const int nListBottom = nBandTop - y(kGap);
    layout.m_rcTree = Rect(x(kMargin), y(kListTop - 2), x(kButtonWidth), nListBottom - y(3) - y(kListTop - 2));
    layout.m_rcList = Rect(x(kListLeft), y(kListTop), nWidth - x(kMargin) - x(kListLeft), nListBottom - y(kListTop));
    LayOutBand(metrics, nWidth, nBandTop, layout);
    return layout;
}
