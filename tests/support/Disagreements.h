// What the core and The Sleuth Kit disagree on, gathered record by record
// over a whole volume and reported at the end as one test failure that
// lists the first 40. Builds on Windows too.
#pragma once

#include "platform/Win32.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace salvix_test
{

class CDisagreements
{
public:
    void Add(DWORD dwRecord, const std::string& strWhat)
    {
        m_vecLines.push_back("record " + std::to_string(dwRecord) + ": " + strWhat);
    }

    // A failure of the running test when there is anything to report.
    void Report() const
    {
        if (m_vecLines.empty())
            return;
        std::string strAll;
        for (size_t i = 0; i < m_vecLines.size() && i < 40; ++i)
            strAll += m_vecLines[i] + "\n";
        ADD_FAILURE() << m_vecLines.size() << " disagreements with The Sleuth Kit:\n" << strAll;
    }

private:
    std::vector<std::string> m_vecLines;
};

}  // namespace salvix_test
