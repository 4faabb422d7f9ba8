// A window's close as every front end runs it: the question before a close
// that loses the listing, asked once, and a save in hand that holds the close.
#include "session/WindowClose.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

// The user, answering each question from a list and noting what was asked.
struct CUser
{
    std::vector<bool> m_vecAnswers;
    std::vector<std::string> m_vecAsked;

    CCloseConfirmation::FnAsk Ask()
    {
        return [this](const char* pszQuestion) {
            m_vecAsked.push_back(pszQuestion);
            return m_vecAsked.size() <= m_vecAnswers.size() && m_vecAnswers[m_vecAsked.size() - 1];
        };
    }
};

const char kQuestion[] = "关闭窗口将丢失扫描结果，确定退出吗？";

}  // namespace

TEST(WindowCloseTest, TheUserIsAskedOnceAndOnlyWhenRowsAreListed)
{
    struct CCase
    {
        const char* m_pszWhat;
        size_t m_nRows;
        std::vector<bool> m_vecAnswers;  // to each close in turn
        std::vector<bool> m_vecMayClose; // what each close gets
        size_t m_nAsked;                 // questions asked in all
    };
    const CCase kCases[] = {
        {"an empty list closes at once", 0, {}, {true}, 0},
        {"a yes closes", 3, {true}, {true}, 1},
        {"a no keeps the window", 3, {false}, {false}, 1},
        {"a no, then a yes", 3, {false, true}, {false, true}, 2},
        {"a yes is not asked again", 3, {true}, {true, true}, 1},
    };
    for (const CCase& c : kCases)
    {
        CUser user{c.m_vecAnswers, {}};
        CCloseConfirmation close;
        CSaveGuard guard;
        for (size_t i = 0; i < c.m_vecMayClose.size(); ++i)
            EXPECT_EQ(c.m_vecMayClose[i], close.MayClose(2, c.m_nRows, user.Ask(), guard)) << c.m_pszWhat << ", close " << i;
        ASSERT_EQ(c.m_nAsked, user.m_vecAsked.size()) << c.m_pszWhat;
        for (const std::string& strAsked : user.m_vecAsked)
            EXPECT_EQ(kQuestion, strAsked) << c.m_pszWhat;
        int nResult = 0;
        EXPECT_FALSE(guard.TakeClose(nResult)) << c.m_pszWhat << ": no save held a close";
    }
}

TEST(WindowCloseTest, AWindowShownAgainAsksAgain)
{
    CUser user{{true, false}, {}};
    CCloseConfirmation close;
    CSaveGuard guard;
    EXPECT_TRUE(close.MayClose(1, 5, user.Ask(), guard));
    EXPECT_TRUE(close.Confirmed());
    close.Reopen();
    EXPECT_FALSE(close.Confirmed());
    EXPECT_FALSE(close.MayClose(1, 5, user.Ask(), guard)) << "the second answer is no";
    EXPECT_EQ(2u, user.m_vecAsked.size());
}
