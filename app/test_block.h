// The test block: the self tests and sensor tests, one row per sensor.
#pragma once

#include <cstdint>

// Runs the selected tests for the hub and adds each result to ResultFlag.
void RunTestBlock(std::uint8_t hub);
