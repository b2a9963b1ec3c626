// The sensor inventory and the status list through the stand-in.
#include "hub/inventory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hub/hub_memory.h"
#include "hub/transport.h"
#include "sim_fixture.h"

namespace {

using sim::FaultWindow;
using simtest::OneFault;
using simtest::SimFixture;

class Inventory : public SimFixture {
protected:
    void SetUp() override
    {
        SimFixture::SetUp();
        hub = ConnectHub();
    }
    void SetSlots(const std::vector<std::uint8_t>& bytes)
    {
        for (std::size_t i = 0; i < bytes.size(); ++i) hub->SetSlotByte(static_cast<int>(i), bytes[i]);
    }
    std::vector<std::uint8_t> List() const { return {SensorList, SensorList + kSensorListSize}; }
    bool ReadSent(std::uint32_t address)
    {
        const std::string a = sim::HexBytes(
            std::vector<std::uint8_t>{static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(address >> 8),
                                      static_cast<std::uint8_t>(address >> 16)}
                .data(),
            3);
        for (const std::string& s : Events({"SET"}))
            if (s.substr(4, 4) == "5a05" && s.substr(8, 6) == a) return true;
        return false;
    }
    std::shared_ptr<sim::SimHub> hub;
};

TEST_F(Inventory, PresenceBytes)
{
    SetSlots({0x01, 0x00, 0xFF, 0x6D, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02});
    CheckSensors(0);
    EXPECT_EQ(List(), (std::vector<std::uint8_t>{1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1}));
    EXPECT_FALSE(ReadSent(RegFusionVariant));
    // Slots 0 to 11 are read in order at 0x081243 + 4 x slot.
    const std::vector<std::string> sets = Events({"SET"});
    ASSERT_EQ(sets.size(), 13u);
    EXPECT_EQ(sets[0], "SET 5a054312080100" + std::string(20, '0'));
    EXPECT_EQ(sets[11], "SET 5a056f12080100" + std::string(20, '0'));
}

TEST_F(Inventory, FusionVariant)
{
    struct Case {
        const char* name;
        std::vector<std::uint8_t> slots;
        bool variantByte;
        bool variantRead;
        std::uint8_t gyroSlot;
    } cases[] = {
        {"all three and 0x6D", {1, 1, 1, 1, 1}, true, true, GyroVariant},
        {"all three, other byte", {1, 0, 0, 1, 1}, false, true, SensorPresent},
        {"compass absent", {1, 1, 1, 0, 1}, true, false, SensorPresent},
        {"acc1 absent", {0, 1, 1, 1, 1}, true, false, SensorPresent},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Restart();
        hub = ConnectHub();
        SetSlots(c.slots);
        hub->SetFusionVariant(c.variantByte);
        CheckSensors(0);
        EXPECT_EQ(ReadSent(RegFusionVariant), c.variantRead);
        EXPECT_EQ(SensorList[SensorSlotGyro], c.gyroSlot);
    }
}

TEST_F(Inventory, AFailedReadKeepsTheWorkingByte)
{
    // The read of slot 3 never gets a good echo, so all its attempts fail.
    constexpr std::uint32_t slot3 = RegSensorSlot + 12;
    hub->SetCommand(HidCmdReadReg, {nullptr, [](sim::SimHub& h, const HidReport& request, HidReport& reply) {
                                        h.OnReadRegReply(request, reply);
                                        if (sim::SimHub::AddressOf(request) == slot3) reply[5] = 0;
                                    }});
    for (std::uint8_t slot2 : std::vector<std::uint8_t>{0x00, 0x05, 0xFF}) {
        SCOPED_TRACE(static_cast<int>(slot2));
        SetSlots({0x00, 0x00, slot2, 0x01, 0x00});
        // The inventory is incomplete: a byte it could not read says
        // nothing about its sensor.
        EXPECT_FALSE(CheckSensors(0));
        EXPECT_EQ(SensorList[SensorSlotAmbientLight], slot2 == 0x05 ? SensorPresent : SensorAbsent);
        EXPECT_EQ(SensorList[SensorSlotCompass], slot2 == 0x05 ? SensorPresent : SensorAbsent);
        EXPECT_EQ(SensorList[SensorSlotGyro], SensorAbsent);
    }

    // The fusion-variant read failing leaves the last slot byte: 0x6D there marks the variant.
    Restart();
    hub = ConnectHub();
    SetSlots({1, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0x6D});
    hub->SetCommand(HidCmdReadReg, {nullptr, [](sim::SimHub& h, const HidReport& request, HidReport& reply) {
                                        h.OnReadRegReply(request, reply);
                                        if (sim::SimHub::AddressOf(request) == RegFusionVariant) reply[5] = 0;
                                    }});
    EXPECT_FALSE(CheckSensors(0));
    EXPECT_EQ(SensorList[SensorSlotGyro], GyroVariant);
}

TEST_F(Inventory, ColourProbe)
{
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes3to6;
        sim::HubFaults faults;  // on the probe's fetch, the 13th get
        std::uint8_t flag;
        bool complete;  // what CheckSensors returns
    } cases[] = {
        {"last byte set", {0, 0, 0, 1}, {}, 1, true},
        {"first byte set", {7, 0, 0, 0}, {}, 1, true},
        {"third byte set", {0, 0, 9, 0}, {}, 1, true},
        {"all zero", {0, 0, 0, 0}, {}, 0, true},
        // The probe unanswered is no absent sensor: the inventory fails.
        {"no reply", {1, 1, 1, 1}, OneFault(&sim::HubFaults::getFail, FaultWindow::From(13)), 0, false},
        {"wrong sensor echo", {1, 1, 1, 1}, OneFault(&sim::HubFaults::wrongEcho, FaultWindow::From(13)), 0, false},
        {"other command", {1, 1, 1, 1}, OneFault(&sim::HubFaults::replyCommand, FaultWindow::From(13)), 0, false},
        {"request failed", {1, 1, 1, 1}, OneFault(&sim::HubFaults::setFail, FaultWindow::From(13)), 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Restart();
        hub = ConnectHub();
        ColorSensorFlag = 7;
        auto& data = hub->sensorReports[SensorIdColor];
        std::copy(c.bytes3to6.begin(), c.bytes3to6.end(), data.begin());
        data[4] = 0x55;  // reply byte 7 is not looked at
        // The 12 slot reads make 24 transfers; the probe is the 13th set and get.
        hub->faults = c.faults;
        EXPECT_EQ(CheckSensors(0), c.complete);
        EXPECT_EQ(ColorSensorFlag, c.flag);
        // 20 ms, the probe, 50 ms, its fetch, and no wait after it.
        const std::vector<std::string> events = Events();
        ASSERT_GE(events.size(), 4u);
        EXPECT_EQ(events[events.size() - 4], "SLEEP 20");
        EXPECT_EQ(events[events.size() - 3].substr(events[events.size() - 3].size() - 34),
                  "5a000f" + std::string(28, '0'));
        EXPECT_EQ(events[events.size() - 2], "SLEEP 50");
        EXPECT_EQ(events.back().substr(0, 3), "GET");
    }
}

TEST_F(Inventory, StatusListForAnotherRequestIsNoList)
{
    // A status list that does not echo 0x0B and 0 answers another request
    // (or is what the hub still held): its bytes are no count and no mask.
    hub->statusList = {{0x01, true}, {0x08, false}};
    for (const auto kind : {&sim::HubFaults::wrongEcho, &sim::HubFaults::replyCommand}) {
        SCOPED_TRACE(kind == &sim::HubFaults::wrongEcho ? "wrong echo" : "other command");
        Restart();
        hub = ConnectHub();
        hub->statusList = {{0x01, true}, {0x08, false}};
        hub->faults = OneFault(kind, FaultWindow::Always());
        EXPECT_EQ(CheckSensorExist(0), kSensorStatusUnread);
        EXPECT_EQ(ConsoleText(), "Get Sensor Status Fail!\r\n");
        EXPECT_EQ(LogText(), "Get Sensor Status Fail!\r\n");
    }
}

TEST_F(Inventory, EmptySlotMakesEverySensorAbsent)
{
    for (std::uint8_t& s : SensorList) s = 1;
    ColorSensorFlag = 1;
    hFile[0] = kNoHidHandle;
    CheckSensors(0);
    EXPECT_EQ(List(), std::vector<std::uint8_t>(kSensorListSize, 0));
    EXPECT_EQ(ColorSensorFlag, 0);
}

TEST_F(Inventory, StatusList)
{
    struct Case {
        const char* name;
        std::vector<std::uint8_t> ids;
        int n;
        int mask;
        bool gyroVariant;
        std::uint8_t result;
        std::string lines;
        std::string reply;  // the status list's GET line
    } cases[] = {
        {"n 3, mask 0x0005",
         {0x01, 0x08, 0x02},
         3,
         0x0005,
         false,
         1,
         "The number of sensor is 3.\r\nError Sensor ID: 0x08\r\n",
         "GET 5a0b00030500010802" + std::string(16, '0')},
        {"n 5, mask 0x001B, variant",
         {0x01, 0x08, 0x02, 0x03, 0x04},
         5,
         0x001B,
         true,
         0,
         "The number of sensor is 5.\r\n",
         "GET 5a0b00051b000108020304" + std::string(12, '0')},
        {"n 5, mask 0x001B",
         {0x01, 0x08, 0x02, 0x03, 0x04},
         5,
         0x001B,
         false,
         1,
         "The number of sensor is 5.\r\nError Sensor ID: 0x02\r\n",
         "GET 5a0b00051b000108020304" + std::string(12, '0')},
        {"n 0", {}, 0, 0x0000, false, 0, "The number of sensor is 0.\r\n", "GET 5a0b" + std::string(30, '0')},
        {"n 10, all failing",
         {1, 2, 3, 4, 8, 0x0F, 0x11, 0x20, 0x21, 0xAB},
         10,
         0xFC00,
         false,
         10,
         "The number of sensor is 10.\r\nError Sensor ID: 0x01\r\nError Sensor ID: 0x02\r\nError Sensor ID: "
         "0x03\r\nError Sensor ID: 0x04\r\nError Sensor ID: 0x08\r\nError Sensor ID: 0x0F\r\nError Sensor ID: "
         "0x11\r\nError Sensor ID: 0x20\r\nError Sensor ID: 0x21\r\nError Sensor ID: 0xAB\r\n",
         "GET 5a0b000a00fc01020304080f112021ab00"},
        {"n 12, entry 10 failing",
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10},
         12,
         0x0BFF,
         false,
         1,
         "The number of sensor is 12.\r\nError Sensor Entry: 10 (no sensor ID in the reply)\r\n",
         "GET 5a0b000cff0b0102030405060708090a00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Restart();
        hub = ConnectHub();
        for (std::uint8_t id : c.ids) hub->statusList.emplace_back(id, false);
        hub->statusCount = c.n;
        hub->statusMask = c.mask;
        if (c.gyroVariant) SensorList[SensorSlotGyro] = GyroVariant;
        EXPECT_EQ(CheckSensorExist(0), c.result);
        EXPECT_EQ(ConsoleText(), c.lines);
        EXPECT_EQ(LogText(), c.lines);
        EXPECT_EQ(Events(),
                  (std::vector<std::string>{"SET 5a0b" + std::string(30, '0'), "SLEEP 50", c.reply, "SLEEP 20"}));
    }
}

TEST_F(Inventory, StatusListClaimingMoreThanTheReplyHolds)
{
    // 255 entries: the reply names ten, the mask covers sixteen.
    for (int i = 0; i < 10; ++i) hub->statusList.emplace_back(static_cast<std::uint8_t>(0x40 + i), true);
    hub->statusCount = 255;
    hub->statusMask = 0xFFFF;
    EXPECT_EQ(CheckSensorExist(0), 255 - 16);
    std::string expected = "The number of sensor is 255.\r\n";
    for (int entry = 16; entry < 255; ++entry)
        expected += "Error Sensor Entry: " + std::to_string(entry) + " (no sensor ID in the reply)\r\n";
    EXPECT_EQ(ConsoleText(), expected);

    // Failing entries among the first ten keep their sensor numbers; every later one counts.
    Restart();
    hub = ConnectHub();
    for (int i = 0; i < 10; ++i) hub->statusList.emplace_back(static_cast<std::uint8_t>(0x40 + i), true);
    hub->statusCount = 255;
    hub->statusMask = 0x0000;
    SensorList[SensorSlotGyro] = GyroVariant;
    EXPECT_EQ(CheckSensorExist(0), 254);  // entry 2 skipped
    const std::string text = ConsoleText();
    EXPECT_NE(text.find("Error Sensor ID: 0x49\r\nError Sensor Entry: 10 (no"), std::string::npos);
    EXPECT_EQ(text.find("Error Sensor ID: 0x42"), std::string::npos);
}

TEST_F(Inventory, StatusListWithoutAReply)
{
    // No reply, or a request that failed (the fetch then sees the hub's
    // reply to an earlier request): no list, never an empty one.
    const std::string earlierList = "The number of sensor is 1.\r\nError Sensor ID: 0x01\r\n";
    const struct {
        const char* name;
        sim::HubFaults faults;
        bool earlierCall;  // a first call fetches the list; the faults hit the second
    } cases[] = {
        {"no reply", OneFault(&sim::HubFaults::getFail, FaultWindow::Always()), false},
        {"request failed", OneFault(&sim::HubFaults::setFail, FaultWindow::Always()), false},
        // The hub still holds the first call's request: the fetch brings a
        // list, but one that answers that earlier request.
        {"request failed after a list was fetched", OneFault(&sim::HubFaults::setFail, FaultWindow::From(2)), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Restart();
        hub = ConnectHub();
        hub->statusList = {{0x01, false}};
        hub->faults = c.faults;
        if (c.earlierCall) {
            ASSERT_EQ(CheckSensorExist(0), 1);
            sim::TraceReset();
        }
        EXPECT_EQ(CheckSensorExist(0), kSensorStatusUnread);
        EXPECT_EQ(ConsoleText(), (c.earlierCall ? earlierList : "") + "Get Sensor Status Fail!\r\n");
        EXPECT_EQ(SleptMs(), 70u);
    }

    Restart();
    hub = ConnectHub();
    hFile[0] = kNoHidHandle;
    sim::TraceReset();
    EXPECT_EQ(CheckSensorExist(0), 0xFF);
    EXPECT_EQ(ConsoleText(), "");
    EXPECT_TRUE(Events().empty());
}

}  // namespace
