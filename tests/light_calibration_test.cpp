// Light and colour gain calibration through the stand-in.
#include "procedures/light_calibration.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "common/state.h"
#include "hub/transport.h"
#include "sim_fixture.h"

namespace {

using simtest::SimFixture;

// The trace line of a gain request: sensor and gain words, low byte first.
std::string GainRequest(std::uint8_t sensorId, std::vector<std::uint16_t> words)
{
    HidReport r = MakeRequest(HidCmdSetSensorGain, sensorId);
    for (std::size_t i = 0; i < words.size(); ++i) {
        r[3 + 2 * i] = static_cast<std::uint8_t>(words[i] & 0xFFu);
        r[4 + 2 * i] = static_cast<std::uint8_t>(words[i] >> 8);
    }
    return "SET " + sim::HexBytes(r.data(), r.size());
}

// The gain requests of the trace.
std::vector<std::string> GainRequests()
{
    std::vector<std::string> gains;
    for (const std::string& e : sim::TraceEvents({"SET"}))
        if (e.rfind("SET 5a01", 0) == 0) gains.push_back(e);
    return gains;
}

class LightCalibration : public SimFixture {
protected:
    void SetUp() override
    {
        SimFixture::SetUp();
        hub = ConnectHub();
    }
    // Both channels carry the same words.
    void ExpectText(const std::string& text)
    {
        EXPECT_EQ(ConsoleText(), text);
        EXPECT_EQ(LogText(), text);
    }
    std::shared_ptr<sim::SimHub> hub;
};

TEST_F(LightCalibration, LightConvergesOnTheFirstAttempt)
{
    hub->SetLightReading(250);
    EXPECT_EQ(DoAmbientLightCalibration(0, 500), 0);
    ExpectText("Pass.\r\n");
    EXPECT_EQ(GainRequests(), (std::vector<std::string>{GainRequest(SensorIdAmbientLight, {1, 1}),
                                                        GainRequest(SensorIdAmbientLight, {500, 250})}));
    // Two reads with a gain, each answered at the first fetch.
    EXPECT_EQ(SleptMs(), 240u);
}

TEST_F(LightCalibration, LightErrorRateLimitIsInclusive)
{
    // The stand-in takes the gains but reads as before: the new reading is the raw one.
    const struct {
        std::uint16_t reading;
        std::uint8_t result;
        const char* text;
        std::size_t gainRequests;
    } cases[] = {
        {600, 0, "Pass.\r\n", 2},
        {400, 0, "Pass.\r\n", 2},
        {601, 1, "Fail - ErrorRate=20.20%.\r\n", 6},
        {399, 1, "Fail - ErrorRate=20.20%.\r\n", 6},
        {1, 1, "Fail - ErrorRate=99.80%.\r\n", 6},
        {65535, 1, "Fail - ErrorRate=13007.00%.\r\n", 6},
    };
    for (const auto& c : cases) {
        Restart();
        hub = ConnectHub();
        hub->lightGainsApply = false;
        hub->SetLightReading(c.reading);
        EXPECT_EQ(DoAmbientLightCalibration(0, 500), c.result) << c.reading;
        ExpectText(c.text);
        const std::vector<std::string> gains = GainRequests();
        EXPECT_EQ(gains.size(), c.gainRequests) << c.reading;
        // Every attempt starts again at unity and then sends (lux, raw).
        for (std::size_t i = 0; i + 1 < gains.size(); i += 2) {
            EXPECT_EQ(gains[i], GainRequest(SensorIdAmbientLight, {1, 1}));
            EXPECT_EQ(gains[i + 1], GainRequest(SensorIdAmbientLight, {500, c.reading}));
        }
    }
}

TEST_F(LightCalibration, NewLightReadingOfZeroIsRateHundred)
{
    // Readings only at unity gain.
    hub->SetCommand(HidCmdGetSensorValue, {nullptr, [](sim::SimHub& h, const HidReport& request, HidReport& reply) {
                        sim::SimHub::DefaultReply(request, reply);
                        if (h.lightGain.target == 1 && h.lightGain.raw == 1) reply[9] = 250;
                    }});
    EXPECT_EQ(DoAmbientLightCalibration(0, 500), 1);
    ExpectText("Fail - ErrorRate=100.00%.\r\n");
    // Each attempt: a first fetch with the raw reading, 100 without one.
    EXPECT_EQ(sim::TraceEvents({"GET"}).size(), 3u * 101u);
}

TEST_F(LightCalibration, LightInputAndDataFailures)
{
    hub->SetLightReading(250);
    EXPECT_EQ(DoAmbientLightCalibration(0, 0), 3);
    ExpectText("Fail - No Input Lux Value\r\n");
    EXPECT_TRUE(Events().empty());

    Restart();
    hub = ConnectHub();
    EXPECT_EQ(DoAmbientLightCalibration(0, 500), 2);  // no reading at unity
    ExpectText("Fail - No data\r\n");
    EXPECT_EQ(GainRequests().size(), 1u);

    // An empty slot: the link delivers nothing and sends nothing.
    Restart();
    hub = ConnectHub();
    hFile[0] = kNoHidHandle;
    EXPECT_EQ(DoAmbientLightCalibration(0, 500), 2);
    ExpectText("Fail - No data\r\n");
    EXPECT_TRUE(Events().empty());
}

TEST_F(LightCalibration, ColorConvergesAndRecordsTransmittance)
{
    hub->SetColorValues(450, 400, 350);
    const std::uint16_t ref[3] = {900, 800, 700};
    EXPECT_EQ(DoColorSensorCalibration(0, ref), 0);
    ExpectText("Pass.\r\n");
    EXPECT_EQ(ColorTransmittance[0], 200.0f);
    EXPECT_EQ(ColorTransmittance[1], 200.0f);
    EXPECT_EQ(ColorTransmittance[2], 200.0f);
    EXPECT_EQ(GainRequests(), (std::vector<std::string>{GainRequest(SensorIdColor, {1, 1, 1, 1, 1, 1}),
                                                        GainRequest(SensorIdColor, {900, 450, 800, 400, 700, 350})}));
    // 20 averaged samples after the unity gains, one sample after the pairs.
    EXPECT_EQ(SleptMs(), 5000u + 1070u);
}

TEST_F(LightCalibration, ColorTransmittanceInDoubleThenFloat)
{
    hub->SetColorValues(3, 7, 9);
    const std::uint16_t ref[3] = {1, 2, 65535};
    EXPECT_EQ(DoColorSensorCalibration(0, ref), 0);
    EXPECT_EQ(ColorTransmittance[0], static_cast<float>(100.0 / 3.0));
    EXPECT_EQ(ColorTransmittance[1], static_cast<float>(200.0 / 7.0));
    EXPECT_EQ(ColorTransmittance[2], static_cast<float>(6553500.0 / 9.0));
}

TEST_F(LightCalibration, ColorAttemptsBuildOnThePreviousGains)
{
    hub->colorGainsApply = false;
    hub->SetColorValues(450, 400, 350);
    ColorTransmittance[0] = 5.0f;
    const std::uint16_t ref[3] = {900, 800, 700};
    EXPECT_EQ(DoColorSensorCalibration(0, ref), 1);
    ExpectText("Fail - ColorR_ErrorRate=50.00%, ColorG_ErrorRate=50.00% ,ColorB_ErrorRate=50.00%.\r\n");
    const std::string pairs = GainRequest(SensorIdColor, {900, 450, 800, 400, 700, 350});
    // The second and third attempts take their raw samples with the pairs.
    EXPECT_EQ(GainRequests(), (std::vector<std::string>{GainRequest(SensorIdColor, {1, 1, 1, 1, 1, 1}), pairs, pairs,
                                                        pairs, pairs, pairs}));
    for (float t : ColorTransmittance) EXPECT_EQ(t, 0.0f);
}

TEST_F(LightCalibration, ColorOneChannelOutsideTheLimit)
{
    hub->colorGainsApply = false;
    hub->SetColorValues(450, 400, 350);
    const std::uint16_t ref[3] = {450, 481, 350};  // G: 81 x 100 / 481 = 16.84; all within
    EXPECT_EQ(DoColorSensorCalibration(0, ref), 0);
    EXPECT_EQ(ColorTransmittance[1], static_cast<float>(48100.0 / 400.0));

    Restart();
    hub = ConnectHub();
    hub->colorGainsApply = false;
    hub->SetColorValues(450, 400, 350);
    const std::uint16_t off[3] = {450, 400, 437};  // B: 87 x 100 / 437 = 19.908...; 438: 20.09
    EXPECT_EQ(DoColorSensorCalibration(0, off), 0);
    Restart();
    hub = ConnectHub();
    hub->colorGainsApply = false;
    hub->SetColorValues(450, 400, 350);
    const std::uint16_t out[3] = {450, 400, 438};
    EXPECT_EQ(DoColorSensorCalibration(0, out), 1);
    ExpectText("Fail - ColorR_ErrorRate=0.00%, ColorG_ErrorRate=0.00% ,ColorB_ErrorRate=20.09%.\r\n");
    for (float t : ColorTransmittance) EXPECT_EQ(t, 0.0f);
}

TEST_F(LightCalibration, ColorMissingReference)
{
    const std::array<std::uint16_t, 3> cases[] = {{0, 1, 1}, {1, 0, 1}, {1, 1, 0}};
    for (const auto& ref : cases) {
        Restart();
        hub = ConnectHub();
        hub->SetColorValues(450, 400, 350);
        EXPECT_EQ(DoColorSensorCalibration(0, ref.data()), 3);
        ExpectText("Fail - No Input ColorRGB Value\r\n");
        EXPECT_TRUE(Events().empty());
    }
}

TEST_F(LightCalibration, ColorNoDataLeavesNoTransmittance)
{
    // A calibration that ends without data leaves no transmittances for the
    // report: neither those of an earlier calibration ...
    hub->SetColorValues(450, 0, 350);
    ColorTransmittance[0] = 1.5f;
    ColorTransmittance[1] = 2.5f;
    ColorTransmittance[2] = 3.5f;
    const std::uint16_t ref[3] = {900, 800, 700};
    EXPECT_EQ(DoColorSensorCalibration(0, ref), 2);
    ExpectText("Fail - No data\r\n");
    for (float t : ColorTransmittance) EXPECT_EQ(t, 0.0f);

    // ... nor those of the attempt before (readings that stop after the
    // first attempt).
    Restart();
    hub = ConnectHub();
    hub->colorGainsApply = false;
    hub->SetColorValues(450, 400, 350);
    hub->faults.getFail = sim::FaultWindow::From(22);  // 20 averaged + 1 sample, then silence
    EXPECT_EQ(DoColorSensorCalibration(0, ref), 2);
    ExpectText("Fail - No data\r\n");
    for (float t : ColorTransmittance) EXPECT_EQ(t, 0.0f);

    // A missing reference leaves none either.
    ColorTransmittance[0] = 1.5f;
    const std::uint16_t noBlue[3] = {900, 800, 0};
    EXPECT_EQ(DoColorSensorCalibration(0, noBlue), 3);
    EXPECT_EQ(ColorTransmittance[0], 0.0f);
}

}  // namespace
