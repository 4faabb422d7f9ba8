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

std::vector<std::pair<const char*, CWindowRect>> Controls(const CMainWindowLayout& layout)
{
    return {{"exit", layout.m_rcExit},
            {"tree", layout.m_rcTree},
            {"filter", layout.m_rcFilter},
            {"deleted only", layout.m_rcDeletedOnly},
            {"list", layout.m_rcList},
            {"scan", layout.m_rcScan},
            {"total caption", layout.m_rcTotalCaption},
            {"deleted caption", layout.m_rcDeletedCaption},
            {"total", layout.m_rcTotal},
            {"deleted", layout.m_rcDeleted},
            {"shown", layout.m_rcShown},
            {"hint", layout.m_rcHint}};
}

bool Overlap(const CWindowRect& a, const CWindowRect& b)
{
    return a.m_nX < b.Right() && b.m_nX < a.Right() && a.m_nY < b.Bottom() && b.m_nY < a.Bottom();
}

// "" when every control is inside nWidth x nHeight, not empty, and over no other.
std::string Fault(const CMainWindowLayout& layout, int nWidth, int nHeight)
{
    const auto vecControls = Controls(layout);
    for (size_t i = 0; i < vecControls.size(); ++i)
    {
        const auto& [pszName, rect] = vecControls[i];
        if (rect.m_nWidth <= 0 || rect.m_nHeight <= 0)
            return std::string(pszName) + " is empty";
        if (rect.m_nX < 0 || rect.m_nY < 0 || rect.Right() > nWidth || rect.Bottom() > nHeight)
            return std::string(pszName) + " leaves the window";
        for (size_t j = i + 1; j < vecControls.size(); ++j)
            if (Overlap(rect, vecControls[j].second))
                return std::string(pszName) + " covers " + vecControls[j].first;
    }
    return std::string();
}

struct CFontCase
{
    const char* m_pszWhat;
    CLayoutMetrics m_metrics;
};

CLayoutMetrics Metrics(int nBaseX, int nBaseY, int nCaption)
{
    CLayoutMetrics metrics;
    metrics.m_nBaseX = nBaseX;
    metrics.m_nBaseY = nBaseY;
    metrics.m_nCaptionWidth = nCaption;
    return metrics;
}

const CFontCase kFonts[] = {
    {"8-point dialog font", Metrics(6, 13, 128)},
    {"captions in a wide CJK font", Metrics(6, 13, 170)},
    {"125% text", Metrics(7, 16, 160)},
    {"150% text", Metrics(9, 20, 195)},
};

}  // namespace

TEST(WindowLayoutTest, EverySizeKeepsEveryControlInsideAndApart)
{
    for (const CFontCase& font : kFonts)
    {
        SCOPED_TRACE(font.m_pszWhat);
        const CLayoutMetrics& m = font.m_metrics;
        int nDefaultWidth = 0, nDefaultHeight = 0, nMinWidth = 0, nMinHeight = 0;
        MainWindowDefaultSize(m, nDefaultWidth, nDefaultHeight);
        MainWindowMinimumSize(m, nMinWidth, nMinHeight);
        EXPECT_EQ(520 * m.m_nBaseX / 4, nDefaultWidth);
        EXPECT_EQ(223 * m.m_nBaseY / 8, nDefaultHeight);
        EXPECT_LT(nMinWidth, nDefaultWidth);
        EXPECT_LT(nMinHeight, nDefaultHeight);

        const CMainWindowLayout layoutDefault = LayOutMainWindow(m, nDefaultWidth, nDefaultHeight);
        const std::pair<int, int> kSizes[] = {{nDefaultWidth, nDefaultHeight}, {nMinWidth, nMinHeight},
                                              {624, 441}, {1920, 1040}, {nMinWidth + 1, 3000}};
        for (const auto& [nWidth, nHeight] : kSizes)
        {
            SCOPED_TRACE(std::to_string(nWidth) + " x " + std::to_string(nHeight));
            if (nWidth < nMinWidth || nHeight < nMinHeight)
                continue;  // larger fonts need more than a 640 x 480 screen
            const CMainWindowLayout layout = LayOutMainWindow(m, nWidth, nHeight);
            EXPECT_EQ("", Fault(layout, nWidth, nHeight));
            // The list and the tree take the difference; the bottom row and
            // the right-hand controls follow the edges.
            EXPECT_EQ(layoutDefault.m_rcList.m_nWidth + nWidth - nDefaultWidth, layout.m_rcList.m_nWidth);
            EXPECT_EQ(layoutDefault.m_rcList.m_nHeight + nHeight - nDefaultHeight, layout.m_rcList.m_nHeight);
            EXPECT_EQ(layoutDefault.m_rcTree.m_nHeight + nHeight - nDefaultHeight, layout.m_rcTree.m_nHeight);
            EXPECT_EQ(nWidth - (nDefaultWidth - layoutDefault.m_rcExit.Right()), layout.m_rcExit.Right());
            EXPECT_EQ(nHeight - (nDefaultHeight - layoutDefault.m_rcShown.Bottom()), layout.m_rcShown.Bottom());
            EXPECT_EQ(layoutDefault.m_rcFilter.m_nY, layout.m_rcFilter.m_nY);
            // Captions as wide as their texts, the counters right of them.
            EXPECT_EQ(m.m_nCaptionWidth, layout.m_rcTotalCaption.m_nWidth);
            EXPECT_GT(layout.m_rcTotal.m_nX, layout.m_rcTotalCaption.Right());
        }
        // Below the least size the controls stay where the least size puts them.
        const CMainWindowLayout layoutSmall = LayOutMainWindow(m, 100, 50);
        EXPECT_EQ("", Fault(layoutSmall, nMinWidth, nMinHeight));
    }
}

TEST(WindowLayoutTest, TheLeastSizeFitsASmallScreen)
{
    // A 640 x 480 screen with a frame of a few pixels and a caption bar.
    int nMinWidth = 0, nMinHeight = 0;
    MainWindowMinimumSize(kFonts[0].m_metrics, nMinWidth, nMinHeight);
    EXPECT_LE(nMinWidth, 620);
    EXPECT_LE(nMinHeight, 440);
    MainWindowMinimumSize(kFonts[1].m_metrics, nMinWidth, nMinHeight);
    EXPECT_LE(nMinWidth, 620);
    // Template units become pixels as the platform maps them.
    const CWindowRect rect = DialogUnitsToPixels(Metrics(6, 13, 0), 323, 189, 86, 25);
    EXPECT_EQ(484, rect.m_nX);
    EXPECT_EQ(307, rect.m_nY);
    EXPECT_EQ(129, rect.m_nWidth);
    EXPECT_EQ(40, rect.m_nHeight);
}
