// The Linux HID layer on fixtures: report descriptor tables, node names,
// uevent texts, and a fake sysfs tree under a temporary root whose /dev nodes
// are plain files (so every ioctl fails and the sysfs sources are used).

#include "hub/hid_port_linux.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/output.h"
#include "common/state.h"
#include "hub/discovery.h"
#include "hub/hid_port.h"
#include "hub/hid_port_linux_parse.h"
#include "tests/hid_port_checks.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

// The hub's descriptor head: Usage Page (0xFF83), Usage (0x80), Collection (Application).
const Bytes kHubDescriptor = {0x06, 0x83, 0xFF, 0x09, 0x80, 0xA1, 0x01, 0x85, 0x5A, 0x09, 0x01, 0x15,
                              0x00, 0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x10, 0xB1, 0x02, 0xC0};
// A keyboard: Usage Page (Generic Desktop), Usage (Keyboard), Collection (Application).
const Bytes kKeyboardDescriptor = {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x05, 0x07, 0xC0};
// A sensor collection (Usage Page (Sensors), Usage (Sensor), Collection (Application)
// with a physical collection inside) and after it the hub's: one node, two
// top-level collections.
const Bytes kSensorThenHubDescriptor = {0x05, 0x20, 0x09, 0x01, 0xA1, 0x01, 0x09, 0x73, 0xA1, 0x00, 0x85, 0x01,
                                        0x75, 0x08, 0x95, 0x01, 0xB1, 0x02, 0xC0, 0xC0, 0x06, 0x83, 0xFF, 0x09,
                                        0x80, 0xA1, 0x01, 0x85, 0x5A, 0x09, 0x01, 0x75, 0x08, 0x95, 0x10, 0xB1,
                                        0x02, 0xC0};

struct DescriptorCase {
    const char* name;
    Bytes bytes;
    bool ok;
    std::uint16_t page;
    std::uint16_t usage;
};

}  // namespace

TEST(HidPortParseTopLevelUsage, DescriptorTable)
{
    const DescriptorCase cases[] = {
        {"hub", kHubDescriptor, true, 0xFF83, 0x80},
        {"keyboard", kKeyboardDescriptor, true, 0x0001, 0x06},
        {"usage with two data bytes", {0x05, 0x0C, 0x0A, 0x38, 0x02, 0xA1, 0x01}, true, 0x000C, 0x0238},
        {"usage page with four data bytes keeps the low half",
         {0x07, 0x83, 0xFF, 0x00, 0x00, 0x09, 0x80, 0xA1, 0x01},
         true,
         0xFF83,
         0x80},
        {"4-byte usage carries its own page",
         {0x05, 0x01, 0x0B, 0x80, 0x00, 0x83, 0xFF, 0xA1, 0x01},
         true,
         0xFF83,
         0x80},
        {"first usage of several counts", {0x06, 0x83, 0xFF, 0x09, 0x80, 0x09, 0x81, 0xA1, 0x01}, true, 0xFF83, 0x80},
        {"usage page in force at the collection", {0x09, 0x80, 0x06, 0x83, 0xFF, 0xA1, 0x01}, true, 0xFF83, 0x80},
        {"long item skipped whole",
         {0xFE, 0x03, 0x10, 0xA1, 0x01, 0x09, 0x06, 0x83, 0xFF, 0x09, 0x80, 0xA1, 0x01},
         true,
         0xFF83,
         0x80},
        {"long item without data", {0xFE, 0x00, 0x10, 0x06, 0x83, 0xFF, 0x09, 0x80, 0xA1, 0x01}, true, 0xFF83, 0x80},
        {"pop restores the pushed page",
         {0x06, 0x83, 0xFF, 0xA4, 0x05, 0x01, 0xB4, 0x09, 0x80, 0xA1, 0x01},
         true,
         0xFF83,
         0x80},
        {"push keeps the page until changed", {0x06, 0x83, 0xFF, 0xA4, 0x09, 0x80, 0xA1, 0x01}, true, 0xFF83, 0x80},
        {"physical collection is passed over",
         {0x05, 0x01, 0x09, 0x01, 0xA1, 0x00, 0xC0, 0x06, 0x83, 0xFF, 0x09, 0x80, 0xA1, 0x01},
         true,
         0xFF83,
         0x80},
        {"collection item without data is physical",
         {0x05, 0x01, 0x09, 0x06, 0xA0, 0x09, 0x02, 0xA1, 0x01},
         true,
         0x0001,
         0x02},
        {"a main item clears the usages before it",
         {0x06, 0x83, 0xFF, 0x09, 0x80, 0x81, 0x02, 0x09, 0x81, 0xA1, 0x01},
         true,
         0xFF83,
         0x81},
        {"application collection without usage", {0x06, 0x83, 0xFF, 0xA1, 0x01}, true, 0xFF83, 0x00},
        {"application collection with 4-byte data",
         {0x06, 0x83, 0xFF, 0x09, 0x80, 0xA3, 0x01, 0x00, 0x00, 0x00},
         true,
         0xFF83,
         0x80},
        {"empty", {}, false, 0, 0},
        {"no collection", {0x06, 0x83, 0xFF, 0x09, 0x80}, false, 0, 0},
        {"only a physical collection", {0x06, 0x83, 0xFF, 0x09, 0x80, 0xA1, 0x00, 0xC0}, false, 0, 0},
        {"truncated usage page", {0x06, 0x83}, false, 0, 0},
        {"truncated 4-byte item", {0x06, 0x83, 0xFF, 0x0B, 0x80, 0x00, 0x83}, false, 0, 0},
        {"truncated collection", {0x06, 0x83, 0xFF, 0x09, 0x80, 0xA1}, false, 0, 0},
        {"long item header cut", {0xFE, 0x05}, false, 0, 0},
        {"long item data cut", {0xFE, 0x05, 0x10, 0x01, 0x02}, false, 0, 0},
        {"long item hides the collection", {0x06, 0x83, 0xFF, 0x09, 0x80, 0xFE, 0x02, 0x10, 0xA1, 0x01}, false, 0, 0},
        {"pop without push", {0xB4, 0x06, 0x83, 0xFF, 0x09, 0x80, 0xA1, 0x01}, false, 0, 0},
    };
    for (const DescriptorCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::uint16_t page = 0xAAAA;
        std::uint16_t usage = 0xBBBB;
        // A copy of exactly the table's length, so that a read past the end is
        // caught by the sanitizer build.
        std::vector<std::uint8_t> exact(c.bytes);
        ASSERT_EQ(HidPortParseTopLevelUsage(exact.data(), exact.size(), page, usage), c.ok);
        if (c.ok) {
            EXPECT_EQ(page, c.page);
            EXPECT_EQ(usage, c.usage);
        }
    }
}

TEST(HidPortParseTopLevelUsage, PushDepthIsBounded)
{
    Bytes deep(kHidGlobalStackDepth, 0xA4);
    Bytes tail = {0x06, 0x83, 0xFF, 0x09, 0x80, 0xA1, 0x01};
    Bytes ok = deep;
    ok.insert(ok.end(), tail.begin(), tail.end());
    std::uint16_t page = 0;
    std::uint16_t usage = 0;
    EXPECT_TRUE(HidPortParseTopLevelUsage(ok.data(), ok.size(), page, usage));
    Bytes tooDeep = deep;
    tooDeep.push_back(0xA4);
    tooDeep.insert(tooDeep.end(), tail.begin(), tail.end());
    EXPECT_FALSE(HidPortParseTopLevelUsage(tooDeep.data(), tooDeep.size(), page, usage));
}

TEST(HidPortParseTopLevelUsage, EveryTruncationStaysInBounds)
{
    // Each prefix of a descriptor whose collection comes last must fail, and
    // never read beyond the bytes it was given.
    const Bytes full = {0xFE, 0x02, 0x10, 0xAA, 0xBB, 0xA4, 0x05, 0x01, 0xB4, 0x07, 0x83,
                        0xFF, 0x00, 0x00, 0x0B, 0x80, 0x00, 0x83, 0xFF, 0xA1, 0x01};
    for (std::size_t n = 0; n < full.size(); ++n) {
        SCOPED_TRACE(n);
        std::vector<std::uint8_t> cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
        std::uint16_t page = 0;
        std::uint16_t usage = 0;
        EXPECT_FALSE(HidPortParseTopLevelUsage(cut.data(), cut.size(), page, usage));
    }
    std::uint16_t page = 0;
    std::uint16_t usage = 0;
    EXPECT_TRUE(HidPortParseTopLevelUsage(full.data(), full.size(), page, usage));
    EXPECT_FALSE(HidPortParseTopLevelUsage(nullptr, 0, page, usage));
}

TEST(HidPortParseHasTopLevelUsage, AnyTopLevelApplicationCollection)
{
    auto hub = [](const Bytes& before) {
        Bytes bytes = before;
        bytes.insert(bytes.end(), kHubDescriptor.begin(), kHubDescriptor.end());
        return bytes;
    };
    struct Case {
        const char* name;
        Bytes bytes;
        bool found;
    } cases[] = {
        {"the hub's alone", kHubDescriptor, true},
        {"a sensor collection first, the hub's second", kSensorThenHubDescriptor, true},
        {"after a keyboard", hub(kKeyboardDescriptor), true},
        {"a keyboard alone", kKeyboardDescriptor, false},
        {"the hub's usage nested in another collection",
         {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x06, 0x83, 0xFF, 0x09, 0x80, 0xA1, 0x01, 0xC0, 0xC0}, false},
        {"the hub's page with another usage", {0x06, 0x83, 0xFF, 0x09, 0x81, 0xA1, 0x01, 0xC0}, false},
        {"a physical collection with the hub's usage", {0x06, 0x83, 0xFF, 0x09, 0x80, 0xA1, 0x00, 0xC0}, false},
        {"truncated before the hub's", hub({0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x26, 0xFF}), false},
        {"truncated after the hub's", {0x06, 0x83, 0xFF, 0x09, 0x80, 0xA1, 0x01, 0xC0, 0x26}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> exact(c.bytes);
        EXPECT_EQ(HidPortParseHasTopLevelUsage(exact.data(), exact.size(), 0xFF83, 0x80), c.found);
    }
    EXPECT_FALSE(HidPortParseHasTopLevelUsage(nullptr, 0, 0xFF83, 0x80));
}

TEST(HidPortParseHidrawName, Names)
{
    const struct {
        const char* name;
        bool ok;
        int number;
    } cases[] = {
        {"hidraw0", true, 0},
        {"hidraw12", true, 12},
        {"hidraw007", true, 7},
        {"hidraw", false, 0},
        {"hidraw-1", false, 0},
        {"hidraw1a", false, 0},
        {"hidraw 1", false, 0},
        {"Hidraw1", false, 0},
        {"xhidraw1", false, 0},
        {".", false, 0},
        {"..", false, 0},
        {"hidraw1234567890", false, 0},
        {"hidraw999999999", true, 999999999},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int number = -7;
        ASSERT_EQ(HidPortParseHidrawName(c.name, number), c.ok);
        if (c.ok) {
            EXPECT_EQ(number, c.number);
        }
    }
}

TEST(HidPortParseUeventProductId, Texts)
{
    const struct {
        const char* text;
        bool ok;
        std::uint16_t product;
    } cases[] = {
        {"DRIVER=hid-generic\nHID_ID=0018:00001234:00008300\nHID_NAME=hub\n", true, 0x8300},
        {"HID_ID=0003:00005678:00009ABC", true, 0x9ABC},
        {"HID_ID=0003:5678:9abc\r\n", true, 0x9ABC},
        {"HID_ID=0003:00005678:0000FFFF\n", true, 0xFFFF},
        {"HID_NAME=HID_ID=0003:1:2\nHID_ID=0003:00005678:00000001\n", true, 0x0001},
        {"", false, 0},
        {"HID_NAME=hub\n", false, 0},
        {"HID_ID=0003:00005678\n", false, 0},
        {"HID_ID=0003:00005678:\n", false, 0},
        {"HID_ID=0003:00005678:00010000\n", false, 0},
        {"HID_ID=0003:00005678:0000G300\n", false, 0},
        {"HID_ID=0003:00005678:0000830000\n", false, 0},
        {" HID_ID=0003:00005678:00008300\n", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::uint16_t product = 0x1111;
        ASSERT_EQ(HidPortParseUeventProductId(c.text, product), c.ok);
        if (c.ok) {
            EXPECT_EQ(product, c.product);
        }
    }
}

namespace {

// A fake root: sys/class/hidraw/hidrawN links to a device directory under
// sys/devices whose "device" link leads to the HID parent with its
// report_descriptor and uevent; dev/hidrawN is a plain file.
class FakeSysfs : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/hid_port_sysfs.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        fs::create_directories(root_ / "sys/class/hidraw");
        fs::create_directories(root_ / "dev");
        HidPortLinuxSetRoot(root_.string());
        ResetProcessState();
    }

    void TearDown() override
    {
        HidPortLinuxSetRoot("");
        ResetProcessState();
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    // Adds hidrawN with its HID parent; an empty descriptor or uevent leaves
    // that file out; withNode false leaves out the /dev node.
    void AddNode(int number, const Bytes& descriptor, const std::string& uevent, bool withNode = true)
    {
        const std::string name = "hidraw" + std::to_string(number);
        const fs::path parent = root_ / "sys/devices/virtual/hid" / ("0003:1234:8300." + std::to_string(number));
        const fs::path node = parent / "hidraw" / name;
        fs::create_directories(node);
        fs::create_directory_symlink(fs::path("../../..") / parent.filename(), node / "device");
        fs::create_directory_symlink(fs::path("../../devices/virtual/hid") / parent.filename() / "hidraw" / name,
                                     root_ / "sys/class/hidraw" / name);
        if (!descriptor.empty()) {
            std::ofstream(parent / "report_descriptor", std::ios::binary)
                .write(reinterpret_cast<const char*>(descriptor.data()),
                       static_cast<std::streamsize>(descriptor.size()));
        }
        if (!uevent.empty()) std::ofstream(parent / "uevent") << uevent;
        if (withNode) std::ofstream(root_ / "dev" / name) << "";
    }

    std::string DevPath(int number) const { return (root_ / "dev" / ("hidraw" + std::to_string(number))).string(); }

    fs::path root_;
};

std::string HubUevent(const char* product)
{
    return std::string("DRIVER=hid-generic\nHID_ID=0018:00001234:0000") + product + "\nHID_NAME=hub\n";
}

}  // namespace

TEST_F(FakeSysfs, PathsFollowTheNodeNumbers)
{
    AddNode(10, kHubDescriptor, HubUevent("8300"));
    AddNode(2, kKeyboardDescriptor, HubUevent("0001"));
    AddNode(0, kKeyboardDescriptor, HubUevent("0002"));
    fs::create_directory(root_ / "sys/class/hidraw/hidrawX");
    std::ofstream(root_ / "sys/class/hidraw/notes") << "";

    const char* kUnchanged = "unchanged";
    const struct {
        int index;
        bool ok;
        int number;
    } cases[] = {{0, true, 0}, {1, true, 2}, {2, true, 10}, {3, false, 0}, {255, false, 0}, {-1, false, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        std::string path = kUnchanged;
        ASSERT_EQ(HidPortGetDevicePath(c.index, path), c.ok);
        EXPECT_EQ(path, c.ok ? DevPath(c.number) : kUnchanged);
    }
}

TEST_F(FakeSysfs, NoHidrawClassFindsNothing)
{
    fs::remove(root_ / "sys/class/hidraw");
    std::string path;
    EXPECT_FALSE(HidPortGetDevicePath(0, path));
}

TEST_F(FakeSysfs, CapsAndProductIdFromSysfs)
{
    AddNode(3, kHubDescriptor, HubUevent("8301"));
    HidHandle handle = kNoHidHandle;
    ASSERT_TRUE(HidPortOpen(DevPath(3), handle));
    EXPECT_NE(handle, kNoHidHandle);
    testutil::ExpectUsage(handle, 0xFF83, 0x80);
    testutil::ExpectProductId(handle, 0x8301);
    // A plain file takes no feature ioctl: both transfers fail.
    std::uint8_t report[17] = {0x5A, 0x0D};
    EXPECT_FALSE(HidPortSetFeature(handle, report, sizeof report));
    EXPECT_FALSE(HidPortGetFeature(handle, report, sizeof report));
    HidPortClose(handle);
}

TEST_F(FakeSysfs, MissingOrBrokenSourcesFail)
{
    AddNode(0, {}, "");                                    // neither descriptor nor uevent
    AddNode(1, {0x06, 0x83, 0xFF, 0x09}, "DRIVER=x\n");    // truncated descriptor, no HID_ID
    AddNode(2, kHubDescriptor, HubUevent("8300"), false);  // no /dev node
    for (int number : {0, 1}) {
        SCOPED_TRACE(number);
        HidHandle handle = kNoHidHandle;
        ASSERT_TRUE(HidPortOpen(DevPath(number), handle));
        std::uint16_t page = 0;
        std::uint16_t usage = 0;
        std::uint16_t product = 0;
        EXPECT_FALSE(HidPortGetCaps(handle, page, usage));
        EXPECT_FALSE(HidPortGetProductId(handle, product));
        HidPortClose(handle);
    }
    HidHandle handle = 77;
    EXPECT_FALSE(HidPortOpen(DevPath(2), handle));
    EXPECT_EQ(handle, 77u);
}

TEST(HidPortLinux, EmptyHandleIsRefused)
{
    std::uint16_t a = 0;
    std::uint16_t b = 0;
    std::uint8_t report[17] = {0x5A};
    EXPECT_FALSE(HidPortGetCaps(kNoHidHandle, a, b));
    EXPECT_FALSE(HidPortGetProductId(kNoHidHandle, a));
    EXPECT_FALSE(HidPortSetFeature(kNoHidHandle, report, sizeof report));
    EXPECT_FALSE(HidPortGetFeature(kNoHidHandle, report, sizeof report));
    HidPortClose(kNoHidHandle);  // nothing to close, nothing closed
}

namespace {

// Runs discovery with the console sent to a temporary file; returns the text.
std::string RunDiscovery()
{
    return testutil::CaptureConsole([] { ConnectHIDDevice(kHubUsagePage, kHubUsage); });
}

}  // namespace

TEST_F(FakeSysfs, DiscoveryTakesTheFirstHubInNodeOrder)
{
    // A node that does not open, a device on the hub's page with another usage,
    // then two hubs: the lower node number wins.
    AddNode(1, kHubDescriptor, HubUevent("8300"), false);
    AddNode(2, {0x06, 0x83, 0xFF, 0x09, 0x81, 0xA1, 0x01}, HubUevent("8300"));
    AddNode(11, kHubDescriptor, HubUevent("8302"));
    AddNode(5, kHubDescriptor, HubUevent("8301"));
    EXPECT_EQ(RunDiscovery(), "Find 1 XOV SensorHub.\r\n");
    ASSERT_EQ(SensorCunt, 1);
    std::uint16_t product = 0;
    ASSERT_TRUE(HidPortGetProductId(hFile[0], product));
    EXPECT_EQ(product, 0x8301);
    HidPortClose(hFile[0]);
}

TEST_F(FakeSysfs, DiscoveryFindsTheHubBehindAnotherTopLevelCollection)
{
    AddNode(0, kSensorThenHubDescriptor, HubUevent("8301"));
    EXPECT_EQ(RunDiscovery(), "Find 1 XOV SensorHub.\r\n");
    ASSERT_EQ(SensorCunt, 1);
    testutil::ExpectUsage(hFile[0], 0xFF83, 0x80);
    HidPortClose(hFile[0]);
}

TEST_F(FakeSysfs, DiscoveryFilterReadsTheUeventProductId)
{
    AddNode(0, kHubDescriptor, HubUevent("8300"));
    AddNode(1, kHubDescriptor, HubUevent("8302"));
    MainTargetPID = 0x8302;
    EXPECT_EQ(RunDiscovery(), "Find 1 XOV SensorHub.\r\n");
    std::uint16_t product = 0;
    ASSERT_TRUE(HidPortGetProductId(hFile[0], product));
    EXPECT_EQ(product, 0x8302);
    HidPortClose(hFile[0]);

    MainTargetPID = 0x8301;
    EXPECT_EQ(RunDiscovery(), "Find 0 XOV SensorHub.\r\n");
    EXPECT_EQ(hFile[0], kNoHidHandle);
}
