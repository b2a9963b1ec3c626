#include "procedures/save_flash.h"

// Placeholder until the procedure is built.
std::uint8_t DoSaveDataToFlash(std::uint8_t, std::uint8_t, std::uint8_t, std::uint8_t) { return 0; }
