#include "procedures/calibrate.h"

// Placeholder until the procedure is built.
std::uint8_t DoCalibration(std::uint8_t, std::uint8_t, std::uint8_t) { return 0; }
