// What the hub link needs from the operating system's HID and device
// enumeration services. One implementation per platform; tests and the hub
// stand-in link their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/state.h"

// Device path of the HID interface with enumeration number index. False when
// there is none or the service fails; path is then unchanged.
bool HidPortGetDevicePath(int index, std::string& path);

// Opens the device at path for feature-report transfers (shared with other
// users of the device, existing device only). False when it cannot be opened.
bool HidPortOpen(const std::string& path, HidHandle& handle);
void HidPortClose(HidHandle handle);

// Usage page and usage of the device's top-level collection. False when the
// collection's capabilities cannot be read. A Linux hidraw node may hold
// several top-level collections (Windows gives each its own interface): when
// the hub's vendor collection is among them, that is the one reported,
// otherwise the first.
bool HidPortGetCaps(HidHandle handle, std::uint16_t& usagePage, std::uint16_t& usage);

// Product ID from the device attributes. False when the query failed.
bool HidPortGetProductId(HidHandle handle, std::uint16_t& productId);

// Sends one feature report; byte 0 of buffer is the report ID.
bool HidPortSetFeature(HidHandle handle, const std::uint8_t* buffer, std::size_t length);

// Fetches the feature report whose ID stands in byte 0 of buffer into buffer.
bool HidPortGetFeature(HidHandle handle, std::uint8_t* buffer, std::size_t length);
