// The save step: report, angle re-check, save to flash, closing line, total time.
#pragma once

#include <cstdint>

// Runs the save step for the hub and adds its amounts to ResultFlag.
void RunSaveStep(std::uint8_t hub);
