// Byte-wise hub memory access and the operations built on it.
#include "hub/hub_memory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hub/transport.h"
#include "sim_fixture.h"

namespace {

using sim::FaultWindow;
using simtest::SimFixture;

// The hex of a read request: command, address (low first) and count.
std::string ReadRequest(std::uint8_t command, std::uint32_t address, std::uint8_t count)
{
    HidReport r = MakeRequest(command, static_cast<std::uint8_t>(address));
    r[3] = static_cast<std::uint8_t>(address >> 8);
    r[4] = static_cast<std::uint8_t>(address >> 16);
    r[5] = count;
    return "SET " + sim::HexBytes(r.data(), r.size());
}

class HubMemory : public SimFixture {
protected:
    void SetUp() override
    {
        SimFixture::SetUp();
        hub = ConnectHub();
    }
    std::vector<std::string> Sets() { return Events({"SET"}); }
    std::shared_ptr<sim::SimHub> hub;
};

TEST_F(HubMemory, ReadByteRequestAndWaits)
{
    hub->Poke(0xF01234, 0xAB);
    hub->Poke(0x081234, 0xCD);
    std::uint8_t out = 0;
    ASSERT_TRUE(WinDebugReadRegByte(0, 0xF0, 0x12, 0x34, &out));
    EXPECT_EQ(out, 0xAB);
    EXPECT_EQ(Events(), (std::vector<std::string>{"SET 5a073412f0010000000000000000000000", "SLEEP 5",
                                                  "GET 5a073412f001ab00000000000000000000", "SLEEP 5"}));
    sim::TraceReset();
    ASSERT_TRUE(WinDebugReadRegByte(0, 0x08, 0x12, 0x34, &out));
    EXPECT_EQ(out, 0xCD);
    EXPECT_EQ(Sets(), (std::vector<std::string>{"SET 5a05341208010000000000000000000000"}));
}

TEST_F(HubMemory, ReplyForAnotherCommandFailsTheAttempt)
{
    // A reply whose byte 1 is not the read command answers no read, even
    // with a good address echo: the attempt fails, and the next one sends
    // the read command again (never the reply's byte: 0x09 is no command,
    // and 0x06 would write).
    hub->Poke(0x000010, 0x42);
    for (const std::uint8_t replyCommand : {std::uint8_t{0x09}, std::uint8_t{0x06}}) {
        SCOPED_TRACE(static_cast<int>(replyCommand));
        sim::TraceReset();
        hub->getCount = 0;
        hub->faults.replyCommand = FaultWindow::FirstN(1);
        hub->faults.replyCommandValue = replyCommand;
        std::uint8_t out = 0;
        ASSERT_TRUE(WinDebugReadRegByte(0, 0, 0, 0x10, &out));
        EXPECT_EQ(out, 0x42);
        EXPECT_EQ(Sets(), (std::vector<std::string>{ReadRequest(0x05, 0x10, 1), ReadRequest(0x05, 0x10, 1)}));
    }

    // A hub that always answers with another command byte: 101 reads, all
    // with the read command, then false.
    sim::TraceReset();
    hub->faults.replyCommand = FaultWindow::Always();
    std::uint8_t out = 0;
    EXPECT_FALSE(WinDebugReadRegByte(0, 0, 0, 0x10, &out));
    const std::vector<std::string> sets = Sets();
    ASSERT_EQ(sets.size(), 101u);
    for (const std::string& set : sets) EXPECT_EQ(set, ReadRequest(0x05, 0x10, 1));
    EXPECT_EQ(out, 0);
}

TEST_F(HubMemory, ReplyForAnotherCommandRepeatsTheChunk)
{
    // The first chunk's reply carries command byte 0x09: that chunk is read
    // again, and the next chunk goes out with the read command.
    hub->Poke(0x001000, std::vector<std::uint8_t>(12, 0x5C));
    hub->faults.replyCommand = FaultWindow::FirstN(1);
    std::vector<std::uint8_t> data(12, 0);
    EXPECT_TRUE(WinDebugReadRegByteCunt(0, 0x001000, 12, data.data()));
    EXPECT_EQ(Sets(), (std::vector<std::string>{ReadRequest(0x05, 0x001000, 10), ReadRequest(0x05, 0x001000, 10),
                                                ReadRequest(0x05, 0x00100A, 2)}));
    EXPECT_EQ(data, std::vector<std::uint8_t>(12, 0x5C));
}

TEST_F(HubMemory, EveryEchoByteIsChecked)
{
    // A reply whose echo of the address (bytes 2 to 4) or of the count
    // (byte 5) is off answers another read: the attempt is made again.
    hub->Poke(0x081234, 0x42);
    for (const std::size_t byte : {2u, 3u, 4u, 5u}) {
        SCOPED_TRACE(byte);
        sim::TraceReset();
        hub->getCount = 0;
        hub->faults.wrongEcho = FaultWindow::FirstN(1);
        hub->faults.wrongEchoByte = byte;
        std::uint8_t out = 0;
        ASSERT_TRUE(WinDebugReadRegByte(0, 0x08, 0x12, 0x34, &out));
        EXPECT_EQ(out, 0x42);
        EXPECT_EQ(Sets(), std::vector<std::string>(2, ReadRequest(0x05, 0x081234, 1)));
    }
}

TEST_F(HubMemory, SilentHubGetsExactly101Attempts)
{
    hub->faults.getFail = FaultWindow::Always();
    std::uint8_t out = 0x77;
    EXPECT_FALSE(WinDebugReadRegByte(0, 0x08, 0x12, 0x00, &out));
    EXPECT_EQ(out, 0x77);
    EXPECT_EQ(Sets().size(), 101u);
    // 5 ms after each request that went out, none after a failed fetch.
    EXPECT_EQ(Events({"SLEEP"}), std::vector<std::string>(101, "SLEEP 5"));

    // A request that fails is not followed by a wait or a fetch.
    sim::TraceReset();
    hub->faults.getFail = FaultWindow::Off();
    hub->faults.setFail = FaultWindow::Always();
    EXPECT_FALSE(WinDebugReadRegByteCunt(0, 0x081200, 3, &out));
    EXPECT_EQ(Events({"SET"}).size(), 101u);
    EXPECT_TRUE(Events({"GET", "SLEEP"}).empty());
}

TEST_F(HubMemory, ChunksOfTen)
{
    std::vector<std::uint8_t> bytes(25);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i + 1);
    hub->Poke(0x082000, bytes);
    std::vector<std::uint8_t> data(26, 0xEE);
    ASSERT_TRUE(WinDebugReadRegByteCunt(0, 0x082000, 25, data.data()));
    EXPECT_EQ(std::vector<std::uint8_t>(data.begin(), data.begin() + 25), bytes);
    EXPECT_EQ(data[25], 0xEE);
    EXPECT_EQ(Sets(), (std::vector<std::string>{ReadRequest(0x05, 0x082000, 10), ReadRequest(0x05, 0x08200A, 10),
                                                ReadRequest(0x05, 0x082014, 5)}));
}

TEST_F(HubMemory, OneFailureBudgetForAllChunks)
{
    struct Case {
        int secondChunkFailures;
        bool ok;
    } cases[] = {{41, false}, {40, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.secondChunkFailures);
        Restart();
        hub->Poke(0x001000, std::vector<std::uint8_t>(20, 0x5C));
        hub->faults.getFail = FaultWindow::FirstN(60);        // chunk 1: 60 failures, then a reply
        hub->faults.wrongEcho = {62, c.secondChunkFailures};  // chunk 2: bad echoes
        std::vector<std::uint8_t> data(20, 0);
        EXPECT_EQ(WinDebugReadRegByteCunt(0, 0x001000, 20, data.data()), c.ok);
        EXPECT_EQ(static_cast<int>(Sets().size()), 61 + c.secondChunkFailures + (c.ok ? 1 : 0));
        // The first chunk is delivered either way; the second only on success.
        EXPECT_EQ(data[9], 0x5C);
        EXPECT_EQ(data[10], c.ok ? 0x5C : 0x00);
    }
}

TEST_F(HubMemory, CommandIsChosenOnceFromTheStartAddress)
{
    hub->Poke(0xEFFFFB, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15});
    std::vector<std::uint8_t> data(15, 0);
    ASSERT_TRUE(WinDebugReadRegByteCunt(0, 0xEFFFFB, 15, data.data()));
    EXPECT_EQ(data[14], 15);
    EXPECT_EQ(Sets(), (std::vector<std::string>{ReadRequest(0x05, 0xEFFFFB, 10), ReadRequest(0x05, 0xF00005, 5)}));

    sim::TraceReset();
    ASSERT_TRUE(WinDebugReadRegByteCunt(0, 0xF00000, 1, data.data()));
    EXPECT_EQ(Sets(), (std::vector<std::string>{ReadRequest(0x07, 0xF00000, 1)}));
}

TEST_F(HubMemory, EmptySlotAndEmptyCounts)
{
    std::uint8_t data[4] = {};
    EXPECT_TRUE(WinDebugReadRegByteCunt(0, 0x1000, 0, data));
    EXPECT_TRUE(WinDebugReadRegByteCunt(0, 0x1000, -1, data));
    hFile[0] = kNoHidHandle;
    EXPECT_TRUE(WinDebugReadRegByteCunt(0, 0x1000, 0, data));
    EXPECT_FALSE(WinDebugReadRegByteCunt(0, 0x1000, 4, data));
    EXPECT_FALSE(WinDebugReadRegByte(0, 0, 0x10, 0, data));
    EXPECT_FALSE(WinDebugSetRegByte(0, 0, 0x10, 0, 1));
    EXPECT_FALSE(WinDebugReadRegByte(kHubSlots, 0, 0x10, 0, data));  // no such slot
    EXPECT_TRUE(Events().empty());
}

TEST_F(HubMemory, ASlotEmptiedDuringTheReadEndsIt)
{
    // The hub goes away while it is asked: its first reply is bad and the slot is empty after it.
    hub->SetCommand(HidCmdReadReg,
                    {nullptr, [](sim::SimHub&, const HidReport&, HidReport&) { hFile[0] = kNoHidHandle; }});
    std::uint8_t data[4] = {};
    EXPECT_FALSE(WinDebugReadRegByte(0, 0, 0, 0, data));
    EXPECT_EQ(Sets().size(), 1u);
    hFile[0] = sim::Port().Open(0);
    sim::TraceReset();
    EXPECT_FALSE(WinDebugReadRegByteCunt(0, 0, 4, data));
    EXPECT_EQ(Sets().size(), 1u);
}

TEST_F(HubMemory, SetRegByte)
{
    EXPECT_TRUE(WinDebugSetRegByte(0, 0xF0, 0x00, 0x01, 0x7E));
    EXPECT_TRUE(WinDebugSetRegByte(0, 0x08, 0x20, 0x00, 0x01));
    EXPECT_EQ(Events(), (std::vector<std::string>{"SET 5a080100f0017e00000000000000000000",
                                                  "SET 5a060020080101" + std::string(20, '0')}));
    EXPECT_EQ(hub->Peek(0xF00001), 0x7E);
    EXPECT_EQ(hub->Peek(0x082000), 0x01);
    hub->faults.setFail = FaultWindow::Always();
    EXPECT_FALSE(WinDebugSetRegByte(0, 0x08, 0x20, 0x00, 0x02));
    EXPECT_EQ(hub->Peek(0x082000), 0x01);
}

TEST_F(HubMemory, OemFirmwareVersionIsPrintedRaw)
{
    hub->PokeText(RegOEMFWVersion, "V1.23");
    GetOEMFWVersion();
    const std::string expected = "OEM FW Version: V1.23" + std::string(27, '\0') + "\r\n";
    EXPECT_EQ(ConsoleText(), expected);
    EXPECT_EQ(LogText(), expected);
    EXPECT_EQ(Sets(), (std::vector<std::string>{ReadRequest(0x05, 0x003100, 10), ReadRequest(0x05, 0x00310A, 10),
                                                ReadRequest(0x05, 0x003114, 10), ReadRequest(0x05, 0x00311E, 2)}));
}

TEST_F(HubMemory, OemFirmwareVersionBytesPassUnchanged)
{
    // Line-end bytes from the hub are data: 32 bytes out, then the tool's own CR LF.
    std::string version = "V1\n2\r\n3";
    version.resize(31, 'x');
    version += '\r';
    hub->PokeText(RegOEMFWVersion, version);
    GetOEMFWVersion();
    const std::string expected = "OEM FW Version: " + version + "\r\n";
    EXPECT_EQ(ConsoleText(), expected);
    EXPECT_EQ(LogText(), expected);
}

TEST_F(HubMemory, OemFirmwareVersionOfASilentHubIsNoVersion)
{
    // Zeros that the hub never sent are not printed as its version.
    hub->PokeText(RegOEMFWVersion, "V1.23");
    hub->faults.silent = FaultWindow::Always();
    EXPECT_FALSE(GetOEMFWVersion());
    EXPECT_EQ(ConsoleText(), "Get OEM FW Version Fail!\r\n");
    EXPECT_EQ(LogText(), "Get OEM FW Version Fail!\r\n");
}

TEST_F(HubMemory, CompareFlashWithBuffer)
{
    gEFlashAddr = 0x001000;
    gBufferAddr = 0x082000;
    gParamLength = 300;
    const std::vector<std::uint8_t> block(300, 0x31);
    hub->Poke(gEFlashAddr, block);
    hub->Poke(gBufferAddr, block);
    EXPECT_FALSE(CompareParameterWithFlashAndBuffer(0));
    EXPECT_EQ(Sets().size(), 60u);
    hub->Poke(gBufferAddr + 299, 0x32);
    EXPECT_TRUE(CompareParameterWithFlashAndBuffer(0));
    hub->Poke(gBufferAddr + 300, 0x33);  // past the block: not compared
    hub->Poke(gBufferAddr + 299, 0x31);
    EXPECT_FALSE(CompareParameterWithFlashAndBuffer(0));
    gParamLength = 0;
    sim::TraceReset();
    EXPECT_FALSE(CompareParameterWithFlashAndBuffer(0));
    EXPECT_TRUE(Events().empty());

    // Copies that could not be read in full are not known to be equal.
    gParamLength = 300;
    hub->faults.getFail = FaultWindow::Always();
    EXPECT_TRUE(CompareParameterWithFlashAndBuffer(0));
}

class PSensorPoll : public HubMemory {
protected:
    // The reading appears in RegPSensorData once the hub has been asked for it `atRead` times.
    void ReadingAt(int atRead, std::vector<std::uint8_t> bytes)
    {
        hub->SetCommand(HidCmdReadReg, {[atRead, bytes, reads = 0](sim::SimHub& h, const HidReport&) mutable {
                                            if (++reads == atRead) h.Poke(RegPSensorData, bytes);
                                        },
                                        &sim::SimHub::OnReadRegReply});
    }
};

TEST_F(PSensorPoll, CountsDownOnTheConsoleOnly)
{
    pTime = 3;
    EXPECT_FALSE(CheckPSensorValue(0));
    EXPECT_EQ(ConsoleText(), "\rPSensor Test   : 2 \rPSensor Test   : 1 \rPSensor Test   : 0 \rPSensor Test   : ");
    EXPECT_EQ(LogText(), "");
    EXPECT_EQ(Events({"SLEEP"}), (std::vector<std::string>{"SLEEP 5", "SLEEP 5", "SLEEP 1000", "SLEEP 5", "SLEEP 5",
                                                           "SLEEP 1000", "SLEEP 5", "SLEEP 5", "SLEEP 1000"}));
    EXPECT_EQ(Sets(), std::vector<std::string>(3, ReadRequest(0x05, RegPSensorData, 4)));
}

TEST_F(PSensorPoll, PassesAtTheSecondPoll)
{
    pTime = 3;
    ReadingAt(2, {0x10, 0x00, 0x00, 0x20});
    EXPECT_TRUE(CheckPSensorValue(0));
    EXPECT_EQ(ConsoleText(), "\rPSensor Test   : 2 \rPSensor Test   : ");
    EXPECT_EQ(sim::VirtualNow(), 1020u);
}

TEST_F(PSensorPoll, BothReadingsMustBeNonzero)
{
    struct Case {
        std::vector<std::uint8_t> bytes;
        bool pass;
    } cases[] = {
        {{0x00, 0x01, 0x00, 0x00}, false}, {{0x00, 0x01, 0x02, 0x00}, true}, {{0x00, 0x00, 0x00, 0x01}, false}};
    for (const Case& c : cases) {
        Restart();
        pTime = 1;
        hub->Poke(RegPSensorData, c.bytes);
        EXPECT_EQ(CheckPSensorValue(0), c.pass);
    }
}

TEST_F(PSensorPoll, ZeroAndNegativeTime)
{
    pTime = 0;
    EXPECT_TRUE(CheckPSensorValue(0));
    EXPECT_EQ(ConsoleText(), "");
    pTime = -1;
    EXPECT_FALSE(CheckPSensorValue(0));
    EXPECT_EQ(ConsoleText(), "\rPSensor Test   : ");
    EXPECT_TRUE(Events().empty());
}

TEST_F(PSensorPoll, AFailedPollKeepsTheEarlierBytes)
{
    // The first poll delivers only one reading; the second poll's read fails: still no pass.
    pTime = 2;
    hub->Poke(RegPSensorData, {0x01, 0x00, 0x00, 0x00});
    hub->faults.getFail = FaultWindow::From(2);
    EXPECT_FALSE(CheckPSensorValue(0));
    EXPECT_EQ(Events({"GET FAIL"}).size(), 101u);  // every attempt of the second poll
}

}  // namespace
