// Finding the hub among the HID devices, on the simulated port.
#include "hub/discovery.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "sim_fixture.h"

namespace {

using sim::HubDevice;
using sim::Port;
using sim::SimDevice;
using simtest::SimFixture;

SimDevice Plain(const std::string& path, std::uint16_t page, std::uint16_t usage)
{
    SimDevice device;
    device.path = path;
    device.usagePage = page;
    device.usage = usage;
    return device;
}

class Discovery : public SimFixture {
protected:
    void Connect() { ConnectHIDDevice(kHubUsagePage, kHubUsage); }

    void ExpectFound(const std::string& path)
    {
        EXPECT_EQ(SensorCunt, 1);
        ASSERT_NE(hFile[0], kNoHidHandle);
        EXPECT_TRUE(Port().IsOpen(hFile[0]));
        EXPECT_EQ(Port().OpenHandles(), 1);
        EXPECT_EQ(Events({"OPEN"}).back(), "OPEN " + path);
        EXPECT_EQ(ConsoleText(), "Find 1 XOV SensorHub.\r\n");
        EXPECT_EQ(LogText(), "Find 1 XOV SensorHub.\r\n");
    }

    void ExpectNone()
    {
        EXPECT_EQ(SensorCunt, 0);
        EXPECT_EQ(hFile[0], kNoHidHandle);
        EXPECT_EQ(Port().OpenHandles(), 0);
        EXPECT_EQ(ConsoleText(), "Find 0 XOV SensorHub.\r\n");
        EXPECT_EQ(LogText(), "Find 0 XOV SensorHub.\r\n");
    }

    std::shared_ptr<sim::SimHub> hub = std::make_shared<sim::SimHub>();
};

TEST_F(Discovery, TheLowerIndexWinsAndTheOtherHubIsNeverOpened)
{
    Port().SetDevice(0, Plain("/dev/kbd", 0x0001, 0x06));
    Port().SetDevice(1, HubDevice("/dev/hub-a", hub));
    Port().SetDevice(2, HubDevice("/dev/hub-b", hub));
    Connect();
    ExpectFound("/dev/hub-a");
    EXPECT_EQ(Port().OpenCount(2), 0);
    EXPECT_EQ(Events({"OPEN", "CLOSE"}),
              (std::vector<std::string>{"OPEN /dev/kbd", "CLOSE /dev/kbd", "OPEN /dev/hub-a"}));
    // The walk ended at the hub.
    EXPECT_EQ(Port().PathQueries(), (std::vector<int>{0, 1}));
}

TEST_F(Discovery, WrongUsageOrPageIsOpenedRejectedAndClosed)
{
    Port().AddDevice(Plain("/dev/usage81", kHubUsagePage, 0x81));
    Port().AddDevice(Plain("/dev/page1", 0x0001, kHubUsage));
    SimDevice noCaps = HubDevice("/dev/nocaps", hub);
    noCaps.capsOk = false;
    Port().AddDevice(noCaps);
    SimDevice closed = HubDevice("/dev/closed", hub);
    closed.openable = false;
    Port().AddDevice(closed);
    Port().AddDevice(HubDevice("/dev/hub", hub));
    Connect();
    ExpectFound("/dev/hub");
    EXPECT_EQ(
        Events({"OPEN", "CLOSE"}),
        (std::vector<std::string>{"OPEN /dev/usage81", "CLOSE /dev/usage81", "OPEN /dev/page1", "CLOSE /dev/page1",
                                  "OPEN /dev/nocaps", "CLOSE /dev/nocaps", "OPEN FAIL /dev/closed", "OPEN /dev/hub"}));
}

TEST_F(Discovery, ProductIdFilter)
{
    struct Case {
        std::int32_t filter;
        std::uint16_t productId;
        bool attributesOk;
        bool found;
    } cases[] = {
        {0, 0x1234, true, true},                                        // no filter
        {0x8301, 0x8301, true, true},                                   // the wanted hub
        {0x8301, 0x8300, true, false},                                  // another 0x83xx product
        {0x1234, 0x8300, true, true},                                   // not of the form 0x83xx: ignored
        {0x1234, 0x1234, true, true},  {0x18301, 0x8301, true, false},  // above 0xFFFF: matches nothing
        {0x8301, 0x8300, false, true},                                  // failed attribute query: accepted
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << "filter 0x" << c.filter << " pid 0x" << c.productId
                                        << " attributes " << c.attributesOk);
        Restart();
        MainTargetPID = c.filter;
        SimDevice device = HubDevice("/dev/hub", hub, c.productId);
        device.attributesOk = c.attributesOk;
        Port().AddDevice(device);
        Connect();
        if (c.found) {
            ExpectFound("/dev/hub");
        } else {
            ExpectNone();
            EXPECT_EQ(Events({"OPEN", "CLOSE"}), (std::vector<std::string>{"OPEN /dev/hub", "CLOSE /dev/hub"}));
        }
    }
}

TEST_F(Discovery, TheFilterAppliesOnlyToTheHubsOwnUsagePair)
{
    MainTargetPID = 0x8301;
    SimDevice other = Plain("/dev/other", 0x0001, 0x06);
    other.productId = 0x8300;
    Port().AddDevice(other);
    ConnectHIDDevice(0x0001, 0x06);
    EXPECT_EQ(SensorCunt, 1);
}

TEST_F(Discovery, GapsDoNotStopTheWalkAndIndex256IsNeverAsked)
{
    Port().SetDevice(3, Plain("/dev/kbd", 0x0001, 0x06));
    Port().SetDevice(255, HubDevice("/dev/hub", hub));
    Connect();
    ExpectFound("/dev/hub");

    Restart();
    Port().SetDevice(256, HubDevice("/dev/hub", hub));
    Connect();
    ExpectNone();
    EXPECT_EQ(Port().OpenCount(256), 0);
}

TEST_F(Discovery, NoDeviceTriesAll256Indices)
{
    Connect();
    ExpectNone();
    std::vector<int> all(kDiscoveryIndexCount);
    for (int i = 0; i < kDiscoveryIndexCount; ++i) all[static_cast<std::size_t>(i)] = i;
    EXPECT_EQ(Port().PathQueries(), all);
    EXPECT_TRUE(Events().empty());
}

TEST_F(Discovery, StartsCountingFromZero)
{
    SensorCunt = 1;  // left over from an earlier walk
    Connect();
    ExpectNone();
}

}  // namespace
