// The calibration block: the one-shot and sensor calibrations after the tests.
#pragma once

#include <cstdint>

// Runs the selected calibrations for the hub and adds each result to ResultFlag.
void RunCalibrationBlock(std::uint8_t hub);
