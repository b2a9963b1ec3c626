// The hub model's calibrate command (0x04): per sensor, a number of busy
// fetches, then a status; the calibrate parameters carried back in the
// reply; the sensor's values after each request; and the time a request
// keeps the hub at work.
#include <algorithm>
#include <cmath>

#include "sim/sim_hub.h"
#include "sim/virtual_clock.h"

namespace sim {

namespace {

constexpr std::size_t kParamAt = 3;       // reply byte of the parameters' byte 0
constexpr std::size_t kParamLength = 13;  // reply bytes 3-15
constexpr std::size_t kStatusByte = 6;
constexpr std::size_t kAverageByte = 13;
constexpr std::uint8_t kBusy = 0xCC;

// Item k (1-based) of a list taken in turn; the last item stays.
template <typename T>
const T& InTurn(const std::vector<T>& items, int k)
{
    const std::size_t i = static_cast<std::size_t>(std::max(k, 1) - 1);
    return items[std::min(i, items.size() - 1)];
}

std::int32_t ToInt32(double value)
{
    return static_cast<std::int32_t>(std::clamp(std::round(value), -2147483648.0, 2147483647.0));
}

}  // namespace

void SimHub::RegisterCalibrateCommands()
{
    commands[HidCmdCalibrate] = {&SimHub::OnCalibrateRequest, &SimHub::OnCalibrateReply};
}

// Counts the request and puts the sensor's values after it in place.
void SimHub::OnCalibrateRequest(const HidReport& request)
{
    const std::uint8_t sensorId = request[2];
    const int k = ++calibrateRequests[sensorId];
    auto it = calibrations.find(sensorId);
    if (it == calibrations.end() || it->second.after.empty()) return;
    const std::array<double, 3>& v = InTurn(it->second.after, k);
    if (sensorId == SensorIdCustom2)
        SetCustom2Values(ToInt32(v[0]), ToInt32(v[1]), ToInt32(v[2]));
    else
        SetAxisValues(sensorId, v[0], v[1], v[2]);
}

// Bytes 1-2 echo 4 and the SensorId; bytes 3-15 the request's parameters
// (or the configured reply bytes), bytes 13-15 the average when one is set,
// byte 6 the status: busy for the first fetches after the request, then the
// sensor's status. Bytes past the reply length read 0.
void SimHub::OnCalibrateReply(const HidReport& request, HidReport& reply)
{
    DefaultReply(request, reply);
    std::copy(request.begin() + kParamAt, request.begin() + kParamAt + kParamLength, reply.begin() + kParamAt);
    const std::uint8_t sensorId = request[2];
    auto it = calibrations.find(sensorId);
    if (it == calibrations.end()) return;
    const Calibration& c = it->second;
    const int k = calibrateRequests[sensorId];
    if (pollCount == 1 && c.attemptMs > 0) AdvanceVirtualClock(c.attemptMs);
    if (c.reply.size() == kParamLength) std::copy(c.reply.begin(), c.reply.end(), reply.begin() + kParamAt);
    if (c.average >= 0) {
        const auto average = static_cast<std::uint32_t>(c.average);
        for (std::size_t i = 0; i < 3; ++i)
            reply[kAverageByte + i] = static_cast<std::uint8_t>((average >> (8 * i)) & 0xFFu);
    }
    const bool busy = !c.busyFetches.empty() && pollCount <= InTurn(c.busyFetches, k);
    reply[kStatusByte] = busy ? kBusy : (c.status.empty() ? std::uint8_t{0} : InTurn(c.status, k));
    const std::size_t length = static_cast<std::size_t>(std::clamp(c.replyLength, 1, 17));
    std::fill(reply.begin() + static_cast<std::ptrdiff_t>(length), reply.end(), std::uint8_t{0});
}

}  // namespace sim
