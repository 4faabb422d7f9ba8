// The public test images (SALVIX_TESTDATA_DIR, ../shared/testdata beside the
// clone): volumes made elsewhere, by other tools and by Windows itself. A
// clone without them still tests green: each test that reads one skips,
// saying which file is absent, and nothing else depends on them.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace salvix_test
{

inline bool TestDataPresent(const std::string& strFile)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(strFile, ec);
}

}  // namespace salvix_test

// In a test's body: skips it when the public image strFile is absent.
#define SALVIX_SKIP_WITHOUT_TESTDATA(strFile)                                                              \
    do                                                                                                     \
    {                                                                                                      \
        const std::string strTestData_ = (strFile);                                                        \
        if (!salvix_test::TestDataPresent(strTestData_))                                                   \
            GTEST_SKIP() << strTestData_ << " is absent (the public test images are not beside this clone)"; \
    } while (false)
