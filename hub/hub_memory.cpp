#include "hub/hub_memory.h"

#include <cstring>
#include <vector>

#include "common/clock.h"
#include "common/output.h"
#include "hub/transport.h"

namespace {

constexpr std::size_t kAreaSize = 65536;

HidHandle Slot(std::uint8_t hub)
{
    return hub < kHubSlots ? hFile[hub] : kNoHidHandle;
}

std::uint8_t ReadCommandFor(std::uint32_t high)
{
    return (high & 0xFFu) == RegHighF0 ? HidCmdReadRegF0 : HidCmdReadReg;
}

// One read attempt of n bytes (1 to 10) at a 24-bit address with the read
// command. True when the request went out and the reply answers it: byte 1
// echoes the command, bytes 2 to 5 the address and n; the bytes are then in
// out[0] to out[n - 1]. A reply for anything else fails the attempt and
// changes nothing: the next attempt sends the same read.
bool ReadAttempt(HidHandle handle, std::uint8_t command, std::uint32_t address, std::uint8_t n, std::uint8_t* out)
{
    HidReport request = MakeRequest(command, static_cast<std::uint8_t>(address & 0xFFu));
    request[3] = static_cast<std::uint8_t>((address >> 8) & 0xFFu);
    request[4] = static_cast<std::uint8_t>((address >> 16) & 0xFFu);
    request[5] = n;
    if (!SendReport(handle, request)) return false;
    SleepMs(5);
    HidReport reply{};
    if (!FetchReport(handle, reply)) return false;
    SleepMs(5);
    if (reply[1] != command || reply[2] != request[2] || reply[3] != request[3] || reply[4] != request[4] ||
        reply[5] != n)
        return false;
    std::memcpy(out, reply.data() + 6, n);
    return true;
}

}  // namespace

bool WinDebugReadRegByte(std::uint8_t hub, int high, int mid, int low, std::uint8_t* out)
{
    if (Slot(hub) == kNoHidHandle) return false;
    const std::uint32_t address = (static_cast<std::uint32_t>(high & 0xFF) << 16) |
                                  (static_cast<std::uint32_t>(mid & 0xFF) << 8) |
                                  static_cast<std::uint32_t>(low & 0xFF);
    const std::uint8_t command = ReadCommandFor(address >> 16);
    for (int failures = 0;;) {
        std::uint8_t value = 0;
        if (ReadAttempt(Slot(hub), command, address, 1, &value)) {
            if (out != nullptr) *out = value;
            return true;
        }
        if (++failures >= kReadAttemptBudget) return false;
        if (Slot(hub) == kNoHidHandle) return false;
    }
}

bool WinDebugReadRegByteCunt(std::uint8_t hub, int address, int count, std::uint8_t* data)
{
    if (count <= 0) return true;
    if (data == nullptr) return false;
    const std::uint32_t start = static_cast<std::uint32_t>(address);
    const std::uint8_t command = ReadCommandFor(start >> 16);  // once, for the whole call
    int done = 0;
    int failures = 0;  // one budget for every chunk
    while (done < count) {
        const int n = count - done < kReadChunkSize ? count - done : kReadChunkSize;
        const std::uint32_t chunk = (start + static_cast<std::uint32_t>(done)) & 0xFFFFFFu;
        if (Slot(hub) == kNoHidHandle) return false;
        for (;;) {
            if (ReadAttempt(Slot(hub), command, chunk, static_cast<std::uint8_t>(n), data + done)) break;
            if (++failures >= kReadAttemptBudget) return false;
            if (Slot(hub) == kNoHidHandle) return false;
        }
        done += n;
    }
    return true;
}

bool WinDebugSetRegByte(std::uint8_t hub, int high, int mid, int low, std::uint8_t value)
{
    const std::uint8_t command = (high & 0xFF) == RegHighF0 ? HidCmdWriteRegF0 : HidCmdWriteReg;
    if (Slot(hub) == kNoHidHandle) return false;
    HidReport request = MakeRequest(command, static_cast<std::uint8_t>(low & 0xFF));
    request[3] = static_cast<std::uint8_t>(mid & 0xFF);
    request[4] = static_cast<std::uint8_t>(high & 0xFF);
    request[5] = 1;
    request[6] = value;
    return SendReport(Slot(hub), request);
}

bool GetOEMFWVersion()
{
    std::uint8_t version[RegOEMFWVersionLength] = {};
    if (!WinDebugReadRegByteCunt(0, static_cast<int>(RegOEMFWVersion), RegOEMFWVersionLength, version)) {
        // Zeros that the hub never sent are no version.
        PrintBoth("Get OEM FW Version Fail!\r\n");
        return false;
    }
    PrintBoth("OEM FW Version: ");
    // The hub's 32 bytes as they are, whatever they hold.
    WriteBothUnchanged(reinterpret_cast<const char*>(version), sizeof version);
    PrintBoth("\r\n");
    return true;
}

bool CompareParameterWithFlashAndBuffer(std::uint8_t hub)
{
    std::vector<std::uint8_t> flash(kAreaSize, 0);
    std::vector<std::uint8_t> buffer(kAreaSize, 0);
    const int length = gParamLength;
    // Copies that could not be read in full are not known to be equal.
    if (!WinDebugReadRegByteCunt(hub, static_cast<int>(gEFlashAddr), length, flash.data())) return true;
    if (!WinDebugReadRegByteCunt(hub, static_cast<int>(gBufferAddr), length, buffer.data())) return true;
    return std::memcmp(flash.data(), buffer.data(), static_cast<std::size_t>(length)) != 0;
}

bool CheckPSensorValue(std::uint8_t hub)
{
    if (pTime == 0) return true;
    if (pTime < 0) {
        PrintConsole("\rPSensor Test   : ");
        return false;
    }
    std::uint8_t data[4] = {};  // kept from one poll to the next
    for (std::int32_t i = 0; i < pTime; ++i) {
        (void)WinDebugReadRegByteCunt(hub, static_cast<int>(RegPSensorData), 4, data);
        if ((data[0] != 0 || data[1] != 0) && (data[2] != 0 || data[3] != 0)) {
            PrintConsole("\rPSensor Test   : ");
            return true;
        }
        SleepMs(1000);
        PrintConsole("\rPSensor Test   : %d ", pTime - 1 - i);
    }
    PrintConsole("\rPSensor Test   : ");
    return false;
}
