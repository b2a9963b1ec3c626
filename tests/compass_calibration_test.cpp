// The compass calibration through the stand-in: the one calibrate request,
// the accuracy polls and the console line rewritten in place.
#include "procedures/compass_calibration.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hub/inventory.h"
#include "hub/transport.h"
#include "sim_fixture.h"

namespace {

using sim::FaultWindow;
using simtest::SimFixture;

const std::string kLabel = "\rCompass Calibration        : ";
const std::string kAccuracySet = "SET 5a0007" + std::string(28, '0');

// A report line: the leading bytes given, the rest of the 17 bytes 0.
std::string Line(const std::string& kind, const std::string& leading)
{
    return kind + " " + leading + std::string(34 - leading.size(), '0');
}

// The console progress for each accuracy shown.
std::string Progress(const std::vector<int>& shown)
{
    std::string text;
    for (int a : shown) text += kLabel + std::to_string(a);
    return text;
}

class CompassCalibration : public SimFixture {
protected:
    void SetUp() override
    {
        SimFixture::SetUp();
        hub = ConnectHub();
        SensorList[SensorSlotAcc2] = SensorPresent;
    }
    void Reconnect()
    {
        Restart();
        hub = ConnectHub();
        SensorList[SensorSlotAcc2] = SensorPresent;
    }
    std::shared_ptr<sim::SimHub> hub;
};

TEST_F(CompassCalibration, EmptySlotSendsNothing)
{
    hFile[0] = kNoHidHandle;
    EXPECT_EQ(DoCalibrationForComp(0), 0xFF);
    EXPECT_EQ(DoCalibrationForComp(kHubSlots), 0xFF);
    EXPECT_TRUE(Events().empty());
    EXPECT_EQ(ConsoleText(), "");
    EXPECT_EQ(LogText(), "");
}

TEST_F(CompassCalibration, PassesAtThePollThatReachesAccuracy)
{
    hub->SetCompassAccuracy(0x13);  // the high four bits are not part of it
    EXPECT_EQ(DoCalibrationForComp(0), 0);
    EXPECT_EQ(Events(), (std::vector<std::string>{Line("SET", "5a0403000180"), "SLEEP 1000", kAccuracySet, "SLEEP 50",
                                                  Line("GET", "5a000700000000000013"), "SLEEP 20"}));
    EXPECT_EQ(ConsoleText(), Progress({3}) + kLabel + "Pass (3)\r\n");
    EXPECT_EQ(LogText(), "Pass (3)\r\n");
}

TEST_F(CompassCalibration, WithoutAcc2TheRequestCarriesZero)
{
    SensorList[SensorSlotAcc2] = SensorAbsent;
    hub->SetCompassAccuracy(3);
    EXPECT_EQ(DoCalibrationForComp(0), 0);
    const std::vector<std::string> sets = Events({"SET"});
    ASSERT_FALSE(sets.empty());
    EXPECT_EQ(sets.front(), Line("SET", "5a0403000080"));
}

TEST_F(CompassCalibration, AccuracyAgainstTheSetting)
{
    const struct {
        std::uint8_t byte9;
        std::int32_t accuracy;
        std::uint8_t result;
        int shown;  // the accuracy the console and log end with
    } cases[] = {
        {0x03, 3, 0, 3}, {0x0F, 3, 0, 15}, {0xF2, 3, 30, 2}, {0x02, 3, 30, 2},
        {0x01, 1, 0, 1}, {0x20, 1, 30, 0}, {0x02, 2, 0, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << int{c.byte9} << " Accuracy " << c.accuracy);
        Reconnect();
        Accuracy = c.accuracy;
        hub->SetCompassAccuracy(c.byte9);
        EXPECT_EQ(DoCalibrationForComp(0), c.result);
        const std::size_t polls = c.result == 0 ? 1 : 30;
        EXPECT_EQ(Events({"SET"}).size(), 1 + polls);
        EXPECT_EQ(ConsoleText(), Progress(std::vector<int>(polls, c.shown)) + kLabel +
                                     (c.result == 0 ? "Pass (" : "Fail (") + std::to_string(c.shown) + ")\r\n");
        EXPECT_EQ(LogText(), (c.result == 0 ? "Pass (" : "Fail (") + std::to_string(c.shown) + ")\r\n");
    }
}

TEST_F(CompassCalibration, ThirtyPollsWithoutReachingIt)
{
    hub->SetCompassAccuracy(2);
    EXPECT_EQ(DoCalibrationForComp(0), 30);
    const std::vector<std::string> sets = Events({"SET"});
    ASSERT_EQ(sets.size(), 31u);
    EXPECT_EQ(sets.front(), Line("SET", "5a0403000180"));  // the calibrate request is not repeated
    EXPECT_EQ(std::vector<std::string>(sets.begin() + 1, sets.end()), std::vector<std::string>(30, kAccuracySet));
    EXPECT_EQ(SleptMs(), 30u * 1070);
    EXPECT_EQ(LogText(), "Fail (2)\r\n");
}

TEST_F(CompassCalibration, RisingAccuracyShowsEachPoll)
{
    hub->compassAccuracySteps = {0, 1, 2, 3};
    EXPECT_EQ(DoCalibrationForComp(0), 0);
    EXPECT_EQ(Events({"SET"}).size(), 5u);
    EXPECT_EQ(ConsoleText(), Progress({0, 1, 2, 3}) + kLabel + "Pass (3)\r\n");
    EXPECT_EQ(LogText(), "Pass (3)\r\n");
}

TEST_F(CompassCalibration, FailedFetchKeepsTheLastAccuracy)
{
    // A hub that never answers shows 0 throughout.
    hub->SetCompassAccuracy(3);
    hub->faults.getFail = FaultWindow::Always();
    EXPECT_EQ(DoCalibrationForComp(0), 30);
    EXPECT_EQ(ConsoleText(), Progress(std::vector<int>(30, 0)) + kLabel + "Fail (0)\r\n");
    EXPECT_EQ(LogText(), "Fail (0)\r\n");

    // 1 and 2 are read, then every fetch fails: 2 stands to the end.
    Reconnect();
    hub->compassAccuracySteps = {1, 2, 3};
    hub->faults.getFail = FaultWindow::From(3);
    EXPECT_EQ(DoCalibrationForComp(0), 30);
    std::vector<int> shown(30, 2);
    shown[0] = 1;
    EXPECT_EQ(ConsoleText(), Progress(shown) + kLabel + "Fail (2)\r\n");
    EXPECT_EQ(LogText(), "Fail (2)\r\n");
}

TEST_F(CompassCalibration, OnlyAnsweringRepliesCarryTheAccuracy)
{
    // Replies that name another sensor or command, or follow an accuracy
    // request that failed, carry no accuracy: the last accuracy an answering
    // reply carried stands to the end.
    const struct {
        const char* name;
        sim::HubFaults faults;
        std::vector<std::uint8_t> steps;  // the accuracy over the fetches; empty: 3 throughout
        int shown;
    } cases[] = {
        {"wrong echo", simtest::OneFault(&sim::HubFaults::wrongEcho, FaultWindow::Always()), {}, 0},
        {"other command", simtest::OneFault(&sim::HubFaults::replyCommand, FaultWindow::Always()), {}, 0},
        // The hub still holds the calibrate request.
        {"failed accuracy requests", simtest::OneFault(&sim::HubFaults::setFail, FaultWindow::From(2)), {}, 0},
        // The first accuracy request goes out and reads 1; every later one
        // fails, and the hub, still holding the first, answers each fetch
        // with the accuracy rising to 3: a reply to that earlier request.
        {"failed accuracy requests after an answered one",
         simtest::OneFault(&sim::HubFaults::setFail, FaultWindow::From(3)),
         {1, 3},
         1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Reconnect();
        hub->SetCompassAccuracy(3);
        hub->compassAccuracySteps = c.steps;
        hub->faults = c.faults;
        EXPECT_EQ(DoCalibrationForComp(0), 30);
        EXPECT_EQ(ConsoleText(),
                  Progress(std::vector<int>(30, c.shown)) + kLabel + "Fail (" + std::to_string(c.shown) + ")\r\n");
        EXPECT_EQ(LogText(), "Fail (" + std::to_string(c.shown) + ")\r\n");
    }

    // A calibrate request that never went out started nothing: no polls.
    Reconnect();
    hub->SetCompassAccuracy(3);
    hub->faults.setFail = FaultWindow::FirstN(1);
    EXPECT_EQ(DoCalibrationForComp(0), 30);
    EXPECT_EQ(Events({"SET"}), std::vector<std::string>{Line("SET FAIL", "5a0403000180")});
    EXPECT_EQ(ConsoleText(), kLabel + "Fail (0)\r\n");
    EXPECT_EQ(LogText(), "Fail (0)\r\n");
}

TEST_F(CompassCalibration, PacingWaitBeforeEveryTransfer)
{
    HIDCMDDelayMS = 300;
    DelayFlag = 1;
    hub->SetCompassAccuracy(3);
    EXPECT_EQ(DoCalibrationForComp(0), 0);
    EXPECT_EQ(Events({"SLEEP"}),
              (std::vector<std::string>{"SLEEP 300", "SLEEP 1000", "SLEEP 300", "SLEEP 50", "SLEEP 300", "SLEEP 20"}));
}

}  // namespace
