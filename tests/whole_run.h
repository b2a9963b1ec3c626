// Whole runs of the stand-in executable on hub files, in a working
// directory and with a TMPDIR of their own, on virtual time: the machine
// (MakeHub), the run (RunTool), the requests grouped into steps (Steps) and a
// table case (Scenario, Check) that compares the console, the run log, the
// exit status and the steps with the expected ones.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "tests/process_util.h"

namespace wholerun {

using testutil::ReadFile;
using testutil::TempDir;
using testutil::WriteFile;

inline const std::string kHealthyHub = std::string(XOV_SOURCE_DIR) + "/sim/hubs/healthy.hub";
inline const std::string kConsoleBanner = "XOV Sensor Hub Calibration Tool v0.9.53_x64\r\n\r\n";
inline const std::string kLogBanner = "XOV Sensor Hub Calibration Tool v0.9.52_x64\r\n\r\n";
inline const std::string kFound = "Find 1 XOV SensorHub.\r\n";
inline const std::string kPass = "\r\nTotal Result: Pass\r\n";
inline const std::string kFail = "\r\nTotal Result: Fail\r\n";

// ---------------------------------------------------------------------------
// Hub files: the healthy machine with lines replaced or added.

using HubLines = std::vector<std::pair<std::string, std::string>>;

// A hub file (its path) with each change (start, line) in turn: the first
// line that begins with start is replaced by line (a start that no line
// begins with fails the test); an empty start adds line at the end, where it
// overrides what the lines before set. A line may hold several lines.
inline std::string MakeHubFrom(const std::string& path, const HubLines& changes)
{
    std::string text = "\n" + ReadFile(path);
    for (const auto& [start, line] : changes) {
        if (start.empty()) {
            text += line + "\n";
            continue;
        }
        const std::size_t at = text.find("\n" + start);
        if (at == std::string::npos) {
            ADD_FAILURE() << path << " has no line that begins with '" << start << "'";
            continue;
        }
        const std::size_t end = text.find('\n', at + 1);
        text.replace(at + 1, end - at - 1, line);
    }
    return text.substr(1);
}

// sim/hubs/healthy.hub with the changes, as MakeHubFrom makes them.
inline std::string MakeHub(const HubLines& changes)
{
    return MakeHubFrom(kHealthyHub, changes);
}

// ---------------------------------------------------------------------------
// The trace.

struct TraceLine {
    std::uint64_t t = 0;
    std::string event;  // the text after "t=<ms> "
};

inline bool IsSet(const TraceLine& line)
{
    return line.event.rfind("SET ", 0) == 0 && line.event.rfind("SET FAIL", 0) != 0;
}

inline std::array<std::uint8_t, 17> ReportOf(const TraceLine& line)
{
    std::array<std::uint8_t, 17> bytes{};
    const std::string hex = line.event.substr(line.event.rfind(' ') + 1);
    for (std::size_t i = 0; i < bytes.size() && 2 * i + 1 < hex.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
    return bytes;
}

inline std::uint32_t AddressOf(const std::array<std::uint8_t, 17>& r)
{
    return static_cast<std::uint32_t>(r[2] | (r[3] << 8) | (r[4] << 16));
}

inline bool IsVendorString(const std::array<std::uint8_t, 17>& r)
{
    static const char kText[] = "XOV Tech. Inc.";
    for (std::size_t i = 0; i < 15; ++i)
        if (r[1 + i] != static_cast<std::uint8_t>(kText[i])) return false;
    return r[16] == 0;
}

inline std::string Hex6(std::uint32_t address)
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

inline std::vector<Token> Tokens(const std::vector<TraceLine>& trace)
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

inline bool IsInventoryRead(const Token& t)
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
inline std::string Steps(const std::vector<TraceLine>& trace)
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

// What the run asked of the hub after the inventory and the status list:
// "S<id>" a sensor value, "C<id>:<phase>" a calibrate request
// (hexadecimal), "wait<ms>" a wait of a second or more. Memory, lock and
// mode requests are left out: Steps() follows them.
inline std::string AfterStatusList(const std::vector<TraceLine>& trace)
{
    std::string out;
    auto add = [&out](const std::string& item) { out += (out.empty() ? "" : " ") + item; };
    for (const TraceLine& line : trace) {
        if (IsSet(line)) {
            const auto r = ReportOf(line);
            // The status list, or the colour probe that ends the inventory.
            if (r[1] == 0x0B || (r[1] == 0x00 && r[2] == 0x0F)) {
                out.clear();
                continue;
            }
            char text[16];
            if (r[1] == 0x00) {
                std::snprintf(text, sizeof text, "S%x", r[2]);
                add(text);
            } else if (r[1] == 0x04) {
                std::snprintf(text, sizeof text, "C%x:%x", r[2], r[4]);
                add(text);
            }
        } else if (line.event.rfind("SLEEP ", 0) == 0) {
            const std::uint64_t ms = std::stoull(line.event.substr(6));
            if (ms >= 1000) add("wait" + std::to_string(ms));
        }
    }
    return out;
}

// The waits between two trace lines (exclusive).
inline std::vector<std::uint32_t> SleepsBetween(const std::vector<TraceLine>& trace, std::size_t from, std::size_t to)
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

inline ToolRun RunTool(const std::string& hubText, const std::vector<std::string>& options, bool closedConsole = false)
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

inline std::string Shown(const std::vector<std::string>& options)
{
    std::string shown;
    for (const std::string& o : options) shown += (shown.empty() ? "" : " ") + o;
    return shown.empty() ? "(no options)" : shown;
}

// Every way out of the sequence switches the custom-command mode off: the last
// request of the run is a vendor string, and its read-back shows the mode off.
// No run leaves the fusion task locked.
inline void ExpectModeOffAndUnlocked(const ToolRun& run, const std::string& what)
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

// Where blocks that other tests follow (the tests, the calibrations, the
// save step) may come in an expected text: the text before the mark must
// begin the actual one and the text after it must end it. In expected steps
// only what comes before the mark is compared, with the beginning of the
// actual steps.
inline const std::string kLaterBlocks = "<later blocks>";

inline void ExpectText(const std::string& actual, const std::string& expected, const std::string& what = "")
{
    const std::size_t at = expected.find(kLaterBlocks);
    if (at == std::string::npos) {
        EXPECT_EQ(actual, expected) << what;
        return;
    }
    const std::string before = expected.substr(0, at);
    const std::string after = expected.substr(at + kLaterBlocks.size());
    EXPECT_EQ(actual.substr(0, before.size()), before) << what;
    ASSERT_GE(actual.size(), before.size() + after.size()) << what << ": " << actual;
    EXPECT_EQ(actual.substr(actual.size() - after.size()), after) << what;
}

// How a case's steps group the requests: Steps() of the whole run, or
// AfterStatusList().
enum class Requests { Steps, AfterStatusList };

// A case of the table: the machine, the options and what the run must show.
struct Scenario {
    std::string name;
    std::string hub;  // hub file text; empty: sim/hubs/healthy.hub
    std::vector<std::string> options;
    std::string body;  // console and log after their banners (see kLaterBlocks)
    int exitStatus;
    std::string steps;  // the requests as grouped by `requests`; empty: not compared
    Requests requests = Requests::Steps;
    std::string logBody{};  // the log after its banner where it differs from the console; empty: body
};

inline void Check(const Scenario& s)
{
    const std::string what = s.name + " [" + Shown(s.options) + "]";
    const ToolRun run = RunTool(s.hub, s.options);
    EXPECT_EQ(run.exitStatus, s.exitStatus) << what;
    ExpectText(run.console, kConsoleBanner + s.body, what);
    ExpectText(run.log, kLogBanner + (s.logBody.empty() ? s.body : s.logBody), what);
    if (!s.steps.empty()) {
        const std::string steps = s.requests == Requests::Steps ? run.steps : AfterStatusList(run.trace);
        const std::size_t at = s.steps.find(kLaterBlocks);
        if (at == std::string::npos)
            EXPECT_EQ(steps, s.steps) << what;
        else
            EXPECT_EQ(steps.substr(0, std::min(steps.size(), at)), s.steps.substr(0, at)) << what << ": " << steps;
    }
    ExpectModeOffAndUnlocked(run, what);
}

// The fourteen options that select tests or calibrations.
inline const std::vector<std::string> kModeOptions = {
    "/ACC1-TEST", "/GYRO-TEST", "/COMP-TEST", "/ACC2-TEST",  "/LIGHT-TEST",   "/COLOR-TEST", "/PSENSOR-TEST",
    "/ACC1-CALI", "/COMP-CALI", "/ACC2-CALI", "/COLOR-CALI", "/PSENSOR-CALI", "/CUS2-CALI",  "/LIGHT-CALI",
};

inline std::vector<std::string> With(std::vector<std::string> options, const std::vector<std::string>& more)
{
    options.insert(options.end(), more.begin(), more.end());
    return options;
}

inline const std::string kHeadClear = "clear[082000-082001]";
inline const std::string kFinalClear = "clear0[082000-082001]";
inline const std::string kStatus6 = "The number of sensor is 6.\r\n";

// The lines of the default run's tests and one-shot calibrations on the
// healthy machine: every test and both one-shot calibrations pass.
inline const std::string kDefaultTests =
    "Accel Test   : Pass.\r\nGyro  Test   : Pass.\r\nCompass Test : Pass.\r\nAccel2 Test  : Pass.\r\n"
    "Light Test   : Pass. (250)\r\nColor Test   : Pass. (120,200,90)\r\n";
// The self tests' requests in the steps: each motion sensor's test (busy for
// one poll on the healthy hub) and, but for the gyrometer, its data check.
// The light and colour tests' value requests follow.
inline const std::string kDefaultSelfTestSteps = "X3 S X3 X3 S X3 acc2 S S";
// The one-shot calibrations of both accelerometers, each checked by a value read.
inline const std::string kDefaultCalibrations =
    "Accelerometer Calibration    : Pass (0.00, 0.00, 1.00)\r\n2ndAccelerometer Calibration : Pass (0.00, 0.00, "
    "1.00)\r\n";
inline const std::string kDefaultCalibrationSteps = "X4 S X4 acc2";

// ---------------------------------------------------------------------------

// The save step of a default run on the healthy hub: the report from the RAM
// copy, the angle re-check, the verified save, the closing line and the time.
inline std::string HealthySave(int totalSeconds)
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
inline const std::string kHealthySaveSteps =
    "R001000-0013fc R082000-0823fc R00100b W08200b R00103b W08203b acc2 "
    "R082000-0823fc X2 R001000-0013fc R082000-0823fc R00100b W08200b R00103b W08203b";

}  // namespace wholerun
