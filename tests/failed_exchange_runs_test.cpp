// Whole runs of the stand-in on machines with one failed exchange each: a
// request that fails, a reply that is lost or answers another request, an
// area read that stops short. None of them may end in a pass that the hub
// did not give, and nothing is saved on data the hub did not send. Each row
// names the machine (healthy.hub with the lines shown), the fault and the
// outcome.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/test_support.h"
#include "tests/whole_run.h"

namespace {

using namespace wholerun;

const std::string kHubDir = std::string(XOV_SOURCE_DIR) + "/sim/hubs/";
const std::string kSaved = "--== Save The Result To Flash ==--\r\n";
const std::string kNotSaved = "--== No Data Save To Flash ==--\r\n";

// A machine from a hub file of sim/hubs with lines replaced or added.
std::string FromHubFile(const std::string& name, const HubLines& changes)
{
    return MakeHubFrom(kHubDir + name, changes);
}

// Where a row's fault shows in the trace: the number-th set-feature or
// get-feature of the run (counted from 1 per kind, as the fault lines of a
// hub file count them) has an event that begins with `event`. For rows whose
// outcome the same machine without the fault would show as well: there the
// outcome alone does not tell whether the fault hit the transfer it names.
enum class Transfer { None, Set, Get };
struct FaultAt {
    Transfer kind = Transfer::None;
    int number = 0;
    std::string event;
};

// The event of the number-th transfer of the kind; empty when the run has
// fewer. A get-feature refused for its report ID never reached the hub.
std::string TransferEvent(const ToolRun& run, Transfer kind, int number)
{
    const std::string prefix = kind == Transfer::Set ? "SET " : "GET";
    int seen = 0;
    for (const TraceLine& line : run.trace) {
        if (line.event.rfind(prefix, 0) != 0 || line.event.rfind("GET FAIL id=", 0) == 0) continue;
        if (++seen == number) return line.event;
    }
    return {};
}

void ExpectFaultLanded(const ToolRun& run, const FaultAt& at, const std::string& what)
{
    if (at.kind == Transfer::None) return;
    const std::string event = TransferEvent(run, at.kind, at.number);
    EXPECT_EQ(event.substr(0, at.event.size()), at.event)
        << what << ": " << (at.kind == Transfer::Set ? "set-feature " : "get-feature ") << at.number
        << (event.empty() ? " is not in the run" : " is '" + event + "'");
}

struct FaultRun {
    std::string name;
    std::string hub;
    std::vector<std::string> options;
    int exitStatus;
    std::vector<std::string> lines;  // shown on the console and in the log, in this order
    FaultAt landed{};                // where the fault must show; Transfer::None: not checked
    bool saved = false;              // the block went to flash
    std::uint32_t ramLength = 1024;  // of the RAM copy at 0x082000, the only memory written
    bool hubAnswersAtTheEnd = true;  // the mode switch at the end reaches the hub
};

// Every request the tool tried to send, failed ones too.
std::vector<std::array<std::uint8_t, 17>> Requests(const ToolRun& run)
{
    std::vector<std::array<std::uint8_t, 17>> requests;
    for (const TraceLine& line : run.trace)
        if (line.event.rfind("SET ", 0) == 0) requests.push_back(ReportOf(line));
    return requests;
}

void ExpectInOrder(const std::string& text, const std::vector<std::string>& lines, const std::string& what)
{
    std::size_t at = 0;
    for (const std::string& line : lines) {
        const std::size_t found = text.find(line, at);
        EXPECT_NE(found, std::string::npos) << what << ": no '" << line << "' after offset " << at << " in\n" << text;
        if (found != std::string::npos) at = found + line.size();
    }
}

void Check(const FaultRun& c)
{
    const std::string what = c.name + " [" + Shown(c.options) + "]";
    const ToolRun run = RunTool(c.hub, c.options);
    EXPECT_EQ(run.exitStatus, c.exitStatus) << what;
    ExpectFaultLanded(run, c.landed, what);
    ExpectInOrder(run.console, c.lines, what + " (console)");
    ExpectInOrder(run.log, c.lines, what + " (log)");

    // The total result says what the exit status says, and ends the log.
    const std::string& total = c.exitStatus == 0 ? kPass : kFail;
    ASSERT_GE(run.log.size(), total.size()) << what;
    EXPECT_EQ(run.log.substr(run.log.size() - total.size()), total) << what;
    EXPECT_EQ(run.console.find(kSaved) != std::string::npos, c.saved) << what;

    bool saveRequested = false;
    for (const auto& r : Requests(run)) {
        if (IsVendorString(r)) continue;
        EXPECT_TRUE(testutil::IsKnownCommand(r[1])) << what << ": command " << int{r[1]};
        if (r[1] == 0x06 || r[1] == 0x08) {
            EXPECT_GE(AddressOf(r), 0x082000u) << what << ": write at " << Hex6(AddressOf(r));
            EXPECT_LT(AddressOf(r), 0x082000u + c.ramLength) << what << ": write at " << Hex6(AddressOf(r));
        }
        if (r[1] == 0x02 && r[2] == 0x01) {
            saveRequested = true;
            // Bytes 3 to 10: nothing yet, or the learnt area.
            const auto area = [&r](std::size_t at) {
                return static_cast<std::uint32_t>(r[at] | (r[at + 1] << 8) | (r[at + 2] << 16));
            };
            const std::uint32_t eflash = area(3);
            const std::uint32_t ram = area(6);
            EXPECT_TRUE((eflash == 0 && ram == 0) || (eflash == 0x001000 && ram == 0x082000))
                << what << ": a save request for " << Hex6(eflash) << " " << Hex6(ram);
        }
    }
    if (c.saved) {
        EXPECT_TRUE(saveRequested) << what;
    }
    if (c.hubAnswersAtTheEnd) ExpectModeOffAndUnlocked(run, what);
}

const std::string kGyroFailsItsSelfTest = "Gyro  Test   : Fail - 0x10.\r\n";
const std::string kAcc1NeverConverges = "Accelerometer Calibration    : Fail (0) (0.20, 0.00, 1.00)\r\n";

}  // namespace

TEST(FailedExchangeRuns, NoFailedExchangeEndsInAPassItDidNotEarn)
{
    const FaultRun cases[] = {
        // A self-test fetch that fails is no verdict: the hub's failure word decides.
        {"self test: lost fetch",
         MakeHub({{"self-test gyro ", "self-test gyro busy=0 status=0x10"}, {"", "fault get-fail from=22 times=1"}}),
         {},
         1,
         {kGyroFailsItsSelfTest, kFail},
         {Transfer::Get, 22, "GET FAIL"}},
        // A calibrate poll without an answer reads as no status: the next attempt's 5 counts.
        {"calibrate: lost poll",
         MakeHub({{"", "calibrate psensor status=05\nfault get-fail from=17 times=1"}}),
         {"/PSENSOR-CALI", "/DISTANCE1", "/MODE1"},
         1,
         {"PSENSOR Calibration          : Fail (5) \r\n", kNotSaved, kFail},
         {Transfer::Get, 17, "GET FAIL"}},
        // Polls that are never answered: no parameters of the hub's to show.
        {"calibrate: no answer at all",
         MakeHub({{"", "fault get-fail from=17"}}),
         {"/CUS2-CALI", "parameter", "1", "2", "3"},
         11,
         {"Custom Sensor 2 Calibration          : Fail - No reply\r\n", "Read Parameter Block Fail!\r\n", kNotSaved,
          kFail},
         {},
         false,
         1024,
         false},
        // A calibrate request that never went out is a failed attempt.
        {"calibrate: failed request",
         FromHubFile("acc1-no-converge.hub", {{"", "fault set-fail from=33 times=1"}}),
         {},
         10,
         {kAcc1NeverConverges, kFail},
         {Transfer::Set, 33, "SET FAIL 5a0401"}},
        // A status list that is lost, or is what the hub still held, is no list.
        {"status list: lost",
         MakeHub({{"sensor gyro ", "sensor gyro value=0.44762,-0.44762,0.22381 status=fail"},
                  {"", "fault get-fail from=17 times=1"}}),
         {},
         240,
         {"Get Sensor Status Fail!\r\nCheck Sensors Fail and Stop!\r\n", kFail}},
        {"status list: stale",
         MakeHub({{"", "fault set-fail from=22 times=1"}}),
         {},
         240,
         {"Get Sensor Status Fail!\r\nCheck Sensors Fail and Stop!\r\n", kFail}},
        // A colour probe that is lost is no absent colour sensor.
        {"inventory: lost colour probe",
         MakeHub({{"", "fault get-fail from=16 times=1"}}),
         {},
         240,
         {"Get Sensor List Fail!\r\n", kFail}},
        // An angle that was not read is no angle in range.
        {"angle re-check: lost reply",
         MakeHub({{"", "save recheck-angle=180\nfault get-fail from=247 times=1"}}),
         {},
         252,
         {"\r\n(New Angle=-1)\r\n", kNotSaved, kFail}},
        {"angle check: lost reply",
         FromHubFile("lying.hub", {{"", "fault get-fail from=18 times=1"}}),
         {},
         254,
         {kFound, kFail},
         {Transfer::Get, 18, "GET FAIL"}},
        // A memory read whose reply names another command is tried again with
        // the read command: no unknown command, no write.
        {"memory read: other command",
         MakeHub({{"", "fault reply-command from=39 times=1"}}),
         {},
         0,
         {kSaved, kPass},
         {Transfer::Get, 39, "GET 5a09"},
         true},
        {"memory read: other command in the report",
         MakeHub(
             {{"param both acc1-bias ", "param both acc1-bias 60 -2 5"}, {"", "fault reply-command from=142 times=1"}}),
         {},
         1,
         {"Accel Biases : 0.234375,-0.007812,0.019531\r\n", kNotSaved, kFail},
         {Transfer::Get, 142, "GET 5a09"}},
        {"memory read: a write command in the reply",
         MakeHub({{"param-area ", "param-area eflash=0x001000 ram=0x082000 length=1021"},
                  {"", "fault wrong-echo from=245 times=1\nfault reply-command value=0x06 from=245 times=1"}}),
         {"/NS"},
         0,
         {kNotSaved, kPass},
         {Transfer::Get, 245, "GET 5a06"},
         false,
         1021},
        // The report and the save need every byte they compare or show.
        {"report: hub dies",
         MakeHub({{"param both acc2-bias ", "param both acc2-bias 100 100 100"}, {"", "fault silent from=43"}}),
         {"/ACC2-CALI", "/NS"},
         1,
         {"Read Parameter Block Fail!\r\n", kNotSaved, kFail},
         {},
         false,
         1024,
         false},
        {"verified save: hub dies in the read-back",
         MakeHub({{"", "fault silent from=719"}}),
         {},
         1,
         {"Save Fail!\r\n", kNotSaved, kFail},
         {},
         false,
         1024,
         false},
        {"quick save: failed request",
         MakeHub({{"", "fault set-fail from=38 times=1"}}),
         {"/QS"},
         1,
         {"Save Fail!\r\n", kNotSaved, kFail}},
        {"verified save: reply for another area",
         MakeHub({{"", "save other=1 eflash=0x002000"}}),
         {"/ACC1-CALI"},
         0,
         {kSaved, kPass},
         {Transfer::Get, 332, "GET 5a0201002000"},
         true},
        {"report: a bias beyond the block",
         MakeHub({{"param-area ", "param-area eflash=0x001000 ram=0x082000 length=1100"},
                  {"param both ext ", "param both ext 1000"},
                  {"param both acc2-bias ", "param both acc2-bias 100 100 100"}}),
         {"/ACC2-CALI"},
         1,
         {"Accel2 Biases: not in the parameter block\r\n", kNotSaved, kFail},
         {},
         false,
         1100},
        // A colour calibration without data leaves no transmittances to report.
        {"colour calibration: no data",
         MakeHub({{"sensor colour ", "sensor colour rgb=450,400,350"},
                  {"colour-sensor ", "colour-sensor gains=ignore"},
                  {"", "fault get-fail from=39 times=20"}}),
         {"/COLOR-CALI", "/RVAL900", "/GVAL800", "/BVAL700", "/NS"},
         2,
         {"Color Calibration          : Fail - No data\r\n", kNotSaved, kFail}},
        // A multi-face selection under which no flow runs selects nothing:
        // the one-shot calibrations check their values.
        {"selection 8, no flow",
         FromHubFile("acc1-no-converge.hub", {}),
         {"/ACC1-CALI", "/ACC1-2P-CALI", "/ACC1-6P-CALI"},
         10,
         {kAcc1NeverConverges, kNotSaved, kFail}},
        {"selection 0x80, no flow",
         FromHubFile("acc1-no-converge.hub", {}),
         {"/ACC1-CALI", "/ACC2-2P-CALI", "/ACC2-6P-CALI"},
         10,
         {kAcc1NeverConverges, kNotSaved, kFail}},
        {"flow option without ACC2",
         FromHubFile("acc1-no-converge.hub", {{"sensor acc2 ", "sensor acc2 present=no"}}),
         {"/ACC1-CALI", "/ACC1-2P-CALI"},
         10,
         {kAcc1NeverConverges, kNotSaved, kFail}},
        // A mode switch whose request failed switched nothing: it is sent
        // again, at the start and at the end (the last request, set-feature 562).
        {"mode on: failed request",
         MakeHub({{"", "fault set-fail from=1 times=1"}}),
         {},
         0,
         {kSaved, kPass},
         {Transfer::Set, 1, "SET FAIL 5a584f56"},
         true},
        {"mode off: failed request",
         MakeHub({{"", "fault set-fail from=562 times=1"}}),
         {},
         0,
         {kSaved, kPass},
         {Transfer::Set, 562, "SET FAIL 5a584f56"},
         true},
        // Steps of the sequence that the hub did not carry out fail the run.
        {"head clear: failed lock",
         MakeHub({{"", "fault set-fail from=4 times=1"}}),
         {},
         1,
         {"Clear Buffer Fail!\r\n", kFail}},
        {"pre-check: failed clearing",
         MakeHub({{"", "fault set-fail from=3 times=1"}}),
         {"/PRECHECKACC2"},
         245,
         {"Clear Buffer Fail!\r\n", kFail}},
        {"pre-check: lost reading",
         MakeHub({{"", "fault get-fail from=3 times=1"}}),
         {"/PRECHECKACC22"},
         245,
         {"Get ACC2 Value Fail!\r\n", kFail}},
    };
    for (const FaultRun& c : cases) Check(c);

    // The firmware version that could not be read is no version, and no pass
    // (this run has no total result line).
    const ToolRun run = RunTool(MakeHub({{"", "fault get-fail from=3 times=101"}}), {"/FWVER"});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.console, kConsoleBanner + kFound + "Get OEM FW Version Fail!\r\n");
    EXPECT_EQ(run.log, kLogBanner + kFound + "Get OEM FW Version Fail!\r\n");
}
