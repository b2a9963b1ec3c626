// The save step on the stand-in: bias limits, the report mask, "/NS" and
// "/QS", the angle re-check, the save gate inside the step, the closing line
// and the total time.
#include "app/save_step.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "app/run_frame.h"
#include "hub/inventory.h"
#include "hub/transport.h"
#include "procedures/save_flash.h"
#include "sim_fixture.h"

namespace {

using simtest::SimFixture;

constexpr std::uint32_t kEFlash = 0x001000;
constexpr std::uint32_t kRam = 0x082000;
constexpr std::uint16_t kLength = 80;
constexpr std::uint8_t kExt = 34;

const std::string kSaved = "--== Save The Result To Flash ==--\r\n";
const std::string kNotSaved = "--== No Data Save To Flash ==--\r\n";
const std::string kTime0 = "(Total Time: 0 s)\r\n";

// Report lines of the block below, by mask bit.
const std::string kAcc1Line = "Accel Biases : 0.011719,-0.007812,0.019531\r\n";
const std::string kGyroLine = "Gyro  Biases : 0.895240,-0.223810,0.447620\r\n";
const std::string kCompLine = "Comp  Biases : 0.468750,-0.312500,0.156250\r\n";
const std::string kAcc2Line = "Accel2 Biases: -0.015625,0.023438,-0.011719\r\n";
const std::string kLightLine = "Light Transmittance=80.00%\r\n";
const std::string kColorLines =
    "Color_R Transmittance=40.00%\r\nColor_G Transmittance=50.00%\r\nColor_B Transmittance=60.00%\r\n";
const std::string kAllLines = kAcc1Line + kGyroLine + kCompLine + kAcc2Line + kLightLine + kColorLines;

void PutWords(std::vector<std::uint8_t>& block, std::size_t offset, std::int16_t x, std::int16_t y, std::int16_t z)
{
    const std::int16_t words[3] = {x, y, z};
    for (std::size_t i = 0; i < 3; ++i) {
        const auto u = static_cast<std::uint16_t>(words[i]);
        block[offset + 2 * i] = static_cast<std::uint8_t>(u & 0xFFu);
        block[offset + 2 * i + 1] = static_cast<std::uint8_t>(u >> 8);
    }
}

std::string NewAngle(int angle)
{
    return "\r\n(New Angle=" + std::to_string(angle) + ")\r\n";
}

class SaveStep : public SimFixture {
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
        ColorSensorFlag = 1;
        ColorTransmittance[0] = 40.0f;
        ColorTransmittance[1] = 50.0f;
        ColorTransmittance[2] = 60.0f;
        block.assign(kLength, 0);
        block[4] = 0xE8;  // light gain 1000 / 800
        block[5] = 0x03;
        block[6] = 0x20;
        block[7] = 0x03;
        block[11] = 0x01;
        PutWords(block, 12, 3, -2, 5);
        PutWords(block, 18, 4, -1, 2);
        block[24] = 0x80;
        block[25] = 0x83;
        block[26] = kExt;
        block[25 + kExt] = 0x01;
        PutWords(block, 26 + kExt, -4, 6, -3);
        PutWords(block, 52, 120, -80, 40);
        PokeBlock();
        SetAngle(2);
    }

    void PokeBlock()
    {
        hub->Poke(kEFlash, block);
        hub->Poke(kRam, block);
    }

    // The lid angle in whole degrees as GetAngle will read it.
    void SetAngle(int degrees)
    {
        auto counts = static_cast<std::int16_t>(std::ceil(std::abs(degrees) / 0.2238));
        if (degrees < 0) counts = static_cast<std::int16_t>(-counts);
        hub->SetAngleCounts(counts);
    }

    void Options(const std::vector<std::string>& options)
    {
        args = {"tool"};
        args.insert(args.end(), options.begin(), options.end());
        argv.clear();
        for (std::string& a : args) argv.push_back(a.data());
        gArgc = static_cast<int>(argv.size());
        gArgv = argv.data();
    }

    std::size_t SaveRequests()
    {
        std::size_t n = 0;
        for (const std::string& s : Events({"SET"}))
            if (s.compare(0, 10, "SET 5a0201") == 0) ++n;
        return n;
    }
    std::size_t AngleReads()
    {
        std::size_t n = 0;
        for (const std::string& s : Events({"SET"}))
            if (s.compare(0, 10, "SET 5a0008") == 0) ++n;
        return n;
    }
    std::size_t RegisterReads()
    {
        std::size_t n = 0;
        for (const std::string& s : Events({"SET"}))
            if (s.compare(0, 8, "SET 5a05") == 0) ++n;
        return n;
    }

    std::shared_ptr<sim::SimHub> hub;
    std::vector<std::uint8_t> block;
    std::vector<std::string> args;
    std::vector<char*> argv;
};

TEST_F(SaveStep, DefaultRunReportsRechecksSavesAndPrintsTheTime)
{
    Options({});
    RunSaveStep(0);
    const std::string expected = kAllLines + NewAngle(2) + kSaved + kTime0;
    EXPECT_EQ(ConsoleText(), expected);
    EXPECT_EQ(LogText(), expected);
    EXPECT_EQ(ResultFlag, 0);
    EXPECT_EQ(SaveRequests(), 1u);
    EXPECT_EQ(RunReportMask, ReportMaskAll);
    // The report comes before the angle, the angle before the save.
    const std::vector<std::string> sets = Events({"SET"});
    std::size_t angle = 0, save = 0;
    for (std::size_t i = 0; i < sets.size(); ++i) {
        if (sets[i].compare(0, 10, "SET 5a0008") == 0) angle = i;
        if (sets[i].compare(0, 10, "SET 5a0201") == 0) save = i;
    }
    EXPECT_GT(angle, 2u * 8u);
    EXPECT_LT(angle, save);
}

TEST_F(SaveStep, ReportMaskFromTheCalibrationOptions)
{
    struct Case {
        std::vector<std::string> options;
        std::uint8_t mask;
        std::string lines;
    };
    const Case cases[] = {
        {{"/ACC1-CALI", "/ACC2-CALI"}, 0x05, kAcc1Line + kAcc2Line},
        {{"/COMP-CALI"}, 0x10, kCompLine},
        {{"/LIGHT-CALI"}, 0x08, kLightLine},
        {{"/PSENSOR-CALI", "/DISTANCE10", "/MODE13"}, 0x00, ""},
        {{"/CUS2-CALI"}, 0x00, ""},
        {{"/COLOR-CALI", "/RVAL900", "/GVAL800", "/BVAL700"}, 0x20, kColorLines},
        {{"/COLOR-CALI", "/RVAL900", "/GVAL800"}, 0x00, ""},
        {{"/GYRO-CALI"}, 0xFF, kAllLines},
    };
    for (const Case& c : cases) {
        Restart();
        Options(c.options);
        RunSaveStep(0);
        EXPECT_EQ(RunReportMask, c.mask) << c.options.front();
        // The save runs whatever the mask, mask 0 included.
        EXPECT_EQ(ConsoleText(), c.lines + NewAngle(2) + kSaved + kTime0) << c.options.front();
        EXPECT_EQ(SaveRequests(), 1u) << c.options.front();
    }
}

TEST_F(SaveStep, KeptMaskAndMultiFaceSelection)
{
    // Without calibration options the step starts from the run's kept mask.
    Options({});
    RunReportMask = ReportMaskLight | ReportMaskAcc1;
    RunSaveStep(0);
    EXPECT_EQ(ConsoleText(), kAcc1Line + kLightLine + NewAngle(2) + kSaved + kTime0);

    // After a multi-face selection only the ACC2 lines, and no re-check.
    Restart();
    Options({"/ACC1-CALI"});
    ISNeedACC6PhaseCali = 0x01;
    RunSaveStep(0);
    EXPECT_EQ(RunReportMask, ReportMaskAcc2);
    EXPECT_EQ(ConsoleText(), kAcc2Line + kSaved + kTime0);
    EXPECT_EQ(AngleReads(), 0u);
}

TEST_F(SaveStep, NoSaveWithQuickSave)
{
    Options({"/NS", "/QS"});
    RunSaveStep(0);
    EXPECT_EQ(ConsoleText(), kAllLines + kNotSaved + kTime0);
    EXPECT_EQ(SaveRequests(), 0u);
    EXPECT_EQ(AngleReads(), 0u);
    EXPECT_EQ(ResultFlag, 0);
}

TEST_F(SaveStep, QuickSaveAloneHasNoReport)
{
    Options({"/QS"});
    RunSaveStep(0);
    EXPECT_EQ(ConsoleText(), NewAngle(2) + kSaved + kTime0);
    EXPECT_EQ(RegisterReads(), 0u);
    const std::vector<std::string> saves = Events({"SET"});
    ASSERT_EQ(SaveRequests(), 1u);
    EXPECT_EQ(saves.back(), "SET 5a0201" + std::string(28, '0'));
    EXPECT_EQ(ResultFlag, 0);
}

TEST_F(SaveStep, BiasLimitsFromTheOptions)
{
    struct Case {
        std::vector<std::string> options;
        float acc1, acc2;
    };
    const Case cases[] = {
        {{"/ACC1-BIAS40", "/ACC2-BIAS15"}, 0.40f, 0.15f},
        {{"/ACC2-BIAS25"}, 0.15f, 0.25f},
        {{"/ACC1-BIAS-1"}, 0.15f, 0.15f},  // -1 counts as not given
    };
    for (const Case& c : cases) {
        Restart();
        Options(c.options);
        RunSaveStep(0);
        EXPECT_EQ(MaxACC1Bias, c.acc1) << c.options.front();
        EXPECT_EQ(MaxACC2Bias, c.acc2) << c.options.front();
        EXPECT_EQ(ResultFlag, 0) << c.options.front();
    }
}

// Bare "/ACC1-BIAS" sets the limit 0, which every ACC1 bias reaches: the
// error line, no re-check and no save.
TEST_F(SaveStep, BareAcc1BiasStopsTheSave)
{
    Options({"/ACC1-BIAS"});
    RunSaveStep(0);
    EXPECT_EQ(MaxACC1Bias, 0.0f);
    EXPECT_EQ(ConsoleText(), kAcc1Line + "Error!! Accel1 Biases can't more than +/-0.00 .\r\n" + kGyroLine + kCompLine +
                                 kAcc2Line + kLightLine + kColorLines + kNotSaved + kTime0);
    EXPECT_EQ(LogText(), kAcc1Line + "Error, Accel1 Biases can't more than +/-0.00 .\r\n" + kGyroLine + kCompLine +
                             kAcc2Line + kLightLine + kColorLines + kNotSaved + kTime0);
    EXPECT_EQ(ResultFlag, 1);
    EXPECT_EQ(SaveRequests(), 0u);
    EXPECT_EQ(AngleReads(), 0u);
}

TEST_F(SaveStep, AngleRecheck)
{
    struct Case {
        std::vector<std::string> options;
        int angle;
        bool passes;
    };
    const Case cases[] = {
        {{}, 10, true},
        {{}, 11, false},
        {{}, 350, true},
        {{}, 349, false},
        {{}, 180, false},
        {{"/NEWCA30"}, 30, true},
        {{"/NEWCA30"}, 330, true},
        {{"/NEWCA30"}, 31, false},
        {{"/NEWCA"}, 0, true},
        {{"/NEWCA"}, 1, false},
        {{"/NEWCA"}, 360, true},
        {{"/SCA"}, 180, true},  // bare "/SCA": lying mode, "/NEWSCA" default 10
        {{"/SCA"}, 190, true},
        {{"/SCA"}, 191, false},
        {{"/SCA"}, 2, false},
        {{"/SCA65535"}, 175, true},
        {{"/SCA", "/NEWSCA30"}, 150, true},
        {{"/SCA", "/NEWSCA30"}, 149, false},
        {{"/SCA", "/NEWCA30"}, 20, false},  // "/NEWCA" is for the tablet mode only
    };
    for (const Case& c : cases) {
        Restart();
        Options(c.options);
        SetAngle(c.angle);
        RunSaveStep(0);
        const std::string what = (c.options.empty() ? "" : c.options.front()) + " at " + std::to_string(c.angle);
        EXPECT_EQ(ConsoleText(), kAllLines + NewAngle(c.angle) + (c.passes ? kSaved : kNotSaved) + kTime0) << what;
        EXPECT_EQ(ResultFlag, c.passes ? 0 : ResultNewAngleFail) << what;
        EXPECT_EQ(SaveRequests(), c.passes ? 1u : 0u) << what;
    }
}

// An angle that the re-check could not read is no angle: it fails the
// re-check even with a tolerance that would take -1 degree in.
TEST_F(SaveStep, LostAngleFailsTheRecheck)
{
    // Before it the report: both copies in 8 reads each, then two flag bytes
    // read and written, 20 requests and 18 replies.
    const struct {
        const char* name;
        sim::FaultWindow sim::HubFaults::*kind;
        int number;
        std::size_t at;     // the lost transfer: the angle's request (0) or its reply (1)
        const char* shows;  // how it starts in the trace
    } cases[] = {
        {"reply lost", &sim::HubFaults::getFail, 19, 1, "GET FAIL"},
        {"request lost", &sim::HubFaults::setFail, 21, 0, "SET FAIL"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Restart();
        Options({"/NEWCA400"});
        hub->faults = simtest::OneFault(c.kind, {c.number, 1});
        RunSaveStep(0);
        const std::vector<std::string> transfers = Events({"SET", "GET"});
        std::size_t angle = 0;  // the angle's request
        while (angle < transfers.size() && transfers[angle].find(" 5a0008") == std::string::npos) ++angle;
        ASSERT_LT(angle + c.at, transfers.size());
        const std::string& lost = transfers[angle + c.at];
        EXPECT_EQ(lost.rfind(c.shows, 0), 0u) << lost;
        EXPECT_EQ(ConsoleText(), kAllLines + NewAngle(-1) + kNotSaved + kTime0);
        EXPECT_EQ(ResultFlag, ResultNewAngleFail);
        EXPECT_EQ(SaveRequests(), 0u);
    }
}

TEST_F(SaveStep, RecheckOnlyWithBothAccelerometersNoNocaAndAPassingRun)
{
    struct Case {
        const char* name;
        std::vector<std::string> options;
        void (*prepare)();
    };
    const Case cases[] = {
        {"/NOCA", {"/NOCA"}, nullptr},
        {"ACC2 absent", {}, [] { SensorList[SensorSlotAcc2] = SensorAbsent; }},
        {"ACC1 present as 2", {}, [] { SensorList[SensorSlotAcc1] = 2; }},
        {"earlier failure", {}, [] { ResultFlag = 3; }},
    };
    for (const Case& c : cases) {
        Restart();
        Options(c.options);
        if (c.prepare != nullptr) c.prepare();
        SetAngle(90);  // would fail the re-check
        RunSaveStep(0);
        EXPECT_EQ(AngleReads(), 0u) << c.name;
        EXPECT_EQ(ConsoleText().find("New Angle"), std::string::npos) << c.name;
    }
}

TEST_F(SaveStep, AccuracyBelowThreeLeavesTheBlockUnsaved)
{
    Options({"/COMP-CALI"});
    Accuracy = 2;
    RunSaveStep(0);
    EXPECT_EQ(ConsoleText(), kCompLine + NewAngle(2) + kNotSaved + kTime0);
    EXPECT_EQ(ResultFlag, 0);
    EXPECT_EQ(SaveRequests(), 0u);
}

TEST_F(SaveStep, FailedSaveIsAddedAndNotSaved)
{
    Options({});
    hub->saveStale = -1;
    RunSaveStep(0);
    // 6.41 s: the report 0.18 (two 80-byte copies in 8 reads of 5 + 5 ms, two flag bytes of 10 ms), the
    // re-check 0.07 (50 + 20 ms), 11 passes x 0.56 (snapshot and both copies 3 x 0.08, request 50 + 50 + 20 + 200 ms).
    EXPECT_EQ(ConsoleText(), kAllLines + NewAngle(2) + "Save Fail!\r\n" + kNotSaved + "(Total Time: 6 s)\r\n");
    EXPECT_EQ(ResultFlag, 1);
    EXPECT_EQ(SaveRequests(), 11u);
}

TEST_F(SaveStep, TotalTimeInWholeSecondsOfTheUnsignedTickDifference)
{
    // How long the step itself takes on this hub.
    Options({"/NS"});
    RunSaveStep(0);
    const auto stepMs = static_cast<std::uint32_t>(sim::VirtualNow());
    struct Case {
        std::uint64_t clockStart;  // virtual time when the step starts
        std::uint32_t sinceStart;  // ms from the start tick to the step's end
        const char* seconds;
    };
    const Case cases[] = {
        {100000, 59999, "59"},
        {100000, 60000, "60"},
        {0x100000100ull, 59999, "59"},  // the tick count wrapped during the run
    };
    for (const Case& c : cases) {
        Restart();
        Options({"/NS"});
        sim::ResetVirtualClock(c.clockStart);
        gStartTick = static_cast<std::uint32_t>(c.clockStart + stepMs - c.sinceStart);
        RunSaveStep(0);
        const std::string text = ConsoleText();
        EXPECT_EQ(text.substr(text.rfind('(')), std::string("(Total Time: ") + c.seconds + " s)\r\n")
            << c.clockStart << " " << c.sinceStart;
    }
}

// The "save" directive of the hub file, on a machine loaded from text.
class SaveHubFile : public SimFixture {
protected:
    bool Load(const std::string& saveLine)
    {
        const std::string text =
            "device /dev/sim/sensorhub hub\n"
            "sensor acc1 value=0,0,1\n"
            "sensor acc2 value=0,0,1 angle-counts=9\n"
            "param-area eflash=0x001000 ram=0x082000 length=32\n"
            "param both acc1-bias 3 -2 5\n" +
            saveLine + "\n";
        if (!LoadHubFile(text, "t.hub", hub)) return false;
        gEFlashAddr = hub->paramEFlashAddr;
        gBufferAddr = hub->paramBufferAddr;
        gParamLength = hub->paramLength;
        SensorList[SensorSlotAcc1] = SensorList[SensorSlotAcc2] = SensorPresent;
        gArgc = 1;
        gArgv = tool;
        return true;
    }
    std::size_t SaveRequests()
    {
        std::size_t n = 0;
        for (const std::string& s : Events({"SET"}))
            if (s.compare(0, 10, "SET 5a0201") == 0) ++n;
        return n;
    }
    // The transfer after the first save request: its reply.
    static std::string FirstSaveReply() { return ReplyTo("SET 5a0201"); }
    std::shared_ptr<sim::SimHub> hub;
    char name[5] = "tool";
    char* tool[2] = {name, nullptr};
};

TEST_F(SaveHubFile, AnswersAsTheDirectiveSays)
{
    struct Case {
        std::string line;
        std::uint8_t result;
        std::size_t requests;
        std::string firstReply;  // how the reply to the first request starts
    };
    const std::string area = "001000002008";  // eFlash and RAM address
    const Case cases[] = {
        {"", 0, 1, "GET 5a0201" + area + "2000"},
        {"save silent=1", 0, 2, "GET FAIL"},
        {"save silent=always", 1, 11, "GET FAIL"},
        {"save stale=3", 0, 4, "GET 5a0201" + area + "2000"},
        {"save stale=always", 1, 11, "GET 5a0201" + area + "2000"},
        // The first two replies name another RAM address and fail their
        // passes; each pass takes its snapshot of the learnt area, so the
        // third one is verified.
        {"save other=2 ram=0x090000", 0, 3, "GET 5a0201001000000009"},
        {"save other=1 bytes=2,0", 0, 2, "GET 5a0200" + area + "2000"},
        {"save other=always length=19", 1, 11, "GET 5a0201" + area + "1300"},
    };
    for (const Case& c : cases) {
        Restart();
        ASSERT_TRUE(Load(c.line));
        EXPECT_EQ(DoSaveDataToFlash(0, SaveModeVerified, 0, ReportSourceFlash), c.result) << c.line;
        EXPECT_EQ(FirstSaveReply().rfind(c.firstReply, 0), 0u) << c.line << ": " << FirstSaveReply();
        EXPECT_EQ(SaveRequests(), c.requests) << c.line;
        if (c.result == 0) {
            EXPECT_EQ(hub->Peek(0x001000, 20), hub->Peek(0x082000, 20)) << c.line;
        }
    }
}

TEST_F(SaveHubFile, RecheckAngleFromTheFirstReadOfTheEFlashCopy)
{
    ASSERT_TRUE(Load("save recheck-angle-counts=900"));  // 201 degrees
    RunSaveStep(0);
    EXPECT_NE(ConsoleText().find("\r\n(New Angle=201)\r\n"), std::string::npos) << ConsoleText();
    EXPECT_EQ(ResultFlag, ResultNewAngleFail);

    // With "/QS" nothing reads the eFlash copy before the re-check.
    Restart();
    ASSERT_TRUE(Load("save recheck-angle=180"));
    std::string qs = "/QS";
    char* argv[3] = {name, qs.data(), nullptr};
    gArgc = 2;
    gArgv = argv;
    RunSaveStep(0);
    EXPECT_NE(ConsoleText().find("\r\n(New Angle=2)\r\n"), std::string::npos) << ConsoleText();
    EXPECT_EQ(ResultFlag, 0);
}

}  // namespace
