// Finding and opening the sensor hub among the HID devices.
#pragma once

#include <cstdint>
#include <string>

#include "common/state.h"

constexpr std::uint16_t kHubUsagePage = 0xFF83;
constexpr std::uint16_t kHubUsage = 0x80;
constexpr int kDiscoveryIndexCount = 256;

// Walks enumeration indices 0 to 255 and keeps the first device whose
// top-level collection has usagePage and usage (and passes the product-ID
// filter) in hFile slot 0. Sets SensorCunt and prints the "Find" line.
void ConnectHIDDevice(std::uint16_t usagePage, std::uint16_t usage);

bool GetHIDDevicePath(int index, std::string& path);

bool CheckIfOurDevice(HidHandle handle, std::uint16_t usagePage, std::uint16_t usage);
