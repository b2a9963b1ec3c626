#include "hub/sensor_values.h"

#include "common/clock.h"
#include "hub/hub_slot.h"
#include "hub/transport.h"

namespace {

// Request for sensorId, 50 ms, reply, 20 ms. True when the request went out
// and a reply was fetched that answers it (echoes 0 and sensorId); reply
// then holds it.
bool QuerySensor(std::uint8_t hub, std::uint8_t sensorId, HidReport& reply)
{
    const HidHandle handle = LinkHubHandle(hub);
    const bool sent = SendReport(handle, MakeRequest(HidCmdGetSensorValue, sensorId));
    SleepMs(50);
    reply = HidReport{};
    reply[0] = HidReportId;
    const bool answered = FetchAnswer(handle, reply, HidCmdGetSensorValue, sensorId);
    SleepMs(20);
    return sent && answered;
}

std::uint16_t Word(const HidReport& reply, std::size_t at)
{
    return static_cast<std::uint16_t>(reply[at] | (reply[at + 1] << 8));
}

std::int32_t Int32(const HidReport& reply, std::size_t at)
{
    const std::uint32_t raw = static_cast<std::uint32_t>(reply[at]) | (static_cast<std::uint32_t>(reply[at + 1]) << 8) |
                              (static_cast<std::uint32_t>(reply[at + 2]) << 16) |
                              (static_cast<std::uint32_t>(reply[at + 3]) << 24);
    return static_cast<std::int32_t>(raw);
}

float Scale(std::int16_t value, std::uint8_t sensorId)
{
    if (sensorId == SensorIdGyro) return static_cast<float>(static_cast<double>(value) * kGyroScale);
    return static_cast<float>(value) * kAccScale;
}

}  // namespace

std::int16_t DecodeAxisWord(std::uint16_t word)
{
    if (word == 0) return 0;
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(~word));
}

std::uint8_t GetSensorValue3D(std::uint8_t hub, std::uint8_t sensorId, float* x, float* y, float* z)
{
    HidReport reply{};
    const bool ok = QuerySensor(hub, sensorId, reply);
    const float vx = Scale(DecodeAxisWord(Word(reply, 3)), sensorId);
    const float vy = Scale(DecodeAxisWord(Word(reply, 5)), sensorId);
    const float vz = Scale(DecodeAxisWord(Word(reply, 7)), sensorId);
    if (x != nullptr) *x = ok ? vx : 0.0f;
    if (y != nullptr) *y = ok ? vy : 0.0f;
    if (z != nullptr) *z = ok ? vz : 0.0f;
    return ok ? 0 : 1;
}

std::uint8_t GetSensorValueCustom2(std::uint8_t hub, std::uint8_t sensorId, std::int32_t* a, std::int32_t* b,
                                   std::int32_t* c)
{
    HidReport reply{};
    const bool ok = QuerySensor(hub, sensorId, reply);
    if (a != nullptr) *a = ok ? Int32(reply, 3) : 0;
    if (b != nullptr) *b = ok ? Int32(reply, 7) : 0;
    if (c != nullptr) *c = ok ? Int32(reply, 11) : 0;
    return ok ? 0 : 1;
}

std::int16_t GetAngle(std::uint8_t hub)
{
    if (LinkHubHandle(hub) == kNoHidHandle) return AngleInvalid;
    // An angle that the hub did not send is no angle: it must never read as
    // one that lies in a range.
    HidReport reply{};
    if (!QuerySensor(hub, SensorIdAcc2, reply)) return AngleInvalid;
    const auto counts = static_cast<std::int16_t>(Word(reply, 13));
    // |counts| x 0.2238 stays below 7334, so the truncated value fits.
    return static_cast<std::int16_t>(static_cast<double>(counts) * kAngleScale);
}
