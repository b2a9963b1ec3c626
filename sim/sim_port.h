// The simulated OS layer: an implementation of hub/hid_port.h over a table of
// HID devices that tests (or the hub file) put in place. A device may carry a
// simulated hub (sim/sim_hub.h) that answers its feature reports; transfers
// on a device without one, on a closed or unknown handle, or with a length
// other than 17 fail, and so do a set-feature whose byte 0 is not 0x5a and a
// get-feature whose buffer does not hold 0x5a in byte 0 when it is made.
// Every open, close and transfer goes to the trace (sim/trace.h). The
// hid_port functions over Port() are in sim/sim_hid_port.cpp.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/state.h"
#include "sim/sim_hub.h"

namespace sim {

struct SimDevice {
    std::string path;
    std::uint16_t usagePage = 0;
    std::uint16_t usage = 0;
    std::uint16_t productId = 0;
    bool openable = true;         // HidPortOpen succeeds
    bool attributesOk = true;     // HidPortGetProductId succeeds
    bool capsOk = true;           // HidPortGetCaps succeeds
    std::shared_ptr<SimHub> hub;  // null: the device answers no feature report
};

// A device with the hub's usage pair (page 0xFF83, usage 0x80).
SimDevice HubDevice(const std::string& path, std::shared_ptr<SimHub> hub, std::uint16_t productId = 0x8301);

class SimPort {
public:
    // Forgets every device, open handle and counter.
    void Reset();

    // Puts a device at an enumeration index (replacing one that was there).
    void SetDevice(int index, SimDevice device);
    // Puts a device at the index after the highest one in use (0 when empty);
    // returns the index.
    int AddDevice(SimDevice device);

    SimDevice* Device(int index);                                         // null when there is none
    const std::map<int, SimDevice>& Devices() const { return devices_; }  // by enumeration index

    // Opens the device at index as HidPortOpen would (the trace shows the
    // open); kNoHidHandle when there is none or it cannot be opened.
    HidHandle Open(int index);

    // --- what the OS layer saw -------------------------------------------
    const std::vector<int>& PathQueries() const { return pathQueries_; }  // indices asked, in order
    int OpenCount(int index) const;                                       // successful opens of the device at index
    int OpenHandles() const { return static_cast<int>(handles_.size()); }
    bool IsOpen(HidHandle handle) const { return handles_.count(handle) != 0; }

    // --- the hid_port operations -----------------------------------------
    bool GetDevicePath(int index, std::string& path);
    bool OpenPath(const std::string& path, HidHandle& handle);
    void Close(HidHandle handle);
    bool GetCaps(HidHandle handle, std::uint16_t& usagePage, std::uint16_t& usage);
    bool GetProductId(HidHandle handle, std::uint16_t& productId);
    bool SetFeature(HidHandle handle, const std::uint8_t* buffer, std::size_t length);
    bool GetFeature(HidHandle handle, std::uint8_t* buffer, std::size_t length);

private:
    SimDevice* DeviceOf(HidHandle handle);
    bool OpenIndex(int index, HidHandle& handle);

    std::map<int, SimDevice> devices_;
    std::map<HidHandle, int> handles_;  // open handle -> device index
    std::map<int, int> openCounts_;
    std::vector<int> pathQueries_;
    HidHandle nextHandle_ = 0x100;
};

// The one port the hid_port functions use.
SimPort& Port();

}  // namespace sim
