// The hub model's light, colour and proximity sensors: the gain command,
// gains applied to later readings, readings that start as 0, and proximity
// data that arrives after a number of polls.
#include <algorithm>

#include "sim/sim_hub.h"

namespace sim {

namespace {

constexpr std::uint32_t kPSensorDataAddress = 0x0805B6;

std::uint16_t Word(const HidReport& report, std::size_t at)
{
    return static_cast<std::uint16_t>(report[at] | (report[at + 1] << 8));
}

void PutWord(HidReport& report, std::size_t at, std::uint16_t word)
{
    report[at] = static_cast<std::uint8_t>(word & 0xFFu);
    report[at + 1] = static_cast<std::uint8_t>(word >> 8);
}

}  // namespace

void SimHub::RegisterLightCommands()
{
    commands[HidCmdSetSensorGain] = {&SimHub::OnSetSensorGainRequest, nullptr};
    // Keep whatever else a register read request does.
    RequestHandler previous = commands[HidCmdReadReg].request;
    commands[HidCmdReadReg].request = [previous](SimHub& hub, const HidReport& request) {
        if (previous) previous(hub, request);
        hub.OnLightReadRegRequest(request);
    };
}

std::uint16_t SimHub::ScaleReading(std::uint16_t value, const GainPair& gain)
{
    if (gain.raw == 0) return value;  // a pair without a raw word leaves the reading alone
    const std::uint64_t scaled = (std::uint64_t{value} * gain.target + gain.raw / 2u) / gain.raw;
    return static_cast<std::uint16_t>(std::min<std::uint64_t>(scaled, 0xFFFF));
}

// Byte 2 the sensor; the gain words from byte 3: light (target, raw), colour
// the R, G and B pairs. Other sensors take no gain.
void SimHub::OnSetSensorGainRequest(const HidReport& request)
{
    if (request[2] == SensorIdAmbientLight) {
        lightGain = {Word(request, 3), Word(request, 5)};
    } else if (request[2] == SensorIdColor) {
        for (std::size_t c = 0; c < 3; ++c) colorGain[c] = {Word(request, 3 + 4 * c), Word(request, 5 + 4 * c)};
    } else {
        return;
    }
    ++gainRequests;
}

void SimHub::ApplyLightBehaviour(const HidReport& request, HidReport& reply)
{
    if (request[2] == SensorIdAmbientLight) {
        ++lightFetches;
        std::uint16_t reading = Word(reply, 9);
        if (lightGainsApply) reading = ScaleReading(reading, lightGain);
        if (lightFetches <= lightZeroFetches) reading = 0;
        PutWord(reply, 9, reading);
    } else if (request[2] == SensorIdColorValue) {
        ++colorFetches;
        for (std::size_t c = 0; c < 3; ++c) {
            std::uint16_t value = Word(reply, 3 + 2 * c);
            if (colorGainsApply) value = ScaleReading(value, colorGain[c]);
            if (colorFetches <= colorZeroFetches[c]) value = 0;
            PutWord(reply, 3 + 2 * c, value);
        }
    }
}

// A read request that starts at the proximity data counts as one poll.
void SimHub::OnLightReadRegRequest(const HidReport& request)
{
    if (pSensorZeroReads < 0 || AddressOf(request) != kPSensorDataAddress) return;
    ++pSensorDataReads;
    const bool ready = pSensorDataReads > pSensorZeroReads;
    for (std::size_t i = 0; i < 2; ++i) {
        const std::uint16_t word = ready ? pSensorData[i] : std::uint16_t{0};
        Poke(kPSensorDataAddress + 2 * static_cast<std::uint32_t>(i),
             {static_cast<std::uint8_t>(word & 0xFFu), static_cast<std::uint8_t>(word >> 8)});
    }
}

}  // namespace sim
