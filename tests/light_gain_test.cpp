// Light and colour gain commands and their readings through the stand-in.
#include "hub/light_gain.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "hub/transport.h"
#include "sim_fixture.h"

namespace {

using sim::FaultWindow;
using simtest::SimFixture;

using Rgb = std::array<std::uint16_t, 3>;

std::string Hex(const HidReport& r)
{
    return sim::HexBytes(r.data(), r.size());
}

std::string ValueRequest(std::uint8_t sensorId)
{
    return "SET " + Hex(MakeRequest(HidCmdGetSensorValue, sensorId));
}

class LightGain : public SimFixture {
protected:
    void SetUp() override
    {
        SimFixture::SetUp();
        hub = ConnectHub();
    }

    // Colour replies in fetch order; nullopt: that fetch fails. Past the end
    // the replies read zeros.
    void ScriptColor(std::vector<std::optional<Rgb>> script)
    {
        std::vector<Rgb> values;
        for (std::size_t i = 0; i < script.size(); ++i) {
            if (script[i]) {
                values.push_back(*script[i]);
            } else {
                // getCount is 1-based and counts only colour fetches here.
                failing.push_back(static_cast<int>(i) + 1);
            }
        }
        hub->SetCommand(
            HidCmdGetSensorValue,
            {nullptr, [values, n = std::size_t{0}](sim::SimHub&, const HidReport& request, HidReport& reply) mutable {
                 sim::SimHub::DefaultReply(request, reply);
                 const Rgb v = n < values.size() ? values[n] : Rgb{0, 0, 0};
                 ++n;
                 for (std::size_t c = 0; c < 3; ++c) {
                     reply[3 + 2 * c] = static_cast<std::uint8_t>(v[c] & 0xFFu);
                     reply[4 + 2 * c] = static_cast<std::uint8_t>(v[c] >> 8);
                 }
             }});
        // Fail exactly the scripted fetches, which form one run.
        if (!failing.empty() && failing.back() - failing.front() + 1 != static_cast<int>(failing.size()))
            ADD_FAILURE() << "the failed fetches of a script must be one run";
        if (!failing.empty()) hub->faults.getFail = {failing.front(), static_cast<int>(failing.size())};
    }

    std::shared_ptr<sim::SimHub> hub;
    std::vector<int> failing;
};

TEST_F(LightGain, LightReadOnlyEndsAtTheFirstNonZeroReading)
{
    hub->SetLightReading(250);
    hub->lightZeroFetches = 3;
    EXPECT_EQ(SetAmbientLightGain(0, 0, 0), 250);
    const std::string zero = "GET 5a0004" + std::string(28, '0');
    const std::string reading = "GET 5a0004000000000000fa00" + std::string(12, '0');
    EXPECT_EQ(Events(), (std::vector<std::string>{ValueRequest(SensorIdAmbientLight), "SLEEP 50", zero, "SLEEP 20",
                                                  zero, "SLEEP 20", zero, "SLEEP 20", reading, "SLEEP 20"}));
    EXPECT_EQ(hub->gainRequests, 0);
}

TEST_F(LightGain, LightWithoutReadingPollsTheWholeBudget)
{
    EXPECT_EQ(SetAmbientLightGain(0, 0, 0), 0);
    EXPECT_EQ(Events({"SET"}).size(), 10u);
    EXPECT_EQ(Events({"GET"}).size(), 100u);
    EXPECT_EQ(SleptMs(), 2500u);

    // Failed fetches give no reading: the same budget.
    Restart();
    hub = ConnectHub();
    hub->SetLightReading(250);
    hub->faults.getFail = FaultWindow::Always();
    EXPECT_EQ(SetAmbientLightGain(0, 0, 0), 0);
    EXPECT_EQ(Events({"GET FAIL"}).size(), 100u);
    EXPECT_EQ(SleptMs(), 2500u);

    // Replies that answer another request carry no reading either, for the
    // light sensor and for the colour channels.
    for (const bool wrongEcho : {true, false}) {
        SCOPED_TRACE(wrongEcho ? "wrong echo" : "other command");
        Restart();
        hub = ConnectHub();
        hub->SetLightReading(250);
        hub->SetColorValues(1, 2, 3);
        (wrongEcho ? hub->faults.wrongEcho : hub->faults.replyCommand) = FaultWindow::Always();
        EXPECT_EQ(SetAmbientLightGain(0, 0, 0), 0);
        const std::uint16_t gains[6] = {};
        std::uint16_t out[3] = {9, 9, 9};
        SetColorSensorGain(0, gains, out, 1);
        EXPECT_EQ(Rgb({out[0], out[1], out[2]}), Rgb({0, 0, 0}));
        SetColorSensorGain(0, gains, out, 20);
        EXPECT_EQ(Rgb({out[0], out[1], out[2]}), Rgb({0, 0, 0}));
    }

    // A gain request that failed set no gain: no reading is taken after it.
    Restart();
    hub = ConnectHub();
    hub->SetLightReading(250);
    hub->faults.setFail = FaultWindow::FirstN(1);
    EXPECT_EQ(SetAmbientLightGain(0, 500, 250), 0);
    EXPECT_EQ(Events({"SET"}).size(), 1u);
}

TEST_F(LightGain, LightOnAnEmptySlot)
{
    hFile[0] = kNoHidHandle;
    // With a gain to send: nothing at all.
    EXPECT_EQ(SetAmbientLightGain(0, 1, 1), 0);
    EXPECT_TRUE(Events().empty());
    // Read only: the slot is not looked at, all ten requests are made; none
    // went out, so none is polled.
    EXPECT_EQ(SetAmbientLightGain(0, 0, 0), 0);
    EXPECT_EQ(Events({"SET FAIL"}).size(), 10u);
    EXPECT_TRUE(Events({"GET"}).empty());
    EXPECT_EQ(SleptMs(), 500u);
}

TEST_F(LightGain, LightGainRequestThenFiftyMs)
{
    hub->SetLightReading(380);
    EXPECT_EQ(SetAmbientLightGain(0, 400, 380), 400);  // the stand-in scales by 400/380
    const std::vector<std::string> events = Events();
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events[0],
              "SET 5a0104"
              "90017c01" +
                  std::string(20, '0'));
    EXPECT_EQ(events[1], "SLEEP 50");
    EXPECT_EQ(events[2], ValueRequest(SensorIdAmbientLight));
    EXPECT_EQ(SleptMs(), 120u);
    EXPECT_EQ(hub->lightGain.target, 400);
    EXPECT_EQ(hub->lightGain.raw, 380);

    // Only one word not 0 is enough to send the pair.
    sim::TraceReset();
    EXPECT_EQ(SetAmbientLightGain(0, 0, 7), 0);
    const std::vector<std::string> sets = Events({"SET"});
    ASSERT_FALSE(sets.empty());
    EXPECT_EQ(sets.front(),
              "SET 5a0104"
              "00000700" +
                  std::string(20, '0'));
}

TEST_F(LightGain, PacingBeforeEveryTransfer)
{
    HIDCMDDelayMS = 30;
    DelayFlag = 1;
    hub->SetLightReading(5);
    EXPECT_EQ(SetAmbientLightGain(0, 1, 1), 5);
    EXPECT_EQ(Events({"SLEEP"}),
              (std::vector<std::string>{"SLEEP 30", "SLEEP 50", "SLEEP 30", "SLEEP 50", "SLEEP 30", "SLEEP 20"}));
}

TEST_F(LightGain, ColorOneSampleNeedsAllThreeChannels)
{
    hub->SetColorValues(5, 6, 7);
    hub->colorZeroFetches = {0, 1, 0};
    const std::uint16_t gains[6] = {};
    std::uint16_t out[3] = {9, 9, 9};
    SetColorSensorGain(0, gains, out, 1);
    EXPECT_EQ(Rgb({out[0], out[1], out[2]}), Rgb({5, 6, 7}));
    EXPECT_EQ(Events(), (std::vector<std::string>{ValueRequest(SensorIdColorValue), "SLEEP 50",
                                                  "GET 5a000e050000000700" + std::string(16, '0'), "SLEEP 20",
                                                  "GET 5a000e050006000700" + std::string(16, '0'), "SLEEP 20"}));

    // A sample with a zero channel at the end is left in out.
    const struct {
        const char* name;
        std::array<int, 3> zeroFetches;
        FaultWindow setFail;
        std::size_t fetches;
    } cases[] = {
        {"a zero channel for the whole budget", {0, 1000, 0}, FaultWindow::Off(), 100},
        // A request that failed is not polled: the hub, still holding the
        // first request, would answer it with all three channels by now.
        {"requests that fail after the first", {0, 10, 0}, FaultWindow::From(2), 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Restart();
        hub = ConnectHub();
        hub->SetColorValues(5, 6, 7);
        hub->colorZeroFetches = c.zeroFetches;
        hub->faults.setFail = c.setFail;
        out[0] = out[1] = out[2] = 9;
        SetColorSensorGain(0, gains, out, 1);
        EXPECT_EQ(Rgb({out[0], out[1], out[2]}), Rgb({5, 0, 7}));
        EXPECT_EQ(Events({"GET"}).size(), c.fetches);
    }
}

TEST_F(LightGain, ColorWithGainsOnASilentHub)
{
    hub->SetColorValues(5, 6, 7);
    hub->faults.getFail = FaultWindow::Always();
    const std::uint16_t gains[6] = {1, 1, 1, 1, 1, 1};
    std::uint16_t out[3] = {9, 9, 9};
    SetColorSensorGain(0, gains, out, 1);
    EXPECT_EQ(Rgb({out[0], out[1], out[2]}), Rgb({0, 0, 0}));
    EXPECT_EQ(Events({"GET"}).size(), 100u);
    EXPECT_EQ(SleptMs(), 3500u);
}

TEST_F(LightGain, ColorCountOneOrLessTakesOneSample)
{
    hub->SetColorValues(1, 2, 3);
    const std::uint16_t gains[6] = {};
    for (std::int32_t count : {1, 0, -5}) {
        sim::TraceReset();
        std::uint16_t out[3] = {9, 9, 9};
        SetColorSensorGain(0, gains, out, count);
        EXPECT_EQ(Rgb({out[0], out[1], out[2]}), Rgb({1, 2, 3})) << count;
        EXPECT_EQ(SleptMs(), 70u) << count;
    }
}

TEST_F(LightGain, ColorGainRequestThenOneSecond)
{
    hub->SetColorValues(100, 200, 300);
    const std::uint16_t gains[6] = {1, 1, 1, 1, 1, 1};
    std::uint16_t out[3] = {};
    SetColorSensorGain(0, gains, out, 20);
    const std::vector<std::string> events = Events();
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events[0],
              "SET 5a010f"
              "010001000100010001000100"
              "0000");
    EXPECT_EQ(events[1], "SLEEP 1000");
    EXPECT_EQ(events[2], ValueRequest(SensorIdColorValue));
    // 1000 + 20 x (50 + 20 + 130), no early end.
    EXPECT_EQ(SleptMs(), 5000u);
    EXPECT_EQ(Events({"GET"}).size(), 20u);
    EXPECT_EQ(Rgb({out[0], out[1], out[2]}), Rgb({100, 200, 300}));

    // The six words in order R, G, B pairs, each low byte first.
    sim::TraceReset();
    const std::uint16_t pairs[6] = {900, 450, 800, 400, 0x1234, 350};
    SetColorSensorGain(0, pairs, out, 1);
    const std::vector<std::string> sets = Events({"SET"});
    ASSERT_FALSE(sets.empty());
    EXPECT_EQ(sets.front(),
              "SET 5a010f"
              "8403c201"
              "20039001"
              "34125e01"
              "0000");
    EXPECT_EQ(hub->colorGain[2].target, 0x1234);
}

TEST_F(LightGain, ColorAverages)
{
    const struct {
        const char* name;
        std::vector<std::optional<Rgb>> script;
        Rgb expected;
        FaultWindow setFail{};  // by set-feature number: sample requests that fail
    } cases[] = {
        // A sample that was not delivered is no sample, and no other stands
        // in for it: the average has no base, all three channels read 0.
        {"three failed fetches first",
         {std::nullopt,       std::nullopt,       std::nullopt,       Rgb{100, 200, 300}, Rgb{100, 200, 300},
          Rgb{100, 200, 300}, Rgb{100, 200, 300}, Rgb{100, 200, 300}, Rgb{100, 200, 300}, Rgb{100, 200, 300},
          Rgb{100, 200, 300}, Rgb{100, 200, 300}, Rgb{100, 200, 300}, Rgb{100, 200, 300}, Rgb{100, 200, 300},
          Rgb{100, 200, 300}, Rgb{100, 200, 300}, Rgb{100, 200, 300}, Rgb{100, 200, 300}, Rgb{100, 200, 300}},
         {0, 0, 0}},
        {"a failed fifth fetch",
         {Rgb{10, 20, 30}, Rgb{10, 20, 30}, Rgb{10, 20, 30}, Rgb{10, 20, 30}, std::nullopt},
         {0, 0, 0}},
        // The hub still holds the fourth request and answers the fifth
        // fetch with a sample: one that was not asked for.
        {"a failed fifth request", std::vector<std::optional<Rgb>>(20, Rgb{10, 20, 30}), {0, 0, 0}, {5, 1}},
        {"integer division", {Rgb{39, 40, 59}}, {1, 2, 2}},
        {"full-scale channels", std::vector<std::optional<Rgb>>(20, Rgb{65535, 65535, 1}), {65535, 65535, 1}},
    };
    const std::uint16_t gains[6] = {};
    for (const auto& c : cases) {
        Restart();
        hub = ConnectHub();
        failing.clear();
        ScriptColor(c.script);
        hub->faults.setFail = c.setFail;
        std::uint16_t out[3] = {9, 9, 9};
        SetColorSensorGain(0, gains, out, 20);
        EXPECT_EQ(Rgb({out[0], out[1], out[2]}), c.expected) << c.name;
        EXPECT_EQ(Events({"GET"}).size(), 20u) << c.name;
        EXPECT_EQ(SleptMs(), 4000u) << c.name;
    }
}

TEST_F(LightGain, ColorOnAnEmptySlotWithGainsLeavesOut)
{
    hFile[0] = kNoHidHandle;
    const std::uint16_t gains[6] = {0, 0, 0, 0, 0, 1};
    std::uint16_t out[3] = {4, 5, 6};
    SetColorSensorGain(0, gains, out, 20);
    EXPECT_EQ(Rgb({out[0], out[1], out[2]}), Rgb({4, 5, 6}));
    EXPECT_TRUE(Events().empty());
}

TEST_F(LightGain, StandInScalesLaterReadings)
{
    hub->SetColorValues(450, 400, 350);
    hub->SetLightReading(250);
    const std::uint16_t gains[6] = {900, 450, 800, 400, 700, 350};
    std::uint16_t out[3] = {};
    SetColorSensorGain(0, gains, out, 1);
    EXPECT_EQ(Rgb({out[0], out[1], out[2]}), Rgb({900, 800, 700}));
    EXPECT_EQ(SetAmbientLightGain(0, 500, 250), 500);

    // Gains taken but not applied.
    hub->colorGainsApply = false;
    hub->lightGainsApply = false;
    SetColorSensorGain(0, gains, out, 1);
    EXPECT_EQ(Rgb({out[0], out[1], out[2]}), Rgb({450, 400, 350}));
    EXPECT_EQ(SetAmbientLightGain(0, 500, 250), 250);
    EXPECT_EQ(hub->gainRequests, 4);
}

}  // namespace
