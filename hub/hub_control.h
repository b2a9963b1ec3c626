// Hub control commands: the custom-command mode, the parameter-area query,
// the fusion-task lock and the clearing of the RAM parameter block.
#pragma once

#include <cstdint>

#include "hub/transport.h"

// Mode values of HidCustomCmdInit.
constexpr std::uint8_t CustomCmdModeOff = 0;
constexpr std::uint8_t CustomCmdModeOn = 1;

// The vendor text of the custom-command report: 14 characters and its NUL.
constexpr char kVendorText[] = "XOV Tech. Inc.";
constexpr std::size_t kVendorTextLength = 15;  // with the NUL

// Areas of ClearBufferParameterAndRestartFusion (offsets from gBufferAddr).
constexpr std::uint8_t ClearAreaAcc1Bias = 0x01;      // 12 to 17
constexpr std::uint8_t ClearAreaAcc2Bias = 0x08;      // ext + 26 to ext + 31
constexpr std::uint8_t ClearAreaAcc2BiasGain = 0x18;  // ext + 26 to ext + 37
constexpr std::uint8_t ClearAreaBlockHead = 0xF1;     // 0 and 1

// The report whose bytes 1 to 15 carry the vendor text and its NUL; byte 16 0.
HidReport VendorStringReport();

// Switches the hub's custom-command mode to mode (CustomCmdModeOn or
// CustomCmdModeOff): every vendor report toggles the hub's mode, so it sends
// one, reads the mode back and sends a second one only when the read-back is
// not the wanted state (any other mode value: one send only). A vendor report
// whose request the OS reports as failed reached no hub and toggled nothing:
// it is sent again, up to three tries in all. Waits 50, 50 and 200 ms.
// Nothing at all for an empty slot. No result.
void HidCustomCmdInit(std::uint8_t hub, std::uint8_t mode);

// Asks the hub where its parameter block lies. Returns 0 when the reply
// confirms the query (bytes 1-2 read 2, 0), else 1.
// - empty slot: 1, outputs untouched, nothing sent;
// - reply fetched after a query that went out: outputs from reply bytes 3-5,
//   6-8, 9-10 (confirmed or not);
// - query failed, or reply not fetched: 1 with all three outputs 0.
// The front end passes &gEFlashAddr, &gBufferAddr, &gParamLength.
std::uint8_t GetEFlashBufferAddr(std::uint8_t hub, std::uint32_t* eflash, std::uint32_t* buffer, std::uint16_t* length);

// flag 1 locks the hub's fusion task, any other value unlocks it; 200 ms wait.
// Nothing for an empty slot. True when the request went out.
bool LuckFusionTask(std::uint8_t hub, std::uint8_t flag);

// Zeroes one ClearArea of the RAM parameter block at gBufferAddr byte by byte
// with the fusion task locked, then unlocks it (unlocks first as well when
// unlockFirst is not 0). The ACC2 areas read the block first to find ext.
// Another area value clears nothing; bytes outside the block are never
// written. Returns 0 when every transfer went through (and for an empty
// slot, where nothing is sent), 1 when a lock, unlock or clearing request
// failed or the block could not be read: then nothing is cleared after a
// failed lock or read.
std::uint8_t ClearBufferParameterAndRestartFusion(std::uint8_t hub, std::uint8_t unlockFirst, std::uint8_t area);
