// The hub model's parameter-block save: the save-to-flash sub-command and
// the lid angle that the angle re-check after the report reads.
#include "sim/sim_hub.h"

namespace sim {

namespace {

// True for the first `count` of a series (count -1: every one); number is
// 1-based.
bool InFirst(int count, int number)
{
    return count < 0 || number <= count;
}

void PutArea(HidReport& reply, std::uint32_t eflash, std::uint32_t ram, std::uint16_t length)
{
    for (std::size_t i = 0; i < 3; ++i) {
        reply[3 + i] = static_cast<std::uint8_t>(eflash >> (8 * i));
        reply[6 + i] = static_cast<std::uint8_t>(ram >> (8 * i));
    }
    reply[9] = static_cast<std::uint8_t>(length & 0xFFu);
    reply[10] = static_cast<std::uint8_t>(length >> 8);
}

}  // namespace

void SimHub::RegisterSaveCommands()
{
    commands[HidCmdParameterBlock].request = &SimHub::OnParameterBlockRequest;
    commands[HidCmdReadReg].reply = &SimHub::OnSaveWatchedRead;
    commands[HidCmdReadRegF0].reply = &SimHub::OnSaveWatchedRead;
}

// Sub-command 1 saves: the RAM copy goes to the eFlash copy.
void SimHub::OnParameterBlockRequest(const HidReport& request)
{
    if (request[2] != ParameterBlockSaveToFlash) return;
    ++saveRequests;
    Poke(paramEFlashAddr, Peek(paramBufferAddr, paramLength));
    if (InFirst(saveStale, saveRequests) && paramLength > 0)
        Poke(paramEFlashAddr, static_cast<std::uint8_t>(~Peek(paramEFlashAddr)));
    if (InFirst(saveSilent, saveRequests)) failFetches = 1;
}

void SimHub::OnSaveToFlashReply(const HidReport& request, HidReport& reply)
{
    DefaultReply(request, reply);
    if (InFirst(saveOther, saveRequests)) {
        reply[1] = saveOtherBytes[0];
        reply[2] = saveOtherBytes[1];
        PutArea(reply, saveOtherEFlashAddr, saveOtherBufferAddr, saveOtherLength);
    } else {
        PutArea(reply, paramEFlashAddr, paramBufferAddr, paramLength);
    }
}

// A register read; the first one inside the eFlash copy turns the lid angle
// to the re-check's angle.
void SimHub::OnSaveWatchedRead(const HidReport& request, HidReport& reply)
{
    OnReadRegReply(request, reply);
    const std::uint32_t address = AddressOf(request);
    if (hasRecheckAngle && address >= paramEFlashAddr && address < paramEFlashAddr + paramLength) {
        SetAngleCounts(recheckAngleCounts);
        hasRecheckAngle = false;
    }
}

}  // namespace sim
