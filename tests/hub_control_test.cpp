// Hub control commands through the stand-in: custom-command mode, the
// parameter-area query, the fusion-task lock and the buffer clearing.
#include "hub/hub_control.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "hub/transport.h"
#include "sim_fixture.h"

namespace {

using sim::FaultWindow;
using simtest::SimFixture;

std::string Hex(const HidReport& r)
{
    return sim::HexBytes(r.data(), r.size());
}

const std::string kVendorSet = "SET " + Hex(VendorStringReport());
const std::string kVendorReply = "GET 5a584f5620546563682e20496e632e0000";
const std::string kZeroReply = "GET 5a" + std::string(32, '0');
const std::string kLock = "SET " + Hex(MakeRequest(HidCmdFusionTaskLock));
const std::string kUnlock = "SET " + Hex(MakeRequest(HidCmdFusionTaskUnlock));

std::string Write(std::uint8_t command, std::uint32_t address)
{
    HidReport r = MakeRequest(command, static_cast<std::uint8_t>(address));
    r[3] = static_cast<std::uint8_t>(address >> 8);
    r[4] = static_cast<std::uint8_t>(address >> 16);
    r[5] = 1;
    return "SET " + Hex(r);
}

std::vector<std::string> Writes(std::uint32_t first, std::uint32_t count)
{
    std::vector<std::string> writes;
    for (std::uint32_t a = first; a < first + count; ++a) writes.push_back(Write(HidCmdWriteReg, a));
    return writes;
}

class HubControl : public SimFixture {
protected:
    void SetUp() override
    {
        SimFixture::SetUp();
        hub = ConnectHub();
    }
    std::vector<std::string> Sets() { return Events({"SET"}); }
    // Register writes among the requests, in order.
    std::vector<std::string> WriteSets()
    {
        std::vector<std::string> writes;
        for (const std::string& s : Sets())
            if (s.compare(0, 8, "SET 5a06") == 0 || s.compare(0, 8, "SET 5a08") == 0) writes.push_back(s);
        return writes;
    }
    std::shared_ptr<sim::SimHub> hub;
};

TEST(VendorReport, Bytes)
{
    EXPECT_EQ(Hex(VendorStringReport()), "5a584f5620546563682e20496e632e0000");
}

TEST_F(HubControl, ModeOnWithAHubThatAnswersTheText)
{
    HidCustomCmdInit(0, CustomCmdModeOn);
    EXPECT_EQ(Events(), (std::vector<std::string>{kVendorSet, "SLEEP 50", kVendorReply, "SLEEP 50", "SLEEP 200"}));
    EXPECT_EQ(SleptMs(), 300u);
    EXPECT_TRUE(hub->customMode);
}

TEST_F(HubControl, SecondSendOnlyWhenTheReadBackIsNotTheWantedState)
{
    struct Case {
        const char* name;
        bool hubOnBefore;
        std::uint8_t mode;
        bool fetchFails;
        int sends;
        bool hubOnAfter;
    } cases[] = {
        {"on, hub already on", true, CustomCmdModeOn, false, 2, true},
        {"on, reply not fetched", false, CustomCmdModeOn, true, 2, false},
        {"off, hub on", true, CustomCmdModeOff, false, 1, false},
        {"off, hub already off", false, CustomCmdModeOff, false, 2, false},
        {"off, reply not fetched", true, CustomCmdModeOff, true, 1, false},
        {"mode 2, reply differs", true, 2, false, 1, false},
        {"mode 2, reply is the text", false, 2, false, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Restart();
        hub = ConnectHub();
        hub->customMode = c.hubOnBefore;
        if (c.fetchFails) hub->faults.getFail = FaultWindow::Always();
        HidCustomCmdInit(0, c.mode);
        EXPECT_EQ(Sets(), std::vector<std::string>(static_cast<std::size_t>(c.sends), kVendorSet));
        EXPECT_EQ(Events({"GET"}).size(), 1u);
        EXPECT_EQ(Events({"GET FAIL"}).size(), c.fetchFails ? 1u : 0u);
        EXPECT_EQ(SleptMs(), 300u);
        EXPECT_EQ(hub->customMode, c.hubOnAfter);
    }
}

TEST_F(HubControl, FailedVendorReportIsSentAgain)
{
    // A report that the OS refused reached no hub and toggled nothing: it is
    // sent again, three tries at most, before the read-back and for the
    // second send alike.
    struct Case {
        const char* name;
        bool hubOnBefore;
        std::uint8_t mode;
        FaultWindow setFail;
        std::vector<bool> sent;  // each try: true when it went out
        bool hubOnAfter;
    } cases[] = {
        {"off, first try fails", true, CustomCmdModeOff, FaultWindow::FirstN(1), {false, true}, false},
        {"on, first try fails", false, CustomCmdModeOn, FaultWindow::FirstN(1), {false, true}, true},
        {"on, second send fails once", true, CustomCmdModeOn, {2, 1}, {true, false, true}, true},
        {"off, every try fails", true, CustomCmdModeOff, FaultWindow::Always(), {false, false, false}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Restart();
        hub = ConnectHub();
        hub->customMode = c.hubOnBefore;
        hub->faults.setFail = c.setFail;
        HidCustomCmdInit(0, c.mode);
        std::vector<std::string> expected;
        for (bool sent : c.sent) expected.push_back(sent ? kVendorSet : "SET FAIL " + kVendorSet.substr(4));
        EXPECT_EQ(Sets(), expected);
        EXPECT_EQ(hub->customMode, c.hubOnAfter);
    }
}

TEST_F(HubControl, ModeOnEmptySlotDoesNothing)
{
    hFile[0] = kNoHidHandle;
    HidCustomCmdInit(0, CustomCmdModeOn);
    HidCustomCmdInit(kHubSlots, CustomCmdModeOn);
    EXPECT_TRUE(Events().empty());
}

TEST_F(HubControl, ParameterAreaQuery)
{
    hub->paramEFlashAddr = 0x001000;
    hub->paramBufferAddr = 0x082000;
    hub->paramLength = 1024;
    EXPECT_EQ(GetEFlashBufferAddr(0, &gEFlashAddr, &gBufferAddr, &gParamLength), 0);
    EXPECT_EQ(gEFlashAddr, 0x001000u);
    EXPECT_EQ(gBufferAddr, 0x082000u);
    EXPECT_EQ(gParamLength, 1024);
    EXPECT_EQ(Events(),
              (std::vector<std::string>{"SET 5a0200" + std::string(28, '0'), "SLEEP 50",
                                        "GET 5a02000010000020080004" + std::string(12, '0'), "SLEEP 20", "SLEEP 200"}));
}

TEST_F(HubControl, ParameterAreaQueryFailures)
{
    hub->paramEFlashAddr = 0xF12345;
    hub->paramBufferAddr = 0x0A0B0C;
    hub->paramLength = 0xFFFF;

    // Not confirmed: 1, and the outputs are still taken from the reply.
    hub->paramQueryConfirms = false;
    std::uint32_t eflash = 7, buffer = 7;
    std::uint16_t length = 7;
    EXPECT_EQ(GetEFlashBufferAddr(0, &eflash, &buffer, &length), 1);
    EXPECT_EQ(eflash, 0xF12345u);
    EXPECT_EQ(buffer, 0x0A0B0Cu);
    EXPECT_EQ(length, 0xFFFF);

    // Another command echo does not confirm either.
    hub->paramQueryConfirms = true;
    hub->faults.replyCommand = FaultWindow::Always();
    EXPECT_EQ(GetEFlashBufferAddr(0, &eflash, &buffer, &length), 1);
    hub->faults.replyCommand = FaultWindow::Off();

    // Reply not fetched: 1 with all three 0, after the same waits.
    hub->faults.getFail = FaultWindow::Always();
    sim::TraceReset();
    EXPECT_EQ(GetEFlashBufferAddr(0, &eflash, &buffer, &length), 1);
    EXPECT_EQ(eflash, 0u);
    EXPECT_EQ(buffer, 0u);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(SleptMs(), 270u);

    // A query that never went out: whatever the fetch brings answers an
    // earlier request, so 1 with all three 0 as well.
    hub->faults.getFail = FaultWindow::Off();
    hub->faults.setFail = FaultWindow::Always();
    eflash = buffer = length = 9;
    EXPECT_EQ(GetEFlashBufferAddr(0, &eflash, &buffer, &length), 1);
    EXPECT_EQ(eflash, 0u);
    EXPECT_EQ(buffer, 0u);
    EXPECT_EQ(length, 0);
    hub->faults.setFail = FaultWindow::Off();

    // Empty slot: 1, outputs untouched, nothing sent.
    eflash = buffer = length = 9;
    hFile[0] = kNoHidHandle;
    sim::TraceReset();
    EXPECT_EQ(GetEFlashBufferAddr(0, &eflash, &buffer, &length), 1);
    EXPECT_EQ(eflash, 9u);
    EXPECT_EQ(buffer, 9u);
    EXPECT_EQ(length, 9);
    EXPECT_TRUE(Events().empty());
}

TEST_F(HubControl, FusionTaskLock)
{
    LuckFusionTask(0, 1);
    EXPECT_TRUE(hub->fusionLocked);
    LuckFusionTask(0, 2);
    EXPECT_FALSE(hub->fusionLocked);
    EXPECT_EQ(Events(), (std::vector<std::string>{kLock, "SLEEP 200", kUnlock, "SLEEP 200"}));
    EXPECT_EQ(kLock, "SET 5a0d" + std::string(30, '0'));

    hFile[0] = kNoHidHandle;
    sim::TraceReset();
    LuckFusionTask(0, 1);
    EXPECT_TRUE(Events().empty());
}

TEST_F(HubControl, ClearingWithoutAnAreaOnlyLocksAndUnlocks)
{
    gBufferAddr = 0x082000;
    gParamLength = 64;
    EXPECT_EQ(ClearBufferParameterAndRestartFusion(0, 1, 0x02), 0);
    EXPECT_EQ(Events(),
              (std::vector<std::string>{kUnlock, "SLEEP 200", kLock, "SLEEP 200", "SLEEP 200", kUnlock, "SLEEP 200"}));
    EXPECT_FALSE(hub->fusionLocked);

    sim::TraceReset();
    ClearBufferParameterAndRestartFusion(0, 0, 0x02);
    EXPECT_EQ(Sets(), (std::vector<std::string>{kLock, kUnlock}));
}

TEST_F(HubControl, ClearAreas)
{
    constexpr std::uint32_t A = 0x082000;
    struct Case {
        const char* name;
        std::uint8_t area;
        std::vector<std::uint8_t> header;  // bytes 24 to 27 of the RAM copy
        std::uint16_t length;
        std::uint32_t firstCleared;
        std::uint32_t count;
    } cases[] = {
        {"acc1 bias", ClearAreaAcc1Bias, {}, 1024, A + 12, 6},
        {"block head", ClearAreaBlockHead, {}, 1024, A, 2},
        {"acc2 bias, ext 16", ClearAreaAcc2Bias, {0x63, 0x89, 0x10, 0x00}, 1024, A + 42, 6},
        {"acc2 bias, swapped pair", ClearAreaAcc2Bias, {0x89, 0x63, 0x10, 0x00}, 1024, A + 26, 6},
        {"acc2 bias, pair 11 99", ClearAreaAcc2Bias, {0x11, 0x99, 0x00, 0x01}, 1024, A + 256 + 26, 6},
        {"acc2 bias and gain, ext 14", ClearAreaAcc2BiasGain, {0x80, 0x83, 0x0E, 0x00}, 1024, A + 40, 12},
        {"acc2 bias, ext 0", ClearAreaAcc2Bias, {0x80, 0x83, 0x00, 0x00}, 1024, A + 26, 6},
        // Only bytes of the block are written: of the bias at 26 to 31 a
        // block of 27 bytes holds byte 26; with ext 16 a block of 28 bytes
        // holds none of it.
        {"acc2 bias, block of 27 bytes", ClearAreaAcc2Bias, {0x63, 0x89, 0x10, 0x00}, 27, A + 26, 1},
        {"acc2 bias, block of 28 bytes", ClearAreaAcc2Bias, {0x63, 0x89, 0x10, 0x00}, 28, A + 42, 0},
        {"acc1 bias, block of 15 bytes", ClearAreaAcc1Bias, {}, 15, A + 12, 3},
        {"block head, block of 1 byte", ClearAreaBlockHead, {}, 1, A, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Restart();
        hub = ConnectHub();
        hub->Poke(A, std::vector<std::uint8_t>(64, 0xAA));
        if (!c.header.empty()) hub->Poke(A + 24, c.header);
        gBufferAddr = A;
        gParamLength = c.length;
        EXPECT_EQ(ClearBufferParameterAndRestartFusion(0, 1, c.area), 0);
        ASSERT_EQ(WriteSets(), Writes(c.firstCleared, c.count));
        for (std::uint32_t a = A; a < A + 64; ++a) {
            const bool cleared = a >= c.firstCleared && a < c.firstCleared + c.count;
            const std::uint32_t offset = a - A;
            const bool header = offset >= 24 && offset - 24 < c.header.size();
            EXPECT_EQ(hub->Peek(a), cleared ? 0x00 : header ? c.header[offset - 24] : 0xAA) << std::hex << a;
        }
        // The writes happen with the fusion task locked, and it is unlocked again.
        const std::vector<std::string> sets = Sets();
        ASSERT_FALSE(sets.empty());
        if (c.count > 0) {
            const auto lock = std::find(sets.begin(), sets.end(), kLock);
            const auto firstWrite = std::find(sets.begin(), sets.end(), WriteSets().front());
            const auto lastWrite = std::find(sets.rbegin(), sets.rend(), WriteSets().back()).base() - 1;
            EXPECT_LT(lock, firstWrite);
            EXPECT_EQ(lastWrite + 1, sets.end() - 1);
        }
        EXPECT_EQ(sets.back(), kUnlock);
        EXPECT_FALSE(hub->fusionLocked);
        // No wait between the writes: 200 (unlock) + 200 (lock) + 200 + 200 (unlock) and the reads' 5 ms waits.
        const std::uint64_t readWaits =
            (c.area == ClearAreaAcc2Bias || c.area == ClearAreaAcc2BiasGain) ? 10u * ((c.length + 9u) / 10u) : 0u;
        EXPECT_EQ(SleptMs(), 800u + readWaits);
    }
}

TEST_F(HubControl, Acc2AreaReadsTheWholeBlock)
{
    gBufferAddr = 0x082000;
    gParamLength = 25;
    ClearBufferParameterAndRestartFusion(0, 0, ClearAreaAcc2Bias);
    const std::vector<std::string> reads = [&] {
        std::vector<std::string> r;
        for (const std::string& s : Sets())
            if (s.compare(0, 8, "SET 5a05") == 0) r.push_back(s.substr(4, 12));
        return r;
    }();
    EXPECT_EQ(reads, (std::vector<std::string>{"5a050020080a", "5a050a20080a", "5a0514200805"}));
}

TEST_F(HubControl, Acc2AreaAfterAFailedBlockRead)
{
    // Without the whole block ext is unknown: nothing is cleared, not even
    // when the chunk with bytes 24 to 27 came in before the read gave up
    // (a guessed ext could clear the header or the ACC1 fields), and the
    // clearing reports the failure. The fusion task is unlocked all the same.
    constexpr std::uint32_t A = 0x082000;
    const struct {
        const char* name;
        int failFrom;  // the first fetch that fails, and every later one
    } cases[] = {
        {"nothing delivered", 1},
        {"bytes 0 to 29 delivered", 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Restart();
        hub = ConnectHub();
        hub->Poke(A + 24, {0x63, 0x89, 0x10, 0x00});
        hub->faults.getFail = FaultWindow::From(c.failFrom);
        gBufferAddr = A;
        gParamLength = 1024;
        EXPECT_EQ(ClearBufferParameterAndRestartFusion(0, 0, ClearAreaAcc2Bias), 1);
        EXPECT_TRUE(WriteSets().empty());
        const std::vector<std::string> sets = Sets();
        ASSERT_FALSE(sets.empty());
        EXPECT_EQ(sets.back(), kUnlock);
    }
}

TEST_F(HubControl, FailedRequestsFailTheClearing)
{
    // A lock that never went out: nothing is written; a write or an unlock
    // that failed: the clearing reports it. Set-features of the head clear:
    // 1 lock, 2 and 3 the writes, 4 the unlock.
    constexpr std::uint32_t A = 0x082000;
    const struct {
        const char* name;
        int failingSet;
        std::size_t writesSent;
    } cases[] = {
        {"lock", 1, 0},
        {"first write", 2, 1},
        {"unlock", 4, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Restart();
        hub = ConnectHub();
        hub->faults.setFail = {c.failingSet, 1};
        gBufferAddr = A;
        gParamLength = 1024;
        EXPECT_EQ(ClearBufferParameterAndRestartFusion(0, 0, ClearAreaBlockHead), 1);
        std::size_t writes = 0;
        for (const std::string& e : Sets())
            if (e.compare(0, 8, "SET 5a06") == 0) ++writes;
        EXPECT_EQ(writes, c.writesSent);
    }
}

TEST_F(HubControl, WriteCommandFollowsEachByteAddress)
{
    gBufferAddr = 0xEFFFFF;
    gParamLength = 1024;
    ClearBufferParameterAndRestartFusion(0, 0, ClearAreaBlockHead);
    EXPECT_EQ(WriteSets(),
              (std::vector<std::string>{Write(HidCmdWriteReg, 0xEFFFFF), Write(HidCmdWriteRegF0, 0xF00000)}));
    EXPECT_EQ(Write(HidCmdWriteReg, 0xEFFFFF), "SET 5a06ffffef0100" + std::string(20, '0'));
    EXPECT_EQ(Write(HidCmdWriteRegF0, 0xF00000), "SET 5a080000f00100" + std::string(20, '0'));
}

TEST_F(HubControl, NoWritePastTheTopOfHubMemory)
{
    // Sums beyond 24 bits are not wrapped round to low addresses.
    gBufferAddr = 0xFFFFFF;
    gParamLength = 1024;
    ClearBufferParameterAndRestartFusion(0, 0, ClearAreaBlockHead);
    EXPECT_EQ(WriteSets(), (std::vector<std::string>{Write(HidCmdWriteReg, 0xFFFFFF)}));

    sim::TraceReset();
    hub->memoryFill = 0xFF;  // ext reads 0xFFFF once the signature is there
    hub->Poke(0xFFFFF0 + 24, {0x63, 0x89});
    gBufferAddr = 0xFFFFF0;
    gParamLength = 16;  // the read ends at the top of memory
    ClearBufferParameterAndRestartFusion(0, 0, ClearAreaAcc2BiasGain);
    EXPECT_TRUE(WriteSets().empty());
    EXPECT_EQ(hub->Peek(0x000000), 0xFF);
}

TEST_F(HubControl, ClearingOnAnEmptySlotOnlyWaits)
{
    hFile[0] = kNoHidHandle;
    gBufferAddr = 0x082000;
    gParamLength = 1024;
    for (std::uint8_t area : {ClearAreaAcc1Bias, ClearAreaAcc2Bias, ClearAreaAcc2BiasGain, ClearAreaBlockHead}) {
        sim::TraceReset();
        EXPECT_EQ(ClearBufferParameterAndRestartFusion(0, 1, area), 0);
        EXPECT_EQ(Events(), (std::vector<std::string>{"SLEEP 200"}));
    }
}

TEST_F(HubControl, ClearingWritesArePaced)
{
    HIDCMDDelayMS = 30;
    DelayFlag = 1;
    gBufferAddr = 0x082000;
    gParamLength = 1024;
    ClearBufferParameterAndRestartFusion(0, 0, ClearAreaBlockHead);
    // Lock 30 + 200, two writes 30 each, 200, unlock 30 + 200.
    EXPECT_EQ(SleptMs(), 720u);
}

}  // namespace
