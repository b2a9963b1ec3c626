// The compass calibration: one calibrate request, then accuracy polls.
#pragma once

#include <cstdint>

// 0 the accuracy reached Accuracy; 30 it did not within thirty polls;
// 0xFF the hub slot is empty.
std::uint8_t DoCalibrationForComp(std::uint8_t hub);
