#include "procedures/sensor_tests.h"

// Placeholder until the procedure is built.
std::uint8_t DoAmbientLightTest(std::uint8_t) { return 0; }
std::uint8_t DoColorSensorTest(std::uint8_t) { return 0; }
std::uint8_t DoPSensorTest(std::uint8_t) { return 0; }
