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

// Status of the last self-test reply that answered the request, and
// whether any did.
struct Verdict {
    bool answered = false;
    std::uint32_t status = SelfTestStatusOk;
};

std::uint32_t StatusWord(const HidReport& reply)
{
    return static_cast<std::uint32_t>(reply[3]) | (static_cast<std::uint32_t>(reply[4]) << 8) |
           (static_cast<std::uint32_t>(reply[5]) << 16) | (static_cast<std::uint32_t>(reply[6]) << 24);
}

// The hub's built-in test: up to ten requests, each polled up to ten times.
// True when a reply that answers the request (echoes 3 and the sensor)
// carries status 0. A request that failed is a failed attempt; a fetch that
// fails, or a reply meant for another request, tells nothing and is not
// taken. verdict holds the status of the last answering reply.
bool RunHubSelfTest(HidHandle handle, std::uint8_t sensorId, Verdict& verdict)
{
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const bool sent = SendReport(handle, MakeRequest(HidCmdSelfTest, sensorId));
        SleepMs(50);
        if (!sent) continue;
        for (int fetch = 0; fetch < kFetchesPerAttempt; ++fetch) {
            HidReport reply{};
            const bool answers = FetchAnswer(handle, reply, HidCmdSelfTest, sensorId);
            if (answers) {
                verdict.answered = true;
                verdict.status = StatusWord(reply);
            }
            SleepMs(20);
            if (answers && verdict.status == SelfTestStatusOk) return true;
            if (answers && verdict.status == SelfTestStatusBusy) SleepMs(480);
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

// Up to ten data requests, each polled up to ten times, until a reply that
// answers the request (echoes 0 and the sensor) carries a word other than 0.
// Only such a reply is tested: bytes that the hub did not send for this
// sensor never pass it.
std::uint8_t CheckData(HidHandle handle, std::uint8_t sensorId)
{
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const bool sent = SendReport(handle, MakeRequest(HidCmdGetSensorValue, sensorId));
        SleepMs(50);
        if (!sent) continue;
        for (int fetch = 0; fetch < kFetchesPerAttempt; ++fetch) {
            HidReport reply{};
            const bool answers = FetchAnswer(handle, reply, HidCmdGetSensorValue, sensorId);
            SleepMs(20);
            std::array<std::uint8_t, kDataLength> data{};
            for (std::size_t i = 0; i < kDataLength; ++i) data[i] = reply[3 + i];
            if (answers && HasNonzeroWord(data)) {
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

    if (sensorId == SensorIdAcc1 && AccTestMode == 1) {
        // The initialisation status stands in for the hub's own test: a hub
        // that cannot tell it fails the test.
        const std::uint32_t at = RegInitStatus;
        std::uint8_t status = 0;
        if (!WinDebugReadRegByte(hub, static_cast<int>(at >> 16), static_cast<int>((at >> 8) & 0xFFu),
                                 static_cast<int>(at & 0xFFu), &status)) {
            PrintBoth("Fail - No data\r\n");
            return 1;
        }
        return CheckData(handle, sensorId);
    }

    Verdict verdict;
    if (!RunHubSelfTest(handle, sensorId, verdict)) {
        // Ten attempts without a passing answer: the hub's last failure
        // word, or no answer at all.
        if (verdict.answered && verdict.status != SelfTestStatusOk)
            PrintBoth("Fail - 0x%x.\r\n", verdict.status);
        else
            PrintBoth("Fail - No data\r\n");
        return 1;
    }
    if (sensorId == SensorIdGyro) {
        // The gyrometer has no data check: its self test alone decides.
        PrintBoth("Pass.\r\n");
        return 0;
    }
    return CheckData(handle, sensorId);
}
