// The fault matrix: default runs of the hub sequence on the stand-in, one
// hub fault at a time at every transfer of a machine's fault-free run, on the
// healthy machine and on machines that fail without any fault. A fault must
// never turn a failing machine into a pass, a healthy hub that goes silent
// (or whose fetches all fail) before its save is read back must never pass,
// and whatever the fault, the tool sends only known requests, writes only into
// the RAM copy of the parameter block and ends with a total result line that
// matches its result. On the dead-hub machines, a hub that stops answering at
// any transfer of the run (every fetch failing from there on, or every
// transfer) must let the run end within a minute of virtual time.
//
// A run is what RunTool does for a run without options, in process and on
// virtual time: the process state reset, the hub file loaded (the machine's
// text and one fault line), discovery, the hub sequence; the console and the
// run log go to memory, and there is no single-instance guard.
//
// XOV_FAULT_MATRIX_LIST=FILE writes every finding to FILE, one line each.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "app/hub_sequence.h"
#include "app/run_frame.h"
#include "common/clock.h"
#include "common/output.h"
#include "common/state.h"
#include "hub/discovery.h"
#include "hub/transport.h"
#include "procedures/save_flash.h"
#include "sim/hub_file.h"
#include "sim/sim_hub.h"
#include "sim/sim_port.h"
#include "sim/trace.h"
#include "sim/virtual_clock.h"
#include "sim_fixture.h"

namespace {

const std::string kPass = "\r\nTotal Result: Pass\r\n";
const std::string kFail = "\r\nTotal Result: Fail\r\n";

// --- the machines -----------------------------------------------------------

struct Machine {
    std::string name;
    std::string file;  // of sim/hubs
    // Lines of the file replaced (old line, new line); an empty old line
    // appends the new one.
    std::vector<std::pair<std::string, std::string>> changes;
    bool fails;
    bool deadHub = false;  // also runs with the hub dead from every transfer on
};

const std::vector<Machine>& Machines()
{
    static const std::vector<Machine> machines = {
        {"healthy", "healthy.hub", {}, false, true},
        {"gyro self test fails",
         "healthy.hub",
         {{"self-test gyro busy=1", "self-test gyro busy=0 status=0x10"}},
         true,
         true},
        {"ACC1 calibration does not converge", "acc1-no-converge.hub", {}, true, true},
        {"ACC1 bias beyond its limit",
         "healthy.hub",
         {{"param both acc1-bias 3 -2 5", "param both acc1-bias 60 -2 5"}},
         true},
        {"ACC2 bias beyond its limit",
         "healthy.hub",
         {{"param both acc2-bias -4 6 -3", "param both acc2-bias 100 100 100"}},
         true},
        {"angle after calibration out of range", "healthy.hub", {{"", "save recheck-angle=180"}}, true},
        {"gyro failing in the status list",
         "healthy.hub",
         {{"sensor gyro value=0.44762,-0.44762,0.22381", "sensor gyro value=0.44762,-0.44762,0.22381 status=fail"}},
         true},
        {"light test fails", "healthy.hub", {{"sensor light lux=250", "sensor light lux=0"}}, true},
        {"colour test fails",
         "healthy.hub",
         {{"colour-sensor gains=apply", "colour-sensor gains=apply zero-fetches=0,100,0"}},
         true},
        {"compass test without data",
         "healthy.hub",
         {{"sensor compass value=20.5,-4.25,-38 accuracy=3", "sensor compass counts=-1,-1,-1 accuracy=3"}},
         true},
        {"ACC2 calibration ends with an error",
         "healthy.hub",
         {{"calibrate acc2 busy=1", "calibrate acc2 busy=1 status=05"}},
         true},
        {"first save leaves the eFlash copy stale",
         "healthy.hub",
         {{"param-area eflash=0x001000 ram=0x082000 length=1024", "param-area eflash=0x001000 ram=0x082000 length=80"},
          {"", "save stale=1"}},
         false},
    };
    return machines;
}

std::string MachineText(const Machine& machine)
{
    std::ifstream in(std::string(XOV_SOURCE_DIR) + "/sim/hubs/" + machine.file, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    std::string text = buffer.str();
    if (text.empty()) ADD_FAILURE() << machine.file << " cannot be read";
    for (const auto& [old, line] : machine.changes) {
        if (old.empty()) {
            text += line + "\n";
            continue;
        }
        const std::size_t at = text.find(old + "\n");
        if (at == std::string::npos) {
            ADD_FAILURE() << machine.name << ": no line '" << old << "' in " << machine.file;
            continue;
        }
        text.replace(at, old.size(), line);
    }
    return text;
}

// --- one run ----------------------------------------------------------------

struct Transfer {
    bool set = false;
    bool ok = false;
    HidReport report{};  // the request (set) or the reply (get)
};

struct RunResult {
    std::int32_t result = 0;
    std::string log;
    std::vector<Transfer> transfers;    // in order, as the port handed them on
    std::uint32_t paramEFlashAddr = 0;  // the parameter area the hub would report
    std::uint32_t paramBufferAddr = 0;
    std::uint32_t paramLength = 0;
    std::uint64_t virtualMs = 0;  // from the start of the run to the end of the hub sequence
};

// The 34 hex digits at the end of a trace line.
HidReport ReportAtEnd(const std::string& line)
{
    HidReport r{};
    if (line.size() < 2 * r.size()) return r;
    const char* hex = line.c_str() + line.size() - 2 * r.size();
    auto digit = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
    for (std::size_t i = 0; i < r.size(); ++i)
        r[i] = static_cast<std::uint8_t>(digit(hex[2 * i]) * 16 + digit(hex[2 * i + 1]));
    return r;
}

// The transfers of the trace (opens, closes, waits and refused fetches left
// out: a refused fetch never reaches the hub and is not counted by its faults).
std::vector<Transfer> TransfersOfTrace()
{
    std::vector<Transfer> transfers;
    transfers.reserve(sim::TraceLines().size());
    for (const std::string& line : sim::TraceLines()) {
        const std::size_t space = line.find(' ');
        if (space == std::string::npos) continue;
        const char* event = line.c_str() + space + 1;
        Transfer t;
        if (std::strncmp(event, "SET ", 4) == 0) {
            t.set = true;
            t.ok = std::strncmp(event, "SET FAIL ", 9) != 0;
            t.report = ReportAtEnd(line);
        } else if (std::strncmp(event, "GET FAIL", 8) == 0) {
            if (std::strncmp(event, "GET FAIL id=", 12) == 0) continue;
        } else if (std::strncmp(event, "GET ", 4) == 0) {
            t.ok = true;
            t.report = ReportAtEnd(line);
        } else {
            continue;
        }
        transfers.push_back(t);
    }
    return transfers;
}

// A whole default run of the tool on the hub text.
RunResult RunOnce(const std::string& hubText)
{
    simtest::ResetSimulation();
    RunResult run;
    std::shared_ptr<sim::SimHub> hub;
    std::string error;
    if (!sim::LoadHubText(hubText, "matrix.hub", sim::Port(), error, &hub)) {
        ADD_FAILURE() << error;
        return run;
    }
    run.paramEFlashAddr = hub->paramEFlashAddr;
    run.paramBufferAddr = hub->paramBufferAddr;
    run.paramLength = hub->paramLength;

    char* log = nullptr;
    std::size_t logSize = 0;
    output = open_memstream(&log, &logSize);
    static std::FILE* const console = std::fopen("/dev/null", "w");
    ConsoleStream = console;

    // RunTool without options, past its guard and its log file.
    static char program[] = "tool";
    static char* argv[] = {program, nullptr};
    gArgc = 1;
    gArgv = argv;
    ResultFlag = ResultPass;
    gStartTick = TickCountMs();
    MainTargetPID = 0;
    HIDCMDDelayMS = 0;
    ConnectHIDDevice(kHubUsagePage, kHubUsage);
    if (SensorCunt == 0) {
        ADD_FAILURE() << "no hub found";
    } else {
        RunReportMask = ReportMaskAll;
        HubSequence(0);
    }

    std::fclose(output);
    output = nullptr;
    ConsoleStream = stdout;
    run.virtualMs = sim::VirtualNow();
    run.log.assign(log, logSize);
    std::free(log);
    run.result = ResultFlag;
    run.transfers = TransfersOfTrace();
    return run;
}

// --- what a transfer was ------------------------------------------------------

std::uint32_t AddressOf(const HidReport& r)
{
    return static_cast<std::uint32_t>(r[2] | (r[3] << 8) | (r[4] << 16));
}

bool IsModeReport(const HidReport& r)
{
    return std::equal(sim::kVendorText.begin(), sim::kVendorText.end(), r.begin() + 1) && r[16] == 0;
}

bool IsRegisterWrite(const HidReport& r)
{
    return !IsModeReport(r) && (r[1] == HidCmdWriteReg || r[1] == HidCmdWriteRegF0);
}

std::string Hex(unsigned value, int digits)
{
    char text[16];
    std::snprintf(text, sizeof text, "%0*x", digits, value);
    return text;
}

std::string SensorName(std::uint8_t id)
{
    static const std::map<std::uint8_t, std::string> names = {{SensorIdAcc1, "acc1"},
                                                              {SensorIdGyro, "gyro"},
                                                              {SensorIdCompass, "compass"},
                                                              {SensorIdAmbientLight, "light"},
                                                              {SensorIdCompassAccuracy, "compass-accuracy"},
                                                              {SensorIdAcc2, "acc2"},
                                                              {SensorIdPSensor, "psensor"},
                                                              {SensorIdColorValue, "colour"},
                                                              {SensorIdColor, "colour-probe"},
                                                              {SensorIdPSensorThreshold, "psensor-threshold"},
                                                              {SensorIdCustom2, "custom2"}};
    auto it = names.find(id);
    return it != names.end() ? it->second : "id " + Hex(id, 2);
}

// A short name of a request, e.g. "read 0x081243 n=4" or "self-test gyro".
std::string RequestName(const HidReport& r)
{
    if (IsModeReport(r)) return "mode report";
    switch (r[1]) {
        case HidCmdGetSensorValue:
            return "value " + SensorName(r[2]);
        case HidCmdSetSensorGain:
            return "gain " + SensorName(r[2]);
        case HidCmdParameterBlock:
            return r[2] == ParameterBlockGetAddr       ? "area query"
                   : r[2] == ParameterBlockSaveToFlash ? "save"
                                                       : "param " + Hex(r[2], 2);
        case HidCmdSelfTest:
            return "self-test " + SensorName(r[2]);
        case HidCmdCalibrate:
            return "calibrate " + SensorName(r[2]);
        case HidCmdReadReg:
        case HidCmdReadRegF0:
            return std::string(r[1] == HidCmdReadReg ? "read" : "readF0") + " 0x" + Hex(AddressOf(r), 6) +
                   " n=" + std::to_string(r[5]);
        case HidCmdWriteReg:
        case HidCmdWriteRegF0:
            return std::string(r[1] == HidCmdWriteReg ? "write" : "writeF0") + " 0x" + Hex(AddressOf(r), 6) + "=" +
                   Hex(r[6], 2);
        case HidCmdGetSensorStatus:
            return "status list";
        case HidCmdFusionTaskLock:
            return "fusion lock";
        case HidCmdFusionTaskUnlock:
            return "fusion unlock";
        default:
            return "command " + Hex(r[1], 2);
    }
}

// Where the faults of a fault-free run would hit: per fault counter, the
// request each transfer belongs to.
struct Layout {
    std::vector<std::string> setRequest;       // set-feature n (1-based at n-1)
    std::vector<std::string> getRequest;       // get-feature n: the request it fetches the reply of
    std::vector<std::string> transferRequest;  // transfer n, sets and gets together
    int readBackEnd = 0;                       // transfer number of the save read-back's last reply
    int readBackEndGet = 0;                    // get-feature number of that reply
};

Layout LayoutOf(const RunResult& run)
{
    Layout layout;
    std::string last = "(nothing asked)";
    for (const Transfer& t : run.transfers) {
        if (t.set) {
            last = RequestName(t.report);
            layout.setRequest.push_back(last);
            layout.transferRequest.push_back(last);
        } else {
            layout.getRequest.push_back("reply to " + last);
            layout.transferRequest.push_back("reply to " + last);
        }
    }
    // The save request, its reply, then the reads of the two copies from
    // their starts in chunks; the read-back ends with the last reply of them.
    const std::vector<Transfer>& ts = run.transfers;
    std::size_t i = 0;
    while (i < ts.size() && !(ts[i].set && ts[i].report[1] == HidCmdParameterBlock &&
                              ts[i].report[2] == ParameterBlockSaveToFlash && !IsModeReport(ts[i].report)))
        ++i;
    std::uint32_t next = 0xFFFFFFFF;
    for (; i < ts.size(); ++i) {
        if (!ts[i].set) {
            if (next != 0xFFFFFFFF) layout.readBackEnd = static_cast<int>(i + 1);
            continue;
        }
        const HidReport& r = ts[i].report;
        if (r[1] == HidCmdParameterBlock) continue;
        if (r[1] != HidCmdReadReg || IsModeReport(r)) break;
        const std::uint32_t address = AddressOf(r);
        if (address != next && address != run.paramEFlashAddr && address != run.paramBufferAddr) break;
        next = address + r[5];
    }
    layout.readBackEndGet = static_cast<int>(
        std::count_if(ts.begin(), ts.begin() + layout.readBackEnd, [](const Transfer& t) { return !t.set; }));
    return layout;
}

// --- the findings --------------------------------------------------------------

struct Findings {
    std::string what;
    std::vector<std::string> cases;
};

constexpr std::size_t kShown = 30;

std::string Shown(const Findings& f)
{
    std::string text = f.what + ": " + std::to_string(f.cases.size()) + " run(s)\n";
    for (std::size_t i = 0; i < f.cases.size() && i < kShown; ++i) text += "  " + f.cases[i] + "\n";
    if (f.cases.size() > kShown) text += "  ... and " + std::to_string(f.cases.size() - kShown) + " more\n";
    return text;
}

struct Fault {
    std::string line;                // the hub-file line
    std::string where;               // the request its transfer belongs to in the fault-free run
    bool beforeReadBackEnd = false;  // the hub is dead before the save is read back: no pass
    bool deadHub = false;            // the hub answers nothing from the fault on
};

std::vector<Fault> FaultsOf(const Machine& machine, const Layout& layout)
{
    constexpr int kPast = 3;  // indices past the end of the fault-free run
    std::vector<Fault> faults;
    auto at = [](const std::vector<std::string>& names, int n) {
        return n <= static_cast<int>(names.size()) ? names[static_cast<std::size_t>(n - 1)]
                                                   : std::string("past the end");
    };
    const int gets = static_cast<int>(layout.getRequest.size());
    const int sets = static_cast<int>(layout.setRequest.size());
    for (const char* kind : {"get-fail", "wrong-echo", "reply-command"})
        for (int n = 1; n <= gets + kPast; ++n)
            faults.push_back({std::string("fault ") + kind + " from=" + std::to_string(n) + " times=1",
                              "get " + std::to_string(n) + ", " + at(layout.getRequest, n)});
    // The echo of a register read's address and count.
    for (int n = 1; n <= gets; ++n) {
        const std::string& name = layout.getRequest[static_cast<std::size_t>(n - 1)];
        if (name.rfind("reply to read", 0) != 0) continue;
        for (int byte = 3; byte <= 5; ++byte)
            faults.push_back(
                {"fault wrong-echo byte=" + std::to_string(byte) + " from=" + std::to_string(n) + " times=1",
                 "get " + std::to_string(n) + ", " + name});
    }
    for (int n = 1; n <= sets + kPast; ++n)
        faults.push_back({"fault set-fail from=" + std::to_string(n) + " times=1",
                          "set " + std::to_string(n) + ", " + at(layout.setRequest, n)});
    // The hub stops answering at every transfer of the run: its fetches all
    // fail from the K-th on while its requests still arrive, or it goes
    // silent altogether.
    if (machine.deadHub) {
        for (int k = 1; k <= gets; ++k)
            faults.push_back({"fault get-fail from=" + std::to_string(k),
                              "get " + std::to_string(k) + ", " + at(layout.getRequest, k),
                              !machine.fails && k <= layout.readBackEndGet, true});
        const int transfers = static_cast<int>(layout.transferRequest.size());
        for (int k = 1; k <= transfers; ++k)
            faults.push_back({"fault silent from=" + std::to_string(k),
                              "transfer " + std::to_string(k) + ", " + at(layout.transferRequest, k),
                              !machine.fails && k <= layout.readBackEnd, true});
    }
    return faults;
}

// A hub that stops answering ends the run within a minute of virtual time.
constexpr std::uint64_t kDeadHubBoundMs = 60000;

std::string Seconds(std::uint64_t ms)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", static_cast<double>(ms) / 1000.0);
    return text;
}

bool EndsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string LastLine(const std::string& log)
{
    std::string text = log;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    const std::size_t nl = text.rfind('\n');
    return nl == std::string::npos ? text : text.substr(nl + 1);
}

TEST(FaultMatrix, NoFaultTurnsIntoAPassOrAStrayRequest)
{
    Findings falsePass{"a. a failing machine ends in Pass", {}};
    Findings silentPass{"b. the healthy hub stops answering before its save is read back and the run passes", {}};
    Findings unknownRequest{"c. a request with a command outside the table", {}};
    Findings strayWrite{"d. a register write outside the RAM copy of the parameter block", {}};
    Findings badEnd{"e. the log does not end with the total result that ResultFlag gives", {}};
    Findings slowEnd{"f. the hub stops answering and the run takes more than 60 s of virtual time", {}};

    std::string figures = "fault matrix:\n";
    int totalRuns = 0;
    const auto start = std::chrono::steady_clock::now();

    for (const Machine& machine : Machines()) {
        SCOPED_TRACE(machine.name);
        const std::string text = MachineText(machine);

        // Without a fault: the machine passes or fails as it should, and the
        // figures of its run place the faults.
        const RunResult clean = RunOnce(text);
        if (machine.fails) {
            EXPECT_NE(clean.result, 0) << machine.name;
            EXPECT_TRUE(EndsWith(clean.log, kFail)) << machine.name << "\n" << clean.log;
        } else {
            EXPECT_EQ(clean.result, 0) << clean.log;
            EXPECT_TRUE(EndsWith(clean.log, kPass)) << clean.log;
        }
        const Layout layout = LayoutOf(clean);
        if (!machine.fails) {
            EXPECT_GT(layout.readBackEnd, 0) << "no save read-back in the healthy run";
        }

        std::map<std::string, int> runsOfKind;
        std::map<std::string, std::uint64_t> longestOfKind;  // ms, the dead-hub columns
        int falsePasses = 0;
        for (const Fault& fault : FaultsOf(machine, layout)) {
            const RunResult run = RunOnce(text + fault.line + "\n");
            const std::string label = machine.name + " | " + fault.line + " | " + fault.where;
            const std::string kind = fault.line.substr(6, fault.line.find(' ', 6) - 6) +
                                     (fault.line.find("byte=") != std::string::npos ? " byte" : "") +
                                     (fault.deadHub ? " from" : "");
            ++runsOfKind[kind];
            if (fault.deadHub) {
                longestOfKind[kind] = std::max(longestOfKind[kind], run.virtualMs);
                if (run.virtualMs > kDeadHubBoundMs)
                    slowEnd.cases.push_back(label + " -> " + std::to_string(run.virtualMs) + " ms");
            }
            const bool passed = EndsWith(run.log, kPass);
            const bool failed = EndsWith(run.log, kFail);

            if (machine.fails && (run.result == 0 || passed)) {
                falsePass.cases.push_back(label + " -> ResultFlag " + std::to_string(run.result));
                ++falsePasses;
            }
            if (fault.beforeReadBackEnd && (run.result == 0 || passed)) {
                silentPass.cases.push_back(label + " -> ResultFlag " + std::to_string(run.result));
                ++falsePasses;
            }
            if (!(passed || failed) || (run.result == 0) != passed)
                badEnd.cases.push_back(label + " -> ResultFlag " + std::to_string(run.result) + ", last line '" +
                                       LastLine(run.log) + "'");

            // One finding per run: the first such request and how many there were.
            const std::uint32_t ramEnd = run.paramBufferAddr + run.paramLength;
            std::string firstUnknown, firstStray;
            int unknowns = 0, strays = 0;
            for (const Transfer& t : run.transfers) {
                if (!t.set) continue;
                const HidReport& r = t.report;
                if (!IsModeReport(r) && (r[0] != HidReportId || !testutil::IsKnownCommand(r[1])) && unknowns++ == 0)
                    firstUnknown = sim::HexBytes(r.data(), r.size());
                if (IsRegisterWrite(r) && (AddressOf(r) < run.paramBufferAddr || AddressOf(r) >= ramEnd) &&
                    strays++ == 0)
                    firstStray = RequestName(r) + (t.ok ? "" : " (failed)");
            }
            if (unknowns > 0)
                unknownRequest.cases.push_back(label + " -> " + firstUnknown + " (" + std::to_string(unknowns) +
                                               " such)");
            if (strays > 0)
                strayWrite.cases.push_back(label + " -> " + firstStray + " (" + std::to_string(strays) + " such)");
        }

        int runs = 1;
        std::string kinds;
        for (const auto& [kind, count] : runsOfKind) {
            runs += count;
            kinds += " " + kind + " " + std::to_string(count) + ",";
        }
        if (!kinds.empty()) kinds.pop_back();
        std::string longest;
        for (const auto& [kind, ms] : longestOfKind)
            longest += "; " + kind + " 1.." + std::to_string(runsOfKind[kind]) + " longest " + Seconds(ms) + " s";
        totalRuns += runs;
        figures += "  " + machine.name + ": G=" + std::to_string(layout.getRequest.size()) +
                   " S=" + std::to_string(layout.setRequest.size()) + " (fault-free " + Seconds(clean.virtualMs) +
                   " s)" +
                   (machine.fails ? ""
                                  : ", read back by get " + std::to_string(layout.readBackEndGet) + ", transfer " +
                                        std::to_string(layout.readBackEnd)) +
                   "; " + std::to_string(runs) + " runs (fault-free 1," + kinds + ")" + longest + "; false passes " +
                   std::to_string(falsePasses) + "\n";

        // The runs leave nothing behind: the fault-free run again gives the
        // same transfers.
        const RunResult again = RunOnce(text);
        EXPECT_EQ(again.transfers.size(), clean.transfers.size()) << machine.name;
        EXPECT_EQ(again.log, clean.log) << machine.name;
    }
    simtest::ResetSimulation();

    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    figures += "  total: " + std::to_string(totalRuns) + " runs in " + std::to_string(seconds) + " s; false passes " +
               std::to_string(falsePass.cases.size() + silentPass.cases.size()) + "\n";
    std::printf("%s", figures.c_str());
    RecordProperty("runs", totalRuns);
    RecordProperty("false_passes", static_cast<int>(falsePass.cases.size() + silentPass.cases.size()));

    if (const char* path = std::getenv("XOV_FAULT_MATRIX_LIST")) {
        std::ofstream list(path);
        for (const Findings* f : {&falsePass, &silentPass, &unknownRequest, &strayWrite, &badEnd, &slowEnd})
            for (const std::string& c : f->cases) list << f->what.substr(0, 1) << " | " << c << "\n";
    }
    for (const Findings* f : {&falsePass, &silentPass, &unknownRequest, &strayWrite, &badEnd, &slowEnd})
        EXPECT_TRUE(f->cases.empty()) << Shown(*f);
}

}  // namespace
