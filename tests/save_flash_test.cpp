// The parameter-block save and report on the stand-in: the three modes, the
// passes of the verified save, the flag-byte copies and the report lines.
#include "procedures/save_flash.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hub/inventory.h"
#include "hub/transport.h"
#include "sim_fixture.h"

namespace {

using simtest::SimFixture;

constexpr std::uint32_t kEFlash = 0x001000;
constexpr std::uint32_t kRam = 0x082000;
constexpr std::uint16_t kLength = 80;
constexpr std::size_t kChunks = 8;  // reads of a whole copy
constexpr std::uint8_t kExt = 34;   // ACC2 flag at 59, bias 60-65, gain 66-71

std::string Hex(const HidReport& r)
{
    return sim::HexBytes(r.data(), r.size());
}

// "SET ..." of a save request with the given area in bytes 3 to 10.
std::string SaveSet(std::uint32_t eflash = 0, std::uint32_t ram = 0, std::uint16_t length = 0)
{
    HidReport r = MakeRequest(HidCmdParameterBlock, ParameterBlockSaveToFlash);
    for (std::size_t i = 0; i < 3; ++i) {
        r[3 + i] = static_cast<std::uint8_t>(eflash >> (8 * i));
        r[6 + i] = static_cast<std::uint8_t>(ram >> (8 * i));
    }
    r[9] = static_cast<std::uint8_t>(length);
    r[10] = static_cast<std::uint8_t>(length >> 8);
    return "SET " + Hex(r);
}

std::string RegRequest(std::uint8_t command, std::uint32_t address, std::uint8_t count, std::uint8_t value = 0)
{
    HidReport r = MakeRequest(command, static_cast<std::uint8_t>(address));
    r[3] = static_cast<std::uint8_t>(address >> 8);
    r[4] = static_cast<std::uint8_t>(address >> 16);
    r[5] = count;
    r[6] = value;
    return "SET " + Hex(r);
}

std::string Write(std::uint32_t address, std::uint8_t value)
{
    return RegRequest(HidCmdWriteReg, address, 1, value);
}

void PutWords(std::vector<std::uint8_t>& block, std::size_t offset, std::int16_t x, std::int16_t y, std::int16_t z)
{
    const std::int16_t words[3] = {x, y, z};
    for (std::size_t i = 0; i < 3; ++i) {
        const auto u = static_cast<std::uint16_t>(words[i]);
        block[offset + 2 * i] = static_cast<std::uint8_t>(u & 0xFFu);
        block[offset + 2 * i + 1] = static_cast<std::uint8_t>(u >> 8);
    }
}

class SaveFlash : public SimFixture {
protected:
    void SetUp() override
    {
        SimFixture::SetUp();
        hub = ConnectHub();
        hub->paramEFlashAddr = gEFlashAddr = kEFlash;
        hub->paramBufferAddr = gBufferAddr = kRam;
        hub->paramLength = gParamLength = kLength;
        for (int slot : {SensorSlotAcc1, SensorSlotAcc2, SensorSlotAmbientLight, SensorSlotCompass, SensorSlotGyro})
            SensorList[slot] = SensorPresent;
        block.assign(kLength, 0);
        block[24] = 0x80;
        block[25] = 0x83;
        block[26] = kExt;
        block[11] = 0x01;
        block[25 + kExt] = 0x01;
    }

    void PokeBoth() { PokeCopies(block, block); }
    void PokeCopies(const std::vector<std::uint8_t>& flash, const std::vector<std::uint8_t>& ram)
    {
        hub->Poke(kEFlash, flash);
        hub->Poke(kRam, ram);
    }

    std::vector<std::string> SaveSets()
    {
        std::vector<std::string> sets;
        for (const std::string& s : Events({"SET"}))
            if (s.compare(0, 10, "SET 5a0201") == 0) sets.push_back(s);
        return sets;
    }
    std::vector<std::string> WriteSets()
    {
        std::vector<std::string> writes;
        for (const std::string& s : Events({"SET"}))
            if (s.compare(0, 8, "SET 5a06") == 0 || s.compare(0, 8, "SET 5a08") == 0) writes.push_back(s);
        return writes;
    }
    // Start addresses of the chunked reads, in order (one per chunk request).
    std::vector<std::string> ReadSets()
    {
        std::vector<std::string> reads;
        for (const std::string& s : Events({"SET"}))
            if (s.compare(0, 8, "SET 5a05") == 0) reads.push_back(s);
        return reads;
    }

    std::shared_ptr<sim::SimHub> hub;
    std::vector<std::uint8_t> block;
};

TEST_F(SaveFlash, EmptySlotReturnsOneAndSendsNothingInEveryMode)
{
    hFile[0] = kNoHidHandle;
    for (std::uint8_t mode : {SaveModeReportOnly, SaveModeVerified, SaveModeQuick})
        EXPECT_EQ(DoSaveDataToFlash(0, mode, ReportMaskAll, ReportSourceBuffer), 1) << int{mode};
    EXPECT_TRUE(Events().empty());
    EXPECT_EQ(ConsoleText(), "");
    EXPECT_EQ(LogText(), "");
}

TEST_F(SaveFlash, QuickSaveSendsOneRequestAndNeedsItsAnswer)
{
    // No verification, but a save that the hub did not answer, or whose
    // request never went out, is no save.
    PokeBoth();
    const struct {
        const char* name;
        int saveSilent;
        bool requestFails;
        bool savedBefore;   // an answered quick save comes first
        const char* reply;  // how the fetch starts
        std::uint8_t result;
        const char* text;
    } cases[] = {
        {"answered", 0, false, false, "GET 5a0201", 0, ""},
        {"no reply", -1, false, false, "GET FAIL", 1, "Save Fail!\r\n"},
        {"request failed", 0, true, false, "GET ", 1, "Save Fail!\r\n"},
        // The hub still holds the save before, so the fetch brings an answer
        // to a save request although this one never went out.
        {"request failed, the last save's answer held", 0, true, true, "GET 5a0201", 1, "Save Fail!\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Restart();
        PokeBoth();
        if (c.savedBefore) {
            ASSERT_EQ(DoSaveDataToFlash(0, SaveModeQuick, 0, ReportSourceFlash), 0);
            sim::TraceReset();
        }
        hub->saveSilent = c.saveSilent;
        if (c.requestFails) hub->faults.setFail = sim::FaultWindow::Always();
        EXPECT_EQ(DoSaveDataToFlash(0, SaveModeQuick, ReportMaskAll, ReportSourceFlash), c.result);
        const std::vector<std::string> events = Events();
        ASSERT_EQ(events.size(), 5u);
        EXPECT_EQ(events[0], (c.requestFails ? "SET FAIL " : "SET ") + SaveSet().substr(4));
        EXPECT_EQ(events[1], "SLEEP 50");
        EXPECT_EQ(events[2].rfind(c.reply, 0), 0u) << events[2];
        EXPECT_EQ(events[3], "SLEEP 20");
        EXPECT_EQ(events[4], "SLEEP 200");
        EXPECT_EQ(ConsoleText(), c.text);
        EXPECT_EQ(LogText(), c.text);
    }
}

TEST_F(SaveFlash, VerifiedSaveOnAnEchoingHub)
{
    std::vector<std::uint8_t> flash = block;
    flash[30] = 0x77;  // the eFlash copy is behind the RAM copy
    PokeCopies(flash, block);

    EXPECT_EQ(DoSaveDataToFlash(0, SaveModeVerified, 0, ReportSourceFlash), 0);
    EXPECT_EQ(hub->Peek(kEFlash, kLength), block);
    EXPECT_EQ(SaveSets(), std::vector<std::string>{SaveSet()});
    // Snapshot, save, eFlash copy, RAM copy, then the two flag bytes.
    const std::vector<std::string> reads = ReadSets();
    ASSERT_EQ(reads.size(), 3 * kChunks + 2);
    EXPECT_EQ(reads[0], RegRequest(HidCmdReadReg, kRam, 10));
    EXPECT_EQ(reads[kChunks], RegRequest(HidCmdReadReg, kEFlash, 10));
    EXPECT_EQ(reads[2 * kChunks], RegRequest(HidCmdReadReg, kRam, 10));
    EXPECT_EQ(reads[3 * kChunks], RegRequest(HidCmdReadReg, kEFlash + 11, 1));
    EXPECT_EQ(reads[3 * kChunks + 1], RegRequest(HidCmdReadReg, kEFlash + 25 + kExt, 1));
    EXPECT_EQ(WriteSets(), (std::vector<std::string>{Write(kRam + 11, 0x01), Write(kRam + 25 + kExt, 0x01)}));
    EXPECT_EQ(ConsoleText(), "");
    EXPECT_EQ(LogText(), "");

    // The waits of the pass around its request.
    const std::vector<std::string> events = Events();
    std::size_t at = 0;
    while (at < events.size() && events[at] != SaveSet()) ++at;
    ASSERT_LT(at + 5, events.size());
    EXPECT_EQ(events[at - 1], "SLEEP 50");
    EXPECT_EQ(events[at + 1], "SLEEP 50");
    EXPECT_EQ(events[at + 3], "SLEEP 20");
    EXPECT_EQ(events[at + 4], "SLEEP 200");
}

TEST_F(SaveFlash, VerifiedSaveThatNeverMatchesFailsAfterElevenPasses)
{
    PokeBoth();
    hub->saveStale = -1;
    EXPECT_EQ(DoSaveDataToFlash(0, SaveModeVerified, ReportMaskAll, ReportSourceFlash), 1);
    std::vector<std::string> expected(11, SaveSet(kEFlash, kRam, kLength));
    expected[0] = SaveSet();  // later requests carry the area of the reply before
    EXPECT_EQ(SaveSets(), expected);
    EXPECT_TRUE(WriteSets().empty());
    EXPECT_EQ(ConsoleText(), "Save Fail!\r\n");
    EXPECT_EQ(LogText(), "Save Fail!\r\n");
}

TEST_F(SaveFlash, FirstReplyNotFetchedRepeatsTheSnapshotAndTheRequest)
{
    PokeBoth();
    hub->saveSilent = 1;
    EXPECT_EQ(DoSaveDataToFlash(0, SaveModeVerified, 0, ReportSourceFlash), 0);
    EXPECT_EQ(ReplyTo(SaveSet()), "GET FAIL");
    EXPECT_EQ(SaveSets(), (std::vector<std::string>{SaveSet(), SaveSet()}));
    const std::vector<std::string> reads = ReadSets();
    ASSERT_GE(reads.size(), 2 * kChunks);
    for (std::size_t pass : {0u, 1u})
        for (std::size_t chunk = 0; chunk < kChunks; ++chunk)
            EXPECT_EQ(reads[kChunks * pass + chunk],
                      RegRequest(HidCmdReadReg, kRam + 10 * static_cast<std::uint32_t>(chunk), 10));
}

TEST_F(SaveFlash, ReplyWithOtherAreaFailsItsPassAndHandsNothingOn)
{
    // A reply that names another area fails its pass; the next pass takes
    // its snapshot of the learnt RAM copy again and sends the request as
    // before, never the reply's addresses.
    PokeBoth();
    hub->saveOther = 1;
    hub->saveOtherEFlashAddr = 0x002000;
    hub->saveOtherBufferAddr = 0x090000;
    hub->saveOtherLength = 4;
    EXPECT_EQ(DoSaveDataToFlash(0, SaveModeVerified, 0, ReportSourceFlash), 0);
    EXPECT_EQ(ReplyTo(SaveSet()), "GET " + SaveSet(0x002000, 0x090000, 4).substr(4));
    EXPECT_EQ(SaveSets(), (std::vector<std::string>{SaveSet(), SaveSet()}));
    const std::vector<std::string> reads = ReadSets();
    ASSERT_GE(reads.size(), kChunks + 1);
    EXPECT_EQ(reads[kChunks], RegRequest(HidCmdReadReg, kRam, 10));
}

TEST_F(SaveFlash, VerifiedPassNeedsEveryReadInFull)
{
    // A read-back that the hub did not deliver in full compares nothing: the
    // pass fails and the next one starts again with its snapshot. Reads of
    // one copy take kChunks gets; the save reply is the get after the
    // snapshot's.
    const struct {
        const char* name;
        int firstFailingGet;
        std::string request;  // the one whose reply fails first
    } cases[] = {
        {"snapshot", 1, RegRequest(HidCmdReadReg, kRam, 10)},
        {"save reply", static_cast<int>(kChunks) + 1, SaveSet()},
        {"eFlash copy", static_cast<int>(kChunks) + 2, RegRequest(HidCmdReadReg, kEFlash, 10)},
        {"RAM copy", 2 * static_cast<int>(kChunks) + 2, RegRequest(HidCmdReadReg, kRam, 10)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Restart();
        PokeBoth();
        // 101 failures in a row use up a read's whole budget.
        hub->faults.getFail = {c.firstFailingGet, 101};
        EXPECT_EQ(DoSaveDataToFlash(0, SaveModeVerified, 0, ReportSourceFlash), 0);
        EXPECT_EQ(SaveSets().size(), c.firstFailingGet == 1 ? 1u : 2u);
        EXPECT_EQ(ConsoleText(), "");
        // Up to the first failure every request has its get, so get n is
        // transfer 2n; it fails, after the request this row names.
        const std::vector<std::string> transfers = Events({"SET", "GET"});
        const auto get = 2 * static_cast<std::size_t>(c.firstFailingGet) - 1;
        ASSERT_LT(get, transfers.size());
        EXPECT_EQ(transfers[get - 1], c.request);
        EXPECT_EQ(transfers[get], "GET FAIL");
    }

    // A hub that stops answering for good: eleven failed passes.
    Restart();
    PokeBoth();
    hub->faults.getFail = sim::FaultWindow::From(static_cast<int>(kChunks) + 2);
    EXPECT_EQ(DoSaveDataToFlash(0, SaveModeVerified, 0, ReportSourceFlash), 1);
    EXPECT_TRUE(WriteSets().empty());
    EXPECT_EQ(ConsoleText(), "Save Fail!\r\n");
}

// On a block of zeros a zeroed area equals the snapshot: an eFlash copy
// that could not be read must still fail its pass, not verify it.
TEST_F(SaveFlash, UnreadEFlashCopyOfZerosIsNeverVerified)
{
    block.assign(kLength, 0);
    PokeBoth();
    // The reads of the eFlash copy (not its single flag bytes) are never
    // answered; the RAM copy reads as usual.
    const sim::SimHub::ReplyHandler read = hub->commands[HidCmdReadReg].reply;
    hub->SetCommand(HidCmdReadReg, {[](sim::SimHub& h, const HidReport& request) {
                                        const std::uint32_t address = sim::SimHub::AddressOf(request);
                                        if (address >= kEFlash && address < kEFlash + kLength && request[5] > 1)
                                            h.failFetches = 1;
                                    },
                                    read});
    EXPECT_EQ(DoSaveDataToFlash(0, SaveModeVerified, 0, ReportSourceFlash), 1);
    EXPECT_EQ(ReplyTo(RegRequest(HidCmdReadReg, kEFlash, 10)), "GET FAIL");
    EXPECT_EQ(SaveSets().size(), 11u);
    EXPECT_TRUE(WriteSets().empty());  // no pass verified: no flag-byte copy
    EXPECT_EQ(ConsoleText(), "Save Fail!\r\n");
    EXPECT_EQ(LogText(), "Save Fail!\r\n");
}

// A pass whose request failed saved nothing, even when the hub answers with
// the answer to the request before. Only an empty block has no snapshot
// read between the two requests, so the hub still holds the first one.
TEST_F(SaveFlash, PassWhoseRequestFailedIsNotVerified)
{
    hub->paramLength = gParamLength = 0;
    // The first reply echoes 2, 2; the second request fails.
    hub->faults.wrongEcho = {1, 1};
    hub->faults.setFail = {2, 1};
    EXPECT_EQ(DoSaveDataToFlash(0, SaveModeVerified, 0, ReportSourceFlash), 0);
    const std::string answer = "GET " + SaveSet(kEFlash, kRam, 0).substr(4);
    std::string offByOne = answer;
    offByOne[9] = '2';  // byte 2
    const std::string failed = "SET FAIL " + SaveSet().substr(4);
    EXPECT_EQ(Events({"SET", "GET"}),
              (std::vector<std::string>{SaveSet(), offByOne, failed, answer, SaveSet(), answer}));
}

TEST_F(SaveFlash, ReportNeedsBothCopiesInFull)
{
    // An area read that failed leaves no copy to report or to copy flag bytes
    // from: zeros never pass the bias limits.
    for (const int firstFailingGet : {1, static_cast<int>(kChunks) + 1}) {
        SCOPED_TRACE(firstFailingGet);
        Restart();
        PutWords(block, 26 + kExt, 100, 100, 100);
        PokeBoth();
        hub->faults.getFail = sim::FaultWindow::From(firstFailingGet);
        EXPECT_EQ(DoSaveDataToFlash(0, SaveModeReportOnly, ReportMaskAcc2, ReportSourceBuffer), 1);
        EXPECT_TRUE(WriteSets().empty());
        EXPECT_EQ(ConsoleText(), "Read Parameter Block Fail!\r\n");
        EXPECT_EQ(LogText(), "Read Parameter Block Fail!\r\n");
    }
}

// A reply whose bytes 1 and 2 are not 2 and 1 does not answer the save
// request: it fails its pass and is not taken into the request, so the save
// is repeated as it was and is still verified.
TEST_F(SaveFlash, ReplyThatIsNoSaveAnswerFailsItsPass)
{
    PokeBoth();
    const std::vector<std::array<std::uint8_t, 2>> bytes = {{2, 0}, {2, 2}, {0, 1}, {2, 0xFF}};
    for (const auto& pair : bytes) {
        sim::TraceReset();
        hub->saveRequests = 0;
        hub->saveOther = 1;
        hub->saveOtherBytes = pair;
        hub->saveOtherEFlashAddr = kEFlash;
        hub->saveOtherBufferAddr = kRam;
        hub->saveOtherLength = kLength;
        EXPECT_EQ(DoSaveDataToFlash(0, SaveModeVerified, 0, ReportSourceFlash), 0);
        EXPECT_EQ(SaveSets(), (std::vector<std::string>{SaveSet(), SaveSet()})) << int{pair[0]} << "," << int{pair[1]};
        // The copies are read (and compared) only in the second pass.
        EXPECT_EQ(ReadSets().size(), 4 * kChunks + 2);
    }
    // Never a save answer: eleven passes and "Save Fail!".
    sim::TraceReset();
    hub->saveRequests = 0;
    hub->saveOther = -1;
    hub->saveOtherBytes = {2, 0};
    EXPECT_EQ(DoSaveDataToFlash(0, SaveModeVerified, 0, ReportSourceFlash), 1);
    EXPECT_EQ(SaveSets(), std::vector<std::string>(11, SaveSet()));
    EXPECT_EQ(ConsoleText(), "Save Fail!\r\n");
}

TEST_F(SaveFlash, ReportOnlyCopiesTheFlagBytesIntoTheRamCopy)
{
    std::vector<std::uint8_t> flash = block;
    flash[11] = 0x5A;
    flash[25 + kExt] = 0xA5;
    PokeCopies(flash, block);
    EXPECT_EQ(DoSaveDataToFlash(0, SaveModeReportOnly, 0, ReportSourceBuffer), 0);
    EXPECT_TRUE(SaveSets().empty());
    EXPECT_EQ(WriteSets(), (std::vector<std::string>{Write(kRam + 11, 0x5A), Write(kRam + 25 + kExt, 0xA5)}));
    EXPECT_EQ(hub->Peek(kRam, kLength), flash);
    EXPECT_EQ(ConsoleText(), "");
}

TEST_F(SaveFlash, FlagByteAddressesFollowTheRamSignatureAndEachCopysExt)
{
    struct Case {
        const char* name;
        std::uint8_t flashExt, ramExt;
        bool ramSignature;
        std::uint32_t from, to;
    };
    const Case cases[] = {
        {"each side its own ext", 14, 20, true, kEFlash + 39, kRam + 45},
        {"no RAM signature: offset 25 on both sides", 14, 20, false, kEFlash + 25, kRam + 25},
    };
    for (const Case& c : cases) {
        Restart();
        std::vector<std::uint8_t> flash = block;
        std::vector<std::uint8_t> ram = block;
        flash[26] = c.flashExt;
        ram[26] = c.ramExt;
        if (!c.ramSignature) ram[24] = 0;
        flash[c.from - kEFlash] = 0x3C;
        PokeCopies(flash, ram);
        SensorList[SensorSlotAcc1] = SensorAbsent;
        EXPECT_EQ(DoSaveDataToFlash(0, SaveModeReportOnly, 0, ReportSourceBuffer), 0);
        EXPECT_EQ(ReadSets().back(), RegRequest(HidCmdReadReg, c.from, 1)) << c.name;
        EXPECT_EQ(WriteSets(), std::vector<std::string>{Write(c.to, 0x3C)}) << c.name;
    }
}

// A flag byte that cannot be read from eFlash is not written, and the copy
// fails: the RAM copy would go to flash without its flag.
TEST_F(SaveFlash, UnreadableFlagByteIsNotWritten)
{
    PokeBoth();
    const sim::SimHub::ReplyHandler read = hub->commands[HidCmdReadReg].reply;
    hub->commands[HidCmdReadReg].reply = [read](sim::SimHub& h, const HidReport& request, HidReport& reply) {
        read(h, request, reply);
        if (sim::SimHub::AddressOf(request) == kEFlash + 11 && request[5] == 1) reply[5] = 0;  // no echo
    };
    EXPECT_EQ(DoSaveDataToFlash(0, SaveModeReportOnly, ReportMaskAll, ReportSourceBuffer), 1);
    EXPECT_EQ(WriteSets(), std::vector<std::string>{Write(kRam + 25 + kExt, 0x01)});
    EXPECT_EQ(ConsoleText(), "Copy Flag Byte Fail!\r\n");

    // A flag write that failed: the same.
    Restart();
    PokeBoth();
    const std::size_t setsBeforeWrites = 2 * kChunks + 1;  // both copies and the ACC1 flag read
    hub->faults.setFail = {static_cast<int>(setsBeforeWrites) + 1, 1};
    EXPECT_EQ(DoSaveDataToFlash(0, SaveModeReportOnly, 0, ReportSourceBuffer), 1);
    const std::vector<std::string> sets = Events({"SET"});
    ASSERT_GT(sets.size(), setsBeforeWrites);
    EXPECT_EQ(sets[setsBeforeWrites], "SET FAIL " + Write(kRam + 11, 0x01).substr(4));
    EXPECT_EQ(ConsoleText(), "Copy Flag Byte Fail!\r\n");
}

// Flag-byte copies whose source or target lies outside the learnt area are
// skipped.
TEST_F(SaveFlash, FlagByteCopiesOutsideTheAreaAreSkipped)
{
    struct Case {
        const char* name;
        std::uint16_t length;
        std::uint8_t flashExtHigh, ramExtHigh;
        std::vector<std::uint32_t> writes;
    };
    const Case cases[] = {
        {"block of 20 bytes: ACC2 flag at 25 lies outside", 20, 0, 0, {kRam + 11}},
        {"block of 11 bytes: both lie outside", 11, 0, 0, {}},
        {"RAM ext far past the block", kLength, 0, 0x10, {kRam + 11}},
        // Ext 34 + 256: the ACC2 flag is the first byte past the block, in
        // the RAM copy, or in the eFlash copy while the RAM target lies inside.
        {"RAM flag target just past the block", 25 + kExt + 256, 0, 0x01, {kRam + 11}},
        {"eFlash flag source just past the block", 25 + kExt + 256, 0x01, 0, {kRam + 11}},
    };
    for (const Case& c : cases) {
        Restart();
        std::vector<std::uint8_t> flash = block;
        std::vector<std::uint8_t> ram = block;
        flash[27] = c.flashExtHigh;
        ram[27] = c.ramExtHigh;
        PokeCopies(flash, ram);
        hub->paramLength = gParamLength = c.length;
        EXPECT_EQ(DoSaveDataToFlash(0, SaveModeReportOnly, 0, ReportSourceBuffer), 0);
        std::vector<std::string> expected;
        for (std::uint32_t a : c.writes) expected.push_back(Write(a, 0x01));
        EXPECT_EQ(WriteSets(), expected) << c.name;
        // A skipped copy does not read its eFlash byte either: after both
        // copies, only the ACC1 flag (offset 11 on both sides) is read.
        const std::vector<std::string> reads = ReadSets();
        const std::size_t chunks = 2 * ((c.length + 9u) / 10u);
        ASSERT_GE(reads.size(), chunks) << c.name;
        std::vector<std::string> flagReads;
        for (std::uint32_t a : c.writes) flagReads.push_back(RegRequest(HidCmdReadReg, a - kRam + kEFlash, 1));
        EXPECT_EQ(std::vector<std::string>(reads.begin() + static_cast<std::ptrdiff_t>(chunks), reads.end()), flagReads)
            << c.name;
    }
}

TEST_F(SaveFlash, ReportLinesInTheirOrder)
{
    PutWords(block, 12, 3, -2, 5);          // ACC1 bias
    PutWords(block, 18, 1000, -1, 2);       // gyrometer bias
    PutWords(block, 38, 256, 512, -256);    // ACC1 gain
    PutWords(block, 52, 120, -80, 40);      // compass bias (ACC2 present)
    PutWords(block, 26 + kExt, -4, 6, -3);  // ACC2 bias
    PutWords(block, 32 + kExt, 256, 256, 128);
    block[4] = 0xE8;  // light gain base 1000
    block[5] = 0x03;
    block[6] = 0x20;  // light gain value 800
    block[7] = 0x03;
    PokeBoth();
    ISNeedACC6PhaseCali = 0x11;
    ColorSensorFlag = 1;
    ColorTransmittance[0] = 45.5f;
    ColorTransmittance[1] = 50.0f;
    ColorTransmittance[2] = 12.345f;

    EXPECT_EQ(DoSaveDataToFlash(0, SaveModeReportOnly, ReportMaskAll, ReportSourceBuffer), 0);
    const std::string expected =
        "Accel Biases : 0.011719,-0.007812,0.019531\r\n"
        "Accel Gain: 1.000000,2.000000,-1.000000\r\n"
        "Gyro  Biases : 223.809998,-0.223810,0.447620\r\n"
        "Comp  Biases : 0.468750,-0.312500,0.156250\r\n"
        "Accel2 Biases: -0.015625,0.023438,-0.011719\r\n"
        "Accel2 Gain: 1.000000,1.000000,0.500000\r\n"
        "Light Transmittance=80.00%\r\n"
        "Color_R Transmittance=45.50%\r\n"
        "Color_G Transmittance=50.00%\r\n"
        "Color_B Transmittance=12.35%\r\n";
    EXPECT_EQ(ConsoleText(), expected);
    EXPECT_EQ(LogText(), expected);
}

TEST_F(SaveFlash, MaskSensorsAndFieldsDecideWhichLinesAppear)
{
    struct Case {
        const char* name;
        std::uint8_t mask;
        void (*prepare)(std::vector<std::uint8_t>& block);
        std::string expected;
    };
    const Case cases[] = {
        {"ACC2 only", ReportMaskAcc2, nullptr, "Accel2 Biases: 0.000000,0.000000,0.000000\r\n"},
        {"bits 0x40 and 0x80 select nothing", 0xC0, nullptr, ""},
        {"gyrometer variant: no gyrometer line", ReportMaskGyro,
         [](std::vector<std::uint8_t>&) { SensorList[SensorSlotGyro] = GyroVariant; }, ""},
        {"light base 0", ReportMaskLight, [](std::vector<std::uint8_t>& b) { b[6] = 50; },
         "Light Transmittance=0.00%\r\n"},
        {"one colour transmittance 0: no colour line", ReportMaskColor,
         [](std::vector<std::uint8_t>&) {
             ColorSensorFlag = 1;
             ColorTransmittance[0] = ColorTransmittance[2] = 40.0f;
         },
         ""},
        {"colour R transmittance 0: no colour line", ReportMaskColor,
         [](std::vector<std::uint8_t>&) {
             ColorSensorFlag = 1;
             ColorTransmittance[1] = ColorTransmittance[2] = 40.0f;
         },
         ""},
        {"no compass: no compass line", ReportMaskCompass,
         [](std::vector<std::uint8_t>&) { SensorList[SensorSlotCompass] = SensorAbsent; }, ""},
        {"no signature: no compass line, ACC2 bias at 26", ReportMaskCompass | ReportMaskAcc2,
         [](std::vector<std::uint8_t>& b) {
             b[24] = 0x83;  // a valid pair swapped
             b[25] = 0x80;
             PutWords(b, 26, 32, 0, 0);
         },
         "Accel2 Biases: 0.125000,0.000000,0.000000\r\n"},
        {"signature with ext 0: no compass line", ReportMaskCompass, [](std::vector<std::uint8_t>& b) { b[26] = 0; },
         ""},
        {"compass without ACC2 at 28", ReportMaskCompass | ReportMaskAcc2,
         [](std::vector<std::uint8_t>& b) {
             SensorList[SensorSlotAcc2] = SensorAbsent;
             PutWords(b, 28, 0, 0, -512);
         },
         "Comp  Biases : 0.000000,0.000000,-2.000000\r\n"},
    };
    for (const Case& c : cases) {
        Restart();
        if (c.prepare != nullptr) c.prepare(block);
        PokeBoth();
        EXPECT_EQ(DoSaveDataToFlash(0, SaveModeReportOnly, c.mask, ReportSourceBuffer), 0) << c.name;
        EXPECT_EQ(ConsoleText(), c.expected) << c.name;
    }
}

TEST_F(SaveFlash, ReportReadsTheChosenCopy)
{
    std::vector<std::uint8_t> flash = block;
    PutWords(flash, 12, 0, 0, 256);
    PutWords(block, 12, 0, 0, -256);
    PokeCopies(flash, block);
    MaxACC1Bias = 2.0f;
    EXPECT_EQ(DoSaveDataToFlash(0, SaveModeReportOnly, ReportMaskAcc1, ReportSourceFlash), 0);
    EXPECT_EQ(DoSaveDataToFlash(0, SaveModeReportOnly, ReportMaskAcc1, ReportSourceBuffer), 0);
    EXPECT_EQ(ConsoleText(),
              "Accel Biases : 0.000000,0.000000,1.000000\r\n"
              "Accel Biases : 0.000000,0.000000,-1.000000\r\n");
}

TEST_F(SaveFlash, BiasLimits)
{
    struct Case {
        std::int16_t x, y, z;
        float limit;
        std::string line;  // the bias line
        bool error;
    };
    const Case cases[] = {
        {38, 0, 0, 0.15f, "0.148438,0.000000,0.000000", false},  {39, 0, 0, 0.15f, "0.152344,0.000000,0.000000", true},
        {0, 0, -39, 0.15f, "0.000000,0.000000,-0.152344", true}, {0, 63, 0, 0.25f, "0.000000,0.246094,0.000000", false},
        {0, 64, 0, 0.25f, "0.000000,0.250000,0.000000", true},   {0, 0, 0, 0.0f, "0.000000,0.000000,0.000000", true},
        {1, 1, 1, -0.05f, "0.003906,0.003906,0.003906", true},
    };
    for (const Case& c : cases) {
        Restart();
        PutWords(block, 12, c.x, c.y, c.z);
        PokeBoth();
        MaxACC1Bias = c.limit;
        char limit[32];
        std::snprintf(limit, sizeof limit, "%1.2f", static_cast<double>(c.limit));
        EXPECT_EQ(DoSaveDataToFlash(0, SaveModeReportOnly, ReportMaskAcc1, ReportSourceBuffer), c.error ? 1 : 0);
        std::string console = "Accel Biases : " + c.line + "\r\n";
        std::string log = console;
        if (c.error) {
            console += std::string("Error!! Accel1 Biases can't more than +/-") + limit + " .\r\n";
            log += std::string("Error, Accel1 Biases can't more than +/-") + limit + " .\r\n";
        }
        EXPECT_EQ(ConsoleText(), console) << c.line << " " << limit;
        EXPECT_EQ(LogText(), log) << c.line << " " << limit;
    }
}

TEST_F(SaveFlash, BothAccelerometersOutGiveTwoWithEachLineOnce)
{
    PutWords(block, 12, 100, -100, 100);
    PutWords(block, 26 + kExt, -200, 200, 300);
    PokeBoth();
    ISNeedACC6PhaseCali = 0x10;  // ACC2 gain line, no ACC1 gain line
    EXPECT_EQ(DoSaveDataToFlash(0, SaveModeReportOnly, ReportMaskAcc1 | ReportMaskAcc2, ReportSourceBuffer), 2);
    EXPECT_EQ(ConsoleText(),
              "Accel Biases : 0.390625,-0.390625,0.390625\r\n"
              "Error!! Accel1 Biases can't more than +/-0.15 .\r\n"
              "Accel2 Biases: -0.781250,0.781250,1.171875\r\n"
              "Error!! Accel2 Biases can't more than +/-0.15 .\r\n"
              "Accel2 Gain: 0.000000,0.000000,0.000000\r\n");
    EXPECT_EQ(LogText(),
              "Accel Biases : 0.390625,-0.390625,0.390625\r\n"
              "Error, Accel1 Biases can't more than +/-0.15 .\r\n"
              "Accel2 Biases: -0.781250,0.781250,1.171875\r\n"
              "Error, Accel2 Biases can't more than +/-0.15 .\r\n"
              "Accel2 Gain: 0.000000,0.000000,0.000000\r\n");
}

// The report never reads past the 1024 bytes it copied, whatever the length
// and ext say; a bias beyond them was never read and fails its check.
TEST_F(SaveFlash, ReportReadsAtMostTheFirst1024Bytes)
{
    constexpr std::uint16_t kLong = 1100;
    hub->paramLength = gParamLength = kLong;
    block.assign(kLong, 0);
    block[24] = 0x80;
    block[25] = 0x83;
    block[26] = 0xE8;  // ext 1000: ACC2 bias at 1026 to 1031
    block[27] = 0x03;
    PutWords(block, 1026, 256, 256, 256);
    PokeBoth();
    EXPECT_EQ(DoSaveDataToFlash(0, SaveModeReportOnly, ReportMaskAcc2, ReportSourceBuffer), 1);
    EXPECT_EQ(ConsoleText(), "Accel2 Biases: not in the parameter block\r\n");
}

// A bias whose six bytes do not all lie in the block was not read in full:
// it fails its check, whatever the bytes that were read.
TEST_F(SaveFlash, BiasMustLieWhollyInTheBlock)
{
    struct Case {
        const char* name;
        std::uint16_t length;
        std::uint8_t mask;
        std::string text;
        std::uint8_t result;
    };
    const Case cases[] = {
        // ext 34: the ACC2 bias at 60 to 65
        {"ACC2 bias across the block's end", 62, ReportMaskAcc2, "Accel2 Biases: not in the parameter block\r\n", 1},
        {"ACC2 bias up to the block's end", 66, ReportMaskAcc2, "Accel2 Biases: 0.011719,-0.007812,0.019531\r\n", 0},
        {"ACC1 bias across the block's end", 14, ReportMaskAcc1, "Accel Biases : not in the parameter block\r\n", 1},
    };
    for (const Case& c : cases) {
        Restart();
        PutWords(block, 12, 3, -2, 5);
        PutWords(block, 26 + kExt, 3, -2, 5);
        PokeBoth();
        hub->paramLength = gParamLength = c.length;
        EXPECT_EQ(DoSaveDataToFlash(0, SaveModeReportOnly, c.mask, ReportSourceBuffer), c.result) << c.name;
        EXPECT_EQ(ConsoleText(), c.text) << c.name;
    }
}

TEST_F(SaveFlash, VerifiedSaveReportsFromTheEFlashCopy)
{
    PutWords(block, 12, 39, 0, 0);
    PokeBoth();
    EXPECT_EQ(DoSaveDataToFlash(0, SaveModeVerified, ReportMaskAcc1, ReportSourceFlash), 1);
    EXPECT_EQ(ConsoleText(),
              "Accel Biases : 0.152344,0.000000,0.000000\r\n"
              "Error!! Accel1 Biases can't more than +/-0.15 .\r\n");
}

TEST_F(SaveFlash, ZeroLengthVerifiesAtTheFirstReply)
{
    // Nothing to read or write; the ACC1 bias lies outside the block, so its
    // check fails rather than pass on zeros.
    hub->paramLength = gParamLength = 0;
    EXPECT_EQ(DoSaveDataToFlash(0, SaveModeVerified, ReportMaskAcc1, ReportSourceFlash), 1);
    EXPECT_EQ(SaveSets(), std::vector<std::string>{SaveSet()});
    EXPECT_TRUE(ReadSets().empty());
    EXPECT_TRUE(WriteSets().empty());
    EXPECT_EQ(ConsoleText(), "Accel Biases : not in the parameter block\r\n");
}

}  // namespace
