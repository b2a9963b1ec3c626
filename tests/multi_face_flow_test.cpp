// The multi-face selection, the flow choice and the flows, in-process on the
// simulated healthy hub, with a recording stand-in of the calibrate
// procedure: it notes each call (sensor, phase, the pacing switch and the
// trace lines since the call before), prints what the procedure prints in a
// flow, and returns what the case tells it.
//
// The stand-in below replaces the procedure's own definition: the linker
// takes it from this file and never pulls the procedure's object from the
// library.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "app/hub_sequence.h"
#include "app/options.h"
#include "common/output.h"
#include "hub/discovery.h"
#include "procedures/calibrate.h"
#include "tests/sim_fixture.h"

namespace {

struct Calls {
    std::map<std::uint8_t, std::uint8_t> returns;   // phase -> what the stand-in returns
    std::string calls;                              // "<sensor>:<phase hex>" per call, blank-separated
    std::vector<std::vector<std::string>> between;  // trace events before each call, since the one before
    std::vector<std::int32_t> delayFlags;
    std::size_t traceSeen = 0;
};
Calls record;

}  // namespace

std::uint8_t DoCalibration(std::uint8_t, std::uint8_t sensorId, std::uint8_t CaliPhase)
{
    // The one-shot calibrations of the calibration block, which follows
    // when no flow runs, are not the flows' calls.
    if (CaliPhase == CaliPhaseOneShot || (sensorId != 1 && sensorId != 8)) return 0;
    char text[16];
    std::snprintf(text, sizeof text, "%u:%x", sensorId, CaliPhase);
    record.calls.append(record.calls.empty() ? "" : " ").append(text);
    const std::vector<std::string> events = sim::TraceEvents();
    record.between.emplace_back(events.begin() + static_cast<std::ptrdiff_t>(record.traceSeen), events.end());
    record.traceSeen = events.size();
    record.delayFlags.push_back(DelayFlag);
    const std::uint8_t result = record.returns.count(CaliPhase) != 0 ? record.returns[CaliPhase] : 0;
    if (CaliPhase == CaliPhaseFinish)
        PrintBoth("Pass (0.00, 0.00, 1.00)\r\n");
    else if (CaliPhase != CaliPhaseBegin)
        PrintBoth(result == 0 ? "Pass " : "Fail (0) ");
    return result;
}

namespace {

const std::string kHead = "Find 1 XOV SensorHub.\r\nFusion: 9D.\r\nThe number of sensor is 6.\r\n";

class MultiFaceFlow : public simtest::SimFixture {
protected:
    // One run of the hub sequence on healthy.hub, with the ACC2 line
    // replaced when acc2Line is not empty.
    void Run(const std::vector<std::string>& options, const std::string& acc2Line = "",
             const std::map<std::uint8_t, std::uint8_t>& returns = {})
    {
        Restart();
        record = Calls{};
        record.returns = returns;
        std::string text = SourceHubFile("healthy.hub");
        if (!acc2Line.empty()) {
            const std::string old = "sensor acc2 value=0,0,1 angle=2";
            text.replace(text.find(old), old.size(), acc2Line);
        }
        ASSERT_TRUE(PlaceHubFile(text, "healthy.hub"));

        args_ = options;
        argv_ = {const_cast<char*>("tool")};
        for (std::string& a : args_) argv_.push_back(a.data());
        gArgc = static_cast<int>(argv_.size());
        gArgv = argv_.data();
        std::string bad;
        ASSERT_TRUE(CheckCommandLine(gArgc, gArgv, bad)) << bad;
        ConnectHIDDevice(kHubUsagePage, kHubUsage);
        ASSERT_EQ(SensorCunt, 1);
        sim::TraceReset();
        HubSequence(0);
    }

private:
    std::vector<std::string> args_;
    std::vector<char*> argv_;
};

}  // namespace

TEST_F(MultiFaceFlow, SelectionAndFlowChoice)
{
    const std::string six = "8:f0 8:0 8:4 8:2 8:5 8:3 8:1 8:f1";
    const std::string acc2Two = "8:f0 8:0 8:1 8:f1";
    const std::string acc1Two = "1:f0 1:1 1:0 1:f1";
    const std::string a2 = "/ACC1-2P-CALI", a6 = "/ACC1-6P-CALI", b2 = "/ACC2-2P-CALI", b6 = "/ACC2-6P-CALI";
    struct Case {
        std::vector<std::string> options;
        std::uint8_t selection;
        std::string calls;
    } cases[] = {
        {{}, 0, ""},
        {{a2}, 0x02, acc1Two},
        {{a6}, 0x06, acc1Two},
        {{b2}, 0x20, acc2Two},
        {{b6}, 0x60, six},
        // The amounts are added, not combined bit by bit.
        {{a2, a6}, 0x08, ""},
        {{b2, b6}, 0x80, ""},
        {{a2, a6, b2, b6}, 0x88, ""},
        {{b2, a2}, 0x22, acc2Two},
        {{b2, a6}, 0x26, acc2Two},
        {{b2, a2, a6}, 0x28, acc2Two},
        {{b6, a2}, 0x62, six},
        {{b6, a6}, 0x66, six},
        {{b6, a2, a6}, 0x68, six},
        {{b2, b6, a2}, 0x82, acc1Two},
        {{b2, b6, a6}, 0x86, acc1Two},
        // The number after an option is not used; the lookup ignores case.
        {{"/acc2-6p-cali3"}, 0x60, six},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const std::string& o : c.options) shown += o + " ";
        SCOPED_TRACE(shown);
        Run(c.options);
        // A selection under which no flow ran selects nothing for the rest
        // of the run (8 and 0x80 would run flows if the amounts were OR-ed).
        EXPECT_EQ(ISNeedACC6PhaseCali, c.calls.empty() ? 0 : c.selection);
        EXPECT_EQ(record.calls, c.calls);
    }

    // Without the second accelerometer no flow runs, the ACC1 flow included.
    for (const std::vector<std::string>& options : {std::vector<std::string>{a2}, std::vector<std::string>{b6}}) {
        Run(options, "sensor acc2 present=no");
        EXPECT_EQ(record.calls, "") << options[0];
    }
}

TEST_F(MultiFaceFlow, TextsAndFaceDelays)
{
    struct Case {
        std::vector<std::string> options;
        std::string flow;  // console and log from the header to the finish line
        std::uint32_t delayMs;
        std::string save;  // the save step's lines
    } cases[] = {
        {{"/ACC2-2P-CALI", "/ACC-CALI-DELAY5"},
         "2ndAccelerometer Calibration : \r\n\r\nCalibration Z-: Pass \r\nCalibration Z+: Pass \r\n\r\n"
         "Pass (0.00, 0.00, 1.00)\r\n",
         5000,
         "Accel2 Biases: -0.015625,0.023438,-0.011719\r\n" "Accel2 Gain: 1.000000,1.000000,1.000000\r\n" "--== Save The Result To Flash ==--\r\n" "(Total Time: 17 s)\r\n"},
        {{"/ACC1-2P-CALI", "/ACC-CALI-DELAY1"},
         "1ndAccelerometer Calibration : \r\n\r\nCalibration Z-: Pass \r\nCalibration Z+: Pass \r\n\r\n"
         "Pass (0.00, 0.00, 1.00)\r\n",
         1000,
         "Accel2 Biases: -0.015625,0.023438,-0.011719\r\n" "--== Save The Result To Flash ==--\r\n" "(Total Time: 9 s)\r\n"},
        {{"/ACC2-6P-CALI", "/ACC-CALI-DELAY$10"},
         "2ndAccelerometer Calibration : \r\n\r\nCalibration Z-: Pass \r\nCalibration Y-: Pass \r\n"
         "Calibration X+: Pass \r\nCalibration Y+: Pass \r\nCalibration X-: Pass \r\nCalibration Z+: Pass \r\n\r\n"
         "Pass (0.00, 0.00, 1.00)\r\n",
         16000,
         "Accel2 Biases: -0.015625,0.023438,-0.011719\r\n" "Accel2 Gain: 1.000000,1.000000,1.000000\r\n" "--== Save The Result To Flash ==--\r\n" "(Total Time: 103 s)\r\n"},
        // The longest delay whose milliseconds fit in 32 bits; the run's
        // total time wraps with the 32-bit tick count.
        {{"/ACC2-2P-CALI", "/ACC-CALI-DELAY4294967"},
         "2ndAccelerometer Calibration : \r\n\r\nCalibration Z-: Pass \r\nCalibration Z+: Pass \r\n\r\n"
         "Pass (0.00, 0.00, 1.00)\r\n",
         4294967000u,
         "Accel2 Biases: -0.015625,0.023438,-0.011719\r\n" "Accel2 Gain: 1.000000,1.000000,1.000000\r\n" "--== Save The Result To Flash ==--\r\n" "(Total Time: 6 s)\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options[0] + " " + c.options[1]);
        Run(c.options);
        // A flow skips the range test and goes on at the save gate: the
        // report shows the ACC2 lines only, and no angle re-check runs.
        const std::string expected = kHead + c.flow + c.save + "\r\nTotal Result: Pass\r\n";
        EXPECT_EQ(ConsoleText(), expected);
        EXPECT_EQ(LogText(), expected);
        // Nothing but the delay between two calls: one wait before each
        // face, none before the finish.
        ASSERT_GE(record.between.size(), 3u);
        for (std::size_t i = 1; i + 1 < record.between.size(); ++i)
            EXPECT_EQ(record.between[i], std::vector<std::string>{"SLEEP " + std::to_string(c.delayMs)})
                << "face " << i;
        EXPECT_TRUE(record.between.back().empty());
        EXPECT_EQ(AccCaliDelay, static_cast<std::int32_t>(c.delayMs / 1000));
    }
}

TEST_F(MultiFaceFlow, EveryReturnAddsUpAndTheFlowGoesOn)
{
    // Returns are added as unsigned bytes, the begin call's too; a failed
    // face does not stop the flow.
    Run({"/ACC2-2P-CALI", "/ACC-CALI-DELAY1"}, "", {{CaliPhaseBegin, 255}, {0, 10}, {1, 11}, {CaliPhaseFinish, 255}});
    EXPECT_EQ(record.calls, "8:f0 8:0 8:1 8:f1");
    EXPECT_EQ(ResultFlag, 255 + 10 + 11 + 255);
    EXPECT_NE(ConsoleText().find("Calibration Z-: Fail (0) \r\nCalibration Z+: Fail (0) \r\n\r\n"), std::string::npos);
}

TEST_F(MultiFaceFlow, RunsWithoutPacingAlsoWithNc)
{
    // "/NC" keeps the angle check from running and does not stop the flow;
    // the flow replaces the tests, so pacing stays off.
    Run({"/ACC1-2P-CALI", "/NC", "/HIDCMDDELAYMS100", "/ACC-CALI-DELAY2"}, "sensor acc2 value=0,0,1 angle=180");
    EXPECT_EQ(record.calls, "1:f0 1:1 1:0 1:f1");
    EXPECT_EQ(record.delayFlags, (std::vector<std::int32_t>{0, 0, 0, 0}));
    const std::string console = ConsoleText();
    EXPECT_EQ(console.find("Angle"), std::string::npos) << console;
    EXPECT_NE(console.find("\r\nTotal Result: Pass\r\n"), std::string::npos) << console;
}
