// Where the hub sequence goes after each of its blocks (angle check, multi-face
// flow, tests, calibrations, save step), with recording stand-ins for the
// blocks: they note the pacing switch they were called with and add to or set
// ResultFlag as a case tells them. The sequence itself runs in-process on the
// simulated healthy hub.
//
// The stand-ins below replace the blocks' own definitions: the linker takes
// them from this file and never pulls the blocks' objects from the library.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "app/angle_check.h"
#include "app/calibration_block.h"
#include "app/face_delay.h"
#include "app/hub_sequence.h"
#include "app/multi_face_flow.h"
#include "app/multi_face_selection.h"
#include "app/options.h"
#include "app/run_frame.h"
#include "app/save_step.h"
#include "app/test_block.h"
#include "hub/discovery.h"
#include "tests/sim_fixture.h"

namespace {

// What the stand-ins do in the current case, and what they saw.
struct Blocks {
    AngleCheckOutcome angle = AngleCheckOutcome::Continue;
    bool flowRuns = false;
    std::map<std::string, std::int32_t> adds;  // block name -> amount it adds to ResultFlag
    std::string calls;                         // "name" or "name:DelayFlag" per call, blank-separated
};
Blocks blocks;

void Note(const std::string& name, bool withDelayFlag)
{
    if (!blocks.calls.empty()) blocks.calls += " ";
    blocks.calls += withDelayFlag ? name + ":" + std::to_string(DelayFlag) : name;
    ResultFlag += blocks.adds[name];
}

}  // namespace

void SelectMultiFaceCalibration()
{
    Note("select", false);
}

AngleCheckOutcome CheckAngleBeforeCalibration(std::uint8_t)
{
    Note("angle", false);
    if (blocks.angle == AngleCheckOutcome::TotalResult) ResultFlag = ResultAngleFail;
    return blocks.angle;
}

void TakeFaceDelay()
{
    Note("delay", false);
}

bool RunMultiFaceFlow(std::uint8_t)
{
    Note("flow", true);
    return blocks.flowRuns;
}

void RunTestBlock(std::uint8_t)
{
    Note("tests", true);
}

void RunCalibrationBlock(std::uint8_t)
{
    Note("calibrations", true);
}

void RunSaveStep(std::uint8_t)
{
    Note("save", true);
}

namespace {

const std::string kFoundAndFusion = "Find 1 XOV SensorHub.\r\nFusion: 9D.\r\n";
const std::string kStatusList = "The number of sensor is 6.\r\n";

struct Case {
    std::string name;
    std::vector<std::string> options;
    AngleCheckOutcome angle;
    bool flowRuns;
    std::map<std::string, std::int32_t> adds;
    std::string calls;
    const char* total;  // "Pass", "Fail" or nullptr for no total result line
    std::int32_t result;
    bool finalClear;
};

class HubSequenceGates : public simtest::SimFixture {
protected:
    void Run(const Case& c)
    {
        Restart();
        blocks = Blocks{};
        blocks.angle = c.angle;
        blocks.flowRuns = c.flowRuns;
        blocks.adds = c.adds;

        ASSERT_TRUE(PlaceHubFile(SourceHubFile("healthy.hub"), "healthy.hub"));

        args_ = c.options;
        argv_ = {const_cast<char*>("tool")};
        for (std::string& a : args_) argv_.push_back(a.data());
        gArgc = static_cast<int>(argv_.size());
        gArgv = argv_.data();
        HIDCMDDelayMS = ClampAtZero(CheckParameters(gArgc, gArgv, "/HIDCMDDELAYMS"));
        ConnectHIDDevice(kHubUsagePage, kHubUsage);
        ASSERT_EQ(SensorCunt, 1);
        HubSequence(0);
    }

    // The requests (SET events) of the run.
    static std::vector<std::string> Requests()
    {
        std::vector<std::string> sets;
        for (const std::string& e : sim::TraceEvents({"SET"})) sets.push_back(e.substr(4));
        return sets;
    }

    // The sequence's last requests: the final clear, when it ran (lock
    // without a preceding unlock, the two head bytes, unlock), then mode off.
    static bool FinalClearRan()
    {
        const std::vector<std::string> r = Requests();
        const std::size_t n = r.size();
        if (n < 6) return false;
        return r[n - 5].rfind("5a0d", 0) == 0 && r[n - 4].rfind("5a0600200801", 0) == 0 &&
               r[n - 3].rfind("5a0601200801", 0) == 0 && r[n - 2].rfind("5a0e", 0) == 0 &&
               r[n - 6].rfind("5a0e", 0) != 0;
    }

    static bool EndsWithModeOff()
    {
        const std::vector<std::string> r = Requests();
        return !r.empty() && r.back() == "5a584f5620546563682e20496e632e0000";
    }

private:
    std::vector<std::string> args_;
    std::vector<char*> argv_;
};

bool AnyModeOption(const std::vector<std::string>& options)
{
    static const char* const kModes[] = {"/ACC1-TEST",  "/GYRO-TEST",    "/COMP-TEST", "/ACC2-TEST", "/LIGHT-TEST",
                                         "/COLOR-TEST", "/PSENSOR-TEST", "/ACC1-CALI", "/COMP-CALI", "/ACC2-CALI",
                                         "/COLOR-CALI", "/PSENSOR-CALI", "/CUS2-CALI", "/LIGHT-CALI"};
    for (const std::string& o : options)
        for (const char* m : kModes)
            if (o == m) return true;
    return false;
}

}  // namespace

TEST_F(HubSequenceGates, WhereTheSequenceGoesAfterEachBlock)
{
    using O = AngleCheckOutcome;
    const std::string all = "select angle delay flow:0 tests:1 calibrations:1";
    std::vector<Case> cases = {
        {"no options", {}, O::Continue, false, {}, all + " save:0", "Pass", 0, false},
        {"angle check fails", {}, O::TotalResult, false, {}, "select angle", "Fail", 254, true},
        {"/ANGLE prints the angle", {"/ANGLE"}, O::EndWithoutTotal, false, {}, "select angle", nullptr, 0, false},
        {"a flow ran", {"/ACC2-6P-CALI"}, O::Continue, true, {}, "select angle delay flow:0 save:0", "Pass", 0, false},
        {"a flow ran, /NC does not stop it",
         {"/ACC2-6P-CALI", "/NC"},
         O::Continue,
         true,
         {},
         "select angle delay flow:0 save:0",
         "Pass",
         0,
         false},
        {"a flow failed: gate closed",
         {"/ACC2-2P-CALI"},
         O::Continue,
         true,
         {{"flow", 1}},
         "select angle delay flow:0",
         "Fail",
         1,
         true},
        {"a flow failed, calibration option opens the gate",
         {"/ACC2-2P-CALI", "/ACC2-CALI"},
         O::Continue,
         true,
         {{"flow", 1}},
         "select angle delay flow:0 save:0",
         "Fail",
         1,
         true},
        {"/NC after the tests", {"/NC"}, O::Continue, false, {}, "select angle delay flow:0 tests:1", "Pass", 0, false},
        {"/NC with failing tests",
         {"/NC"},
         O::Continue,
         false,
         {{"tests", 3}},
         "select angle delay flow:0 tests:1",
         "Fail",
         3,
         true},
        {"a failing test closes the gate", {}, O::Continue, false, {{"tests", 1}}, all, "Fail", 1, true},
        {"a test option closes the gate", {"/LIGHT-TEST"}, O::Continue, false, {}, all, "Pass", 0, false},
        {"/COLOR-CALI with all three references",
         {"/COLOR-CALI", "/RVAL900", "/GVAL800", "/BVAL700"},
         O::Continue,
         false,
         {{"calibrations", 1}},
         all + " save:0",
         "Fail",
         1,
         true},
        {"/COLOR-CALI without /BVAL, failing",
         {"/COLOR-CALI", "/RVAL900", "/GVAL800"},
         O::Continue,
         false,
         {{"calibrations", 1}},
         all,
         "Fail",
         1,
         true},
        {"/COLOR-CALI without /BVAL, passing",
         {"/COLOR-CALI", "/RVAL900", "/GVAL800"},
         O::Continue,
         false,
         {},
         all + " save:0",
         "Pass",
         0,
         false},
        {"/GYRO-CALI passing", {"/GYRO-CALI"}, O::Continue, false, {}, all + " save:0", "Pass", 0, false},
        {"/GYRO-CALI failing", {"/GYRO-CALI"}, O::Continue, false, {{"calibrations", 1}}, all, "Fail", 1, true},
        {"multi-face option without a flow, failing",
         {"/ACC1-2P-CALI"},
         O::Continue,
         false,
         {{"calibrations", 1}},
         all,
         "Fail",
         1,
         true},
        {"test and calibration option",
         {"/ACC1-TEST", "/ACC1-CALI"},
         O::Continue,
         false,
         {},
         all + " save:0",
         "Pass",
         0,
         false},
        {"the save step fails", {}, O::Continue, false, {{"save", 1}}, all + " save:0", "Fail", 1, true},
        {"amounts add up",
         {"/ACC1-CALI"},
         O::Continue,
         false,
         {{"tests", 1}, {"calibrations", 10}, {"save", 300}},
         all + " save:0",
         "Fail",
         311,
         true},
    };
    for (const char* option : {"/ACC1-CALI", "/ACC2-CALI", "/COMP-CALI", "/LIGHT-CALI", "/PSENSOR-CALI", "/CUS2-CALI"})
        cases.push_back({std::string(option) + " opens the gate after a failure",
                         {option},
                         O::Continue,
                         false,
                         {{"calibrations", 2}},
                         all + " save:0",
                         "Fail",
                         2,
                         true});

    for (const Case& c : cases) {
        Run(c);
        std::string expected = kFoundAndFusion + (AnyModeOption(c.options) ? "" : kStatusList);
        if (c.total != nullptr) expected += std::string("\r\nTotal Result: ") + c.total + "\r\n";
        EXPECT_EQ(blocks.calls, c.calls) << c.name;
        EXPECT_EQ(ConsoleText(), expected) << c.name;
        EXPECT_EQ(LogText(), expected) << c.name;
        EXPECT_EQ(ResultFlag, c.result) << c.name;
        EXPECT_EQ(FinalClearRan(), c.finalClear) << c.name;
        EXPECT_TRUE(EndsWithModeOff()) << c.name;
        // After "/NC" the pacing switch stays on to the end; after a flow or
        // the calibration block it is off.
        const bool ncExit =
            c.calls.find("tests") != std::string::npos && c.calls.find("calibrations") == std::string::npos;
        EXPECT_EQ(DelayFlag, ncExit ? 1 : 0) << c.name;
    }
}

TEST_F(HubSequenceGates, AfterNcTheClosingRequestsArePaced)
{
    // The test block fails, so the final clear runs: lock, two writes and
    // unlock, then mode off (request and read-back), each after 100 ms.
    Case c{"/NC",
           {"/NC", "/HIDCMDDELAYMS100"},
           AngleCheckOutcome::Continue,
           false,
           {{"tests", 1}},
           "select angle delay flow:0 tests:1",
           "Fail",
           1,
           true};
    Run(c);
    ASSERT_TRUE(FinalClearRan());
    const std::vector<std::string> events = sim::TraceEvents();
    std::size_t status = 0;
    for (std::size_t i = 0; i < events.size(); ++i)
        if (events[i].rfind("SET 5a0b", 0) == 0) status = i;
    std::size_t paced = 0;
    std::size_t transfers = 0;
    for (std::size_t i = status + 3; i < events.size(); ++i) {  // past the status list's own fetch
        if (events[i].rfind("SET", 0) != 0 && events[i].rfind("GET", 0) != 0) continue;
        ++transfers;
        if (events[i - 1] == "SLEEP 100") ++paced;
    }
    EXPECT_EQ(transfers, 6u);
    EXPECT_EQ(paced, 6u);
    for (std::size_t i = 0; i < status; ++i) EXPECT_NE(events[i], "SLEEP 100") << i;
}
