#include "hub/hub_control.h"

#include <array>
#include <cstring>

#include "common/clock.h"
#include "hub/hub_memory.h"
#include "hub/hub_slot.h"
#include "hub/param_block.h"

namespace {

constexpr std::uint32_t kHighestHubAddress = 0xFFFFFF;
constexpr int kVendorReportTries = 3;

// One clearing write: value 0 to the byte at address, with the F0 write
// command when that byte's own high address byte is 0xF0. No wait follows.
// An address past the 24-bit hub memory is not written: sent, it would wrap
// round to a byte the hub never named. False when the write request failed.
bool ClearByte(std::uint8_t hub, std::uint64_t address)
{
    if (address > kHighestHubAddress) return true;
    const int high = static_cast<int>((address >> 16) & 0xFFu);
    const int mid = static_cast<int>((address >> 8) & 0xFFu);
    const int low = static_cast<int>(address & 0xFFu);
    return WinDebugSetRegByte(hub, high, mid, low, 0);
}

// Clears count bytes from offset `first` of the RAM copy upward. The slot is
// looked at before each byte; a byte whose write finds it empty is skipped,
// and so is a byte outside the block, which is not the tool's to write.
// False when a write request failed.
bool ClearBytes(std::uint8_t hub, std::uint32_t base, std::uint16_t length, std::uint64_t first, std::uint32_t count)
{
    bool written = true;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (LinkHubHandle(hub) == kNoHidHandle) continue;
        if (first + i >= length) continue;
        written = ClearByte(hub, std::uint64_t{base} + first + i) && written;
    }
    return written;
}

// ext of the RAM copy: reads the whole block into a zeroed area. False when
// the block could not be read in full: ext is then unknown.
bool ReadRamBlockExt(std::uint8_t hub, std::uint32_t address, std::uint16_t length, std::uint32_t& ext)
{
    static_assert(kParameterAreaSize > 0xFFFF, "the area must hold any 16-bit length");
    std::array<std::uint8_t, kParameterAreaSize> area{};
    if (!WinDebugReadRegByteCunt(hub, static_cast<int>(address & kHighestHubAddress), length, area.data()))
        return false;
    ext = ParameterBlockExt(area.data(), length);
    return true;
}

// Sends the vendor report; a request that the OS reports as failed never
// reached the hub and switched nothing, so it is sent again, a few times at
// most. False when no try went out.
bool SendVendorReport(HidHandle handle)
{
    for (int attempt = 0; attempt < kVendorReportTries; ++attempt)
        if (SendReport(handle, VendorStringReport())) return true;
    return false;
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

    (void)SendVendorReport(handle);
    SleepMs(50);

    std::array<std::uint8_t, kVendorTextLength> compare{};
    HidReport reply{};
    reply[0] = HidReportId;
    if (FetchReport(handle, reply)) std::memcpy(compare.data(), &reply[1], kVendorTextLength);
    SleepMs(50);

    const bool modeOn = std::memcmp(compare.data(), kVendorText, kVendorTextLength) == 0;
    if ((mode == CustomCmdModeOn && !modeOn) || (mode == CustomCmdModeOff && modeOn)) {
        (void)SendVendorReport(handle);
    }
    SleepMs(200);
}

std::uint8_t GetEFlashBufferAddr(std::uint8_t hub, std::uint32_t* eflash, std::uint32_t* buffer, std::uint16_t* length)
{
    const HidHandle handle = LinkHubHandle(hub);
    if (handle == kNoHidHandle) return 1;

    const bool sent = SendReport(handle, MakeRequest(HidCmdParameterBlock, ParameterBlockGetAddr));
    SleepMs(50);
    HidReport reply{};
    reply[0] = HidReportId;
    // After a query that never went out, whatever the hub hands back answers
    // some earlier request: no addresses are taken from it.
    const bool fetched = FetchReport(handle, reply) && sent;
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

bool LuckFusionTask(std::uint8_t hub, std::uint8_t flag)
{
    const HidHandle handle = LinkHubHandle(hub);
    if (handle == kNoHidHandle) return false;
    const bool sent = SendReport(handle, MakeRequest(flag == 1 ? HidCmdFusionTaskLock : HidCmdFusionTaskUnlock, 0));
    SleepMs(200);
    return sent;
}

std::uint8_t ClearBufferParameterAndRestartFusion(std::uint8_t hub, std::uint8_t unlockFirst, std::uint8_t area)
{
    const std::uint32_t base = gBufferAddr;
    const std::uint16_t length = gParamLength;
    const bool slotFilled = LinkHubHandle(hub) != kNoHidHandle;
    bool done = true;

    if (unlockFirst != 0) done = LuckFusionTask(hub, 0) && done;
    // Nothing is written unless the fusion task is known to be locked.
    const bool locked = LuckFusionTask(hub, 1);
    done = locked && done;

    // Offsets are summed in 64 bits: base, ext and offset never wrap.
    if (locked) {
        switch (area) {
            case ClearAreaAcc1Bias:
                done = ClearBytes(hub, base, length, ParameterBlock::Acc1Bias, ParameterBlock::TripleLength) && done;
                break;
            case ClearAreaBlockHead:
                done =
                    ClearBytes(hub, base, length, ParameterBlock::BlockHead, ParameterBlock::BlockHeadLength) && done;
                break;
            case ClearAreaAcc2Bias:
            case ClearAreaAcc2BiasGain: {
                // Without the whole block, ext is unknown, and a guessed one
                // could clear the header or the ACC1 fields instead.
                std::uint32_t ext = 0;
                if (!ReadRamBlockExt(hub, base, length, ext)) {
                    done = false;
                    break;
                }
                const std::uint32_t count =
                    area == ClearAreaAcc2Bias ? ParameterBlock::TripleLength : 2 * ParameterBlock::TripleLength;
                done = ClearBytes(hub, base, length, std::uint64_t{ext} + ParameterBlock::Acc2Bias, count) && done;
                break;
            }
            default:
                break;
        }
    }

    SleepMs(200);
    done = LuckFusionTask(hub, 0) && done;
    return slotFilled && !done ? 1 : 0;
}
