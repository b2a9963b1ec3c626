#include "hid_port_umockdev_bed.h"

#include <dlfcn.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <umockdev.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sim/hub_file.h"
#include "sim/sim_port.h"
#include "sim/trace.h"

namespace umocktest {

namespace {

constexpr const char* kPreloadLibrary = "libumockdev-preload.so.0";
constexpr const char* kReexecGuard = "XOV_TEST_UMOCKDEV_REEXEC";

bool PreloadLoaded()
{
    void* handle = dlopen(kPreloadLibrary, RTLD_LAZY | RTLD_NOLOAD);
    if (handle == nullptr) return false;
    dlclose(handle);
    return true;
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

std::string Hex(const std::vector<std::uint8_t>& bytes)
{
    std::string text;
    char digits[3];
    for (std::uint8_t b : bytes) {
        std::snprintf(digits, sizeof digits, "%02x", b);
        text += digits;
    }
    return text;
}

}  // namespace

void RunUnderUmockdevPreload(char** argv)
{
    if (PreloadLoaded() || std::getenv(kReexecGuard) != nullptr) return;
    std::string preload = kPreloadLibrary;
    if (const char* old = std::getenv("LD_PRELOAD"); old != nullptr && *old != '\0') preload += std::string(":") + old;
    setenv("LD_PRELOAD", preload.c_str(), 1);
    setenv(kReexecGuard, "1", 1);
    if (kAddressSanitizer) {
        // The preload library comes before the sanitizer's runtime; that is
        // fine for this use, so the runtime must not insist on being first.
        std::string options = "verify_asan_link_order=0";
        if (const char* old = std::getenv("ASAN_OPTIONS"); old != nullptr && *old != '\0')
            options = std::string(old) + ":" + options;
        setenv("ASAN_OPTIONS", options.c_str(), 1);
    }
    execv("/proc/self/exe", argv);
    // Could not execute again: go on without the library; the tests say why.
    std::fprintf(stderr, "re-execution under %s failed: %s\n", kPreloadLibrary, std::strerror(errno));
}

std::string UmockdevUnavailableReason()
{
    if (PreloadLoaded()) return {};
    return std::string("umockdev is not available: ") + kPreloadLibrary +
           " is not loaded into the test process (is the umockdev runtime package installed?)";
}

bool UmockdevPreloadInstalled()
{
    if (PreloadLoaded()) return true;
    void* handle = dlopen(kPreloadLibrary, RTLD_LAZY | RTLD_LOCAL);
    if (handle == nullptr) return false;
    dlclose(handle);
    return true;
}

std::vector<std::uint8_t> DescriptorFor(std::uint16_t usagePage, std::uint16_t usage)
{
    // Usage Page, Usage, Collection (Application), Report ID 0x5a, one
    // 16-byte feature report, End Collection.
    return {0x06,
            static_cast<std::uint8_t>(usagePage & 0xFF),
            static_cast<std::uint8_t>(usagePage >> 8),
            0x0A,
            static_cast<std::uint8_t>(usage & 0xFF),
            static_cast<std::uint8_t>(usage >> 8),
            0xA1,
            0x01,
            0x85,
            0x5A,
            0x09,
            0x01,
            0x15,
            0x00,
            0x26,
            0xFF,
            0x00,
            0x75,
            0x08,
            0x95,
            0x10,
            0xB1,
            0x02,
            0xC0};
}

std::vector<std::uint8_t> HubDescriptor()
{
    return DescriptorFor(0xFF83, 0x80);
}

struct HidrawBed::Node {
    int number = 0;
    HidrawDevice device;
    UMockdevIoctlBase* handler = nullptr;
    std::mutex mutex;  // the handler runs on the bed's worker thread
    std::vector<SeenIoctl> seen;
};

namespace {

// Completes the ioctl with result and errno.
void Complete(UMockdevIoctlClient* client, long result, int error)
{
    umockdev_ioctl_client_complete(client, result, error);
}

// The local copy of the memory the ioctl argument points at; null on failure.
UMockdevIoctlData* Resolve(UMockdevIoctlClient* client, std::size_t length)
{
    GError* error = nullptr;
    UMockdevIoctlData* data = umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, length, &error);
    if (error != nullptr) g_error_free(error);
    return data;
}

gboolean HandleIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer userData)
{
    auto* node = static_cast<HidrawBed::Node*>(userData);
    std::lock_guard<std::mutex> lock(node->mutex);
    const unsigned long request = umockdev_ioctl_client_get_request(client);
    SeenIoctl seen;
    seen.direction = static_cast<unsigned>(_IOC_DIR(request));
    seen.type = static_cast<char>(_IOC_TYPE(request));
    seen.number = static_cast<unsigned>(_IOC_NR(request));
    seen.size = static_cast<unsigned>(_IOC_SIZE(request));
    const HidrawDevice& device = node->device;

    if (seen.type != 'H') {
        node->seen.push_back(seen);
        Complete(client, -1, ENOTTY);
        return TRUE;
    }

    UMockdevIoctlData* data = nullptr;
    long result = -1;
    int error = 0;
    switch (seen.number) {
        case 0x01:  // HIDIOCGRDESCSIZE
            if (device.descriptorErrno != 0) {
                error = device.descriptorErrno;
            } else if ((data = Resolve(client, sizeof(int))) == nullptr) {
                error = EFAULT;
            } else {
                const int size = static_cast<int>(device.descriptor.size());
                std::memcpy(data->data, &size, sizeof size);
                result = 0;
            }
            break;
        case 0x02:  // HIDIOCGRDESC: as the kernel, up to the size asked for
            if (device.descriptorErrno != 0) {
                error = device.descriptorErrno;
            } else if ((data = Resolve(client, sizeof(hidraw_report_descriptor))) == nullptr) {
                error = EFAULT;
            } else {
                std::uint32_t asked = 0;
                std::memcpy(&asked, data->data, sizeof asked);
                // The kernel refuses a length of 4096 and more, so a descriptor of
                // the largest size cannot be had this way.
                if (asked > HID_MAX_DESCRIPTOR_SIZE - 1) {
                    error = EINVAL;
                } else {
                    const std::size_t n = std::min<std::size_t>(asked, device.descriptor.size());
                    std::memcpy(data->data + offsetof(hidraw_report_descriptor, value), device.descriptor.data(), n);
                    result = 0;
                }
            }
            break;
        case 0x03:  // HIDIOCGRAWINFO
            if (device.rawInfoErrno != 0) {
                error = device.rawInfoErrno;
            } else if ((data = Resolve(client, sizeof(hidraw_devinfo))) == nullptr) {
                error = EFAULT;
            } else {
                hidraw_devinfo info{};
                info.bustype = 0x18;
                info.vendor = static_cast<__s16>(device.vendorId);
                info.product = static_cast<__s16>(device.productId);
                std::memcpy(data->data, &info, sizeof info);
                result = 0;
            }
            break;
        case 0x06:    // HIDIOCSFEATURE(len)
        case 0x07: {  // HIDIOCGFEATURE(len)
            const bool set = seen.number == 0x06;
            if (seen.size == 0 || (data = Resolve(client, seen.size)) == nullptr) {
                error = EFAULT;
                break;
            }
            seen.bytes.assign(data->data, data->data + seen.size);
            if (device.featureErrno != 0) {
                error = device.featureErrno;
                break;
            }
            // The hub has one 17-byte feature report, ID 0x5a; the device stalls
            // on anything else.
            HidReport report{};
            if (device.hub == nullptr || seen.size != HidReportLength || data->data[0] != HidReportId) {
                error = EPIPE;
                break;
            }
            std::copy(data->data, data->data + HidReportLength, report.begin());
            const bool ok = set ? device.hub->OnSetFeature(report) : device.hub->OnGetFeature(report);
            if (!ok) {
                error = EPIPE;
                break;
            }
            if (!set) {
                std::copy(report.begin(), report.end(), data->data);
                seen.reply.assign(report.begin(), report.end());
            }
            result = device.featureShort >= 0 ? device.featureShort : static_cast<long>(HidReportLength);
            break;
        }
        default:
            error = EINVAL;
            break;
    }
    seen.result = result;
    seen.error = error;
    node->seen.push_back(std::move(seen));
    Complete(client, result, error);
    if (data != nullptr) g_object_unref(data);
    return TRUE;
}

}  // namespace

HidrawBed::HidrawBed()
{
    const std::string reason = UmockdevUnavailableReason();
    if (!reason.empty()) {
        error_ = reason;
        return;
    }
    bed_ = umockdev_testbed_new();
    if (bed_ == nullptr) error_ = "umockdev_testbed_new failed";
}

HidrawBed::~HidrawBed()
{
    for (auto& node : nodes_) {
        if (bed_ != nullptr) {
            const std::string dev = "/dev/hidraw" + std::to_string(node->number);
            umockdev_testbed_detach_ioctl(bed_, dev.c_str(), nullptr);
        }
        if (node->handler != nullptr) g_object_unref(node->handler);
    }
    if (bed_ != nullptr) g_object_unref(bed_);
}

std::string HidrawBed::Add(int number, HidrawDevice device)
{
    const std::string dev = "/dev/hidraw" + std::to_string(number);
    if (bed_ == nullptr) return dev;
    char parent[64];
    std::snprintf(parent, sizeof parent, "0018:%04X:%04X.%04X", device.vendorId, device.productId,
                  static_cast<unsigned>(number + 1));
    char hidId[64];
    std::snprintf(hidId, sizeof hidId, "HID_ID=0018:%08X:%08X", device.vendorId, device.productId);
    const std::string parentPath = std::string("/devices/platform/i2c/") + parent;
    const std::string text =
        "P: " + parentPath + "\nE: SUBSYSTEM=hid\nE: DRIVER=hid-generic\nE: " + hidId + "\nE: HID_NAME=Emulated HID " +
        std::to_string(number) + "\nH: report_descriptor=" + Hex(device.descriptor) + "\n\nP: " + parentPath +
        "/hidraw/hidraw" + std::to_string(number) + "\nN: hidraw" + std::to_string(number) +
        "\nE: SUBSYSTEM=hidraw\nE: DEVNAME=" + dev + "\nE: MAJOR=240\nE: MINOR=" + std::to_string(number) +
        "\nL: device=../../../" + parent + "\n";
    GError* gerror = nullptr;
    if (!umockdev_testbed_add_from_string(bed_, text.c_str(), &gerror)) {
        error_ = std::string("add_from_string: ") + (gerror != nullptr ? gerror->message : "failed");
        if (gerror != nullptr) g_error_free(gerror);
        return dev;
    }

    auto node = std::make_unique<Node>();
    node->number = number;
    node->device = std::move(device);
    node->handler = umockdev_ioctl_base_new();
    g_signal_connect(node->handler, "handle-ioctl", G_CALLBACK(HandleIoctl), node.get());
    if (!umockdev_testbed_attach_ioctl(bed_, dev.c_str(), node->handler, &gerror)) {
        error_ = std::string("attach_ioctl: ") + (gerror != nullptr ? gerror->message : "failed");
        if (gerror != nullptr) g_error_free(gerror);
    }
    nodes_.push_back(std::move(node));
    return dev;
}

bool HidrawBed::AddHubFile(const std::string& path, std::shared_ptr<sim::SimHub>& hub, std::string& error)
{
    sim::SimPort port;
    if (!sim::LoadHubFile(path, port, error, &hub)) return false;
    for (const auto& [index, simDevice] : port.Devices()) {
        if (!simDevice.openable || !simDevice.attributesOk || !simDevice.capsOk) {
            error = path + ": " + simDevice.path + ": open=no, attributes=fail and caps=fail have no emulated node";
            return false;
        }
        HidrawDevice device;
        device.descriptor = DescriptorFor(simDevice.usagePage, simDevice.usage);
        device.productId = simDevice.productId;
        device.hub = simDevice.hub;
        Add(index, std::move(device));
        if (!ok()) {
            error = error_;
            return false;
        }
    }
    return true;
}

std::vector<std::string> FeatureEvents(const std::vector<SeenIoctl>& seen)
{
    std::vector<std::string> events;
    for (const SeenIoctl& s : seen) {
        if (s.type != 'H' || (s.number != 0x06 && s.number != 0x07)) continue;
        const bool ok = s.result >= 0 && static_cast<std::size_t>(s.result) >= HidReportLength;
        if (s.number == 0x06)
            events.push_back((ok ? "SET " : "SET FAIL ") + sim::HexBytes(s.bytes.data(), s.bytes.size()));
        else
            events.push_back(ok ? "GET " + sim::HexBytes(s.reply.data(), s.reply.size()) : std::string("GET FAIL"));
    }
    return events;
}

std::vector<SeenIoctl> HidrawBed::Seen(int number)
{
    for (auto& node : nodes_) {
        if (node->number != number) continue;
        std::lock_guard<std::mutex> lock(node->mutex);
        return node->seen;
    }
    return {};
}

HidrawDevice& HidrawBed::Device(int number)
{
    for (auto& node : nodes_)
        if (node->number == number) return node->device;
    std::abort();
}

}  // namespace umocktest
