#include "platform/rtl/SysUtils.h"

#include <gtest/gtest.h>

TEST(Exceptions, CarryMessageAndClassName) {
    try {
        throw EReadError("Stream read error");
    } catch (const EStreamError& e) {
        EXPECT_EQ(e.Message(), "Stream read error");
        EXPECT_STREQ(e.ClassName(), "EReadError");
    }
    EXPECT_THROW(Abort(), EAbort);
}
