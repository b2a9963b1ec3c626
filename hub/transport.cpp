#include "hub/transport.h"

#include <algorithm>

#include "common/clock.h"
#include "hub/hid_port.h"

HidReport MakeRequest(std::uint8_t command, std::uint8_t byte2)
{
    HidReport request{};
    request[0] = HidReportId;
    request[1] = command;
    request[2] = byte2;
    return request;
}

void PacingWait()
{
    // The front end clamps the setting at 0; a negative value never waits.
    if (HIDCMDDelayMS > 0 && DelayFlag != 0) SleepMs(static_cast<std::uint32_t>(HIDCMDDelayMS));
}

bool SendReport(HidHandle handle, const HidReport& request)
{
    PacingWait();
    HidReport buffer = request;  // this transfer's own buffer
    return HidPortSetFeature(handle, buffer.data(), buffer.size());
}

bool FetchReport(HidHandle handle, HidReport& reply)
{
    PacingWait();
    HidReport buffer{};
    buffer[0] = HidReportId;
    if (!HidPortGetFeature(handle, buffer.data(), buffer.size())) return false;
    reply = buffer;
    return true;
}

bool FetchAnswer(HidHandle handle, HidReport& reply, std::uint8_t command, std::uint8_t byte2)
{
    return FetchReport(handle, reply) && reply[1] == command && reply[2] == byte2;
}

bool HidRequests(HidHandle handle, bool write, std::uint8_t reportId, std::uint8_t& header1, std::uint8_t& header2,
                 std::uint8_t* data, std::uint8_t length)
{
    // Only 14 bytes follow the two header bytes.
    if (length > HidReportLength - 3) return false;
    if (length > 0 && data == nullptr) return false;
    PacingWait();
    HidReport buffer{};
    buffer[0] = reportId;
    if (write) {
        buffer[1] = header1;
        buffer[2] = header2;
        std::copy(data, data + length, buffer.begin() + 3);
        return HidPortSetFeature(handle, buffer.data(), buffer.size());
    }
    if (!HidPortGetFeature(handle, buffer.data(), buffer.size())) return false;
    header1 = buffer[1];
    header2 = buffer[2];
    std::copy(buffer.begin() + 3, buffer.begin() + 3 + length, data);
    return true;
}
