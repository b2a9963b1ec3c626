#include <gtest/gtest.h>

#include "hub/discovery.h"
#include "sim_fixture.h"

namespace {

using simtest::SimFixture;

class Discovery : public SimFixture {};

TEST_F(Discovery, FindsTheHub)
{
    auto hub = std::make_shared<sim::SimHub>();
    sim::Port().AddDevice(sim::HubDevice("/dev/hub", hub));
    ConnectHIDDevice(kHubUsagePage, kHubUsage);
    EXPECT_EQ(SensorCunt, 1);
    EXPECT_NE(hFile[0], kNoHidHandle);
    EXPECT_EQ(ConsoleText(), "Find 1 XOV SensorHub.\r\n");
    EXPECT_EQ(LogText(), "Find 1 XOV SensorHub.\r\n");
}

}  // namespace
