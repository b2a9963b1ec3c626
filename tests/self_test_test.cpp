// The self test of a motion sensor through the stand-in: the hub's own test
// with its polls and waits, then the data check.
#include "procedures/self_test.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hub/transport.h"
#include "sim_fixture.h"

namespace {

using sim::FaultWindow;
using simtest::SimFixture;
using Echo = sim::SimHub::SelfTestEcho;

std::string SelfTestSet(std::uint8_t sensorId)
{
    const HidReport r = MakeRequest(HidCmdSelfTest, sensorId);
    return "SET " + sim::HexBytes(r.data(), r.size());
}

std::string DataSet(std::uint8_t sensorId)
{
    const HidReport r = MakeRequest(HidCmdGetSensorValue, sensorId);
    return "SET " + sim::HexBytes(r.data(), r.size());
}

// A reply line: the leading bytes given, the rest of the 17 bytes 0.
std::string Get(const std::string& leading)
{
    return "GET " + leading + std::string(34 - leading.size(), '0');
}

std::size_t CountOf(const std::vector<std::string>& events, const std::string& event)
{
    std::size_t n = 0;
    for (const std::string& e : events)
        if (e == event) ++n;
    return n;
}

class SelfTest : public SimFixture {
protected:
    void SetUp() override
    {
        SimFixture::SetUp();
        hub = ConnectHub();
    }
    void Reconnect()
    {
        Restart();
        hub = ConnectHub();
    }
    // Raw words into reply bytes 3-4, 5-6 and 7-8 of a sensor's report.
    void SetWords(std::uint8_t sensorId, std::uint16_t x, std::uint16_t y, std::uint16_t z)
    {
        auto& data = hub->sensorReports[sensorId];
        const std::uint16_t words[] = {x, y, z};
        for (std::size_t i = 0; i < 3; ++i) {
            data[2 * i] = static_cast<std::uint8_t>(words[i] & 0xFFu);
            data[2 * i + 1] = static_cast<std::uint8_t>(words[i] >> 8);
        }
    }
    void ExpectBoth(const std::string& text)
    {
        EXPECT_EQ(ConsoleText(), text);
        EXPECT_EQ(LogText(), text);
    }
    std::shared_ptr<sim::SimHub> hub;
};

TEST_F(SelfTest, EmptySlotSendsNothing)
{
    hFile[0] = kNoHidHandle;
    EXPECT_EQ(DoSelfTest(0, SensorIdAcc1), 0xFF);
    EXPECT_EQ(DoSelfTest(kHubSlots, SensorIdGyro), 0xFF);
    EXPECT_TRUE(Events().empty());
    ExpectBoth("");
}

TEST_F(SelfTest, GyroPassesOnTheFirstGoodReply)
{
    EXPECT_EQ(DoSelfTest(0, SensorIdGyro), 0);
    EXPECT_EQ(Events(), (std::vector<std::string>{SelfTestSet(SensorIdGyro), "SLEEP 50", Get("5a0302"), "SLEEP 20"}));
    ExpectBoth("Pass.\r\n");
}

TEST_F(SelfTest, OtherSensorsGoOnToTheDataCheck)
{
    SetWords(SensorIdCompass, 0x0000, 0x0000, 0x0001);
    EXPECT_EQ(DoSelfTest(0, SensorIdCompass), 0);
    EXPECT_EQ(Events(),
              (std::vector<std::string>{SelfTestSet(SensorIdCompass), "SLEEP 50", Get("5a0303"), "SLEEP 20",
                                        DataSet(SensorIdCompass), "SLEEP 50", Get("5a00030000000001"), "SLEEP 20"}));
    ExpectBoth("Pass.\r\n");
}

TEST_F(SelfTest, BusyForEverFailsAfterTenAttemptsOfTenPolls)
{
    hub->selfTests[SensorIdAcc2].busyFetches = -1;
    EXPECT_EQ(DoSelfTest(0, SensorIdAcc2), 1);
    const std::vector<std::string> events = Events();
    EXPECT_EQ(CountOf(events, SelfTestSet(SensorIdAcc2)), 10u);
    EXPECT_EQ(CountOf(events, Get("5a0308cccccccc")), 100u);
    EXPECT_EQ(CountOf(events, "SLEEP 480"), 100u);
    EXPECT_EQ(CountOf(events, DataSet(SensorIdAcc2)), 0u);
    EXPECT_EQ(SleptMs(), 50500u);  // 10 x (50 + 10 x (20 + 480))
    ExpectBoth("Fail - 0xcccccccc.\r\n");
}

TEST_F(SelfTest, BusyPollsWaitTheirOwnTimeTheTenthToo)
{
    // Busy for the whole first attempt: the tenth busy poll waits 480 ms as
    // well before the second request; the eleventh reply passes.
    hub->selfTests[SensorIdGyro].busyFetches = 10;
    EXPECT_EQ(DoSelfTest(0, SensorIdGyro), 0);
    std::vector<std::string> expected = {SelfTestSet(SensorIdGyro), "SLEEP 50"};
    for (int i = 0; i < 10; ++i)
        for (const std::string& e : {Get("5a0302cccccccc"), std::string("SLEEP 20"), std::string("SLEEP 480")})
            expected.push_back(e);
    for (std::string e : {SelfTestSet(SensorIdGyro), std::string("SLEEP 50"), Get("5a0302"), std::string("SLEEP 20")})
        expected.push_back(e);
    EXPECT_EQ(Events(), expected);
    EXPECT_EQ(hub->selfTests[SensorIdGyro].requests, 2);
    ExpectBoth("Pass.\r\n");
}

TEST_F(SelfTest, FailureWordIsPrintedAfterAllTenAttempts)
{
    const struct {
        std::uint32_t status;
        Echo echo;
        const char* text;
    } cases[] = {
        {16, Echo::Ok, "Fail - 0x10.\r\n"},
        {0x80000001, Echo::Ok, "Fail - 0x80000001.\r\n"},
        // A reply that does not echo the request answers another one: its
        // status is not the hub's verdict on this test.
        {5, Echo::Command, "Fail - No data\r\n"},
        {5, Echo::Sensor, "Fail - No data\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Reconnect();
        hub->selfTests[SensorIdAcc1] = {0, c.status, c.echo};
        SetWords(SensorIdAcc1, 1, 1, 1);
        EXPECT_EQ(DoSelfTest(0, SensorIdAcc1), 1);
        const std::vector<std::string> events = Events();
        EXPECT_EQ(CountOf(events, SelfTestSet(SensorIdAcc1)), 10u);
        EXPECT_EQ(Events({"GET"}).size(), 100u);
        EXPECT_EQ(CountOf(events, DataSet(SensorIdAcc1)), 0u);
        EXPECT_EQ(SleptMs(), 2500u);  // no busy waits
        ExpectBoth(c.text);
    }
}

TEST_F(SelfTest, LastStatusFetchedCounts)
{
    // Busy for 99 polls, then the failure word: the hundredth reply decides.
    hub->selfTests[SensorIdCompass] = {99, 0x21};
    EXPECT_EQ(DoSelfTest(0, SensorIdCompass), 1);
    ExpectBoth("Fail - 0x21.\r\n");
    EXPECT_EQ(SleptMs(), 10u * 250 + 99u * 480);
}

TEST_F(SelfTest, FailedFetchIsNoVerdict)
{
    // A fetch that fails says nothing: the poll goes on to the hub's answer.
    hub->faults.getFail = FaultWindow::FirstN(1);
    EXPECT_EQ(DoSelfTest(0, SensorIdGyro), 0);
    EXPECT_EQ(Events(), (std::vector<std::string>{SelfTestSet(SensorIdGyro), "SLEEP 50", "GET FAIL", "SLEEP 20",
                                                  Get("5a0302"), "SLEEP 20"}));
    ExpectBoth("Pass.\r\n");

    // ACC1 after a failed first fetch: the hub's failure word decides, and
    // no data check follows.
    Reconnect();
    hub->selfTests[SensorIdAcc1].status = 0x10;
    hub->faults.getFail = FaultWindow::FirstN(1);
    SetWords(SensorIdAcc1, 0xFFFF, 0xFFFF, 0xFEFF);
    EXPECT_EQ(DoSelfTest(0, SensorIdAcc1), 1);
    // The failure word fails the test with or without the lost fetch: the
    // fetch must have been lost.
    const std::vector<std::string> gets = Events({"GET"});
    ASSERT_FALSE(gets.empty());
    EXPECT_EQ(gets.front(), "GET FAIL");
    EXPECT_EQ(CountOf(Events(), DataSet(SensorIdAcc1)), 0u);
    ExpectBoth("Fail - 0x10.\r\n");
}

TEST_F(SelfTest, AttemptsWithoutAnAnswerFail)
{
    // The first attempt's replies echo another sensor, every later fetch
    // fails: no reply ever answered the request.
    hub->faults.wrongEcho = FaultWindow::FirstN(10);
    hub->faults.getFail = FaultWindow::From(11);
    EXPECT_EQ(DoSelfTest(0, SensorIdGyro), 1);
    EXPECT_EQ(Events({"SET"}).size(), 10u);
    EXPECT_EQ(Events({"GET"}).size(), 100u);
    ExpectBoth("Fail - No data\r\n");

    // Requests that all fail: ten attempts, nothing polled.
    Reconnect();
    hub->faults.setFail = FaultWindow::Always();
    EXPECT_EQ(DoSelfTest(0, SensorIdAcc2), 1);
    EXPECT_EQ(Events({"SET"}).size(), 10u);
    EXPECT_TRUE(Events({"GET"}).empty());
    EXPECT_EQ(SleptMs(), 500u);
    ExpectBoth("Fail - No data\r\n");
}

TEST_F(SelfTest, FailedFetchKeepsABusyStatus)
{
    // The first poll reports busy, every later fetch fails: the busy status
    // stands, so the test never passes and prints the busy word. Only the
    // busy reply waits its 480 ms: 10 x 50 + 100 x 20 + 480.
    hub->selfTests[SensorIdAcc1].busyFetches = 1;
    hub->faults.getFail = FaultWindow::From(2);
    EXPECT_EQ(DoSelfTest(0, SensorIdAcc1), 1);
    EXPECT_EQ(Events({"SET"}).size(), 10u);
    EXPECT_EQ(SleptMs(), 2980u);
    ExpectBoth("Fail - 0xcccccccc.\r\n");
}

TEST_F(SelfTest, WrongEchoesWithStatusZero)
{
    // Replies that answer another request never pass the self test, and
    // without a passing self test no data check runs.
    for (Echo echo : {Echo::Command, Echo::Sensor}) {
        SCOPED_TRACE(static_cast<int>(echo));
        for (const std::uint8_t sensorId : {SensorIdGyro, SensorIdAcc2}) {
            Reconnect();
            hub->selfTests[sensorId].echo = echo;
            SetWords(sensorId, 1, 2, 3);
            EXPECT_EQ(DoSelfTest(0, sensorId), 1);
            EXPECT_EQ(Events({"SET"}), std::vector<std::string>(10, SelfTestSet(sensorId)));
            EXPECT_EQ(Events({"GET"}).size(), 100u);
            ExpectBoth("Fail - No data\r\n");
        }
    }
}

TEST_F(SelfTest, DataRepliesForAnotherRequestAreNoData)
{
    // The self test passes at its first poll (get 1); the data replies then
    // name another sensor or command, or fail: their words never pass.
    const struct {
        const char* name;
        FaultWindow sim::HubFaults::*kind;
    } faults[] = {{"wrong echo", &sim::HubFaults::wrongEcho},
                  {"other command", &sim::HubFaults::replyCommand},
                  {"no reply", &sim::HubFaults::getFail}};
    for (const auto& fault : faults) {
        SCOPED_TRACE(fault.name);
        Reconnect();
        SetWords(SensorIdAcc2, 0, 7, 0);
        hub->faults = simtest::OneFault(fault.kind, FaultWindow::From(2));
        EXPECT_EQ(DoSelfTest(0, SensorIdAcc2), 1);
        EXPECT_EQ(CountOf(Events(), DataSet(SensorIdAcc2)), 10u);
        ExpectBoth("Fail - No data\r\n");
    }
}

TEST_F(SelfTest, FailedDataRequestsAreNoData)
{
    // The self test passes (set-feature 1); the first data request goes out
    // and its ten replies carry zero words; every later request fails. The
    // hub still holds the first one and by now answers it with a word: the
    // reply to that earlier request, which a later one never asked for.
    hub->SetCommand(HidCmdGetSensorValue,
                    {nullptr, [fetches = 0](sim::SimHub&, const HidReport& request, HidReport& reply) mutable {
                         sim::SimHub::DefaultReply(request, reply);
                         if (++fetches > 10) reply[3] = 1;
                     }});
    hub->faults.setFail = FaultWindow::From(3);
    EXPECT_EQ(DoSelfTest(0, SensorIdAcc2), 1);
    EXPECT_EQ(CountOf(Events(), DataSet(SensorIdAcc2)), 1u);
    EXPECT_EQ(Events({"SET FAIL"}).size(), 9u);
    ExpectBoth("Fail - No data\r\n");
}

TEST_F(SelfTest, DataCheckTestsTheRawWords)
{
    const struct {
        std::uint16_t x, y, z;
        std::uint8_t byte9;
        std::uint8_t result;
    } cases[] = {
        {0x0000, 0x0000, 0x0001, 0, 0},    {0x0100, 0x0000, 0x0000, 0, 0},
        {0xFFFF, 0xFFFF, 0xFFFF, 0, 0},     // each reads 0 once decoded, but the raw word counts
        {0x0000, 0x0000, 0x0000, 0x55, 1},  // bytes 9-10 are not tested
        {0x0000, 0x0000, 0x0000, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.x << " " << c.y << " " << c.z);
        Reconnect();
        SetWords(SensorIdAcc1, c.x, c.y, c.z);
        hub->sensorReports[SensorIdAcc1][9 - 3] = c.byte9;
        hub->sensorReports[SensorIdAcc1][10 - 3] = c.byte9;
        EXPECT_EQ(DoSelfTest(0, SensorIdAcc1), c.result);
        const std::vector<std::string> events = Events();
        if (c.result == 0) {
            EXPECT_EQ(CountOf(events, DataSet(SensorIdAcc1)), 1u);
            ExpectBoth("Pass.\r\n");
        } else {
            // Ten data requests of ten polls: 10 x (50 + 10 x 20) ms after the self test's 70.
            EXPECT_EQ(CountOf(events, DataSet(SensorIdAcc1)), 10u);
            EXPECT_EQ(Events({"GET"}).size(), 101u);
            EXPECT_EQ(SleptMs(), 70u + 2500u);
            ExpectBoth("Fail - No data\r\n");
        }
    }
}

TEST_F(SelfTest, InitialisationStatusModeSkipsTheSelfTest)
{
    // AccTestMode 1: RegInitStatus, then the data check; only a fetched data
    // reply is tested, so the status byte never passes it on its own.
    const struct {
        const char* name;
        std::uint16_t z;  // the z word of the data reply (x and y are 0)
        sim::HubFaults faults;
        std::uint8_t result;
        std::size_t dataRequests;
        std::size_t requests;  // every set-feature: the status reads and the data requests
        const char* text;
        std::vector<std::string> events;  // the whole trace; empty: not compared
    } cases[] = {
        {"status, then a data reply with data",
         9,
         {},
         0,
         1,
         2,
         "Pass.\r\n",
         {"SET 5a05001208010000000000000000000000", "SLEEP 5", Get("5a050012080103"), "SLEEP 5", DataSet(SensorIdAcc1),
          "SLEEP 50", Get("5a0001000000000900"), "SLEEP 20"}},
        {"data fetches that fail after the status read: no data",
         9,
         simtest::OneFault(&sim::HubFaults::getFail, FaultWindow::From(2)),
         1,
         10,
         11,
         "Fail - No data\r\n",
         {}},
        {"zero words: no data", 0, {}, 1, 10, 11, "Fail - No data\r\n", {}},
        // All 101 attempts of the status read fail.
        {"a status that cannot be read fails at once",
         9,
         simtest::OneFault(&sim::HubFaults::getFail, FaultWindow::FirstN(101)),
         1,
         0,
         101,
         "Fail - No data\r\n",
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Reconnect();
        AccTestMode = 1;
        hub->SetInitStatus(0x03);
        SetWords(SensorIdAcc1, 0, 0, c.z);
        hub->faults = c.faults;
        EXPECT_EQ(DoSelfTest(0, SensorIdAcc1), c.result);
        const std::vector<std::string> events = Events();
        EXPECT_EQ(CountOf(events, DataSet(SensorIdAcc1)), c.dataRequests);
        EXPECT_EQ(Events({"SET"}).size(), c.requests);
        if (!c.events.empty()) {
            EXPECT_EQ(events, c.events);
        }
        EXPECT_EQ(hub->selfTests[SensorIdAcc1].requests, 0);
        ExpectBoth(c.text);
    }
}

TEST_F(SelfTest, OnlyModeOneAndAcc1SkipTheSelfTest)
{
    const struct {
        std::int32_t mode;
        std::uint8_t sensorId;
        bool selfTest;
    } cases[] = {{-1, SensorIdAcc1, true}, {0, SensorIdAcc1, true}, {2, SensorIdAcc1, true},
                 {1, SensorIdAcc1, false}, {1, SensorIdAcc2, true}, {1, SensorIdCompass, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.mode << " " << int{c.sensorId});
        Reconnect();
        AccTestMode = c.mode;
        hub->SetInitStatus(0x03);
        SetWords(c.sensorId, 1, 0, 0);
        EXPECT_EQ(DoSelfTest(0, c.sensorId), 0);
        EXPECT_EQ(hub->selfTests[c.sensorId].requests, c.selfTest ? 1 : 0);
    }
}

TEST_F(SelfTest, PacingWaitBeforeEveryTransfer)
{
    HIDCMDDelayMS = 300;
    DelayFlag = 1;
    EXPECT_EQ(DoSelfTest(0, SensorIdGyro), 0);
    EXPECT_EQ(Events({"SLEEP"}), (std::vector<std::string>{"SLEEP 300", "SLEEP 50", "SLEEP 300", "SLEEP 20"}));
}

}  // namespace
