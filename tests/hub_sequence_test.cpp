// Whole runs of the hub sequence: the stand-in executable on generated hub
// files, in a working directory and with a TMPDIR of its own, on virtual time.
// Each case compares the console, the run log and the exit status with the
// expected text, and the order of the hub requests (and, where the sequence
// fixes them, its waits) with the trace.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tests/process_util.h"

namespace {

using testutil::ReadFile;
using testutil::TempDir;
using testutil::WriteFile;

const std::string kHealthyHub = std::string(XOV_SOURCE_DIR) + "/sim/hubs/healthy.hub";
const std::string kConsoleBanner = "XOV Sensor Hub Calibration Tool v0.9.53_x64\r\n\r\n";
const std::string kLogBanner = "XOV Sensor Hub Calibration Tool v0.9.52_x64\r\n\r\n";
const std::string kFound = "Find 1 XOV SensorHub.\r\n";
const std::string kPass = "\r\nTotal Result: Pass\r\n";
const std::string kFail = "\r\nTotal Result: Fail\r\n";

// ---------------------------------------------------------------------------
// Hub files: a machine like the healthy one, with named lines replaced or added.

using HubLines = std::vector<std::pair<std::string, std::string>>;

const HubLines kBaseHub = {
    {"devices", "device /dev/sim/keyboard page=0x0001 usage=0x06\ndevice /dev/sim/sensorhub hub pid=0x8301"},
    {"mode", "hub custom-mode=off require-custom-mode=yes"},
    {"fw", "mem 0x003100 \"XOV-SH 1.02.0315\""},
    {"init", "mem 0x081200 03"},
    {"variant", "fusion-variant no"},
    {"acc1", "sensor acc1 value=0,0,1"},
    {"acc2", "sensor acc2 value=0,0,1 angle=2"},
    {"light", "sensor light lux=250"},
    {"compass", "sensor compass value=20,-4,-38 accuracy=3"},
    {"gyro", "sensor gyro counts=2,-2,1"},
    {"colour", "sensor colour rgb=120,200,90"},
    // RAM copy at 0x082000 with a signature and ext 34: the ACC2 bias lies
    // at 0x08203C to 0x082041, its gain up to 0x082047.
    {"param", "param-area eflash=0x001000 ram=0x082000 length=1024"},
    {"block", "param both signature 80 83\nparam both ext 34"},
};

// The base machine with each (key, line) of changes replacing the base line
// of that key, or appended when the key is new.
std::string MakeHub(const HubLines& changes)
{
    HubLines lines = kBaseHub;
    for (const auto& change : changes) {
        bool replaced = false;
        for (auto& line : lines)
            if (line.first == change.first) {
                line.second = change.second;
                replaced = true;
            }
        if (!replaced) lines.push_back(change);
    }
    std::string text;
    for (const auto& line : lines)
        if (!line.second.empty()) text += line.second + "\n";
    return text;
}

// ---------------------------------------------------------------------------
// The trace.

struct TraceLine {
    std::uint64_t t = 0;
    std::string event;  // the text after "t=<ms> "
};

bool IsSet(const TraceLine& line)
{
    return line.event.rfind("SET ", 0) == 0 && line.event.rfind("SET FAIL", 0) != 0;
}

std::array<std::uint8_t, 17> ReportOf(const TraceLine& line)
{
    std::array<std::uint8_t, 17> bytes{};
    const std::string hex = line.event.substr(line.event.rfind(' ') + 1);
    for (std::size_t i = 0; i < bytes.size() && 2 * i + 1 < hex.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
    return bytes;
}

std::uint32_t AddressOf(const std::array<std::uint8_t, 17>& r)
{
    return static_cast<std::uint32_t>(r[2] | (r[3] << 8) | (r[4] << 16));
}

bool IsVendorString(const std::array<std::uint8_t, 17>& r)
{
    static const char kText[] = "XOV Tech. Inc.";
    for (std::size_t i = 0; i < 15; ++i)
        if (r[1 + i] != static_cast<std::uint8_t>(kText[i])) return false;
    return r[16] == 0;
}

std::string Hex6(std::uint32_t address)
{
    char text[8];
    std::snprintf(text, sizeof text, "%06x", address);
    return text;
}

// One token per request the tool sent: V vendor string, Q parameter-area
// query, L / U fusion lock / unlock, W<addr> register write, R<addr> register
// read (retries of one read collapse), S<id> sensor value, T status list.
struct Token {
    std::string kind;
    std::uint32_t address = 0;
    std::size_t line = 0;  // index of its SET line in the trace
};

std::vector<Token> Tokens(const std::vector<TraceLine>& trace)
{
    std::vector<Token> tokens;
    for (std::size_t i = 0; i < trace.size(); ++i) {
        if (!IsSet(trace[i])) continue;
        const auto r = ReportOf(trace[i]);
        Token token;
        token.line = i;
        if (IsVendorString(r)) {
            token.kind = "V";
        } else if (r[1] == 0x02 && r[2] == 0) {
            token.kind = "Q";
        } else if (r[1] == 0x0D) {
            token.kind = "L";
        } else if (r[1] == 0x0E) {
            token.kind = "U";
        } else if (r[1] == 0x06 || r[1] == 0x08) {
            token.kind = "W";
            token.address = AddressOf(r);
        } else if (r[1] == 0x05 || r[1] == 0x07) {
            token.kind = "R";
            token.address = AddressOf(r);
            if (!tokens.empty() && tokens.back().kind == "R" && tokens.back().address == token.address) continue;
        } else if (r[1] == 0x00) {
            token.kind = "S";
            token.address = r[2];
        } else if (r[1] == 0x0B) {
            token.kind = "T";
        } else {
            token.kind = "X" + std::to_string(r[1]);
        }
        tokens.push_back(token);
    }
    return tokens;
}

bool IsInventoryRead(const Token& t)
{
    if (t.kind != "R") return false;
    if (t.address == 0x08120D) return true;
    return t.address >= 0x081243 && t.address <= 0x08126F && (t.address - 0x081243) % 4 == 0;
}

// The requests grouped into the sequence's steps:
//   mode              a custom-command mode switch (one or two vendor strings)
//   query             the parameter-area query
//   clear[...]        a buffer clear that unlocks first; clear0[...] one that
//                     does not. Inside: "read" when it read the block, then
//                     the written range (first-last).
//   inventory         the presence bytes, the fusion-variant byte, the colour probe
//   status            the status list
//   acc2              an ACC2 reading
//   initstatus        the RegInitStatus read
//   fwver             the firmware-version read
//   R<first>-<last>   a chunked read of consecutive chunks (a parameter block)
//   X2                a save request
std::string Steps(const std::vector<TraceLine>& trace)
{
    const std::vector<Token> tokens = Tokens(trace);
    std::string steps;
    auto add = [&steps](const std::string& step) { steps += (steps.empty() ? "" : " ") + step; };
    for (std::size_t i = 0; i < tokens.size();) {
        const Token& t = tokens[i];
        if (t.kind == "V") {
            while (i < tokens.size() && tokens[i].kind == "V") ++i;
            add("mode");
        } else if (t.kind == "Q") {
            add("query");
            ++i;
        } else if ((t.kind == "U" && i + 1 < tokens.size() && tokens[i + 1].kind == "L") || t.kind == "L") {
            std::string step = t.kind == "U" ? "clear[" : "clear0[";
            i += t.kind == "U" ? 2u : 1u;
            bool read = false;
            std::vector<std::uint32_t> writes;
            for (; i < tokens.size() && tokens[i].kind != "U"; ++i) {
                if (tokens[i].kind == "R") read = true;
                if (tokens[i].kind == "W") writes.push_back(tokens[i].address);
            }
            if (i < tokens.size())
                ++i;  // the unlock that ends it
            else
                step = "LEFT-LOCKED-" + step;
            if (read) step += "read";
            if (!writes.empty()) step += (read ? " " : "") + Hex6(writes.front()) + "-" + Hex6(writes.back());
            for (std::size_t w = 1; w < writes.size(); ++w)
                if (writes[w] != writes[w - 1] + 1) step += " (not in order)";
            add(step + "]");
        } else if (IsInventoryRead(t)) {
            while (i < tokens.size() && IsInventoryRead(tokens[i])) ++i;
            if (i < tokens.size() && tokens[i].kind == "S" && tokens[i].address == 0x0F) ++i;
            add("inventory");
        } else if (t.kind == "T") {
            add("status");
            ++i;
        } else if (t.kind == "S" && t.address == 0x08) {
            add("acc2");
            ++i;
        } else if (t.kind == "R" && t.address == 0x081200) {
            add("initstatus");
            ++i;
        } else if (t.kind == "R" && t.address >= 0x003100 && t.address < 0x003120) {
            while (i < tokens.size() && tokens[i].kind == "R" && tokens[i].address >= 0x003100 &&
                   tokens[i].address < 0x003120)
                ++i;
            add("fwver");
        } else if (t.kind == "R" && i + 1 < tokens.size() && tokens[i + 1].kind == "R" &&
                   tokens[i + 1].address == t.address + 10) {
            // A chunked read of a block: its first and its last chunk.
            while (i + 1 < tokens.size() && tokens[i + 1].kind == "R" &&
                   tokens[i + 1].address == tokens[i].address + 10)
                ++i;
            add("R" + Hex6(t.address) + "-" + Hex6(tokens[i].address));
            ++i;
        } else {
            add(t.kind + (t.kind == "R" || t.kind == "W" ? Hex6(t.address) : ""));
            ++i;
        }
    }
    return steps;
}

// The waits between two trace lines (exclusive).
std::vector<std::uint32_t> SleepsBetween(const std::vector<TraceLine>& trace, std::size_t from, std::size_t to)
{
    std::vector<std::uint32_t> sleeps;
    for (std::size_t i = from + 1; i < to && i < trace.size(); ++i)
        if (trace[i].event.rfind("SLEEP ", 0) == 0)
            sleeps.push_back(static_cast<std::uint32_t>(std::stoul(trace[i].event.substr(6))));
    return sleeps;
}

// ---------------------------------------------------------------------------
// A run.

struct ToolRun {
    int exitStatus = -1;
    std::string console;
    std::string log;
    std::vector<TraceLine> trace;
    std::string steps;
};

ToolRun RunTool(const std::string& hubText, const std::vector<std::string>& options, bool closedConsole = false)
{
    TempDir work;
    TempDir tmp;
    std::string hubFile = kHealthyHub;
    if (!hubText.empty()) {
        hubFile = work.File("machine.hub");
        WriteFile(hubFile, hubText);
    }
    std::vector<std::string> argv = {
        testutil::BinaryPath("XOVSensorHubCalibration-sim"), "--hub", hubFile, "--trace", work.File("trace.txt"), "--"};
    argv.insert(argv.end(), options.begin(), options.end());
    const testutil::ProcessResult result = closedConsole
                                               ? testutil::RunProcessClosedConsole(argv, work.path(), tmp.path())
                                               : testutil::RunProcess(argv, work.path(), tmp.path());

    ToolRun run;
    run.exitStatus = result.exitStatus;
    run.console = result.out;
    run.log = ReadFile(work.File("XOVSensorHubCalibration.log"));
    const std::string text = ReadFile(work.File("trace.txt"));
    for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = text.substr(start, end - start);
        const std::size_t blank = line.find(' ');
        if (line.rfind("t=", 0) != 0 || blank == std::string::npos) continue;
        run.trace.push_back({std::stoull(line.substr(2, blank - 2)), line.substr(blank + 1)});
    }
    run.steps = Steps(run.trace);
    return run;
}

std::string Shown(const std::vector<std::string>& options)
{
    std::string shown;
    for (const std::string& o : options) shown += (shown.empty() ? "" : " ") + o;
    return shown.empty() ? "(no options)" : shown;
}

// Every way out of the sequence switches the custom-command mode off: the last
// request of the run is a vendor string, and its read-back shows the mode off.
// No run leaves the fusion task locked.
void ExpectModeOffAndUnlocked(const ToolRun& run, const std::string& what)
{
    const std::vector<Token> tokens = Tokens(run.trace);
    ASSERT_FALSE(tokens.empty()) << what;
    EXPECT_EQ(tokens.front().kind, "V") << what << ": the first request switches the mode on";
    EXPECT_EQ(tokens.back().kind, "V") << what << ": the last request switches the mode off";
    std::string lastGet;
    for (const TraceLine& line : run.trace)
        if (line.event.rfind("GET", 0) == 0) lastGet = line.event;
    EXPECT_EQ(lastGet, "GET 5a" + std::string(32, '0')) << what << ": the hub's mode is off at the end";
    bool locked = false;
    for (const Token& t : tokens) {
        if (t.kind == "L") locked = true;
        if (t.kind == "U") locked = false;
    }
    EXPECT_FALSE(locked) << what << ": the fusion task is left locked";
}

// A case of the table: the machine, the options and what the run must show.
struct Scenario {
    std::string name;
    std::string hub;  // hub file text; empty: sim/hubs/healthy.hub
    std::vector<std::string> options;
    std::string body;  // console and log after their banners
    int exitStatus;
    std::string steps;  // the requests grouped by Steps(); empty: not compared
};

void Check(const Scenario& s)
{
    const std::string what = s.name + " [" + Shown(s.options) + "]";
    const ToolRun run = RunTool(s.hub, s.options);
    EXPECT_EQ(run.exitStatus, s.exitStatus) << what;
    EXPECT_EQ(run.console, kConsoleBanner + s.body) << what;
    EXPECT_EQ(run.log, kLogBanner + s.body) << what;
    if (!s.steps.empty()) {
        EXPECT_EQ(run.steps, s.steps) << what;
    }
    ExpectModeOffAndUnlocked(run, what);
}

// The fourteen options that select tests or calibrations.
const std::vector<std::string> kModeOptions = {
    "/ACC1-TEST", "/GYRO-TEST", "/COMP-TEST", "/ACC2-TEST",  "/LIGHT-TEST",   "/COLOR-TEST", "/PSENSOR-TEST",
    "/ACC1-CALI", "/COMP-CALI", "/ACC2-CALI", "/COLOR-CALI", "/PSENSOR-CALI", "/CUS2-CALI",  "/LIGHT-CALI",
};

std::vector<std::string> With(std::vector<std::string> options, const std::vector<std::string>& more)
{
    options.insert(options.end(), more.begin(), more.end());
    return options;
}

const std::string kHeadClear = "clear[082000-082001]";
const std::string kFinalClear = "clear0[082000-082001]";
const std::string kStatus6 = "The number of sensor is 6.\r\n";
const std::string kFirmwareLine = "OEM FW Version: XOV-SH 1.02.0315" + std::string(16, '\0') + "\r\n";
// A machine whose gyrometer the hub reports as failing.
const std::string kGyroFails = MakeHub({{"gyro", "sensor gyro counts=2,-2,1 status=fail"}});
// The lines of the default run's tests and one-shot calibrations on the
// healthy machine: every test and both one-shot calibrations pass.
const std::string kDefaultTests =
    "Accel Test   : Pass.\r\nGyro  Test   : Pass.\r\nCompass Test : Pass.\r\nAccel2 Test  : Pass.\r\n"
    "Light Test   : Pass. (250)\r\nColor Test   : Pass. (120,200,90)\r\n";
// The self tests' requests in the steps: each motion sensor's test (busy for
// one poll on the healthy hub) and, but for the gyrometer, its data check.
// The light and colour tests' value requests follow.
const std::string kDefaultSelfTestSteps = "X3 S X3 X3 S X3 acc2 S S";
// The one-shot calibrations of both accelerometers, each checked by a value read.
const std::string kDefaultCalibrations =
    "Accelerometer Calibration    : Pass (0.00, 0.00, 1.00)\r\n2ndAccelerometer Calibration : Pass (0.00, 0.00, 1.00)\r\n";
const std::string kDefaultCalibrationSteps = "X4 S X4 acc2";
const std::string kGyroFailLines = kStatus6 + "Error Sensor ID: 0x02\r\n";
// The angle check before calibration on the healthy machine (2 degrees).
const std::string kTabletMode2 = "The machine is tablet-mode.\r\n(Angle=2)\r\n\r\n";

}  // namespace

// ---------------------------------------------------------------------------

// The save step of a default run on the healthy hub: the report from the RAM
// copy, the angle re-check, the verified save, the closing line and the time.
std::string HealthySave(int totalSeconds)
{
    return "Accel Biases : 0.011719,-0.007812,0.019531\r\n"
           "Gyro  Biases : 0.895240,-0.223810,0.447620\r\n"
           "Comp  Biases : 0.468750,-0.312500,0.156250\r\n"
           "Accel2 Biases: -0.015625,0.023438,-0.011719\r\n"
           "Light Transmittance=80.00%\r\n"
           "\r\n(New Angle=2)\r\n"
           "--== Save The Result To Flash ==--\r\n"
           "(Total Time: " +
           std::to_string(totalSeconds) + " s)\r\n";
}
// Report: both copies, the two flag bytes; the angle; the verified save:
// snapshot, request, both copies, the flag bytes.
const std::string kHealthySaveSteps =
    "R001000-0013fc R082000-0823fc R00100b W08200b R00103b W08203b acc2 "
    "R082000-0823fc X2 R001000-0013fc R082000-0823fc R00100b W08200b R00103b W08203b";

TEST(HubSequence, DefaultRunOnTheHealthyHubPasses)
{
    Check({"healthy.hub",
           "",
           {},
           kFound + "Fusion: 9D.\r\n" + kStatus6 + kTabletMode2 + kDefaultTests + kDefaultCalibrations + HealthySave(12) + kPass,
           0,
           "mode query " + kHeadClear + " inventory status acc2 " + kDefaultSelfTestSteps + " " + kDefaultCalibrationSteps +
               " " + kHealthySaveSteps + " mode"});
}

TEST(HubSequence, ClosedConsoleNeverEndsTheRun)
{
    // The console's reader is gone from the first line on (a pipe into a
    // program that quit): the run goes on to its end, on the hub and in the log.
    const ToolRun run = RunTool("", {}, true);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.log, kLogBanner + kFound + "Fusion: 9D.\r\n" + kStatus6 + kTabletMode2 + kDefaultTests + kDefaultCalibrations + HealthySave(12) + kPass);
    ExpectModeOffAndUnlocked(run, "closed console");
}

TEST(HubSequence, ParameterAreaQueryNotConfirmed)
{
    const std::string body = kFound + "Get Address of eFlash&Buffer Fail!\r\n" + kFail;
    // No other step runs and nothing is cleared: the addresses were never confirmed.
    const Scenario cases[] = {
        {"reply byte 2 not 0",
         MakeHub({{"param", "param-area eflash=0x001000 ram=0x082000 length=1024 confirm=no"}}),
         {},
         body,
         244,
         "mode query mode"},
        {"no reply", MakeHub({{"fault", "fault get-fail from=2 times=1"}}), {}, body, 244, "mode query mode"},
        {"wrong echo", MakeHub({{"fault", "fault wrong-echo from=2 times=1"}}), {}, body, 244, "mode query mode"},
        {"before any other option",
         MakeHub({{"fault", "fault get-fail from=2 times=1"}}),
         {"/PRECHECKACC2", "/FWVER", "/CHECKINITIALIZE", "/CS", "/ANGLE"},
         body,
         244,
         "mode query mode"},
    };
    for (const Scenario& s : cases) Check(s);
}

TEST(HubSequence, Acc2PrecheckClearsItsAreaAndNothingElse)
{
    const std::string hub = MakeHub({{"acc2", "sensor acc2 value=0.10,0.20,-1.20"}});
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
        {"no ACC2 reply reads zeros and passes",
         MakeHub({{"fault", "fault get-fail from=3 times=1"}}),
         {"/PRECHECKACC22"},
         kFound + "ACC2: 0.00, 0.00, 0.00\r\n" + kPass,
         0,
         "mode query acc2 mode"},
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
               MakeHub({{"acc2", std::string("sensor acc2 counts=") + c.counts}}),
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
        {"no gyrometer", {{"gyro", "sensor gyro present=no"}}, "Fusion: 6D.\r\n", 5},
        {"gyrometer slot ff", {{"gyro", "sensor gyro slot=ff status=none"}}, "Fusion: 6D.\r\n", 5},
        {"fusion variant", {{"variant", "fusion-variant yes"}}, "Fusion: 6D..\r\n", 6},
        {"no compass", {{"compass", "sensor compass present=no"}}, "", 5},
        {"no ACC1", {{"acc1", "sensor acc1 present=no"}}, "", 5},
        {"no ACC1, variant byte set", {{"acc1", "sensor acc1 present=no"}, {"variant", "fusion-variant yes"}}, "", 5},
        {"no compass, no gyrometer",
         {{"compass", "sensor compass present=no"}, {"gyro", "sensor gyro present=no"}},
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
        MakeHub({{"gyro", "sensor gyro counts=2,-2,1 status=fail"}, {"init", "mem 0x081200 02"}});
    // The init-status read fails: get-features 1 mode, 2 query, 3-15 the
    // presence and variant bytes, 16 the colour probe, 17 the status list,
    // 18 on the init status (all 101 attempts).
    const std::string gyroFailsReadFails =
        MakeHub({{"gyro", "sensor gyro counts=2,-2,1 status=fail"}, {"fault", "fault get-fail from=18 times=101"}});
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
         MakeHub({{"init", "mem 0x081200 02"}}),
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
    // A status list that cannot be fetched counts as passing: get-feature 17.
    cases.push_back(
        {"no status list",
         MakeHub({{"gyro", "sensor gyro counts=2,-2,1 status=fail"}, {"fault", "fault get-fail from=17 times=1"}}),
         {"/CS"},
         kFound + "Fusion: 9D.\r\nThe number of sensor is 0.\r\n" + kPass,
         0,
         "mode query " + kHeadClear + " inventory status mode"});
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
