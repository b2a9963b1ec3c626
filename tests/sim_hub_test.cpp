// The stand-in itself: the hub model's answers, its faults and the hub file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hub/transport.h"
#include "sim/hub_file.h"
#include "sim_fixture.h"

namespace {

using sim::FaultWindow;
using sim::SimHub;

HidReport VendorString()
{
    HidReport r{};
    r[0] = HidReportId;
    std::copy(sim::kVendorText.begin(), sim::kVendorText.end(), r.begin() + 1);
    return r;
}

HidReport Read(std::uint32_t address, std::uint8_t count, std::uint8_t command = HidCmdReadReg)
{
    HidReport r = MakeRequest(command, static_cast<std::uint8_t>(address));
    r[3] = static_cast<std::uint8_t>(address >> 8);
    r[4] = static_cast<std::uint8_t>(address >> 16);
    r[5] = count;
    return r;
}

std::string Answer(SimHub& hub, const HidReport& request)
{
    EXPECT_TRUE(hub.OnSetFeature(request));
    HidReport reply{};
    if (!hub.OnGetFeature(reply)) return "FAIL";
    return sim::HexBytes(reply.data(), reply.size());
}

TEST(SimHubModel, VendorStringTogglesTheMode)
{
    SimHub hub;
    hub.requireCustomMode = true;
    hub.Poke(0x081200, 3);
    // Mode off: custom commands are neither acted on nor answered.
    EXPECT_EQ(Answer(hub, Read(0x081200, 1)), "5a" + std::string(32, '0'));
    const std::string text = "584f5620546563682e20496e632e00";  // "XOV Tech. Inc." and NUL
    EXPECT_EQ(Answer(hub, VendorString()), "5a" + text + "00");
    EXPECT_TRUE(hub.customMode);
    EXPECT_EQ(Answer(hub, Read(0x081200, 1)), "5a050012080103" + std::string(20, '0'));
    EXPECT_EQ(Answer(hub, VendorString()), "5a" + std::string(32, '0'));
    EXPECT_FALSE(hub.customMode);
}

TEST(SimHubModel, RegisterReadAndWrite)
{
    SimHub hub;
    hub.Poke(0xF00000, {0xA1, 0xA2});
    EXPECT_EQ(Answer(hub, Read(0xF00000, 2, HidCmdReadRegF0)), "5a070000f002a1a2000000000000000000");
    EXPECT_EQ(Answer(hub, Read(0xFFFFFF, 2)).substr(12, 4), "0000");  // wraps to 0x000000
    // Counts outside 1 to 10 are refused: count byte 0, no data.
    EXPECT_EQ(Answer(hub, Read(0xF00000, 11, HidCmdReadRegF0)), "5a070000f000" + std::string(22, '0'));
    EXPECT_EQ(Answer(hub, Read(0xF00000, 0, HidCmdReadRegF0)), "5a070000f000" + std::string(22, '0'));

    HidReport write = Read(0x082001, 1, HidCmdWriteReg);
    write[6] = 0x5E;
    EXPECT_TRUE(hub.OnSetFeature(write));
    write[5] = 2;  // not a one-byte write: ignored
    write[6] = 0x11;
    EXPECT_TRUE(hub.OnSetFeature(write));
    EXPECT_EQ(hub.Peek(0x082001), 0x5E);
    EXPECT_EQ(hub.writeLog, (std::vector<std::pair<std::uint32_t, std::uint8_t>>{{0x082001, 0x5E}}));
    // Several fetches after one request are each answered.
    hub.OnSetFeature(Read(0x082001, 1));
    HidReport a{}, b{};
    EXPECT_TRUE(hub.OnGetFeature(a));
    EXPECT_TRUE(hub.OnGetFeature(b));
    EXPECT_EQ(a, b);
    EXPECT_EQ(hub.pollCount, 2);
}

TEST(SimHubModel, UnknownCommandsGetTheDefaultReply)
{
    SimHub hub;
    HidReport reply{};
    EXPECT_TRUE(hub.OnGetFeature(reply));  // nothing asked yet
    EXPECT_EQ(sim::HexBytes(reply.data(), reply.size()), "5a" + std::string(32, '0'));
    HidReport odd = MakeRequest(0x33, 0x44);
    odd[3] = 0x55;
    EXPECT_EQ(Answer(hub, odd), "5a3344" + std::string(28, '0'));
    EXPECT_EQ(hub.unknownRequests.size(), 1u);
}

TEST(SimHubModel, FaultWindows)
{
    struct Case {
        FaultWindow window;
        std::vector<int> hits;  // of transfers 1 to 6
    } cases[] = {
        {FaultWindow::Off(), {}},
        {FaultWindow::Always(), {1, 2, 3, 4, 5, 6}},
        {FaultWindow::FirstN(2), {1, 2}},
        {FaultWindow::From(5), {5, 6}},
        {{2, 3}, {2, 3, 4}},
    };
    for (const Case& c : cases) {
        std::vector<int> hits;
        for (int n = 1; n <= 6; ++n)
            if (c.window.Hits(n)) hits.push_back(n);
        EXPECT_EQ(hits, c.hits);
    }

    // A hub that goes silent at its third transfer, sets and gets counted together.
    SimHub hub;
    hub.faults.silent = FaultWindow::From(3);
    HidReport reply{};
    EXPECT_TRUE(hub.OnSetFeature(Read(0, 1)));
    EXPECT_TRUE(hub.OnGetFeature(reply));
    EXPECT_FALSE(hub.OnSetFeature(Read(0, 1)));
    EXPECT_FALSE(hub.OnGetFeature(reply));

    // Both echo faults hit the first fetch only.
    SimHub echo;
    echo.faults.wrongEcho = FaultWindow::FirstN(1);
    echo.faults.replyCommand = FaultWindow::FirstN(1);
    EXPECT_EQ(Answer(echo, Read(0x000010, 1)), "5a091100000100" + std::string(20, '0'));
    EXPECT_EQ(Answer(echo, Read(0x000010, 1)), "5a051000000100" + std::string(20, '0'));
}

TEST(SimHubModel, CommandsCanBeAddedAtRunTime)
{
    SimHub hub;
    int requests = 0;
    hub.SetCommand(0x0D, {[&requests](SimHub&, const HidReport&) { ++requests; },
                          [](SimHub&, const HidReport&, HidReport& reply) { reply[16] = 0x99; }});
    EXPECT_EQ(Answer(hub, MakeRequest(0x0D)).substr(32), "99");
    EXPECT_EQ(requests, 1);
}

// --- the hub file ----------------------------------------------------------

TEST(HubFile, DevicesMemoryStateAndFaults)
{
    const std::string text =
        "# a test machine\n"
        "device /dev/kbd page=0x0001 usage=6 pid=0x1234   # first\n"
        "\n"
        "device \"/dev/with space\" index=5 open=no attributes=fail caps=fail\n"
        "device /dev/hub hub pid=33537\n"
        "hub custom-mode=on require-custom-mode=yes fill=ff\n"
        "mem 0x003100 \"V1 \\\"x\\\"\\0\\x41\" 0x42 3\n"
        "fill 0xF00000 3 7e\n"
        "fault get-fail from=4 times=2\n"
        "fault reply-command value=0x0a\n";
    sim::SimPort port;
    std::shared_ptr<SimHub> hub;
    std::string error;
    ASSERT_TRUE(sim::LoadHubText(text, "t.hub", port, error, &hub)) << error;
    ASSERT_NE(port.Device(0), nullptr);
    EXPECT_EQ(port.Device(0)->usage, 6);
    EXPECT_EQ(port.Device(0)->productId, 0x1234);
    EXPECT_EQ(port.Device(0)->hub, nullptr);
    EXPECT_EQ(port.Device(1), nullptr);
    const sim::SimDevice* odd = port.Device(5);
    ASSERT_NE(odd, nullptr);
    EXPECT_EQ(odd->path, "/dev/with space");
    EXPECT_FALSE(odd->openable || odd->attributesOk || odd->capsOk);
    const sim::SimDevice* hubDevice = port.Device(6);
    ASSERT_NE(hubDevice, nullptr);
    EXPECT_EQ(hubDevice->hub, hub);
    EXPECT_EQ(hubDevice->usagePage, 0xFF83);
    EXPECT_EQ(hubDevice->usage, 0x80);
    EXPECT_EQ(hubDevice->productId, 0x8301);
    EXPECT_TRUE(hub->customMode);
    EXPECT_TRUE(hub->requireCustomMode);
    EXPECT_EQ(hub->Peek(0x003100, 11),
              (std::vector<std::uint8_t>{'V', '1', ' ', '"', 'x', '"', 0, 'A', 0x42, 0x03, 0xFF}));
    EXPECT_EQ(hub->Peek(0xF00000, 4), (std::vector<std::uint8_t>{0x7E, 0x7E, 0x7E, 0xFF}));
    EXPECT_EQ(hub->faults.getFail.first, 4);
    EXPECT_EQ(hub->faults.getFail.count, 2);
    EXPECT_TRUE(hub->faults.replyCommand.Hits(1000));
    EXPECT_EQ(hub->faults.replyCommandValue, 0x0A);
}

TEST(HubFile, WrongEchoNamesItsByte)
{
    // A one-byte read of 0x000010: bytes 2-4 echo the address, byte 5 the count.
    struct Case {
        std::string line;
        std::string reply;
    } cases[] = {
        {"fault wrong-echo times=1", "5a051100000100"},          {"fault wrong-echo byte=2 times=1", "5a051100000100"},
        {"fault wrong-echo byte=3 times=1", "5a051001000100"},   {"fault wrong-echo byte=4 times=1", "5a051000010100"},
        {"fault wrong-echo byte=0x5 times=1", "5a051000000200"},
    };
    for (const Case& c : cases) {
        sim::SimPort port;
        std::shared_ptr<SimHub> hub;
        std::string error;
        ASSERT_TRUE(sim::LoadHubText(c.line + "\n", "t.hub", port, error, &hub)) << error;
        EXPECT_EQ(Answer(*hub, Read(0x000010, 1)), c.reply + std::string(20, '0')) << c.line;
        EXPECT_EQ(Answer(*hub, Read(0x000010, 1)), "5a051000000100" + std::string(20, '0')) << c.line;
    }
}

// Hex digits written in groups, e.g. "5a 02 00"; the blanks left out.
std::string Hex(const std::string& grouped)
{
    std::string hex;
    for (char c : grouped)
        if (c != ' ') hex += c;
    return hex;
}

// A reply that an echo fault hits carries other data too, each kind of reply
// its own: data that a tool taking the reply would come to another result
// by. The next reply is the right one again.
TEST(HubFile, EchoFaultsCarryOtherData)
{
    struct Case {
        std::string name;
        std::string lines;  // the machine, without the fault
        HidReport request;
        std::string right;  // the reply without the fault
        std::string data;   // bytes 3-16 of the faulted reply
    };
    HidReport calibrate = MakeRequest(HidCmdCalibrate, SensorIdAcc2);
    calibrate[4] = 0x01;
    calibrate[5] = 0x80;
    const std::string area = "param-area eflash=0x001000 ram=0x082000 length=1024\n";
    const std::string zeros = std::string(28, '0');
    const Case cases[] = {
        {"register read: no memory bytes", "mem 0x082000 a1 a2 a3 a4\n", Read(0x082000, 4),
         "5a 05 00 20 08 04 a1a2a3a4 00000000000000", "20 08 04 0000000000000000000000"},
        {"sensor value: at rest, light reading 1, angle 0", "sensor acc2 value=0.5,0,-1 angle=180\n",
         MakeRequest(HidCmdGetSensorValue, SensorIdAcc2), "5a 00 08 7fff ffff ff00 0000 0000 2403 0000",
         "0000 0000 fffe 0100 0000 0000 0000"},
        {"area query: the addresses swapped", area, MakeRequest(HidCmdParameterBlock, ParameterBlockGetAddr),
         "5a 02 00 001000 002008 0004 000000000000", "002008 001000 0004 000000000000"},
        {"save: the area as it is", area, MakeRequest(HidCmdParameterBlock, ParameterBlockSaveToFlash),
         "5a 02 01 001000 002008 0004 000000000000", "001000 002008 0004 000000000000"},
        {"self test: passed", "self-test gyro status=0x10\n", MakeRequest(HidCmdSelfTest, SensorIdGyro),
         "5a 03 02 10000000 00000000000000000000", zeros},
        {"calibrate: done", "calibrate acc2 busy=1\n", calibrate, "5a 04 08 00 01 80 cc 00000000000000000000", zeros},
        {"status list: empty", "sensor acc1 value=0,0,1\nsensor gyro status=fail\n", MakeRequest(HidCmdGetSensorStatus),
         "5a 0b 00 02 0100 01 02 000000000000000000", zeros},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string right = Hex(c.right);
        const std::uint8_t echo2 = static_cast<std::uint8_t>(c.request[2] + 1);
        const struct {
            std::string line;
            std::string reply;
        } faults[] = {
            // Byte 2 one more; byte 1 the value (0x09).
            {"fault wrong-echo times=1\n", right.substr(0, 4) + sim::HexBytes(&echo2, 1) + Hex(c.data)},
            {"fault reply-command times=1\n", "5a09" + right.substr(4, 2) + Hex(c.data)},
        };
        for (const auto& fault : faults) {
            sim::SimPort port;
            std::shared_ptr<SimHub> hub;
            std::string error;
            ASSERT_TRUE(sim::LoadHubText(c.lines + fault.line, "t.hub", port, error, &hub)) << error;
            EXPECT_EQ(Answer(*hub, c.request), fault.reply) << fault.line;
            EXPECT_EQ(Answer(*hub, c.request), right) << fault.line;
        }
    }
}

// Physical values are taken up to the ends of the counts they turn into,
// each sensor with its own scale.
TEST(HubFile, PhysicalValuesReachTheEndsOfTheCounts)
{
    struct Case {
        std::string line;
        std::uint8_t id;
        std::size_t at;  // reply byte
        std::vector<std::uint8_t> bytes;
    } cases[] = {
        // Axis words are complements: 7fff is -32768, 8000 is 32767.
        {"sensor acc1 value=-128,127.998,0", SensorIdAcc1, 3, {0xFF, 0x7F, 0x00, 0x80, 0xFF, 0xFF}},
        {"sensor gyro value=7333.6,-7333.7,0", SensorIdGyro, 3, {0x00, 0x80, 0xFF, 0x7F, 0xFF, 0xFF}},
        {"sensor acc2 angle=-7333.5", SensorIdAcc2, 13, {0x00, 0x80}},
        {"sensor acc2 angle=7333.3", SensorIdAcc2, 13, {0xFF, 0x7F}},
    };
    for (const Case& c : cases) {
        sim::SimPort port;
        std::shared_ptr<SimHub> hub;
        std::string error;
        ASSERT_TRUE(sim::LoadHubText(c.line + "\n", "t.hub", port, error, &hub)) << error;
        const auto& report = hub->sensorReports.at(c.id);
        EXPECT_EQ(std::vector<std::uint8_t>(report.begin() + static_cast<std::ptrdiff_t>(c.at - 3),
                                            report.begin() + static_cast<std::ptrdiff_t>(c.at - 3 + c.bytes.size())),
                  c.bytes)
            << c.line;
    }
    // The values after a calibrate request and the re-check's angle alike.
    sim::SimPort port;
    std::shared_ptr<SimHub> hub;
    std::string error;
    EXPECT_TRUE(
        sim::LoadHubText("calibrate gyro after=7333.6,-7333.7,0\n"
                         "calibrate custom2 after=2147483647,-2147483648,0\n"
                         "save recheck-angle=-7333.5\n",
                         "t.hub", port, error, &hub))
        << error;
    EXPECT_EQ(hub->recheckAngleCounts, -32768);
}

// Every directive's bad lines: the load fails with the file, the line and
// what is wrong with it.
TEST(HubFile, BadLinesNameTheLineAndTheFault)
{
    // The light and colour directives follow a hub device; the save
    // directive follows a machine with a parameter area.
    const std::string hub = "device /dev/hub hub\n";
    const std::string saveMachine =
        "device /dev/sim/sensorhub hub\n"
        "sensor acc1 value=0,0,1\n"
        "sensor acc2 value=0,0,1 angle-counts=9\n"
        "param-area eflash=0x001000 ram=0x082000 length=20\n"
        "param both acc1-bias 3 -2 5\n";
    const std::string nul(1, '\0');
    struct Case {
        std::string text;
        std::string error;
    } cases[] = {
        // Devices, memory, faults and the hub's mode.
        {"frobnicate 1\n", "t.hub:1: unknown directive 'frobnicate'"},
        {"# ok\ndevice\n", "t.hub:2: device: a path is needed"},
        {"device a pid=0x10000\n", "t.hub:1: device: bad pid '0x10000'"},
        {"device a colour=red\n", "t.hub:1: device: unknown setting 'colour'"},
        {"device a\ndevice b index=0\n", "t.hub:2: device: index 0 is already taken"},
        {"mem 0x1000000 00\n", "t.hub:1: bad address '0x1000000' (0 to 0xFFFFFF)"},
        {"mem 0x10 100\n", "t.hub:1: mem: bad byte '100' (two hex digits expected)"},
        {"mem 0xFFFFFF 00 00\n", "t.hub:1: mem: the bytes run past 0xFFFFFF"},
        {"mem 0x10 \"open\n", "t.hub:1: unterminated quoted text"},
        {"mem 0x10 \"\\q\"\n", "t.hub:1: unknown escape \\q"},
        {"sensor \"acc1\\x00\" present=no\n", "t.hub:1: sensor: NUL in \"acc1\\0\" (only mem may hold one)"},
        // A raw NUL outside quotes, in a path or in a line of mem.
        {"device /dev/a" + nul + "b hub\n",
         "t.hub:1: device: NUL in '/dev/a\\0b' (only a quoted text of mem may hold one)"},
        {"mem 0x10 00 " + nul + "\n", "t.hub:1: mem: NUL in '\\0' (only a quoted text of mem may hold one)"},
        {"fault slow\n", "t.hub:1: fault: unknown kind 'slow'"},
        {"fault get-fail from=0\n", "t.hub:1: fault: bad from '0'"},
        {"fault wrong-echo byte=1\n", "t.hub:1: fault: bad byte '1' (2 to 5)"},
        {"fault wrong-echo byte=6\n", "t.hub:1: fault: bad byte '6' (2 to 5)"},
        {"fault get-fail byte=3\n", "t.hub:1: fault: unknown setting 'byte'"},
        {"hub custom-mode=maybe\n", "t.hub:1: hub: bad custom-mode 'maybe'"},
        // The parameter area, the sensors, the fusion variant, the status list.
        {"param-area ram=0x1000000\n", "t.hub:1: param-area: bad ram '0x1000000'"},
        {"param-area length=65536\n", "t.hub:1: param-area: bad length '65536'"},
        {"param rom ext 1\n", "t.hub:1: param: unknown copy 'rom' (ram, flash, both)"},
        {"param ram acc1-bias 1 2\n", "t.hub:1: param acc1-bias: 3 values are needed"},
        {"param ram acc1-bias 1 2 40000\n", "t.hub:1: param acc1-bias: bad value '40000'"},
        {"param ram nothing 1\n", "t.hub:1: param: unknown field 'nothing'"},
        {"param-area ram=0xFFFFFF\nparam ram acc1-bias 1 2 3\n", "t.hub:2: param: the bytes run past 0xFFFFFF"},
        {"sensor thermometer\n", "t.hub:1: sensor: unknown sensor 'thermometer'"},
        {"sensor acc1 value=1,2\n", "t.hub:1: sensor acc1: bad value '1,2'"},
        // Physical values beyond the counts -32768 to 32767, as counts beyond them.
        {"sensor acc1 value=1e308,0,0\n", "t.hub:1: sensor acc1: bad value '1e308,0,0'"},
        {"sensor acc1 value=0,0,128\n", "t.hub:1: sensor acc1: bad value '0,0,128'"},
        {"sensor acc1 value=0,-128.002,0\n", "t.hub:1: sensor acc1: bad value '0,-128.002,0'"},
        {"sensor gyro value=7334,0,0\n", "t.hub:1: sensor gyro: bad value '7334,0,0'"},
        {"sensor compass value=nan,0,0\n", "t.hub:1: sensor compass: bad value 'nan,0,0'"},
        {"sensor acc2 angle=7333.5\n", "t.hub:1: sensor acc2: bad angle '7333.5'"},
        {"sensor acc2 angle=-inf\n", "t.hub:1: sensor acc2: bad angle '-inf'"},
        {"calibrate acc1 after=0,0,128\n", "t.hub:1: calibrate acc1: bad after '0,0,128'"},
        {"calibrate gyro after=0,7334,0\n", "t.hub:1: calibrate gyro: bad after '0,7334,0'"},
        {"calibrate custom2 after=0,0,2147483648\n", "t.hub:1: calibrate custom2: bad after '0,0,2147483648'"},
        {"sensor light angle=3\n", "t.hub:1: sensor light: unknown setting 'angle'"},
        {"sensor acc1 status=maybe\n", "t.hub:1: sensor acc1: bad status 'maybe'"},
        {"fusion-variant\n", "t.hub:1: fusion-variant: yes or no is needed"},
        {"status-list n=256\n", "t.hub:1: status-list: bad n '256'"},
        {"status-list entry=3\n", "t.hub:1: status-list: bad entry '3' (ID:ok or ID:fail)"},
        // Self tests, the init status and the compass accuracy.
        {"self-test\n", "t.hub:1: self-test: a sensor name is needed"},
        {"self-test light\n", "t.hub:1: self-test: unknown sensor 'light' (acc1, gyro, compass, acc2)"},
        {"self-test acc1 busy=x\n", "t.hub:1: self-test acc1: bad busy 'x'"},
        {"self-test acc1 status=0x100000000\n", "t.hub:1: self-test acc1: bad status '0x100000000'"},
        {"self-test acc1 echo=both\n", "t.hub:1: self-test acc1: bad echo 'both'"},
        {"self-test acc1 speed=1\n", "t.hub:1: self-test acc1: unknown setting 'speed'"},
        {"self-test acc1 busy\n", "t.hub:1: self-test: unknown word 'busy'"},
        {"init-status 256\n", "t.hub:1: init-status: one number 0 to 255 is needed"},
        {"init-status\n", "t.hub:1: init-status: one number 0 to 255 is needed"},
        {"compass-accuracy\n", "t.hub:1: compass-accuracy: at least one value is needed"},
        {"compass-accuracy 1 300\n", "t.hub:1: compass-accuracy: bad value '300' (0 to 255)"},
        // Calibrations.
        {"calibrate\n", "t.hub:1: calibrate: a sensor is needed"},
        {"calibrate light\n", "t.hub:1: calibrate: unknown sensor 'light'"},
        {"calibrate acc1 busy\n", "t.hub:1: calibrate: unknown word 'busy'"},
        {"calibrate acc1 busy=x\n", "t.hub:1: calibrate acc1: bad busy 'x'"},
        {"calibrate acc1 status=100\n", "t.hub:1: calibrate acc1: bad status '100'"},
        {"calibrate acc1 reply=1,2\n", "t.hub:1: calibrate acc1: bad reply '1,2' (13 hex bytes)"},
        {"calibrate acc1 length=18\n", "t.hub:1: calibrate acc1: bad length '18' (1 to 17)"},
        {"calibrate acc1 after=1,2\n", "t.hub:1: calibrate acc1: bad after '1,2'"},
        {"calibrate acc1 average=0x1000000\n", "t.hub:1: calibrate acc1: bad average '0x1000000'"},
        {"calibrate acc1 speed=2\n", "t.hub:1: calibrate acc1: unknown setting 'speed'"},
        // The light, colour and proximity sensors.
        {hub + "light-sensor gains=maybe\n", "t.hub:2: light-sensor: bad gains 'maybe' (apply or ignore)"},
        {hub + "light-sensor zero-fetches=-1\n", "t.hub:2: light-sensor: bad zero-fetches '-1'"},
        {hub + "light-sensor lux=3\n", "t.hub:2: light-sensor: unknown setting 'lux'"},
        {hub + "light-sensor apply\n", "t.hub:2: light-sensor: unknown word 'apply'"},
        {hub + "colour-sensor zero-fetches=1,2\n", "t.hub:2: colour-sensor: bad zero-fetches '1,2' (N or R,G,B)"},
        {hub + "colour-sensor zero-fetches=a\n", "t.hub:2: colour-sensor: bad zero-fetches 'a' (N or R,G,B)"},
        {hub + "psensor state=100\n", "t.hub:2: psensor: bad state '100' (a hex byte)"},
        {hub + "psensor error=zz\n", "t.hub:2: psensor: bad error 'zz' (a hex byte)"},
        {hub + "psensor data=1\n", "t.hub:2: psensor: bad data '1' (A,B)"},
        {hub + "psensor data=1,70000\n", "t.hub:2: psensor: bad data '1,70000' (A,B)"},
        {hub + "psensor zero-polls=x\n", "t.hub:2: psensor: bad zero-polls 'x'"},
        {hub + "psensor mode=1\n", "t.hub:2: psensor: unknown setting 'mode'"},
        // The save request's answers.
        {saveMachine + "save silent=x\n", "t.hub:6: save: bad silent 'x' (a number or always)"},
        {saveMachine + "save bytes=2\n", "t.hub:6: save: bad bytes '2' (B1,B2)"},
        {saveMachine + "save ram=0x1000000\n", "t.hub:6: save: bad ram '0x1000000'"},
        {saveMachine + "save length=65536\n", "t.hub:6: save: bad length '65536'"},
        {saveMachine + "save recheck-angle=abc\n", "t.hub:6: save: bad recheck-angle 'abc'"},
        {saveMachine + "save recheck-angle=-7333.6\n", "t.hub:6: save: bad recheck-angle '-7333.6'"},
        {saveMachine + "save recheck-angle=nan\n", "t.hub:6: save: bad recheck-angle 'nan'"},
        {saveMachine + "save recheck-angle-counts=40000\n", "t.hub:6: save: bad recheck-angle-counts '40000'"},
        {saveMachine + "save speed=1\n", "t.hub:6: save: unknown setting 'speed'"},
        {saveMachine + "save quick\n", "t.hub:6: save: unknown word 'quick'"},
    };
    for (const Case& c : cases) {
        sim::SimPort port;
        std::string error;
        EXPECT_FALSE(sim::LoadHubText(c.text, "t.hub", port, error)) << c.text;
        EXPECT_EQ(error, c.error);
    }
}

}  // namespace
