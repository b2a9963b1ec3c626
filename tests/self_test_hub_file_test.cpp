// The hub-file directives of the self test and the compass calibration, and
// both procedures on the healthy machine that sim/hubs/healthy.hub describes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "hub/inventory.h"
#include "hub/transport.h"
#include "procedures/compass_calibration.h"
#include "procedures/self_test.h"
#include "sim/hub_file.h"
#include "sim_fixture.h"

namespace {

using simtest::SimFixture;
using Echo = sim::SimHub::SelfTestEcho;

class SelfTestHubFile : public SimFixture {
protected:
    bool Load(const std::string& text, const std::string& name = "t.hub") { return LoadHubFile(text, name, hub); }
    std::shared_ptr<sim::SimHub> hub;
};

TEST_F(SelfTestHubFile, Directives)
{
    ASSERT_TRUE(Load("device /dev/h hub\n"
                     "self-test acc1 busy=3 status=0x10\n"
                     "self-test gyro busy=always echo=command\n"
                     "self-test compass echo=sensor\n"
                     "self-test acc2 status=0xcccccccc\n"
                     "init-status 0x07\n"
                     "compass-accuracy 0 1 0x13\n"));
    const auto& acc1 = hub->selfTests[SensorIdAcc1];
    EXPECT_EQ(acc1.busyFetches, 3);
    EXPECT_EQ(acc1.status, 0x10u);
    EXPECT_EQ(acc1.echo, Echo::Ok);
    EXPECT_EQ(hub->selfTests[SensorIdGyro].busyFetches, -1);
    EXPECT_EQ(hub->selfTests[SensorIdGyro].echo, Echo::Command);
    EXPECT_EQ(hub->selfTests[SensorIdCompass].echo, Echo::Sensor);
    EXPECT_EQ(hub->selfTests[SensorIdAcc2].status, 0xCCCCCCCCu);
    EXPECT_EQ(hub->Peek(0x081200), 0x07);
    EXPECT_EQ(hub->compassAccuracySteps, (std::vector<std::uint8_t>{0, 1, 0x13}));
}

TEST_F(SelfTestHubFile, RepliesFollowTheDirectives)
{
    ASSERT_TRUE(Load("device /dev/h hub\n"
                     "self-test acc1 busy=2 status=0x10\n"
                     "self-test compass echo=command\n"
                     "self-test gyro echo=sensor\n"
                     "compass-accuracy 0 2\n"));
    auto ask = [&](std::uint8_t command, std::uint8_t id) {
        EXPECT_TRUE(hub->OnSetFeature(MakeRequest(command, id)));
        HidReport reply{};
        EXPECT_TRUE(hub->OnGetFeature(reply));
        return sim::HexBytes(reply.data(), reply.size());
    };
    const std::string rest(20, '0');
    // Busy for two fetches over the run, whatever the requests, then the word.
    EXPECT_EQ(ask(HidCmdSelfTest, SensorIdAcc1), "5a0301cccccccc" + rest);
    EXPECT_EQ(ask(HidCmdSelfTest, SensorIdAcc1), "5a0301cccccccc" + rest);
    EXPECT_EQ(ask(HidCmdSelfTest, SensorIdAcc1), "5a030110000000" + rest);
    EXPECT_EQ(hub->selfTests[SensorIdAcc1].requests, 3);
    EXPECT_EQ(ask(HidCmdSelfTest, SensorIdCompass), "5a830300000000" + rest);
    EXPECT_EQ(ask(HidCmdSelfTest, SensorIdGyro), "5a030300000000" + rest);
    EXPECT_EQ(ask(HidCmdSelfTest, SensorIdAcc2), "5a030800000000" + rest);  // no line: passes
    // The accuracy report walks through its steps, the last one repeating.
    const std::string acc0 = "5a0007" + std::string(12, '0') + "00" + std::string(14, '0');
    const std::string acc2 = "5a0007" + std::string(12, '0') + "02" + std::string(14, '0');
    EXPECT_EQ(ask(HidCmdGetSensorValue, SensorIdCompassAccuracy), acc0);
    EXPECT_EQ(ask(HidCmdGetSensorValue, SensorIdCompassAccuracy), acc2);
    EXPECT_EQ(ask(HidCmdGetSensorValue, SensorIdCompassAccuracy), acc2);
}

TEST_F(SelfTestHubFile, HealthyMachinePasses)
{
    ASSERT_TRUE(Load(SourceHubFile("healthy.hub"), "healthy.hub"));
    hub->customMode = true;  // as the hub sequence leaves it
    CheckSensors(0);
    for (std::uint8_t id : {SensorIdAcc1, SensorIdGyro, SensorIdCompass, SensorIdAcc2})
        EXPECT_EQ(DoSelfTest(0, id), 0) << int{id};
    AccTestMode = 1;
    EXPECT_EQ(DoSelfTest(0, SensorIdAcc1), 0);
    EXPECT_EQ(DoCalibrationForComp(0), 0);
    EXPECT_EQ(LogText(), "Pass.\r\nPass.\r\nPass.\r\nPass.\r\nPass.\r\nPass (3)\r\n");
    // The compass request carries ACC2's presence; the accuracy took three polls.
    const std::vector<std::string> sets = Events({"SET"});
    EXPECT_EQ(std::count(sets.begin(), sets.end(), "SET 5a0403000180" + std::string(22, '0')), 1);
    EXPECT_EQ(hub->compassAccuracyFetches, 3);
}

}  // namespace
