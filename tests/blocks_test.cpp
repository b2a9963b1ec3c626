// The test block and the calibration block with recording stand-ins of the
// procedures they call. Each stand-in completes its row's line with a record
// of its call (hub, arguments and the settings it reads), notes the pacing
// switch it ran with, and returns the result the case gives it; the case then
// compares the console and the run log (labels and records, in order) and
// ResultFlag.
//
// The stand-ins replace every function of each procedure's object, so the
// linker takes them from this file and never pulls those objects from the
// library.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/calibration_block.h"
#include "app/hub_sequence.h"
#include "app/options.h"
#include "app/test_block.h"
#include "hub/discovery.h"
#include "hub/inventory.h"
#include "procedures/calibrate.h"
#include "procedures/compass_calibration.h"
#include "procedures/light_calibration.h"
#include "procedures/self_test.h"
#include "procedures/sensor_tests.h"
#include "sim/hub_file.h"
#include "tests/sim_fixture.h"

namespace {

// What the stand-ins return (by the key of their call, 0 when not listed)
// and the pacing switch of every call they saw.
std::map<std::string, std::uint8_t> results;
std::vector<std::int32_t> delayFlags;

std::uint8_t Complete(const std::string& key, const std::string& record)
{
    delayFlags.push_back(DelayFlag);
    PrintBoth("%s\n", record.c_str());
    const auto found = results.find(key);
    return found == results.end() ? 0 : found->second;
}

std::string Num(std::int32_t value)
{
    return std::to_string(value);
}

std::string Hex(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02X", value);
    return text;
}

}  // namespace

std::uint8_t DoSelfTest(std::uint8_t hub, std::uint8_t sensorId)
{
    // Only the first accelerometer's test reads AccTestMode.
    std::string record = "[self " + Num(hub) + " " + Num(sensorId);
    if (sensorId == SensorIdAcc1) record += " mode " + Num(AccTestMode);
    return Complete("self" + Num(sensorId), record + "]");
}

std::uint8_t DoAmbientLightTest(std::uint8_t hub)
{
    return Complete("light", "[light " + Num(hub) + "]");
}

std::uint8_t DoColorSensorTest(std::uint8_t hub)
{
    return Complete("color", "[color " + Num(hub) + "]");
}

std::uint8_t DoPSensorTest(std::uint8_t hub)
{
    return Complete("psensor", "[psensor " + Num(hub) + " pTime " + Num(pTime) + "]");
}

std::uint8_t DoCalibration(std::uint8_t hub, std::uint8_t sensorId, std::uint8_t CaliPhase)
{
    std::string record = "[cali " + Num(hub) + " " + Hex(sensorId) + " " + Hex(CaliPhase);
    if (sensorId == SensorIdGyro) record += " timeout " + Num(GyroTimeOut) + " offset " + std::to_string(MaxGyroOffset);
    if (sensorId == SensorIdPSensor) record += " distance " + Num(gPSensorDistance) + " mode " + Num(gPSensorMode);
    if (sensorId == SensorIdPSensorThreshold) {
        switch (CaliPhase) {
            case CaliPhaseCrossTalk:
                record += " " + Num(gPSensorCrossTalkUpperBound) + " " + Num(gPSensorCrossTalkLowerBound);
                break;
            case CaliPhaseTHDH1:
                record += " " + Num(gPSensorTHDH1UpperBound) + " " + Num(gPSensorTHDH1LowerBound);
                break;
            case CaliPhaseTHDHYS:
                record += " " + Num(gPSensorTHDHYSUpperBound) + " " + Num(gPSensorTHDHYSLowerBound) + " " +
                          Num(gPSensorTHDHYSValue);
                break;
            case CaliPhaseNewCrossTalk:
                record += " " + Num(gPSensorNewCrossTalkUpperBound) + " " + Num(gPSensorNewCrossTalkLowerBound);
                break;
            default:
                break;
        }
    }
    return Complete("cali" + Hex(sensorId) + Hex(CaliPhase), record + "]");
}

std::uint8_t DoCalibrationForComp(std::uint8_t hub)
{
    return Complete("comp", "[comp " + Num(hub) + " accuracy " + Num(Accuracy) + "]");
}

std::uint8_t DoAmbientLightCalibration(std::uint8_t hub, std::uint16_t lux)
{
    return Complete("lightcal", "[lightcal " + Num(hub) + " " + Num(lux) + "]");
}

std::uint8_t DoColorSensorCalibration(std::uint8_t hub, const std::uint16_t ref[3])
{
    return Complete("colorcal",
                    "[colorcal " + Num(hub) + " " + Num(ref[0]) + " " + Num(ref[1]) + " " + Num(ref[2]) + "]");
}

namespace {

// The labels, with the lengths their rows give them.
const std::string kAccelTest = "Accel Test   : ";
const std::string kGyroTest = "Gyro  Test   : ";
const std::string kCompassTest = "Compass Test : ";
const std::string kAccel2Test = "Accel2 Test  : ";
const std::string kLightTest = "Light Test   : ";
const std::string kColorTest = "Color Test   : ";
const std::string kPSensorTest = "PSensor Test   : ";

// Hub index the direct cases pass to the blocks, to show it reaches the calls.
constexpr std::uint8_t kHub = 2;

// A row of the expected output: the label, then the stand-in's record.
struct Row {
    std::string label;
    std::string record;
};

std::string Lines(const std::vector<Row>& rows)
{
    std::string text;
    for (const Row& r : rows) text += r.label + r.record + "\r\n";
    return text;
}

// Every sensor of the inventory present, the gyrometer a plain one.
struct Inventory {
    std::uint8_t acc1 = SensorPresent, acc2 = SensorPresent, light = SensorPresent, compass = SensorPresent,
                 gyro = SensorPresent, color = 1;
};

class Blocks : public simtest::SimFixture {
protected:
    void Prepare(const std::vector<std::string>& options, const Inventory& inv = {},
                 const std::map<std::string, std::uint8_t>& caseResults = {})
    {
        Restart();
        results = caseResults;
        delayFlags.clear();
        args_ = std::make_unique<testutil::Args>(options);
        gArgc = args_->argc();
        gArgv = args_->argv();
        SensorList[SensorSlotAcc1] = inv.acc1;
        SensorList[SensorSlotAcc2] = inv.acc2;
        SensorList[SensorSlotAmbientLight] = inv.light;
        SensorList[SensorSlotCompass] = inv.compass;
        SensorList[SensorSlotGyro] = inv.gyro;
        ColorSensorFlag = inv.color;
    }

    // Console and log carry the same lines.
    void ExpectLines(const std::vector<Row>& rows, const std::string& what)
    {
        EXPECT_EQ(ConsoleText(), Lines(rows)) << what;
        EXPECT_EQ(LogText(), Lines(rows)) << what;
    }

    std::unique_ptr<testutil::Args> args_;
};

std::string Shown(const std::vector<std::string>& options)
{
    std::string text;
    for (const std::string& o : options) text += (text.empty() ? "" : " ") + o;
    return text.empty() ? "(no options)" : text;
}

}  // namespace

static_assert(sizeof("Accel Test   : ") - 1 == 15 && sizeof("PSensor Test   : ") - 1 == 17);

TEST_F(Blocks, TestRowsBySelectionAndInventory)
{
    struct Case {
        std::vector<std::string> options;
        Inventory inventory;
        std::vector<Row> rows;
    };
    Inventory variant;
    variant.gyro = GyroVariant;
    Inventory noColour;
    noColour.color = 0;
    Inventory onlyAcc1;
    onlyAcc1 = {SensorPresent, 0, 0, 0, 0, 0};
    const std::vector<Case> cases = {
        // No selection option: rows 1 to 6 for the sensors present, no
        // proximity test; AccTestMode takes the -1 of the absent option.
        {{},
         {},
         {{kAccelTest, "[self 2 1 mode -1]"},
          {kGyroTest, "[self 2 2]"},
          {kCompassTest, "[self 2 3]"},
          {kAccel2Test, "[self 2 8]"},
          {kLightTest, "[light 2]"},
          {kColorTest, "[color 2]"}}},
        {{}, onlyAcc1, {{kAccelTest, "[self 2 1 mode -1]"}}},
        // Options that are no selection options do not narrow the rows.
        {{"/GYRO-CALI", "/NC", "/ACC1-2P-CALI"},
         {},
         {{kAccelTest, "[self 2 1 mode -1]"},
          {kGyroTest, "[self 2 2]"},
          {kCompassTest, "[self 2 3]"},
          {kAccel2Test, "[self 2 8]"},
          {kLightTest, "[light 2]"},
          {kColorTest, "[color 2]"}}},
        // The variant's gyrometer is never tested.
        {{}, variant, {{kAccelTest, "[self 2 1 mode -1]"}, {kCompassTest, "[self 2 3]"},
                       {kAccel2Test, "[self 2 8]"}, {kLightTest, "[light 2]"}, {kColorTest, "[color 2]"}}},
        {{"/GYRO-TEST"}, variant, {}},
        {{"/COLOR-TEST"}, noColour, {}},
        // A selection option selects exactly its own rows.
        {{"/ACC1-TEST1"}, {}, {{kAccelTest, "[self 2 1 mode 1]"}}},
        {{"/ACC1-TEST", "/ACC1-CALI"}, {}, {{kAccelTest, "[self 2 1 mode 0]"}}},
        {{"/ACC2-TEST", "/GYRO-CALI"}, {}, {{kAccel2Test, "[self 2 8]"}}},
        {{"/LIGHT-TEST", "/COMP-TEST"}, {}, {{kCompassTest, "[self 2 3]"}, {kLightTest, "[light 2]"}}},
        {{"/COMP-CALI"}, {}, {}},
        // The proximity test needs no sensor and runs for pTime 0 or more.
        {{"/PSENSOR-TEST"}, {0, 0, 0, 0, 0, 0}, {{kPSensorTest, "[psensor 2 pTime 0]"}}},
        {{"/PSENSOR-TEST5"}, {}, {{kPSensorTest, "[psensor 2 pTime 5]"}}},
        {{"/PSENSOR-TEST-5"}, {}, {}},
        {{"/PSENSOR-TEST-1"}, {}, {{kAccelTest, "[self 2 1 mode -1]"},
                                   {kGyroTest, "[self 2 2]"},
                                   {kCompassTest, "[self 2 3]"},
                                   {kAccel2Test, "[self 2 8]"},
                                   {kLightTest, "[light 2]"},
                                   {kColorTest, "[color 2]"}}},
        {{"/ALL-TESTS", "/ACC2-TEST", "/PSENSOR-TEST3"},
         {},
         {{kAccel2Test, "[self 2 8]"}, {kPSensorTest, "[psensor 2 pTime 3]"}}},
    };
    for (const Case& c : cases) {
        Prepare(c.options, c.inventory);
        RunTestBlock(kHub);
        ExpectLines(c.rows, Shown(c.options));
        EXPECT_EQ(ResultFlag, 0) << Shown(c.options);
    }
}

TEST_F(Blocks, PTimeIsWrittenWheneverTheProximityRowIsSelected)
{
    // Selected by the rule: pTime takes the lookup, also -1 or -5, though no
    // test runs. Not selected: pTime keeps its value.
    struct Case {
        std::vector<std::string> options;
        std::int32_t pTime;
    } cases[] = {
        {{}, -1},
        {{"/PSENSOR-TEST-5"}, -5},
        {{"/PSENSOR-TEST7"}, 7},
        {{"/ACC1-TEST"}, 0},
        {{"/CUS2-CALI", "/PSENSOR-TEST-1"}, 0},
    };
    for (const Case& c : cases) {
        Prepare(c.options);
        RunTestBlock(kHub);
        EXPECT_EQ(pTime, c.pTime) << Shown(c.options);
    }
}

TEST_F(Blocks, TestResultsAddUpAndNoFailureStopsTheBlock)
{
    // Every self test fails, the light reading is 0, the colour test passes:
    // all rows still run and the block adds 5; the calibrations follow.
    Prepare({}, {}, {{"self1", 1}, {"self2", 1}, {"self3", 1}, {"self8", 1}, {"light", 1}});
    ResultFlag = 3;  // what the sequence had before, kept and added to
    RunTestBlock(kHub);
    EXPECT_EQ(ResultFlag, 8);
    RunCalibrationBlock(kHub);
    EXPECT_EQ(ConsoleText(), Lines({{kAccelTest, "[self 2 1 mode -1]"},
                                    {kGyroTest, "[self 2 2]"},
                                    {kCompassTest, "[self 2 3]"},
                                    {kAccel2Test, "[self 2 8]"},
                                    {kLightTest, "[light 2]"},
                                    {kColorTest, "[color 2]"},
                                    {"Accelerometer Calibration    : ", "[cali 2 01 80]"},
                                    {"2ndAccelerometer Calibration : ", "[cali 2 08 80]"}}));

    // Each result is added whole, up to 255 each, without any reduction.
    Prepare({"/ACC1-TEST", "/PSENSOR-TEST"}, {}, {{"self1", 255}, {"psensor", 254}});
    RunTestBlock(kHub);
    EXPECT_EQ(ResultFlag, 509);
}
