// Whole runs of the stand-in executable through the test and calibration
// blocks: which rows the options and the inventory select, in which order
// their labels appear, and with what arguments their procedures reach the
// hub. Each case compares the blocks' lines on the console and in the run
// log, the procedures' requests in the trace and the exit status; the save step that may follow is the
// subject of other tests and is left out of the comparison.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/whole_run.h"

namespace {

using namespace wholerun;

// The lines of the blocks: the console (or the run log) after the hub's header lines (found,
// fusion, status list) and the angle check before calibration, up to the
// first line of the save step or the total result.
std::string BlockLines(const std::string& console)
{
    std::size_t from = console.find(kFound);
    if (from == std::string::npos) return "(no hub found) " + console;
    from += kFound.size();
    for (const char* header : {"Fusion: ", "The number of sensor is "})
        if (console.compare(from, std::string(header).size(), header) == 0) from = console.find("\r\n", from) + 2;
    const std::string angleCheck = "The machine is ";
    if (console.compare(from, angleCheck.size(), angleCheck) == 0) {
        from = console.find("(Angle=", from);
        from = console.find("\r\n\r\n", from) + 4;
    }
    std::size_t to = console.size();
    for (const char* marker : {"Accel Biases :", "Gyro  Biases :", "Comp  Biases :", "Accel2 Biases:",
                               "Light Transmittance=", "Color_R Transmittance=", "Error!! Accel", "Error, Accel",
                               "\r\n(New Angle=", "--== ", "(Total Time: ", "\r\nTotal Result: "}) {
        const std::size_t at = console.find(marker, from);
        if (at != std::string::npos && at < to) to = at;
    }
    return console.substr(from, to - from);
}

std::string Hex2(unsigned byte)
{
    char text[4];
    std::snprintf(text, sizeof text, "%02x", byte & 0xFFu);
    return text;
}

// The procedures' requests, one token each:
//   test<id>         a self-test request for the sensor
//   cal<id>:<hex>    a calibrate request, its bytes 3 to 15 (CaliParam) with
//                    the trailing zero bytes left off
//   gain<id>:t/r...  a gain request, its (target/raw) word pairs in decimal
std::string Calls(const std::vector<TraceLine>& trace)
{
    std::string calls;
    auto add = [&calls](const std::string& call) { calls += (calls.empty() ? "" : " ") + call; };
    for (const TraceLine& line : trace) {
        if (!IsSet(line)) continue;
        const auto r = ReportOf(line);
        if (r[0] != 0x5A) continue;
        if (r[1] == 0x03) {
            add("test" + Hex2(r[2]));
        } else if (r[1] == 0x04) {
            std::size_t last = 16;
            while (last >= 3 && r[last] == 0) --last;
            std::string bytes;
            for (std::size_t i = 3; i <= last && last >= 3; ++i) bytes += Hex2(r[i]);
            add("cal" + Hex2(r[2]) + ":" + bytes);
        } else if (r[1] == 0x01) {
            const std::size_t pairs = r[2] == 0x0F ? 3 : 1;
            std::string words;
            for (std::size_t p = 0; p < pairs; ++p) {
                const std::size_t at = 3 + 4 * p;
                words += (p == 0 ? "" : " ") + std::to_string(r[at] | (r[at + 1] << 8)) + "/" +
                         std::to_string(r[at + 2] | (r[at + 3] << 8));
            }
            add("gain" + Hex2(r[2]) + ":" + words);
        }
    }
    return calls;
}

// n copies of a token.
std::string Times(const std::string& token, int n)
{
    std::string tokens;
    for (int i = 0; i < n; ++i) tokens += (i == 0 ? "" : " ") + token;
    return tokens;
}

// A case: the machine (empty: the healthy one), the options, the blocks'
// lines, the procedures' requests, the exit status of the whole run and the
// blocks' lines in the run log when they differ from the console's (the
// progress lines that start with "\r" are the console's alone).
struct RowCase {
    std::string name;
    std::string hub;
    std::vector<std::string> options;
    std::string lines;
    std::string calls;
    int exitStatus = 0;
    std::optional<std::string> logLines = std::nullopt;
};

void CheckRows(const RowCase& c)
{
    const std::string what = c.name + " [" + Shown(c.options) + "]";
    const ToolRun run = RunTool(c.hub, c.options);
    EXPECT_EQ(run.exitStatus, c.exitStatus) << what;
    EXPECT_EQ(BlockLines(run.console), c.lines) << what;
    EXPECT_EQ(BlockLines(run.log), c.logLines.value_or(c.lines)) << what;
    EXPECT_EQ(Calls(run.trace), c.calls) << what;
    ExpectModeOffAndUnlocked(run, what);
}

// The rows on the healthy machine, each as its line and its requests.
const std::string kAccTest = "Accel Test   : Pass.\r\n";
const std::string kGyroTest = "Gyro  Test   : Pass.\r\n";
const std::string kCompTest = "Compass Test : Pass.\r\n";
const std::string kAcc2Test = "Accel2 Test  : Pass.\r\n";
const std::string kLightTest = "Light Test   : Pass. (250)\r\n";
const std::string kColorTest = "Color Test   : Pass. (120,200,90)\r\n";
const std::string kTestCalls = "test01 test02 test03 test08";
const std::string kAccCal = "Accelerometer Calibration    : Pass (0.00, 0.00, 1.00)\r\n";
const std::string kAcc2Cal = "2ndAccelerometer Calibration : Pass (0.00, 0.00, 1.00)\r\n";
const std::string kGyroCal = "Gyrometer Calibration        : Pass (0.45, -0.45, 0.22)\r\n";
// The one-shot phase 0x80 in CaliParam byte 1, the phase marker 0x80 in byte 2.
const std::string kOneShot = "008080";
const std::string kGyroCall = "cal02:000080";
const std::string kCus2Cal = "Custom Sensor 2 Calibration          : Pass (100, -200, 300)\r\n";
const std::string kCus2Call = "cal11:";
// The light calibration resets the gain, reads 250, then sets (lux, 250).
const std::string kLightCal = "Light Calibration          : Pass.\r\n";
std::string LightCalls(int lux)
{
    return "gain04:1/1 gain04:" + std::to_string(lux) + "/250";
}

// The compass calibration on the healthy machine: the accuracy rises 1, 2,
// 3 over its polls; the console shows each poll's accuracy until the level
// asked for is reached.
const std::string kCompassLabel = "Compass Calibration        : ";
const std::string kCompassCall = "cal03:000180";
std::string CompassConsole(int level)
{
    std::string lines = kCompassLabel;
    for (int a = 1; a <= level; ++a) lines += "\r" + kCompassLabel + std::to_string(a);
    return lines + "\r" + kCompassLabel + "Pass (" + std::to_string(level) + ")\r\n";
}
std::string CompassLog(int level)
{
    return kCompassLabel + "Pass (" + std::to_string(level) + ")\r\n";
}

// The fusion variant: its gyrometer slot holds 2.
const std::string kGyroVariant = MakeHub({{"fusion-variant ", "fusion-variant yes"}});
const std::string kNoColour = MakeHub({{"sensor colour ", "sensor colour present=no"}});
const std::string kNoCompass = MakeHub({{"sensor compass ", "sensor compass present=no"}});

}  // namespace

TEST(RowRuns, SelectionRule)
{
    const std::string defaultLines = kAccTest + kGyroTest + kCompTest + kAcc2Test + kLightTest + kColorTest;
    const RowCase cases[] = {
        // Every rule row for the sensors present; no proximity test, and
        // the rows without a rule stay out.
        {"no options",
         "",
         {},
         defaultLines + kAccCal + kAcc2Cal,
         kTestCalls + " cal01:" + kOneShot + " cal08:" + kOneShot},
        {"/PSENSOR-TEST with -1 counts as not given",
         "",
         {"/PSENSOR-TEST-1"},
         defaultLines + kAccCal + kAcc2Cal,
         kTestCalls + " cal01:" + kOneShot + " cal08:" + kOneShot},
        // Options that are no ModeOption add their rows in table order: the
        // gyrometer between the accelerometers, the light calibration after
        // them, then the first proximity sub-step (distance 10, mode 13).
        {"rows without a mode option added",
         "",
         {"/DISTANCE10", "/MODE13", "/LUX300", "/GYRO-CALI"},
         defaultLines + kAccCal + kGyroCal + kAcc2Cal + kLightCal + "PSENSOR Calibration          : Pass \r\n",
         kTestCalls + " cal01:" + kOneShot + " " + kGyroCall + " cal08:" + kOneShot + " " + LightCalls(300) +
             " cal0c:0a0d80"},
        {"/ACC1-TEST alone", "", {"/ACC1-TEST"}, kAccTest, "test01"},
        {"/ACC1-TEST with /ACC1-CALI",
         "",
         {"/ACC1-CALI", "/ACC1-TEST"},
         kAccTest + kAccCal,
         "test01 cal01:" + kOneShot},
        {"/GYRO-CALI with /ACC2-TEST", "", {"/GYRO-CALI", "/ACC2-TEST"}, kAcc2Test + kGyroCal, "test08 " + kGyroCall},
        // The compass calibration polls the accuracy up to 3.
        {"/COMP-CALI alone", "", {"/COMP-CALI"}, CompassConsole(3), kCompassCall, 0, CompassLog(3)},
        {"/COMP-CALI without a compass", kNoCompass, {"/COMP-CALI"}, "", ""},
        // The light calibration needs "/LUX"; "/LIGHT-CALI" still keeps every
        // other rule row out.
        {"/LIGHT-CALI without /LUX", "", {"/LIGHT-CALI"}, "", ""},
        {"/LIGHT-CALI with /LUX", "", {"/LIGHT-CALI", "/LUX300"}, kLightCal, LightCalls(300)},
        {"/COLOR-CALI without /BVAL", "", {"/COLOR-CALI", "/RVAL900", "/GVAL800"}, "", ""},
        // The colour calibration resets the gains, averages the readings and
        // sets (reference, reading) per channel, in the order R, G, B.
        {"/COLOR-CALI with all three references",
         "",
         {"/BVAL700", "/COLOR-CALI", "/RVAL900", "/GVAL800"},
         "Color Calibration          : Pass.\r\n",
         "gain0f:1/1 1/1 1/1 gain0f:900/120 800/200 700/90"},
        {"/PSENSOR-CALI without sub-step options", "", {"/PSENSOR-CALI"}, "", ""},
        {"/PSENSOR-CALI without /THDHYSVALUE",
         "",
         {"/PSENSOR-CALI", "/THDHYSUPPERBOUND900", "/THDHYSLOWERBOUND100"},
         "",
         ""},
        // "/CUS2-CALI" has no rule: it runs beside a ModeOption, and on a
        // machine without the sensors the other rows need.
        {"/CUS2-CALI with /ACC1-TEST", "", {"/CUS2-CALI", "/ACC1-TEST"}, kAccTest + kCus2Cal, "test01 " + kCus2Call},
        {"/CUS2-CALI without ACC1",
         MakeHub({{"sensor acc1 ", "sensor acc1 present=no"}}),
         {"/CUS2-CALI"},
         kCus2Cal,
         kCus2Call},
        // A failing row never stops the blocks: four self tests fail (each
        // after its ten attempts), the light reads 0; the calibrations still run and the sum is 5.
        {"failing tests",
         MakeHub({{"self-test acc1 ", "self-test acc1 status=0x10"},
                  {"self-test gyro ", "self-test gyro status=0x10"},
                  {"self-test compass ", "self-test compass status=0x10"},
                  {"self-test acc2 ", "self-test acc2 status=0x10"},
                  {"sensor light ", "sensor light lux=0"}}),
         {},
         "Accel Test   : Fail - 0x10.\r\nGyro  Test   : Fail - 0x10.\r\nCompass Test : Fail - 0x10.\r\n"
         "Accel2 Test  : Fail - 0x10.\r\nLight Test   : Fail - No data\r\n" +
             kColorTest + kAccCal + kAcc2Cal,
         Times("test01", 10) + " " + Times("test02", 10) + " " + Times("test03", 10) + " " + Times("test08", 10) +
             " cal01:" + kOneShot + " cal08:" + kOneShot,
         5},
        // A multi-face option without its flow (no second accelerometer):
        // the selection counts as none from the calibrations on, so they
        // check their values and complete their lines.
        {"multi-face option without a flow",
         MakeHub({{"sensor acc2 ", "sensor acc2 present=no"}}),
         {"/ACC1-2P-CALI", "/GYRO-CALI"},
         kAccTest + kGyroTest + kCompTest + kLightTest + kColorTest +
             "Accelerometer Calibration    : Pass (0.00, 0.00, 1.00)\r\n"
             "Gyrometer Calibration        : Pass (0.45, -0.45, 0.22)\r\n",
         "test01 test02 test03 cal01:" + kOneShot + " " + kGyroCall},
        // "/NC": the test block as without it, no calibration row at all.
        {"/NC", "", {"/NC", "/ACC1-TEST", "/ACC1-CALI", "/GYRO-CALI", "/CUS2-CALI"}, kAccTest, "test01"},
    };
    for (const RowCase& c : cases) CheckRows(c);
}

TEST(RowRuns, SensorGuards)
{
    const RowCase cases[] = {
        // The gyrometer rows need the value 1 in its slot, not merely a
        // value other than 0.
        {"gyrometer present", "", {"/GYRO-TEST", "/GYRO-CALI"}, kGyroTest + kGyroCal, "test02 " + kGyroCall},
        {"gyrometer slot 2", kGyroVariant, {"/GYRO-TEST", "/GYRO-CALI"}, "", ""},
        {"gyrometer slot 2, no options",
         kGyroVariant,
         {},
         kAccTest + kCompTest + kAcc2Test + kLightTest + kColorTest + kAccCal + kAcc2Cal,
         "test01 test03 test08 cal01:" + kOneShot + " cal08:" + kOneShot},
        {"no colour sensor", kNoColour, {"/COLOR-TEST", "/COLOR-CALI", "/RVAL900", "/GVAL800", "/BVAL700"}, "", ""},
    };
    for (const RowCase& c : cases) CheckRows(c);
}

TEST(RowRuns, SettingsAndArguments)
{
    const RowCase cases[] = {
        // pTime: the number of one-second polls the proximity test may wait;
        // a negative number prints no label.
        {"/PSENSOR-TEST: pTime 0", "", {"/PSENSOR-TEST"}, "PSensor Test   : Pass.\r\n", ""},
        {"/PSENSOR-TEST5: pTime 5",
         "",
         {"/PSENSOR-TEST5"},
         "PSensor Test   : \rPSensor Test   : 4 \rPSensor Test   : Pass.\r\n",
         "",
         0,
         "PSensor Test   : Pass.\r\n"},
        {"/PSENSOR-TEST-5: no row", "", {"/PSENSOR-TEST-5"}, "", ""},
        // AccTestMode 1: the initialisation status stands in for the hub's
        // own test, so no self-test request goes out.
        {"/ACC1-TEST1", "", {"/ACC1-TEST1"}, kAccTest, ""},
        // The phase: the option's low 8 bits, else the one-shot phase.
        {"/ACC1-PHASE without a number", "", {"/ACC1-CALI", "/ACC1-PHASE"}, kAccCal, "cal01:000080"},
        {"/ACC1-PHASE256", "", {"/ACC1-CALI", "/ACC1-PHASE256"}, kAccCal, "cal01:000080"},
        {"/ACC1-PHASE-1 counts as not given", "", {"/ACC1-CALI", "/ACC1-PHASE-1"}, kAccCal, "cal01:" + kOneShot},
        {"/ACC1-PHASE497", "", {"/ACC1-CALI", "/ACC1-PHASE497"}, kAccCal, "cal01:00f180"},
        {"/ACC2-PHASE-2", "", {"/ACC2-CALI", "/ACC2-PHASE-2"}, kAcc2Cal, "cal08:00fe80"},
        {"each accelerometer its own phase",
         "",
         {"/ACC2-PHASE$11", "/ACC1-CALI", "/ACC2-CALI"},
         kAccCal + kAcc2Cal,
         "cal01:" + kOneShot + " cal08:001180"},
        // The gyrometer settings reach the calibration: no offset passes
        // (ten attempts), no time is left for a first attempt.
        {"/GYRO-OFFSET0",
         "",
         {"/ACC2-TEST", "/GYRO-CALI", "/GYRO-OFFSET0"},
         kAcc2Test + "Gyrometer Calibration        : Fail (0) (0.45, -0.45, 0.22)\r\n",
         "test08 " + Times(kGyroCall, 10),
         10},
        {"/GYRO-TIMEOUT0",
         "",
         {"/ACC2-TEST", "/GYRO-CALI", "/GYRO-TIMEOUT0"},
         kAcc2Test + "Gyrometer Calibration        : Fail - (TimeOut: 0 s)\r\n",
         "test08 " + kGyroCall,
         1},
        {"/GYRO-TIMEOUT30 /GYRO-OFFSET8",
         "",
         {"/ACC2-TEST", "/GYRO-CALI", "/GYRO-TIMEOUT30", "/GYRO-OFFSET8"},
         kAcc2Test + kGyroCal,
         "test08 " + kGyroCall},
        // The accuracy the compass calibration waits for, clamped to 1..3.
        {"/ACCURACY0 gives 1", "", {"/COMP-CALI", "/ACCURACY0"}, CompassConsole(1), kCompassCall, 0, CompassLog(1)},
        {"/ACCURACY2", "", {"/COMP-CALI", "/ACCURACY2"}, CompassConsole(2), kCompassCall, 0, CompassLog(2)},
        {"/ACCURACY7 gives 3", "", {"/COMP-CALI", "/ACCURACY7"}, CompassConsole(3), kCompassCall, 0, CompassLog(3)},
        {"/ACCURACY-5 gives 1", "", {"/COMP-CALI", "/ACCURACY-5"}, CompassConsole(1), kCompassCall, 0, CompassLog(1)},
        {"/ACCURACY-1 counts as not given",
         "",
         {"/COMP-CALI", "/ACCURACY-1"},
         CompassConsole(3),
         kCompassCall,
         0,
         CompassLog(3)},
        // An option without a number reaches the procedure as 0: a reference
        // of 0 fails before anything is sent.
        {"/LUX without a number",
         "",
         {"/LIGHT-CALI", "/LUX"},
         "Light Calibration          : Fail - No Input Lux Value\r\n",
         "",
         3},
        {"/RVAL without a number",
         "",
         {"/COLOR-CALI", "/RVAL", "/GVAL800", "/BVAL700"},
         "Color Calibration          : Fail - No Input ColorRGB Value\r\n",
         "",
         3},
        {"/DISTANCE without a number, /MODE-3",
         "",
         {"/PSENSOR-CALI", "/DISTANCE", "/MODE-3"},
         "PSENSOR Calibration          : Pass \r\n",
         "cal0c:00fd80"},
        // The references: the low 16 bits, unsigned.
        {"/LUX 65836 sends 300", "", {"/LIGHT-CALI", "/LUX65836"}, kLightCal, LightCalls(300)},
        {"/LUX$FFFF sends 65535", "", {"/LIGHT-CALI", "/LUX$FFFF"}, kLightCal, LightCalls(65535)},
        {"colour references past 16 bits",
         "",
         {"/COLOR-CALI", "/RVAL70000", "/GVAL$10320", "/BVAL-2"},
         "Color Calibration          : Pass.\r\n",
         "gain0f:1/1 1/1 1/1 gain0f:4464/120 800/200 65534/90"},
        // The proximity bounds: their low 24 bits, lower bound first, after
        // the sub-step's phase; the sub-steps in table order.
        {"proximity sub-steps",
         "",
         {"/PSENSOR-CALI", "/NEWCROSSTALKUPPERBOUND$123456", "/NEWCROSSTALKLOWERBOUND-2", "/THDHYSVALUE5",
          "/THDHYSLOWERBOUND100", "/THDHYSUPPERBOUND900", "/THDH1UPPERBOUND$1ABCDEF", "/THDH1LOWERBOUND7",
          "/CROSSTALKLOWERBOUND2", "/CROSSTALKUPPERBOUND300", "/MODE$10D", "/DISTANCE10"},
         "PSENSOR Calibration          : Pass \r\n"
         "PSENSOR CROSSTALK Calibration          : Pass \r\nAverage value: 1200\r\n"
         "PSENSOR THDH1 Calibration          : Pass \r\nAverage value: 1200\r\n"
         "PSENSOR THDHYS Calibration          : Pass \r\nAverage value: 1200\r\n"
         "PSENSOR NEWCROSSTALK Calibration          : Pass \r\nAverage value: 1200\r\n",
         "cal0c:0a0d80 cal10:010000000200002c01 cal10:02000000070000efcdab cal10:0300000064000084030005 "
         "cal10:04000000feffff563412"},
    };
    for (const RowCase& c : cases) CheckRows(c);
}

TEST(RowRuns, AccuracyOutsideTheCompassRow)
{
    // "/ACCURACY" counts only where the compass row runs: without
    // "/COMP-CALI" the accuracy stays 3 and the save goes ahead; with it, a
    // level below 3 keeps the parameter block out of eFlash.
    const ToolRun kept = RunTool("", {"/ACC1-CALI", "/ACCURACY1"});
    EXPECT_EQ(kept.exitStatus, 0);
    EXPECT_NE(kept.console.find("--== Save The Result To Flash ==--\r\n"), std::string::npos) << kept.console;
    const ToolRun lowered = RunTool("", {"/ACC1-CALI", "/COMP-CALI", "/ACCURACY1"});
    EXPECT_EQ(lowered.exitStatus, 0);
    EXPECT_NE(lowered.console.find("--== No Data Save To Flash ==--\r\n"), std::string::npos) << lowered.console;
}
