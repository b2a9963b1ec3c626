#include "hub/light_gain.h"

#include "common/clock.h"
#include "hub/hub_slot.h"
#include "hub/transport.h"

namespace {

constexpr int kValueRequests = 10;      // value requests per read
constexpr int kFetchesPerRequest = 10;  // fetches after each value request
constexpr std::uint32_t kLightGainWaitMs = 50;
constexpr std::uint32_t kColorGainWaitMs = 1000;
constexpr std::uint32_t kAfterRequestMs = 50;
constexpr std::uint32_t kAfterFetchMs = 20;
constexpr std::uint32_t kAfterSampleMs = 130;

void PutWord(HidReport& report, std::size_t at, std::uint16_t word)
{
    report[at] = static_cast<std::uint8_t>(word & 0xFFu);
    report[at + 1] = static_cast<std::uint8_t>(word >> 8);
}

std::uint16_t Word(const HidReport& report, std::size_t at)
{
    return static_cast<std::uint16_t>(report[at] | (report[at + 1] << 8));
}

// One fetch of a value reply for sensorId; false when it could not be
// fetched or answers another request (it then carries no reading).
bool FetchValue(HidHandle handle, std::uint8_t sensorId, HidReport& reply)
{
    reply = HidReport{};
    reply[0] = HidReportId;
    return FetchAnswer(handle, reply, HidCmdGetSensorValue, sensorId);
}

// A sample of the three colour channels; false when none was delivered.
bool TakeColorSample(HidHandle handle, std::uint16_t sample[3])
{
    HidReport reply;
    if (!FetchValue(handle, SensorIdColorValue, reply)) return false;
    sample[0] = Word(reply, 3);
    sample[1] = Word(reply, 5);
    sample[2] = Word(reply, 7);
    return true;
}

}  // namespace

std::uint16_t SetAmbientLightGain(std::uint8_t hub, std::uint16_t target, std::uint16_t raw)
{
    const HidHandle handle = LinkHubHandle(hub);
    if (target != 0 || raw != 0) {
        if (handle == kNoHidHandle) return 0;
        HidReport request = MakeRequest(HidCmdSetSensorGain, SensorIdAmbientLight);
        PutWord(request, 3, target);
        PutWord(request, 5, raw);
        // No reply follows a gain request. One that never went out set no
        // gain, and a reading taken after it would be taken with another.
        const bool sent = SendReport(handle, request);
        SleepMs(kLightGainWaitMs);
        if (!sent) return 0;
    }
    for (int r = 0; r < kValueRequests; ++r) {
        const bool sent = SendReport(handle, MakeRequest(HidCmdGetSensorValue, SensorIdAmbientLight));
        SleepMs(kAfterRequestMs);
        if (!sent) continue;
        for (int f = 0; f < kFetchesPerRequest; ++f) {
            HidReport reply;
            const std::uint16_t reading =
                FetchValue(handle, SensorIdAmbientLight, reply) ? Word(reply, 9) : std::uint16_t{0};
            SleepMs(kAfterFetchMs);
            if (reading != 0) return reading;
        }
    }
    return 0;
}

void SetColorSensorGain(std::uint8_t hub, const std::uint16_t gains[6], std::uint16_t out[3], std::int32_t count)
{
    const HidHandle handle = LinkHubHandle(hub);
    bool anyGain = false;
    for (int i = 0; i < 6; ++i) anyGain = anyGain || gains[i] != 0;
    if (anyGain) {
        if (handle == kNoHidHandle) return;  // out stays as it was
        HidReport request = MakeRequest(HidCmdSetSensorGain, SensorIdColor);
        for (std::size_t i = 0; i < 6; ++i) PutWord(request, 3 + 2 * i, gains[i]);
        const bool sent = SendReport(handle, request);
        SleepMs(kColorGainWaitMs);
        if (!sent) {
            for (int c = 0; c < 3; ++c) out[c] = 0;  // no gain was set: no reading
            return;
        }
    }

    std::uint16_t sample[3] = {0, 0, 0};
    if (count <= 1) {
        for (int r = 0; r < kValueRequests; ++r) {
            const bool sent = SendReport(handle, MakeRequest(HidCmdGetSensorValue, SensorIdColorValue));
            SleepMs(kAfterRequestMs);
            if (!sent) continue;
            for (int f = 0; f < kFetchesPerRequest; ++f) {
                (void)TakeColorSample(handle, sample);
                SleepMs(kAfterFetchMs);
                for (int c = 0; c < 3; ++c) out[c] = sample[c];
                if (sample[0] != 0 && sample[1] != 0 && sample[2] != 0) return;
            }
        }
        return;  // out holds the last sample
    }

    // Every sample is added. A sample that was not delivered (its request
    // failed, or no reply answered it) leaves the average without a base:
    // all three channels then read 0, no data. count stays at or below
    // 32768, so the sums of 16-bit values fit.
    std::int32_t sums[3] = {0, 0, 0};
    bool complete = true;
    for (std::int32_t i = 0; i < count; ++i) {
        const bool sent = SendReport(handle, MakeRequest(HidCmdGetSensorValue, SensorIdColorValue));
        SleepMs(kAfterRequestMs);
        complete = TakeColorSample(handle, sample) && sent && complete;
        SleepMs(kAfterFetchMs);
        for (int c = 0; c < 3; ++c) sums[c] += sample[c];
        SleepMs(kAfterSampleMs);
    }
    for (int c = 0; c < 3; ++c) out[c] = complete ? static_cast<std::uint16_t>(sums[c] / count) : std::uint16_t{0};
}
