// Random hub replies to every operation of the hub control commands, the
// sensor values and the inventory: whatever the hub answers (echo, length,
// ext, entry count, OK mask), nothing is read or written out of bounds and
// the results keep their documented ranges. Fixed seed; run it under
// -DXOV_SANITIZE=ON as well.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "hub/hub_control.h"
#include "hub/inventory.h"
#include "hub/sensor_values.h"
#include "hub/transport.h"
#include "sim_fixture.h"

namespace {

using sim::FaultWindow;
using simtest::SimFixture;

constexpr int kIterationsPerOperation = 400;
const std::string kUnlockHex = "5a0e" + std::string(30, '0');

class LinkFuzz : public SimFixture {
protected:
    std::uint8_t Byte() { return static_cast<std::uint8_t>(rng() & 0xFFu); }
    std::uint32_t Below(std::uint32_t n) { return static_cast<std::uint32_t>(rng() % n); }

    // A fresh hub whose every command answers random bytes, with the echo
    // of the request now and then, so that register reads also succeed.
    void FreshHub()
    {
        Restart();
        hub = ConnectHub();
        const sim::SimHub::ReplyHandler random = [this](sim::SimHub& h, const HidReport& request, HidReport& reply) {
            for (std::size_t i = 1; i < reply.size(); ++i) reply[i] = Byte();
            switch (Below(5)) {
                case 4:  // the model's own answer: a register read delivers hub memory
                    if (request[1] == HidCmdReadReg || request[1] == HidCmdReadRegF0) h.OnReadRegReply(request, reply);
                    break;
                case 1:  // command and byte 2
                    reply[1] = request[1];
                    reply[2] = request[2];
                    break;
                case 2:  // a register read's whole echo
                    std::copy(request.begin() + 1, request.begin() + 6, reply.begin() + 1);
                    break;
                case 3:  // the address and count, another command byte
                    std::copy(request.begin() + 2, request.begin() + 6, reply.begin() + 2);
                    break;
                default:
                    break;
            }
        };
        for (int code = 0; code < 256; ++code) hub->commands[static_cast<std::uint8_t>(code)].reply = random;
        hub->customMode = Below(2) == 0;
        if (Below(3) == 0) hub->faults.getFail = {static_cast<int>(1 + Below(30)), static_cast<int>(Below(40))};
        if (Below(8) == 0) hub->faults.setFail = {static_cast<int>(1 + Below(30)), static_cast<int>(Below(40))};
    }

    std::mt19937 rng{0x5A17u};
    std::shared_ptr<sim::SimHub> hub;
};

TEST_F(LinkFuzz, HubControl)
{
    for (int i = 0; i < kIterationsPerOperation; ++i) {
        FreshHub();
        HidCustomCmdInit(0, static_cast<std::uint8_t>(Below(3)));
        // At most two reports reach the hub; a failed one is tried again,
        // three tries each at most.
        const std::vector<std::string> sets = Events({"SET"});
        EXPECT_LE(sets.size(), 6u);
        EXPECT_LE(std::count_if(sets.begin(), sets.end(),
                                [](const std::string& e) { return e.compare(0, 8, "SET FAIL") != 0; }),
                  2);
        EXPECT_EQ(SleptMs(), 300u);

        sim::TraceReset();
        std::uint32_t eflash = 0, buffer = 0;
        std::uint16_t length = 0;
        const std::uint8_t result = GetEFlashBufferAddr(0, &eflash, &buffer, &length);
        EXPECT_LE(result, 1);
        EXPECT_LE(eflash, 0xFFFFFFu);
        EXPECT_LE(buffer, 0xFFFFFFu);
    }
}

TEST_F(LinkFuzz, Clearing)
{
    const std::uint8_t areas[] = {ClearAreaAcc1Bias, ClearAreaAcc2Bias, ClearAreaAcc2BiasGain, ClearAreaBlockHead};
    int movedByExt = 0;  // clearings that a nonzero ext moved
    for (int i = 0; i < kIterationsPerOperation; ++i) {
        FreshHub();
        // Addresses near the F0 boundary and the top of memory now and then.
        const std::uint32_t bases[] = {0x082000, 0xEFFFF0, 0xFFFFC0, Below(0x1000000)};
        gBufferAddr = bases[Below(4)] + Below(64);
        if (gBufferAddr > 0xFFFFFF) gBufferAddr = 0xFFFFFF;
        gParamLength = static_cast<std::uint16_t>(Below(40) == 0 ? Below(65536) : Below(80));
        const std::uint8_t area = Below(5) == 0 ? Byte() : areas[Below(4)];
        // A header with a valid pair or a near miss, and a random ext.
        const std::vector<std::uint8_t> pairs[] = {
            {0x63, 0x89}, {0x11, 0x99}, {0x80, 0x83}, {0x83, 0x80}, {Byte(), Byte()}};
        const std::vector<std::uint8_t>& pair = pairs[Below(5)];
        // ext small enough, half the time, to move the ACC2 area within a short block.
        const bool smallExt = Below(2) == 0;
        hub->Poke(gBufferAddr + 24, {pair[0], pair[1], smallExt ? static_cast<std::uint8_t>(Below(40)) : Byte(),
                                     smallExt ? std::uint8_t{0} : Byte()});
        hub->memoryFill = Byte();
        EXPECT_LE(ClearBufferParameterAndRestartFusion(0, static_cast<std::uint8_t>(Below(2)), area), 1);
        // The last request is the unlock; the hub is unlocked unless a failed transfer kept it from it.
        const std::vector<std::string> sets = Events({"SET"});
        ASSERT_FALSE(sets.empty());
        EXPECT_EQ(sets.back().substr(sets.back().size() - 34), kUnlockHex);
        if (sets.back().compare(0, 8, "SET FAIL") != 0) {
            EXPECT_FALSE(hub->fusionLocked);
        }
        EXPECT_LE(hub->writeLog.size(), 12u);
        for (const auto& [address, value] : hub->writeLog) {
            EXPECT_EQ(value, 0);
            // Never wrapped round below the block, never beyond its end.
            EXPECT_GE(address, gBufferAddr);
            EXPECT_LT(static_cast<std::uint64_t>(address), std::uint64_t{gBufferAddr} + gParamLength);
        }
        if (!hub->writeLog.empty() && hub->writeLog.back().first > gBufferAddr + 37) ++movedByExt;
    }
    EXPECT_GT(movedByExt, 0);  // the random replies reach the ext path
}

TEST_F(LinkFuzz, SensorValues)
{
    const double limit = 32768 * 0.22381;
    for (int i = 0; i < kIterationsPerOperation; ++i) {
        FreshHub();
        const std::uint8_t id = Below(2) == 0 ? SensorIdGyro : Byte();
        float x = 1, y = 1, z = 1;
        const std::uint8_t result = GetSensorValue3D(0, id, &x, &y, &z);
        EXPECT_LE(result, 1);
        for (float v : {x, y, z}) {
            EXPECT_TRUE(std::isfinite(v));
            EXPECT_LE(std::fabs(v), limit);
            if (result == 1) {
                EXPECT_EQ(v, 0.0f);
            }
        }

        std::int32_t a = 1, b = 1, c = 1;
        const std::uint8_t result2 = GetSensorValueCustom2(0, Byte(), &a, &b, &c);
        EXPECT_LE(result2, 1);
        if (result2 == 1) {
            EXPECT_TRUE(a == 0 && b == 0 && c == 0);
        }

        const std::int16_t angle = GetAngle(0);
        EXPECT_LE(std::abs(angle), 7334);
    }
}

TEST_F(LinkFuzz, Inventory)
{
    int pastTen = 0;  // lists with failing entries beyond those the reply names
    for (int i = 0; i < kIterationsPerOperation; ++i) {
        FreshHub();
        CheckSensors(0);
        for (int slot = 0; slot < kSensorListSize; ++slot)
            EXPECT_LE(SensorList[slot], slot == SensorSlotGyro ? GyroVariant : SensorPresent) << slot;
        EXPECT_LE(ColorSensorFlag, 1);

        // The status list: one line for the count, one per failing entry.
        // A list that the hub did not send: one line, and no count.
        const std::uint8_t failing = CheckSensorExist(0);
        const std::string text = ConsoleText();
        std::size_t lines = 0;
        for (std::size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos; at += 2) ++lines;
        if (text == "Get Sensor Status Fail!\r\n")
            EXPECT_EQ(failing, kSensorStatusUnread);
        else
            EXPECT_EQ(lines, 1u + failing);
        EXPECT_EQ(text, LogText());
        if (text.find("Error Sensor Entry: ") != std::string::npos) ++pastTen;
    }
    EXPECT_GT(pastTen, 0);
}

}  // namespace
