// Small helpers shared by the tests.
#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "common/output.h"
#include "hub/transport.h"

namespace testutil {

// An argument vector whose element 0 is the program.
struct Args {
    explicit Args(std::vector<std::string> words) : storage(std::move(words))
    {
        pointers.push_back(const_cast<char*>("tool"));
        for (std::string& w : storage) pointers.push_back(w.data());
    }
    int argc() const { return static_cast<int>(pointers.size()); }
    char** argv() { return pointers.data(); }
    std::vector<std::string> storage;
    std::vector<char*> pointers;
};

// True for the command codes of the hub's command set; no request the tool
// sends may carry another (the vendor-text report apart).
inline bool IsKnownCommand(std::uint8_t command)
{
    for (const std::uint8_t known : {HidCmdGetSensorValue, HidCmdSetSensorGain, HidCmdParameterBlock, HidCmdSelfTest,
                                     HidCmdCalibrate, HidCmdReadReg, HidCmdWriteReg, HidCmdReadRegF0, HidCmdWriteRegF0,
                                     HidCmdGetSensorStatus, HidCmdFusionTaskLock, HidCmdFusionTaskUnlock})
        if (command == known) return true;
    return false;
}

// Everything written to file so far; the position is left at the end.
inline std::string ReadAll(std::FILE* file)
{
    std::string text;
    if (file == nullptr) return text;
    std::fflush(file);
    const long end = std::ftell(file);
    std::rewind(file);
    text.resize(static_cast<std::size_t>(end));
    if (end > 0) text.resize(std::fread(text.data(), 1, text.size(), file));
    std::fseek(file, 0, SEEK_END);
    return text;
}

// Runs body with the console sent to a temporary file; returns what it printed.
template <typename Body>
std::string CaptureConsole(Body body)
{
    std::FILE* console = std::tmpfile();
    std::FILE* saved = ConsoleStream;
    ConsoleStream = console;
    body();
    ConsoleStream = saved;
    std::string text = ReadAll(console);
    if (console != nullptr) std::fclose(console);
    return text;
}

}  // namespace testutil
