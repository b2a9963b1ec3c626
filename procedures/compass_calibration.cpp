#include "procedures/compass_calibration.h"

#include "common/clock.h"
#include "common/output.h"
#include "hub/hub_slot.h"
#include "hub/inventory.h"
#include "hub/transport.h"

namespace {

constexpr int kAccuracyPolls = 30;
constexpr std::uint8_t kCompassCaliParam2 = 0x80;  // calibrate-parameter byte 2 of the compass request
constexpr std::size_t kAccuracyByte = 9;           // low four bits: the compass accuracy

}  // namespace

std::uint8_t DoCalibrationForComp(std::uint8_t hub)
{
    const HidHandle handle = LinkHubHandle(hub);
    if (handle == kNoHidHandle) return 0xFF;

    // One calibrate request; the hub calibrates while it is polled, and no
    // reply is fetched for it.
    HidReport request = MakeRequest(HidCmdCalibrate, SensorIdCompass);
    request[4] = SensorList[SensorSlotAcc2] != SensorAbsent ? 1 : 0;
    request[5] = kCompassCaliParam2;
    // A request that never went out started no calibration: no accuracy
    // read afterwards belongs to one.
    const bool started = SendReport(handle, request);

    // The last accuracy that an answering reply carried; a poll whose request
    // failed, or whose reply is missing or meant for another request, keeps it.
    std::uint8_t accuracy = 0;
    bool passed = false;
    for (int poll = 0; started && poll < kAccuracyPolls && !passed; ++poll) {
        SleepMs(1000);
        const bool sent = SendReport(handle, MakeRequest(HidCmdGetSensorValue, SensorIdCompassAccuracy));
        SleepMs(50);
        HidReport reply{};
        if (FetchAnswer(handle, reply, HidCmdGetSensorValue, SensorIdCompassAccuracy) && sent)
            accuracy = static_cast<std::uint8_t>(reply[kAccuracyByte] & 0x0Fu);
        SleepMs(20);
        PrintConsole("\rCompass Calibration        : %d", accuracy);
        passed = accuracy >= Accuracy;
    }
    // The log holds the label from the caller; only the console line is rewritten.
    if (passed) {
        PrintConsole("\rCompass Calibration        : Pass ");
        PrintLog("Pass ");
    } else {
        PrintConsole("\rCompass Calibration        : Fail ");
        PrintLog("Fail ");
    }
    PrintBoth("(%d)\r\n", accuracy);
    return passed ? 0 : static_cast<std::uint8_t>(kAccuracyPolls);
}
