// The calibrate command: one calibration of one sensor, with its checks and retries.
#pragma once

#include <cstdint>

// Phases of a calibration (byte 1 of the calibrate parameters).
constexpr std::uint8_t CaliPhaseCrossTalk = 1;     // proximity bound calibrations 1 to 4
constexpr std::uint8_t CaliPhaseTHDH1 = 2;
constexpr std::uint8_t CaliPhaseTHDHYS = 3;
constexpr std::uint8_t CaliPhaseNewCrossTalk = 4;
constexpr std::uint8_t CaliPhaseOneShot = 0x80;    // one-shot accelerometer calibration
constexpr std::uint8_t CaliPhaseBegin = 0xF0;      // opens a multi-face calibration
constexpr std::uint8_t CaliPhaseFinish = 0xF1;     // closes it; faces are 0 to 5

// The hub's status in byte 3 of the calibrate parameters.
constexpr std::uint8_t CaliStatusOk = 0;
constexpr std::uint8_t CaliStatusBusy = 0xCC;

constexpr int kCaliParamLength = 13;  // report bytes 3 to 15

// Calibrates the sensor and completes the line that the caller's label began.
// 0 pass; 1 the check passed but the hub's last status is an error, or the
// gyrometer timed out; 10 or 11 ten failed checks; 255 the hub slot is empty.
std::uint8_t DoCalibration(std::uint8_t hub, std::uint8_t sensorId, std::uint8_t CaliPhase);
