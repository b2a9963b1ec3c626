// Whole runs of the save step: the stand-in executable on the healthy machine
// and on variants of it, compared with the expected console, run log, exit
// status and the requests grouped into steps. The save requests themselves
// are compared byte for byte where the record they carry matters.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "tests/whole_run.h"

namespace {

using namespace wholerun;

const std::string kAcc1NoConverge = ReadFile(std::string(XOV_SOURCE_DIR) + "/sim/hubs/acc1-no-converge.hub");

// Console and log, up to the blocks. The angle check before calibration on
// the healthy machine (2 degrees):
const std::string kTabletMode2 = "The machine is tablet-mode.\r\n(Angle=2)\r\n\r\n";
// No ModeOption: the status list, then the angle check before calibration.
const std::string kFullHead = kFound + "Fusion: 9D.\r\n" + kStatus6 + kTabletMode2;
// A ModeOption: no presence check; most of them keep the angle check from
// running, "/COMP-CALI" and "/COLOR-CALI" do not.
const std::string kModeHead = kFound + "Fusion: 9D.\r\n";
const std::string kCheckedModeHead = kModeHead + kTabletMode2;
const std::string kDefaultBlocks = kDefaultTests + kDefaultCalibrations;
const std::string kAcc1Calibration = "Accelerometer Calibration    : Pass (0.00, 0.00, 1.00)\r\n";
const std::string kAcc2Calibration = "2ndAccelerometer Calibration : Pass (0.00, 0.00, 1.00)\r\n";

// The report lines of the healthy machine's parameter block.
const std::string kAcc1Biases = "Accel Biases : 0.011719,-0.007812,0.019531\r\n";
const std::string kGyroBiases = "Gyro  Biases : 0.895240,-0.223810,0.447620\r\n";
const std::string kCompBiases = "Comp  Biases : 0.468750,-0.312500,0.156250\r\n";
const std::string kAcc2Biases = "Accel2 Biases: -0.015625,0.023438,-0.011719\r\n";
const std::string kLight = "Light Transmittance=80.00%\r\n";

const std::string kSaved = "--== Save The Result To Flash ==--\r\n";
const std::string kNotSaved = "--== No Data Save To Flash ==--\r\n";

std::string NewAngle(int degrees)
{
    return "\r\n(New Angle=" + std::to_string(degrees) + ")\r\n";
}

// The waits behind the total times, in seconds from the run's start:
//   head    1.57 up to the blocks with a ModeOption: mode switch 0.30 (50 + 50 + 200 ms), query 0.27
//           (50 + 20 + 200), head clear 0.80 (four steps of 200), inventory and colour probe 0.20;
//   default 6.70 up to the save step without options (the head, status list, angle, tests, calibrations);
//   cal     1.17 a one-shot calibration attempt: request and busy poll 600 + 500, value read 50 + 20;
//   report  2.08: both 1024-byte copies in 103 reads of 5 + 5 ms (1.03 each), two flag bytes of 10 ms;
//   recheck 0.07 the angle re-check (50 + 20);
//   pass    3.41 a pass of the verified save: snapshot and both copies 3 x 1.03, request 50 + 50 + 20 + 200;
//   silent  1.35 a pass without a reply: the snapshot and the request;
//   flags   0.02 the flag bytes after a verified save.
// So the default run: default + report + recheck + pass + flags = 12.28 s, HealthySave(12).
std::string TotalTime(int seconds)
{
    return "(Total Time: " + std::to_string(seconds) + " s)\r\n";
}

// The bias error line: the console and the log word it differently.
std::string BiasError(int accel, const std::string& limit, bool log)
{
    return std::string(log ? "Error, " : "Error!! ") + "Accel" + std::to_string(accel) + " Biases can't more than +/-" +
           limit + " .\r\n";
}

// Steps of the requests.
const std::string kFullHeadSteps = "mode query " + kHeadClear + " inventory status acc2";
const std::string kModeHeadSteps = "mode query " + kHeadClear + " inventory";
const std::string kCheckedModeHeadSteps = kModeHeadSteps + " acc2";
const std::string kDefaultBlockSteps = kDefaultSelfTestSteps + " " + kDefaultCalibrationSteps;
// The report: both copies read, then the flag bytes of ACC1 (eFlash +11 to
// RAM +11) and of ACC2 (+25 + ext 34 on both sides).
const std::string kReportSteps = "R001000-0013fc R082000-0823fc R00100b W08200b R00103b W08203b";
// One pass of the verified save: the RAM snapshot, the request, both copies.
const std::string kSavePass = "R082000-0823fc X2 R001000-0013fc R082000-0823fc";
const std::string kFlagCopies = "R00100b W08200b R00103b W08203b";
const std::string kVerifiedSaveSteps = kSavePass + " " + kFlagCopies;
const std::string kRecheckSteps = "acc2";

// A case: the machine (empty: the healthy one), the options, the console
// and log after their banners, the exit status and the steps.
struct SaveRun {
    std::string name;
    std::string hub;
    std::vector<std::string> options;
    std::string console;
    std::string log;
    int exitStatus;
    std::string steps;
};

ToolRun Expect(const SaveRun& c)
{
    const std::string what = c.name + " [" + Shown(c.options) + "]";
    ToolRun run = RunTool(c.hub, c.options);
    EXPECT_EQ(run.exitStatus, c.exitStatus) << what;
    EXPECT_EQ(run.console, kConsoleBanner + c.console) << what;
    EXPECT_EQ(run.log, kLogBanner + c.log) << what;
    EXPECT_EQ(run.steps, c.steps) << what;
    ExpectModeOffAndUnlocked(run, what);
    return run;
}

// The save requests of a run, as hex of the whole report.
std::vector<std::string> SaveRequests(const ToolRun& run)
{
    std::vector<std::string> requests;
    for (const Token& t : Tokens(run.trace))
        if (t.kind == "X2") requests.push_back(run.trace[t.line].event.substr(run.trace[t.line].event.rfind(' ') + 1));
    return requests;
}

// The transfer after the first save request of a run: "GET FAIL", or "GET "
// and the reply.
std::string FirstSaveReply(const ToolRun& run)
{
    for (const Token& t : Tokens(run.trace)) {
        if (t.kind != "X2") continue;
        for (std::size_t i = t.line + 1; i < run.trace.size(); ++i)
            if (run.trace[i].event.compare(0, 3, "GET") == 0) return run.trace[i].event;
        break;
    }
    return "no save reply";
}

// 5a, 2, 1, then the record's area: none yet, or the healthy machine's.
const std::string kFirstSaveRequest = "5a0201" + std::string(28, '0');
const std::string kAreaSaveRequest =
    "5a0201"
    "001000"
    "002008"
    "0004" +
    std::string(12, '0');

}  // namespace

TEST(SaveRuns, GateAndReportMask)
{
    const std::string gyroFails = "Gyro  Test   : Fail - 0x10.\r\n";
    std::string failingTests = kDefaultTests;
    failingTests.replace(failingTests.find("Gyro  Test   : Pass.\r\n"), 22, gyroFails);
    const std::string failingSelfTest = kFullHead + failingTests + kDefaultCalibrations + kFail;
    // head + 10 x cal + report = 15.35 s
    const std::string acc1Fails = kModeHead +
                                  std::string("Accelerometer Calibration    : Fail (0) (0.20, 0.00, 1.00)\r\n") +
                                  kAcc1Biases + kNotSaved + TotalTime(15) + kFail;
    std::string gyroAttempts;  // the gyrometer's self test: ten attempts
    for (int i = 0; i < 10; ++i) gyroAttempts += " X3";
    std::string acc1Attempts;
    for (int i = 0; i < 10; ++i) acc1Attempts += "X4 S ";
    // head + 2 x cal + report + recheck + pass + flags = 9.49 s
    const std::string bothAcc = kModeHead + kAcc1Calibration + kAcc2Calibration + kAcc1Biases + kAcc2Biases +
                                NewAngle(2) + kSaved + TotalTime(9) + kPass;
    const std::string proximity =
        kModeHead + "PSENSOR Calibration          : Pass \r\n" + NewAngle(2) + kSaved + TotalTime(7) + kPass;
    const std::string light =
        kModeHead + "Light Calibration          : Pass.\r\n" + kLight + NewAngle(2) + kSaved + TotalTime(7) + kPass;
    const std::string colour = kCheckedModeHead + "Color Calibration          : Pass.\r\n" +
                               "Color_R Transmittance=83.33%\r\nColor_G Transmittance=50.00%\r\n"
                               "Color_B Transmittance=111.11%\r\n" +
                               NewAngle(2) + kSaved + TotalTime(13) + kPass;
    std::string colourReadings;  // the colour calibration's twenty raw samples
    for (int i = 0; i < 20; ++i) colourReadings += " S";
    const std::string noColour = kCheckedModeHead + NewAngle(2) + kSaved + TotalTime(7) + kPass;
    const std::string gyro = kFullHead + kDefaultTests + kAcc1Calibration +
                             "Gyrometer Calibration        : Pass (0.45, -0.45, 0.22)\r\n" + kAcc2Calibration +
                             kAcc1Biases + kGyroBiases + kCompBiases + kAcc2Biases + kLight + NewAngle(2) + kSaved +
                             TotalTime(13) + kPass;
    const std::string lightTest = kModeHead + "Light Test   : Pass. (250)\r\n" + kPass;
    const std::string acc1TestFails = kModeHead + "Accel Test   : Fail - 0x20.\r\n" + kAcc1Calibration + kAcc1Biases +
                                      kNotSaved + TotalTime(7) + kFail;
    std::string acc1TestAttempts;
    for (int i = 0; i < 10; ++i) acc1TestAttempts += " X3";
    const SaveRun cases[] = {
        // One failing self test keeps the gate closed: the calibrations
        // still run, then no report, no save, no closing line, no time.
        {"a failing self test",
         MakeHub({{"", "self-test gyro status=0x10"}}),
         {},
         failingSelfTest,
         failingSelfTest,
         1,
         kFullHeadSteps + " X3 S" + gyroAttempts + " X3 S X3 acc2 S S " + kDefaultCalibrationSteps + " " + kFinalClear +
             " mode"},
        // A test option keeps the gate closed even when everything passed...
        {"/LIGHT-TEST passes", "", {"/LIGHT-TEST"}, lightTest, lightTest, 0, kModeHeadSteps + " S mode"},
        // ... and a calibration option opens it although a test failed.
        {"/ACC1-TEST fails, /ACC1-CALI",
         MakeHub({{"", "self-test acc1 status=0x20"}}),
         {"/ACC1-TEST", "/ACC1-CALI"},
         acc1TestFails,
         acc1TestFails,
         1,
         kModeHeadSteps + acc1TestAttempts + " X4 S " + kReportSteps + " " + kFinalClear + " mode"},
        // A calibration option opens the gate although the calibration failed:
        // the report of its mask, no re-check, no save.
        {"/ACC1-CALI fails",
         kAcc1NoConverge,
         {"/ACC1-CALI"},
         acc1Fails,
         acc1Fails,
         10,
         kModeHeadSteps + " " + acc1Attempts + kReportSteps + " " + kFinalClear + " mode"},
        {"mask 0x05",
         "",
         {"/ACC1-CALI", "/ACC2-CALI"},
         bothAcc,
         bothAcc,
         0,
         kModeHeadSteps + " X4 S X4 acc2 " + kReportSteps + " " + kRecheckSteps + " " + kVerifiedSaveSteps + " mode"},
        // Mask 0: the report reads both copies and copies the flag bytes but
        // prints nothing; the save runs.
        {"mask 0",
         "",
         {"/PSENSOR-CALI", "/DISTANCE10", "/MODE13"},
         proximity,
         proximity,
         0,
         kModeHeadSteps + " X4 " + kReportSteps + " " + kRecheckSteps + " " + kVerifiedSaveSteps + " mode"},
        {"mask 0x08",
         "",
         {"/LIGHT-CALI", "/LUX300"},
         light,
         light,
         0,
         kModeHeadSteps + " X1 S X1 S " + kReportSteps + " " + kRecheckSteps + " " + kVerifiedSaveSteps + " mode"},
        {"mask 0x20",
         "",
         {"/COLOR-CALI", "/RVAL100", "/GVAL100", "/BVAL100"},
         colour,
         colour,
         0,
         kCheckedModeHeadSteps + " X1" + colourReadings + " X1 S " + kReportSteps + " " + kRecheckSteps + " " +
             kVerifiedSaveSteps + " mode"},
        // Without "/BVAL" no colour calibration and no colour bit.
        {"no colour bit",
         "",
         {"/COLOR-CALI", "/RVAL100", "/GVAL100"},
         noColour,
         noColour,
         0,
         kCheckedModeHeadSteps + " " + kReportSteps + " " + kRecheckSteps + " " + kVerifiedSaveSteps + " mode"},
        // "/GYRO-CALI" is no calibration option for the mask: every line.
        {"/GYRO-CALI",
         "",
         {"/GYRO-CALI"},
         gyro,
         gyro,
         0,
         kFullHeadSteps + " " + kDefaultSelfTestSteps + " X4 S X4 S X4 acc2 " + kReportSteps + " " + kRecheckSteps +
             " " + kVerifiedSaveSteps + " mode"},
    };
    for (const SaveRun& c : cases) Expect(c);
}

TEST(SaveRuns, CompassMaskAndAccuracy)
{
    // The compass calibration prints its progress on the console only.
    // The healthy compass reports the accuracies 1, 2, 3; with "/ACCURACY2"
    // the calibration ends at 2.
    auto compass = [](int accuracy, bool log) {
        const std::string label = "Compass Calibration        : ";
        std::string progress = label;
        for (int a = 1; a <= accuracy; ++a) progress += "\r" + label + std::to_string(a);
        const std::string result = "Pass (" + std::to_string(accuracy) + ")\r\n";
        return log ? label + result : progress + "\r" + label + result;
    };
    const std::string full = kCompBiases + NewAngle(2) + kSaved + TotalTime(10) + kPass;
    const std::string below = kCompBiases + NewAngle(2) + kNotSaved + TotalTime(5) + kPass;
    const SaveRun cases[] = {
        {"mask 0x10",
         "",
         {"/COMP-CALI"},
         kCheckedModeHead + compass(3, false) + full,
         kCheckedModeHead + compass(3, true) + full,
         0,
         kCheckedModeHeadSteps + " X4 S S S " + kReportSteps + " " + kRecheckSteps + " " + kVerifiedSaveSteps +
             " mode"},
        // Accuracy 2 reached: a pass, but nothing is saved.
        {"/ACCURACY2",
         "",
         {"/COMP-CALI", "/ACCURACY2"},
         kCheckedModeHead + compass(2, false) + below,
         kCheckedModeHead + compass(2, true) + below,
         0,
         kCheckedModeHeadSteps + " X4 S S " + kReportSteps + " " + kRecheckSteps + " mode"},
    };
    for (const SaveRun& c : cases) Expect(c);
}

TEST(SaveRuns, NoSaveAndQuickSave)
{
    const std::string report = kAcc1Biases + kGyroBiases + kCompBiases + kAcc2Biases + kLight;
    const std::string noSave = kFullHead + kDefaultBlocks + report + kNotSaved + TotalTime(8) + kPass;
    const std::string quick = kFullHead + kDefaultBlocks + NewAngle(2) + kSaved + TotalTime(7) + kPass;
    const std::string quickFailed =
        kFullHead + kDefaultBlocks + NewAngle(2) + "Save Fail!\r\n" + kNotSaved + TotalTime(7) + kFail;
    const std::string blocks = kFullHeadSteps + " " + kDefaultBlockSteps + " ";
    const SaveRun cases[] = {
        // "/NS" wins over "/QS": the report, no re-check, no save.
        {"/NS /QS", "", {"/NS", "/QS"}, noSave, noSave, 0, blocks + kReportSteps + " mode"},
        // "/QS" alone: no report, the re-check, one save request and nothing read.
        {"/QS", "", {"/QS"}, quick, quick, 0, blocks + kRecheckSteps + " X2 mode"},
        // No report, so no bias check either.
        {"/QS, biases out",
         MakeHub({{"", "param both acc1-bias 40 40 40"}}),
         {"/QS"},
         quick,
         quick,
         0,
         blocks + kRecheckSteps + " X2 mode"},
        // The quick save verifies nothing, but a save that the hub did not
        // answer is no save.
        {"/QS, no answer",
         MakeHub({{"", "save silent=always"}}),
         {"/QS"},
         quickFailed,
         quickFailed,
         1,
         blocks + kRecheckSteps + " X2 " + kFinalClear + " mode"},
    };
    Expect(cases[0]);
    for (std::size_t i = 1; i < std::size(cases); ++i)
        EXPECT_EQ(SaveRequests(Expect(cases[i])), std::vector<std::string>{kFirstSaveRequest}) << cases[i].name;
}

TEST(SaveRuns, VerifiedSave)
{
    const std::string blocks = kFullHeadSteps + " " + kDefaultBlockSteps + " " + kReportSteps + " " + kRecheckSteps;
    const std::string report = kAcc1Biases + kGyroBiases + kCompBiases + kAcc2Biases + kLight + NewAngle(2);
    {
        // The eFlash copy never matches: eleven passes, "Save Fail!", no flag
        // byte written after them, 1.
        std::string passes;
        for (int i = 0; i < 11; ++i) passes += " " + kSavePass;
        const std::string body =
            kFullHead + kDefaultBlocks + report + "Save Fail!\r\n" + kNotSaved + TotalTime(46) + kFail;
        // default + report + recheck + 11 x pass = 46.36 s
        const ToolRun run = Expect({"never matches",
                                    MakeHub({{"", "save stale=always"}}),
                                    {},
                                    body,
                                    body,
                                    1,
                                    blocks + passes + " " + kFinalClear + " mode"});
        const std::vector<std::string> requests = SaveRequests(run);
        ASSERT_EQ(requests.size(), 11u);
        EXPECT_EQ(requests[0], kFirstSaveRequest);
        for (std::size_t i = 1; i < requests.size(); ++i) EXPECT_EQ(requests[i], kAreaSaveRequest) << i;
    }
    {
        // The first reply cannot be fetched: the second pass takes the same
        // snapshot and sends the same request, and verifies.
        const std::string body = kFullHead + kDefaultBlocks + report + kSaved + TotalTime(13) + kPass;
        const ToolRun run = Expect({"first reply missing",
                                    MakeHub({{"", "save silent=1"}}),
                                    {},
                                    body,
                                    body,
                                    0,
                                    blocks + " R082000-0823fc X2 " + kVerifiedSaveSteps + " mode"});
        EXPECT_EQ(FirstSaveReply(run), "GET FAIL");
        EXPECT_EQ(SaveRequests(run), (std::vector<std::string>{kFirstSaveRequest, kFirstSaveRequest}));
    }
}

TEST(SaveRuns, BiasLimits)
{
    // "/ACC1-CALI" alone: the report shows the ACC1 biases only.
    auto acc1 = [](const std::string& biases, const std::string& limit, bool log) {
        return kModeHead + kAcc1Calibration + "Accel Biases : " + biases + "\r\n" +
               (limit.empty() ? NewAngle(2) + kSaved + TotalTime(8) + kPass
                              : BiasError(1, limit, log) + kNotSaved + TotalTime(4) + kFail);
    };
    const std::string passSteps =
        kModeHeadSteps + " X4 S " + kReportSteps + " " + kRecheckSteps + " " + kVerifiedSaveSteps + " mode";
    const std::string failSteps = kModeHeadSteps + " X4 S " + kReportSteps + " " + kFinalClear + " mode";
    struct Case {
        const char* name;
        const char* counts;
        std::vector<std::string> options;
        const char* shown;
        const char* limit;  // the error line's limit; empty: no error line
    } cases[] = {
        {"38 counts pass 0.15", "38 0 0", {}, "0.148438,0.000000,0.000000", ""},
        {"39 counts reach 0.15", "39 0 0", {}, "0.152344,0.000000,0.000000", "0.15"},
        {"-39 counts reach it", "0 0 -39", {}, "0.000000,0.000000,-0.152344", "0.15"},
        {"63 counts pass 0.25", "0 63 0", {"/ACC1-BIAS25"}, "0.000000,0.246094,0.000000", ""},
        {"64 counts reach 0.25", "0 64 0", {"/ACC1-BIAS25"}, "0.000000,0.250000,0.000000", "0.25"},
        {"bare: limit 0", "0 0 0", {"/ACC1-BIAS"}, "0.000000,0.000000,0.000000", "0.00"},
        {"negative limit", "3 -2 5", {"/ACC1-BIAS-5"}, "0.011719,-0.007812,0.019531", "-0.05"},
        // The ACC2 limit counts only where the ACC2 biases are reported.
        {"ACC2 limit 0, ACC2 not reported", "3 -2 5", {"/ACC2-BIAS"}, "0.011719,-0.007812,0.019531", ""},
    };
    for (const Case& c : cases) {
        const bool fails = *c.limit != '\0';
        Expect({c.name, MakeHub({{"", std::string("param both acc1-bias ") + c.counts}}),
                With({"/ACC1-CALI"}, c.options), acc1(c.shown, c.limit, false), acc1(c.shown, c.limit, true),
                fails ? 1 : 0, fails ? failSteps : passSteps});
    }

    // Bare "/ACC1-BIAS" in a default run: the error line after the ACC1
    // biases, the rest of the report, no re-check, no save.
    auto defaultRun = [](bool log) {
        return kFullHead + kDefaultBlocks + kAcc1Biases + BiasError(1, "0.00", log) + kGyroBiases + kCompBiases +
               kAcc2Biases + kLight + kNotSaved + TotalTime(8) + kFail;
    };
    Expect({"default run, bare /ACC1-BIAS",
            "",
            {"/ACC1-BIAS"},
            defaultRun(false),
            defaultRun(true),
            1,
            kFullHeadSteps + " " + kDefaultBlockSteps + " " + kReportSteps + " " + kFinalClear + " mode"});

    // ACC2 alone, and both accelerometers beyond their limits on every axis:
    // each error line once, 2.
    auto acc2 = [](bool log) {
        return kModeHead + kAcc2Calibration + "Accel2 Biases: 0.000000,0.152344,0.000000\r\n" +
               BiasError(2, "0.15", log) + kNotSaved + TotalTime(4) + kFail;
    };
    Expect({"ACC2 39 counts",
            MakeHub({{"", "param both acc2-bias 0 39 0"}}),
            {"/ACC2-CALI"},
            acc2(false),
            acc2(true),
            1,
            kModeHeadSteps + " X4 acc2 " + kReportSteps + " " + kFinalClear + " mode"});
    auto both = [](bool log) {
        return kModeHead + kAcc1Calibration + kAcc2Calibration + "Accel Biases : 0.156250,0.156250,0.156250\r\n" +
               BiasError(1, "0.15", log) + "Accel2 Biases: -0.156250,-0.156250,-0.156250\r\n" +
               BiasError(2, "0.15", log) + kNotSaved + TotalTime(5) + kFail;
    };
    Expect({"both out",
            MakeHub({{"", "param both acc1-bias 40 40 40\nparam both acc2-bias -40 -40 -40"}}),
            {"/ACC1-CALI", "/ACC2-CALI"},
            both(false),
            both(true),
            2,
            kModeHeadSteps + " X4 S X4 acc2 " + kReportSteps + " " + kFinalClear + " mode"});
}

TEST(SaveRuns, AngleRecheck)
{
    // "/ACC1-CALI": the ACC1 report, then the re-check. Lid angles as
    // counts of 0.2238 degree, truncated to whole degrees; the angle check
    // before calibration, which runs with "/SCA", reads the one of the ACC2
    // line (180 degrees in the lying machine, else 2), the re-check the
    // "recheck-angle" (else the same).
    const std::string lying = "sensor acc2 value=0,0,1 angle-counts=805";
    const std::string lyingCheck = "The machine is lying-mode.\r\n(Angle=180)\r\n\r\n";
    auto recheck = [](int counts) { return "save recheck-angle-counts=" + std::to_string(counts); };
    struct Case {
        const char* name;
        std::string hub;
        std::vector<std::string> options;
        std::string check;  // the lines of the angle check before calibration
        int shown;          // the re-check's angle; -1: no re-check
        bool passes;
    } cases[] = {
        {"tablet range by default", MakeHub({{"", recheck(805)}}), {}, "", 180, false},
        {"/NOCA: no re-check", MakeHub({{"", recheck(805)}}), {"/NOCA"}, "", -1, true},
        {"/SCA10: lying range", MakeHub({{"sensor acc2 ", lying}}), {"/SCA10"}, lyingCheck, 180, true},
        {"/SCA10: the tablet angle fails",
         MakeHub({{"sensor acc2 ", lying}, {"", recheck(9)}}),
         {"/SCA10"},
         lyingCheck,
         2,
         false},
        {"bare /SCA: /NEWSCA's default 10",
         MakeHub({{"sensor acc2 ", lying}, {"", recheck(827)}}),
         {"/SCA"},
         lyingCheck,
         185,
         true},
        {"/SCA10 /NEWSCA3",
         MakeHub({{"sensor acc2 ", lying}, {"", recheck(827)}}),
         {"/SCA10", "/NEWSCA3"},
         lyingCheck,
         185,
         false},
        {"/SCA65535: lying range", MakeHub({{"", recheck(805)}}), {"/SCA65535"}, kTabletMode2, 180, true},
        {"/SCA65535: the tablet angle fails", MakeHub({}), {"/SCA65535"}, kTabletMode2, 2, false},
        {"/NEWCA30 at 30", MakeHub({{"", recheck(135)}}), {"/NEWCA30"}, "", 30, true},
        {"/NEWCA30 at 31", MakeHub({{"", recheck(139)}}), {"/NEWCA30"}, "", 31, false},
        {"/NEWCA30 at 330", MakeHub({{"", recheck(1475)}}), {"/NEWCA30"}, "", 330, true},
        {"/NEWCA30 at 329", MakeHub({{"", recheck(1471)}}), {"/NEWCA30"}, "", 329, false},
        {"bare /NEWCA at 0", MakeHub({{"", recheck(0)}}), {"/NEWCA"}, "", 0, true},
        {"bare /NEWCA at 360", MakeHub({{"", recheck(1609)}}), {"/NEWCA"}, "", 360, true},
        {"bare /NEWCA at 1", MakeHub({{"", recheck(5)}}), {"/NEWCA"}, "", 1, false},
    };
    for (const Case& c : cases) {
        const std::string body = kModeHead + c.check + kAcc1Calibration + kAcc1Biases +
                                 (c.shown < 0 ? "" : NewAngle(c.shown)) + (c.passes ? kSaved : kNotSaved) +
                                 TotalTime(c.passes ? 8 : 4) + (c.passes ? kPass : kFail);
        const std::string recheckSteps = c.shown < 0 ? "" : " " + kRecheckSteps;
        Expect({c.name, c.hub, With({"/ACC1-CALI"}, c.options), body, body, c.passes ? 0 : 252,
                kModeHeadSteps + (c.check.empty() ? "" : " acc2") + " X4 S " + kReportSteps + recheckSteps + " " +
                    (c.passes ? kVerifiedSaveSteps : kFinalClear) + " mode"});
    }
}

TEST(SaveRuns, TotalTimeInWholeSeconds)
{
    // The time of the healthy default run up to its last request, then the
    // first accelerometer's calibration made to take so long that the run
    // lasts 59.999 s, and 60.000 s.
    const ToolRun base = RunTool("", {});
    ASSERT_EQ(base.exitStatus, 0);
    const std::vector<Token> tokens = Tokens(base.trace);
    ASSERT_GE(tokens.size(), 2u);
    // The last request of the save step comes right before the mode-off vendor strings.
    std::size_t last = tokens.size() - 1;
    while (last > 0 && tokens[last].kind == "V") --last;
    const std::uint64_t elapsed = base.trace[tokens[last].line].t;
    ASSERT_LT(elapsed, 59999u);
    for (const std::uint64_t total : {std::uint64_t{59999}, std::uint64_t{60000}}) {
        const std::string hub = MakeHub({{"", "calibrate acc1 attempt-ms=" + std::to_string(total - elapsed)}});
        const std::string body = kFullHead + kDefaultBlocks + kAcc1Biases + kGyroBiases + kCompBiases + kAcc2Biases +
                                 kLight + NewAngle(2) + kSaved + TotalTime(total == 59999 ? 59 : 60) + kPass;
        Expect({"lasting " + std::to_string(total) + " ms",
                hub,
                {},
                body,
                body,
                0,
                kFullHeadSteps + " " + kDefaultBlockSteps + " " + kReportSteps + " " + kRecheckSteps + " " +
                    kVerifiedSaveSteps + " mode"});
    }
}

TEST(SaveRuns, SaveReplies)
{
    // "/ACC1-CALI": the ACC1 report, the re-check, then the verified save
    // on a hub that answers its requests in other ways.
    const std::string head = kModeHeadSteps + " X4 S " + kReportSteps + " " + kRecheckSteps + " ";
    auto body = [](bool saved, int seconds) {
        return kModeHead + kAcc1Calibration + kAcc1Biases + NewAngle(2) + (saved ? "" : "Save Fail!\r\n") +
               (saved ? kSaved : kNotSaved) + TotalTime(seconds) + (saved ? kPass : kFail);
    };
    auto repeat = [](const std::string& what, int times) {
        std::string text;
        for (int i = 0; i < times; ++i) text += what + " ";
        return text;
    };
    const std::string missing = "R082000-0823fc X2";          // a pass without a reply
    const std::string area = kAreaSaveRequest.substr(6, 16);  // of the healthy machine
    struct Case {
        const char* name;
        const char* save;
        bool saved;
        int seconds;
        std::string steps;  // from the save on
        std::vector<std::string> requests;
        std::string reply;  // how the reply to the first request starts
    } cases[] = {
        // A reply that does not answer the save request counts as none: the
        // next pass takes the same snapshot and sends the same request.
        {"reply 2, 0",
         "save other=1 bytes=2,0",
         true,
         9,
         missing + " " + kVerifiedSaveSteps,
         {kFirstSaveRequest, kFirstSaveRequest},
         "GET 5a0200" + area},
        {"reply 2, 2",
         "save other=1 bytes=2,2",
         true,
         9,
         missing + " " + kVerifiedSaveSteps,
         {kFirstSaveRequest, kFirstSaveRequest},
         "GET 5a0202" + area},
        {"reply 3, 1",
         "save other=1 bytes=3,1",
         true,
         9,
         missing + " " + kVerifiedSaveSteps,
         {kFirstSaveRequest, kFirstSaveRequest},
         "GET 5a0301" + area},
        // Another RAM address fails the pass and hands nothing on: the next
        // pass takes its snapshot of the learnt area again, sends the same
        // request, and verifies.
        {"other RAM address",
         "save other=1 ram=0x090000",
         true,
         9,
         missing + " " + kVerifiedSaveSteps,
         {kFirstSaveRequest, kFirstSaveRequest},
         "GET 5a0201001000000009"},
        // Eleven passes at most.
        // head + cal + report + recheck + 10 x silent + pass + flags = 21.82 s
        {"ten replies missing", "save silent=10", true, 21, repeat(missing, 10) + kVerifiedSaveSteps,
         std::vector<std::string>(11, kFirstSaveRequest), "GET FAIL"},
        // head + cal + report + recheck + 11 x silent = 19.74 s
        {"eleven replies missing", "save silent=11", false, 19, repeat(missing, 11) + kFinalClear,
         std::vector<std::string>(11, kFirstSaveRequest), "GET FAIL"},
        // head + cal + report + recheck + 11 x pass + flags = 42.42 s
        {"ten stale copies", "save stale=10", true, 42, repeat(kSavePass, 10) + kVerifiedSaveSteps,
         With({kFirstSaveRequest}, std::vector<std::string>(10, kAreaSaveRequest)), "GET " + kAreaSaveRequest},
    };
    for (const Case& c : cases) {
        const std::string text = body(c.saved, c.seconds);
        const ToolRun run = Expect(
            {c.name, MakeHub({{"", c.save}}), {"/ACC1-CALI"}, text, text, c.saved ? 0 : 1, head + c.steps + " mode"});
        EXPECT_EQ(SaveRequests(run), c.requests) << c.name;
        EXPECT_EQ(FirstSaveReply(run).rfind(c.reply, 0), 0u) << c.name << ": " << FirstSaveReply(run);
    }
}

namespace {

// The flag-byte writes of a run (every register write but the buffer
// clears' at 0x082000 and 0x082001), as "address=value".
std::vector<std::string> FlagWrites(const ToolRun& run)
{
    std::vector<std::string> writes;
    for (const Token& t : Tokens(run.trace)) {
        if (t.kind != "W" || t.address == 0x082000 || t.address == 0x082001) continue;
        char value[4];
        std::snprintf(value, sizeof value, "%02x", ReportOf(run.trace[t.line])[6]);
        writes.push_back(Hex6(t.address) + "=" + value);
    }
    return writes;
}

}  // namespace

TEST(SaveRuns, FlagBytesFromTheFlashCopy)
{
    // The eFlash copy's flag bytes differ from the RAM copy's (01): each
    // copy puts the eFlash byte into the RAM copy, "/NS" included, and the
    // save then stores it.
    const std::string flags = MakeHub({{"", "param flash acc1-flag 07\nparam flash acc2-flag 09"}});
    const std::string head = kModeHeadSteps + " X4 S ";
    const std::string notSaved = kModeHead + kAcc1Calibration + kAcc1Biases + kNotSaved + TotalTime(4) + kPass;
    const std::string saved = kModeHead + kAcc1Calibration + kAcc1Biases + NewAngle(2) + kSaved + TotalTime(8) + kPass;
    struct Case {
        SaveRun run;
        std::vector<std::string> writes;
    } cases[] = {
        {{"/NS", flags, {"/ACC1-CALI", "/NS"}, notSaved, notSaved, 0, head + kReportSteps + " mode"},
         {"08200b=07", "08203b=09"}},
        {{"report, then save",
          flags,
          {"/ACC1-CALI"},
          saved,
          saved,
          0,
          head + kReportSteps + " " + kRecheckSteps + " " + kVerifiedSaveSteps + " mode"},
         {"08200b=07", "08203b=09", "08200b=07", "08203b=09"}},
        // The ACC2 flag byte lies at 25 + each copy's own ext: 20 in the
        // eFlash copy until the save writes the RAM copy (34) there.
        {{"ext of each copy",
          MakeHub({{"", "param flash ext 20\nparam flash acc2-flag 0b"}}),
          {"/ACC1-CALI"},
          saved,
          saved,
          0,
          head + "R001000-0013fc R082000-0823fc R00100b W08200b R00102d W08203b " + kRecheckSteps + " " +
              kVerifiedSaveSteps + " mode"},
         {"08200b=01", "08203b=0b", "08200b=01", "08203b=0b"}},
    };
    for (const Case& c : cases) EXPECT_EQ(FlagWrites(Expect(c.run)), c.writes) << c.run.name;
}

TEST(SaveRuns, AfterAMultiFaceFlow)
{
    // After a flow the report shows the ACC2 lines only, the gain among
    // them after an ACC2 flow, and no re-check runs. With a flow selected the
    // angle check before calibration reads the angle but tests no range.
    // One second before each face.
    auto flow = [](const std::string& header, const std::vector<std::string>& faces) {
        std::string text = header + ": \r\n";
        for (const std::string& face : faces) text += "\r\nCalibration " + face + ": Pass ";
        return text + "\r\n\r\nPass (0.00, 0.00, 1.00)\r\n";
    };
    const std::string head = kFound + "Fusion: 9D.\r\n" + kStatus6;
    const std::string acc2Gain = "Accel2 Gain: 1.000000,1.000000,1.000000\r\n";
    const std::string acc1TwoFaces = flow("1ndAccelerometer Calibration ", {"Z-", "Z+"});
    const std::string acc2TwoFaces = flow("2ndAccelerometer Calibration ", {"Z-", "Z+"});
    const std::string acc2SixFaces = flow("2ndAccelerometer Calibration ", {"Z-", "Y-", "X+", "Y+", "X-", "Z+"});
    const std::string acc1Saved = head + acc1TwoFaces + kAcc2Biases + kSaved + TotalTime(13) + kPass;
    const std::string sixSaved = head + acc2SixFaces + kAcc2Biases + acc2Gain + kSaved + TotalTime(22) + kPass;
    auto acc2Out = [&](bool log) {
        return head + acc2TwoFaces + "Accel2 Biases: 0.000000,0.152344,0.000000\r\n" + BiasError(2, "0.15", log) +
               acc2Gain + kNotSaved + TotalTime(10) + kFail;
    };
    const SaveRun cases[] = {
        {"ACC1 two faces",
         "",
         {"/ACC1-2P-CALI", "/ACC-CALI-DELAY1"},
         acc1Saved,
         acc1Saved,
         0,
         kFullHeadSteps + " X4 X4 X4 X4 S " + kReportSteps + " " + kVerifiedSaveSteps + " mode"},
        {"ACC2 six faces",
         "",
         {"/ACC2-6P-CALI", "/ACC-CALI-DELAY1"},
         sixSaved,
         sixSaved,
         0,
         kFullHeadSteps + " X4 X4 X4 X4 X4 X4 X4 X4 acc2 " + kReportSteps + " " + kVerifiedSaveSteps + " mode"},
        {"ACC2 two faces, bias out",
         MakeHub({{"", "param both acc2-bias 0 39 0"}}),
         {"/ACC2-2P-CALI", "/ACC-CALI-DELAY1"},
         acc2Out(false),
         acc2Out(true),
         1,
         kFullHeadSteps + " X4 X4 X4 X4 acc2 " + kReportSteps + " " + kFinalClear + " mode"},
    };
    for (const SaveRun& c : cases) Expect(c);
}

std::string Replaced(std::string text, const std::string& from, const std::string& to)
{
    text.replace(text.find(from), from.size(), to);
    return text;
}

TEST(SaveRuns, ShortParameterArea)
{
    // A parameter area of 40 bytes: the compass bias past it reads 0, but
    // the ACC2 bias (at 60 with ext 34) was never read and fails its check:
    // nothing is saved. Of 0 bytes: nothing is read, and both accelerometer
    // biases lie outside the block.
    const std::string healthy = ReadFile(kHealthyHub);
    auto withLength = [&healthy](const std::string& length) {
        std::string text = healthy;
        text.replace(text.find("length=1024"), 11, "length=" + length);
        return text;
    };
    const std::string zeros = "0.000000,0.000000,0.000000\r\n";
    const std::string outside = "not in the parameter block\r\n";
    // default + a report of 40 bytes = 6.72 s; of 0 bytes 6.70 s.
    const std::string short40 = kFullHead + kDefaultBlocks + kAcc1Biases + kGyroBiases + "Comp  Biases : " + zeros +
                                "Accel2 Biases: " + outside + kLight + kNotSaved + TotalTime(6) + kFail;
    const std::string empty = kFullHead + kDefaultBlocks + "Accel Biases : " + outside + "Gyro  Biases : " + zeros +
                              "Accel2 Biases: " + outside + "Light Transmittance=0.00%\r\n" + kNotSaved + TotalTime(6) +
                              kFail;
    const std::string blocks = kFullHeadSteps + " " + kDefaultBlockSteps + " ";
    const SaveRun cases[] = {
        {"40 bytes",
         withLength("40"),
         {},
         short40,
         short40,
         1,
         blocks + "R001000-00101e R082000-08201e R00100b W08200b " + kFinalClear + " mode"},
        // The block has no head to clear either.
        {"0 bytes",
         withLength("0"),
         {},
         empty,
         empty,
         2,
         Replaced(blocks, "clear[082000-082001]", "clear[]") + "clear0[] mode"},
    };
    for (const SaveRun& c : cases) Expect(c);
}
