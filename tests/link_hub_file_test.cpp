// The hub-file directives of the link commands, and the link's operations on
// the healthy machine that sim/hubs/healthy.hub describes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "hub/hub_control.h"
#include "hub/hub_memory.h"
#include "hub/inventory.h"
#include "hub/param_block.h"
#include "hub/sensor_values.h"
#include "sim/hub_file.h"
#include "sim_fixture.h"

namespace {

using simtest::SimFixture;

class LinkHubFile : public SimFixture {
protected:
    bool Load(const std::string& text, const std::string& name = "t.hub") { return LoadHubFile(text, name, hub); }
    std::shared_ptr<sim::SimHub> hub;
};

TEST_F(LinkHubFile, HealthyMachine)
{
    ASSERT_TRUE(Load(SourceHubFile("healthy.hub"), "healthy.hub"));

    HidCustomCmdInit(0, CustomCmdModeOn);
    EXPECT_TRUE(hub->customMode);
    ASSERT_EQ(GetEFlashBufferAddr(0, &gEFlashAddr, &gBufferAddr, &gParamLength), 0);
    EXPECT_EQ(gEFlashAddr, 0x001000u);
    EXPECT_EQ(gBufferAddr, 0x082000u);
    EXPECT_EQ(gParamLength, 1024);

    CheckSensors(0);
    EXPECT_EQ(std::vector<std::uint8_t>(SensorList, SensorList + kSensorListSize),
              (std::vector<std::uint8_t>{1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(ColorSensorFlag, 1);
    EXPECT_EQ(CheckSensorExist(0), 0);
    EXPECT_EQ(ConsoleText(), "The number of sensor is 6.\r\n");

    float x, y, z;
    for (std::uint8_t id : {SensorIdAcc1, SensorIdAcc2}) {
        EXPECT_EQ(GetSensorValue3D(0, id, &x, &y, &z), 0);
        EXPECT_EQ(x, 0.0f);
        EXPECT_EQ(y, 0.0f);
        EXPECT_EQ(z, 1.0f);
    }
    const std::int16_t angle = GetAngle(0);
    EXPECT_TRUE(angle >= 0 && angle <= 10) << angle;
    EXPECT_EQ(GetSensorValue3D(0, SensorIdGyro, &x, &y, &z), 0);
    EXPECT_NE(x, 0.0f);
    EXPECT_LT(std::fabs(x), 6.0f);
    EXPECT_EQ(GetSensorValue3D(0, SensorIdCompass, &x, &y, &z), 0);
    EXPECT_EQ(x, 20.5f);
    EXPECT_EQ(y, -4.25f);
    std::int32_t a, b, c;
    EXPECT_EQ(GetSensorValueCustom2(0, SensorIdCustom2, &a, &b, &c), 0);
    EXPECT_EQ(b, -200);

    // Both copies of the block are equal and carry a valid header with ext 34.
    std::vector<std::uint8_t> ram(gParamLength), flash(gParamLength);
    ASSERT_TRUE(WinDebugReadRegByteCunt(0, static_cast<int>(gBufferAddr), gParamLength, ram.data()));
    ASSERT_TRUE(WinDebugReadRegByteCunt(0, static_cast<int>(gEFlashAddr), gParamLength, flash.data()));
    EXPECT_EQ(ram, flash);
    EXPECT_EQ(ParameterBlockExt(ram.data(), ram.size()), 34u);
    EXPECT_EQ(ParameterBlockInt16(ram.data(), ram.size(), ParameterBlock::Acc2Bias + 34 + 2), 6);
    EXPECT_EQ(ParameterBlockInt16(ram.data(), ram.size(), ParameterBlock::CompassBiasWithAcc2), 120);
    EXPECT_EQ(ParameterBlockUint16(ram.data(), ram.size(), ParameterBlock::LightGainBase), 1000);

    ClearBufferParameterAndRestartFusion(0, 1, ClearAreaAcc2BiasGain);
    EXPECT_FALSE(hub->fusionLocked);
    EXPECT_EQ(hub->Peek(gBufferAddr + 60, 12), std::vector<std::uint8_t>(12, 0));
    EXPECT_NE(hub->Peek(gEFlashAddr + 60, 12), std::vector<std::uint8_t>(12, 0));

    HidCustomCmdInit(0, CustomCmdModeOff);
    EXPECT_FALSE(hub->customMode);
}

TEST_F(LinkHubFile, Directives)
{
    ASSERT_TRUE(
        Load("device /dev/hub hub\n"
             "param-area eflash=0x1000 ram=0x2000 length=64 confirm=no\n"
             "param ram signature 63 89\n"
             "param ram ext 16\n"
             "param ram acc2-bias -1 2 -3\n"
             "param flash acc2-bias 7 7 7\n"
             "param both bytes 60 de ad\n"
             "sensor acc2 present=no counts=0,-2,256 angle-counts=-9\n"
             "sensor gyro slot=ff status=fail\n"
             "sensor colour present=no\n"
             "sensor light lux=0x1234 status=none\n"
             "sensor compass accuracy=0x13\n"
             "fusion-variant yes\n"
             "status-list entry=0x20:fail n=7\n"));
    EXPECT_FALSE(hub->paramQueryConfirms);
    EXPECT_EQ(hub->Peek(0x2000 + 42, 6), (std::vector<std::uint8_t>{0xFF, 0xFF, 0x02, 0x00, 0xFD, 0xFF}));
    EXPECT_EQ(hub->Peek(0x1000 + 26, 2), (std::vector<std::uint8_t>{0x07, 0x00}));  // no signature: ext 0
    EXPECT_EQ(hub->Peek(0x1000 + 60, 2), (std::vector<std::uint8_t>{0xDE, 0xAD}));
    EXPECT_EQ(hub->Peek(0x2000 + 60, 2), (std::vector<std::uint8_t>{0xDE, 0xAD}));
    EXPECT_EQ(hub->Peek(RegSensorSlot + 4), 0x00);
    EXPECT_EQ(hub->Peek(RegSensorSlot + 16), 0xFF);
    EXPECT_EQ(hub->Peek(RegFusionVariant), 0x6D);
    // acc2 words: complements of 0, -2, 256; the angle word plain.
    const auto& acc2 = hub->sensorReports.at(SensorIdAcc2);
    EXPECT_EQ(std::vector<std::uint8_t>(acc2.begin(), acc2.begin() + 6),
              (std::vector<std::uint8_t>{0xFF, 0xFF, 0x01, 0x00, 0xFF, 0xFE}));
    EXPECT_EQ(acc2[10], 0xF7);
    EXPECT_EQ(acc2[11], 0xFF);
    EXPECT_EQ(hub->sensorReports.count(SensorIdColor), 0u);
    EXPECT_EQ(hub->sensorReports.at(SensorIdAmbientLight)[6], 0x34);
    EXPECT_EQ(hub->sensorReports.at(SensorIdCompassAccuracy)[6], 0x13);
    EXPECT_EQ(hub->statusList, (std::vector<std::pair<std::uint8_t, bool>>{
                                   {SensorIdGyro, false}, {SensorIdCompass, true}, {0x20, false}}));
    EXPECT_EQ(hub->statusCount, 7);
}

}  // namespace
