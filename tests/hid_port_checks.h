// Checks of what the OS layer reports for an opened device.
#pragma once

#include <cstdint>

#include <gtest/gtest.h>

#include "hub/hid_port.h"

namespace testutil {

inline void ExpectUsage(HidHandle handle, std::uint16_t page, std::uint16_t usage)
{
    std::uint16_t gotPage = 0;
    std::uint16_t gotUsage = 0;
    ASSERT_TRUE(HidPortGetCaps(handle, gotPage, gotUsage));
    EXPECT_EQ(gotPage, page);
    EXPECT_EQ(gotUsage, usage);
}

inline void ExpectProductId(HidHandle handle, std::uint16_t productId)
{
    std::uint16_t got = 0;
    ASSERT_TRUE(HidPortGetProductId(handle, got));
    EXPECT_EQ(got, productId);
}

}  // namespace testutil
