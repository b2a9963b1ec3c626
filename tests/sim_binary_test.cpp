// The stand-in executable, run as a process on hub files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/process_util.h"

namespace {

using testutil::ReadFile;
using testutil::RunProcess;
using testutil::TempDir;
using testutil::WriteFile;

const std::string kHealthyHub = std::string(XOV_SOURCE_DIR) + "/sim/hubs/healthy.hub";
constexpr std::size_t kMiB = 1024 * 1024;

class SimBinary : public ::testing::Test {
protected:
    testutil::ProcessResult Run(std::vector<std::string> args, bool mergeStderr = false) const
    {
        args.insert(args.begin(), testutil::BinaryPath("XOVSensorHubCalibration-sim"));
        return RunProcess(args, work.path(), lockDir.path(), mergeStderr);
    }
    std::vector<std::string> TraceLines(const std::string& path) const
    {
        std::vector<std::string> lines;
        std::string text = ReadFile(path);
        for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
            lines.push_back(text.substr(start, end - start));
        return lines;
    }

    TempDir work;
    TempDir lockDir;
};

TEST_F(SimBinary, HealthyHubIsFound)
{
    const std::string trace = work.File("trace.txt");
    const auto result = Run({"--hub", kHealthyHub, "--trace", trace, "--"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_NE(result.out.find("Find 1 XOV SensorHub.\r\n"), std::string::npos) << result.out;
    EXPECT_NE(ReadFile(work.File("XOVSensorHubCalibration.log")).find("Find 1 XOV SensorHub.\r\n"), std::string::npos);
    const std::vector<std::string> lines = TraceLines(trace);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "t=0 OPEN /dev/sim/keyboard");
    EXPECT_EQ(lines[1], "t=0 CLOSE /dev/sim/keyboard");
    EXPECT_EQ(lines[2], "t=0 OPEN /dev/sim/sensorhub");
}

TEST_F(SimBinary, NoHubEndsWith255)
{
    const std::string hubFile = work.File("none.hub");
    WriteFile(hubFile,
              "device /dev/sim/keyboard page=0x0001 usage=0x06\ndevice /dev/sim/other page=0xFF83 usage=0x81\n");
    const auto result = Run({"--hub", hubFile, "--", "/ACC1-TEST"});
    EXPECT_EQ(result.exitStatus, 255);
    EXPECT_NE(result.out.find("Find 0 XOV SensorHub.\r\n"), std::string::npos) << result.out;
}

TEST_F(SimBinary, ToolOptionsReachTheTool)
{
    const auto help = Run({"--hub", kHealthyHub, "--", "/?"});
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_NE(help.out.find("/?, help\r\n"), std::string::npos);
    EXPECT_EQ(help.out.find("Find"), std::string::npos);
}

TEST_F(SimBinary, ItsOwnFaultsEndWith2BeforeTheToolStarts)
{
    WriteFile(work.File("bad.hub"), "# fine\ndevice /dev/a\nmem 0x10 zz\n");
    // Each of these would otherwise load: as an empty machine, or without end.
    ASSERT_EQ(mkdir(work.File("dir.hub").c_str(), 0700), 0);
    WriteFile(work.File("big.hub"), std::string(kMiB + 1, '\n'));
    WriteFile(work.File("nul.hub"), "device /dev/sim/keyboard\ndevice \"/dev/sim/hub\\0x\" hub\n");
    WriteFile(work.File("raw-nul.hub"),
              "device /dev/sim/keyboard\ndevice /dev/sim/hub" + std::string(1, '\0') + "x hub\n");
    struct Case {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{}, "--hub FILE is required"},
        {{"--hub"}, "--hub needs a file name"},
        {{"--hub", kHealthyHub, "/ACC1-TEST"}, "unknown argument '/ACC1-TEST'"},
        {{"--hub", work.File("missing.hub"), "--"}, "missing.hub: cannot be read"},
        {{"--hub", work.File("bad.hub"), "--"}, "bad.hub:3: mem: bad byte 'zz'"},
        {{"--hub", kHealthyHub, "--trace", work.File("no/such/dir/t"), "--"}, "cannot create the trace file"},
        {{"--hub", work.File("dir.hub"), "--"}, "dir.hub: not a regular file"},
        {{"--hub", "/dev/zero", "--"}, "/dev/zero: not a regular file"},
        {{"--hub", work.File("big.hub"), "--"}, "big.hub: larger than 1 MiB"},
        {{"--hub", work.File("nul.hub"), "--"}, "nul.hub:2: device: NUL in \"/dev/sim/hub\\0x\""},
        {{"--hub", work.File("raw-nul.hub"), "--"}, "raw-nul.hub:2: device: NUL in '/dev/sim/hub\\0x'"},
    };
    for (const Case& c : cases) {
        // Nothing on standard output: the message goes to standard error.
        const auto alone = Run(c.args);
        EXPECT_EQ(alone.exitStatus, 2) << c.message;
        EXPECT_EQ(alone.out, "") << c.message;
        const auto result = Run(c.args, true);
        EXPECT_NE(result.out.find(c.message), std::string::npos) << result.out;
        EXPECT_EQ(result.out.find("XOV Sensor Hub Calibration Tool"), std::string::npos);
        EXPECT_FALSE(testutil::FileExists(work.File("XOVSensorHubCalibration.log"))) << c.message;
    }
}

TEST_F(SimBinary, AHubFileOfOneMiBIsRead)
{
    WriteFile(work.File("full.hub"), std::string(kMiB - 1, '\n') + "#");
    const auto result = Run({"--hub", work.File("full.hub"), "--", "/ACC1-TEST"});
    EXPECT_EQ(result.exitStatus, 255);
    EXPECT_NE(result.out.find("Find 0 XOV SensorHub.\r\n"), std::string::npos) << result.out;
}

TEST_F(SimBinary, RealTimeWaitsForReal)
{
    // A short whole run: mode on, the parameter-area query, the version
    // read and mode off, without the buffer clear.
    const std::string trace = work.File("trace.txt");
    const auto start = std::chrono::steady_clock::now();
    const auto result = Run({"--hub", kHealthyHub, "--trace", trace, "--realtime", "--", "/FWVER", "/NRC"});
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_NE(result.out.find("OEM FW Version: XOV-SH 1.02.0315"), std::string::npos) << result.out;
    long long waitsMs = 0;
    for (const std::string& line : TraceLines(trace)) {
        const std::size_t at = line.find(" SLEEP ");
        if (at != std::string::npos) waitsMs += std::stoll(line.substr(at + 7));
    }
    // The two mode switches wait 300 ms each, the closing pause 50 ms.
    EXPECT_GE(waitsMs, 650) << ReadFile(trace);
    EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), waitsMs);
}

}  // namespace
