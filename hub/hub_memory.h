// Byte-wise access to hub memory and the operations built on it.
#pragma once

#include <cstdint>

#include "common/state.h"

constexpr std::uint8_t RegHighF0 = 0xF0;
constexpr int kReadAttemptBudget = 101;
constexpr int kReadChunkSize = 10;

// Hub memory map.
constexpr std::uint32_t RegOEMFWVersion = 0x003100;
constexpr int RegOEMFWVersionLength = 32;
constexpr std::uint32_t RegPSensorState = 0x0800D5;
constexpr std::uint32_t RegPSensorError = 0x0800DD;
constexpr std::uint32_t RegPSensorData = 0x0805B6;
constexpr std::uint32_t RegInitStatus = 0x081200;
constexpr std::uint32_t RegFusionVariant = 0x08120D;
constexpr std::uint32_t RegSensorSlot = 0x081243;  // + 4 x slot, slots 0 to 11

bool WinDebugReadRegByte(std::uint8_t hub, int high, int mid, int low, std::uint8_t* out);
bool WinDebugReadRegByteCunt(std::uint8_t hub, int address, int count, std::uint8_t* data);
bool WinDebugSetRegByte(std::uint8_t hub, int high, int mid, int low, std::uint8_t value);
// Prints the firmware-version line of hub 0: "OEM FW Version: " and the 32
// bytes at RegOEMFWVersion as they are. When they cannot be read in full it
// prints "Get OEM FW Version Fail!" instead and returns false.
bool GetOEMFWVersion();
// True when the eFlash copy and the RAM copy of the parameter block differ,
// or when either could not be read in full.
bool CompareParameterWithFlashAndBuffer(std::uint8_t hub);
bool CheckPSensorValue(std::uint8_t hub);
