#include "hub/inventory.h"

#include "common/clock.h"
#include "common/output.h"
#include "common/state.h"
#include "hub/hub_memory.h"
#include "hub/hub_slot.h"
#include "hub/transport.h"

namespace {

// Reads the byte at a hub address into working; a failed read leaves it.
void ReadInto(std::uint8_t hub, std::uint32_t address, std::uint8_t& working)
{
    (void)WinDebugReadRegByte(hub, static_cast<int>((address >> 16) & 0xFFu), static_cast<int>((address >> 8) & 0xFFu),
                              static_cast<int>(address & 0xFFu), &working);
}

}  // namespace

void CheckSensors(std::uint8_t hub)
{
    std::uint8_t working = 0;
    for (int slot = 0; slot < kSensorListSize; ++slot) {
        ReadInto(hub, RegSensorSlot + 4u * static_cast<std::uint32_t>(slot), working);
        SensorList[slot] = (working != 0x00 && working != 0xFF) ? SensorPresent : SensorAbsent;
    }
    if (SensorList[SensorSlotAcc1] == SensorPresent && SensorList[SensorSlotCompass] == SensorPresent &&
        SensorList[SensorSlotGyro] == SensorPresent) {
        ReadInto(hub, RegFusionVariant, working);
        if (working == kFusionVariantMark) SensorList[SensorSlotGyro] = GyroVariant;
    }
    SleepMs(20);

    // Colour probe: no wait after its fetch.
    const HidHandle handle = LinkHubHandle(hub);
    (void)SendReport(handle, MakeRequest(HidCmdGetSensorValue, SensorIdColor));
    SleepMs(50);
    HidReport reply{};
    reply[0] = HidReportId;
    const bool fetched = FetchReport(handle, reply);
    ColorSensorFlag = (fetched && (reply[3] != 0 || reply[4] != 0 || reply[5] != 0 || reply[6] != 0)) ? 1 : 0;
}

std::uint8_t CheckSensorExist(std::uint8_t hub)
{
    const HidHandle handle = LinkHubHandle(hub);
    if (handle == kNoHidHandle) return 0xFF;

    (void)SendReport(handle, MakeRequest(HidCmdGetSensorStatus, 0));
    SleepMs(50);
    HidReport reply{};
    reply[0] = HidReportId;
    const bool fetched = FetchReport(handle, reply);
    SleepMs(20);

    const int count = fetched ? reply[3] : 0;
    const std::uint32_t okMask =
        fetched ? (static_cast<std::uint32_t>(reply[4]) | (static_cast<std::uint32_t>(reply[5]) << 8)) : 0u;
    PrintBoth("The number of sensor is %d.\r\n", count);

    int failing = 0;
    for (int entry = 0; entry < count; ++entry) {
        if (entry == 2 && SensorList[SensorSlotGyro] == GyroVariant) continue;
        if (entry < kStatusListMaskBits && (okMask & (1u << entry)) != 0) continue;
        if (entry < kStatusListIds) {
            PrintBoth("Error Sensor ID: 0x%02X\r\n", reply[6 + static_cast<std::size_t>(entry)]);
        } else {
            // The reply holds no sensor number for this entry (and past the
            // sixteenth no OK bit either): it counts as failing.
            PrintBoth("Error Sensor Entry: %d (no sensor ID in the reply)\r\n", entry);
        }
        ++failing;
    }
    return static_cast<std::uint8_t>(failing);
}
