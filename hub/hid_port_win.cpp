// The hub link's OS layer on Windows: the HID class driver (hid.dll) and the
// device enumeration services (SetupAPI).
// clang-format off
#include <windows.h>
#include <setupapi.h>
// clang-format on

// The toolchain's HID header declares its functions without C linkage.
extern "C" {
#include <hidsdi.h>
}

#include <climits>
#include <cstddef>
#include <cstdlib>

#include "hub/hid_port.h"

#if defined(_WIN64)
// The enumeration service accepts only the size of the fixed part of the
// detail record: 8 on x64.
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == 8);
#endif

namespace {

HANDLE ToWinHandle(HidHandle handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

bool HidPortGetDevicePath(int index, std::string& path)
{
    if (index < 0) return false;
    GUID hidClass{};
    HidD_GetHidGuid(&hidClass);

    // A fresh list for every index, destroyed before returning.
    const HDEVINFO list = SetupDiGetClassDevsA(&hidClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (list == INVALID_HANDLE_VALUE) return false;

    SP_DEVICE_INTERFACE_DATA interfaceData{};
    interfaceData.cbSize = sizeof interfaceData;
    if (!SetupDiEnumDeviceInterfaces(list, nullptr, &hidClass, static_cast<DWORD>(index), &interfaceData)) {
        SetupDiDestroyDeviceInfoList(list);
        return false;
    }

    // First the size, then the record.
    DWORD required = 0;
    (void)SetupDiGetDeviceInterfaceDetailA(list, &interfaceData, nullptr, 0, &required, nullptr);
    if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
        SetupDiDestroyDeviceInfoList(list);
        return false;
    }
    auto* detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(std::calloc(1, required));
    if (detail == nullptr) {
        SetupDiDestroyDeviceInfoList(list);
        return false;
    }
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!SetupDiGetDeviceInterfaceDetailA(list, &interfaceData, detail, required, nullptr, nullptr)) {
        SetupDiDestroyDeviceInfoList(list);
        std::free(detail);
        return false;
    }

    // The path ends at its NUL or at the end of the record, whichever comes
    // first.
    const std::size_t room = required - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    std::size_t length = 0;
    while (length < room && detail->DevicePath[length] != '\0') ++length;
    path.assign(detail->DevicePath, length);

    SetupDiDestroyDeviceInfoList(list);
    std::free(detail);
    return true;
}

bool HidPortOpen(const std::string& path, HidHandle& handle)
{
    // No access rights: enough for the feature-report calls, and the device
    // stays usable by its other clients.
    const HANDLE device =
        CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE || device == nullptr) return false;
    handle = reinterpret_cast<HidHandle>(device);
    return true;
}

void HidPortClose(HidHandle handle)
{
    if (handle != kNoHidHandle) CloseHandle(ToWinHandle(handle));
}

bool HidPortGetCaps(HidHandle handle, std::uint16_t& usagePage, std::uint16_t& usage)
{
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    if (!HidD_GetPreparsedData(ToWinHandle(handle), &preparsed)) return false;
    HIDP_CAPS caps{};
    const NTSTATUS status = HidP_GetCaps(preparsed, &caps);
    HidD_FreePreparsedData(preparsed);
    if (status != HIDP_STATUS_SUCCESS) return false;
    usagePage = caps.UsagePage;
    usage = caps.Usage;
    return true;
}

bool HidPortGetProductId(HidHandle handle, std::uint16_t& productId)
{
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof attributes;
    if (!HidD_GetAttributes(ToWinHandle(handle), &attributes)) return false;
    productId = attributes.ProductID;
    return true;
}

bool HidPortSetFeature(HidHandle handle, const std::uint8_t* buffer, std::size_t length)
{
    if (length > ULONG_MAX) return false;
    // The driver only reads the report, whatever the declaration says.
    return HidD_SetFeature(ToWinHandle(handle), const_cast<std::uint8_t*>(buffer), static_cast<ULONG>(length)) != 0;
}

bool HidPortGetFeature(HidHandle handle, std::uint8_t* buffer, std::size_t length)
{
    if (length > ULONG_MAX) return false;
    return HidD_GetFeature(ToWinHandle(handle), buffer, static_cast<ULONG>(length)) != 0;
}
