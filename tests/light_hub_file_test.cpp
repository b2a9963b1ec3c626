// The hub-file directives of the light, colour and proximity sensors, and
// the light, colour and proximity procedures on sim/hubs/healthy.hub.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/state.h"
#include "hub/hub_control.h"
#include "hub/hub_memory.h"
#include "procedures/light_calibration.h"
#include "procedures/sensor_tests.h"
#include "sim/hub_file.h"
#include "sim_fixture.h"

namespace {

using simtest::SimFixture;

class LightHubFile : public SimFixture {
protected:
    bool Load(const std::string& text, const std::string& name = "t.hub") { return LoadHubFile(text, name, hub); }
    std::shared_ptr<sim::SimHub> hub;
};

TEST_F(LightHubFile, HealthyMachinePassesTheLightColourAndProximitySteps)
{
    ASSERT_TRUE(Load(SourceHubFile("healthy.hub"), "healthy.hub"));
    HidCustomCmdInit(0, CustomCmdModeOn);
    ASSERT_TRUE(hub->customMode);

    EXPECT_EQ(DoAmbientLightTest(0), 0);
    EXPECT_EQ(DoColorSensorTest(0), 0);
    pTime = 3;
    EXPECT_EQ(DoPSensorTest(0), 0);
    EXPECT_EQ(DoAmbientLightCalibration(0, 400), 0);
    const std::uint16_t ref[3] = {240, 300, 180};
    EXPECT_EQ(DoColorSensorCalibration(0, ref), 0);
    EXPECT_EQ(ColorTransmittance[0], 200.0f);
    EXPECT_EQ(ColorTransmittance[1], 150.0f);
    EXPECT_EQ(ColorTransmittance[2], 200.0f);
    EXPECT_EQ(LogText(), "Pass. (250)\r\nPass. (120,200,90)\r\nPass.\r\nPass.\r\nPass.\r\n");
    EXPECT_EQ(ConsoleText(), "Pass. (250)\r\nPass. (120,200,90)\r\n\rPSensor Test   : 2 \rPSensor Test   : Pass.\r\n"
                             "Pass.\r\nPass.\r\n");
}

TEST_F(LightHubFile, Directives)
{
    ASSERT_TRUE(Load("device /dev/hub hub\n"
                     "sensor light lux=250\n"
                     "sensor colour rgb=450,400,350\n"
                     "light-sensor gains=ignore zero-fetches=4\n"
                     "color-sensor gains=ignore zero-fetches=0,2,1\n"
                     "psensor state=0x11 error=9 data=1,0x0200 zero-polls=2\n"));
    EXPECT_FALSE(hub->lightGainsApply);
    EXPECT_FALSE(hub->colorGainsApply);
    EXPECT_EQ(hub->lightZeroFetches, 4);
    EXPECT_EQ(hub->colorZeroFetches, (std::array<int, 3>{0, 2, 1}));
    EXPECT_EQ(hub->Peek(RegPSensorState), 0x11);
    EXPECT_EQ(hub->Peek(RegPSensorError), 0x09);
    EXPECT_EQ(hub->pSensorData, (std::array<std::uint16_t, 2>{1, 0x200}));
    EXPECT_EQ(hub->pSensorZeroReads, 2);

    // A failed proximity sensor with error 9.
    EXPECT_EQ(DoPSensorTest(0), 1);
    EXPECT_EQ(LogText(), "Fail.\r\n");

    // One count for all three channels; data alone serves from the first poll.
    ASSERT_TRUE(Load("device /dev/hub hub\ncolour-sensor zero-fetches=3\npsensor data=5,6\n"));
    EXPECT_EQ(hub->colorZeroFetches, (std::array<int, 3>{3, 3, 3}));
    EXPECT_EQ(hub->pSensorZeroReads, 0);
    std::uint8_t data[4] = {};
    ASSERT_TRUE(WinDebugReadRegByteCunt(0, static_cast<int>(RegPSensorData), 4, data));
    EXPECT_EQ(std::vector<std::uint8_t>(data, data + 4), (std::vector<std::uint8_t>{5, 0, 6, 0}));
}

}  // namespace
