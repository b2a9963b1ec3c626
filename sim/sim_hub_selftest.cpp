// The hub model's self test (0x03), its initialisation status and the
// compass accuracy that rises while the compass calibrates.
#include "sim/sim_hub.h"

namespace sim {

namespace {

constexpr std::uint32_t kInitStatusAddress = 0x081200;
constexpr std::uint32_t kSelfTestBusy = 0xCCCCCCCC;
constexpr std::uint8_t kWrongCommandEcho = 0x83;

}  // namespace

void SimHub::RegisterSelfTestCommands()
{
    commands[HidCmdSelfTest] = {&SimHub::OnSelfTestRequest, &SimHub::OnSelfTestReply};
}

void SimHub::SetInitStatus(std::uint8_t value)
{
    Poke(kInitStatusAddress, value);
}

void SimHub::OnSelfTestRequest(const HidReport& request)
{
    ++selfTests[request[2]].requests;
}

// Bytes 1-2 echo 3 and the SensorId; bytes 3-6 the status, low byte first.
void SimHub::OnSelfTestReply(const HidReport& request, HidReport& reply)
{
    DefaultReply(request, reply);
    SelfTestBehaviour& test = selfTests[request[2]];
    ++test.fetches;
    const bool busy = test.busyFetches < 0 || test.fetches <= test.busyFetches;
    const std::uint32_t status = busy ? kSelfTestBusy : test.status;
    for (std::size_t i = 0; i < 4; ++i) reply[3 + i] = static_cast<std::uint8_t>(status >> (8 * i));
    if (test.echo == SelfTestEcho::Command) reply[1] = kWrongCommandEcho;
    if (test.echo == SelfTestEcho::Sensor) reply[2] = static_cast<std::uint8_t>(request[2] + 1);
}

// The accuracy report's byte 9 from the steps, when there are any.
void SimHub::OnSelfTestSensorReport(const HidReport& request, HidReport& reply)
{
    if (request[2] != SensorIdCompassAccuracy || compassAccuracySteps.empty()) return;
    const std::size_t step = static_cast<std::size_t>(compassAccuracyFetches);
    reply[9] = compassAccuracySteps[step < compassAccuracySteps.size() ? step : compassAccuracySteps.size() - 1];
    ++compassAccuracyFetches;
}

}  // namespace sim
