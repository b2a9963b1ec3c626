// The self test of a motion sensor: the hub's built-in test, then a data check.
#pragma once

#include <cstdint>

// Completes the caller's label line; 0 pass, 1 fail, 0xFF empty hub slot.
std::uint8_t DoSelfTest(std::uint8_t hub, std::uint8_t sensorId);
