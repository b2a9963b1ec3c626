#include "sim/sim_port.h"

#include <cstring>
#include <utility>

#include "hub/hid_port.h"
#include "hub/transport.h"
#include "sim/trace.h"

namespace sim {

SimDevice HubDevice(const std::string& path, std::shared_ptr<SimHub> hub, std::uint16_t productId)
{
    SimDevice device;
    device.path = path;
    device.usagePage = 0xFF83;
    device.usage = 0x80;
    device.productId = productId;
    device.hub = std::move(hub);
    return device;
}

void SimPort::Reset()
{
    devices_.clear();
    handles_.clear();
    openCounts_.clear();
    pathQueries_.clear();
    nextHandle_ = 0x100;
}

void SimPort::SetDevice(int index, SimDevice device)
{
    devices_[index] = std::move(device);
}

int SimPort::AddDevice(SimDevice device)
{
    const int index = devices_.empty() ? 0 : devices_.rbegin()->first + 1;
    devices_[index] = std::move(device);
    return index;
}

SimDevice* SimPort::Device(int index)
{
    auto it = devices_.find(index);
    return it == devices_.end() ? nullptr : &it->second;
}

HidHandle SimPort::Open(int index)
{
    HidHandle handle = kNoHidHandle;
    return OpenIndex(index, handle) ? handle : kNoHidHandle;
}

bool SimPort::OpenIndex(int index, HidHandle& handle)
{
    SimDevice* device = Device(index);
    if (device == nullptr) return false;
    if (!device->openable) {
        TraceEvent("OPEN FAIL " + device->path);
        return false;
    }
    handle = nextHandle_++;
    handles_[handle] = index;
    ++openCounts_[index];
    TraceEvent("OPEN " + device->path);
    return true;
}

int SimPort::OpenCount(int index) const
{
    auto it = openCounts_.find(index);
    return it == openCounts_.end() ? 0 : it->second;
}

SimDevice* SimPort::DeviceOf(HidHandle handle)
{
    auto it = handles_.find(handle);
    return it == handles_.end() ? nullptr : Device(it->second);
}

bool SimPort::GetDevicePath(int index, std::string& path)
{
    pathQueries_.push_back(index);
    SimDevice* device = Device(index);
    if (device == nullptr) return false;
    path = device->path;
    return true;
}

bool SimPort::OpenPath(const std::string& path, HidHandle& handle)
{
    // Two devices with one path: the first one answers, as a path names one device.
    for (auto& [index, device] : devices_)
        if (device.path == path) return OpenIndex(index, handle);
    TraceEvent("OPEN FAIL " + path);
    return false;
}

void SimPort::Close(HidHandle handle)
{
    SimDevice* device = DeviceOf(handle);
    TraceEvent("CLOSE " + (device != nullptr ? device->path : std::string("?")));
    handles_.erase(handle);
}

bool SimPort::GetCaps(HidHandle handle, std::uint16_t& usagePage, std::uint16_t& usage)
{
    SimDevice* device = DeviceOf(handle);
    if (device == nullptr || !device->capsOk) return false;
    usagePage = device->usagePage;
    usage = device->usage;
    return true;
}

bool SimPort::GetProductId(HidHandle handle, std::uint16_t& productId)
{
    SimDevice* device = DeviceOf(handle);
    if (device == nullptr || !device->attributesOk) return false;
    productId = device->productId;
    return true;
}

bool SimPort::SetFeature(HidHandle handle, const std::uint8_t* buffer, std::size_t length)
{
    const std::string hex = buffer != nullptr ? HexBytes(buffer, length) : std::string();
    SimDevice* device = DeviceOf(handle);
    bool ok = false;
    if (device != nullptr && device->hub && buffer != nullptr && length == HidReportLength &&
        buffer[0] == HidReportId) {
        HidReport request{};
        std::memcpy(request.data(), buffer, HidReportLength);
        ok = device->hub->OnSetFeature(request);
    }
    TraceEvent((ok ? "SET " : "SET FAIL ") + hex);
    return ok;
}

bool SimPort::GetFeature(HidHandle handle, std::uint8_t* buffer, std::size_t length)
{
    if (buffer != nullptr && length > 0 && buffer[0] != HidReportId) {
        TraceEvent("GET FAIL id=" + HexBytes(buffer, 1));
        return false;
    }
    SimDevice* device = DeviceOf(handle);
    HidReport reply{};
    if (device == nullptr || !device->hub || buffer == nullptr || length != HidReportLength ||
        !device->hub->OnGetFeature(reply)) {
        TraceEvent("GET FAIL");
        return false;
    }
    std::memcpy(buffer, reply.data(), HidReportLength);
    TraceEvent("GET " + HexBytes(buffer, length));
    return true;
}

SimPort& Port()
{
    static SimPort port;
    return port;
}

}  // namespace sim
