// The light, colour and proximity tests.
#pragma once

#include <cstdint>

// Each completes the caller's label line and returns 0 (pass) or 1 (fail).
std::uint8_t DoAmbientLightTest(std::uint8_t hub);
std::uint8_t DoColorSensorTest(std::uint8_t hub);
std::uint8_t DoPSensorTest(std::uint8_t hub);
