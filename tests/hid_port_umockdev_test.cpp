// The Linux HID layer against the kernel interface as umockdev emulates it:
// hidraw nodes in a sysfs test bed whose ioctls a simulated hub answers. The
// production binary runs against the bed under the preload library, its
// whole runs side by side with the stand-in's on the same hub file; the
// layer's own functions run in-process against the same nodes.

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/output.h"
#include "common/state.h"
#include "hid_port_umockdev_bed.h"
#include "hub/discovery.h"
#include "hub/hid_port.h"
#include "hub/hid_port_linux_parse.h"
#include "hub/transport.h"
#include "sim/hub_file.h"
#include "sim/sim_hub.h"
#include "sim/sim_port.h"
#include "tests/hid_port_checks.h"
#include "tests/machine_lock.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

using umocktest::HidrawBed;
using umocktest::HidrawDevice;
using umocktest::SeenIoctl;

const std::string kHealthyHub = std::string(XOV_SOURCE_DIR) + "/sim/hubs/healthy.hub";

std::string ReadText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A working directory and TMPDIR of a run's own.
struct RunDirs {
    RunDirs()
    {
        char pattern[] = "/tmp/hid_port_umockdev_run.XXXXXX";
        if (mkdtemp(pattern) != nullptr) root = pattern;
        fs::create_directories(root / "cwd");
        fs::create_directories(root / "tmp");
    }
    ~RunDirs()
    {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
    fs::path root;
};

struct RunResult {
    int exitStatus = -1;  // -1: did not exit normally (or did not start)
    std::string out;
    std::string err;
    std::string log;
    long long elapsedMs = 0;  // real time from the start to the end
};

// Starts binary in dirs, standard input from /dev/null, with this process's
// environment (the preload library and the bed included) unless
// withoutUmockdev asks to strip them. Waits at most 60 s of real time.
RunResult RunBinary(const std::string& binary, const RunDirs& dirs, const std::vector<std::string>& args,
                    bool withoutUmockdev)
{
    RunResult result;
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (name == "TMPDIR") continue;
        if (withoutUmockdev && (name == "LD_PRELOAD" || name == "UMOCKDEV_DIR")) continue;
        env.push_back(entry);
    }
    env.push_back("TMPDIR=" + (dirs.root / "tmp").string());
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    std::vector<std::string> argvStrings = {binary};
    argvStrings.insert(argvStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argvStrings) argv.push_back(a.data());
    argv.push_back(nullptr);

    const std::string outPath = (dirs.root / "stdout").string();
    const std::string errPath = (dirs.root / "stderr").string();
    const std::string cwd = (dirs.root / "cwd").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        result.err = std::string("posix_spawn: ") + std::strerror(spawned);
        return result;
    }
    int status = 0;
    bool done = false;
    for (int waited = 0; waited < 60000 && !done; waited += 10) {
        const pid_t got = waitpid(pid, &status, WNOHANG);
        if (got == pid) {
            done = true;
        } else {
            usleep(10000);
        }
    }
    if (!done) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    result.elapsedMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    if (done && WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
    result.out = ReadText(outPath);
    result.err += ReadText(errPath);
    result.log = ReadText(dirs.root / "cwd" / kRunLogName);
    return result;
}

// The production binary. Its guard is the machine's: the build runs these
// tests one at a time with the other runs of the production binary.
RunResult RunTool(const RunDirs& dirs, const std::vector<std::string>& args, bool withoutUmockdev)
{
    return RunBinary(XOV_TOOL_BINARY, dirs, args, withoutUmockdev);
}

// True when an instance of the tool that is not this test's holds the
// machine's guard, so that the production binary cannot run here now.
bool RefusedByAnotherInstance(const RunResult& run)
{
    return run.exitStatus == 254 && run.out == "This application can not be repeated!\r\n\r\n";
}

bool SawIoctl(const std::vector<SeenIoctl>& seen, unsigned number)
{
    for (const SeenIoctl& s : seen)
        if (s.type == 'H' && s.number == number) return true;
    return false;
}

std::shared_ptr<sim::SimHub> NewHub()
{
    return std::make_shared<sim::SimHub>();
}

HidrawDevice HubDevice(std::shared_ptr<sim::SimHub> hub, std::uint16_t productId = 0x8301)
{
    HidrawDevice device;
    device.descriptor = umocktest::HubDescriptor();
    device.productId = productId;
    device.hub = std::move(hub);
    return device;
}

HidrawDevice OtherDevice(std::uint16_t usagePage, std::uint16_t usage)
{
    HidrawDevice device;
    device.descriptor = umocktest::DescriptorFor(usagePage, usage);
    device.productId = 0x1234;
    device.hub = NewHub();  // it would even answer feature reports
    return device;
}

class Umockdev : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string reason = umocktest::UmockdevUnavailableReason();
        if (!reason.empty()) {
            // The library is installed but not in this process: the start-up
            // went wrong, which is a failure, not a reason to skip.
            ASSERT_FALSE(umocktest::UmockdevPreloadInstalled()) << reason;
            GTEST_SKIP() << reason;
        }
        ResetProcessState();
        bed_ = std::make_unique<HidrawBed>();
        ASSERT_TRUE(bed_->ok()) << bed_->error();
    }

    void TearDown() override
    {
        for (HidHandle& handle : hFile) {
            if (handle != kNoHidHandle) HidPortClose(handle);
            handle = kNoHidHandle;
        }
        bed_.reset();
        ResetProcessState();
    }

    void Add(int number, HidrawDevice device)
    {
        bed_->Add(number, std::move(device));
        ASSERT_TRUE(bed_->ok()) << bed_->error();
    }

    // Runs discovery in-process; returns the console text.
    static std::string Discover()
    {
        std::FILE* console = std::tmpfile();
        std::FILE* saved = ConsoleStream;
        ConsoleStream = console;
        ConnectHIDDevice(kHubUsagePage, kHubUsage);
        ConsoleStream = saved;
        std::rewind(console);
        std::string text;
        char buffer[256];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, console)) > 0) text.append(buffer, n);
        std::fclose(console);
        return text;
    }

    HidHandle OpenNode(int index)
    {
        std::string path;
        EXPECT_TRUE(HidPortGetDevicePath(index, path));
        HidHandle handle = kNoHidHandle;
        EXPECT_TRUE(HidPortOpen(path, handle)) << path << ": " << std::strerror(errno);
        return handle;
    }

    std::unique_ptr<HidrawBed> bed_;
};

}  // namespace

TEST_F(Umockdev, ProductionBinaryFindsTheHub)
{
    // The healthy machine's hub, behind another device and a gap in the
    // node numbers.
    std::shared_ptr<sim::SimHub> hub;
    {
        sim::SimPort port;
        std::string error;
        ASSERT_TRUE(sim::LoadHubFile(kHealthyHub, port, error, &hub)) << error;
    }
    Add(0, OtherDevice(0x0001, 0x0006));
    Add(3, HubDevice(hub));
    RunDirs dirs;
    const RunResult run = RunTool(dirs, {}, false);
    if (RefusedByAnotherInstance(run)) XOV_ANOTHER_INSTANCE_HOLDS_THE_LOCK();
    EXPECT_EQ(run.exitStatus, 0) << run.out << run.err;
    for (const std::string* text : {&run.out, &run.log}) {
        const std::size_t found = text->find("Find 1 XOV SensorHub.\r\n");
        EXPECT_NE(found, std::string::npos) << *text;
        EXPECT_EQ(text->find("Find", found + 1), std::string::npos) << *text;
        EXPECT_NE(text->find("\r\nTotal Result: Pass\r\n"), std::string::npos) << *text;
    }
    // The run talked to the hub alone and left it as it found it: the
    // custom-command mode off, the fusion task running.
    EXPECT_GT(hub->setCount, 0);
    EXPECT_FALSE(hub->customMode);
    EXPECT_FALSE(hub->fusionLocked);
    EXPECT_TRUE(umocktest::FeatureEvents(bed_->Seen(0)).empty());
    // The usage came from the node's descriptor ioctls, the product ID from
    // its device information.
    const std::vector<SeenIoctl> seen = bed_->Seen(3);
    EXPECT_TRUE(SawIoctl(seen, 0x01));
    EXPECT_TRUE(SawIoctl(seen, 0x02));
    EXPECT_TRUE(SawIoctl(seen, 0x03));
    EXPECT_TRUE(SawIoctl(bed_->Seen(0), 0x02));
}

TEST_F(Umockdev, ProductionBinaryFindsTheHubBehindASensorCollection)
{
    // One node, two top-level collections: a sensor collection, then the hub's.
    HidrawDevice device = HubDevice(NewHub());
    device.descriptor = umocktest::DescriptorFor(0x0020, 0x0001);
    const std::vector<std::uint8_t> hub = umocktest::HubDescriptor();
    device.descriptor.insert(device.descriptor.end(), hub.begin(), hub.end());
    Add(0, std::move(device));

    const HidHandle handle = OpenNode(0);
    ASSERT_NE(handle, kNoHidHandle);
    testutil::ExpectUsage(handle, 0xFF83, 0x80);
    HidPortClose(handle);

    RunDirs dirs;
    const RunResult run = RunTool(dirs, {"/FWVER"}, false);
    if (RefusedByAnotherInstance(run)) XOV_ANOTHER_INSTANCE_HOLDS_THE_LOCK();
    EXPECT_EQ(run.exitStatus, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("Find 1 XOV SensorHub.\r\n"), std::string::npos) << run.out;
}

TEST_F(Umockdev, ProductionBinaryRejectsOtherUsagePairs)
{
    Add(0, OtherDevice(0xFF83, 0x81));
    Add(1, OtherDevice(0xFF00, 0x80));
    Add(2, OtherDevice(0x0001, 0x0006));
    RunDirs dirs;
    const RunResult run = RunTool(dirs, {}, false);
    if (RefusedByAnotherInstance(run)) XOV_ANOTHER_INSTANCE_HOLDS_THE_LOCK();
    EXPECT_NE(run.out.find("Find 0 XOV SensorHub.\r\n"), std::string::npos) << run.out << run.err;
    EXPECT_EQ(run.exitStatus, 255) << run.out << run.err;
    for (int number : {0, 1, 2}) {
        SCOPED_TRACE(number);
        EXPECT_TRUE(SawIoctl(bed_->Seen(number), 0x02));  // opened and looked at
    }
}

TEST_F(Umockdev, DiscoveryFilterUsesTheDeviceInformation)
{
    // Product IDs from 0x8000 up are negative in the kernel's signed field.
    Add(0, HubDevice(NewHub(), 0x8301));
    Add(1, HubDevice(NewHub(), 0x8302));
    MainTargetPID = 0x8302;
    EXPECT_EQ(Discover(), "Find 1 XOV SensorHub.\r\n");
    ASSERT_EQ(SensorCunt, 1);
    std::uint16_t product = 0;
    ASSERT_TRUE(HidPortGetProductId(hFile[0], product));
    EXPECT_EQ(product, 0x8302);
}

TEST_F(Umockdev, FeatureReportsReachTheModel)
{
    auto hub = NewHub();
    Add(0, HubDevice(hub));
    const HidHandle handle = OpenNode(0);
    ASSERT_NE(handle, kNoHidHandle);
    testutil::ExpectUsage(handle, 0xFF83, 0x80);

    // A register write: the model takes the 17 bytes as they were sent.
    const std::uint8_t write[17] = {0x5A, HidCmdWriteReg, 0x34, 0x12, 0x00, 0x01, 0xAB};
    ASSERT_TRUE(HidPortSetFeature(handle, write, sizeof write));
    EXPECT_EQ(std::vector<std::uint8_t>(hub->lastRequest.begin(), hub->lastRequest.end()),
              std::vector<std::uint8_t>(write, write + 17));
    ASSERT_EQ(hub->writeLog.size(), 1u);
    EXPECT_EQ(hub->writeLog[0].first, 0x001234u);
    EXPECT_EQ(hub->writeLog[0].second, 0xAB);

    // A register read and its reply.
    hub->PokeText(0x003100, "XOV");
    const std::uint8_t read[17] = {0x5A, HidCmdReadReg, 0x00, 0x31, 0x00, 0x03};
    ASSERT_TRUE(HidPortSetFeature(handle, read, sizeof read));
    std::uint8_t reply[17] = {0x5A};
    ASSERT_TRUE(HidPortGetFeature(handle, reply, sizeof reply));
    EXPECT_EQ(reply[0], 0x5A);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(reply + 6), 3), "XOV");

    // The node saw both feature ioctls with the length in the request code,
    // and a get-feature buffer with the report ID in byte 0.
    std::vector<SeenIoctl> features;
    for (const SeenIoctl& s : bed_->Seen(0))
        if (s.number == 0x06 || s.number == 0x07) features.push_back(s);
    ASSERT_EQ(features.size(), 3u);
    for (const SeenIoctl& s : features) {
        EXPECT_EQ(s.type, 'H');
        EXPECT_EQ(s.direction, static_cast<unsigned>(_IOC_READ | _IOC_WRITE));
        EXPECT_EQ(s.size, 17u);
    }
    EXPECT_EQ(features[0].number, 0x06u);
    EXPECT_EQ(features[1].number, 0x06u);
    EXPECT_EQ(features[2].number, 0x07u);
    EXPECT_EQ(features[2].bytes[0], 0x5A);

    // The link's generic exchange runs over the same node.
    std::uint8_t header1 = HidCmdReadReg;
    std::uint8_t header2 = 0x00;
    std::uint8_t data[14] = {0x31, 0x00, 0x02};
    ASSERT_TRUE(HidRequests(handle, true, HidReportId, header1, header2, data, 3));
    std::uint8_t back[14] = {};
    header1 = header2 = 0;
    ASSERT_TRUE(HidRequests(handle, false, HidReportId, header1, header2, back, 14));
    EXPECT_EQ(header1, HidCmdReadReg);
    EXPECT_EQ(back[3], 'X');
    EXPECT_EQ(back[4], 'O');
    HidPortClose(handle);
}

TEST_F(Umockdev, FailedTransfersAreFailures)
{
    auto hub = NewHub();
    Add(0, HubDevice(hub));
    const HidHandle handle = OpenNode(0);
    ASSERT_NE(handle, kNoHidHandle);
    const struct {
        const char* name;
        int error;
        int shortCount;
    } cases[] = {
        {"EPIPE", EPIPE, -1},   {"EIO", EIO, -1},        {"ETIMEDOUT", ETIMEDOUT, -1},
        {"ENODEV", ENODEV, -1}, {"short by one", 0, 16}, {"nothing moved", 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bed_->Device(0).featureErrno = c.error;
        bed_->Device(0).featureShort = c.shortCount;
        std::uint8_t report[17] = {0x5A, HidCmdFusionTaskLock};
        EXPECT_FALSE(HidPortSetFeature(handle, report, sizeof report));
        EXPECT_FALSE(HidPortGetFeature(handle, report, sizeof report));
    }
    bed_->Device(0).featureErrno = 0;
    bed_->Device(0).featureShort = -1;

    // A refusal by the hub itself, and a report of the wrong length.
    hub->faults.getFail = sim::FaultWindow{hub->getCount + 1, 1};  // the next fetch only
    std::uint8_t report[17] = {0x5A};
    EXPECT_FALSE(HidPortGetFeature(handle, report, sizeof report));
    EXPECT_TRUE(HidPortGetFeature(handle, report, sizeof report));
    EXPECT_FALSE(HidPortSetFeature(handle, report, 16));
    HidPortClose(handle);
}

TEST_F(Umockdev, SysfsStandsInWhenTheNodeDoesNotAnswer)
{
    HidrawDevice device = HubDevice(NewHub(), 0x8305);
    device.descriptorErrno = EIO;
    device.rawInfoErrno = EIO;
    Add(0, std::move(device));
    const HidHandle handle = OpenNode(0);
    ASSERT_NE(handle, kNoHidHandle);
    testutil::ExpectUsage(handle, 0xFF83, 0x80);
    testutil::ExpectProductId(handle, 0x8305);
    EXPECT_TRUE(SawIoctl(bed_->Seen(0), 0x01));
    HidPortClose(handle);
}

TEST_F(Umockdev, DescriptorOfTheLargestSizeComesFromSysfs)
{
    // The node reports 4096 bytes but refuses to hand out more than 4095.
    HidrawDevice device = HubDevice(NewHub());
    device.descriptor.resize(kHidMaxDescriptorSize, 0x00);
    Add(0, std::move(device));
    const HidHandle handle = OpenNode(0);
    ASSERT_NE(handle, kNoHidHandle);
    testutil::ExpectUsage(handle, 0xFF83, 0x80);
    EXPECT_TRUE(SawIoctl(bed_->Seen(0), 0x02));
    HidPortClose(handle);
}

namespace {

// One run of both binaries on the healthy machine.
struct SequenceRun {
    const char* name;
    std::vector<std::string> options;
    int exitStatus = 0;
    bool timed = false;  // the run ends with the total time line
};

void PrintTo(const SequenceRun& run, std::ostream* out)
{
    *out << run.name;
}

// The stand-in's trace of a run: the feature-report transfers without their
// times, and the sum of the waits.
struct StandInTrace {
    std::vector<std::string> transfers;
    long long waitsMs = 0;
};

StandInTrace ReadTrace(const fs::path& path)
{
    StandInTrace trace;
    std::istringstream lines(ReadText(path));
    std::string line;
    while (std::getline(lines, line)) {
        const std::string event = line.substr(line.find(' ') + 1);
        if (event.rfind("SET ", 0) == 0 || event.rfind("GET", 0) == 0) trace.transfers.push_back(event);
        if (event.rfind("SLEEP ", 0) == 0) trace.waitsMs += std::stoll(event.substr(6));
    }
    return trace;
}

// The number in "(Total Time: %d s)": the production binary counts real
// seconds and the stand-in virtual ones, which need not agree to the second.
// Only that number is masked; everything else must be equal byte for byte.
std::string MaskTotalTime(std::string text)
{
    const std::string head = "(Total Time: ";
    for (std::size_t at = text.find(head); at != std::string::npos; at = text.find(head, at + 1)) {
        const std::size_t digits = at + head.size();
        std::size_t end = digits;
        while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
        text.replace(digits, end - digits, 1, '#');
    }
    return text;
}

class UmockdevHubSequence : public Umockdev, public ::testing::WithParamInterface<SequenceRun> {};

// The number of whole seconds in a "(Total Time: %d s)" line, or -1 when the
// text has no such line.
long TotalSeconds(const std::string& text)
{
    const std::string head = "(Total Time: ";
    const std::size_t at = text.find(head);
    if (at == std::string::npos) return -1;
    return std::strtol(text.c_str() + at + head.size(), nullptr, 10);
}

}  // namespace

// The unmodified production binary on the emulated node and the stand-in on
// the same machine, loaded from the same hub file, see the same run: the same
// exit status, console, run log and sequence of feature-report transfers. The
// one difference allowed is the number in "(Total Time: %d s)", masked in
// both before the comparison: the production binary waits and counts in real
// seconds, the stand-in in virtual ones, and real waits are never shorter.
TEST_P(UmockdevHubSequence, ProductionBinaryRunsAsTheStandIn)
{
    std::shared_ptr<sim::SimHub> hub;
    std::string error;
    ASSERT_TRUE(bed_->AddHubFile(kHealthyHub, hub, error)) << error;
    const std::vector<std::string>& options = GetParam().options;

    RunDirs toolDirs;
    const RunResult tool = RunTool(toolDirs, options, false);
    if (RefusedByAnotherInstance(tool)) XOV_ANOTHER_INSTANCE_HOLDS_THE_LOCK();

    RunDirs standDirs;
    const fs::path tracePath = standDirs.root / "trace.txt";
    std::vector<std::string> standArgs = {"--hub", kHealthyHub, "--trace", tracePath.string(), "--"};
    standArgs.insert(standArgs.end(), options.begin(), options.end());
    const RunResult stand = RunBinary(XOV_SIM_BINARY, standDirs, standArgs, true);

    EXPECT_EQ(tool.exitStatus, GetParam().exitStatus) << tool.out << tool.err;
    EXPECT_EQ(stand.exitStatus, GetParam().exitStatus) << stand.out << stand.err;
    EXPECT_EQ(MaskTotalTime(tool.out), MaskTotalTime(stand.out));
    EXPECT_EQ(MaskTotalTime(tool.log), MaskTotalTime(stand.log));
    EXPECT_EQ(TotalSeconds(tool.out) >= 0, GetParam().timed) << tool.out;
    EXPECT_GE(TotalSeconds(tool.out), TotalSeconds(stand.out)) << tool.out << stand.out;
    EXPECT_EQ(TotalSeconds(tool.log), TotalSeconds(tool.out));
    EXPECT_EQ(tool.err, "");
    EXPECT_EQ(stand.err, "");

    // Every transfer the hub model saw over the node (the hub file's second
    // device; the keyboard before it gets none), as the stand-in traced it.
    const StandInTrace trace = ReadTrace(tracePath);
    ASSERT_FALSE(trace.transfers.empty()) << ReadText(tracePath);
    EXPECT_EQ(umocktest::FeatureEvents(bed_->Seen(1)), trace.transfers);
    EXPECT_TRUE(umocktest::FeatureEvents(bed_->Seen(0)).empty());
    EXPECT_FALSE(hub->customMode);

    // The production binary waits for real.
    EXPECT_GE(tool.elapsedMs, trace.waitsMs);
    RecordProperty("production_ms", std::to_string(tool.elapsedMs));
    RecordProperty("waits_ms", std::to_string(trace.waitsMs));
}

// The default run (no options) and the flow pass and save, so they end with
// the total time; "/FWVER" ends without it.
INSTANTIATE_TEST_SUITE_P(HealthyHub, UmockdevHubSequence,
                         ::testing::Values(SequenceRun{"Default", {}, 0, true},
                                           SequenceRun{"FwVer", {"/FWVER"}, 0, false},
                                           // A multi-face flow, 1 s of real time before each face.
                                           SequenceRun{"Acc2TwoFaces", {"/ACC2-2P-CALI", "/ACC-CALI-DELAY1"}, 0, true}),
                         [](const ::testing::TestParamInfo<SequenceRun>& run) { return run.param.name; });

namespace {

// True when a hidraw node of this machine carries the hub's usage pair.
bool MachineHasHub(std::string& which)
{
    DIR* dir = opendir("/sys/class/hidraw");
    if (dir == nullptr) return false;
    bool found = false;
    while (const dirent* entry = readdir(dir)) {
        int number = 0;
        if (!HidPortParseHidrawName(entry->d_name, number)) continue;
        const std::string text =
            ReadText(fs::path("/sys/class/hidraw") / entry->d_name / "device" / "report_descriptor");
        if (HidPortParseHasTopLevelUsage(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), kHubUsagePage,
                                         kHubUsage)) {
            found = true;
            which = entry->d_name;
        }
    }
    closedir(dir);
    return found;
}

}  // namespace

TEST(WithoutUmockdev, ThisMachineHasNoHub)
{
    // No bed exists here, so this process sees the machine's own sysfs.
    ASSERT_EQ(std::getenv("UMOCKDEV_DIR"), nullptr);
    std::string which;
    if (MachineHasHub(which)) GTEST_SKIP() << "this machine has a hub at " << which;
    RunDirs dirs;
    const RunResult run = RunTool(dirs, {}, true);
    if (RefusedByAnotherInstance(run)) XOV_ANOTHER_INSTANCE_HOLDS_THE_LOCK();
    EXPECT_NE(run.out.find("Find 0 XOV SensorHub.\r\n"), std::string::npos) << run.out << run.err;
    EXPECT_EQ(run.exitStatus, 255) << run.out << run.err;
}

int main(int argc, char** argv)
{
    umocktest::RunUnderUmockdevPreload(argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
