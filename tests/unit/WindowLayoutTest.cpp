// The main window's layout at any size, for the fonts the two programs meet:
// every control inside the client area, none over another, the list taking
// what the window gains, the captions as wide as their texts.
#include "session/WindowLayout.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace
{

// "" when every control is inside nWidth x nHeight, not empty, and over no other.
std::string Fault(const CMainWindowLayout& l, int nWidth, int nHeight)
{
    const CWindowRect aRects[] = {l.m_rcExit,         l.m_rcTree,          l.m_rcFilter,       l.m_rcDeletedOnly,
                                  l.m_rcList,         l.m_rcScan,          l.m_rcTotalCaption, l.m_rcDeletedCaption,
                                  l.m_rcTotal,        l.m_rcDeleted,       l.m_rcShown,        l.m_rcHint,
                                  l.m_rcRecoverableOnly};
    for (size_t i = 0; i < std::size(aRects); ++i)
    {
        const CWindowRect& a = aRects[i];
        if (a.m_nWidth <= 0 || a.m_nHeight <= 0 || a.m_nX < 0 || a.m_nY < 0 || a.Right() > nWidth ||
            a.Bottom() > nHeight)
            return "control " + std::to_string(i) + " is empty or leaves the window";
        for (size_t j = i + 1; j < std::size(aRects); ++j)
        {
            const CWindowRect& b = aRects[j];
            if (a.m_nX < b.Right() && b.m_nX < a.Right() && a.m_nY < b.Bottom() && b.m_nY < a.Bottom())
                return "control " + std::to_string(i) + " covers " + std::to_string(j);
        }
    }
    return std::string();
}

}  // namespace

TEST(WindowLayoutTest, EverySizeKeepsEveryControlInsideAndApart)
{
    // Base units and caption widths: the 8-point dialog font, captions in a
    // wide CJK font, text at 125% and at 150%.
    const int kFonts[][3] = {{6, 13, 128}, {6, 13, 170}, {7, 16, 160}, {9, 20, 195}};
    for (const auto& font : kFonts)
    {
        CLayoutMetrics m;
        m.m_nBaseX = font[0];
        m.m_nBaseY = font[1];
        m.m_nCaptionWidth = font[2];
        SCOPED_TRACE(std::to_string(font[0]) + " x " + std::to_string(font[1]));
        int nDefaultWidth = 0, nDefaultHeight = 0, nMinWidth = 0, nMinHeight = 0;
        MainWindowDefaultSize(m, nDefaultWidth, nDefaultHeight);
        MainWindowMinimumSize(m, nMinWidth, nMinHeight);
        EXPECT_EQ(520 * m.m_nBaseX / 4, nDefaultWidth);
        EXPECT_EQ(223 * m.m_nBaseY / 8, nDefaultHeight);
        // The 8-point font fits a 640 x 480 screen, frame and caption bar included.
        EXPECT_TRUE(m.m_nBaseX != 6 || (nMinWidth <= 620 && nMinHeight <= 440));

        const CMainWindowLayout layoutDefault = LayOutMainWindow(m, nDefaultWidth, nDefaultHeight);
        const std::pair<int, int> kSizes[] = {{nDefaultWidth, nDefaultHeight}, {nMinWidth, nMinHeight},
                                              {1920, 1040}, {nMinWidth + 1, 3000}};
        for (const auto& [nWidth, nHeight] : kSizes)
        {
            const CMainWindowLayout layout = LayOutMainWindow(m, nWidth, nHeight);
            EXPECT_EQ("", Fault(layout, nWidth, nHeight)) << nWidth << " x " << nHeight;
            // The list and the tree take the difference; the bottom row and
            // the right-hand side follow the edges.
            EXPECT_EQ(layoutDefault.m_rcList.m_nWidth + nWidth - nDefaultWidth, layout.m_rcList.m_nWidth);
            EXPECT_EQ(layoutDefault.m_rcList.m_nHeight + nHeight - nDefaultHeight, layout.m_rcList.m_nHeight);
            EXPECT_EQ(layoutDefault.m_rcTree.m_nHeight + nHeight - nDefaultHeight, layout.m_rcTree.m_nHeight);
            EXPECT_EQ(layoutDefault.m_rcExit.Right() + nWidth - nDefaultWidth, layout.m_rcExit.Right());
            EXPECT_EQ(layoutDefault.m_rcShown.Bottom() + nHeight - nDefaultHeight, layout.m_rcShown.Bottom());
            EXPECT_EQ(m.m_nCaptionWidth, layout.m_rcTotalCaption.m_nWidth);
        }
        // Below the least size the controls stay where the least size puts them.
        EXPECT_EQ("", Fault(LayOutMainWindow(m, 100, 50), nMinWidth, nMinHeight));
    }
}
