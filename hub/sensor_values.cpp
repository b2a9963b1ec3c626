#include "hub/sensor_values.h"

#include "common/clock.h"
#include "hub/hub_slot.h"
#include "hub/transport.h"

namespace {

// Request for sensorId, 50 ms, reply, 20 ms. A reply that cannot be fetched
// reads as one that echoes the request with zero data.
HidReport QuerySensor(std::uint8_t hub, std::uint8_t sensorId)
{
    const HidHandle handle = LinkHubHandle(hub);
    (void)SendReport(handle, MakeRequest(HidCmdGetSensorValue, sensorId));
    SleepMs(50);
    HidReport reply{};
    reply[0] = HidReportId;
    reply[1] = HidCmdGetSensorValue;
    reply[2] = sensorId;
    (void)FetchReport(handle, reply);  // a failed fetch leaves the prepared reply
    SleepMs(20);
    return reply;
}

bool EchoesRequest(const HidReport& reply, std::uint8_t sensorId)
{
    return reply[1] == HidCmdGetSensorValue && reply[2] == sensorId;
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
    const HidReport reply = QuerySensor(hub, sensorId);
    const float vx = Scale(DecodeAxisWord(Word(reply, 3)), sensorId);
    const float vy = Scale(DecodeAxisWord(Word(reply, 5)), sensorId);
    const float vz = Scale(DecodeAxisWord(Word(reply, 7)), sensorId);
    const bool ok = EchoesRequest(reply, sensorId);
    if (x != nullptr) *x = ok ? vx : 0.0f;
    if (y != nullptr) *y = ok ? vy : 0.0f;
    if (z != nullptr) *z = ok ? vz : 0.0f;
    return ok ? 0 : 1;
}

std::uint8_t GetSensorValueCustom2(std::uint8_t hub, std::uint8_t sensorId, std::int32_t* a, std::int32_t* b,
                                   std::int32_t* c)
{
    const HidReport reply = QuerySensor(hub, sensorId);
    const bool ok = EchoesRequest(reply, sensorId);
    if (a != nullptr) *a = ok ? Int32(reply, 3) : 0;
    if (b != nullptr) *b = ok ? Int32(reply, 7) : 0;
    if (c != nullptr) *c = ok ? Int32(reply, 11) : 0;
    return ok ? 0 : 1;
}

std::int16_t GetAngle(std::uint8_t hub)
{
    const HidHandle handle = LinkHubHandle(hub);
    if (handle == kNoHidHandle) return AngleInvalid;
    (void)SendReport(handle, MakeRequest(HidCmdGetSensorValue, SensorIdAcc2));
    SleepMs(50);
    HidReport reply{};
    reply[0] = HidReportId;
    const bool fetched = FetchReport(handle, reply);
    SleepMs(20);
    const std::int16_t counts = fetched ? static_cast<std::int16_t>(Word(reply, 13)) : std::int16_t{0};
    // |counts| x 0.2238 stays below 7334, so the truncated value fits.
    return static_cast<std::int16_t>(static_cast<double>(counts) * kAngleScale);
}
