// The HID layer over the kernel's hidraw nodes.
//
// Enumeration lists /sys/class/hidraw by node number, so index i is the i-th
// node present and maps to /dev/hidrawN. A handle is the node's file
// descriptor plus one. The top-level usage comes from the report descriptor
// (read through the node, or from sysfs when the node does not answer), the
// product ID from the node's device information (or the HID device's uevent).
// Feature reports go through HIDIOCSFEATURE and HIDIOCGFEATURE, byte 0 the
// report ID.

#include "hub/hid_port_linux.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <map>
#include <string>
#include <vector>

#include "hub/discovery.h"
#include "hub/hid_port.h"
#include "hub/hid_port_linux_parse.h"

namespace {

std::string gRoot;  // empty: the real root

// hidraw number of every node this layer has open, by file descriptor
// (-1 when the path was not a hidraw node name).
std::map<int, int> gOpenNodes;

constexpr std::size_t kUeventMax = 4096;

std::string HidrawClassDir()
{
    return gRoot + "/sys/class/hidraw";
}

std::string HidrawSysDir(int number)
{
    return HidrawClassDir() + "/hidraw" + std::to_string(number);
}

bool HandleToFd(HidHandle handle, int& fd)
{
    if (handle == kNoHidHandle || handle > static_cast<HidHandle>(INT_MAX) + 1u) return false;
    fd = static_cast<int>(handle - 1u);
    return true;
}

int IoctlRetry(int fd, unsigned long request, void* arg)
{
    int result;
    do {
        result = ioctl(fd, request, arg);
    } while (result < 0 && errno == EINTR);
    return result;
}

// Reads at most capacity bytes of a file; false when it cannot be opened or read.
bool ReadFileBytes(const std::string& path, std::uint8_t* buffer, std::size_t capacity, std::size_t& length)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    std::size_t got = 0;
    bool ok = true;
    while (got < capacity) {
        const ssize_t n = read(fd, buffer + got, capacity - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    close(fd);
    length = got;
    return ok;
}

int NodeNumberOf(int fd)
{
    const auto it = gOpenNodes.find(fd);
    return it == gOpenNodes.end() ? -1 : it->second;
}

bool DescriptorFromNode(int fd, std::uint8_t* buffer, std::size_t& length)
{
    int size = 0;
    if (IoctlRetry(fd, HIDIOCGRDESCSIZE, &size) < 0) return false;
    if (size <= 0 || static_cast<std::size_t>(size) > kHidMaxDescriptorSize) return false;
    hidraw_report_descriptor descriptor{};
    descriptor.size = static_cast<std::uint32_t>(size);
    if (IoctlRetry(fd, HIDIOCGRDESC, &descriptor) < 0) return false;
    length = std::min<std::size_t>({descriptor.size, static_cast<std::size_t>(size), kHidMaxDescriptorSize});
    std::copy(descriptor.value, descriptor.value + length, buffer);
    return true;
}

bool DescriptorFromSysfs(int number, std::uint8_t* buffer, std::size_t& length)
{
    if (number < 0) return false;
    return ReadFileBytes(HidrawSysDir(number) + "/device/report_descriptor", buffer, kHidMaxDescriptorSize, length);
}

bool ProductIdFromSysfs(int number, std::uint16_t& productId)
{
    if (number < 0) return false;
    std::uint8_t text[kUeventMax];
    std::size_t length = 0;
    if (!ReadFileBytes(HidrawSysDir(number) + "/device/uevent", text, sizeof text, length)) return false;
    return HidPortParseUeventProductId(std::string_view(reinterpret_cast<const char*>(text), length), productId);
}

bool FeatureTransfer(HidHandle handle, unsigned number, std::uint8_t* buffer, std::size_t length)
{
    int fd;
    if (!HandleToFd(handle, fd)) return false;
    // The report length is part of the request code and has 14 bits there.
    if (buffer == nullptr || length == 0 || length > _IOC_SIZEMASK) return false;
    const unsigned long request =
        _IOC(_IOC_WRITE | _IOC_READ, static_cast<unsigned>('H'), number, static_cast<unsigned>(length));
    const int result = IoctlRetry(fd, request, buffer);
    // -1 with errno (EPIPE, EIO, ETIMEDOUT, ENODEV ...) or a short transfer.
    return result >= 0 && static_cast<std::size_t>(result) >= length;
}

constexpr unsigned kIoctlSetFeature = 0x06;
constexpr unsigned kIoctlGetFeature = 0x07;

}  // namespace

void HidPortLinuxSetRoot(const std::string& root)
{
    gRoot = root;
}

bool HidPortGetDevicePath(int index, std::string& path)
{
    if (index < 0) return false;
    DIR* dir = opendir(HidrawClassDir().c_str());
    if (dir == nullptr) return false;
    std::vector<int> numbers;
    while (const dirent* entry = readdir(dir)) {
        int number;
        if (HidPortParseHidrawName(entry->d_name, number)) numbers.push_back(number);
    }
    closedir(dir);
    if (static_cast<std::size_t>(index) >= numbers.size()) return false;
    std::sort(numbers.begin(), numbers.end());
    path = gRoot + "/dev/hidraw" + std::to_string(numbers[static_cast<std::size_t>(index)]);
    return true;
}

bool HidPortOpen(const std::string& path, HidHandle& handle)
{
    // Feature reports need the node open for reading and writing.
    const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return false;
    const std::size_t slash = path.rfind('/');
    int number = -1;
    if (!HidPortParseHidrawName(slash == std::string::npos ? path : path.substr(slash + 1), number)) number = -1;
    gOpenNodes[fd] = number;
    handle = static_cast<HidHandle>(fd) + 1u;
    return true;
}

void HidPortClose(HidHandle handle)
{
    int fd;
    if (!HandleToFd(handle, fd)) return;
    gOpenNodes.erase(fd);
    close(fd);
}

bool HidPortGetCaps(HidHandle handle, std::uint16_t& usagePage, std::uint16_t& usage)
{
    int fd;
    if (!HandleToFd(handle, fd)) return false;
    std::uint8_t descriptor[kHidMaxDescriptorSize];
    std::size_t length = 0;
    if (!DescriptorFromNode(fd, descriptor, length) && !DescriptorFromSysfs(NodeNumberOf(fd), descriptor, length))
        return false;
    // A node holds every top-level collection of its device: the hub's own
    // collection counts wherever it stands among them.
    if (HidPortParseHasTopLevelUsage(descriptor, length, kHubUsagePage, kHubUsage)) {
        usagePage = kHubUsagePage;
        usage = kHubUsage;
        return true;
    }
    return HidPortParseTopLevelUsage(descriptor, length, usagePage, usage);
}

bool HidPortGetProductId(HidHandle handle, std::uint16_t& productId)
{
    int fd;
    if (!HandleToFd(handle, fd)) return false;
    hidraw_devinfo info{};
    if (IoctlRetry(fd, HIDIOCGRAWINFO, &info) == 0) {
        // The kernel's fields are signed 16-bit; the ID is the unsigned value.
        productId = static_cast<std::uint16_t>(info.product);
        return true;
    }
    return ProductIdFromSysfs(NodeNumberOf(fd), productId);
}

bool HidPortSetFeature(HidHandle handle, const std::uint8_t* buffer, std::size_t length)
{
    // The kernel only reads the buffer of a set-feature request; a copy keeps
    // the caller's bytes const.
    if (buffer == nullptr || length == 0 || length > _IOC_SIZEMASK) return false;
    std::vector<std::uint8_t> copy(buffer, buffer + length);
    return FeatureTransfer(handle, kIoctlSetFeature, copy.data(), copy.size());
}

bool HidPortGetFeature(HidHandle handle, std::uint8_t* buffer, std::size_t length)
{
    return FeatureTransfer(handle, kIoctlGetFeature, buffer, length);
}
