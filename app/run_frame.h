// The run from start-up to shutdown.
#pragma once

#include <cstdint>

constexpr std::int32_t ResultPass = 0;
constexpr std::int32_t ResultAlreadyRunning = -2;
constexpr std::int32_t ResultCommandLineError = -3;
constexpr std::int32_t ResultNoHub = 255;
constexpr std::int32_t ResultEFlashBufferAddrFail = 244;
constexpr std::int32_t ResultAcc2PrecheckFail = 245;
constexpr std::int32_t ResultSensorMissing = 240;
constexpr std::int32_t ResultAngleFail = 254;
constexpr std::int32_t ResultNewAngleFail = 252;

constexpr const char* kInstanceName = "XOVSensorHubCalibration";

// Tick count at start-up; the save step prints the time elapsed since.
extern std::uint32_t gStartTick;

// Runs the tool and returns the result code, which is the exit code.
std::int32_t RunTool(int argc, char** argv);

// Prints the 50 lines of the help text on the console.
void PrintHelp();
