// The hub model's link commands: sensor reports, the parameter-area query,
// the status list and the fusion-task lock.
#include <algorithm>
#include <cmath>

#include "sim/sim_hub.h"

namespace sim {

namespace {

constexpr std::uint32_t kSlotBase = 0x081243;
constexpr std::uint32_t kFusionVariantAddress = 0x08120D;
constexpr std::uint8_t kFusionVariantMark = 0x6D;

constexpr double kDegreesPerCount = 0.2238;

double CountsPerUnit(std::uint8_t sensorId)
{
    return sensorId == SensorIdGyro ? 1.0 / 0.22381 : 256.0;
}

std::int16_t ToCount(double value)
{
    const double rounded = std::round(value);
    return static_cast<std::int16_t>(std::clamp(rounded, -32768.0, 32767.0));
}

bool FitCount(double value, std::int16_t& count)
{
    const double rounded = std::round(value);
    if (!(rounded >= -32768.0 && rounded <= 32767.0)) return false;
    count = static_cast<std::int16_t>(rounded);
    return true;
}

void PutWord(std::array<std::uint8_t, 14>& data, std::size_t replyByte, std::uint16_t word)
{
    data[replyByte - 3] = static_cast<std::uint8_t>(word & 0xFFu);
    data[replyByte - 2] = static_cast<std::uint8_t>(word >> 8);
}

void PutInt32(std::array<std::uint8_t, 14>& data, std::size_t replyByte, std::int32_t value)
{
    const auto raw = static_cast<std::uint32_t>(value);
    for (std::size_t i = 0; i < 4; ++i) data[replyByte - 3 + i] = static_cast<std::uint8_t>(raw >> (8 * i));
}

}  // namespace

void SimHub::RegisterLinkCommands()
{
    commands[HidCmdGetSensorValue] = {nullptr, &SimHub::OnGetSensorValueReply};
    commands[HidCmdParameterBlock] = {nullptr, &SimHub::OnParameterBlockReply};
    commands[HidCmdGetSensorStatus] = {nullptr, &SimHub::OnGetSensorStatusReply};
    commands[HidCmdFusionTaskLock] = {&SimHub::OnFusionTaskLockRequest, nullptr};
    commands[HidCmdFusionTaskUnlock] = {&SimHub::OnFusionTaskUnlockRequest, nullptr};
}

std::uint16_t SimHub::AxisWord(std::int16_t count)
{
    return static_cast<std::uint16_t>(~static_cast<std::uint16_t>(count));
}

void SimHub::SetAxisCounts(std::uint8_t sensorId, std::int16_t x, std::int16_t y, std::int16_t z)
{
    std::array<std::uint8_t, 14>& data = sensorReports[sensorId];
    PutWord(data, 3, AxisWord(x));
    PutWord(data, 5, AxisWord(y));
    PutWord(data, 7, AxisWord(z));
}

void SimHub::SetAxisValues(std::uint8_t sensorId, double x, double y, double z)
{
    const double perUnit = CountsPerUnit(sensorId);
    SetAxisCounts(sensorId, ToCount(x * perUnit), ToCount(y * perUnit), ToCount(z * perUnit));
}

bool SimHub::AxisCount(std::uint8_t sensorId, double value, std::int16_t& count)
{
    return FitCount(value * CountsPerUnit(sensorId), count);
}

bool SimHub::AngleCount(double degrees, std::int16_t& count)
{
    return FitCount(degrees / kDegreesPerCount, count);
}

void SimHub::SetAngleCounts(std::int16_t counts)
{
    PutWord(sensorReports[SensorIdAcc2], 13, static_cast<std::uint16_t>(counts));
}

void SimHub::SetAngleDegrees(double degrees)
{
    SetAngleCounts(ToCount(degrees / kDegreesPerCount));
}

void SimHub::SetLightReading(std::uint16_t reading)
{
    PutWord(sensorReports[SensorIdAmbientLight], 9, reading);
}

void SimHub::SetColorValues(std::uint16_t r, std::uint16_t g, std::uint16_t b)
{
    for (std::uint8_t id : {SensorIdColorValue, SensorIdColor}) {
        std::array<std::uint8_t, 14>& data = sensorReports[id];
        PutWord(data, 3, r);
        PutWord(data, 5, g);
        PutWord(data, 7, b);
    }
}

void SimHub::SetCompassAccuracy(std::uint8_t accuracy)
{
    sensorReports[SensorIdCompassAccuracy][9 - 3] = accuracy;
}

void SimHub::SetCustom2Values(std::int32_t a, std::int32_t b, std::int32_t c)
{
    std::array<std::uint8_t, 14>& data = sensorReports[SensorIdCustom2];
    PutInt32(data, 3, a);
    PutInt32(data, 7, b);
    PutInt32(data, 11, c);
}

void SimHub::SetSlotByte(int slot, std::uint8_t value)
{
    Poke(kSlotBase + 4u * static_cast<std::uint32_t>(slot), value);
}

void SimHub::SetFusionVariant(bool on)
{
    Poke(kFusionVariantAddress, on ? kFusionVariantMark : std::uint8_t{0});
}

void SimHub::PokeParam(bool ram, std::uint32_t offset, const std::vector<std::uint8_t>& bytes)
{
    Poke((ram ? paramBufferAddr : paramEFlashAddr) + offset, bytes);
}

// Bytes 1-2 echo 0 and the SensorId; bytes 3-16 the sensor's report.
void SimHub::OnGetSensorValueReply(const HidReport& request, HidReport& reply)
{
    DefaultReply(request, reply);
    auto it = sensorReports.find(request[2]);
    if (it != sensorReports.end()) std::copy(it->second.begin(), it->second.end(), reply.begin() + 3);
    OnSelfTestSensorReport(request, reply);
    ApplyLightBehaviour(request, reply);
}

// Sub-command 0: bytes 1-2 echo 2 and 0 (byte 2 reads 1 when the query is not
// confirmed); 3-5 the eFlash address, 6-8 the RAM address, 9-10 the length.
// Sub-command 1: the save (sim/sim_hub_save.cpp). Others: the default reply.
void SimHub::OnParameterBlockReply(const HidReport& request, HidReport& reply)
{
    if (request[2] == ParameterBlockSaveToFlash) {
        OnSaveToFlashReply(request, reply);
        return;
    }
    DefaultReply(request, reply);
    if (request[2] != ParameterBlockGetAddr) return;
    if (!paramQueryConfirms) reply[2] = 1;
    for (std::size_t i = 0; i < 3; ++i) {
        reply[3 + i] = static_cast<std::uint8_t>(paramEFlashAddr >> (8 * i));
        reply[6 + i] = static_cast<std::uint8_t>(paramBufferAddr >> (8 * i));
    }
    reply[9] = static_cast<std::uint8_t>(paramLength & 0xFFu);
    reply[10] = static_cast<std::uint8_t>(paramLength >> 8);
}

// Byte 3 the count, 4-5 the OK mask, 6 to 15 the SensorIds of entries 0-9.
void SimHub::OnGetSensorStatusReply(const HidReport& request, HidReport& reply)
{
    DefaultReply(request, reply);
    std::uint32_t mask = 0;
    for (std::size_t i = 0; i < statusList.size() && i < 16; ++i)
        if (statusList[i].second) mask |= 1u << i;
    const std::size_t listed = std::min<std::size_t>(statusList.size(), 255);
    reply[3] = static_cast<std::uint8_t>(statusCount >= 0 ? statusCount : static_cast<int>(listed));
    if (statusMask >= 0) mask = static_cast<std::uint32_t>(statusMask);
    reply[4] = static_cast<std::uint8_t>(mask & 0xFFu);
    reply[5] = static_cast<std::uint8_t>((mask >> 8) & 0xFFu);
    for (std::size_t i = 0; i < statusList.size() && i < 10; ++i) reply[6 + i] = statusList[i].first;
}

void SimHub::OnFusionTaskLockRequest(const HidReport&)
{
    fusionLocked = true;
    ++fusionLocks;
}

void SimHub::OnFusionTaskUnlockRequest(const HidReport&)
{
    fusionLocked = false;
    ++fusionUnlocks;
}

}  // namespace sim
