#include "hub/inventory.h"

#include "common/clock.h"
#include "common/output.h"
#include "common/state.h"
#include "hub/hub_memory.h"
#include "hub/hub_slot.h"
#include "hub/transport.h"

namespace {

// Reads the byte at a hub address into working; a failed read leaves it
// and gives false.
bool ReadInto(std::uint8_t hub, std::uint32_t address, std::uint8_t& working)
{
    return WinDebugReadRegByte(hub, static_cast<int>((address >> 16) & 0xFFu), static_cast<int>((address >> 8) & 0xFFu),
                               static_cast<int>(address & 0xFFu), &working);
}

}  // namespace

bool CheckSensors(std::uint8_t hub)
{
    // A presence byte that cannot be read says nothing about its sensor:
    // the slots are still filled as before, but the inventory has failed.
    bool complete = true;
    std::uint8_t working = 0;
    for (int slot = 0; slot < kSensorListSize; ++slot) {
        complete = ReadInto(hub, RegSensorSlot + 4u * static_cast<std::uint32_t>(slot), working) && complete;
        SensorList[slot] = (working != 0x00 && working != 0xFF) ? SensorPresent : SensorAbsent;
    }
    if (SensorList[SensorSlotAcc1] == SensorPresent && SensorList[SensorSlotCompass] == SensorPresent &&
        SensorList[SensorSlotGyro] == SensorPresent) {
        complete = ReadInto(hub, RegFusionVariant, working) && complete;
        if (working == kFusionVariantMark) SensorList[SensorSlotGyro] = GyroVariant;
    }
    SleepMs(20);

    // Colour probe: no wait after its fetch. Only a reply that answers the
    // probe tells whether the sensor is there.
    const HidHandle handle = LinkHubHandle(hub);
    const bool sent = SendReport(handle, MakeRequest(HidCmdGetSensorValue, SensorIdColor));
    SleepMs(50);
    HidReport reply{};
    reply[0] = HidReportId;
    const bool answered = FetchAnswer(handle, reply, HidCmdGetSensorValue, SensorIdColor) && sent;
    ColorSensorFlag = (answered && (reply[3] != 0 || reply[4] != 0 || reply[5] != 0 || reply[6] != 0)) ? 1 : 0;
    return complete && answered;
}

std::uint8_t CheckSensorExist(std::uint8_t hub)
{
    const HidHandle handle = LinkHubHandle(hub);
    if (handle == kNoHidHandle) return kSensorStatusUnread;

    const bool sent = SendReport(handle, MakeRequest(HidCmdGetSensorStatus, 0));
    SleepMs(50);
    HidReport reply{};
    reply[0] = HidReportId;
    const bool answered = FetchAnswer(handle, reply, HidCmdGetSensorStatus, 0);
    SleepMs(20);

    // A list that the hub did not send is no empty list.
    if (!sent || !answered) {
        PrintBoth("Get Sensor Status Fail!\r\n");
        return kSensorStatusUnread;
    }

    const int count = reply[3];
    const std::uint32_t okMask = static_cast<std::uint32_t>(reply[4]) | (static_cast<std::uint32_t>(reply[5]) << 8);
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
