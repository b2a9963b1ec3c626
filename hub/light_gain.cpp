#include "hub/light_gain.h"

// Placeholder until the procedure is built.
std::uint16_t SetAmbientLightGain(std::uint8_t, std::uint16_t, std::uint16_t) { return 0; }

void SetColorSensorGain(std::uint8_t, const std::uint16_t*, std::uint16_t* out, std::int32_t)
{
    out[0] = out[1] = out[2] = 0;
}
