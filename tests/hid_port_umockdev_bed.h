// A umockdev test bed of hidraw nodes whose ioctls are answered in-process:
// the report descriptor, the device information and the feature reports,
// these last by a simulated hub (sim/sim_hub.h).
//
// umockdev reaches a program only through its preload library, so a test
// executable that uses the bed calls RunUnderUmockdevPreload() first in main:
// it executes the program again with the library preloaded when it is not.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/sim_hub.h"

typedef struct _UMockdevTestbed UMockdevTestbed;
typedef struct _UMockdevIoctlBase UMockdevIoctlBase;

namespace umocktest {

// Executes the program again under the preload library unless it already
// runs under it (or an earlier attempt did not bring it in). Returns only
// when no new execution took place.
void RunUnderUmockdevPreload(char** argv);

// Empty when the preload library is loaded into this process; otherwise why
// a test of the bed cannot run.
std::string UmockdevUnavailableReason();

// True when the preload library can be found on this machine at all.
bool UmockdevPreloadInstalled();

// One ioctl as the emulated node saw it.
struct SeenIoctl {
    unsigned direction = 0;           // _IOC_DIR
    char type = 0;                    // _IOC_TYPE
    unsigned number = 0;              // _IOC_NR
    unsigned size = 0;                // _IOC_SIZE
    std::vector<std::uint8_t> bytes;  // feature reports: the buffer as it came in
    std::vector<std::uint8_t> reply;  // get-feature: the buffer as it went back (when it succeeded)
    long result = -1;                 // what the ioctl returned
    int error = 0;                    // its errno when it failed
};

// The feature-report transfers among seen, in order, in the words of the
// stand-in's trace (sim/trace.h) without the time: "SET <hex>" with the 17
// request bytes, "GET <hex>" with the 17 reply bytes, "SET FAIL <hex>" and
// "GET FAIL" for transfers that failed.
std::vector<std::string> FeatureEvents(const std::vector<SeenIoctl>& seen);

struct HidrawDevice {
    std::vector<std::uint8_t> descriptor;
    std::uint16_t vendorId = 0x1234;
    std::uint16_t productId = 0x8301;
    std::shared_ptr<sim::SimHub> hub;  // null: feature reports fail with EPIPE

    // Faults of the emulated node (0: none).
    int descriptorErrno = 0;  // HIDIOCGRDESCSIZE and HIDIOCGRDESC fail so
    int rawInfoErrno = 0;     // HIDIOCGRAWINFO fails so
    int featureErrno = 0;     // both feature ioctls fail so
    int featureShort = -1;    // >= 0: both feature ioctls return this count
};

// The hub's report descriptor head (usage page 0xFF83, usage 0x80) and one
// with another usage pair.
std::vector<std::uint8_t> HubDescriptor();
std::vector<std::uint8_t> DescriptorFor(std::uint16_t usagePage, std::uint16_t usage);

class HidrawBed {
public:
    HidrawBed();
    ~HidrawBed();
    HidrawBed(const HidrawBed&) = delete;
    HidrawBed& operator=(const HidrawBed&) = delete;

    bool ok() const { return bed_ != nullptr && error_.empty(); }
    const std::string& error() const { return error_; }

    // Adds /dev/hidrawN with its HID parent in sysfs (report_descriptor and
    // uevent there too) and attaches the ioctl handler. Returns the node path.
    std::string Add(int number, HidrawDevice device);

    // Adds a node for every device of a hub file (docs/hub-file.md):
    // /dev/hidrawN for the device at enumeration index N, with a descriptor of
    // its usage pair and its product ID, the devices marked "hub" answered by
    // the file's one hub model (returned in hub). A device setting that an
    // emulated node cannot show as such (open=no, attributes=fail, caps=fail)
    // is an error. False with error set on a fault.
    bool AddHubFile(const std::string& path, std::shared_ptr<sim::SimHub>& hub, std::string& error);

    // The ioctls node N saw so far, and the device (its faults may be changed
    // between transfers).
    std::vector<SeenIoctl> Seen(int number);
    HidrawDevice& Device(int number);

    struct Node;  // one emulated node; defined in the .cpp

private:
    UMockdevTestbed* bed_ = nullptr;
    std::vector<std::unique_ptr<Node>> nodes_;
    std::string error_;
};

}  // namespace umocktest
