#include "app/face_delay.h"

#include <cstdint>

#include "app/options.h"
#include "common/state.h"

void TakeFaceDelay()
{
    const std::int32_t delay = CheckParameters(gArgc, gArgv, "/ACC-CALI-DELAY");
    if (OptionGiven(delay)) AccCaliDelay = delay;
}
