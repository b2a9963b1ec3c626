#include "sim/sim_hub.h"

#include <algorithm>

namespace sim {

const std::array<std::uint8_t, 15> kVendorText = {'X', 'O', 'V', ' ', 'T', 'e', 'c', 'h',
                                                  '.', ' ', 'I', 'n', 'c', '.', '\0'};

namespace {
constexpr std::uint32_t kAddressMask = 0xFFFFFF;
}  // namespace

SimHub::SimHub()
{
    commands[HidCmdReadReg] = {nullptr, &SimHub::OnReadRegReply};
    commands[HidCmdReadRegF0] = {nullptr, &SimHub::OnReadRegReply};
    commands[HidCmdWriteReg] = {&SimHub::OnWriteRegRequest, nullptr};
    commands[HidCmdWriteRegF0] = {&SimHub::OnWriteRegRequest, nullptr};
    RegisterLinkCommands();
    RegisterSelfTestCommands();
    RegisterCalibrateCommands();
    RegisterLightCommands();
    RegisterSaveCommands();
}

bool SimHub::IsVendorString(const HidReport& report)
{
    return std::equal(kVendorText.begin(), kVendorText.end(), report.begin() + 1);
}

std::uint32_t SimHub::AddressOf(const HidReport& report)
{
    return static_cast<std::uint32_t>(report[2]) | (static_cast<std::uint32_t>(report[3]) << 8) |
           (static_cast<std::uint32_t>(report[4]) << 16);
}

void SimHub::DefaultReply(const HidReport& request, HidReport& reply)
{
    reply.fill(0);
    reply[0] = HidReportId;
    reply[1] = request[1];
    reply[2] = request[2];
}

// What a reply that answers another request carries instead of its data:
// data that a tool taking the reply would come to another result by.
void SimHub::FaultedData(const HidReport& request, HidReport& reply)
{
    const std::uint8_t command = request[1];  // the vendor string's 'X' is none of these
    if (command == HidCmdReadReg || command == HidCmdReadRegF0) {
        // No memory bytes: from byte 6 on, zeros.
        std::fill(reply.begin() + 6, reply.end(), std::uint8_t{0});
    } else if (command == HidCmdGetSensorValue) {
        // A sensor at rest: axis words 0, 0 and 1 g (0x0000 reads 0), the
        // light reading 1, the lid angle 0, colour values 0, 0 and 0xfeff.
        static constexpr std::array<std::uint8_t, 14> kAtRest = {0x00, 0x00, 0x00, 0x00, 0xFF, 0xFE, 0x01,
                                                                 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
        std::copy(kAtRest.begin(), kAtRest.end(), reply.begin() + 3);
    } else if (command == HidCmdParameterBlock && request[2] == ParameterBlockGetAddr) {
        // The area with its two addresses swapped: the RAM copy would be
        // taken for the eFlash copy and the reverse.
        std::swap_ranges(reply.begin() + 3, reply.begin() + 6, reply.begin() + 6);
    } else if (command == HidCmdParameterBlock && request[2] == ParameterBlockSaveToFlash) {
        // The area as it is: the tool checks it against the area it learnt.
    } else {
        // A self test passed, a calibration done, an empty status list ...
        std::fill(reply.begin() + 3, reply.end(), std::uint8_t{0});
    }
}

bool SimHub::OnSetFeature(const HidReport& request)
{
    ++setCount;
    ++transferCount;
    if (faults.silent.Hits(transferCount) || faults.setFail.Hits(setCount)) return false;

    lastRequest = request;
    haveRequest = true;
    pollCount = 0;
    if (IsVendorString(request)) {
        OnVendorStringRequest(request);
        return true;
    }
    if (requireCustomMode && !customMode) return true;  // taken, but not acted on
    auto it = commands.find(request[1]);
    if (it == commands.end()) {
        unknownRequests.push_back(request);
    } else if (it->second.request) {
        it->second.request(*this, request);
    }
    return true;
}

bool SimHub::OnGetFeature(HidReport& reply)
{
    ++getCount;
    ++transferCount;
    if (faults.silent.Hits(transferCount) || faults.getFail.Hits(getCount)) return false;

    if (failFetches > 0) {
        --failFetches;
        return false;
    }
    ++pollCount;
    reply.fill(0);
    reply[0] = HidReportId;
    if (haveRequest) {
        if (IsVendorString(lastRequest)) {
            OnVendorStringReply(lastRequest, reply);
        } else if (requireCustomMode && !customMode) {
            // Custom commands are not answered while the mode is off.
        } else {
            auto it = commands.find(lastRequest[1]);
            if (it != commands.end() && it->second.reply)
                it->second.reply(*this, lastRequest, reply);
            else
                DefaultReply(lastRequest, reply);
        }
    }
    const bool wrongEcho = faults.wrongEcho.Hits(getCount);
    const bool replyCommand = faults.replyCommand.Hits(getCount);
    if ((wrongEcho || replyCommand) && haveRequest) FaultedData(lastRequest, reply);
    if (wrongEcho) reply[faults.wrongEchoByte] = static_cast<std::uint8_t>(reply[faults.wrongEchoByte] + 1);
    if (replyCommand) reply[1] = faults.replyCommandValue;
    reply[0] = HidReportId;
    return true;
}

void SimHub::Poke(std::uint32_t address, std::uint8_t value)
{
    address &= kAddressMask;
    MemoryPage& page = memory[address >> 8];
    page.bytes[address & 0xFF] = value;
    page.written[address & 0xFF] = true;
}

void SimHub::Poke(std::uint32_t address, const std::vector<std::uint8_t>& bytes)
{
    for (std::size_t i = 0; i < bytes.size(); ++i) Poke(address + static_cast<std::uint32_t>(i), bytes[i]);
}

void SimHub::PokeText(std::uint32_t address, const std::string& text)
{
    for (std::size_t i = 0; i < text.size(); ++i)
        Poke(address + static_cast<std::uint32_t>(i), static_cast<std::uint8_t>(text[i]));
}

std::uint8_t SimHub::Peek(std::uint32_t address) const
{
    address &= kAddressMask;
    auto it = memory.find(address >> 8);
    if (it == memory.end() || !it->second.written[address & 0xFF]) return memoryFill;
    return it->second.bytes[address & 0xFF];
}

std::vector<std::uint8_t> SimHub::Peek(std::uint32_t address, std::size_t count) const
{
    std::vector<std::uint8_t> bytes(count);
    for (std::size_t i = 0; i < count; ++i) bytes[i] = Peek(address + static_cast<std::uint32_t>(i));
    return bytes;
}

// Every vendor-string report switches the custom-command mode over.
void SimHub::OnVendorStringRequest(const HidReport&)
{
    customMode = !customMode;
}

// While the mode is on the reply carries the vendor text and its NUL in
// bytes 1 to 15; while it is off, zeros.
void SimHub::OnVendorStringReply(const HidReport&, HidReport& reply)
{
    if (customMode) std::copy(kVendorText.begin(), kVendorText.end(), reply.begin() + 1);
}

// Register read: bytes 1 to 5 echo command, address and count; bytes 6 to
// 5 + n the memory from the address upward. A count outside 1 to 10 is
// refused: the count byte reads 0 and no data follows.
void SimHub::OnReadRegReply(const HidReport& request, HidReport& reply)
{
    std::copy(request.begin() + 1, request.begin() + 6, reply.begin() + 1);
    const std::uint8_t count = request[5];
    if (count < 1 || count > 10) {
        reply[5] = 0;
        return;
    }
    const std::uint32_t address = AddressOf(request);
    for (std::uint8_t i = 0; i < count; ++i) reply[6u + i] = Peek(address + i);
}

// Register write: byte 5 must be 1; byte 6 is the value.
void SimHub::OnWriteRegRequest(const HidReport& request)
{
    if (request[5] != 1) return;
    const std::uint32_t address = AddressOf(request);
    Poke(address, request[6]);
    writeLog.emplace_back(address, request[6]);
}

}  // namespace sim
