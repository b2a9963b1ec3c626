#include "procedures/sensor_tests.h"

#include "common/output.h"
#include "hub/hub_memory.h"
#include "hub/light_gain.h"

namespace {

constexpr std::uint8_t kPSensorRunning = 0x10;
constexpr std::uint8_t kPSensorFailed = 0x11;
constexpr std::uint8_t kPSensorErrorNine = 9;

int High(std::uint32_t address)
{
    return static_cast<int>((address >> 16) & 0xFFu);
}
int Mid(std::uint32_t address)
{
    return static_cast<int>((address >> 8) & 0xFFu);
}
int Low(std::uint32_t address)
{
    return static_cast<int>(address & 0xFFu);
}

}  // namespace

std::uint8_t DoAmbientLightTest(std::uint8_t hub)
{
    const std::uint16_t reading = SetAmbientLightGain(hub, 0, 0);
    if (reading == 0) {
        PrintBoth("Fail - No data\r\n");
        return 1;
    }
    PrintBoth("Pass. (%u)\r\n", static_cast<unsigned>(reading));
    return 0;
}

std::uint8_t DoColorSensorTest(std::uint8_t hub)
{
    const std::uint16_t gains[6] = {0, 0, 0, 0, 0, 0};  // read only
    std::uint16_t rgb[3] = {0, 0, 0};
    SetColorSensorGain(hub, gains, rgb, 1);
    if (rgb[0] == 0 || rgb[1] == 0 || rgb[2] == 0) {
        PrintBoth("Fail - No data\r\n");
        return 1;
    }
    PrintBoth("Pass. (%d,%d,%d)\r\n", rgb[0], rgb[1], rgb[2]);
    return 0;
}

std::uint8_t DoPSensorTest(std::uint8_t hub)
{
    // Both reads write this byte only when they succeed.
    std::uint8_t state = 0;
    (void)WinDebugReadRegByte(hub, High(RegPSensorState), Mid(RegPSensorState), Low(RegPSensorState), &state);
    if (state == kPSensorFailed) {
        (void)WinDebugReadRegByte(hub, High(RegPSensorError), Mid(RegPSensorError), Low(RegPSensorError), &state);
        PrintBoth(state == kPSensorErrorNine ? "Fail.\r\n" : "Fail (other).\r\n");
        return 1;
    }
    if (state == kPSensorRunning) {
        if (CheckPSensorValue(hub)) {
            PrintBoth("Pass.\r\n");
            return 0;
        }
        PrintBoth("Fail (TimeOut).\r\n");
        return 1;
    }
    PrintBoth("Fail.\r\n");
    return 1;
}
