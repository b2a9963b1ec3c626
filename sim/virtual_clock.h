// Virtual time for tests and the hub stand-in.
#pragma once

#include <cstdint>

namespace sim {

// Milliseconds of virtual time since the clock was last reset.
std::uint64_t VirtualNow();
void ResetVirtualClock(std::uint64_t startMs = 0);

// With real time on, SleepMs also waits for real.
void SetRealTime(bool on);

// Time that passes on the hub's side (a busy hub at work) rather than in a
// wait of the tool: the clock moves on by ms without a SLEEP line, and with
// real time on the call also waits for real.
void AdvanceVirtualClock(std::uint64_t ms);

}  // namespace sim
