// Whole runs of the hub sequence: the stand-in executable on generated hub
// files, in a working directory and with a TMPDIR of its own, on virtual time.
// Each case compares the console, the run log and the exit status with the
// expected text, and the order of the hub requests (and, where the sequence
// fixes them, its waits) with the trace.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/whole_run.h"

namespace {

using namespace wholerun;

const std::string kFirmwareLine = "OEM FW Version: XOV-SH 1.02.0315" + std::string(16, '\0') + "\r\n";
// A machine whose gyrometer the hub reports as failing.
const std::string kGyroFails = MakeHub({{"sensor gyro ", "sensor gyro counts=2,-2,1 status=fail"}});
const std::string kGyroFailLines = kStatus6 + "Error Sensor ID: 0x02\r\n";
// The angle check before calibration on the healthy machine (2 degrees).
const std::string kTabletMode2 = "The machine is tablet-mode.\r\n(Angle=2)\r\n\r\n";

}  // namespace

TEST(HubSequence, DefaultRunOnTheHealthyHubPasses)
{
    Check({"healthy.hub",
           "",
           {},
           kFound + "Fusion: 9D.\r\n" + kStatus6 + kTabletMode2 + kDefaultTests + kDefaultCalibrations +
               HealthySave(12) + kPass,
           0,
           "mode query " + kHeadClear + " inventory status acc2 " + kDefaultSelfTestSteps + " " +
               kDefaultCalibrationSteps + " " + kHealthySaveSteps + " mode"});
}

TEST(HubSequence, ClosedConsoleNeverEndsTheRun)
{
    // The console's reader is gone from the first line on (a pipe into a
    // program that quit): the run goes on to its end, on the hub and in the log.
    const ToolRun run = RunTool("", {}, true);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.log, kLogBanner + kFound + "Fusion: 9D.\r\n" + kStatus6 + kTabletMode2 + kDefaultTests +
                           kDefaultCalibrations + HealthySave(12) + kPass);
    ExpectModeOffAndUnlocked(run, "closed console");
}

TEST(HubSequence, ParameterAreaQueryNotConfirmed)
{
    const std::string body = kFound + "Get Address of eFlash&Buffer Fail!\r\n" + kFail;
    // No other step runs and nothing is cleared: the addresses were never confirmed.
    const Scenario cases[] = {
        {"reply byte 2 not 0",
         MakeHub({{"param-area ", "param-area eflash=0x001000 ram=0x082000 length=1024 confirm=no"}}),
         {},
         body,
         244,
         "mode query mode"},
        {"no reply", MakeHub({{"", "fault get-fail from=2 times=1"}}), {}, body, 244, "mode query mode"},
        {"wrong echo", MakeHub({{"", "fault wrong-echo from=2 times=1"}}), {}, body, 244, "mode query mode"},
        {"before any other option",
         MakeHub({{"", "fault get-fail from=2 times=1"}}),
         {"/PRECHECKACC2", "/FWVER", "/CHECKINITIALIZE", "/CS", "/ANGLE"},
         body,
         244,
         "mode query mode"},
    };
    for (const Scenario& s : cases) Check(s);
}

TEST(HubSequence, Acc2PrecheckClearsItsAreaAndNothingElse)
{
    const std::string hub = MakeHub({{"sensor acc2 ", "sensor acc2 value=0.10,0.20,-1.20"}});
    const std::string body = kFound + "ACC2: 0.10, 0.20, -1.20\r\n" + kPass;
    const Scenario cases[] = {
        {"value 0: ACC2 bias", hub, {"/PRECHECKACC2"}, body, 0, "mode query clear[read 08203c-082041] acc2 mode"},
        {"value 0 written out", hub, {"/PRECHECKACC20"}, body, 0, "mode query clear[read 08203c-082041] acc2 mode"},
        {"value 1: ACC2 bias and gain",
         hub,
         {"/PRECHECKACC21"},
         body,
         0,
         "mode query clear[read 08203c-082047] acc2 mode"},
        {"value 2: nothing", hub, {"/PRECHECKACC22"}, body, 0, "mode query acc2 mode"},
        {"no head clear with /NRC either", hub, {"/PRECHECKACC22", "/NRC"}, body, 0, "mode query acc2 mode"},
        {"wins over every other step", hub,
         With({"/PRECHECKACC2", "/FWVER", "/CHECKINITIALIZE", "/CS", "/ANGLE", "/NC"}, kModeOptions), body, 0,
         "mode query clear[read 08203c-082041] acc2 mode"},
        // Zeros that the hub never sent are no reading.
        {"no ACC2 reply fails the pre-check",
         MakeHub({{"", "fault get-fail from=3 times=1"}}),
         {"/PRECHECKACC22"},
         kFound + "Get ACC2 Value Fail!\r\n" + kFail,
         245,
         "mode query acc2 clear0[082000-082001] mode"},
    };
    for (const Scenario& s : cases) Check(s);
}

TEST(HubSequence, Acc2PrecheckLimit)
{
    // Counts of 1/256 g. 138 (0.539 g) passes, 139 (0.543 g) fails, both
    // printed as 0.54; on z the limit applies to |z| - 1 g, and a small |z|
    // is not limited.
    struct Case {
        const char* counts;
        const char* shown;
        bool fails;
    } cases[] = {
        {"138,0,256", "0.54, 0.00, 1.00", false},   {"139,0,256", "0.54, 0.00, 1.00", true},
        {"-138,0,256", "-0.54, 0.00, 1.00", false}, {"-139,0,256", "-0.54, 0.00, 1.00", true},
        {"0,138,256", "0.00, 0.54, 1.00", false},   {"0,-139,256", "0.00, -0.54, 1.00", true},
        {"0,0,394", "0.00, 0.00, 1.54", false},     {"0,0,395", "0.00, 0.00, 1.54", true},
        {"0,0,-394", "0.00, 0.00, -1.54", false},   {"0,0,-395", "0.00, 0.00, -1.54", true},
        {"0,0,0", "0.00, 0.00, 0.00", false},
    };
    for (const Case& c : cases) {
        const std::string reading = kFound + "ACC2: " + c.shown + "\r\n";
        Check({std::string("counts ") + c.counts,
               MakeHub({{"sensor acc2 ", std::string("sensor acc2 counts=") + c.counts}}),
               {"/PRECHECKACC22"},
               c.fails ? reading + "Error!! Accel2 can't more than +/-0.54G .\r\n" + kFail : reading + kPass,
               c.fails ? 245 : 0,
               c.fails ? "mode query acc2 " + kFinalClear + " mode" : "mode query acc2 mode"});
    }
}

TEST(HubSequence, FirmwareVersion)
{
    const std::string body = kFound + kFirmwareLine;  // no total result line
    const Scenario cases[] = {
        {"after the head clear", "", {"/FWVER"}, body, 0, "mode query " + kHeadClear + " fwver mode"},
        {"with /NRC no clearing at all", "", {"/FWVER", "/NRC"}, body, 0, "mode query fwver mode"},
        // On a hub with a failing sensor: no inventory, no status list, 0.
        {"wins over the checks and every ModeOption", kGyroFails,
         With({"/FWVER", "/NRC", "/CHECKINITIALIZE", "/CS", "/ANGLE", "/NC"}, kModeOptions), body, 0,
         "mode query fwver mode"},
    };
    for (const Scenario& s : cases) Check(s);
}

TEST(HubSequence, InventoryWaitOfRfd)
{
    // The waits between the last request before the inventory (the head
    // clear's unlock, or the query with /NRC) and its first read.
    struct Case {
        std::vector<std::string> options;
        std::vector<std::uint32_t> sleeps;
    } cases[] = {
        {{}, {200}},        {{"/RFD250"}, {200, 250}}, {{"/RFD"}, {200}},
        {{"/RFD0"}, {200}}, {{"/RFD-5"}, {200}},       {{"/RFD250", "/NRC"}, {50, 20, 200, 250}},
    };
    for (const Case& c : cases) {
        const std::vector<std::string> options = With(c.options, {"/CS"});
        const ToolRun run = RunTool("", options);
        EXPECT_EQ(run.exitStatus, 0) << Shown(options);
        EXPECT_EQ(run.console, kConsoleBanner + kFound + "Fusion: 9D.\r\n" + kStatus6 + kPass) << Shown(options);
        const std::vector<Token> tokens = Tokens(run.trace);
        std::size_t inventory = 0;
        while (inventory < tokens.size() && !IsInventoryRead(tokens[inventory])) ++inventory;
        ASSERT_TRUE(inventory > 0 && inventory < tokens.size()) << run.steps;
        EXPECT_EQ(SleepsBetween(run.trace, tokens[inventory - 1].line, tokens[inventory].line), c.sleeps)
            << Shown(options);
    }
}

TEST(HubSequence, FusionLine)
{
    // With /CS: the inventory, the fusion line, the status list of the
    // present sensors, Pass.
    struct Case {
        const char* name;
        HubLines changes;
        std::string fusion;
        int listed;
    } cases[] = {
        {"ACC1, compass, gyrometer", {}, "Fusion: 9D.\r\n", 6},
        {"no gyrometer", {{"sensor gyro ", "sensor gyro present=no"}}, "Fusion: 6D.\r\n", 5},
        {"gyrometer slot ff", {{"sensor gyro ", "sensor gyro slot=ff status=none"}}, "Fusion: 6D.\r\n", 5},
        {"fusion variant", {{"fusion-variant ", "fusion-variant yes"}}, "Fusion: 6D..\r\n", 6},
        {"no compass", {{"sensor compass ", "sensor compass present=no"}}, "", 5},
        {"no ACC1", {{"sensor acc1 ", "sensor acc1 present=no"}}, "", 5},
        {"no ACC1, variant byte set",
         {{"sensor acc1 ", "sensor acc1 present=no"}, {"fusion-variant ", "fusion-variant yes"}},
         "",
         5},
        {"no compass, no gyrometer",
         {{"sensor compass ", "sensor compass present=no"}, {"sensor gyro ", "sensor gyro present=no"}},
         "",
         4},
    };
    for (const Case& c : cases)
        Check({c.name,
               MakeHub(c.changes),
               {"/CS"},
               kFound + c.fusion + "The number of sensor is " + std::to_string(c.listed) + ".\r\n" + kPass,
               0,
               "mode query " + kHeadClear + " inventory status mode"});
}

TEST(HubSequence, CheckInitialize)
{
    const std::string steps = "mode query " + kHeadClear + " inventory status initstatus";
    const std::string passLines = "Check Sensors pass!\r\nInitialize Sensors pass!\r\n";
    const std::string oneFail = kGyroFailLines + "Check Sensors Fail!\r\nInitialize Sensors pass!\r\n";
    const std::string twoFails = kGyroFailLines + "Check Sensors Fail!\r\nInitialize Sensors Fail!\r\n";
    const std::string gyroFailsNotReady =
        MakeHub({{"sensor gyro ", "sensor gyro counts=2,-2,1 status=fail"}, {"mem 0x081200 ", "mem 0x081200 02"}});
    // The init-status read fails: get-features 1 mode, 2 query, 3-15 the
    // presence and variant bytes, 16 the colour probe, 17 the status list,
    // 18 on the init status (all 101 attempts).
    const std::string gyroFailsReadFails =
        MakeHub({{"sensor gyro ", "sensor gyro counts=2,-2,1 status=fail"}, {"", "fault get-fail from=18 times=101"}});
    const Scenario cases[] = {
        {"both pass",
         "",
         {"/CHECKINITIALIZE"},
         kFound + "Fusion: 9D.\r\n" + kStatus6 + passLines + kPass,
         0,
         steps + " mode"},
        {"a failing sensor",
         kGyroFails,
         {"/CHECKINITIALIZE"},
         kFound + "Fusion: 9D.\r\n" + oneFail + kFail,
         1,
         steps + " " + kFinalClear + " mode"},
        {"a failing sensor, status 2",
         gyroFailsNotReady,
         {"/CHECKINITIALIZE"},
         kFound + "Fusion: 9D.\r\n" + twoFails + kFail,
         2,
         steps + " " + kFinalClear + " mode"},
        {"a failing sensor, status read fails",
         gyroFailsReadFails,
         {"/CHECKINITIALIZE"},
         kFound + "Fusion: 9D.\r\n" + twoFails + kFail,
         2,
         steps + " " + kFinalClear + " mode"},
        {"status 2 alone",
         MakeHub({{"mem 0x081200 ", "mem 0x081200 02"}}),
         {"/CHECKINITIALIZE"},
         kFound + "Fusion: 9D.\r\n" + kStatus6 + "Check Sensors pass!\r\nInitialize Sensors Fail!\r\n" + kFail,
         1,
         steps + " " + kFinalClear + " mode"},
        {"wins over /CS, /ANGLE and every ModeOption", kGyroFails,
         With({"/CHECKINITIALIZE", "/CS", "/ANGLE", "/NC"}, kModeOptions), kFound + "Fusion: 9D.\r\n" + oneFail + kFail,
         1, steps + " " + kFinalClear + " mode"},
    };
    for (const Scenario& s : cases) Check(s);

    // The 2000 ms wait lies between the status list and the init-status read.
    const ToolRun run = RunTool("", {"/CHECKINITIALIZE"});
    const std::vector<Token> tokens = Tokens(run.trace);
    std::size_t status = 0;
    while (status < tokens.size() && tokens[status].kind != "T") ++status;
    ASSERT_LT(status + 1, tokens.size()) << run.steps;
    EXPECT_EQ(SleepsBetween(run.trace, tokens[status].line, tokens[status + 1].line),
              (std::vector<std::uint32_t>{50, 20, 2000}));
}

TEST(HubSequence, PresenceCheck)
{
    const std::string failBody =
        kFound + "Fusion: 9D.\r\n" + kGyroFailLines + "Check Sensors Fail and Stop!\r\n" + kFail;
    const std::string failSteps = "mode query " + kHeadClear + " inventory status " + kFinalClear + " mode";
    std::vector<Scenario> cases;
    // Options that are no ModeOption leave the presence check in place.
    for (const char* option : {"", "/GYRO-CALI", "/NC", "/CS", "/ANGLE", "/ACC1-2P-CALI", "/ACC1-6P-CALI",
                               "/ACC2-2P-CALI", "/ACC2-6P-CALI", "/LUX300"}) {
        std::vector<std::string> options;
        if (*option != '\0') options.push_back(option);
        cases.push_back({"failing gyrometer", kGyroFails, options, failBody, 240, failSteps});
    }
    // "/CS" alone on the same machine: 240, since the presence check comes first.
    // With any ModeOption no presence check runs, so "/CS" passes without a status list.
    for (const std::string& mode : kModeOptions)
        cases.push_back({"no presence check",
                         kGyroFails,
                         {"/CS", mode},
                         kFound + "Fusion: 9D.\r\n" + kPass,
                         0,
                         "mode query " + kHeadClear + " inventory mode"});
    // A presence check that passes goes on; "/CS" then ends with Pass.
    cases.push_back({"passes",
                     "",
                     {"/CS"},
                     kFound + "Fusion: 9D.\r\n" + kStatus6 + kPass,
                     0,
                     "mode query " + kHeadClear + " inventory status mode"});
    // A status list that cannot be fetched is no empty list: get-feature 17.
    cases.push_back(
        {"no status list",
         MakeHub({{"sensor gyro ", "sensor gyro counts=2,-2,1 status=fail"}, {"", "fault get-fail from=17 times=1"}}),
         {"/CS"},
         kFound + "Fusion: 9D.\r\nGet Sensor Status Fail!\r\nCheck Sensors Fail and Stop!\r\n" + kFail,
         240,
         "mode query " + kHeadClear + " inventory status clear0[082000-082001] mode"});
    for (const Scenario& s : cases) Check(s);
}

TEST(HubSequence, PacingWindow)
{
    // With pacing set, only the transfers from the test block on get the
    // pacing wait: after "/NC" they run to mode off with it; otherwise the
    // calibration block switches it off again. Everything before the tests
    // is never paced.
    struct Case {
        std::vector<std::string> options;
        std::size_t pacedTransfers;  // transfers after the status list that wait 100 ms first
        std::string blocks;          // the blocks' lines
    } cases[] = {
        // The tests' 23 transfers: the self tests' 18 (ACC1, compass, ACC2:
        // request, busy poll, good poll, data request and reply; the
        // gyrometer: the first 3) and the light and colour readings' 5. After
        // "/NC" also the mode off: the vendor string and its read-back.
        // Without it the two one-shot calibrations' 10 (request, busy poll,
        // good poll, value request and reply) follow.
        {{"/HIDCMDDELAYMS100", "/NC"}, 25, kDefaultTests},
        {{"/HIDCMDDELAYMS100"}, 33, kTabletMode2 + kDefaultTests + kDefaultCalibrations + HealthySave(15)},
        {{"/HIDCMDDELAYMS100", "/CS"}, 0, ""},
    };
    for (const Case& c : cases) {
        const ToolRun run = RunTool("", c.options);
        EXPECT_EQ(run.exitStatus, 0) << Shown(c.options);
        EXPECT_EQ(run.console, kConsoleBanner + kFound + "Fusion: 9D.\r\n" + kStatus6 + c.blocks + kPass)
            << Shown(c.options);
        const std::vector<Token> tokens = Tokens(run.trace);
        std::size_t status = tokens.size();
        for (std::size_t i = 0; i < tokens.size(); ++i)
            if (tokens[i].kind == "T") status = i;
        ASSERT_LT(status, tokens.size()) << run.steps;
        std::size_t before = 0;
        std::size_t after = 0;
        for (std::size_t i = 0; i + 1 < run.trace.size(); ++i) {
            const bool paced = run.trace[i].event == "SLEEP 100" && (run.trace[i + 1].event.rfind("SET", 0) == 0 ||
                                                                     run.trace[i + 1].event.rfind("GET", 0) == 0);
            if (!paced) continue;
            (i < tokens[status].line ? before : after) += 1;
        }
        EXPECT_EQ(before, 0u) << Shown(c.options);
        EXPECT_EQ(after, c.pacedTransfers) << Shown(c.options);
        // The mode-off request itself comes last, paced or not.
        EXPECT_EQ(tokens.back().kind, "V");
    }
}
