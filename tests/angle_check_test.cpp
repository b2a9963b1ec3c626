// Whole runs of the stand-in executable through the angle check before
// calibration and the multi-face flows, on virtual time. Each case compares
// the console, the run log and the exit status with the expected text, and
// the requests and long waits after the status list with the trace.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/whole_run.h"

namespace {

using namespace wholerun;

const std::string kHubDir = std::string(XOV_SOURCE_DIR) + "/sim/hubs/";
const std::string kHead = kFound + "Fusion: 9D.\r\n" + kStatus6;
// A ModeOption skips the presence check, and with it the status list.
const std::string kHeadNoList = kFound + "Fusion: 9D.\r\n";
const std::string kBothFlat = "ACC1: 0.00, 0.00, 1.00\r\nACC2: 0.00, 0.00, 1.00\r\n";
// The cases compare the requests after the status list and the long waits.
constexpr Requests kAfterList = Requests::AfterStatusList;

// The lid-angle word that reads back as exactly deg whole degrees (the
// angle is the word x 0.2238, truncated toward zero).
int AngleCounts(int deg)
{
    const double counts = std::ceil(std::abs(deg) / 0.2238);
    return deg < 0 ? -static_cast<int>(counts) : static_cast<int>(counts);
}

std::string AtAngle(int deg)
{
    return MakeHub({{"sensor acc2 ", "sensor acc2 value=0,0,1 angle-counts=" + std::to_string(AngleCounts(deg))}});
}

std::string Tablet(int a)
{
    return "The machine is tablet-mode.\r\n(Angle=" + std::to_string(a) + ")\r\n\r\n";
}
std::string NotTablet(int a)
{
    return "The machine is not tablet-mode.\r\n(Angle=" + std::to_string(a) + ")\r\n" + kBothFlat;
}
std::string Lying(int a)
{
    return "The machine is lying-mode.\r\n(Angle=" + std::to_string(a) + ")\r\n\r\n";
}
std::string NotLying(int a)
{
    return "The machine is not lying-mode.\r\n(Angle=" + std::to_string(a) + ")\r\n" + kBothFlat;
}

// One range test: the angle passes or fails with these options.
struct RangeCase {
    std::vector<std::string> options;
    int angle;
    bool lying;  // the lying-mode test runs (else the tablet-mode test)
    bool passes;
};

// The angle re-check after the calibrations: with "/SCA" (any value) the
// lying-mode test, else the tablet-mode test, both with the default
// tolerance 10 here. A check that passed with a wider tolerance (or the
// tablet test under "/SCA65535") can still fail it: 252, "Total Result: Fail".
bool RecheckPasses(const RangeCase& c)
{
    bool sca = false;
    for (const std::string& o : c.options) sca = sca || o.rfind("/SCA", 0) == 0;
    const int a = c.angle;
    return sca ? (a >= 170 && a <= 190) : ((a >= 0 && a <= 10) || (a >= 350 && a <= 360));
}

void CheckRange(const RangeCase& c)
{
    const std::string lines =
        c.lying ? (c.passes ? Lying(c.angle) : NotLying(c.angle)) : (c.passes ? Tablet(c.angle) : NotTablet(c.angle));
    const bool recheck = RecheckPasses(c);
    Check({"angle " + std::to_string(c.angle), AtAngle(c.angle), c.options,
           kHead + lines + (c.passes ? kLaterBlocks + (recheck ? kPass : kFail) : kFail),
           c.passes ? (recheck ? 0 : 252) : 254, c.passes ? "S8" + kLaterBlocks : "S8 S1 S8", kAfterList});
}

}  // namespace

TEST(AngleCheck, AngleOptionPrintsTheAngleAndEndsWithoutTotal)
{
    const std::string angle2 = "\r\nCurrent Angle=2\r\n";
    const std::string healthy = ReadFile(kHealthyHub);
    const Scenario cases[] = {
        {"alone", healthy, {"/ANGLE"}, kHead + angle2, 0, "S8", kAfterList},
        // No range test is made: 180 is no tablet angle.
        {"lying machine",
         ReadFile(kHubDir + "lying.hub"),
         {"/ANGLE"},
         kHead + "\r\nCurrent Angle=180\r\n",
         0,
         "S8",
         kAfterList},
        {"negative angle", AtAngle(-2), {"/ANGLE"}, kHead + "\r\nCurrent Angle=-2\r\n", 0, "S8", kAfterList},
        // "/COMP-CALI" is a ModeOption (no status list) that leaves the check in place.
        {"with /COMP-CALI", healthy, {"/ANGLE", "/COMP-CALI"}, kHeadNoList + angle2, 0, "S8", kAfterList},
        {"a test option with /CA", healthy, {"/ANGLE", "/ACC1-TEST", "/CA"}, kHeadNoList + angle2, 0, "S8", kAfterList},
        {"/NC with /SCA", healthy, {"/ANGLE", "/NC", "/SCA"}, kHead + angle2, 0, "S8", kAfterList},
        {"a multi-face option", healthy, {"/ANGLE", "/ACC2-2P-CALI"}, kHead + angle2, 0, "S8", kAfterList},
        {"-1 degree", AtAngle(-1), {"/ANGLE"}, kHead + kFail, 254, "S8", kAfterList},
    };
    for (const Scenario& s : cases) Check(s);
}

TEST(AngleCheck, CheckDoesNotRun)
{
    // The run goes on as if the check had passed: no angle is read and
    // "/ANGLE" has no effect.
    const std::string lying = ReadFile(kHubDir + "lying.hub");
    const std::string noAcc2 = MakeHub({{"sensor acc2 ", "sensor acc2 present=no"}});
    // The lying machine without ACC1.
    const std::string noAcc1 = MakeHub(
        {{"sensor acc2 ", "sensor acc2 value=0,0,1 angle-counts=805"}, {"sensor acc1 ", "sensor acc1 present=no"}});
    std::vector<Scenario> cases;
    for (const char* option :
         {"/NC", "/ACC1-TEST", "/GYRO-TEST", "/COMP-TEST", "/ACC2-TEST", "/LIGHT-TEST", "/COLOR-TEST", "/PSENSOR-TEST",
          "/ACC1-CALI", "/ACC2-CALI", "/PSENSOR-CALI", "/CUS2-CALI", "/LIGHT-CALI"}) {
        const bool modeOption = std::string(option) != "/NC";
        // After a calibration option the save step's angle re-check reads
        // the 180 degrees of this machine and fails (252).
        const bool recheckFails = std::string(option).find("-CALI") != std::string::npos;
        cases.push_back({"skipping option",
                         lying,
                         {"/ANGLE", option},
                         (modeOption ? kHeadNoList : kHead) + kLaterBlocks + (recheckFails ? kFail : kPass),
                         recheckFails ? 252 : 0,
                         kLaterBlocks,
                         kAfterList});
    }
    cases.push_back({"/NOCA", lying, {"/ANGLE", "/NOCA"}, kHead + kLaterBlocks + kPass, 0, kLaterBlocks, kAfterList});
    cases.push_back(
        {"/NOCA wins over /CA", lying, {"/CA", "/NOCA"}, kHead + kLaterBlocks + kPass, 0, kLaterBlocks, kAfterList});
    cases.push_back({"ACC2 absent",
                     noAcc2,
                     {"/ANGLE"},
                     "Find 1 XOV SensorHub.\r\nFusion: 9D.\r\nThe number of sensor is 5.\r\n" + kLaterBlocks + kPass,
                     0,
                     kLaterBlocks,
                     kAfterList});
    cases.push_back({"ACC1 absent",
                     noAcc1,
                     {"/ANGLE"},
                     "Find 1 XOV SensorHub.\r\nThe number of sensor is 5.\r\n" + kLaterBlocks + kPass,
                     0,
                     kLaterBlocks,
                     kAfterList});
    for (const Scenario& s : cases) Check(s);
}

TEST(AngleCheck, InvalidAngleEndsWith254WithoutMessage)
{
    // -1 degree carries the 16 bits of an empty hub slot.
    for (const std::vector<std::string>& options :
         std::vector<std::vector<std::string>>{{}, {"/SCA"}, {"/CA30"}, {"/ACC2-6P-CALI"}, {"/ANGLE", "/ACC1-2P-CALI"}})
        Check({"-1 degree", AtAngle(-1), options, kHead + kFail, 254, "S8", kAfterList});
}

TEST(AngleCheck, TabletModeRange)
{
    const RangeCase cases[] = {
        // The default tolerance 10.
        {{}, 0, false, true},
        {{}, 10, false, true},
        {{}, 350, false, true},
        {{}, 360, false, true},
        {{}, 11, false, false},
        {{}, 349, false, false},
        {{}, 361, false, false},
        {{}, -2, false, false},
        // Bare "/CA": tolerance 0.
        {{"/CA"}, 0, false, true},
        {{"/CA"}, 360, false, true},
        {{"/CA"}, 1, false, false},
        {{"/CA"}, 359, false, false},
        {{"/CA30"}, 30, false, true},
        {{"/CA30"}, 330, false, true},
        {{"/CA30"}, 31, false, false},
        {{"/CA30"}, 329, false, false},
        // 0xFFFF in the low 16 bits is the default.
        {{"/CA65535"}, 10, false, true},
        {{"/CA65535"}, 11, false, false},
        {{"/CA$1FFFF"}, 10, false, true},
        // A negative tolerance passes no angle.
        {{"/CA-5"}, 0, false, false},
        {{"/CA-5"}, 360, false, false},
        {{"/CA-5"}, 180, false, false},
        // "/SCA" whose low 16 bits are all ones selects the tablet-mode test.
        {{"/SCA65535"}, 2, false, true},
        {{"/SCA65535"}, 180, false, false},
        {{"/SCA65535", "/CA"}, 2, false, false},
    };
    for (const RangeCase& c : cases) CheckRange(c);
}

TEST(AngleCheck, LyingModeRange)
{
    const RangeCase cases[] = {
        // Bare "/SCA": only exactly 180.
        {{"/SCA"}, 180, true, true},
        {{"/SCA"}, 179, true, false},
        {{"/SCA"}, 181, true, false},
        {{"/SCA30"}, 150, true, true},
        {{"/SCA30"}, 210, true, true},
        {{"/SCA30"}, 149, true, false},
        {{"/SCA30"}, 211, true, false},
        // "/SCA" wins over "/CA"; its 16-bit tolerance, not the default 10.
        {{"/SCA", "/CA30"}, 2, true, false},
        {{"/SCA-1"}, 180, false, false},    // -1 is not given: the default tablet test
        {{"/SCA$FFFE"}, 180, true, false},  // -2 degrees: no angle passes
    };
    for (const RangeCase& c : cases) CheckRange(c);
}

TEST(AngleCheck, HubFilesOfTheTwoModes)
{
    const std::string tablet = ReadFile(kHubDir + "tablet-standing.hub");
    const std::string lying = ReadFile(kHubDir + "lying.hub");
    const std::string standingAccs = "ACC1: 0.00, -1.00, 0.00\r\nACC2: 0.00, 1.00, 0.00\r\n";
    const Scenario cases[] = {
        // Standing, the accelerometers are no good for the tests and calibrations
        // of a default run: "/CA10" keeps the check with the light test alone.
        {"standing tablet",
         tablet,
         {"/CA10", "/LIGHT-TEST"},
         kHeadNoList + Tablet(358) + kLaterBlocks + kPass,
         0,
         "S8" + kLaterBlocks,
         kAfterList},
        {"standing tablet, lying test",
         tablet,
         {"/SCA"},
         kHead + "The machine is not lying-mode.\r\n(Angle=358)\r\n" + standingAccs + kFail,
         254,
         "S8 S1 S8",
         kAfterList},
        {"lying", lying, {"/SCA10"}, kHead + Lying(180) + kLaterBlocks + kPass, 0, "S8" + kLaterBlocks, kAfterList},
        {"lying, tablet test", lying, {}, kHead + NotTablet(180) + kFail, 254, "S8 S1 S8", kAfterList},
    };
    for (const Scenario& s : cases) Check(s);
}

TEST(AngleCheck, MultiFaceSelectionSkipsTheRangeTest)
{
    // On the lying machine, whose angle fails the tablet-mode test: a nonzero
    // selection reads the angle and tests no range. 8, 0x80 and 0x88 name
    // no flow, so the tests and calibrations follow, and from there on the
    // selection counts as none: the angle re-check after the calibrations
    // finds the machine out of range (252), and nothing is saved.
    const std::string lying = ReadFile(kHubDir + "lying.hub");
    for (const std::vector<std::string>& options :
         std::vector<std::vector<std::string>>{{"/ACC1-2P-CALI", "/ACC1-6P-CALI"},
                                               {"/ACC2-2P-CALI", "/ACC2-6P-CALI"},
                                               {"/ACC1-2P-CALI", "/ACC1-6P-CALI", "/ACC2-2P-CALI", "/ACC2-6P-CALI"},
                                               {"/ACC1-2P-CALI", "/CA", "/ACC1-6P-CALI"}})
        Check({"no flow", lying, options, kHead + kLaterBlocks + kFail, 252, "S8" + kLaterBlocks, kAfterList});
}

namespace {

// What the calibrate procedure completes the lines with in a flow on these
// machines (both accelerometers at 0, 0, +1 g): after a face line, and the
// finish line.
const std::string kFaceResult = "Pass ";
const std::string kFinishLine = "Pass (0.00, 0.00, 1.00)\r\n";
// The requests of one calibrate call after its wait: the request (the hub
// answers busy once), and for the finish the value read of its check.
std::string CalibrateRequests(int sensor, int phase)
{
    char text[32];
    if (phase == 0xF1)
        std::snprintf(text, sizeof text, "C%x:%x S%x", sensor, phase, sensor);
    else
        std::snprintf(text, sizeof text, "C%x:%x", sensor, phase);
    return text;
}

std::string Sides(const std::vector<std::string>& sides)
{
    std::string text;
    for (const std::string& side : sides) text += "\r\nCalibration " + side + ": " + kFaceResult;
    return text;
}

const std::string kAcc2Header = "2ndAccelerometer Calibration : \r\n";
const std::string kAcc1Header = "1ndAccelerometer Calibration : \r\n";

std::string Joined(const std::vector<std::string>& items)
{
    std::string text;
    for (const std::string& item : items)
        if (!item.empty()) text += (text.empty() ? "" : " ") + item;
    return text;
}

// A flow's requests: the begin call, each face after its wait, the finish.
std::string FlowRequests(int sensor, const std::vector<int>& phases, const std::string& wait)
{
    std::vector<std::string> items = {"S8", CalibrateRequests(sensor, 0xF0)};
    for (int phase : phases) {
        items.push_back(wait);
        items.push_back(CalibrateRequests(sensor, phase));
    }
    items.push_back(CalibrateRequests(sensor, 0xF1));
    return Joined(items);
}

}  // namespace

TEST(MultiFaceFlowRun, FlowsAsWholeRuns)
{
    const std::string healthy = ReadFile(kHealthyHub);
    const std::string lying = ReadFile(kHubDir + "lying.hub");
    const std::string end = "\r\n\r\n" + kFinishLine + kLaterBlocks + kPass;
    const Scenario cases[] = {
        {"ACC2 two faces, 5 s before each face",
         healthy,
         {"/ACC2-2P-CALI", "/ACC-CALI-DELAY5"},
         kHead + kAcc2Header + Sides({"Z-", "Z+"}) + end,
         0,
         FlowRequests(8, {0, 1}, "wait5000") + kLaterBlocks,
         kAfterList},
        {"ACC2 six faces on the lying machine: no range test",
         lying,
         {"/ACC2-6P-CALI", "/ACC-CALI-DELAY1"},
         kHead + kAcc2Header + Sides({"Z-", "Y-", "X+", "Y+", "X-", "Z+"}) + end,
         0,
         FlowRequests(8, {0, 4, 2, 5, 3, 1}, "wait1000") + kLaterBlocks,
         kAfterList},
        {"ACC2 and ACC1 two faces: only the ACC2 flow",
         healthy,
         {"/ACC2-2P-CALI", "/ACC1-2P-CALI", "/ACC-CALI-DELAY1"},
         kHead + kAcc2Header + Sides({"Z-", "Z+"}) + end,
         0,
         FlowRequests(8, {0, 1}, "wait1000") + kLaterBlocks,
         kAfterList},
        {"ACC1 two faces",
         healthy,
         {"/ACC1-6P-CALI", "/ACC-CALI-DELAY1"},
         kHead + kAcc1Header + Sides({"Z-", "Z+"}) + end,
         0,
         FlowRequests(1, {1, 0}, "wait1000") + kLaterBlocks,
         kAfterList},
        // "/NC" keeps the angle check from running, not the flow.
        {"with /NC",
         lying,
         {"/ACC2-2P-CALI", "/NC", "/ACC-CALI-DELAY1"},
         kHead + kAcc2Header + Sides({"Z-", "Z+"}) + end,
         0,
         Joined({CalibrateRequests(8, 0xF0), "wait1000", CalibrateRequests(8, 0), "wait1000", CalibrateRequests(8, 1),
                 CalibrateRequests(8, 0xF1)}),
         kAfterList},
        // Without a console the key wait returns at once; the prompts still
        // go to the console, and only there. Bare "/ACC-CALI-DELAY" keeps them.
        {"prompts without a console",
         healthy,
         {"/ACC2-2P-CALI", "/ACC-CALI-DELAY"},
         kHead + kAcc2Header +
             "\r\nThe Z- side faces to the top, then press any key.\r\nCalibration Z-: " + kFaceResult +
             "\r\nThe Z+ side faces to the top, then press any key.\r\nCalibration Z+: " + kFaceResult + end,
         0,
         FlowRequests(8, {0, 1}, "") + kLaterBlocks,
         kAfterList,
         kHead + kAcc2Header + Sides({"Z-", "Z+"}) + end},
    };
    for (const Scenario& s : cases) Check(s);

    // A face whose calibration ends with an error status adds its 1 and the
    // flow goes on; the save gate stays closed.
    Check({"a failing face",
           MakeHub({{"calibrate acc2 ", "calibrate acc2 busy=1 status=00,07,00,00"}}),
           {"/ACC2-2P-CALI", "/ACC-CALI-DELAY1"},
           kHead + kAcc2Header + "\r\nCalibration Z-: Fail (7) \r\nCalibration Z+: Pass \r\n\r\n" + kFinishLine + kFail,
           1,
           FlowRequests(8, {0, 1}, "wait1000"),
           kAfterList});

    // Without the second accelerometer no flow runs: the tests follow.
    Check({"ACC2 absent",
           MakeHub({{"sensor acc2 ", "sensor acc2 present=no"}}),
           {"/ACC1-2P-CALI", "/ACC-CALI-DELAY1"},
           "Find 1 XOV SensorHub.\r\nFusion: 9D.\r\nThe number of sensor is 5.\r\n" + kLaterBlocks + kPass,
           0,
           kLaterBlocks,
           kAfterList});
}

TEST(MultiFaceFlowRun, KeyPromptsOnAConsole)
{
    // On a terminal each prompt is shown before the tool waits for its key;
    // the key goes only after the prompt was read. The terminal writes each
    // line end as CR CR LF (its LF to CR LF mapping).
    TempDir work;
    TempDir tmp;
    testutil::PtyProcess tool({testutil::BinaryPath("XOVSensorHubCalibration-sim"), "--hub", kHealthyHub, "--trace",
                               work.File("trace.txt"), "--", "/ACC2-2P-CALI"},
                              work.path(), tmp.path());
    const std::string promptZm = "\r\nThe Z- side faces to the top, then press any key.";
    const std::string promptZp = "\r\nThe Z+ side faces to the top, then press any key.";
    auto onTerminal = [](std::string text) {
        for (std::size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos; at += 3) text.insert(at, 1, '\r');
        return text;
    };
    for (const std::string& prompt : {promptZm, promptZp}) {
        ASSERT_TRUE(tool.WaitFor(onTerminal(prompt))) << tool.output();
        EXPECT_TRUE(tool.StaysAlive(300)) << "the tool did not wait for a key";
        // Nothing after the prompt while the tool waits.
        const std::string shown = tool.output();
        EXPECT_EQ(shown.substr(shown.size() - onTerminal(prompt).size()), onTerminal(prompt));
        tool.Type("#");
    }
    EXPECT_EQ(tool.Wait(), 0);
    EXPECT_EQ(tool.output().find('#'), std::string::npos) << "the key was echoed";

    const std::string log = ReadFile(work.File("XOVSensorHubCalibration.log"));
    const std::string body =
        kHead + kAcc2Header + Sides({"Z-", "Z+"}) + "\r\n\r\n" + kFinishLine + kLaterBlocks + kPass;
    ExpectText(log, kLogBanner + body);
    std::string console = kConsoleBanner + body;
    for (const std::string& side : {std::string("Z-"), std::string("Z+")}) {
        const std::string line = "\r\nCalibration " + side + ": ";
        console.insert(console.find(line), side == "Z-" ? promptZm : promptZp);
    }
    ExpectText(tool.output(), onTerminal(console));
}
