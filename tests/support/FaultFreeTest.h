// A GoogleTest fixture that starts and ends every test with no fault set.
#pragma once

#include "support/Faults.h"

#include <gtest/gtest.h>

namespace salvix_test
{

class CFaultFreeTest : public ::testing::Test
{
protected:
    void SetUp() override { ClearFaults(); }
    void TearDown() override { ClearFaults(); }
};

}  // namespace salvix_test
