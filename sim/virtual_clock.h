// Virtual time for tests and the hub stand-in.
#pragma once

#include <cstdint>

namespace sim {

// Milliseconds of virtual time since the clock was last reset.
std::uint64_t VirtualNow();
void ResetVirtualClock(std::uint64_t startMs = 0);

// With real time on, SleepMs also waits for real.
void SetRealTime(bool on);

}  // namespace sim
