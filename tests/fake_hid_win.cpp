// A stand-in for the HID class driver (hid.dll) and the device enumeration
// services (setupapi.dll) of Windows, over the hub stand-in's devices: the
// production XOVSensorHubCalibration.exe runs on it under Wine, unchanged.
// Built as hid.dll; setupapi.dll (fake_setupapi_win.def) forwards its four
// functions here. Both go next to a copy of the .exe and are loaded in place of
// the system's with WINEDLLOVERRIDES="hid,setupapi=n,b" (native first: the system services that
// Wine starts on the way find no native setupapi.dll and take the builtin one).
//
//   XOV_FAKE_HUB    the hub file (docs/hub-file.md)
//   XOV_FAKE_TRACE  the trace file (sim/trace.h), optional
//
// Every device of the hub file that can be opened is a file
// "xov-hid-devices\<index>" in the working directory, and its full path is the
// device path: CreateFileA opens a real handle, and the file name behind a
// handle leads back to the device.
//
// The calls are checked as the system's services require them; a call that
// breaks a rule fails and leaves a line "FAKE <what>" in the trace. At the end
// of the process, enumeration lists or preparsed data that were never released
// leave "FAKE LEAK ..." lines.
#define _SETUPAPI_  // this file defines the enumeration functions
// clang-format off
#include <windows.h>
#include <setupapi.h>
// clang-format on
extern "C" {
#include <hidsdi.h>
}

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>

#include "sim/hub_file.h"
#include "sim/sim_port.h"
#include "sim/trace.h"

#define FAKE_EXPORT extern "C" __declspec(dllexport)

namespace {

// The interface class of HID devices.
constexpr GUID kHidClass = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
constexpr const char* kDeviceDir = "xov-hid-devices";
constexpr USHORT kFeatureReportLength = 17;
constexpr DWORD kPreparsedMagic = 0x48564F58;  // "XOVH"

struct EnumList {
    int magic = 0x4C564F58;
};

struct Preparsed {
    DWORD magic = kPreparsedMagic;
    int index = 0;
};

struct Fake {
    bool loaded = false;
    std::map<int, std::string> paths;     // device index -> device path (openable devices)
    std::map<int, HidHandle> simHandles;  // device index -> its handle in the stand-in
    std::set<EnumList*> lists;
    std::set<Preparsed*> preparsed;
};

Fake& State()
{
    static Fake fake;
    static bool started = false;
    if (started) return fake;
    started = true;
    const char* trace = std::getenv("XOV_FAKE_TRACE");
    if (trace != nullptr && *trace != '\0') sim::TraceToFile(trace);
    const char* hubFile = std::getenv("XOV_FAKE_HUB");
    std::string error;
    if (hubFile == nullptr || !sim::LoadHubFile(hubFile, sim::Port(), error)) {
        std::fprintf(stderr, "fake hid.dll: %s\n", hubFile == nullptr ? "XOV_FAKE_HUB is not set" : error.c_str());
        return fake;
    }
    CreateDirectoryA(kDeviceDir, nullptr);
    for (int index = 0; index < 4096; ++index) {
        sim::SimDevice* device = sim::Port().Device(index);
        if (device == nullptr || !device->openable) continue;
        const std::string name = std::string(kDeviceDir) + "\\" + std::to_string(index);
        const HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) continue;
        CloseHandle(file);
        char full[MAX_PATH];
        const DWORD length = GetFullPathNameA(name.c_str(), sizeof full, full, nullptr);
        if (length == 0 || length >= sizeof full) continue;
        fake.paths[index] = full;
    }
    fake.loaded = true;
    return fake;
}

void Rule(const std::string& what)
{
    sim::TraceEvent("FAKE " + what);
}

// The device behind a handle that CreateFileA gave for one of the device
// paths; -1 for any other handle.
int DeviceIndexOf(HANDLE handle)
{
    char name[MAX_PATH];
    const DWORD length = GetFinalPathNameByHandleA(handle, name, sizeof name, 0);
    if (length == 0 || length >= sizeof name) return -1;
    const std::string path(name, length);
    const std::size_t slash = path.find_last_of('\\');
    const std::string dir = path.substr(0, slash);
    if (slash == std::string::npos || dir.size() < std::strlen(kDeviceDir) ||
        _stricmp(dir.c_str() + dir.size() - std::strlen(kDeviceDir), kDeviceDir) != 0)
        return -1;
    char* end = nullptr;
    const long index = std::strtol(path.c_str() + slash + 1, &end, 10);
    if (end == path.c_str() + slash + 1 || *end != '\0') return -1;
    return static_cast<int>(index);
}

// The stand-in's handle for the device behind handle; kNoHidHandle when it
// is none of ours. Each device is opened in the stand-in once, when the tool
// first uses a handle of it.
HidHandle SimHandleOf(HANDLE handle)
{
    Fake& fake = State();
    if (!fake.loaded) return kNoHidHandle;
    const int index = DeviceIndexOf(handle);
    if (index < 0 || fake.paths.count(index) == 0) return kNoHidHandle;
    auto it = fake.simHandles.find(index);
    if (it != fake.simHandles.end()) return it->second;
    const HidHandle simHandle = sim::Port().Open(index);
    fake.simHandles[index] = simHandle;
    return simHandle;
}

}  // namespace

// --- device enumeration ---------------------------------------------------

FAKE_EXPORT HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* classGuid, PCSTR enumerator, HWND parent, DWORD flags)
{
    (void)enumerator;
    (void)parent;
    Fake& fake = State();
    if (classGuid == nullptr || (flags & DIGCF_DEVICEINTERFACE) == 0) {
        Rule("SetupDiGetClassDevsA wants the interface class and DIGCF_DEVICEINTERFACE");
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if ((flags & DIGCF_PRESENT) == 0) Rule("SetupDiGetClassDevsA without DIGCF_PRESENT");
    auto* list = new EnumList;
    fake.lists.insert(list);
    return reinterpret_cast<HDEVINFO>(list);
}

FAKE_EXPORT BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO listHandle)
{
    Fake& fake = State();
    auto* list = reinterpret_cast<EnumList*>(listHandle);
    if (fake.lists.erase(list) == 0) {
        Rule("SetupDiDestroyDeviceInfoList on a list that is not open");
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    delete list;
    return TRUE;
}

FAKE_EXPORT BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO listHandle, PSP_DEVINFO_DATA deviceInfo,
                                                    const GUID* classGuid, DWORD index,
                                                    PSP_DEVICE_INTERFACE_DATA interfaceData)
{
    Fake& fake = State();
    if (fake.lists.count(reinterpret_cast<EnumList*>(listHandle)) == 0) {
        Rule("SetupDiEnumDeviceInterfaces on a list that is not open");
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (interfaceData == nullptr || interfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
        Rule("SetupDiEnumDeviceInterfaces: the interface record's size field is not set");
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    if (deviceInfo != nullptr || classGuid == nullptr || !IsEqualGUID(*classGuid, kHidClass) ||
        sim::Port().Device(static_cast<int>(index)) == nullptr) {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    interfaceData->InterfaceClassGuid = kHidClass;
    interfaceData->Flags = SPINT_ACTIVE;
    interfaceData->Reserved = index;
    return TRUE;
}

FAKE_EXPORT BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(HDEVINFO listHandle, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                                         PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD detailSize,
                                                         PDWORD requiredSize, PSP_DEVINFO_DATA deviceInfo)
{
    (void)deviceInfo;
    Fake& fake = State();
    if (fake.lists.count(reinterpret_cast<EnumList*>(listHandle)) == 0) {
        Rule("SetupDiGetDeviceInterfaceDetailA on a list that is not open");
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (interfaceData == nullptr || interfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
        Rule("SetupDiGetDeviceInterfaceDetailA: bad interface record");
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const int index = static_cast<int>(interfaceData->Reserved);
    sim::SimDevice* device = sim::Port().Device(index);
    if (device == nullptr) {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    // A device that cannot be opened gets a path where no file is.
    const auto it = fake.paths.find(index);
    const std::string path =
        it != fake.paths.end() ? it->second : std::string("Z:\\xov-no-such-device\\") + device->path;
    const DWORD needed = static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + path.size() + 1);
    if (requiredSize != nullptr) *requiredSize = needed;
    if (detail == nullptr) {
        if (detailSize != 0) {
            Rule("SetupDiGetDeviceInterfaceDetailA: no record but a size");
            SetLastError(ERROR_INVALID_USER_BUFFER);
            return FALSE;
        }
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
        Rule("SetupDiGetDeviceInterfaceDetailA: the record's size field is " + std::to_string(detail->cbSize) +
             ", not the size of the fixed part");
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    if (detailSize < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(detail->DevicePath, path.c_str(), path.size() + 1);
    return TRUE;
}

// --- HID class driver -----------------------------------------------------

FAKE_EXPORT void NTAPI HidD_GetHidGuid(LPGUID guid)
{
    if (guid != nullptr) *guid = kHidClass;
}

FAKE_EXPORT BOOLEAN NTAPI HidD_GetPreparsedData(HANDLE handle, PHIDP_PREPARSED_DATA* preparsedData)
{
    const HidHandle simHandle = SimHandleOf(handle);
    std::uint16_t page = 0;
    std::uint16_t usage = 0;
    if (simHandle == kNoHidHandle || preparsedData == nullptr || !sim::Port().GetCaps(simHandle, page, usage))
        return FALSE;
    auto* data = new Preparsed;
    data->index = DeviceIndexOf(handle);
    State().preparsed.insert(data);
    *preparsedData = reinterpret_cast<PHIDP_PREPARSED_DATA>(data);
    return TRUE;
}

FAKE_EXPORT BOOLEAN NTAPI HidD_FreePreparsedData(PHIDP_PREPARSED_DATA preparsedData)
{
    auto* data = reinterpret_cast<Preparsed*>(preparsedData);
    if (State().preparsed.erase(data) == 0) {
        Rule("HidD_FreePreparsedData on data that is not held");
        return FALSE;
    }
    delete data;
    return TRUE;
}

FAKE_EXPORT NTSTATUS NTAPI HidP_GetCaps(PHIDP_PREPARSED_DATA preparsedData, PHIDP_CAPS caps)
{
    auto* data = reinterpret_cast<Preparsed*>(preparsedData);
    if (State().preparsed.count(data) == 0 || data->magic != kPreparsedMagic) {
        Rule("HidP_GetCaps on data that is not held");
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    }
    sim::SimDevice* device = sim::Port().Device(data->index);
    if (device == nullptr || caps == nullptr) return HIDP_STATUS_INVALID_PREPARSED_DATA;
    std::memset(caps, 0, sizeof *caps);
    caps->UsagePage = device->usagePage;
    caps->Usage = device->usage;
    caps->FeatureReportByteLength = kFeatureReportLength;
    caps->NumberFeatureValueCaps = 1;
    return HIDP_STATUS_SUCCESS;
}

FAKE_EXPORT BOOLEAN NTAPI HidD_GetAttributes(HANDLE handle, PHIDD_ATTRIBUTES attributes)
{
    const HidHandle simHandle = SimHandleOf(handle);
    std::uint16_t productId = 0;
    if (simHandle == kNoHidHandle || attributes == nullptr || !sim::Port().GetProductId(simHandle, productId))
        return FALSE;
    attributes->Size = sizeof *attributes;
    attributes->VendorID = 0x1234;
    attributes->ProductID = productId;
    attributes->VersionNumber = 0x0100;
    return TRUE;
}

FAKE_EXPORT BOOLEAN NTAPI HidD_SetFeature(HANDLE handle, PVOID buffer, ULONG length)
{
    const HidHandle simHandle = SimHandleOf(handle);
    if (simHandle == kNoHidHandle || buffer == nullptr) return FALSE;
    if (length != kFeatureReportLength) {
        Rule("HidD_SetFeature with " + std::to_string(length) + " bytes, not the feature report length");
        return FALSE;
    }
    return sim::Port().SetFeature(simHandle, static_cast<const std::uint8_t*>(buffer), length) ? TRUE : FALSE;
}

FAKE_EXPORT BOOLEAN NTAPI HidD_GetFeature(HANDLE handle, PVOID buffer, ULONG length)
{
    const HidHandle simHandle = SimHandleOf(handle);
    if (simHandle == kNoHidHandle || buffer == nullptr) return FALSE;
    if (length != kFeatureReportLength) {
        Rule("HidD_GetFeature with " + std::to_string(length) + " bytes, not the feature report length");
        return FALSE;
    }
    return sim::Port().GetFeature(simHandle, static_cast<std::uint8_t*>(buffer), length) ? TRUE : FALSE;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_DETACH) {
        Fake& fake = State();
        if (!fake.lists.empty()) Rule("LEAK " + std::to_string(fake.lists.size()) + " enumeration lists");
        if (!fake.preparsed.empty()) Rule("LEAK " + std::to_string(fake.preparsed.size()) + " preparsed data");
        sim::TraceCloseFile();
    }
    return TRUE;
}
