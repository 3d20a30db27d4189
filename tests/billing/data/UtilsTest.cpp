#include "billing/data/Utils.h"

#include <gtest/gtest.h>

TEST(IntToStrZero, FillsToWidth) {
    EXPECT_EQ(IntToStrZero(123, 7), "0000123");
}
