// The run frame seen from outside: banners, help, run log, single-instance
// guard, key prompts and exit status. The runs are the stand-in's on a
// machine without a hub, each with a lock directory of its own, so that they
// never meet each other or an instance of the tool on this machine (the
// production binary's own guard: instance_guard_test.cpp).
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/platform.h"
#include "tests/process_util.h"

using testutil::PtyProcess;
using testutil::ReadFile;
using testutil::RunProcess;
using testutil::TempDir;

namespace {

const std::string kConsoleBanner = "XOV Sensor Hub Calibration Tool v0.9.53_x64\r\n\r\n";
const std::string kLogBanner = "XOV Sensor Hub Calibration Tool v0.9.52_x64\r\n\r\n";
const std::string kFindNone = "Find 0 XOV SensorHub.\r\n";
const std::string kPrompt = "Please press any key to exit.";
const std::string kLogName = "XOVSensorHubCalibration.log";

const char* const kHelp =
    "/ACC1-TEST, do acc1 test\r\n"
    "/GYRO-TEST, do gyro test\r\n"
    "/COMP-TEST, do compass test\r\n"
    "/ACC2-TEST, do acc2 test\r\n"
    "/LIGHT-TEST, do light test\r\n"
    "/COLOR-TEST, do color test\r\n"
    "/PSENSOR-TEST, do PSensor test\r\n"
    "\r\n"
    "/ACC1-CALI, do acc1 calibration\r\n"
    "/GYRO-CALI, do gyro calibration\r\n"
    "/COMP-CALI, do comp calibration\r\n"
    "/ACC2-CALI, do acc2 calibration\r\n"
    "/LIGHT-CALI, do light calibration\r\n"
    "/COLOR-CALI, do color calibration\r\n"
    "\r\n"
    "/ACC1-BIAS, set maximum bias value. EX: ACC1-BIAS40 is 0.40 ; ACC1-BIAS15 is 0.15\r\n"
    "/ACC2-BIAS, set maximum bias value. EX: ACC2-BIAS40 is 0.40 ; ACC2-BIAS15 is 0.15\r\n"
    "/ACC1-PHASE, set calibration phase mode. EX: ACC1-PHASE0 is Z+ ; ACC1-PHASE1 is Z-\r\n"
    "/ACC2-PHASE, set calibration phase mode. EX: ACC2-PHASE0 is Z+ ; ACC2-PHASE1 is Z-\r\n"
    "\r\n"
    "/GYRO-TIMEOUT, set time-out of gyro-cali. EX: GYRO-TIMEOUT10 is 10 sec\r\n"
    "/GYRO-OFFSET, set maximum offset value after gyro-cali. EX: GYRO-OFFSET6 is 6.0 dps\r\n"
    "/ACCURACY, input the state of Accuracy. EX: ACCURACY3 is 3 (Max is 3, Min is 1)\r\n"
    "/LUX, input light source value. EX: LUX300 is 300 lux\r\n"
    "/RVAL, input color_R source value. EX: RVAL600 is 600 value\r\n"
    "/GVAL, input color_G source value. EX: RVAL500 is 500 value\r\n"
    "/BVAL, input color_B source value. EX: RVAL400 is 400 value\r\n"
    "/FWVER, only get OEM FW version\r\n"
    "/ANGLE, only get current angle\r\n"
    "/CS, only check sensors exist\r\n"
    "/NC, no calibrate\r\n"
    "/NS, no save\r\n"
    "/NAC, no auto close\r\n"
    "/FNC, fail no close\r\n"
    "/NRC, no reset and clear buffer\r\n"
    "/NOCA, no check angle\r\n"
    "/SCA, input the check angle for 2 ACC lying-mode. EX: SCA30 is 180 +/-30 degree\r\n"
    "/CA, input the check angle for 2 ACC tablet-mode. EX: CA30 is 0 +/-30 degree\r\n"
    "/NEWSCA, input the New check angle for 2 ACC lying-mode after Calibration\r\n"
    "/NEWCA, input the New check angle for 2 ACC tablet-mode after Calibration\r\n"
    "\r\n"
    "/?, help\r\n"
    "\r\n"
    "/LIGHT-CALI /LUX400, only do light calibration with input 400 lux\r\n"
    "/COLOR-CALI /RVAL900 /GVAL800 /BVAL700, only do color_R & color_G & color_B calibration with input 900 & 800 & "
    "700 value\r\n"
    "/PSENSOR-CALI /DISTANCE10 /MODE13, only do PSensor calibration with input the parameter value for 10cm "
    "distance and 13 mode\r\n"
    "/PSENSOR-CALI /CROSSTALKUPPERBOUND2300 /CROSSTALKLOWERBOUND100, only do PSensor calibration with input the "
    "parameter value for CROSSTALK 2300~100\r\n"
    "/PSENSOR-CALI /THDH1UPPERBOUND2300 /THDH1LOWERBOUND100, only do PSensor calibration with input the parameter "
    "value for THDH1 2300~100\r\n"
    "/PSENSOR-CALI /THDHYSUPPERBOUND2300 /THDHYSLOWERBOUND100 /THDHYSVALUE50, only do PSensor calibration with "
    "input the parameter value for THDHYS 2300~100\r\n"
    "/PSENSOR-CALI /NEWCROSSTALKUPPERBOUND2300 /NEWCROSSTALKLOWERBOUND100, only do PSensor calibration with input "
    "the parameter value for NEWCROSSTALK 2300~100\r\n"
    "\r\n"
    "/CUS2-CALI, do Custom Sensor 2 calibration\r\n"
    "/QS, Quick save no check\r\n"
    "\r\n"
    "/CUS2-CALI parameter p1 p2 p3 ... p12, do Custom Sensor 2 calibration with parameter\r\n"
    "\r\n"
    "/ACC2-6P-CALI, do acc2 calibration for 6 phase\r\n"
    "/ACC-CALI-DELAY, set delay time for ACC 2/6 phase calibration. EX: ACC-CALI-DELAY5 is 5 sec\r\n";

class RunFrame : public ::testing::Test {
protected:
    void SetUp() override { testutil::WriteFile(noHub, "device /dev/sim/keyboard page=0x0001 usage=0x06\n"); }
    std::vector<std::string> Tool(std::vector<std::string> options) const
    {
        std::vector<std::string> argv = {testutil::BinaryPath("XOVSensorHubCalibration-sim"),
                                         "--hub",
                                         noHub,
                                         "--lock-dir",
                                         lockDir.path(),
                                         "--"};
        argv.insert(argv.end(), options.begin(), options.end());
        return argv;
    }
    testutil::ProcessResult Run(std::vector<std::string> options) const
    {
        return RunProcess(Tool(std::move(options)), work.path(), lockDir.path());
    }
    std::string Log() const { return ReadFile(work.File(kLogName)); }
    bool LogExists() const { return testutil::FileExists(work.File(kLogName)); }

    TempDir work;     // the tool's working directory
    TempDir lockDir;  // where its single-instance lock lies (also its TMPDIR)
    TempDir machine;
    const std::string noHub = machine.File("none.hub");
};

}  // namespace

TEST_F(RunFrame, HelpPrintsBannerAndFiftyLinesAndNoLog)
{
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{"/?"}, std::vector<std::string>{"/ACC1-CALI", "/?", "/NAC", "/LUXA"}}) {
        const auto result = Run(options);
        EXPECT_EQ(result.exitStatus, 0);
        EXPECT_EQ(result.out, kConsoleBanner + kHelp);
        EXPECT_FALSE(LogExists());
    }
    // A log of an earlier run is left as it was.
    testutil::WriteFile(work.File(kLogName), "earlier run\r\n");
    EXPECT_EQ(Run({"/?"}).exitStatus, 0);
    EXPECT_EQ(Log(), "earlier run\r\n");
}

TEST_F(RunFrame, HelpHasFiftyTextLines)
{
    int lines = 0;
    for (const char* p = kHelp; *p != '\0'; ++p)
        if (*p == '\n' && p[-2] != '\n') ++lines;
    EXPECT_EQ(lines, 50);
}

TEST_F(RunFrame, NoHubEndsWith255AndLogsTheFindLine)
{
    testutil::WriteFile(work.File(kLogName), "an older log that the run replaces\r\n");
    const auto result = Run({});
    EXPECT_EQ(result.exitStatus, 255);
    EXPECT_EQ(result.out, kConsoleBanner + kFindNone);
    EXPECT_EQ(Log(), kLogBanner + kFindNone);
}

TEST_F(RunFrame, MalformedOptionEndsBeforeDiscovery)
{
    struct Case {
        std::vector<std::string> options;
        std::string bad;
    } cases[] = {
        {{"/LUXA"}, "/LUXA"},
        {{"/ACC1-CALI", "/lux400", "/NCX"}, "/NCX"},
        {{"/MTPID2147483648"}, "/MTPID2147483648"},
        {{"/HIDCMDDELAYMS1.5"}, "/HIDCMDDELAYMS1.5"},
        {{"/CUS2-CALI", "parameter", "1f", "xyz"}, "xyz"},
        // A refused face delay after arguments that begin with no option name.
        {{"foo", "/ACC-CALI-DELAY-5"}, "/ACC-CALI-DELAY-5"},
        {{"/CUS2-CALI", "parameter", "1f", "20", "/ACC-CALI-DELAY5000000"}, "/ACC-CALI-DELAY5000000"},
    };
    for (const Case& c : cases) {
        const auto result = Run(c.options);
        const std::string line = "Invalid command-line argument: " + c.bad + "\r\n";
        EXPECT_EQ(result.exitStatus, ProcessExitStatus(-3)) << c.bad;
        EXPECT_EQ(result.out, kConsoleBanner + line) << c.bad;
        EXPECT_EQ(Log(), kLogBanner + line) << c.bad;
    }
}

TEST_F(RunFrame, MalformedHelpEndsBeforeTheRunLog)
{
    testutil::WriteFile(work.File(kLogName), "earlier run\r\n");
    const auto result = Run({"/ACC1-CALI", "/?X"});
    EXPECT_EQ(result.exitStatus, ProcessExitStatus(-3));
    EXPECT_EQ(result.out, kConsoleBanner + "Invalid command-line argument: /?X\r\n");
    EXPECT_EQ(Log(), "earlier run\r\n");
}

TEST_F(RunFrame, UncreatableLogLeavesTheConsoleRun)
{
    // A directory in the log's place: the log cannot be created, even by root.
    std::filesystem::create_directory(work.File(kLogName));
    const auto result = Run({});
    EXPECT_EQ(result.exitStatus, 255);
    EXPECT_EQ(result.out, kConsoleBanner +
                              "Cannot create the run log XOVSensorHubCalibration.log: the run goes on without it.\r\n" +
                              kFindNone);
}

TEST_F(RunFrame, KeyPromptsWithoutConsoleReturnAtOnce)
{
    const auto result = Run({"/NAC", "/FNC"});
    EXPECT_EQ(result.exitStatus, 255);
    EXPECT_EQ(result.out, kConsoleBanner + kFindNone + kPrompt + kPrompt);
    EXPECT_EQ(Log(), kLogBanner + kFindNone);  // the prompts never reach the log
}

TEST_F(RunFrame, KeyPromptsOnAConsoleWaitForOneKeyEach)
{
    struct Case {
        std::vector<std::string> options;
        int prompts;
        std::string key;
        bool inputFromDevNull = false;
    } cases[] = {{{"/NAC"}, 1, "#"}, {{"/FNC"}, 1, "#"}, {{"/NAC", "/FNC"}, 2, "#"},
                 // Ctrl+C answers the prompt like any key and does not kill the run.
                 {{"/NAC"}, 1, "\x03"},
                 // An arrow key sends three bytes and answers one prompt.
                 {{"/NAC", "/FNC"}, 2, "\x1b[A"},
                 // The key comes from the terminal, not from standard input.
                 {{"/NAC", "/FNC"}, 2, "#", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.key) + (c.inputFromDevNull ? " input from /dev/null" : ""));
        PtyProcess tool(Tool(c.options), work.path(), lockDir.path(), -1, c.inputFromDevNull);
        std::string prompts;
        for (int i = 0; i < c.prompts; ++i) {
            prompts += kPrompt;
            ASSERT_TRUE(tool.WaitFor(prompts)) << tool.output();
            EXPECT_TRUE(tool.StaysAlive(300)) << "the tool did not wait for a key";
            tool.Type(c.key);  // one key, no Enter
        }
        EXPECT_EQ(tool.Wait(), 255);
        EXPECT_EQ(tool.output().find(c.key), std::string::npos) << "the key was echoed";
        EXPECT_EQ(Log(), kLogBanner + kFindNone);
    }
}

TEST_F(RunFrame, SecondPromptOnlyForAFailedRunThenThePause)
{
    struct Case {
        std::string hub;
        std::vector<std::string> options;
        int exitStatus;
        int prompts;
    } cases[] = {
        {std::string(XOV_SOURCE_DIR) + "/sim/hubs/healthy.hub", {"/FWVER", "/NAC", "/FNC"}, 0, 1},
        {std::string(XOV_SOURCE_DIR) + "/sim/hubs/healthy.hub", {"/FWVER", "/FNC"}, 0, 0},
        {noHub, {"/NAC", "/FNC"}, 255, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options.back() + " exit " + std::to_string(c.exitStatus));
        const std::string trace = work.File("trace.txt");
        std::vector<std::string> argv = {
            testutil::BinaryPath("XOVSensorHubCalibration-sim"), "--hub", c.hub, "--trace", trace, "--"};
        argv.insert(argv.end(), c.options.begin(), c.options.end());
        const auto result = RunProcess(argv, work.path(), lockDir.path());
        EXPECT_EQ(result.exitStatus, c.exitStatus);
        std::string prompts;
        for (int i = 0; i < c.prompts; ++i) prompts += kPrompt;
        EXPECT_TRUE(result.out.ends_with("\r\n" + prompts)) << result.out;
        // The run ends with the 50 ms pause, after any key prompt.
        const std::string log = ReadFile(trace);
        EXPECT_TRUE(log.ends_with(" SLEEP 50\n")) << log;
    }
}

TEST_F(RunFrame, SecondInstanceIsRefusedWhileTheFirstRuns)
{
    PtyProcess first(Tool({"/NAC"}), work.path(), lockDir.path());
    ASSERT_TRUE(first.WaitFor(kPrompt)) << first.output();
    const std::string firstLog = Log();

    for (const std::vector<std::string>& options : {std::vector<std::string>{}, std::vector<std::string>{"/?"}}) {
        const auto second = Run(options);
        EXPECT_EQ(second.exitStatus, 254);  // -2 in eight bits
        EXPECT_EQ(second.out, "This application can not be repeated!\r\n\r\n");
        EXPECT_EQ(Log(), firstLog);
    }

    first.Type(" ");
    EXPECT_EQ(first.Wait(), 255);
    // Once the first has ended, the name is free again.
    EXPECT_EQ(Run({}).exitStatus, 255);
}

TEST_F(RunFrame, LockFileLeftWithoutWritePermissionStillGuards)
{
    // A lock file that the current user may not write, as another user would
    // leave it. Root may write anything, so then the tool runs as nobody.
    const std::string lock = lockDir.File("XOVSensorHubCalibration.lock");
    testutil::WriteFile(lock, "");
    std::filesystem::permissions(lock, std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                                           std::filesystem::perms::others_read);
    const int uid = getuid() == 0 ? 65534 : -1;
    for (const std::string& dir : {work.path(), lockDir.path(), machine.path()})
        std::filesystem::permissions(dir, std::filesystem::perms::all);

    PtyProcess first(Tool({"/NAC"}), work.path(), lockDir.path(), uid);
    ASSERT_TRUE(first.WaitFor(kPrompt)) << first.output();
    const auto second = RunProcess(Tool({}), work.path(), lockDir.path(), false, uid);
    EXPECT_EQ(second.exitStatus, 254);
    EXPECT_EQ(second.out, "This application can not be repeated!\r\n\r\n");
    first.Type(" ");
    EXPECT_EQ(first.Wait(), 255);
}

TEST_F(RunFrame, PlantedLinkInTheLockPlaceIsNeitherFollowedNorChanged)
{
    // Whoever may write the lock's directory can put a link in the lock
    // file's place. The run goes on without the guard and leaves both as they were.
    namespace fs = std::filesystem;
    const std::string lock = lockDir.File("XOVSensorHubCalibration.lock");
    const std::string target = machine.File("precious");
    testutil::WriteFile(target, "keep\n");
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace);
    fs::create_symlink(target, lock);
    EXPECT_EQ(Run({}).exitStatus, 255);
    EXPECT_EQ(fs::status(target).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(ReadFile(target), "keep\n");
    EXPECT_TRUE(fs::is_symlink(lock));

    // A link to nothing creates nothing.
    const std::string missing = machine.File("missing");
    fs::remove(lock);
    fs::create_symlink(missing, lock);
    EXPECT_EQ(Run({}).exitStatus, 255);
    EXPECT_FALSE(fs::exists(fs::symlink_status(missing)));
}

TEST_F(RunFrame, OnlyALockFileTheRunCreatedGetsItsModeChanged)
{
    namespace fs = std::filesystem;
    const std::string lock = lockDir.File("XOVSensorHubCalibration.lock");
    const fs::perms everybody = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                fs::perms::group_write | fs::perms::others_read | fs::perms::others_write;
    EXPECT_EQ(Run({}).exitStatus, 255);
    EXPECT_EQ(fs::status(lock).permissions(), everybody);  // whatever the umask
    fs::permissions(lock, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace);
    EXPECT_EQ(Run({}).exitStatus, 255);
    EXPECT_EQ(fs::status(lock).permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

TEST(ExitStatus, NonZeroCodesNeverReadAsPass)
{
    struct Case {
        std::int32_t code;
        int status;
    } cases[] = {{0, 0},   {1, 1},   {11, 11},  {255, 255}, {-2, 254},        {-3, 253},
                 {256, 1}, {512, 1}, {-256, 1}, {300, 44},  {2147483647, 255}};
    for (const Case& c : cases) EXPECT_EQ(ProcessExitStatus(c.code), c.status) << c.code;
}

TEST_F(RunFrame, MalformedOptionNeverTouchesTheHub)
{
    const std::string trace = work.File("trace.txt");
    const auto result =
        RunProcess({testutil::BinaryPath("XOVSensorHubCalibration-sim"), "--hub",
                    std::string(XOV_SOURCE_DIR) + "/sim/hubs/healthy.hub", "--trace", trace, "--", "/NC", "/RFDX"},
                   work.path(), lockDir.path());
    EXPECT_EQ(result.exitStatus, 253);
    EXPECT_EQ(result.out, kConsoleBanner + "Invalid command-line argument: /RFDX\r\n");
    // Not even discovery ran: no device was opened, no report sent, and the
    // only wait is the closing pause.
    EXPECT_EQ(ReadFile(trace), "t=0 SLEEP 50\n");
}
