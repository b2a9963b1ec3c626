// The one sleep and the one tick count of the tool. Every wait and every
// clock read goes through these two functions, so that tests and the hub
// stand-in can run the tool on virtual time by linking their own clock.
#pragma once

#include <cstdint>

// Waits ms milliseconds.
void SleepMs(std::uint32_t ms);

// Milliseconds since an arbitrary origin; wraps as an unsigned 32-bit number.
std::uint32_t TickCountMs();
