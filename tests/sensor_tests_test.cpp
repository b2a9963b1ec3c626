// The light, colour and proximity tests through the stand-in.
#include "procedures/sensor_tests.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "common/state.h"
#include "hub/hub_memory.h"
#include "sim_fixture.h"

namespace {

using sim::FaultWindow;
using simtest::SimFixture;

class SensorTests : public SimFixture {
protected:
    void SetUp() override
    {
        SimFixture::SetUp();
        hub = ConnectHub();
    }
    void Fresh()
    {
        Restart();
        hub = ConnectHub();
    }
    std::shared_ptr<sim::SimHub> hub;
};

TEST_F(SensorTests, LightTest)
{
    const struct {
        std::uint16_t reading;
        std::uint8_t result;
        const char* text;
    } cases[] = {
        {1, 0, "Pass. (1)\r\n"},
        {250, 0, "Pass. (250)\r\n"},
        {65535, 0, "Pass. (65535)\r\n"},
        {0, 1, "Fail - No data\r\n"},
    };
    for (const auto& c : cases) {
        Fresh();
        hub->SetLightReading(c.reading);
        EXPECT_EQ(DoAmbientLightTest(0), c.result) << c.reading;
        EXPECT_EQ(ConsoleText(), c.text);
        EXPECT_EQ(LogText(), c.text);
        for (const std::string& e : Events({"SET"})) EXPECT_NE(e.substr(0, 8), "SET 5a01") << "no gain is set";
    }
}

TEST_F(SensorTests, LightTestAfterLeadingZeros)
{
    hub->SetLightReading(42);
    hub->lightZeroFetches = 99;
    EXPECT_EQ(DoAmbientLightTest(0), 0);
    EXPECT_EQ(ConsoleText(), "Pass. (42)\r\n");
    EXPECT_EQ(Events({"GET"}).size(), 100u);

    // An empty slot ends after the whole budget of requests; a request that
    // failed is not polled (10 x 50 ms).
    Fresh();
    hFile[0] = kNoHidHandle;
    EXPECT_EQ(DoAmbientLightTest(0), 1);
    EXPECT_EQ(ConsoleText(), "Fail - No data\r\n");
    EXPECT_EQ(SleptMs(), 500u);
}

TEST_F(SensorTests, ColorTest)
{
    const struct {
        std::array<std::uint16_t, 3> rgb;
        std::uint8_t result;
        const char* text;
    } cases[] = {
        {{1, 1, 1}, 0, "Pass. (1,1,1)\r\n"},
        {{120, 200, 90}, 0, "Pass. (120,200,90)\r\n"},
        {{65535, 65535, 65535}, 0, "Pass. (65535,65535,65535)\r\n"},
        {{12, 0, 40}, 1, "Fail - No data\r\n"},
        {{0, 0, 0}, 1, "Fail - No data\r\n"},
    };
    for (const auto& c : cases) {
        Fresh();
        hub->SetColorValues(c.rgb[0], c.rgb[1], c.rgb[2]);
        EXPECT_EQ(DoColorSensorTest(0), c.result) << c.text;
        EXPECT_EQ(ConsoleText(), c.text);
        EXPECT_EQ(LogText(), c.text);
        for (const std::string& e : Events({"SET"})) EXPECT_NE(e.substr(0, 8), "SET 5a01") << "no gain is set";
    }
}

TEST_F(SensorTests, ProximityTest)
{
    const struct {
        const char* name;
        int state;  // -1: not written
        int error;
        std::int32_t time;
        FaultWindow getFail;
        std::uint8_t result;
        const char* text;
    } cases[] = {
        {"running, no wait", 0x10, -1, 0, FaultWindow::Off(), 0, "Pass.\r\n"},
        {"failed, error 9", 0x11, 9, 0, FaultWindow::Off(), 1, "Fail.\r\n"},
        {"failed, error 3", 0x11, 3, 0, FaultWindow::Off(), 1, "Fail (other).\r\n"},
        {"failed, error 0x11", 0x11, 0x11, 0, FaultWindow::Off(), 1, "Fail (other).\r\n"},
        {"failed, error read fails", 0x11, 9, 0, FaultWindow::From(2), 1, "Fail (other).\r\n"},
        {"other state", 0x12, -1, 0, FaultWindow::Off(), 1, "Fail.\r\n"},
        {"state 0", -1, -1, 0, FaultWindow::Off(), 1, "Fail.\r\n"},
        {"state read fails", 0x10, -1, 0, FaultWindow::Always(), 1, "Fail.\r\n"},
    };
    for (const auto& c : cases) {
        Fresh();
        pTime = c.time;
        if (c.state >= 0) hub->Poke(RegPSensorState, static_cast<std::uint8_t>(c.state));
        if (c.error >= 0) hub->Poke(RegPSensorError, static_cast<std::uint8_t>(c.error));
        hub->faults.getFail = c.getFail;
        EXPECT_EQ(DoPSensorTest(0), c.result) << c.name;
        EXPECT_EQ(ConsoleText(), c.text) << c.name;
        EXPECT_EQ(LogText(), c.text) << c.name;
    }
}

TEST_F(SensorTests, ProximityRunningPassesAtOnceWithoutTime)
{
    hub->Poke(RegPSensorState, 0x10);
    EXPECT_EQ(DoPSensorTest(0), 0);
    // The state read alone.
    EXPECT_EQ(Events(), (std::vector<std::string>{"SET 5a05d50008010000000000000000000000", "SLEEP 5",
                                                  "GET 5a05d500080110" + std::string(20, '0'), "SLEEP 5"}));
}

TEST_F(SensorTests, ProximityReadingsOverPolls)
{
    hub->Poke(RegPSensorState, 0x10);
    hub->pSensorData = {0x0100, 0x0002};
    hub->pSensorZeroReads = 1;  // the first poll reads zeros
    pTime = 3;
    EXPECT_EQ(DoPSensorTest(0), 0);
    EXPECT_EQ(ConsoleText(), "\rPSensor Test   : 2 \rPSensor Test   : Pass.\r\n");
    EXPECT_EQ(LogText(), "Pass.\r\n");
    EXPECT_EQ(hub->pSensorDataReads, 2);

    // Readings that never arrive: the countdown, then the time-out.
    Fresh();
    hub->Poke(RegPSensorState, 0x10);
    hub->pSensorData = {0x0100, 0x0002};
    hub->pSensorZeroReads = 1000;
    pTime = 3;
    EXPECT_EQ(DoPSensorTest(0), 1);
    EXPECT_EQ(ConsoleText(),
              "\rPSensor Test   : 2 \rPSensor Test   : 1 \rPSensor Test   : 0 \rPSensor Test   : Fail (TimeOut).\r\n");
    EXPECT_EQ(LogText(), "Fail (TimeOut).\r\n");
    EXPECT_EQ(hub->pSensorDataReads, 3);
}

TEST_F(SensorTests, ProximityOnAnEmptySlot)
{
    hFile[0] = kNoHidHandle;
    EXPECT_EQ(DoPSensorTest(0), 1);
    EXPECT_EQ(ConsoleText(), "Fail.\r\n");
    EXPECT_TRUE(Events().empty());
}

}  // namespace
