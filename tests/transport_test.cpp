// The feature-report exchange: request layout, pacing, buffers, HidRequests.
#include "hub/transport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/clock.h"
#include "hub/hid_port.h"
#include "hub/hub_memory.h"
#include "sim_fixture.h"

namespace {

using simtest::SimFixture;

const std::string kZeros15(30, '0');

class Transport : public SimFixture {
protected:
    void SetUp() override
    {
        SimFixture::SetUp();
        hub = ConnectHub();
        // A test command whose reply bytes 1 to 16 are 0x11 to 0x20.
        hub->SetCommand(0x40, {nullptr, [](sim::SimHub&, const HidReport&, HidReport& reply) {
                                   for (std::size_t i = 1; i < HidReportLength; ++i)
                                       reply[i] = static_cast<std::uint8_t>(0x10 + i);
                               }});
    }
    std::shared_ptr<sim::SimHub> hub;
};

TEST_F(Transport, UnnamedRequestBytesAreZero)
{
    EXPECT_TRUE(SendReport(hFile[0], MakeRequest(HidCmdFusionTaskLock)));
    EXPECT_EQ(Events(), (std::vector<std::string>{"SET 5a0d" + kZeros15}));
    const HidReport request = MakeRequest(HidCmdGetSensorValue, SensorIdAcc2);
    EXPECT_EQ(sim::HexBytes(request.data(), request.size()), "5a0008" + std::string(28, '0'));
}

TEST_F(Transport, PacingNeedsBothTheDelayAndTheSwitch)
{
    struct Case {
        std::int32_t delay;
        std::int32_t flag;
        bool waits;
    } cases[] = {{0, 1, false}, {300, 0, false}, {300, 1, true}, {7, 2, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "delay " << c.delay << " flag " << c.flag);
        sim::TraceReset();
        HIDCMDDelayMS = c.delay;
        DelayFlag = c.flag;
        HidReport reply{};
        std::uint8_t h1 = 0x40;
        std::uint8_t h2 = 0;
        SendReport(hFile[0], MakeRequest(0x40));
        FetchReport(hFile[0], reply);
        HidRequests(hFile[0], true, HidReportId, h1, h2, nullptr, 0);
        HidRequests(hFile[0], false, HidReportId, h1, h2, nullptr, 0);
        WinDebugSetRegByte(0, 0, 0, 0, 0);
        const std::vector<std::string> sleeps = Events({"SLEEP"});
        if (c.waits)
            EXPECT_EQ(sleeps, std::vector<std::string>(5, "SLEEP " + std::to_string(c.delay)));
        else
            EXPECT_TRUE(sleeps.empty());
        EXPECT_EQ(Events({"SET", "GET"}).size(), 5u);
    }
}

TEST_F(Transport, UsualQueryWithPacing300)
{
    HIDCMDDelayMS = 300;
    DelayFlag = 1;
    HidReport reply{};
    SendReport(hFile[0], MakeRequest(HidCmdGetSensorValue, SensorIdAcc1));
    SleepMs(50);
    ASSERT_TRUE(FetchReport(hFile[0], reply));
    SleepMs(20);
    EXPECT_EQ(sim::TraceLines(), (std::vector<std::string>{
                                     "t=0 SLEEP 300",
                                     "t=300 SET 5a0001" + std::string(28, '0'),
                                     "t=300 SLEEP 50",
                                     "t=350 SLEEP 300",
                                     "t=650 GET 5a0001" + std::string(28, '0'),
                                     "t=650 SLEEP 20",
                                 }));
    EXPECT_EQ(sim::VirtualNow(), 670u);

    // A register write waits only its pacing.
    sim::TraceReset();
    EXPECT_TRUE(WinDebugSetRegByte(0, 0x08, 0x12, 0x00, 3));
    EXPECT_EQ(Events(), (std::vector<std::string>{"SLEEP 300", "SET 5a06001208010300000000000000000000"}));
}

TEST_F(Transport, EveryFetchUsesItsOwnBufferWithTheReportId)
{
    // The caller's buffer holds no report ID; the fetch must not depend on it.
    HidReport reply{};
    reply.fill(0xEE);
    SendReport(hFile[0], MakeRequest(0x40));
    ASSERT_TRUE(FetchReport(hFile[0], reply));
    EXPECT_EQ(reply[0], HidReportId);
    EXPECT_EQ(reply[16], 0x20);

    // The port refuses a fetch whose byte 0 is not the report ID.
    std::uint8_t raw[HidReportLength] = {};
    EXPECT_FALSE(HidPortGetFeature(hFile[0], raw, sizeof raw));
    EXPECT_EQ(Events({"GET"}).back(), "GET FAIL id=00");
}

TEST_F(Transport, AFailedFetchLeavesThePreparedReply)
{
    hub->faults.getFail = sim::FaultWindow::Always();
    HidReport reply = MakeRequest(HidCmdGetSensorValue, SensorIdGyro);
    const HidReport prepared = reply;
    EXPECT_FALSE(FetchReport(hFile[0], reply));
    EXPECT_EQ(reply, prepared);
    EXPECT_EQ(Events(), (std::vector<std::string>{"GET FAIL"}));
}

TEST_F(Transport, TransfersOnAnEmptySlotFail)
{
    HidReport reply{};
    EXPECT_FALSE(SendReport(kNoHidHandle, MakeRequest(HidCmdFusionTaskUnlock)));
    EXPECT_FALSE(FetchReport(kNoHidHandle, reply));
    EXPECT_EQ(Events(), (std::vector<std::string>{"SET FAIL 5a0e" + kZeros15, "GET FAIL"}));
}

TEST_F(Transport, HidRequestsLengths)
{
    std::uint8_t h1 = 0x40;
    std::uint8_t h2 = 0x07;
    std::uint8_t data[16];
    for (std::size_t i = 0; i < 14; ++i) data[i] = static_cast<std::uint8_t>(0xA0 + i);
    ASSERT_TRUE(HidRequests(hFile[0], true, HidReportId, h1, h2, data, 14));
    EXPECT_EQ(Events(), (std::vector<std::string>{"SET 5a4007a0a1a2a3a4a5a6a7a8a9aaabacad"}));

    // Length 14 hands back reply bytes 1 to 16.
    h1 = h2 = 0;
    std::fill(std::begin(data), std::end(data), 0xEE);
    ASSERT_TRUE(HidRequests(hFile[0], false, HidReportId, h1, h2, data, 14));
    EXPECT_EQ(h1, 0x11);
    EXPECT_EQ(h2, 0x12);
    for (std::size_t i = 0; i < 14; ++i) EXPECT_EQ(data[i], 0x13 + i) << i;
    EXPECT_EQ(data[14], 0xEE);

    // Length 0: only the header bytes.
    h1 = h2 = 0;
    std::fill(std::begin(data), std::end(data), 0xEE);
    ASSERT_TRUE(HidRequests(hFile[0], false, HidReportId, h1, h2, data, 0));
    EXPECT_EQ(h1, 0x11);
    EXPECT_EQ(h2, 0x12);
    EXPECT_EQ(data[0], 0xEE);

    // Above 14 is refused without a transfer or a wait.
    HIDCMDDelayMS = 100;
    DelayFlag = 1;
    sim::TraceReset();
    EXPECT_FALSE(HidRequests(hFile[0], true, HidReportId, h1, h2, data, 15));
    EXPECT_FALSE(HidRequests(hFile[0], false, HidReportId, h1, h2, data, 15));
    EXPECT_TRUE(Events().empty());

    // A failed fetch hands nothing back.
    hub->faults.getFail = sim::FaultWindow::Always();
    h1 = h2 = 0x55;
    EXPECT_FALSE(HidRequests(hFile[0], false, HidReportId, h1, h2, data, 3));
    EXPECT_EQ(h1, 0x55);
    EXPECT_EQ(data[0], 0xEE);
}

}  // namespace
