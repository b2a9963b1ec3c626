#include "sim/virtual_clock.h"

#include <chrono>
#include <string>
#include <thread>

#include "common/clock.h"
#include "sim/trace.h"

namespace {
std::uint64_t now = 0;
bool realTime = false;
}  // namespace

namespace sim {

std::uint64_t VirtualNow()
{
    return now;
}
void ResetVirtualClock(std::uint64_t startMs)
{
    now = startMs;
}
void SetRealTime(bool on)
{
    realTime = on;
}
void AdvanceVirtualClock(std::uint64_t ms)
{
    if (realTime) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    now += ms;
}

}  // namespace sim

void SleepMs(std::uint32_t ms)
{
    sim::TraceEvent("SLEEP " + std::to_string(ms));
    if (realTime) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    now += ms;
}

std::uint32_t TickCountMs()
{
    return static_cast<std::uint32_t>(now);
}
