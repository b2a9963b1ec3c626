// XOVSensorHubCalibration-sim: the tool on a simulated hub.
//
//   XOVSensorHubCalibration-sim --hub FILE [--trace FILE] [--lock-dir DIR] [--realtime] -- [tool options]
//
// Loads the hub file (docs/hub-file.md), installs its devices as the HID
// devices of the machine and runs the tool with the options after "--", on
// virtual time (the run ends at once) or, with --realtime, on real time.
// The single-instance guard lies in DIR (default: the working directory), so
// that stand-in runs in different directories never meet each other or an
// instance of the tool itself.
// Its own faults (bad arguments, a bad hub file, a trace file that cannot be
// created) end it with exit status 2 before the tool starts.
#include <cstdio>
#include <string>
#include <vector>

#include "app/run_frame.h"
#include "common/platform.h"
#include "sim/hub_file.h"
#include "sim/sim_port.h"
#include "sim/trace.h"
#include "sim/virtual_clock.h"

namespace {

constexpr int kUsageError = 2;
constexpr const char* kUsage =
    "usage: XOVSensorHubCalibration-sim --hub FILE [--trace FILE] [--lock-dir DIR] [--realtime] -- [tool options]\n";

int UsageError(const std::string& message)
{
    std::fprintf(stderr, "XOVSensorHubCalibration-sim: %s\n%s", message.c_str(), kUsage);
    return kUsageError;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string hubPath;
    std::string tracePath;
    std::string lockDir = ".";
    bool realTime = false;
    int first = argc;  // first tool option
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") {
            first = i + 1;
            break;
        }
        if (arg == "--hub" || arg == "--trace") {
            if (i + 1 >= argc) return UsageError(arg + " needs a file name");
            (arg == "--hub" ? hubPath : tracePath) = argv[++i];
        } else if (arg == "--lock-dir") {
            if (i + 1 >= argc || *argv[i + 1] == '\0') return UsageError(arg + " needs a directory");
            lockDir = argv[++i];
        } else if (arg.rfind("--hub=", 0) == 0) {
            hubPath = arg.substr(6);
        } else if (arg.rfind("--trace=", 0) == 0) {
            tracePath = arg.substr(8);
        } else if (arg == "--realtime") {
            realTime = true;
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else {
            return UsageError("unknown argument '" + arg + "' (tool options go after --)");
        }
    }
    if (hubPath.empty()) return UsageError("--hub FILE is required");

    std::string error;
    if (!sim::LoadHubFile(hubPath, sim::Port(), error)) {
        std::fprintf(stderr, "XOVSensorHubCalibration-sim: %s\n", error.c_str());
        return kUsageError;
    }
    if (!tracePath.empty() && !sim::TraceToFile(tracePath))
        return UsageError("cannot create the trace file '" + tracePath + "'");
    sim::SetRealTime(realTime);
    SetInstanceGuardDirectory(lockDir);

    std::vector<char*> toolArgs;
    toolArgs.push_back(argv[0]);
    for (int i = first; i < argc; ++i) toolArgs.push_back(argv[i]);
    toolArgs.push_back(nullptr);
    const std::int32_t result = RunTool(static_cast<int>(toolArgs.size() - 1), toolArgs.data());
    sim::TraceCloseFile();
    return ProcessExitStatus(result);
}
