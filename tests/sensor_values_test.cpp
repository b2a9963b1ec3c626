// Sensor values and the lid angle through the stand-in.
#include "hub/sensor_values.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hub/transport.h"
#include "sim_fixture.h"

namespace {

using sim::FaultWindow;
using simtest::OneFault;
using simtest::SimFixture;

class SensorValues : public SimFixture {
protected:
    void SetUp() override
    {
        SimFixture::SetUp();
        hub = ConnectHub();
    }
    // Raw 16-bit words into the report of a sensor, from reply byte `at` on.
    void SetWords(std::uint8_t sensorId, std::size_t at, std::vector<std::uint16_t> words)
    {
        auto& data = hub->sensorReports[sensorId];
        for (std::uint16_t w : words) {
            data[at - 3] = static_cast<std::uint8_t>(w & 0xFFu);
            data[at - 2] = static_cast<std::uint8_t>(w >> 8);
            at += 2;
        }
    }
    std::shared_ptr<sim::SimHub> hub;
};

TEST(AxisWord, IsTheComplement)
{
    const struct {
        std::uint16_t word;
        std::int16_t value;
    } cases[] = {{0x0000, 0},    {0xFFFF, 0},  {0xFEFF, 256},    {0xFF00, 255},
                 {0x0100, -257}, {0x0001, -2}, {0x7FFF, -32768}, {0x8000, 32767}};
    for (const auto& c : cases) EXPECT_EQ(DecodeAxisWord(c.word), c.value) << std::hex << c.word;
}

TEST_F(SensorValues, AccelerometerWords)
{
    SetWords(SensorIdAcc1, 3, {0x0000, 0xFEFF, 0x0100});
    float x = 9, y = 9, z = 9;
    EXPECT_EQ(GetSensorValue3D(0, SensorIdAcc1, &x, &y, &z), 0);
    EXPECT_EQ(x, 0.0f);
    EXPECT_EQ(y, 1.0f);
    EXPECT_EQ(z, -1.00390625f);
    EXPECT_EQ(Events(), (std::vector<std::string>{"SET 5a0001" + std::string(28, '0'), "SLEEP 50",
                                                  "GET 5a00010000fffe0001" + std::string(16, '0'), "SLEEP 20"}));
}

TEST_F(SensorValues, GyroScaleIsTakenInDoubleThenFloat)
{
    SetWords(SensorIdGyro, 3, {0xFFFE, 0x0001, 0x0000});
    float x = 9, y = 9, z = 9;
    EXPECT_EQ(GetSensorValue3D(0, SensorIdGyro, &x, &y, &z), 0);
    EXPECT_EQ(x, static_cast<float>(0.22381));
    EXPECT_EQ(y, static_cast<float>(-0.44762));
    EXPECT_EQ(z, 0.0f);

    // Counts 7, 33 and -33: the float nearest the double product differs
    // from a product taken in single precision.
    SetWords(SensorIdGyro, 3, {0xFFF8, 0xFFDE, 0x0020});
    EXPECT_EQ(GetSensorValue3D(0, SensorIdGyro, &x, &y, &z), 0);
    EXPECT_EQ(x, static_cast<float>(7 * 0.22381));
    EXPECT_NE(x, 7.0f * 0.22381f);
    EXPECT_EQ(y, static_cast<float>(33 * 0.22381));
    EXPECT_EQ(z, static_cast<float>(-33 * 0.22381));

    // The scale follows the sensor asked for: the same words from the compass are counts / 256.
    SetWords(SensorIdCompass, 3, {0xFFFE, 0x0001, 0x0000});
    EXPECT_EQ(GetSensorValue3D(0, SensorIdCompass, &x, &y, &z), 0);
    EXPECT_EQ(x, 1.0f / 256);
    EXPECT_EQ(y, -2.0f / 256);
}

TEST_F(SensorValues, EchoMismatchGivesZerosAndOne)
{
    SetWords(SensorIdAcc2, 3, {0xFEFF, 0xFEFF, 0xFEFF});
    SetWords(SensorIdCustom2, 3, {1, 0, 2, 0, 3, 0});
    for (sim::FaultWindow sim::HubFaults::*fault : {&sim::HubFaults::wrongEcho, &sim::HubFaults::replyCommand}) {
        hub->faults = {};
        hub->faults.*fault = FaultWindow::Always();
        float x = 9, y = 9, z = 9;
        EXPECT_EQ(GetSensorValue3D(0, SensorIdAcc2, &x, &y, &z), 1);
        EXPECT_EQ(x, 0.0f);
        EXPECT_EQ(y, 0.0f);
        EXPECT_EQ(z, 0.0f);
        std::int32_t a = 9, b = 9, c = 9;
        EXPECT_EQ(GetSensorValueCustom2(0, SensorIdCustom2, &a, &b, &c), 1);
        EXPECT_EQ(a, 0);
        EXPECT_EQ(b, 0);
        EXPECT_EQ(c, 0);
    }
}

TEST_F(SensorValues, FailedExchangeGivesZerosAndOne)
{
    // No reply, a request that failed (the hub then still holds its reply to
    // the request before), and an empty slot: zeros that the hub never sent
    // are no reading, so the result says so.
    const struct {
        const char* name;
        FaultWindow getFail;
        FaultWindow setFail;
    } cases[] = {
        {"no reply", FaultWindow::Always(), FaultWindow::Off()},
        {"request failed", FaultWindow::Off(), FaultWindow::From(2)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Restart();
        hub = ConnectHub();
        SetWords(SensorIdAcc1, 3, {0xFEFF, 0xFEFF, 0xFEFF});
        float x = 9, y = 9, z = 9;
        ASSERT_EQ(GetSensorValue3D(0, SensorIdAcc1, &x, &y, &z), 0);  // set-feature 1 goes out
        hub->faults.getFail = c.getFail;
        hub->faults.setFail = c.setFail;
        EXPECT_EQ(GetSensorValue3D(0, SensorIdAcc1, &x, &y, &z), 1);
        EXPECT_EQ(x, 0.0f);
        EXPECT_EQ(y, 0.0f);
        EXPECT_EQ(z, 0.0f);
        std::int32_t a = 9, b = 9, cc = 9;
        EXPECT_EQ(GetSensorValueCustom2(0, SensorIdCustom2, &a, &b, &cc), 1);
        EXPECT_EQ(a, 0);
    }

    // An empty slot is not looked at: both transfers fail after the same waits.
    hFile[0] = kNoHidHandle;
    sim::TraceReset();
    float x = 9, y = 9, z = 9;
    EXPECT_EQ(GetSensorValue3D(0, SensorIdAcc1, &x, &y, &z), 1);
    EXPECT_EQ(x, 0.0f);
    EXPECT_EQ(SleptMs(), 70u);
}

TEST_F(SensorValues, Custom2ValuesAreSigned32Bit)
{
    hub->SetCustom2Values(100, -200, -2147483647 - 1);
    std::int32_t a = 0, b = 0, c = 0;
    EXPECT_EQ(GetSensorValueCustom2(0, SensorIdCustom2, &a, &b, &c), 0);
    EXPECT_EQ(a, 100);
    EXPECT_EQ(b, -200);
    EXPECT_EQ(c, -2147483647 - 1);
}

TEST_F(SensorValues, PacingAddsToTheFixedWaits)
{
    HIDCMDDelayMS = 30;
    DelayFlag = 1;
    float x, y, z;
    GetSensorValue3D(0, SensorIdAcc1, &x, &y, &z);
    EXPECT_EQ(Events({"SLEEP"}), (std::vector<std::string>{"SLEEP 30", "SLEEP 50", "SLEEP 30", "SLEEP 20"}));
}

TEST_F(SensorValues, StandInEncodesPhysicalValues)
{
    hub->SetAxisValues(SensorIdAcc1, 0.5, -0.25, 1.0);
    hub->SetAxisValues(SensorIdGyro, 0.44762, -0.44762, 0.0);
    float x, y, z;
    EXPECT_EQ(GetSensorValue3D(0, SensorIdAcc1, &x, &y, &z), 0);
    EXPECT_EQ(x, 0.5f);
    EXPECT_EQ(y, -0.25f);
    EXPECT_EQ(z, 1.0f);
    EXPECT_EQ(GetSensorValue3D(0, SensorIdGyro, &x, &y, &z), 0);
    EXPECT_EQ(x, static_cast<float>(2 * 0.22381));
    EXPECT_EQ(y, static_cast<float>(-2 * 0.22381));
}

TEST_F(SensorValues, AngleWords)
{
    // 210 gives 46 with 0.2238 (47 with 0.22381); 18521 gives 4144 in double
    // precision (4145 in single).
    const struct {
        std::int16_t word;
        std::int16_t degrees;
    } cases[] = {{1609, 360}, {1608, 359},   {1564, 350}, {1563, 349},   {805, 180},     {804, 179},
                 {45, 10},    {44, 9},       {0, 0},      {-4, 0},       {-5, -1},       {-8, -1},
                 {-9, -2},    {32767, 7333}, {210, 46},   {18521, 4144}, {-18521, -4144}};
    for (const auto& c : cases) {
        hub->SetAngleCounts(c.word);
        EXPECT_EQ(GetAngle(0), c.degrees) << c.word;
    }
    sim::TraceReset();
    hub->SetAngleCounts(805);
    GetAngle(0);
    EXPECT_EQ(Events(), (std::vector<std::string>{"SET 5a0008" + std::string(28, '0'), "SLEEP 50",
                                                  "GET 5a0008" + std::string(20, '0') + "2503" + std::string(4, '0'),
                                                  "SLEEP 20"}));
}

TEST_F(SensorValues, AngleOnlyFromTheAcc2Reply)
{
    // Only a reply that answers the ACC2 request carries the angle; a failed
    // exchange is AngleInvalid, never an angle of 0 that a range might hold.
    hub->SetAngleCounts(805);
    EXPECT_EQ(GetAngle(0), 180);

    const struct {
        const char* name;
        sim::HubFaults faults;
    } cases[] = {
        {"wrong sensor echo", OneFault(&sim::HubFaults::wrongEcho, FaultWindow::Always())},
        {"other command", OneFault(&sim::HubFaults::replyCommand, FaultWindow::Always())},
        {"no reply", OneFault(&sim::HubFaults::getFail, FaultWindow::Always())},
        {"request failed", OneFault(&sim::HubFaults::setFail, FaultWindow::Always())},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        hub->faults = c.faults;
        sim::TraceReset();
        EXPECT_EQ(GetAngle(0), AngleInvalid);
        EXPECT_EQ(SleptMs(), 70u);
    }

    hub->faults = sim::HubFaults{};
    hFile[0] = kNoHidHandle;
    sim::TraceReset();
    EXPECT_EQ(GetAngle(0), AngleInvalid);
    EXPECT_EQ(static_cast<std::uint16_t>(GetAngle(0)), 0xFFFF);
    EXPECT_TRUE(Events().empty());
}

}  // namespace
