#include "procedures/light_calibration.h"

#include <cmath>

#include "common/output.h"
#include "common/state.h"
#include "hub/light_gain.h"

namespace {

constexpr int kAttempts = 3;
constexpr float kErrorRateLimit = 20.0f;  // percent, inclusive
constexpr std::int32_t kRawSamples = 20;

// |reading - reference| x 100 / reference in percent, taken in double from
// the integers and rounded to float. reference is not 0.
float ErrorRate(std::uint16_t reading, std::uint16_t reference)
{
    const double difference = std::fabs(static_cast<double>(reading) - static_cast<double>(reference));
    return static_cast<float>(difference * 100.0 / static_cast<double>(reference));
}

// reference x 100 / raw in percent, in double and rounded to float. raw is not 0.
float Transmittance(std::uint16_t reference, std::uint16_t raw)
{
    return static_cast<float>(static_cast<double>(reference) * 100.0 / static_cast<double>(raw));
}

}  // namespace

std::uint8_t DoAmbientLightCalibration(std::uint8_t hub, std::uint16_t lux)
{
    if (lux == 0) {
        PrintBoth("Fail - No Input Lux Value\r\n");
        return 3;
    }
    float rate = 0.0f;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const std::uint16_t raw = SetAmbientLightGain(hub, 1, 1);
        if (raw == 0) {
            PrintBoth("Fail - No data\r\n");
            return 2;
        }
        // A new reading of 0 is no error of its own: it fails through its rate.
        const std::uint16_t reading = SetAmbientLightGain(hub, lux, raw);
        rate = ErrorRate(reading, lux);
        if (rate <= kErrorRateLimit) {
            PrintBoth("Pass.\r\n");
            return 0;
        }
    }
    PrintBoth("Fail - ErrorRate=%3.2f%%.\r\n", static_cast<double>(rate));
    return 1;
}

std::uint8_t DoColorSensorCalibration(std::uint8_t hub, const std::uint16_t ref[3])
{
    // A calibration that fails leaves no transmittances: the report must
    // not show those of an attempt or a calibration before it.
    if (ref[0] == 0 || ref[1] == 0 || ref[2] == 0) {
        PrintBoth("Fail - No Input ColorRGB Value\r\n");
        for (float& t : ColorTransmittance) t = 0.0f;
        return 3;
    }
    // Unity at first; each later attempt takes its raw samples with the
    // pairs (reference, raw) that the attempt before it set.
    std::uint16_t gains[6] = {1, 1, 1, 1, 1, 1};
    float rates[3] = {0.0f, 0.0f, 0.0f};
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        std::uint16_t raw[3] = {0, 0, 0};
        SetColorSensorGain(hub, gains, raw, kRawSamples);
        if (raw[0] == 0 || raw[1] == 0 || raw[2] == 0) {
            PrintBoth("Fail - No data\r\n");
            for (float& t : ColorTransmittance) t = 0.0f;
            return 2;
        }
        for (int c = 0; c < 3; ++c) {
            gains[2 * c] = ref[c];
            gains[2 * c + 1] = raw[c];
        }
        std::uint16_t reading[3] = {0, 0, 0};
        SetColorSensorGain(hub, gains, reading, 1);
        bool pass = true;
        for (int c = 0; c < 3; ++c) {
            rates[c] = ErrorRate(reading[c], ref[c]);
            ColorTransmittance[c] = Transmittance(ref[c], raw[c]);
            pass = pass && rates[c] <= kErrorRateLimit;
        }
        if (pass) {
            PrintBoth("Pass.\r\n");
            return 0;
        }
    }
    PrintBoth("Fail - ColorR_ErrorRate=%3.2f%%, ColorG_ErrorRate=%3.2f%% ,ColorB_ErrorRate=%3.2f%%.\r\n",
              static_cast<double>(rates[0]), static_cast<double>(rates[1]), static_cast<double>(rates[2]));
    for (float& t : ColorTransmittance) t = 0.0f;
    return 1;
}
