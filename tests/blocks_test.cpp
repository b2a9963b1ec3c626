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
#include <map>
#include <memory>
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

namespace {

const std::string kAccelCali = "Accelerometer Calibration    : ";
const std::string kGyroCali = "Gyrometer Calibration        : ";
const std::string kCompassCali = "Compass Calibration        : ";
const std::string kAccel2Cali = "2ndAccelerometer Calibration : ";
const std::string kLightCali = "Light Calibration          : ";
const std::string kColorCali = "Color Calibration          : ";
const std::string kPSensorCali = "PSENSOR Calibration          : ";
const std::string kCrossTalkCali = "PSENSOR CROSSTALK Calibration          : ";
const std::string kTHDH1Cali = "PSENSOR THDH1 Calibration          : ";
const std::string kTHDHYSCali = "PSENSOR THDHYS Calibration          : ";
const std::string kNewCrossTalkCali = "PSENSOR NEWCROSSTALK Calibration          : ";
const std::string kCustom2Cali = "Custom Sensor 2 Calibration          : ";

const Row kAcc1OneShot = {kAccelCali, "[cali 2 01 80]"};
const Row kAcc2OneShot = {kAccel2Cali, "[cali 2 08 80]"};
const Row kGyroDefaults = {kGyroCali, "[cali 2 02 00 timeout 60 offset 6.000000]"};

// The five proximity sub-steps' options, with values that show each reaches
// its own setting whole.
const std::vector<std::string> kAllProximity = {
    "/NEWCROSSTALKUPPERBOUND90", "/NEWCROSSTALKLOWERBOUND-9", "/THDHYSVALUE77",     "/THDHYSUPPERBOUND700",
    "/THDHYSLOWERBOUND70",       "/THDH1UPPERBOUND600",       "/THDH1LOWERBOUND60", "/CROSSTALKUPPERBOUND$1F4",
    "/CROSSTALKLOWERBOUND50",    "/MODE13",                   "/DISTANCE300",
};

std::vector<std::string> With(std::vector<std::string> options, const std::vector<std::string>& more)
{
    options.insert(options.end(), more.begin(), more.end());
    return options;
}

}  // namespace

static_assert(sizeof("Accelerometer Calibration    : ") - 1 == 31 && sizeof("Compass Calibration        : ") - 1 == 29 &&
              sizeof("PSENSOR NEWCROSSTALK Calibration          : ") - 1 == 44 &&
              sizeof("Custom Sensor 2 Calibration          : ") - 1 == 39);

TEST_F(Blocks, CalibrationRowsBySelectionAndInventory)
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
    Inventory noCompass;
    noCompass.compass = 0;
    const Inventory empty = {0, 0, 0, 0, 0, 0};
    const std::vector<Case> cases = {
        // No selection option: the one-shot calibrations of both accelerometers.
        {{}, {}, {kAcc1OneShot, kAcc2OneShot}},
        {{"/GYRO-CALI"}, {}, {kAcc1OneShot, kGyroDefaults, kAcc2OneShot}},
        {{"/LUX300"}, {}, {kAcc1OneShot, kAcc2OneShot, {kLightCali, "[lightcal 2 300]"}}},
        {{"/DISTANCE10", "/MODE13"},
         {},
         {kAcc1OneShot, kAcc2OneShot, {kPSensorCali, "[cali 2 0C 00 distance 10 mode 13]"}}},
        // The variant's gyrometer is never calibrated.
        {{"/GYRO-CALI"}, variant, {kAcc1OneShot, kAcc2OneShot}},
        // Test options keep the rule rows from being selected.
        {{"/ACC1-TEST"}, {}, {}},
        {{"/ACC1-TEST", "/ACC1-CALI"}, {}, {kAcc1OneShot}},
        {{"/GYRO-CALI", "/ACC2-TEST"}, {}, {kGyroDefaults}},
        {{"/ACC2-CALI", "/LUX300"}, {}, {kAcc2OneShot}},
        // Rows without a rule need their own options and nothing else.
        {{"/COMP-CALI"}, {}, {{kCompassCali, "[comp 2 accuracy 3]"}}},
        {{"/COMP-CALI"}, noCompass, {}},
        {{"/LIGHT-CALI"}, {}, {}},
        {{"/LIGHT-CALI", "/LUX70000"}, {}, {{kLightCali, "[lightcal 2 4464]"}}},
        {{"/LIGHT-CALI", "/LUX"}, {}, {{kLightCali, "[lightcal 2 0]"}}},
        {{"/COLOR-CALI", "/RVAL900", "/GVAL800"}, {}, {}},
        {{"/BVAL700", "/COLOR-CALI", "/GVAL800", "/RVAL900"}, {}, {{kColorCali, "[colorcal 2 900 800 700]"}}},
        {{"/COLOR-CALI", "/RVAL65536", "/GVAL-2", "/BVAL"}, {}, {{kColorCali, "[colorcal 2 0 65534 0]"}}},
        {{"/COLOR-CALI", "/RVAL900", "/GVAL800", "/BVAL700"}, noColour, {}},
        // The colour references alone select nothing and do not narrow the rule.
        {{"/RVAL900", "/GVAL800", "/BVAL700"}, {}, {kAcc1OneShot, kAcc2OneShot}},
        // The proximity group: selected once, then each sub-step by its own options.
        {{"/PSENSOR-CALI"}, {}, {}},
        {{"/PSENSOR-CALI", "/THDHYSUPPERBOUND700", "/THDHYSLOWERBOUND70"}, {}, {}},
        {With({"/PSENSOR-CALI"}, kAllProximity),
         empty,
         {{kPSensorCali, "[cali 2 0C 00 distance 300 mode 13]"},
          {kCrossTalkCali, "[cali 2 10 01 500 50]"},
          {kTHDH1Cali, "[cali 2 10 02 600 60]"},
          {kTHDHYSCali, "[cali 2 10 03 700 70 77]"},
          {kNewCrossTalkCali, "[cali 2 10 04 90 -9]"}}},
        {{"/PSENSOR-CALI", "/THDH1UPPERBOUND600", "/THDH1LOWERBOUND60", "/NEWCROSSTALKLOWERBOUND1"},
         {},
         {{kTHDH1Cali, "[cali 2 10 02 600 60]"}}},
        {With({"/ACC1-CALI"}, kAllProximity), {}, {kAcc1OneShot}},
        // Custom Sensor 2 runs whenever it is given, on any inventory.
        {{"/CUS2-CALI"}, empty, {{kCustom2Cali, "[cali 2 11 00]"}}},
        {{"/CUS2-CALI", "/ACC1-CALI", "/GYRO-CALI", "/ACC1-TEST"},
         {},
         {kAcc1OneShot, kGyroDefaults, {kCustom2Cali, "[cali 2 11 00]"}}},
        // Every row at once, in the order of the block.
        {With({"/ACC1-CALI", "/GYRO-CALI", "/COMP-CALI", "/ACC2-CALI", "/LIGHT-CALI", "/LUX400", "/COLOR-CALI",
               "/RVAL1", "/GVAL2", "/BVAL3", "/PSENSOR-CALI", "/CUS2-CALI"},
              kAllProximity),
         {},
         {kAcc1OneShot,
          kGyroDefaults,
          {kCompassCali, "[comp 2 accuracy 3]"},
          kAcc2OneShot,
          {kLightCali, "[lightcal 2 400]"},
          {kColorCali, "[colorcal 2 1 2 3]"},
          {kPSensorCali, "[cali 2 0C 00 distance 300 mode 13]"},
          {kCrossTalkCali, "[cali 2 10 01 500 50]"},
          {kTHDH1Cali, "[cali 2 10 02 600 60]"},
          {kTHDHYSCali, "[cali 2 10 03 700 70 77]"},
          {kNewCrossTalkCali, "[cali 2 10 04 90 -9]"},
          {kCustom2Cali, "[cali 2 11 00]"}}},
    };
    for (const Case& c : cases) {
        Prepare(c.options, c.inventory);
        RunCalibrationBlock(kHub);
        ExpectLines(c.rows, Shown(c.options));
        EXPECT_EQ(ResultFlag, 0) << Shown(c.options);
    }
}

TEST_F(Blocks, OneShotPhases)
{
    struct Case {
        std::vector<std::string> options;
        std::string acc1, acc2;  // phase of each call, hexadecimal
    } cases[] = {
        {{"/ACC1-PHASE"}, "00", "80"},       {{"/ACC1-PHASE256"}, "00", "80"},  {{"/ACC1-PHASE-1"}, "80", "80"},
        {{"/ACC1-PHASE-2"}, "FE", "80"},     {{"/ACC1-PHASE497"}, "F1", "80"},  {{"/ACC1-PHASE257"}, "01", "80"},
        {{"/ACC2-PHASE3"}, "80", "03"},      {{"/ACC2-PHASE$1F0"}, "80", "F0"}, {{"/ACC1-PHASE5", "/ACC2-PHASE"}, "05", "00"},
    };
    for (const Case& c : cases) {
        Prepare(c.options);
        RunCalibrationBlock(kHub);
        ExpectLines({{kAccelCali, "[cali 2 01 " + c.acc1 + "]"}, {kAccel2Cali, "[cali 2 08 " + c.acc2 + "]"}},
                    Shown(c.options));
    }
}

TEST_F(Blocks, CompassAccuracyIsClampedBeforeTheCalibration)
{
    struct Case {
        std::vector<std::string> options;
        Inventory inventory;
        std::int32_t before;   // Accuracy when the block starts
        std::string accuracy;  // what the compass calibration sees; empty: it does not run
        std::int32_t after;
    };
    Inventory noCompass;
    noCompass.compass = 0;
    const std::vector<Case> cases = {
        {{"/COMP-CALI", "/ACCURACY0"}, {}, 3, "1", 1},
        {{"/COMP-CALI", "/ACCURACY"}, {}, 3, "1", 1},
        {{"/COMP-CALI", "/ACCURACY7"}, {}, 3, "3", 3},
        {{"/COMP-CALI", "/ACCURACY2"}, {}, 3, "2", 2},
        {{"/COMP-CALI", "/ACCURACY-1"}, {}, 3, "3", 3},
        {{"/COMP-CALI", "/ACCURACY-7"}, {}, 3, "1", 1},
        // The clamp also runs without the option.
        {{"/COMP-CALI"}, {}, 9, "3", 3},
        {{"/COMP-CALI"}, {}, -4, "1", 1},
        // Without the compass row, "/ACCURACY" has no effect.
        {{"/ACCURACY1"}, {}, 3, "", 3},
        {{"/COMP-CALI", "/ACCURACY1"}, noCompass, 3, "", 3},
    };
    for (const Case& c : cases) {
        Prepare(c.options, c.inventory);
        Accuracy = c.before;
        RunCalibrationBlock(kHub);
        const std::string console = ConsoleText();
        const std::string record = "[comp 2 accuracy " + c.accuracy + "]";
        if (c.accuracy.empty())
            EXPECT_EQ(console.find(kCompassCali), std::string::npos) << Shown(c.options);
        else
            EXPECT_NE(console.find(kCompassCali + record + "\r\n"), std::string::npos) << Shown(c.options) << console;
        EXPECT_EQ(Accuracy, c.after) << Shown(c.options);
    }
}

TEST_F(Blocks, GyrometerSettings)
{
    struct Case {
        std::vector<std::string> options;
        std::string record;  // empty: the gyrometer row does not run
        std::int32_t timeout;
        float offset;
    } cases[] = {
        {{"/GYRO-CALI", "/GYRO-TIMEOUT30", "/GYRO-OFFSET8"}, "[cali 2 02 00 timeout 30 offset 8.000000]", 30, 8.0f},
        {{"/GYRO-CALI", "/GYRO-TIMEOUT", "/GYRO-OFFSET"}, "[cali 2 02 00 timeout 0 offset 0.000000]", 0, 0.0f},
        {{"/GYRO-CALI", "/GYRO-OFFSET-3"}, "[cali 2 02 00 timeout 60 offset -3.000000]", 60, -3.0f},
        {{"/GYRO-CALI", "/GYRO-TIMEOUT-1"}, "[cali 2 02 00 timeout 60 offset 6.000000]", 60, 6.0f},
        // Without the gyrometer row, its options have no effect.
        {{"/GYRO-TIMEOUT30", "/GYRO-OFFSET8"}, "", 60, 6.0f},
    };
    for (const Case& c : cases) {
        Prepare(c.options);
        RunCalibrationBlock(kHub);
        std::vector<Row> rows = {kAcc1OneShot};
        if (!c.record.empty()) rows.push_back({kGyroCali, c.record});
        rows.push_back(kAcc2OneShot);
        ExpectLines(rows, Shown(c.options));
        EXPECT_EQ(GyroTimeOut, c.timeout) << Shown(c.options);
        EXPECT_EQ(MaxGyroOffset, c.offset) << Shown(c.options);
    }
}

TEST_F(Blocks, CalibrationResultsAddUpAndNoFailureStopsTheBlock)
{
    Prepare(With({"/ACC1-CALI", "/GYRO-CALI", "/COMP-CALI", "/ACC2-CALI", "/LIGHT-CALI", "/LUX400", "/COLOR-CALI",
                  "/RVAL1", "/GVAL2", "/BVAL3", "/PSENSOR-CALI", "/CUS2-CALI"},
                 kAllProximity),
            {},
            {{"cali0180", 11},
             {"cali0200", 1},
             {"comp", 30},
             {"cali0880", 10},
             {"lightcal", 2},
             {"colorcal", 3},
             {"cali0C00", 200},
             {"cali1001", 4},
             {"cali1002", 5},
             {"cali1003", 6},
             {"cali1004", 7},
             {"cali1100", 255}});
    ResultFlag = 1;
    RunCalibrationBlock(kHub);
    EXPECT_EQ(ResultFlag, 1 + 11 + 1 + 30 + 10 + 2 + 3 + 200 + 4 + 5 + 6 + 7 + 255);
    EXPECT_EQ(delayFlags.size(), 12u);
}

namespace {

// The blocks inside the hub sequence on the simulated healthy machine: the
// inventory comes from the hub, and every call runs with pacing on.
class BlocksInSequence : public simtest::SimFixture {
protected:
    void Run(const std::vector<std::string>& options, const std::string& hubExtra = "")
    {
        Restart();
        results.clear();
        delayFlags.clear();
        ASSERT_TRUE(PlaceHubFile(SourceHubFile("healthy.hub") + hubExtra, "healthy.hub"));
        args_ = std::make_unique<testutil::Args>(options);
        gArgc = args_->argc();
        gArgv = args_->argv();
        ConnectHIDDevice(kHubUsagePage, kHubUsage);
        ASSERT_EQ(SensorCunt, 1);
        HubSequence(0);
    }

    // The blocks' lines: from the first label on, as long as the rows expected.
    void ExpectBlockLines(const std::vector<Row>& rows, const std::string& first, const std::string& what)
    {
        const std::string expected = Lines(rows);
        for (const std::string& text : {ConsoleText(), LogText()}) {
            const std::size_t at = text.find(first);
            ASSERT_NE(at, std::string::npos) << what << "\n" << text;
            EXPECT_EQ(text.substr(at, expected.size()), expected) << what;
        }
        EXPECT_EQ(delayFlags, std::vector<std::int32_t>(rows.size(), 1)) << what;
    }

    std::unique_ptr<testutil::Args> args_;
};

}  // namespace

TEST_F(BlocksInSequence, DefaultRunAndNoCalibrations)
{
    const std::vector<Row> tests = {{kAccelTest, "[self 0 1 mode -1]"},
                                    {kGyroTest, "[self 0 2]"},
                                    {kCompassTest, "[self 0 3]"},
                                    {kAccel2Test, "[self 0 8]"},
                                    {kLightTest, "[light 0]"},
                                    {kColorTest, "[color 0]"}};
    const Row acc1 = {kAccelCali, "[cali 0 01 80]"};
    const Row gyro = {kGyroCali, "[cali 0 02 00 timeout 60 offset 6.000000]"};
    const Row acc2 = {kAccel2Cali, "[cali 0 08 80]"};

    Run({"/GYRO-CALI"});
    std::vector<Row> all = tests;
    all.insert(all.end(), {acc1, gyro, acc2});
    ExpectBlockLines(all, kAccelTest, "/GYRO-CALI");

    // "/CUS2-CALI" is a selection option: no rule row runs beside it.
    Run({"/GYRO-CALI", "/CUS2-CALI"});
    ExpectBlockLines({gyro, {kCustom2Cali, "[cali 0 11 00]"}}, kGyroCali, "/GYRO-CALI /CUS2-CALI");

    // "/NC": the tests as without it, no calibration row.
    Run({"/NC", "/GYRO-CALI"});
    ExpectBlockLines(tests, kAccelTest, "/NC /GYRO-CALI");
    EXPECT_EQ(ConsoleText().find("Calibration"), std::string::npos);

    // The fusion variant's gyrometer: neither tested nor calibrated.
    Run({"/GYRO-CALI"}, "fusion-variant yes\n");
    ExpectBlockLines({tests[0], tests[2], tests[3], tests[4], tests[5], acc1, acc2}, kAccelTest,
                     "variant /GYRO-CALI");
}
