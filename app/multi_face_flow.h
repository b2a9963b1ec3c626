// The flow choice and the multi-face accelerometer calibration flows.
#pragma once

#include <cstdint>

// Runs the flow that ISNeedACC6PhaseCali names, when the second
// accelerometer is present. True when a flow ran: the sequence then goes on
// at the save gate instead of the tests.
bool RunMultiFaceFlow(std::uint8_t hub);
