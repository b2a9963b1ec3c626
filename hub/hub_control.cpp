#include "hub/hub_control.h"

#include <array>
#include <cstring>

#include "common/clock.h"
#include "hub/hub_memory.h"
#include "hub/hub_slot.h"
#include "hub/param_block.h"

namespace {

constexpr std::uint32_t kHighestHubAddress = 0xFFFFFF;

// One clearing write: value 0 to the byte at address, with the F0 write
// command when that byte's own high address byte is 0xF0. No wait follows.
// An address past the 24-bit hub memory is not written: sent, it would wrap
// round to a byte the hub never named.
void ClearByte(std::uint8_t hub, std::uint64_t address)
{
    if (address > kHighestHubAddress) return;
    const int high = static_cast<int>((address >> 16) & 0xFFu);
    const int mid = static_cast<int>((address >> 8) & 0xFFu);
    const int low = static_cast<int>(address & 0xFFu);
    (void)WinDebugSetRegByte(hub, high, mid, low, 0);
}

// Clears count bytes from address upward. The slot is looked at before each
// byte; a byte whose write finds it empty is skipped.
void ClearBytes(std::uint8_t hub, std::uint64_t address, std::uint32_t count)
{
    for (std::uint32_t i = 0; i < count; ++i) {
        if (LinkHubHandle(hub) == kNoHidHandle) continue;
        ClearByte(hub, address + i);
    }
}

// ext of the RAM copy: reads the whole block into a zeroed area; bytes that
// the read did not deliver count as 0.
std::uint32_t ReadRamBlockExt(std::uint8_t hub, std::uint32_t address, std::uint16_t length)
{
    static_assert(kParameterAreaSize > 0xFFFF, "the area must hold any 16-bit length");
    std::array<std::uint8_t, kParameterAreaSize> area{};
    (void)WinDebugReadRegByteCunt(hub, static_cast<int>(address & kHighestHubAddress), length, area.data());
    return ParameterBlockExt(area.data(), length);
}

}  // namespace

HidReport VendorStringReport()
{
    HidReport report{};
    report[0] = HidReportId;
    std::memcpy(&report[1], kVendorText, kVendorTextLength);
    return report;
}

void HidCustomCmdInit(std::uint8_t hub, std::uint8_t mode)
{
    const HidHandle handle = LinkHubHandle(hub);
    if (handle == kNoHidHandle) return;

    (void)SendReport(handle, VendorStringReport());
    SleepMs(50);

    std::array<std::uint8_t, kVendorTextLength> compare{};
    HidReport reply{};
    reply[0] = HidReportId;
    if (FetchReport(handle, reply)) std::memcpy(compare.data(), &reply[1], kVendorTextLength);
    SleepMs(50);

    const bool modeOn = std::memcmp(compare.data(), kVendorText, kVendorTextLength) == 0;
    if ((mode == CustomCmdModeOn && !modeOn) || (mode == CustomCmdModeOff && modeOn)) {
        (void)SendReport(handle, VendorStringReport());
    }
    SleepMs(200);
}

std::uint8_t GetEFlashBufferAddr(std::uint8_t hub, std::uint32_t* eflash, std::uint32_t* buffer, std::uint16_t* length)
{
    const HidHandle handle = LinkHubHandle(hub);
    if (handle == kNoHidHandle) return 1;

    (void)SendReport(handle, MakeRequest(HidCmdParameterBlock, ParameterBlockGetAddr));
    SleepMs(50);
    HidReport reply{};
    reply[0] = HidReportId;
    const bool fetched = FetchReport(handle, reply);
    SleepMs(20);
    SleepMs(200);

    std::uint32_t eflashAddr = 0;
    std::uint32_t bufferAddr = 0;
    std::uint16_t blockLength = 0;
    std::uint8_t result = 1;
    if (fetched) {
        eflashAddr = static_cast<std::uint32_t>(reply[3]) | (static_cast<std::uint32_t>(reply[4]) << 8) |
                     (static_cast<std::uint32_t>(reply[5]) << 16);
        bufferAddr = static_cast<std::uint32_t>(reply[6]) | (static_cast<std::uint32_t>(reply[7]) << 8) |
                     (static_cast<std::uint32_t>(reply[8]) << 16);
        blockLength = static_cast<std::uint16_t>(reply[9] | (reply[10] << 8));
        if (reply[1] == HidCmdParameterBlock && reply[2] == ParameterBlockGetAddr) result = 0;
    }
    if (eflash != nullptr) *eflash = eflashAddr;
    if (buffer != nullptr) *buffer = bufferAddr;
    if (length != nullptr) *length = blockLength;
    return result;
}

void LuckFusionTask(std::uint8_t hub, std::uint8_t flag)
{
    const HidHandle handle = LinkHubHandle(hub);
    if (handle == kNoHidHandle) return;
    (void)SendReport(handle, MakeRequest(flag == 1 ? HidCmdFusionTaskLock : HidCmdFusionTaskUnlock, 0));
    SleepMs(200);
}

std::uint8_t ClearBufferParameterAndRestartFusion(std::uint8_t hub, std::uint8_t unlockFirst, std::uint8_t area)
{
    const std::uint32_t base = gBufferAddr;
    const std::uint16_t length = gParamLength;

    if (unlockFirst != 0) LuckFusionTask(hub, 0);
    LuckFusionTask(hub, 1);

    // Addresses are summed in 64 bits: base, ext and offset never wrap.
    switch (area) {
        case ClearAreaAcc1Bias:
            ClearBytes(hub, std::uint64_t{base} + ParameterBlock::Acc1Bias, ParameterBlock::TripleLength);
            break;
        case ClearAreaBlockHead:
            for (std::uint32_t i = 0; i < ParameterBlock::BlockHeadLength; ++i) {
                if (LinkHubHandle(hub) == kNoHidHandle) break;
                ClearByte(hub, std::uint64_t{base} + ParameterBlock::BlockHead + i);
            }
            break;
        case ClearAreaAcc2Bias:
        case ClearAreaAcc2BiasGain: {
            const std::uint32_t ext = ReadRamBlockExt(hub, base, length);
            const std::uint32_t count =
                area == ClearAreaAcc2Bias ? ParameterBlock::TripleLength : 2 * ParameterBlock::TripleLength;
            ClearBytes(hub, std::uint64_t{base} + ext + ParameterBlock::Acc2Bias, count);
            break;
        }
        default:
            break;
    }

    SleepMs(200);
    LuckFusionTask(hub, 0);
    return 0;
}
