#include "hub/hid_port.h"

bool HidPortGetDevicePath(int, std::string&) { return false; }
bool HidPortOpen(const std::string&, HidHandle&) { return false; }
void HidPortClose(HidHandle) {}
bool HidPortGetCaps(HidHandle, std::uint16_t&, std::uint16_t&) { return false; }
bool HidPortGetProductId(HidHandle, std::uint16_t&) { return false; }
bool HidPortSetFeature(HidHandle, const std::uint8_t*, std::size_t) { return false; }
bool HidPortGetFeature(HidHandle, std::uint8_t*, std::size_t) { return false; }
