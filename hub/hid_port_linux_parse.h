// Pure parsing for the Linux HID layer: report descriptors, hidraw node names
// and the uevent text of a HID device. No system calls; every function works
// on the bytes it is given and never reads past them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// Largest report descriptor the kernel hands out (HID_MAX_DESCRIPTOR_SIZE).
constexpr std::size_t kHidMaxDescriptorSize = 4096;

// Depth of the Push/Pop stack of global items; a descriptor that pushes
// deeper, or pops more than it pushed, is malformed.
constexpr int kHidGlobalStackDepth = 16;

// Usage page and usage of the first application collection: the usage page in
// force and the first Usage declared before the first Collection(Application).
// A 4-byte Usage carries its own page in its high 16 bits. Long items are
// skipped whole; Push and Pop save and restore the usage page. An application
// collection without a Usage gives usage 0.
// False when there is no application collection, or when the descriptor is
// truncated or malformed before it.
bool HidPortParseTopLevelUsage(const std::uint8_t* descriptor, std::size_t length, std::uint16_t& usagePage,
                               std::uint16_t& usage);

// True when one of the top-level application collections (those opened
// outside every other collection) has usagePage and usage, each collection's
// pair found by the rules above. A hidraw node carries every top-level
// collection of its device, where Windows gives each its own interface. The
// search ends where the descriptor ends or is truncated or malformed; a
// collection met before that counts.
bool HidPortParseHasTopLevelUsage(const std::uint8_t* descriptor, std::size_t length, std::uint16_t usagePage,
                                  std::uint16_t usage);

// The number N of a hidraw node name "hidrawN" (decimal digits only, no sign,
// at most 9 digits). False for any other name.
bool HidPortParseHidrawName(std::string_view name, int& number);

// The product ID from the "HID_ID=bus:vendor:product" line of a HID device's
// uevent text (hexadecimal fields). False when the line is missing or is not
// of that form, or the product does not fit 16 bits.
bool HidPortParseUeventProductId(std::string_view uevent, std::uint16_t& productId);
