// Gain calibration of the ambient-light and the colour sensor against a reference.
#pragma once

#include <cstdint>

// Each completes the caller's label line and returns the calibration's result.
std::uint8_t DoAmbientLightCalibration(std::uint8_t hub, std::uint16_t lux);
std::uint8_t DoColorSensorCalibration(std::uint8_t hub, const std::uint16_t ref[3]);
