#include "hub/discovery.h"

#include "common/output.h"
#include "hub/hid_port.h"

bool GetHIDDevicePath(int index, std::string& path)
{
    return HidPortGetDevicePath(index, path);
}

bool CheckIfOurDevice(HidHandle handle, std::uint16_t usagePage, std::uint16_t usage)
{
    std::uint16_t page = 0;
    std::uint16_t use = 0;
    if (!HidPortGetCaps(handle, page, use)) return false;
    if (page != usagePage || use != usage) return false;
    std::uint16_t productId = 0;
    const bool attributesOk = HidPortGetProductId(handle, productId);
    if (MainTargetPID == 0) return true;
    // The product-ID filter applies only to the hub's own usage pair, only
    // when the attributes could be read, and only to filters of the form 0x83xx.
    if (usagePage != kHubUsagePage || usage != kHubUsage) return true;
    if (!attributesOk) return true;
    if (((static_cast<std::uint32_t>(MainTargetPID) >> 8) & 0xFFu) != 0x83u) return true;
    return static_cast<std::int64_t>(productId) == static_cast<std::int64_t>(MainTargetPID);
}

void ConnectHIDDevice(std::uint16_t usagePage, std::uint16_t usage)
{
    SensorCunt = 0;
    for (int index = 0; index < kDiscoveryIndexCount; ++index) {
        std::string path;
        if (!GetHIDDevicePath(index, path)) continue;
        HidHandle handle = kNoHidHandle;
        if (!HidPortOpen(path, handle)) continue;
        hFile[0] = handle;
        if (CheckIfOurDevice(handle, usagePage, usage)) {
            SensorCunt = 1;
            break;
        }
        HidPortClose(handle);
        hFile[0] = kNoHidHandle;
    }
    PrintBoth("Find %d XOV SensorHub.\r\n", SensorCunt);
}
