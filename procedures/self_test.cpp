#include "procedures/self_test.h"

#include <array>

#include "common/clock.h"
#include "common/output.h"
#include "hub/hub_memory.h"
#include "hub/hub_slot.h"
#include "hub/transport.h"

namespace {

constexpr std::uint32_t SelfTestStatusOk = 0;
constexpr std::uint32_t SelfTestStatusBusy = 0xCCCCCCCC;
constexpr int kAttempts = 10;
constexpr int kFetchesPerAttempt = 10;
constexpr std::size_t kDataLength = 8;  // reply bytes 3 to 10

// Command echo, sensor echo and status of the last self-test reply fetched.
struct Verdict {
    std::uint8_t command = HidCmdSelfTest;
    std::uint8_t sensor = 0;
    std::uint32_t status = SelfTestStatusOk;
};

std::uint32_t StatusWord(const HidReport& reply)
{
    return static_cast<std::uint32_t>(reply[3]) | (static_cast<std::uint32_t>(reply[4]) << 8) |
           (static_cast<std::uint32_t>(reply[5]) << 16) | (static_cast<std::uint32_t>(reply[6]) << 24);
}

// The hub's built-in test: up to ten requests, each polled up to ten times.
// True when a poll leaves the echoes of the request and status 0; verdict
// holds what the last fetched reply carried.
bool RunHubSelfTest(HidHandle handle, std::uint8_t sensorId, Verdict& verdict)
{
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        (void)SendReport(handle, MakeRequest(HidCmdSelfTest, sensorId));
        SleepMs(50);
        verdict.command = HidCmdSelfTest;
        verdict.sensor = sensorId;
        for (int fetch = 0; fetch < kFetchesPerAttempt; ++fetch) {
            HidReport reply{};
            if (FetchReport(handle, reply)) {
                verdict.command = reply[1];
                verdict.sensor = reply[2];
                verdict.status = StatusWord(reply);
            }
            SleepMs(20);
            if (verdict.command == HidCmdSelfTest && verdict.sensor == sensorId &&
                verdict.status == SelfTestStatusOk)
                return true;
            if (verdict.status == SelfTestStatusBusy) SleepMs(480);
        }
    }
    return false;
}

bool HasNonzeroWord(const std::array<std::uint8_t, kDataLength>& data)
{
    // The three words at bytes 0-1, 2-3 and 4-5 as they stand; 6-7 are not tested.
    for (std::size_t i = 0; i < 6; ++i)
        if (data[i] != 0) return true;
    return false;
}

// Up to ten data requests, each polled up to ten times, until a reply
// carries a word other than 0. data keeps what the last fetched reply held.
std::uint8_t CheckData(HidHandle handle, std::uint8_t sensorId, std::array<std::uint8_t, kDataLength>& data)
{
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        (void)SendReport(handle, MakeRequest(HidCmdGetSensorValue, sensorId));
        SleepMs(50);
        for (int fetch = 0; fetch < kFetchesPerAttempt; ++fetch) {
            HidReport reply{};
            if (FetchReport(handle, reply)) {
                for (std::size_t i = 0; i < kDataLength; ++i) data[i] = reply[3 + i];
            }
            SleepMs(20);
            if (HasNonzeroWord(data)) {
                PrintBoth("Pass.\r\n");
                return 0;
            }
        }
    }
    PrintBoth("Fail - No data\r\n");
    return 1;
}

}  // namespace

std::uint8_t DoSelfTest(std::uint8_t hub, std::uint8_t sensorId)
{
    const HidHandle handle = LinkHubHandle(hub);
    if (handle == kNoHidHandle) return 0xFF;

    std::array<std::uint8_t, kDataLength> data{};
    if (sensorId == SensorIdAcc1 && AccTestMode == 1) {
        // The initialisation status stands in for the hub's own test.
        const std::uint32_t at = RegInitStatus;
        (void)WinDebugReadRegByte(hub, static_cast<int>(at >> 16), static_cast<int>((at >> 8) & 0xFFu),
                                  static_cast<int>(at & 0xFFu), &data[0]);
        return CheckData(handle, sensorId, data);
    }

    Verdict verdict;
    const bool passed = RunHubSelfTest(handle, sensorId, verdict);
    if (!passed && verdict.status != SelfTestStatusOk) {
        PrintBoth("Fail - 0x%x.\r\n", verdict.status);
        return 1;
    }
    if (sensorId == SensorIdGyro) {
        // The gyrometer has no data check: its self test alone decides.
        if (passed) {
            PrintBoth("Pass.\r\n");
            return 0;
        }
        PrintBoth("Fail - No data\r\n");
        return 1;
    }
    // Passed, or the replies carried status 0 without echoing the request.
    return CheckData(handle, sensorId, data);
}
