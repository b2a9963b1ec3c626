// Test fixture for in-process runs on the stand-in: every case starts from
// the start-of-process state, virtual time 0, an empty device table, an empty
// trace, and the console and run log captured in memory.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "common/output.h"
#include "common/state.h"
#include "sim/hub_file.h"
#include "sim/sim_hub.h"
#include "sim/sim_port.h"
#include "sim/trace.h"
#include "sim/virtual_clock.h"
#include "tests/test_support.h"

namespace simtest {

// Reads everything written to a temporary file so far.
using testutil::ReadAll;

// A hub's faults with one kind hitting in window, e.g.
// OneFault(&sim::HubFaults::getFail, sim::FaultWindow::From(13)).
inline sim::HubFaults OneFault(sim::FaultWindow sim::HubFaults::*kind, sim::FaultWindow window)
{
    sim::HubFaults faults;
    faults.*kind = window;
    return faults;
}

// Puts the process back to its start state; used by SimFixture and by
// tests that cannot derive from it.
inline void ResetSimulation()
{
    ResetProcessState();
    sim::ResetVirtualClock();
    sim::SetRealTime(false);
    sim::Port().Reset();
    sim::TraceReset();
}

class SimFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetSimulation();
        console_ = std::tmpfile();
        log_ = std::tmpfile();
        ASSERT_NE(console_, nullptr);
        ASSERT_NE(log_, nullptr);
        ConsoleStream = console_;
        output = log_;
    }

    void TearDown() override
    {
        ConsoleStream = stdout;
        output = nullptr;
        if (console_ != nullptr) std::fclose(console_);
        if (log_ != nullptr) std::fclose(log_);
        ResetSimulation();
    }

    // Starts the case afresh (for table-driven cases in one test).
    void Restart()
    {
        TearDown();
        SetUp();
    }

    std::string ConsoleText() { return ReadAll(console_); }
    std::string LogText() { return ReadAll(log_); }

    // A hub at the next enumeration index, opened into hFile slot 0 as
    // discovery would leave it; the open is cleared from the trace.
    std::shared_ptr<sim::SimHub> ConnectHub(std::uint16_t productId = 0x8301)
    {
        auto hub = std::make_shared<sim::SimHub>();
        const int index = sim::Port().AddDevice(sim::HubDevice("/dev/sim-hub", hub, productId));
        hFile[0] = sim::Port().Open(index);
        SensorCunt = 1;
        sim::TraceReset();
        return hub;
    }

    // Loads a hub file into the simulated port and leaves its devices for
    // discovery to find; the trace starts empty. A file that does not load
    // fails the test with the loader's message.
    bool PlaceHubFile(const std::string& text, const std::string& name, std::shared_ptr<sim::SimHub>* hub = nullptr)
    {
        std::string error;
        if (!sim::LoadHubText(text, name, sim::Port(), error, hub)) {
            ADD_FAILURE() << error;
            return false;
        }
        sim::TraceReset();
        return true;
    }

    // Loads a hub file as PlaceHubFile does and opens its hub device into
    // hFile slot 0 as discovery would leave it.
    bool LoadHubFile(const std::string& text, const std::string& name, std::shared_ptr<sim::SimHub>& hub)
    {
        if (!PlaceHubFile(text, name, &hub)) return false;
        for (int index = 0; index < 8; ++index) {
            const sim::SimDevice* device = sim::Port().Device(index);
            if (device != nullptr && device->hub) hFile[0] = sim::Port().Open(index);
        }
        SensorCunt = 1;
        sim::TraceReset();
        return true;
    }

    // A hub file of the source tree, e.g. "healthy.hub" of sim/hubs.
    static std::string SourceHubFile(const std::string& name)
    {
        std::FILE* f = std::fopen((std::string(XOV_SOURCE_DIR) + "/sim/hubs/" + name).c_str(), "rb");
        if (f == nullptr) return {};
        std::fseek(f, 0, SEEK_END);  // ReadAll reads up to the position
        const std::string text = ReadAll(f);
        std::fclose(f);
        return text;
    }

    // The events of the trace (no time stamps) of the given kinds.
    static std::vector<std::string> Events(const std::vector<std::string>& kinds = {})
    {
        return sim::TraceEvents(kinds);
    }

    // The transfer right after the first set-feature whose event begins with
    // request (a whole "SET ..." event, or its start): the fetch of its reply.
    static std::string ReplyTo(const std::string& request)
    {
        const std::vector<std::string> transfers = Events({"SET", "GET"});
        for (std::size_t i = 0; i + 1 < transfers.size(); ++i)
            if (transfers[i].compare(0, request.size(), request) == 0) return transfers[i + 1];
        return "no transfer after " + request;
    }

    // Total milliseconds of SLEEP lines in the trace.
    static std::uint64_t SleptMs()
    {
        std::uint64_t total = 0;
        for (const std::string& e : sim::TraceEvents({"SLEEP"})) total += std::stoull(e.substr(6));
        return total;
    }

private:
    std::FILE* console_ = nullptr;
    std::FILE* log_ = nullptr;
};

}  // namespace simtest
