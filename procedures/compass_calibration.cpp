#include "procedures/compass_calibration.h"

// Placeholder until the procedure is built.
std::uint8_t DoCalibrationForComp(std::uint8_t) { return 0; }
